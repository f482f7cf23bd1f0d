#include "app/dialogs/fix_reg_dlg.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "document/document.h"

namespace {

// One row of the register grid: the dword's button, its word or high-byte
// button, its low-byte button (0: none) and its edit box.
struct TRegisterRow {
  int full, part, low, edit;
};
constexpr TRegisterRow kRegisterRows[] = {
    {1001, 1002, 1003, 1045},  // EAX AH AL
    {1004, 1005, 1006, 1046},  // EBX BH BL
    {1007, 1008, 1009, 1047},  // ECX CH CL
    {1010, 1011, 1012, 1048},  // EDX DH DL
    {1013, 1014, 0, 1049},     // EDI DI
    {1015, 1016, 0, 1050},     // ESI SI
    {1017, 1018, 0, 1051},     // ESP SP
    {1019, 1020, 0, 1052},     // EBP BP
};
constexpr int kSegmentCount = FRC_LAST_BUTTON - FRC_FIRST_SEGMENT_BUTTON + 1;
// The flag boxes left to right, by EFLAGS bit.
constexpr struct {
  const char* text;
  int bit;
} kFlagBoxes[] = {{"O", 11}, {"D", 10}, {"S", 7}, {"Z", 6}, {"A", 4}, {"P", 2}, {"C", 0}};

// Three stack lines a wheel notch.
constexpr int kWheelLinesPerNotch = 3;
constexpr int kWheelUnitsPerLine = 120 / kWheelLinesPerNotch;
// The highlight of the line at ESP.
const QColor kEspLine(0xDC, 0xE8, 0xFF);

QFont fixedFont() { return QFontDatabase::systemFont(QFontDatabase::FixedFont); }

}  // namespace

// ---- the stack list ---------------------------------------------------------------

TStackListBox::TStackListBox(TFixedRegsModel& model, QWidget* parent)
    : QWidget(parent), model_(model), scroll_(new QScrollBar(Qt::Vertical, this)) {
  setFont(fixedFont());
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  scroll_->setRange(TFixedRegsModel::THUMB_TOP, TFixedRegsModel::THUMB_END);
  scroll_->setPageStep(1);
  connect(scroll_, &QScrollBar::actionTriggered, this,
          [this](int action) { scrollAction(action); });
  sync();
}

QSize TStackListBox::sizeHint() const {
  const QFontMetrics m(font());
  const int width = m.horizontalAdvance(QStringLiteral("00000000:  00000000")) + 20;
  return {width + scroll_->sizeHint().width(), m.height() * TFixedRegsModel::kStackLines + 6};
}

QRect TStackListBox::linesRect() const {
  return QRect(0, 0, width() - scroll_->sizeHint().width(), height());
}

void TStackListBox::resizeEvent(QResizeEvent*) {
  const int w = scroll_->sizeHint().width();
  scroll_->setGeometry(width() - w, 0, w, height());
}

void TStackListBox::sync() {
  // Inside the scroll bar's own action the position must be set this way,
  // and without signals it does not come back here.
  const QSignalBlocker block(scroll_);
  scroll_->setSliderPosition(model_.stackThumb());
  scroll_->setValue(model_.stackThumb());
  update();
}

void TStackListBox::scrollAction(int action) {
  using Thumb = TFixedRegsModel::StackThumb;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: model_.scrollStack(1); break;
    case QAbstractSlider::SliderSingleStepSub: model_.scrollStack(-1); break;
    case QAbstractSlider::SliderPageStepAdd: model_.pageStack(1); break;
    case QAbstractSlider::SliderPageStepSub: model_.pageStack(-1); break;
    case QAbstractSlider::SliderToMinimum: model_.moveStackThumb(TFixedRegsModel::THUMB_TOP); break;
    case QAbstractSlider::SliderToMaximum: model_.moveStackThumb(TFixedRegsModel::THUMB_END); break;
    case QAbstractSlider::SliderMove:
      // A dragged thumb goes where it is dropped; the wheel over the bar scrolls lines.
      if (scroll_->isSliderDown())
        model_.moveStackThumb(Thumb(scroll_->sliderPosition()));
      else
        model_.scrollStack(kWheelLinesPerNotch * (scroll_->sliderPosition() - scroll_->value()));
      break;
    default: return;
  }
  sync();
  emit scrolled();
}

void TStackListBox::keyPressEvent(QKeyEvent* event) {
  int action = QAbstractSlider::SliderNoAction;
  switch (event->key()) {
    case Qt::Key_Up: action = QAbstractSlider::SliderSingleStepSub; break;
    case Qt::Key_Down: action = QAbstractSlider::SliderSingleStepAdd; break;
    case Qt::Key_PageUp: action = QAbstractSlider::SliderPageStepSub; break;
    case Qt::Key_PageDown: action = QAbstractSlider::SliderPageStepAdd; break;
    case Qt::Key_Home: action = QAbstractSlider::SliderToMinimum; break;
    case Qt::Key_End: action = QAbstractSlider::SliderToMaximum; break;
    default: QWidget::keyPressEvent(event); return;
  }
  scrollAction(action);
}

void TStackListBox::wheelEvent(QWheelEvent* event) {
  const int lines = -event->angleDelta().y() / kWheelUnitsPerLine;
  if (lines == 0) return;
  model_.scrollStack(lines);
  sync();
  emit scrolled();
}

void TStackListBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect area = linesRect();
  p.fillRect(area, Qt::white);
  const QFontMetrics m(font());
  for (int k = 0; k < TFixedRegsModel::kStackLines; ++k) {
    const QRect line(area.left() + 1, 3 + k * m.height(), area.width() - 2, m.height());
    if (model_.stackLineIsEsp(k)) p.fillRect(line, kEspLine);
    p.setPen(Qt::black);
    p.drawText(line.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromLatin1(model_.stackLine(k).c_str()));
  }
  p.setPen(palette().color(hasFocus() ? QPalette::Highlight : QPalette::Mid));
  p.drawRect(area.adjusted(0, 0, -1, -1));
}

// ---- the dialog ---------------------------------------------------------------------

TFixRegDlg::TFixRegDlg(TDocument& doc, QWidget* parent)
    : QDialog(parent), doc_(doc), model_(doc.trace().regs()) {
  setWindowTitle(QString::fromLatin1(TFixedRegsModel::kTitle));
  setModal(false);
  const QFont fixed = fixedFont();
  const QFontMetrics fm(fixed);

  auto makeButton = [&](int id) {
    auto* b = new QPushButton(QString::fromLatin1(TFixedRegsModel::buttonText(id)), this);
    b->setCheckable(true);
    // Enter in a value field must not press a register.
    b->setAutoDefault(false);
    // As narrow as a register name allows: the style's wide default makes
    // the grid sprawl.
    b->setFixedWidth(QFontMetrics(b->font()).horizontalAdvance(QStringLiteral("EAXW")) + 16);
    buttons_[id] = b;
    connect(b, &QPushButton::clicked, this, [this, id] {
      syncModel();
      model_.clickButton(id);
      afterEdit();
    });
    return b;
  };
  auto makeEdit = [&](int id, int digits) {
    auto* e = new QLineEdit(this);
    e->setFont(fixed);
    e->setMaxLength(digits);
    // Only hexadecimal digits can be typed: nothing typed is ever dropped
    // or cut short without the user seeing it.
    e->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,%1}").arg(digits)), e));
    e->setFixedWidth(fm.horizontalAdvance(QString(digits + 1, QLatin1Char('D'))) + 12);
    edits_[id] = e;
    connect(e, &QLineEdit::editingFinished, this, [this, e] {
      if (e->isModified()) applyEdits();
    });
    return e;
  };

  // A fixed register must stand out from the others at a glance.
  setStyleSheet(
      QStringLiteral("QPushButton:checked { background-color: palette(highlight);"
                     " color: palette(highlighted-text); border: 1px solid palette(dark);"
                     " border-radius: 2px; padding: 3px; }"));
  auto* registers = new QGridLayout;
  int row = 0;
  for (const TRegisterRow& r : kRegisterRows) {
    registers->addWidget(makeButton(r.full), row, 0);
    registers->addWidget(makeButton(r.part), row, 1);
    if (r.low) registers->addWidget(makeButton(r.low), row, 2);
    registers->addWidget(makeEdit(r.edit, 8), row, 3);
    ++row;
  }
  auto* registerBox = new QGroupBox(this);
  registerBox->setLayout(registers);

  auto* segments = new QGridLayout;
  for (int i = 0; i < kSegmentCount; ++i) {
    segments->addWidget(makeButton(FRC_FIRST_SEGMENT_BUTTON + i), i, 0);
    segments->addWidget(makeEdit(FRC_FIRST_SEGMENT_EDIT + i, 4), i, 1);
  }
  auto* segmentBox = new QGroupBox(this);
  segmentBox->setLayout(segments);

  auto* flagRow = new QHBoxLayout;
  for (const auto& f : kFlagBoxes) {
    const int id = FRC_FLAG_BASE + f.bit;
    auto* box = new QCheckBox(QString::fromLatin1(f.text), this);
    flags_[id] = box;
    flagRow->addWidget(box);
    connect(box, &QCheckBox::clicked, this, [this, id] {
      syncModel();
      model_.clickFlag(id);
      showModel(true);
      emit changed();
    });
  }
  flagRow->addStretch(1);

  stack_ = new TStackListBox(model_, this);
  auto* stackLabel = new QLabel(QStringLiteral("Stack:"), this);
  stackLabel->setBuddy(stack_);
  auto* stackColumn = new QVBoxLayout;
  stackColumn->addWidget(stackLabel);
  stackColumn->addWidget(stack_);
  stackColumn->addStretch(1);

  auto* top = new QHBoxLayout;
  top->addWidget(registerBox);
  top->addWidget(segmentBox, 0, Qt::AlignTop);
  top->addLayout(stackColumn);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(flagRow);
  layout->setSizeConstraint(QLayout::SetMinimumSize);

  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, [this] { flush(); });
  // The listing substitutes the fixed registers from now on.
  doc_.trace().setFixedRegistersShown(true);
  doc_.addObserver(*this);
  refreshNow();
}

TFixRegDlg::~TFixRegDlg() { doc_.removeObserver(*this); }

// The tracer stepped (told on this thread, by the trace loop).
void TFixRegDlg::regsChanged() { stateChanged(); }

void TFixRegDlg::toggle() {
  if (isVisible()) {
    applyEdits();
    hide();
    return;
  }
  showRefreshed();
}

void TFixRegDlg::showRefreshed() {
  refreshNow();
  show();
  raise();
  activateWindow();
}

void TFixRegDlg::applyEdits() {
  syncModel();
  model_.apply();
  afterEdit();
}

void TFixRegDlg::schedule() {
  pending_ = true;
  // A hidden dialog refreshes when it is shown.
  if (!isVisible()) return;
  const qint64 since = sinceRefresh_.isValid() ? sinceRefresh_.elapsed() : kRefreshMs;
  timer_.start(since >= kRefreshMs ? 0 : int(kRefreshMs - since));
}

void TFixRegDlg::flush() {
  if (pending_ && isVisible()) refreshNow();
}

void TFixRegDlg::refreshNow() {
  pending_ = false;
  timer_.stop();
  sinceRefresh_.restart();
  model_.refresh();
  showModel(true);
}

void TFixRegDlg::syncModel() {
  model_.refresh();
  for (auto e = edits_.cbegin(); e != edits_.cend(); ++e)
    if (e.value()->isModified()) model_.setEditText(e.key(), e.value()->text().toStdString());
}

void TFixRegDlg::showModel(bool keepTyped) {
  for (auto b = buttons_.cbegin(); b != buttons_.cend(); ++b)
    b.value()->setChecked(model_.pressed(b.key()));
  for (auto e = edits_.cbegin(); e != edits_.cend(); ++e) {
    if (keepTyped && e.value()->isModified()) continue;
    const QString text = QString::fromLatin1(model_.editText(e.key()).c_str());
    if (e.value()->text() != text) e.value()->setText(text);
    e.value()->setModified(false);
  }
  for (auto f = flags_.cbegin(); f != flags_.cend(); ++f)
    f.value()->setChecked(model_.flagChecked(f.key()));
  stack_->sync();
}

void TFixRegDlg::afterEdit() {
  showModel(false);
  emit changed();
}

void TFixRegDlg::closeEvent(QCloseEvent* event) {
  applyEdits();
  event->accept();
}

void TFixRegDlg::reject() {
  applyEdits();
  QDialog::reject();
}
