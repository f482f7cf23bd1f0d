// The document's worker threads: the reference scan, the map and definition
// file loaders and the project loader. They fill the document's stores and
// names while the user-interface thread reads them; here they are started,
// stopped and joined, and their ends reported to the document's observers.
#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "analysis/scanner.h"
#include "analysis/symbol_loader.h"

class TDocument;
class TDocumentObservers;

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

class TDocumentWorkers {
 public:
  TDocumentWorkers(TDocument& doc, const TDocumentObservers& observers);
  // Stops and joins every worker.
  ~TDocumentWorkers();
  TDocumentWorkers(const TDocumentWorkers&) = delete;
  TDocumentWorkers& operator=(const TDocumentWorkers&) = delete;

  // ---- the reference scan ---------------------------------------------------
  // "&Rescan references", and the scan a full load starts.
  void startReferenceScan();
  void stopReferenceScan() { scanner_.stopCheckThread(); }
  void waitReferenceScan() { scanner_.waitCheckThread(); }
  bool scanning() const { return scanner_.running(); }

  // ---- symbol files -----------------------------------------------------------
  // "Load map file..." / "Load def file...": asks for the file, then loads
  // it on a worker thread. False when the user cancelled.
  bool loadSymbolFileCommand(SymbolFileKind kind);
  void startSymbolLoad(SymbolFileKind kind, const std::string& path);
  void stopSymbolLoaders();
  bool symbolLoaderRunning() const { return mapLoader_.running() || defLoader_.running(); }

  // ---- the project loader -------------------------------------------------------
  TProjectLoaderThread& projectLoader() { return projectLoader_; }

  // The scan and the symbol loaders stopped: before the file they read goes.
  void stopFileWorkers();
  // Any worker still at work; ended project loads are joined here.
  bool anyRunning();

 private:
  TDocument& doc_;
  const TDocumentObservers& observers_;
  TCheckThread scanner_;
  TSymbolLoaderThread mapLoader_{SymbolFileKind::Map};
  TSymbolLoaderThread defLoader_{SymbolFileKind::Def};
  TProjectLoaderThread projectLoader_;
};
