#include "app/status_bar.h"

#include <QHBoxLayout>
#include <QStyle>
#include <algorithm>

TGaugeGadget::TGaugeGadget(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  for (auto*& bar : bars_) {
    bar = new QProgressBar(this);
    bar->setRange(0, 1000);
    bar->setValue(0);
    bar->setFixedWidth(140);
    bar->setFormat(QStringLiteral("0"));
    layout->addWidget(bar);
  }
}

void TGaugeGadget::setGauge(int index, int thousandths, int counter) {
  if (index < 1 || index > 2) return;
  QProgressBar* bar = bars_[index - 1];
  bar->setValue(thousandths < 0 ? 0 : thousandths > 1000 ? 1000 : thousandths);
  bar->setFormat(QString::number(counter));
}

int TGaugeGadget::value(int index) const {
  return index >= 1 && index <= 2 ? bars_[index - 1]->value() : 0;
}

TDStatusBar::TDStatusBar(QWidget* parent) : QStatusBar(parent) {
  setSizeGripEnabled(true);
  text_ = new QLabel(this);
  text_->setMinimumWidth(40);
  text_->setTextFormat(Qt::PlainText);
  fileSize_ = new QLabel(this);
  address_ = new QLabel(this);
  value_ = new QLabel(this);
  gauges_ = new TGaugeGadget(this);
  fileSize_->setMinimumWidth(90);
  address_->setMinimumWidth(70);
  value_->setMinimumWidth(150);
  addWidget(text_, 1);
  addPermanentWidget(gauges_);
  addPermanentWidget(fileSize_);
  addPermanentWidget(address_);
  addPermanentWidget(value_);
  gauges_->hide();
  value_->hide();
}

int TDStatusBar::fullWidth() const {
  static const char kLongSummary[] =
      "9999 imports, 99999 import refs, 999999 jump and call refs, 99999 string refs, 9999 menuitem refs found!";
  int w = text_->fontMetrics().horizontalAdvance(QString::fromLatin1(kLongSummary));
  for (const QLabel* field : {fileSize_, address_, value_})
    w += std::max(field->minimumWidth(), field->sizeHint().width());
  // Gaps between the fields and the size grip.
  return w + 6 * style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing) + 40;
}

void TDStatusBar::setMainText(const QString& text) {
  main_ = text;
  refresh();
}

void TDStatusBar::setHint(const QString& hint) {
  hint_ = hint;
  refresh();
}

void TDStatusBar::refresh() { text_->setText(hint_.isEmpty() ? main_ : hint_); }
