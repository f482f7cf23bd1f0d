#include "app/dialogs/pref_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <cstdlib>

#include "persist/profile_file.h"
#include "persist/settings_path.h"
#include "persist/shortcut.h"

namespace {

// Mnemonics for keyboard use; the texts shown are the ones without "&".
constexpr const char* kFieldTexts[] = {"&Minimum string length:", "&Font size:", "&Dump rows:"};
constexpr const char* kSwitchTexts[] = {
    "Open file dialog at &start", "Keep &undo after save",       "Show code &references",
    "Use &extreme coderef scan",  "&Autocheck included FixRegs", "Start &tracer at 1. TLS callback",
    "Show start E&IP on load",    "&Let cursor follow view",
};
static_assert(std::size(kSwitchTexts) == TPrefDlg::SwitchCount);

QColor fromBgr(uint32_t c) {
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

}  // namespace

TColorSwatch::TColorSwatch(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
}

void TColorSwatch::setColor(uint32_t bgr) {
  color_ = bgr;
  update();
}

QSize TColorSwatch::sizeHint() const {
  const int h = fontMetrics().height() + 4;
  return {h * 3, h};
}

void TColorSwatch::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect r = rect().adjusted(0, 0, -1, -1);
  p.fillRect(r, fromBgr(color_));
  p.setPen(palette().color(QPalette::WindowText));
  p.drawRect(r);
  if (hasFocus()) {
    p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
    p.drawRect(r.adjusted(2, 2, -2, -2));
  }
}

TPrefDlg::TPrefDlg(TSettings& settings, TMainWindowSettings& window, TProfileFile& profile,
                   Host& host, TCustomColors& custom, QWidget* parent)
    : QDialog(parent),
      exePath(executablePath()),
      applicationsDir(userApplicationsDirectory(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"))),
      settings_(settings),
      window_(window),
      profile_(profile),
      host_(host),
      custom_(custom),
      model_(settings, profile) {
  setWindowTitle(QStringLiteral("Preferences"));

  auto* numbers = new QFormLayout;
  const std::string* values[] = {&model_.minStringLength, &model_.fontSize, &model_.dumpRows};
  for (size_t i = 0; i < fields_.size(); ++i) {
    fields_[i] = new QLineEdit(QString::fromStdString(*values[i]), this);
    fields_[i]->setMaximumWidth(fields_[i]->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 8);
    auto* label = new QLabel(QString::fromLatin1(kFieldTexts[i]), this);
    label->setBuddy(fields_[i]);
    numbers->addRow(label, fields_[i]);
  }

  auto* left = new QVBoxLayout;
  left->addLayout(numbers);
  for (int i = 0; i < SwitchCount; ++i) {
    switches_[size_t(i)] = new QCheckBox(QString::fromLatin1(kSwitchTexts[i]), this);
    switches_[size_t(i)]->setChecked(modelSwitch(Switch(i)));
    left->addWidget(switches_[size_t(i)]);
  }
  left->addStretch(1);

  auto* colours = new QGroupBox(this);
  auto* grid = new QGridLayout(colours);
  constexpr int kRowsPerColumn = (kSwatchCount + 1) / 2;
  for (int i = 0; i < kSwatchCount; ++i) {
    swatches_[size_t(i)] = new TColorSwatch(colours);
    swatches_[size_t(i)]->setColor(model_.colors[size_t(i)]);
    swatches_[size_t(i)]->setAccessibleName(QString::fromLatin1(swatchLabel(i)));
    connect(swatches_[size_t(i)], &TColorSwatch::clicked, this, [this, i] { chooseColor(i); });
    const int row = i % kRowsPerColumn, column = (i / kRowsPerColumn) * 2;
    grid->addWidget(new QLabel(QString::fromLatin1(swatchLabel(i)), colours), row, column);
    grid->addWidget(swatches_[size_t(i)], row, column + 1);
  }
  grid->setHorizontalSpacing(10);

  auto* top = new QHBoxLayout;
  top->addLayout(left);
  top->addWidget(colours, 0, Qt::AlignTop);

  shortcut_ = new QPushButton(QStringLiteral("Add s&hortcut to all file types..."), this);
  shortcut_->setAutoDefault(false);
  connect(shortcut_, &QPushButton::clicked, this, [this] { addShortcut(); });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &TPrefDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TPrefDlg::reject);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(shortcut_);
  bottom->addStretch(1);
  bottom->addWidget(buttons);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(bottom);
  layout->setSizeConstraint(QLayout::SetMinimumSize);
  fields_[0]->setFocus();
}

bool& TPrefDlg::modelSwitch(Switch s) {
  switch (s) {
    case OpenFileOnStartup: return model_.openFileOnStartup;
    case KeepUndoAfterSave: return model_.keepUndoAfterSave;
    case ShowCodeReferences: return model_.showCodeReferences;
    case ExtremeScan: return model_.extremeScan;
    case FixedRegsAutoMode: return model_.fixedRegsAutoMode;
    case StartTracerAtTls: return model_.startTracerAtTlsCallback;
    case ShowEipOnLoad: return model_.showEipOnLoad;
    case CursorFollowView:
    case SwitchCount: break;
  }
  return model_.cursorFollowView;
}

void TPrefDlg::chooseColor(int swatch) {
  if (model_.chooseColor(swatch, host_, custom_))
    swatches_[size_t(swatch)]->setColor(model_.colors[size_t(swatch)]);
}

void TPrefDlg::accept() {
  std::string* values[] = {&model_.minStringLength, &model_.fontSize, &model_.dumpRows};
  for (size_t i = 0; i < fields_.size(); ++i) *values[i] = fields_[i]->text().toStdString();
  for (int i = 0; i < SwitchCount; ++i) modelSwitch(Switch(i)) = switches_[size_t(i)]->isChecked();
  outcome_ = model_.confirm(settings_, window_, profile_, host_);
  if (!outcome_.accepted) return;  // the message named the value; the user corrects it
  QDialog::accept();
}

void TPrefDlg::addShortcut() { addShortcutToAllFileTypes(host_, exePath, applicationsDir); }
