// "Imported functions": the import descriptors' modules, the functions of the
// chosen module and the code that uses the chosen function. A thin view over
// TImportsView; choosing a reference moves the listing there.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QStringListModel>

#include "analysis/store_locks.h"
#include "app/dialogs/line_list.h"
#include "document/import_export_views.h"

class TDocument;
class TProfileFile;

class TImportsDlg : public QDialog {
  Q_OBJECT
 public:
  // profile: where "Keep original import structure" is read on opening and
  // written on closing (may be null).
  TImportsDlg(TDocument& doc, TProfileFile* profile, QWidget* parent = nullptr);
  ~TImportsDlg() override;

  // The scanner finished filling a store: the import references are relisted.
  void storeFilled(TRefStoreKind kind);

  QComboBox* modules() const { return modules_; }
  TLineList* functions() const { return functions_; }
  TLineList* references() const { return references_; }
  QCheckBox* keepOriginal() const { return keep_; }

 signals:
  // The listing moved: repaint it.
  void moved();

 private:
  bool scanning() const;
  void showModules();
  void showFunctions();
  void showReferences();
  void moduleChosen(int index);
  void functionChosen(int row);
  void referenceChosen(int row);
  void keepOriginalClicked();

  TDocument& doc_;
  TProfileFile* profile_;
  TImportsView view_;
  QStringListModel moduleNames_;
  QComboBox* modules_;
  TLineList* functions_;
  TLineList* references_;
  QCheckBox* keep_;
  bool filling_ = false;
};
