// "Show resource menu": the file's menu resources, the chosen one as MENU
// text, and the code that uses the command on the caret's line. A thin view
// over TMenuResourceView; choosing a reference moves the listing there.
#pragma once
#include <QDialog>
#include <QPlainTextEdit>

#include "analysis/store_locks.h"
#include "app/dialogs/line_list.h"
#include "document/resource_views.h"

class TDocument;

class TShowResMenuDlg : public QDialog {
  Q_OBJECT
 public:
  TShowResMenuDlg(TDocument& doc, QWidget* parent = nullptr);

  // The scanner finished filling a store: the caret line's references are relisted.
  void storeFilled(TRefStoreKind kind);

  TLineList* menus() const { return menus_; }
  QPlainTextEdit* menuText() const { return text_; }
  TLineList* references() const { return references_; }

 signals:
  void moved();

 protected:
  // Enter never closes the window.
  void accept() override {}

 private:
  void showMenu();
  void listCaretReferences();

  TDocument& doc_;
  TMenuResourceView view_;
  TLineList* menus_;
  QPlainTextEdit* text_;
  TLineList* references_;
  bool rendering_ = false;
};
