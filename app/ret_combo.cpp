#include "app/ret_combo.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include "analysis/return_manager.h"

// ---- TReturnListBox ------------------------------------------------------------

TReturnListBox::TReturnListBox(const TReturnManager& history, QWidget* parent)
    : QListWidget(parent) {
  setWindowFlags(Qt::Popup);
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(kWidth, kHeight);
  setSortingEnabled(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setMouseTracking(true);
  for (const std::string& line : history.listLines()) {
    // The entries hold a tab between the kind and the address.
    addItem(QString::fromStdString(line).replace(QLatin1Char('\t'), QStringLiteral("  ")));
  }
  // Pointing selects, as in a drop-down list; releasing chooses.
  connect(this, &QListWidget::itemEntered, this,
          [this](QListWidgetItem* item) { setCurrentItem(item); });
}

void TReturnListBox::choose() {
  const int row = currentRow();
  if (row < 0 || selectedItems().isEmpty()) return;
  closing_ = true;
  emit chosen(row);
  close();
}

void TReturnListBox::mouseReleaseEvent(QMouseEvent* event) {
  QListWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) choose();
}

void TReturnListBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    choose();
    return;
  }
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QListWidget::keyPressEvent(event);
}

void TReturnListBox::focusOutEvent(QFocusEvent* event) {
  QListWidget::focusOutEvent(event);
  if (!closing_) close();
}

void TReturnListBox::hideEvent(QHideEvent* event) {
  // Remembered so the gadget can tell that the click which closed the list
  // was the one on its own button.
  closedAt_ = QCursor::pos();
  emit closedList(closedAt_);
  QListWidget::hideEvent(event);
}

// ---- TRetComboGadget -----------------------------------------------------------

TRetComboGadget::TRetComboGadget(const TReturnManager& history, QWidget* parent)
    : QWidget(parent), history_(history) {
  setFixedSize(kWidth, kHeight);
  setFocusPolicy(Qt::TabFocus);
}

bool TRetComboGadget::enabledLook() const { return history_.count() >= 2; }

QString TRetComboGadget::shownText() const {
  char text[50];
  history_.getLastRetString(text, sizeof text);
  return QString::fromLatin1(text);
}

void TRetComboGadget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  // Sunken field.
  p.fillRect(rect(), pal.color(QPalette::Base));
  p.setPen(pal.color(QPalette::Dark));
  p.drawLine(0, 0, kWidth - 1, 0);
  p.drawLine(0, 0, 0, kHeight - 1);
  p.setPen(pal.color(QPalette::Light));
  p.drawLine(1, kHeight - 1, kWidth - 1, kHeight - 1);
  p.drawLine(kWidth - 1, 1, kWidth - 1, kHeight - 1);
  // Drop-down button in x 183..199, y 1..19.
  const QRect button(kButtonLeft, 1, kWidth - 1 - kButtonLeft, 19);
  p.fillRect(button, pal.color(QPalette::Button));
  p.setPen(pal.color(QPalette::Light));
  p.drawLine(button.topLeft(), button.topRight());
  p.drawLine(button.topLeft(), button.bottomLeft());
  p.setPen(pal.color(QPalette::Shadow));
  p.drawLine(button.bottomLeft(), button.bottomRight());
  p.drawLine(button.topRight(), button.bottomRight());
  const bool on = enabledLook();
  const int cx = button.center().x() + 1, cy = button.center().y() + 1;
  auto arrow = [&](int dx, int dy, const QColor& c) {
    p.setPen(c);
    for (int i = 0; i < 4; ++i)
      p.drawLine(cx - 3 + i + dx, cy - 2 + i + dy, cx + 3 - i + dx, cy - 2 + i + dy);
  };
  if (on) {
    arrow(0, 0, pal.color(QPalette::ButtonText));
  } else {
    arrow(1, 1, pal.color(QPalette::Light));
    arrow(0, 0, pal.color(QPalette::Disabled, QPalette::ButtonText));
  }
  // The newest entry; its tab stop lies ten average character widths in.
  QString text = shownText();
  const QFontMetrics fm(font());
  const int tab = 10 * fm.averageCharWidth();
  p.setPen(pal.color(QPalette::Text));
  p.setClipRect(QRect(2, 1, kButtonLeft - 3, kHeight - 2));
  const int baseline = 3 + fm.ascent();
  const int tabAt = int(text.indexOf(QLatin1Char('\t')));
  if (tabAt < 0) {
    p.drawText(4, baseline, text);
  } else {
    p.drawText(4, baseline, text.left(tabAt));
    p.drawText(4 + tab, baseline, text.mid(tabAt + 1));
  }
  if (hasFocus()) {
    QStyleOptionFocusRect o;
    o.initFrom(this);
    o.rect = QRect(2, 2, kButtonLeft - 4, kHeight - 4);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &o, &p, this);
  }
}

void TRetComboGadget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || history_.count() == 0) return;
  const QPoint at = event->position().toPoint();
  if (at.x() < kButtonLeft) {
    emit goBackRequested(0);
    return;
  }
  if (history_.count() == 1) return;
  if (list_ && list_->isVisible()) {
    list_->close();
    return;
  }
  // The click that just closed the list lands here as well: it must not open it again.
  const QPoint global = event->globalPosition().toPoint();
  if (global == listClosedAt_) {
    listClosedAt_ = QPoint(-1, -1);
    return;
  }
  openList();
}

void TRetComboGadget::keyPressEvent(QKeyEvent* event) {
  if (history_.count() == 0) return QWidget::keyPressEvent(event);
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
      event->key() == Qt::Key_Space) {
    emit goBackRequested(0);
    return;
  }
  if (event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier) &&
      history_.count() >= 2) {
    openList();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TRetComboGadget::openList() {
  list_ = new TReturnListBox(history_, this);
  connect(list_, &TReturnListBox::chosen, this, &TRetComboGadget::goBackRequested);
  connect(list_, &TReturnListBox::closedList, this, [this](QPoint at) { listClosedAt_ = at; });
  list_->move(mapToGlobal(QPoint(1, kHeight + 1)));
  listClosedAt_ = QPoint(-1, -1);
  list_->show();
  list_->setFocus();
}
