#include "app/trace_vis_window.h"

#include <QKeyEvent>
#include <QPainter>
#include <QWheelEvent>

#include "tracer/trace_vis.h"

TTraceVisWindow::TTraceVisWindow(TTraceVis& vis, QWidget* parent)
    : QWidget(parent, Qt::Tool), vis_(vis) {
  setWindowTitle(QString::fromLatin1(TTraceVis::kTitle));
  setFocusPolicy(Qt::StrongFocus);
  int width = int(TTraceVis::kWidth);
  if (vis_.hasScrollBar()) {
    scroll_ = new QScrollBar(Qt::Vertical, this);
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->setGeometry(width, 0, scroll_->sizeHint().width(), int(vis_.shownHeight()));
    width += scroll_->sizeHint().width();
    syncScrollBar();
    connect(scroll_, &QScrollBar::actionTriggered, this, [this](int action) {
      using S = TTraceVis::Scroll;
      switch (action) {
        case QAbstractSlider::SliderSingleStepAdd: vis_.scroll(S::LineDown); break;
        case QAbstractSlider::SliderSingleStepSub: vis_.scroll(S::LineUp); break;
        case QAbstractSlider::SliderPageStepAdd: vis_.scroll(S::PageDown); break;
        case QAbstractSlider::SliderPageStepSub: vis_.scroll(S::PageUp); break;
        case QAbstractSlider::SliderMove: vis_.scroll(S::Thumb, scroll_->sliderPosition()); break;
        default: return;
      }
      refresh();
    });
  }
  setFixedSize(width, int(vis_.shownHeight() ? vis_.shownHeight() : 1));
  vis_.pixelChanged = [this](uint32_t offset) { pixelChanged(offset); };
  vis_.moved = [this] { refresh(); };
}

TTraceVisWindow::~TTraceVisWindow() {
  vis_.pixelChanged = nullptr;
  vis_.moved = nullptr;
}

void TTraceVisWindow::syncScrollBar() {
  if (!scroll_) return;
  QSignalBlocker block(scroll_);
  scroll_->setRange(0, int(vis_.scrollRange()));
  scroll_->setPageStep(int(TTraceVis::kShownRows));
  scroll_->setValue(int(vis_.top()));
}

void TTraceVisWindow::refresh() {
  stale_ = true;
  syncScrollBar();
  update();
}

void TTraceVisWindow::pixelChanged(uint32_t offset) {
  const uint32_t row = offset / TTraceVis::kWidth;
  if (row < vis_.top()) return;
  if (row >= vis_.top() + TTraceVis::kShownRows) return;
  stale_ = true;
  // A trace changes pixels far more often than the screen shows frames: one
  // pending repaint of the picture carries them all.
  if (!updatePending_) {
    updatePending_ = true;
    update();
  }
}

QImage TTraceVisWindow::picture() {
  if (stale_) {
    vis_.render(rgb_);
    const int w = int(TTraceVis::kWidth), h = int(vis_.shownHeight());
    if (h > 0 && rgb_.size() >= size_t(w) * size_t(h) * 3)
      image_ = QImage(rgb_.data(), w, h, w * 3, QImage::Format_RGB888).copy();
    else
      image_ = QImage();
    stale_ = false;
  }
  return image_;
}

void TTraceVisWindow::paintEvent(QPaintEvent* event) {
  updatePending_ = false;
  QPainter p(this);
  p.setClipRegion(event->region());
  const QImage img = picture();
  if (!img.isNull()) p.drawImage(0, 0, img);
}

void TTraceVisWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Tab) {
    vis_.toggleFollowMode();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool TTraceVisWindow::focusNextPrevChild(bool) { return false; }

void TTraceVisWindow::wheelEvent(QWheelEvent* event) {
  if (!scroll_) return;
  vis_.scroll(event->angleDelta().y() > 0 ? TTraceVis::Scroll::LineUp
                                          : TTraceVis::Scroll::LineDown);
  refresh();
}
