// The reference scanner: walks a copy of the file's bytes once and fills the
// jump/call, import, string and menu reference stores. It runs on its own
// thread (TCheckThread) or, for batch work and tests, on the caller's thread
// (runReferenceScan).
//
// Lock flags: all four are set before the scan starts and each is cleared
// only when its store is final, so a reader that finds a flag clear never
// sees a store half-filled. Order of clearing for a PE file: jump/call (after
// sorting) and imports after the code pass (the code pass credits calls of
// import thunks to the import store), then strings, then menus.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "analysis/reference_stores.h"
#include "image/image_info.h"

class Host;

// Wall time of each pass in seconds (diagnostics: benchmarks, oxu refs).
struct TScanTimes {
  double imports = 0, code = 0, strings = 0, menus = 0;
};

struct TScanOptions {
  bool extreme = false;  // decode at every byte position, not only behind each instruction
  // Value searches through one index of the code bytes instead of one sweep
  // per value. Both give the same stores; the sweep stays as the reference.
  bool indexed = true;
  bool yield = true;            // give up the time slice now and then (worker threads)
  TScanTimes* times = nullptr;  // filled when given
};

// Told on the scanning thread each time a store's lock flag has been cleared:
// views showing that store refresh themselves (marshalled to their thread).
using TScanNotify = std::function<void(TRefStoreKind)>;

// The bytes of the file as they were when the scan started, with 16 zero
// bytes behind, and their parsed image pointing at this copy.
class TScanSnapshot {
 public:
  TScanSnapshot(const uint8_t* buffer, uint32_t size, const TImageInfo& image);
  TScanSnapshot(const TScanSnapshot&) = delete;
  TScanSnapshot& operator=(const TScanSnapshot&) = delete;

  const uint8_t* bytes() const { return bytes_.get(); }
  uint32_t size() const { return size_; }
  const TImageInfo& image() const { return image_; }

 private:
  std::unique_ptr<uint8_t[]> bytes_;  // not zeroed first: the copy fills it
  uint32_t size_;
  TImageInfo image_;
};

// The first steps of every scan, on the caller's thread: one "... is still
// locked!!!" message per flag still set, stores emptied (jump/call store
// sized to 6 % of the code bytes), status text cleared, all four flags set.
void prepareReferenceScan(TReferenceStores& stores, const TImageInfo& image, Host& host);

// The whole scan on the calling thread: gauges shown, the passes, every flag
// cleared (with a notice), gauges hidden, counts reported. Needs
// prepareReferenceScan first. A set stop flag ends every pass early; a
// stopped scan that found no code references reports nothing.
void runReferenceScan(const TScanSnapshot& snapshot, TReferenceStores& stores, Host& host,
                      const TScanOptions& options, const std::atomic<bool>* stop = nullptr,
                      const TScanNotify& notify = {});

// prepareReferenceScan + runReferenceScan: a complete scan, synchronously.
void scanReferencesNow(const uint8_t* buffer, uint32_t size, const TImageInfo& image,
                       TReferenceStores& stores, Host& host, const TScanOptions& options = {});

// The summary line of the status bar, and writing it there.
std::string referenceCountsText(const TReferenceStores& stores);
void reportReferenceCounts(const TReferenceStores& stores, Host& host);

// "-noscan" on the command line: a file load does not start the scan.
bool isNoScanOption(std::string_view argument);

// The check thread. One scan at a time; a new start stops the running scan
// first; destruction stops it too. Stopping is cooperative: the scan polls
// its stop flag often enough to end within 20 ms, and a thread is never
// killed.
class TCheckThread {
 public:
  // After 1500 ms without an answer the user is told, and the wait goes on.
  static constexpr int RESPONSE_LIMIT_MS = 1500;

  TCheckThread() = default;
  ~TCheckThread();
  TCheckThread(const TCheckThread&) = delete;
  TCheckThread& operator=(const TCheckThread&) = delete;

  // Stops a running scan, prepares the stores (prepareReferenceScan) and
  // scans the snapshot on a new thread. The stores and host must outlive the
  // scan (stop it before releasing them).
  void startCheckThread(std::unique_ptr<TScanSnapshot> snapshot, TReferenceStores& stores,
                        Host& host, const TScanOptions& options, TScanNotify notify = {});
  // Takes the snapshot of buffer/image itself.
  void startCheckThread(const uint8_t* buffer, uint32_t size, const TImageInfo& image,
                        TReferenceStores& stores, Host& host, const TScanOptions& options,
                        TScanNotify notify = {});
  // Asks the scan to stop and waits for its thread; nothing when none runs.
  void stopCheckThread();
  // Waits until the scan has ended by itself.
  void waitCheckThread();
  // A scan is in progress (started and not yet ended).
  bool running() const { return running_.load(std::memory_order_acquire); }

 private:
  void join(bool askToStop);

  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::mutex mutex_;
  std::condition_variable ended_;
  Host* host_ = nullptr;
};
