// The history gadget of the tool bar: shows the newest place the listing
// left; a click returns there, the drop-down button lists every entry.
#pragma once
#include <QElapsedTimer>
#include <QListWidget>
#include <QPoint>
#include <QPointer>
#include <QWidget>

class TReturnManager;

// The dropped-down list: newest entry first; releasing the mouse chooses.
class TReturnListBox : public QListWidget {
  Q_OBJECT
 public:
  static constexpr int kWidth = 198;
  static constexpr int kHeight = 100;

  TReturnListBox(const TReturnManager& history, QWidget* parent = nullptr);
  // Where the pointer was when the list lost the focus and closed.
  QPoint closedAt() const { return closedAt_; }

 signals:
  // index counts from the newest entry.
  void chosen(int index);
  void closedList(QPoint globalPos);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void choose();
  QPoint closedAt_;
  bool closing_ = false;
};

class TRetComboGadget : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kWidth = 200;
  static constexpr int kHeight = 22;
  static constexpr int kButtonLeft = 183;  // the drop-down button: x 183..199

  TRetComboGadget(const TReturnManager& history, QWidget* parent = nullptr);

  QSize sizeHint() const override { return QSize(kWidth, kHeight); }
  // The gadget draws its enabled look with two or more entries.
  bool enabledLook() const;
  QString shownText() const;
  TReturnListBox* list() const { return list_; }

 signals:
  // goBack(n) on the document, n counted from the newest entry.
  void goBackRequested(int n);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void openList();
  const TReturnManager& history_;
  QPointer<TReturnListBox> list_;
  QPoint listClosedAt_{-1, -1};
};
