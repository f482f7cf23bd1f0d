// The main window's status bar: the main text (a hint shown in its place
// while one is set), the file size, the cursor's address, the value under
// the cursor (hex dump only) and the scan's gauges.
#pragma once
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QString>

// Two progress bars with the counters the scan reports beside them.
class TGaugeGadget : public QWidget {
  Q_OBJECT
 public:
  explicit TGaugeGadget(QWidget* parent = nullptr);
  // index 1 or 2; value in thousandths.
  void setGauge(int index, int thousandths, int counter);
  int value(int index) const;

 private:
  QProgressBar* bars_[2];
};

class TDStatusBar : public QStatusBar {
  Q_OBJECT
 public:
  explicit TDStatusBar(QWidget* parent = nullptr);

  void setMainText(const QString& text);
  // A non-empty hint replaces the main text until it is cleared.
  void setHint(const QString& hint);
  QString mainText() const { return main_; }
  QString hint() const { return hint_; }
  // What the text field shows now.
  QString shownText() const { return text_->text(); }

  void setFileSize(const QString& text) { fileSize_->setText(text); }
  void setCursorAddress(const QString& text) { address_->setText(text); }
  void setCursorValue(const QString& text) { value_->setText(text); }
  // The value field exists in the hex-dump mode only.
  void setValueFieldShown(bool shown) { value_->setVisible(shown); }
  bool valueFieldShown() const { return !value_->isHidden(); }
  QString fileSizeText() const { return fileSize_->text(); }
  QString addressText() const { return address_->text(); }
  QString valueText() const { return value_->text(); }

  TGaugeGadget* gauges() const { return gauges_; }
  // A width that shows a large file's scan summary beside every field, the
  // hex dump's value field included.
  int fullWidth() const;

 private:
  void refresh();
  QString main_, hint_;
  QLabel* text_;
  QLabel* fileSize_;
  QLabel* address_;
  QLabel* value_;
  TGaugeGadget* gauges_;
};
