// The picture of traced bytes: one pixel per byte of the file, 320 to a row,
// coloured by what traced code did to it. Tab switches follow mode.
#pragma once
#include <QImage>
#include <QScrollBar>
#include <QWidget>
#include <vector>

class TTraceVis;

class TTraceVisWindow : public QWidget {
  Q_OBJECT
 public:
  // Attaches to the model's change callbacks; detaches on destruction.
  TTraceVisWindow(TTraceVis& vis, QWidget* parent = nullptr);
  ~TTraceVisWindow() override;

  TTraceVis& vis() const { return vis_; }
  QScrollBar* scrollBar() const { return scroll_; }
  // The picture as shown now.
  QImage picture();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  // Tab is the follow-mode key here, not a focus move.
  bool focusNextPrevChild(bool next) override;

 private:
  void refresh();
  void syncScrollBar();
  void pixelChanged(uint32_t offset);
  TTraceVis& vis_;
  QScrollBar* scroll_ = nullptr;
  QImage image_;
  std::vector<uint8_t> rgb_;
  bool stale_ = true;
  bool updatePending_ = false;
};
