// The name dialog: one edit field for the label or comment of an address.
#pragma once
#include <QDialog>

class QLineEdit;

class TCommentsDlg : public QDialog {
  Q_OBJECT
 public:
  // title: "Set new address name..." or "Edit address name...".
  TCommentsDlg(const QString& title, const QString& text, QWidget* parent = nullptr);
  QString text() const;
  QLineEdit* field() const { return edit_; }

 private:
  QLineEdit* edit_;
};
