#include "app/dialogs/asm_edit_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/window_geometry.h"
#include "document/document.h"
#include "persist/profile_file.h"

TAsmEditDlg::TAsmEditDlg(TDocument& doc, uint32_t fileOffset, TProfileFile* profile,
                         QWidget* parent, TAssemblerBridge bridge)
    : QDialog(parent),
      doc_(doc),
      offset_(fileOffset),
      oldLength_(listingLineLength(doc, fileOffset)),
      profile_(profile),
      bridge_(std::move(bridge)) {
  setWindowTitle(QStringLiteral("Edit assembler command..."));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("New assembler command:"), this));
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("901"));
  edit_->setMaxLength(int(kAsmCommandCap));
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  edit_->setFont(fixed);
  // Room for a typical instruction with a long operand.
  edit_->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QLatin1Char('0')) * 48);
  layout->addWidget(edit_);
  preview_ = new QLabel(this);
  preview_->setFont(fixed);
  preview_->setTextFormat(Qt::PlainText);
  preview_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  preview_->setMinimumHeight(QFontMetrics(fixed).lineSpacing());
  layout->addWidget(preview_);
  fillNops_ = new QCheckBox(QStringLiteral("Fill the rest of the old instruction with NOPs"), this);
  fillNops_->setChecked(profile_ && readKey(*profile_, kAsmFillNops) != 0);
  layout->addWidget(fillNops_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &TAsmEditDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TAsmEditDlg::reject);
  layout->addWidget(buttons);
  connect(edit_, &QLineEdit::textChanged, this, &TAsmEditDlg::updatePreview);
  connect(fillNops_, &QCheckBox::toggled, this, &TAsmEditDlg::updatePreview);
  fitTitle(*this);
}

uint32_t TAsmEditDlg::fillTo() const { return fillNops_->isChecked() ? oldLength_ : 0; }

void TAsmEditDlg::updatePreview() {
  const std::string text = edit_->text().toLatin1().toStdString();
  preview_->setText(
      QString::fromStdString(assemblerPreview(doc_, offset_, text, bridge_, fillTo())));
}

void TAsmEditDlg::accept() {
  const std::string text = edit_->text().toLatin1().toStdString();
  last_ = editAssemblerCommand(doc_, offset_, text, bridge_, fillTo()).result;
  if (last_ == AsmEditResult::Written) QDialog::accept();
}

void TAsmEditDlg::done(int result) {
  // The choice is kept whichever way the dialog closes.
  if (profile_) writeKey(*profile_, kAsmFillNops, fillNops_->isChecked() ? 1 : 0);
  QDialog::done(result);
}
