#include "analysis/symbol_loader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "analysis/comment_container.h"
#include "analysis/symbol_files.h"
#include "base/host.h"
#include "base/le_read.h"
#include "base/percent_status.h"
#include "base/text_format.h"
#include "image/file_save.h"
#include "image/image_info.h"
#include "image/pe_layout.h"

namespace {

constexpr size_t kEditRoom = 260;
constexpr int kYieldEvery = 100;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// One line as text mode reads it: CR LF becomes LF. Characters past the
// line limit are dropped, so a long line stays one line.
bool readLine(std::FILE* f, std::string& line) {
  line.clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(f)) != EOF) {
    any = true;
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      line += '\n';
      break;
    }
    if (line.size() < kSymbolLineLimit) line += static_cast<char>(c);
  }
  if (any && c == EOF && !line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

// Adds one name with the running mode and asks about collisions. False when
// the user cancelled the load.
bool handlePair(uint32_t address, std::string name, int& mode, TCommentContainer& names,
                Host& host) {
  if (names.add(address, name, mode) == 0) return true;
  const std::string old = names.lookup(address).value_or(std::string());
  switch (host.askReplaceName(address, old, name, kEditRoom)) {
    case REPLACE_ANSWER_CANCEL: return false;
    case REPLACE_ANSWER_REPLACE: names.add(address, name, REPLACE_ALWAYS); break;
    case REPLACE_ANSWER_ALWAYS_REPLACE:
      names.add(address, name, REPLACE_ALWAYS);
      mode = REPLACE_ALWAYS;
      break;
    case REPLACE_ANSWER_ALWAYS_SKIP: mode = REPLACE_NEVER; break;
    default: break;
  }
  return true;
}

// The count only sizes the progress figure; a stop request ends it early, as
// it ends the parse, so that stopping a large file's load is prompt.
int countLines(std::FILE* f, bool skipComments, const std::atomic<bool>& stop) {
  const long at = std::ftell(f);
  std::string line;
  int n = 0;
  while (!stop.load(std::memory_order_relaxed) && readLine(f, line))
    if (!skipComments || !isDefSkippedLine(line)) ++n;
  std::clearerr(f);
  std::fseek(f, at, SEEK_SET);
  return n;
}

int loadMap(std::FILE* f, const TSymbolTarget& t, TCommentContainer& names, Host& host,
            const std::atomic<bool>& stop) {
  host.setStatusText("Initialising map file parser...");
  std::string line;
  bool found = false;
  while (!found && readLine(f, line)) found = isMapListHeader(line);
  if (!found) {
    host.message("Didn't find any address section!", "MapFileThread()", MsgIcon::Warning);
    return -1;
  }
  const int total = countLines(f, false, stop);
  names.reserve(names.count() + uint32_t(total) + 20);
  bool have = readLine(f, line);
  if (have && isBlankLine(line)) have = readLine(f, line);

  TPercentStatus progress(host, "Parsing map file... (%i%%)", uint64_t(total));
  int mode = REPLACE_ASK;
  int examined = 0;
  for (; have && !stop.load(std::memory_order_relaxed); have = readLine(f, line)) {
    const auto sym = parseMapSymbolLine(line);
    if (!sym) break;
    ++examined;
    progress.at(uint64_t(examined));
    if (examined % kYieldEvery == 0) std::this_thread::yield();
    uint32_t address;
    if (sym->offsetDigits == 8) {
      const uint32_t section = uint32_t(sym->segment) - 1;  // segment 0 wraps and is skipped
      if (section >= t.sectionRvas.size()) continue;
      address = t.imageBase + t.sectionRvas[section] + sym->offset;
    } else if (sym->offsetDigits == 4) {
      address = t.mzHeaderSize + uint32_t(sym->segment) * 16 + sym->offset;
    } else {
      continue;
    }
    if (sym->name.empty()) continue;
    if (!handlePair(address, sym->name, mode, names, host)) break;
  }
  return examined;
}

int loadDef(std::FILE* f, const TSymbolTarget& t, TCommentContainer& names, Host& host,
            const std::atomic<bool>& stop) {
  host.setStatusText("Collecting own exports...");
  if (!t.isPE) {
    host.message("This only works with portable executables!",
                 "Main file is no portable executable!", MsgIcon::Warning);
    return -1;
  }
  if (t.exports != ExportWalkResult::Ok) {
    host.message(
        t.exports == ExportWalkResult::DirectoryFailure
            ? "This programm doesn't export any functions!"
            : "The export table goes beyond the end of file!\nIf the file still works and "
              "exports something, please contact us, so we adjust OXU to show these exports!",
        "Unable to collect exported functions!", MsgIcon::Information);
    return -1;
  }
  host.setStatusText("Initialising def file parser...");
  std::string line;
  bool found = false;
  while (!found && readLine(f, line)) found = !isDefSkippedLine(line) && isDefExportsLine(line);
  if (!found) {
    host.message("Didn't find exports section!", "DefFileThread()", MsgIcon::Warning);
    return -1;
  }
  const int total = countLines(f, true, stop);
  names.reserve(names.count() + uint32_t(total) + 20);

  TPercentStatus progress(host, "Parsing def file... (%i%%)", uint64_t(total));
  int mode = REPLACE_ASK;
  int known = 0;
  int lines = 0;
  while (!stop.load(std::memory_order_relaxed) && readLine(f, line)) {
    if (isDefSkippedLine(line)) continue;
    if (++lines % kYieldEvery == 0) std::this_thread::yield();
    const auto e = parseDefExportLine(line);
    if (!e) continue;
    auto it = std::lower_bound(t.ownExports.begin(), t.ownExports.end(),
                               std::make_pair(e->ordinal, 0u));
    if (it == t.ownExports.end() || it->first != e->ordinal) continue;
    ++known;
    progress.at(uint64_t(known));
    if (!handlePair(t.imageBase + it->second, e->name, mode, names, host)) break;
  }
  return known;
}

}  // namespace

TSymbolTarget TSymbolTarget::of(const TImageInfo& image) {
  TSymbolTarget t;
  t.isPE = image.isPE() != 0;
  t.imageBase = image.imageBase();
  t.mzHeaderSize = image.mzHeaderSize();
  for (const auto& s : image.sections()) t.sectionRvas.push_back(s.rva);
  if (t.isPE && image.fileSize() > mz_header::kPeHeaderOffset + 4) {
    // The export directory as the optional header gives it, whatever the
    // directory count says.
    const uint32_t p = boundedLe32(image.buffer(), image.fileSize(), mz_header::kPeHeaderOffset);
    const uint32_t rva =
        boundedLe32(image.buffer(), image.fileSize(),
                    uint64_t(p) + pe_header::dataDirectory(pe_header::kExportDirectory));
    std::vector<TExportEntry> entries;
    t.exports = exportWalk(image, rva, ExportWalkMode::Ordinals, entries);
    for (const auto& e : entries) t.ownExports.emplace_back(e.ordinal, e.rva);
    std::stable_sort(t.ownExports.begin(), t.ownExports.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
  }
  return t;
}

std::string defaultSymbolFilePath(SymbolFileKind kind, const std::string& analysedPath) {
  return replaceExtension(analysedPath, kind == SymbolFileKind::Map ? ".map" : ".def");
}

int loadSymbolFile(SymbolFileKind kind, const std::string& path, const TSymbolTarget& target,
                   TCommentContainer& names, Host& host, const std::atomic<bool>& stop) {
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) {
    host.message(path,
                 kind == SymbolFileKind::Map ? "MapFileThread(): Couldn't open map file:"
                                             : "DefFileThread(): Couldn't open def file:",
                 MsgIcon::Warning);
    return -1;
  }
  const int n = kind == SymbolFileKind::Map ? loadMap(f.get(), target, names, host, stop)
                                            : loadDef(f.get(), target, names, host, stop);
  if (n >= 0) host.setStatusText(wsString("%i symbols loaded!", n));
  return n;
}

TSymbolLoaderThread::~TSymbolLoaderThread() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void TSymbolLoaderThread::start(const std::string& path, TSymbolTarget target,
                                TCommentContainer& names, Host& host,
                                std::function<void(int)> done) {
  stop(host);
  stop_ = false;
  finished_ = false;
  thread_ =
      std::thread([this, path, target = std::move(target), &names, &host, done = std::move(done)] {
        const int n = loadSymbolFile(kind_, path, target, names, host, stop_);
        if (done) done(n);
        finished_ = true;
      });
}

void TSymbolLoaderThread::stop(Host& host) {
  if (!thread_.joinable()) return;
  stop_ = true;
  // The loader polls its stop flag between lines; give it 1500 ms.
  for (int waited = 0; waited < 1500 && !finished_.load(); waited += 20)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (!finished_.load())
    host.message("Terminating thread manually",
                 kind_ == SymbolFileKind::Map ? "Map file thread doesn't respond!"
                                              : "Def file thread doesn't respond!",
                 MsgIcon::Warning);
  thread_.join();
}
