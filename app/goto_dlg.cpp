#include "app/goto_dlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/window_geometry.h"
#include "base/host.h"
#include "document/document.h"
#include "document/view_commands.h"

uint32_t parseGotoHex(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      break;
    value = value * 16 + uint64_t(d);
    if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
  }
  return uint32_t(value);
}

TGotoDlg::TGotoDlg(TDocument& doc, QWidget* parent) : QDialog(parent), doc_(doc) {
  setWindowTitle(QStringLiteral("Goto... (hex addresses)"));
  setModal(false);
  edit_ = new QLineEdit(this);
  edit_->setMaxLength(kEditRoom);
  // Alt and the underlined letter choose the kind while typing the address.
  fileOffset_ = new QRadioButton(QStringLiteral("&File offset"), this);
  rva_ = new QRadioButton(QStringLiteral("&RVA"), this);
  memory_ = new QRadioButton(QStringLiteral("&Mem address"), this);
  go_ = new QPushButton(QStringLiteral("Go there !"), this);
  go_->setDefault(true);
  fileOffset_->setChecked(true);
  for (QRadioButton* r : {fileOffset_, rva_, memory_})
    connect(r, &QRadioButton::clicked, edit_, [this] { edit_->setFocus(); });
  connect(go_, &QPushButton::clicked, this, [this] { goThere(); });

  auto* radios = new QVBoxLayout;
  radios->addWidget(fileOffset_);
  radios->addWidget(rva_);
  radios->addWidget(memory_);
  auto* row = new QHBoxLayout;
  row->addLayout(radios);
  row->addWidget(go_, 0, Qt::AlignBottom);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(edit_);
  layout->addLayout(row);
  documentChanged();
  fitTitle(*this);
}

void TGotoDlg::documentChanged() {
  const bool pe = doc_.isLoaded() && doc_.image().isPE();
  rva_->setEnabled(pe);
  memory_->setEnabled(pe);
  if (!pe && !fileOffset_->isChecked()) fileOffset_->setChecked(true);
}

QRadioButton* TGotoDlg::radio(UserAddressKind kind) const {
  switch (kind) {
    case UserAddressKind::FileOffset: return fileOffset_;
    case UserAddressKind::Rva: return rva_;
    case UserAddressKind::Memory: return memory_;
  }
  return fileOffset_;
}

UserAddressKind TGotoDlg::kind() const {
  if (rva_->isChecked()) return UserAddressKind::Rva;
  if (memory_->isChecked()) return UserAddressKind::Memory;
  return UserAddressKind::FileOffset;
}

bool TGotoDlg::goThere() {
  if (!doc_.isLoaded()) return false;
  const uint32_t value = parseGotoHex(edit_->text().toStdString());
  // In a file without a PE header every number is a file offset.
  const UserAddressKind k = doc_.image().isPE() ? kind() : UserAddressKind::FileOffset;
  const bool went = gotoUserAddress(doc_, value, k);
  emit moved();
  return went;
}
