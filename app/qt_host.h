// The desktop program's Host: Qt message boxes and file dialogs, the status
// bar and its gauges. Calls from worker threads are carried over to the
// user-interface thread; those that need an answer wait for it there.
#pragma once
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/host.h"

class TDStatusBar;

class TQtHost : public QObject, public Host {
  Q_OBJECT
 public:
  explicit TQtHost(QObject* parent = nullptr);

  // Where the status text and gauges go, and the window dialogs belong to.
  void setStatusBar(TDStatusBar* bar);
  void setDialogParent(QWidget* parent) { parent_ = parent; }
  // For the name collision dialog's "Show &address": whether the address has
  // a place in the file, and going there.
  std::function<bool(uint32_t)> addressInFile;
  std::function<void(uint32_t)> showAddress;

  MsgAnswer message(std::string_view text, std::string_view caption, MsgIcon icon,
                    MsgButtons buttons = MsgButtons::Ok) override;
  void setStatusText(std::string_view text) override;
  void setStatusField(StatusField field, std::string_view text) override;
  void showGauges(bool visible) override;
  void setGauge(int index, int thousandths, int counter) override;
  std::optional<std::string> chooseOpenFile(std::string_view title, std::string_view filter,
                                            std::string_view defaultName) override;
  std::optional<std::string> chooseSaveFile(std::string_view title, std::string_view filter,
                                            std::string_view defaultName) override;
  std::optional<uint32_t> chooseColor(uint32_t initial,
                                      std::array<uint32_t, 16>& customColors) override;
  void beep() override;
  int askReplaceName(uint32_t address, std::string_view oldName, std::string& newName,
                     size_t room) override;

  // The main text as last set (any thread).
  std::string statusText() const;

  // While on, a question from a worker thread that the user has not been
  // shown yet is answered at once as if cancelled. The window turns it on
  // while it waits for its workers to stop, which would otherwise wait for
  // a question the user-interface thread can no longer show.
  void setAbandonQuestions(bool on);

 private:
  // Runs f on the user-interface thread; from another thread it waits for it.
  void onUiThread(const std::function<void()>& f);
  // The same for a question: false when it was abandoned before it was shown.
  bool askOnUiThread(const std::function<void()>& f);
  struct TQuestion {
    std::mutex m;
    std::condition_variable cv;
    bool shown = false;  // the user-interface thread has started it
    bool done = false;
    bool abandoned = false;
  };
  void postToUi(std::function<void()> f);
  void flushStatus();

  QPointer<TDStatusBar> bar_;
  QPointer<QWidget> parent_;
  mutable std::mutex statusLock_;
  std::string statusText_;
  bool statusPosted_ = false;
  std::mutex questionsLock_;
  std::vector<std::shared_ptr<TQuestion>> questions_;
  bool abandon_ = false;
};

// "All files (*.*)" in the form a Qt file dialog reads: "*.*" matches every
// name there as well, spelled "*".
QString qtFileFilter(std::string_view filter);
