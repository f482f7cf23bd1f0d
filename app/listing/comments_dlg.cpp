#include "app/listing/comments_dlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TCommentsDlg::TCommentsDlg(const QString& title, const QString& text, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Address name:", this));
  edit_ = new QLineEdit(text, this);
  edit_->setObjectName("1201");
  edit_->setMaxLength(258);  // the store keeps 254 of them
  edit_->setMinimumWidth(320);
  layout->addWidget(edit_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  edit_->selectAll();
}

QString TCommentsDlg::text() const { return edit_->text(); }
