#include "app/listing/dump_window.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <climits>

#include "app/window_geometry.h"
#include "document/document.h"
#include "listing/listing_cells.h"
#include "persist/settings.h"

namespace {

QColor qcolour(uint32_t word) {
  return QColor(colourRed(word), colourGreen(word), colourBlue(word));
}

TLineSource lineSource(const TDocument& doc) { return doc.listingContext().lines; }

}  // namespace

TDumpWin::TDumpWin(TDocument& doc, const TSettings& settings, const QFont& font, QWidget* parent)
    : QAbstractScrollArea(parent), doc_(doc), settings_(settings), font_(font) {
  setWindowFlags(Qt::Tool);
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Dump Window - Press <TAB> to switch mode");
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setFont(font_);
  const QFontMetrics fm(font_);
  charWidth_ = fm.horizontalAdvance(QLatin1Char('0'));
  lineHeight_ = fm.height();
  state_.rows = settings.dumpRows > 0 ? uint32_t(settings.dumpRows) : 6;
  state_.memory = doc.view().memory();
  state_.bits16 = doc.view().bits16;
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &TDumpWin::scrolled);
  connect(verticalScrollBar(), &QScrollBar::sliderReleased, this,
          [this] { scroll(TScrollCode::EndScroll); });
  // The bytes may change under the window (typing, undo, a traced write).
  changeListener_ = doc_.addChangeListener([this](uint32_t) { refresh(); });
  fitTitle(*this);
  resize(windowSize());
}

TDumpWin::~TDumpWin() { stopListening(); }

void TDumpWin::stopListening() {
  if (changeListener_) doc_.removeChangeListener(changeListener_);
  changeListener_ = 0;
}

void TDumpWin::closeEvent(QCloseEvent* e) {
  // A closed window waits for its deletion without following the bytes.
  stopListening();
  QAbstractScrollArea::closeEvent(e);
}

QSize TDumpWin::windowSize() const {
  return QSize(std::max(clientWidth_ + verticalScrollBar()->sizeHint().width(), minimumWidth()),
               int(state_.rows) * lineHeight_ + 3);
}

void TDumpWin::aim(uint32_t target, bool dataMode) {
  const TLineSource src = lineSource(doc_);
  state_.target = target;
  state_.dataMode = dataMode;
  state_.memory = doc_.view().memory();
  state_.bits16 = doc_.view().bits16;
  state_.thumbTracking = false;
  state_.top = dataMode ? target : dumpCodeTop(src, target, state_.rows, state_.bits16);
  refresh();
}

void TDumpWin::refresh() {
  dumpRows(state_, lineSource(doc_), rows_);
  updateBar();
  viewport()->update();
}

void TDumpWin::updateBar() {
  int64_t pos = 0, max = 0;
  dumpScrollRange(state_, doc_.fileSize(), pos, max);
  settingBar_ = true;
  QScrollBar* bar = verticalScrollBar();
  bar->setRange(0, int(max > INT_MAX ? INT_MAX : max));
  bar->setPageStep(int(state_.rows));
  if (!state_.thumbTracking) bar->setValue(int(pos > INT_MAX ? INT_MAX : pos));
  settingBar_ = false;
}

void TDumpWin::scroll(TScrollCode code, int64_t thumb) {
  const bool wide = doc_.fileSize() <= uint32_t(INT_MAX);
  const bool wasTracking = state_.thumbTracking;
  dumpScroll(state_, lineSource(doc_), code, thumb, wide);
  dumpRows(state_, lineSource(doc_), rows_);
  if (wasTracking != state_.thumbTracking || !state_.thumbTracking) updateBar();
  viewport()->update();
}

void TDumpWin::scrolled(int action) {
  if (settingBar_) return;
  QScrollBar* bar = verticalScrollBar();
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: scroll(TScrollCode::LineDown); break;
    case QAbstractSlider::SliderSingleStepSub: scroll(TScrollCode::LineUp); break;
    case QAbstractSlider::SliderPageStepAdd: scroll(TScrollCode::PageDown); break;
    case QAbstractSlider::SliderPageStepSub: scroll(TScrollCode::PageUp); break;
    case QAbstractSlider::SliderToMinimum: scroll(TScrollCode::Top); break;
    case QAbstractSlider::SliderToMaximum: scroll(TScrollCode::Bottom); break;
    case QAbstractSlider::SliderMove: {
      const int pos = bar->sliderPosition();
      scroll(TScrollCode::ThumbTrack, pos);
      if (state_.thumbTracking) return;  // the bar keeps the dragged position
      break;
    }
    default: return;
  }
  int64_t pos = 0, max = 0;
  dumpScrollRange(state_, doc_.fileSize(), pos, max);
  if (!state_.thumbTracking) bar->setSliderPosition(int(pos > INT_MAX ? INT_MAX : pos));
}

void TDumpWin::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Tab:
      state_.dataMode = !state_.dataMode;
      state_.thumbTracking = false;
      refresh();
      return;
    case Qt::Key_Escape: close(); return;
    case Qt::Key_PageUp: scroll(TScrollCode::PageUp); return;
    case Qt::Key_PageDown: scroll(TScrollCode::PageDown); return;
    case Qt::Key_Home: scroll(TScrollCode::Top); return;
    case Qt::Key_End: scroll(TScrollCode::Bottom); return;
    case Qt::Key_Up: scroll(TScrollCode::LineUp); return;
    case Qt::Key_Down: scroll(TScrollCode::LineDown); return;
    case Qt::Key_Left:
    case Qt::Key_Right:
      if (dumpShift(state_, doc_.fileSize(), e->key() == Qt::Key_Left ? -1 : 1)) refresh();
      return;
    default: QAbstractScrollArea::keyPressEvent(e);
  }
}

void TDumpWin::wheelEvent(QWheelEvent* e) {
  const int delta = e->angleDelta().y();
  if (e->buttons() & Qt::RightButton) {
    const int steps = wheelSteps(delta, 120);
    for (int i = 0; i < (steps < 0 ? -steps : steps); ++i)
      dumpShift(state_, doc_.fileSize(), steps > 0 ? -1 : 1);
    refresh();
  } else {
    const int steps = wheelSteps(delta, (e->buttons() & Qt::LeftButton) ? 120 : 40);
    for (int i = 0; i < (steps < 0 ? -steps : steps); ++i)
      dumpScroll(state_, lineSource(doc_), steps > 0 ? TScrollCode::LineUp : TScrollCode::LineDown,
                 0);
    refresh();
  }
  e->accept();
}

void TDumpWin::growTo(int clientWidth) {
  if (clientWidth <= clientWidth_) return;
  const int grow = clientWidth - clientWidth_;
  clientWidth_ = clientWidth;
  QRect g = geometry();
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  const int screenW = screen ? screen->geometry().width() : INT_MAX / 2;
  int right = g.right() + grow;
  int left = g.left();
  if (right > screenW - 1) {
    left -= right - (screenW - 1);
    right = screenW - 1;
    if (left < 0) left = 0;
  }
  setGeometry(left, g.top(),
              windowSize().width() > right - left + 1 ? windowSize().width() : right - left + 1,
              g.height());
}

void TDumpWin::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  p.setFont(font_);
  const QFontMetrics fm(font_);
  const int ascent = fm.ascent();
  p.fillRect(viewport()->rect(), qcolour(DUMP_BACK));
  int widest = 0;
  for (size_t r = 0; r < rows_.size(); ++r) {
    const TDumpRow& row = rows_[r];
    const int y = int(r) * lineHeight_;
    // In data rows only a row that starts right at the target is marked.
    const bool mark = row.target;
    const uint32_t back = mark ? DUMP_TARGET_BACK : DUMP_BACK;
    if (mark) p.fillRect(0, y, viewport()->width(), lineHeight_, qcolour(DUMP_TARGET_BACK));
    int end = 0;
    markedRuns(row.text, settings_, back, [&](const TTextRun& run) {
      const int x = int(run.column) * charWidth_;
      const int w = int(run.length) * charWidth_;
      if (run.bg != back) p.fillRect(x, y, w, lineHeight_, qcolour(run.bg));
      p.setPen(qcolour(run.fg));
      p.drawText(x, y + ascent, QString::fromLatin1(run.text, int(run.length)));
      end = x + w;
    });
    if (end > widest) widest = end;
  }
  if (widest + 5 > clientWidth_) growTo(widest + 5);
}
