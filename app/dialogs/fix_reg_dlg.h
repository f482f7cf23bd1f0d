// "Set fixed register values...": the tracer's registers, segment registers,
// flags, fixed marks and a window onto its private stack, over
// TFixedRegsModel. Modeless; F11 shows and hides it. It follows the tracer
// while shown, coalescing the refreshes of a continuous trace.
#pragma once
#include <QDialog>
#include <QElapsedTimer>
#include <QMap>
#include <QTimer>
#include <QWidget>

#include "document/document_observer.h"
#include "tracer/fixed_regs_model.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QScrollBar;
class TDocument;

// The ten lines of the stack window; the model says what they hold.
class TStackListBox : public QWidget {
  Q_OBJECT
 public:
  TStackListBox(TFixedRegsModel& model, QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }
  QScrollBar* scrollBar() const { return scroll_; }
  // After the model's first line moved: the thumb and the lines.
  void sync();

 signals:
  void scrolled();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void scrollAction(int action);
  QRect linesRect() const;
  TFixedRegsModel& model_;
  QScrollBar* scroll_;
};

class TFixRegDlg : public QDialog, private TDocumentObserver {
  Q_OBJECT
 public:
  // At most this often while a continuous trace runs.
  static constexpr int kRefreshMs = 50;

  TFixRegDlg(TDocument& doc, QWidget* parent = nullptr);
  ~TFixRegDlg() override;

  TFixedRegsModel& model() { return model_; }
  QPushButton* button(int id) const { return buttons_.value(id); }
  QLineEdit* edit(int id) const { return edits_.value(id); }
  QCheckBox* flagBox(int id) const { return flags_.value(id); }
  TStackListBox* stackList() const { return stack_; }

  // F11: shows it refreshed, or applies and hides it when shown.
  void toggle();
  // Shows it refreshed without ever hiding it (a project with fixed marks).
  void showRefreshed();
  // Reads the typed values into the state (Enter in a field, closing).
  void applyEdits();
  // The tracer moved: refreshes soon, coalesced (called at every step).
  void stateChanged() {
    if (!pending_) schedule();
  }
  // Refreshes now when a refresh is pending.
  void flush();

 signals:
  // The state was edited: the listing shows the new values.
  void changed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void regsChanged() override;
  void schedule();
  void refreshNow();
  // The model as the state is now, with the texts the user typed and has
  // not yet applied kept, so that an action never writes stale values back.
  void syncModel();
  // keepTyped: fields the user typed into and has not applied keep their text.
  void showModel(bool keepTyped);
  void afterEdit();

  TDocument& doc_;
  TFixedRegsModel model_;
  QMap<int, QPushButton*> buttons_;
  QMap<int, QLineEdit*> edits_;
  QMap<int, QCheckBox*> flags_;
  TStackListBox* stack_;
  QTimer timer_;
  QElapsedTimer sinceRefresh_;
  bool pending_ = false;
};
