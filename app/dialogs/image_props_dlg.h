// "Image properties": the PE header fields, the section list and the chosen
// section's fields and flags, over TImagePropsModel. Modeless; the frame
// closes it when another file is loaded.
#pragma once
#include <QAbstractListModel>
#include <QDialog>
#include <QMap>
#include <vector>

#include "document/image_props.h"

class QCheckBox;
class QLineEdit;
class QListView;
class QPushButton;
class TDocument;

// The section names for the list view: a model, so that a table of 65535
// headers costs one row object, not 65535 widgets.
class TSectionListModel : public QAbstractListModel {
  Q_OBJECT
 public:
  using QAbstractListModel::QAbstractListModel;
  // Takes the list when it differs from the one shown; true when it did.
  bool take(const std::vector<TImageSectionEntry>& sections);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  std::vector<TImageSectionEntry> sections_;
};

class TImPropDlg : public QDialog {
  Q_OBJECT
 public:
  TImPropDlg(TDocument& doc, QWidget* parent = nullptr);
  ~TImPropDlg() override;

  // Reads everything again and shows the first section.
  void fill();
  TImagePropsModel& model() { return model_; }

  // A value field (250..255, 257..260), a flag box (261..266), the list.
  QLineEdit* field(int control) const { return fields_.value(control); }
  QCheckBox* flagBox(int control) const { return boxes_.value(control); }
  QListView* sectionList() const { return list_; }
  QPushButton* applyButton() const { return apply_; }
  QPushButton* gotoButton() const { return goto_; }

 signals:
  // "Goto section" moved the listing or changed its mode.
  void moved();

 private:
  void showModel();
  void chooseRow(const QModelIndex& index);

  TImagePropsModel model_;
  TSectionListModel sections_;
  QMap<int, QLineEdit*> fields_;
  QMap<int, QCheckBox*> boxes_;
  QListView* list_;
  QPushButton* apply_;
  QPushButton* goto_;
};
