// "Exported functions": the file's exports with the address of the chosen
// one, and "Go there!" (or a double click) to show it in the listing. A thin
// view over TExportsView.
#pragma once
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include "app/dialogs/line_list.h"
#include "document/import_export_views.h"

class TDocument;

class TExportsDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kMinWidth = 230;
  static constexpr int kMinHeight = 100;
  // The strip below the list that holds the address and the button.
  static constexpr int kStripHeight = 40;

  TExportsDlg(TDocument& doc, QWidget* parent = nullptr);

  // The main view switched between memory addresses and file offsets.
  void setMemoryShown(bool memory);
  void goThere();

  TLineList* exports() const { return list_; }
  QLineEdit* address() const { return address_; }
  QPushButton* goButton() const { return go_; }

 signals:
  void moved();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void showAddress();

  TDocument& doc_;
  TExportsView view_;
  bool memoryShown_;
  TLineList* list_;
  QWidget* labelWidget_;
  QLineEdit* address_;
  QPushButton* go_;
};
