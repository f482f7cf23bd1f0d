// The document's project commands: load a project (on its own thread, the
// other workers stopped first), save it, save it under a new name. The
// bytes of the file are persist/project_file's business; this is where the
// file is opened, the analysed file is found and the view settings applied.
#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "persist/project_file.h"

class TDocument;

// The thread a project load runs on. There is no stop request: a load runs
// to its end or to its first failure, and the destructor waits for it.
class TProjectLoaderThread {
 public:
  TProjectLoaderThread() = default;
  ~TProjectLoaderThread() { join(); }
  TProjectLoaderThread(const TProjectLoaderThread&) = delete;
  TProjectLoaderThread& operator=(const TProjectLoaderThread&) = delete;

  // Waits for a previous load, then runs `load` on a new thread.
  void start(std::function<int()> load);
  bool running() const { return running_.load(std::memory_order_acquire); }
  // Waits for the load to end; nothing when none was started.
  void join();
  // Joins a load that has already ended (its thread is finished with).
  void reap() {
    if (!running()) join();
  }
  // Result of the last load that ended (a TProjectLoadResult), -1 before any.
  int result() const { return result_.load(std::memory_order_acquire); }

 private:
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<int> result_{-1};
};

// What the project commands keep beside the document.
struct TProjectState {
  // The remembered project file: set by the load and save-as dialogs and the
  // start-up open request; forgotten when the user opens another file.
  std::string path;
  TProjectLoaderThread loader;
  // The listing repaints (called on the loading thread: marshal it).
  std::function<void()> repaint;
  // CM_FIXED_REGS_FROM_PROJECT: show the fixed-register window (loading thread: marshal it).
  std::function<void()> showFixedRegisters;
};

// The project file name offered in the dialogs: the analysed file's path
// with its extension replaced by ".oxu", or ".oxu" appended.
std::string defaultProjectPath(const TDocument& doc);

// Loads state.path into the document on the calling thread; the result is a
// TProjectLoadResult. The desktop program runs it through startProjectLoad.
int LoadProject(TDocument& doc, TProjectState& state);
// The same over a project already in memory (named state.path in messages).
int LoadProject(TDocument& doc, TProjectState& state, const uint8_t* data, size_t size);

// Writes state.path: 1 success, 0 failure (reported). The previous file is
// replaced only when the new one was written completely.
int SaveProject(TDocument& doc, TProjectState& state);

// The start of a load (after the dialog, and the start-up open request of a
// project): the close question, the workers stopped, the changed flag
// cleared, LoadProject started on state.loader. False when declined.
bool startProjectLoad(TDocument& doc, TProjectState& state);
// "Load project...": close question, file dialog, then startProjectLoad.
bool CmFileLoadProject(TDocument& doc, TProjectState& state);
// "Save project": refused while a worker runs; SaveProject when a project
// file is remembered, else save-as. True when saved.
bool CmFileSaveProject(TDocument& doc, TProjectState& state);
// "Save project as...": refused while a worker runs; dialog, SaveProject.
bool CmFileSaveProjectAs(TDocument& doc, TProjectState& state);
// True (with the "Other threads still active!" message) while the scan, a
// symbol loader or a project load runs; ended loads are joined here.
bool otherThreadsActive(TDocument& doc, TProjectState& state);

// Makes doc.saveProject (the close question's "save the project") run
// CmFileSaveProject with this state.
void installProjectCommands(TDocument& doc, TProjectState& state);
