#include "document/document_workers.h"

#include "base/host.h"
#include "document/document.h"
#include "document/document_observer.h"

// ---- the project loader -------------------------------------------------------------

void TProjectLoaderThread::start(std::function<int()> load) {
  join();
  running_.store(true, std::memory_order_release);
  thread_ = std::thread([this, load = std::move(load)] {
    const int rc = load();
    result_.store(rc, std::memory_order_release);
    running_.store(false, std::memory_order_release);
  });
}

void TProjectLoaderThread::join() {
  if (thread_.joinable()) thread_.join();
}

// ---- the workers ----------------------------------------------------------------------

TDocumentWorkers::TDocumentWorkers(TDocument& doc, const TDocumentObservers& observers)
    : doc_(doc), observers_(observers) {}

TDocumentWorkers::~TDocumentWorkers() {
  projectLoader_.join();
  stopFileWorkers();
}

void TDocumentWorkers::startReferenceScan() {
  if (!doc_.isLoaded()) return;
  TScanOptions options;
  options.extreme = doc_.settings().extremeScan;
  scanner_.startCheckThread(doc_.buffer(), doc_.fileSize(), doc_.image(), doc_.stores(),
                            doc_.host(), options, [&observers = observers_](TRefStoreKind kind) {
                              observers.storeFilled(kind);
                            });
}

bool TDocumentWorkers::loadSymbolFileCommand(SymbolFileKind kind) {
  const bool map = kind == SymbolFileKind::Map;
  auto path = doc_.host().chooseOpenFile(map ? "Load map file..." : "Load def file...",
                                         map ? "Map files (*.map)" : "Def files (*.def)",
                                         defaultSymbolFilePath(kind, doc_.path()));
  if (!path) return false;
  startSymbolLoad(kind, *path);
  return true;
}

void TDocumentWorkers::startSymbolLoad(SymbolFileKind kind, const std::string& path) {
  TSymbolLoaderThread& loader = kind == SymbolFileKind::Map ? mapLoader_ : defLoader_;
  loader.start(path, TSymbolTarget::of(doc_.image()), doc_.names(), doc_.host(),
               [&observers = observers_](int loaded) { observers.symbolsLoaded(loaded); });
}

void TDocumentWorkers::stopSymbolLoaders() {
  mapLoader_.stop(doc_.host());
  defLoader_.stop(doc_.host());
}

void TDocumentWorkers::stopFileWorkers() {
  scanner_.stopCheckThread();
  stopSymbolLoaders();
}

bool TDocumentWorkers::anyRunning() {
  projectLoader_.reap();
  return scanning() || symbolLoaderRunning() || projectLoader_.running();
}
