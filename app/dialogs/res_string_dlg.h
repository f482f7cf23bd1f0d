// "Show resource strings": every string-table string with its ID, the code
// that uses the chosen one, three filters and a search run by Enter. A thin
// view over TStringResourceView; choosing a reference moves the listing there.
#pragma once
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>

#include "analysis/store_locks.h"
#include "app/dialogs/line_list.h"
#include "document/resource_views.h"

class TDocument;

class TShowResStringDlg : public QDialog {
  Q_OBJECT
 public:
  TShowResStringDlg(TDocument& doc, QWidget* parent = nullptr);

  // The scanner finished filling a store: the chosen string's references are relisted.
  void storeFilled(TRefStoreKind kind);
  // Enter: the next string holding the search field's text.
  void search();

  TLineList* strings() const { return strings_; }
  TLineList* references() const { return references_; }
  QCheckBox* onlyReferenced() const { return onlyReferenced_; }
  QCheckBox* noArithmetic() const { return noArithmetic_; }
  QCheckBox* noBitwise() const { return noBitwise_; }
  QLineEdit* searchField() const { return search_; }

 signals:
  void moved();

 protected:
  // Enter searches and never closes the window.
  void accept() override { search(); }
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool scanning() const;
  void fillStrings();
  void showReferences();

  TDocument& doc_;
  TStringResourceView view_;
  TLineList* strings_;
  TLineList* references_;
  QCheckBox* onlyReferenced_;
  QCheckBox* noArithmetic_;
  QCheckBox* noBitwise_;
  QLineEdit* search_;
};
