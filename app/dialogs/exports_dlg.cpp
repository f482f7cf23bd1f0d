#include "app/dialogs/exports_dlg.h"

#include <QLabel>
#include <QResizeEvent>
#include <algorithm>

#include "base/host.h"
#include "document/document.h"

namespace {
constexpr int kGap = 6;
constexpr int kOpeningHeight = 360;
}  // namespace

TExportsDlg::TExportsDlg(TDocument& doc, QWidget* parent)
    : QDialog(parent), doc_(doc), memoryShown_(!doc.view().fileOffsets) {
  setWindowTitle(QStringLiteral("Exported functions"));
  setModal(false);
  list_ = new TLineList(this);
  auto* label = new QLabel(QStringLiteral("Address :"), this);
  labelWidget_ = label;
  address_ = new QLineEdit(this);
  address_->setReadOnly(true);
  label->setBuddy(address_);
  go_ = new QPushButton(QStringLiteral("Go there!"), this);
  go_->setDefault(true);
  // Room for ":00000000" and the frame of the field.
  address_->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral(":00000000")) + 16);
  address_->setFixedHeight(address_->sizeHint().height());
  label->adjustSize();
  go_->adjustSize();
  // The strip's controls are never cut: it sets the least width when the font makes it wider.
  const int strip = label->width() + address_->width() + go_->width() + 4 * kGap;
  setMinimumSize(std::max(kMinWidth, strip), kMinHeight);

  connect(list_, &TLineList::rowChosen, this, [this] { showAddress(); });
  connect(list_, &TLineList::doubleClicked, this, [this] { goThere(); });
  connect(go_, &QPushButton::clicked, this, &TExportsDlg::goThere);

  view_.open(doc_);
  if (!view_.title().empty()) setWindowTitle(QString::fromStdString(view_.title()));
  if (!view_.failureText().empty())
    doc_.host().message(view_.failureText(), view_.failureCaption(), MsgIcon::Information);
  list_->setLines(view_.lines(), view_.lines().empty() ? -1 : 0);
  showAddress();

  resize(std::max({kMinWidth, strip, widthForLines(*list_, view_.lines(), 60)}), kOpeningHeight);
}

void TExportsDlg::setMemoryShown(bool memory) {
  if (memory == memoryShown_) return;
  memoryShown_ = memory;
  showAddress();
}

void TExportsDlg::showAddress() {
  address_->setText(
      QString::fromStdString(view_.addressText(doc_, list_->currentRowIndex(), memoryShown_)));
}

void TExportsDlg::goThere() {
  view_.goThere(doc_, list_->currentRowIndex());
  if (list_->currentRowIndex() >= 0) emit moved();
}

// The list fills the window above a strip in which the address and the button
// sit centred, as the window's resize rule wants it (a layout would not).
void TExportsDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const int w = width();
  const int h = height();
  list_->setGeometry(0, 0, w, std::max(0, h - kStripHeight));
  const int row = labelWidget_->width() + address_->width() + go_->width() + 2 * kGap;
  int x = std::max(0, (w - row) / 2);
  const int top = h - kStripHeight;
  for (QWidget* c : {labelWidget_, static_cast<QWidget*>(address_), static_cast<QWidget*>(go_)}) {
    c->move(x, top + (kStripHeight - c->height()) / 2);
    x += c->width() + kGap;
  }
}
