// Loading names from linker map files and module-definition files, on a
// worker thread. A name that meets a different existing name is put to the
// user through Host::askReplaceName, which blocks the loader until answered.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "image/exports.h"

class Host;
class TCommentContainer;
class TImageInfo;

enum class SymbolFileKind { Map, Def };

// What a loader needs of the analysed file, copied on the user-interface
// thread so the loader never reads an image that is being re-parsed.
struct TSymbolTarget {
  bool isPE = false;
  uint32_t imageBase = 0;
  uint32_t mzHeaderSize = 0;
  std::vector<uint32_t> sectionRvas;
  ExportWalkResult exports = ExportWalkResult::DirectoryFailure;
  std::vector<std::pair<uint32_t, uint32_t>> ownExports;  // (ordinal, RVA) sorted by ordinal

  static TSymbolTarget of(const TImageInfo& image);
};

// The default file the load dialog offers: the analysed file's path with
// ".map" or ".def" as its extension.
std::string defaultSymbolFilePath(SymbolFileKind kind, const std::string& analysedPath);

// Loads on the calling thread. Returns the count shown in "%i symbols
// loaded!", or -1 when the load ended with a message before its list.
int loadSymbolFile(SymbolFileKind kind, const std::string& path, const TSymbolTarget& target,
                   TCommentContainer& names, Host& host, const std::atomic<bool>& stop);

class TSymbolLoaderThread {
 public:
  explicit TSymbolLoaderThread(SymbolFileKind kind) : kind_(kind) {}
  ~TSymbolLoaderThread();
  TSymbolLoaderThread(const TSymbolLoaderThread&) = delete;
  TSymbolLoaderThread& operator=(const TSymbolLoaderThread&) = delete;

  // A load of the same kind that still runs is stopped first. `done` runs on
  // the loader thread when it ends (the listing repaints).
  void start(const std::string& path, TSymbolTarget target, TCommentContainer& names, Host& host,
             std::function<void(int loaded)> done = {});
  // Asks the loader to stop; names loaded so far stay. Waits for it, saying
  // so once when it does not answer within 1500 ms.
  void stop(Host& host);
  bool running() const { return thread_.joinable() && !finished_.load(); }

 private:
  SymbolFileKind kind_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{true};
};
