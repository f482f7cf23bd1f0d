#include "app/qt_host.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>
#include <QThread>

#include "app/comment_replace_dlg.h"
#include "app/status_bar.h"
#include "app/window_geometry.h"

namespace {

// The longest main status text kept.
constexpr size_t kStatusRoom = 259;

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

QMessageBox::Icon qtIcon(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::None: return QMessageBox::NoIcon;
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning:
    case MsgIcon::Exclamation: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QColor toQColor(uint32_t bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }
uint32_t fromQColor(const QColor& c) {
  return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16;
}

bool isUiThread() {
  return QCoreApplication::instance() &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

// What closing the box without a button answers: the way out of the question.
MsgAnswer escapeAnswer(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::Ok: return MsgAnswer::Ok;
    case MsgButtons::YesNo: return MsgAnswer::No;
    case MsgButtons::OkCancel:
    case MsgButtons::YesNoCancel: return MsgAnswer::Cancel;
  }
  return MsgAnswer::Cancel;
}

}  // namespace

QString qtFileFilter(std::string_view filter) {
  QString f = qs(filter);
  f.replace(QStringLiteral("*.*"), QStringLiteral("*"));
  return f;
}

TQtHost::TQtHost(QObject* parent) : QObject(parent) {}

void TQtHost::setStatusBar(TDStatusBar* bar) {
  bar_ = bar;
  flushStatus();
}

void TQtHost::onUiThread(const std::function<void()>& f) {
  if (isUiThread()) {
    f();
    return;
  }
  QMetaObject::invokeMethod(
      this, [&f] { f(); }, Qt::BlockingQueuedConnection);
}

bool TQtHost::askOnUiThread(const std::function<void()>& f) {
  if (isUiThread()) {
    f();
    return true;
  }
  auto q = std::make_shared<TQuestion>();
  {
    std::lock_guard lock(questionsLock_);
    if (abandon_) return false;
    questions_.push_back(q);
  }
  // f lives on the asking thread's stack: the posted call runs it only while
  // that thread still waits, which it does until done is set.
  QMetaObject::invokeMethod(
      this,
      [q, &f] {
        {
          std::lock_guard lock(q->m);
          if (q->done) return;
          q->shown = true;
        }
        f();
        {
          std::lock_guard lock(q->m);
          q->done = true;
        }
        q->cv.notify_all();
      },
      Qt::QueuedConnection);
  bool abandoned;
  {
    std::unique_lock lock(q->m);
    q->cv.wait(lock, [&] { return q->done; });
    abandoned = q->abandoned;
  }
  std::lock_guard lock(questionsLock_);
  std::erase(questions_, q);
  return !abandoned;
}

void TQtHost::setAbandonQuestions(bool on) {
  std::lock_guard lock(questionsLock_);
  abandon_ = on;
  if (!on) return;
  for (auto& q : questions_) {
    {
      std::lock_guard qlock(q->m);
      if (q->shown || q->done) continue;
      q->done = q->abandoned = true;
    }
    q->cv.notify_all();
  }
}

void TQtHost::postToUi(std::function<void()> f) {
  if (isUiThread()) {
    f();
    return;
  }
  QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

MsgAnswer TQtHost::message(std::string_view text, std::string_view caption, MsgIcon icon,
                           MsgButtons buttons) {
  MsgAnswer answer = defaultAnswer(buttons);
  const QString t = qs(text), c = qs(caption);
  const bool shown = askOnUiThread([&] {
    QMessageBox box(qtIcon(icon), c, t, QMessageBox::NoButton, parent_);
    switch (buttons) {
      case MsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
      case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
      case MsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
      case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    // A short text beside a long caption ("0000FFFF" under "Invalid goto
    // address:") would leave the window manager to cut the caption.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
      grid->addItem(new QSpacerItem(titleWidth(box), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                    grid->rowCount(), 0, 1, grid->columnCount());
    switch (box.exec()) {
      case QMessageBox::Ok: answer = MsgAnswer::Ok; break;
      case QMessageBox::Yes: answer = MsgAnswer::Yes; break;
      case QMessageBox::No: answer = MsgAnswer::No; break;
      case QMessageBox::Cancel: answer = MsgAnswer::Cancel; break;
      default: answer = escapeAnswer(buttons);  // the close box
    }
  });
  return shown ? answer : escapeAnswer(buttons);
}

void TQtHost::setStatusText(std::string_view text) {
  bool post = false;
  {
    std::lock_guard lock(statusLock_);
    statusText_.assign(text.substr(0, kStatusRoom));
    // A scan sets the text often: one pending update carries the latest text.
    if (!statusPosted_) post = statusPosted_ = true;
  }
  if (post) postToUi([this] { flushStatus(); });
}

void TQtHost::flushStatus() {
  std::string text;
  {
    std::lock_guard lock(statusLock_);
    statusPosted_ = false;
    text = statusText_;
  }
  if (bar_) bar_->setMainText(QString::fromStdString(text));
}

std::string TQtHost::statusText() const {
  std::lock_guard lock(statusLock_);
  return statusText_;
}

void TQtHost::setStatusField(StatusField field, std::string_view text) {
  postToUi([this, field, t = qs(text)] {
    if (!bar_) return;
    switch (field) {
      case StatusField::FileSize: bar_->setFileSize(t); break;
      case StatusField::CursorAddress: bar_->setCursorAddress(t); break;
      case StatusField::CursorValue: bar_->setCursorValue(t); break;
    }
  });
}

void TQtHost::showGauges(bool visible) {
  postToUi([this, visible] {
    if (bar_) bar_->gauges()->setVisible(visible);
  });
}

void TQtHost::setGauge(int index, int thousandths, int counter) {
  postToUi([this, index, thousandths, counter] {
    if (bar_) bar_->gauges()->setGauge(index, thousandths, counter);
  });
}

std::optional<std::string> TQtHost::chooseOpenFile(std::string_view title, std::string_view filter,
                                                   std::string_view defaultName) {
  std::optional<std::string> result;
  onUiThread([&] {
    const QString f = QFileDialog::getOpenFileName(parent_, qs(title), qs(defaultName),
                                                   qtFileFilter(filter));
    if (!f.isEmpty()) result = f.toStdString();
  });
  return result;
}

std::optional<std::string> TQtHost::chooseSaveFile(std::string_view title, std::string_view filter,
                                                   std::string_view defaultName) {
  std::optional<std::string> result;
  onUiThread([&] {
    const QString f = QFileDialog::getSaveFileName(parent_, qs(title), qs(defaultName),
                                                   qtFileFilter(filter));
    if (!f.isEmpty()) result = f.toStdString();
  });
  return result;
}

std::optional<uint32_t> TQtHost::chooseColor(uint32_t initial,
                                             std::array<uint32_t, 16>& customColors) {
  std::optional<uint32_t> result;
  onUiThread([&] {
    for (int i = 0; i < 16; ++i) QColorDialog::setCustomColor(i, toQColor(customColors[i]));
    const QColor c = QColorDialog::getColor(toQColor(initial), parent_);
    for (int i = 0; i < 16; ++i) customColors[i] = fromQColor(QColorDialog::customColor(i));
    if (c.isValid()) result = fromQColor(c);
  });
  return result;
}

void TQtHost::beep() {
  postToUi([] { QApplication::beep(); });
}

int TQtHost::askReplaceName(uint32_t address, std::string_view oldName, std::string& newName,
                            size_t room) {
  int answer = REPLACE_ANSWER_CANCEL;
  askOnUiThread([&] {
    TCommentReplaceDlg dlg(address, qs(oldName), QString::fromStdString(newName), room, parent_);
    const bool placed = addressInFile ? addressInFile(address) : false;
    dlg.setShowAddress(placed, showAddress);
    answer = dlg.exec();
    if (answer == REPLACE_ANSWER_REPLACE) newName = dlg.editedName().toStdString();
  });
  return answer;
}
