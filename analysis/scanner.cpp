// The reference scanner's passes over the PE structures (imports, sections,
// string tables, menus), its start and stop, and the summary line.
#include "analysis/scanner.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <utility>

#include "analysis/scanner_internal.h"
#include "base/host.h"
#include "base/le_read.h"
#include "base/text_format.h"
#include "image/pe_layout.h"
#include "image/thunk_allowance.h"

namespace {

// Adds the seconds since the last call to *into (when there is a place to add them).
class TPassClock {
 public:
  void lap(double* into) {
    const auto now = std::chrono::steady_clock::now();
    if (into) *into += std::chrono::duration<double>(now - last_).count();
    last_ = now;
  }

 private:
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

bool noCodeReferences(const TReferenceStores& stores) {
  return stores.jumpCalls.count() == 0 && stores.imports.count() == 0;
}

// Ranges of the file already given to the scan by earlier section headers. A
// hostile table may name the same bytes in thousands of headers; each header
// then adds only what no earlier one brought, so the scan's work and its
// stores grow with the file and not with the number of headers.
class TCoveredRanges {
 public:
  // Calls piece(from, to) for every part of [start, end) not covered yet, in
  // ascending order, and covers all of [start, end).
  template <class Piece>
  void take(uint64_t start, uint64_t end, Piece&& piece) {
    if (start >= end) return;
    auto it = covered_.upper_bound(start);
    if (it != covered_.begin() && std::prev(it)->second >= start) --it;
    uint64_t from = start, first = start, last = end;
    for (; it != covered_.end() && it->first <= end; it = covered_.erase(it)) {
      if (it->first > from) piece(from, it->first);
      from = std::max(from, it->second);
      first = std::min(first, it->first);
      last = std::max(last, it->second);
    }
    if (from < end) piece(from, end);
    covered_[first] = last;
  }

 private:
  std::map<uint64_t, uint64_t> covered_;  // start -> end, disjoint and apart
};

}  // namespace

// ---- snapshot and preparation ------------------------------------------------------

TScanSnapshot::TScanSnapshot(const uint8_t* buffer, uint32_t size, const TImageInfo& image)
    : bytes_(new uint8_t[size_t(size) + 16]), size_(size), image_(image) {
  if (size) std::memcpy(bytes_.get(), buffer, size);
  std::memset(bytes_.get() + size, 0, 16);
  image_.setHost(nullptr);
  image_.rebindBuffer(bytes_.get());
}

void prepareReferenceScan(TReferenceStores& stores, const TImageInfo& image, Host& host) {
  host.setStatusText("");
  stores.locks.reportStillLocked(host);
  uint64_t codeBytes = 0;
  for (const SectionInfo& s : image.sections())
    if (s.characteristics & 0x20000020u) codeBytes += s.rawSize;
  stores.jumpCalls.clear();
  stores.jumpCalls.setCapacity(jcCapacityForCode(codeBytes));
  stores.imports.flush();
  stores.strings.flush();
  stores.menus.flush();
  // Every store counts as being filled from now on: readers must not look
  // at a store that the scan may still write.
  for (auto kind :
       {TRefStoreKind::JumpCall, TRefStoreKind::Import, TRefStoreKind::String, TRefStoreKind::Menu})
    stores.locks.lock(kind);
}

void runReferenceScan(const TScanSnapshot& snapshot, TReferenceStores& stores, Host& host,
                      const TScanOptions& options, const std::atomic<bool>* stop,
                      const TScanNotify& notify) {
  TScanRun(snapshot, stores, host, options, stop, notify).run();
}

void scanReferencesNow(const uint8_t* buffer, uint32_t size, const TImageInfo& image,
                       TReferenceStores& stores, Host& host, const TScanOptions& options) {
  TScanSnapshot snapshot(buffer, size, image);
  prepareReferenceScan(stores, snapshot.image(), host);
  runReferenceScan(snapshot, stores, host, options);
}

// ---- summary -------------------------------------------------------------------------

std::string referenceCountsText(const TReferenceStores& stores) {
  if (noCodeReferences(stores)) return "No code refs found at all! Check the sections' code flag!";
  uint64_t importRefs = 0, stringRefs = 0, menuRefs = 0;
  for (uint32_t i = 0; i < stores.imports.count(); ++i)
    importRefs += stores.imports[i].refs.count();
  for (uint32_t i = 0; i < stores.strings.count(); ++i)
    stringRefs += stores.strings[i].refs.count();
  for (uint32_t i = 0; i < stores.menus.count(); ++i) menuRefs += stores.menus[i].refs.count();
  return wsString(
      "%i imports, %i import refs, %i jump and call refs, %i string refs, %i menuitem refs found!",
      int(stores.imports.count()), int(importRefs), int(stores.jumpCalls.count()), int(stringRefs),
      int(menuRefs));
}

void reportReferenceCounts(const TReferenceStores& stores, Host& host) {
  host.setStatusText(referenceCountsText(stores));
}

bool isNoScanOption(std::string_view argument) { return argument == "-noscan"; }

// ---- one run -----------------------------------------------------------------------------

TScanRun::TScanRun(const TScanSnapshot& snapshot, TReferenceStores& stores, Host& host,
                   const TScanOptions& options, const std::atomic<bool>* stop,
                   const TScanNotify& notify)
    : base_(snapshot.bytes()),
      size_(snapshot.size()),
      image_(snapshot.image()),
      stores_(stores),
      host_(host),
      options_(options),
      stop_(stop),
      notify_(notify) {}

uint32_t TScanRun::u16(uint64_t at) const { return at + 2 <= size_ ? readLe16(base_ + at) : 0; }
uint32_t TScanRun::u32(uint64_t at) const { return at + 4 <= size_ ? readLe32(base_ + at) : 0; }

void TScanRun::resetGauges() {
  host_.setGauge(1, 0, 0);
  host_.setGauge(2, 0, 0);
}

void TScanRun::finish(TRefStoreKind kind) {
  const int k = static_cast<int>(kind);
  if (finished_[k]) return;
  finished_[k] = true;
  if (kind == TRefStoreKind::JumpCall) stores_.jumpCalls.sort();
  stores_.locks.unlock(kind);
  if (notify_) notify_(kind);
}

void TScanRun::finishAll() {
  for (auto kind :
       {TRefStoreKind::JumpCall, TRefStoreKind::Import, TRefStoreKind::String, TRefStoreKind::Menu})
    finish(kind);
}

void TScanRun::run() {
  host_.showGauges(true);
  pe_ = image_.isPE() != 0;
  if (pe_) {
    peScan();
  } else {
    // Anything else is code from its first byte, header included.
    TPassClock clock;
    codePass(0, size_);
    finish(TRefStoreKind::JumpCall);
    clock.lap(options_.times ? &options_.times->code : nullptr);
  }
  finishAll();
  host_.showGauges(false);
  // A stopped scan has not looked everywhere: finding nothing then says
  // nothing about the sections' code flags.
  if (stopped() && noCodeReferences(stores_)) return;
  reportReferenceCounts(stores_, host_);
}

// The raw section table: code pass ranges and the sections the value
// searches sweep.
void TScanRun::readSections() {
  const uint32_t count = u16(uint64_t(pe0_) + pe_header::kNumberOfSections);
  const uint32_t directories = u32(uint64_t(pe0_) + pe_header::kNumberOfRvaAndSizes);
  const uint64_t table = uint64_t(pe0_) + pe_header::sectionTable(directories);
  // Menu commands are looked for in sections with the code bit only: such a
  // section skips what earlier code sections searched, any other section
  // skips all that was searched.
  TCoveredRanges decoded, searchedAsCode, searched;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t h = table + uint64_t(pe_section::kHeaderSize) * i;
    if (h + pe_section::kHeaderSize > size_) break;
    const uint32_t characteristics = readLe32(base_ + h + pe_section::kCharacteristics);
    if (!(characteristics & (pe_section::kCode | pe_section::kExecute))) continue;
    const uint32_t rawSize = readLe32(base_ + h + pe_section::kSizeOfRawData);
    const uint32_t rawOffset = readLe32(base_ + h + pe_section::kPointerToRawData);
    if (uint64_t(rawOffset) + rawSize > size_) continue;
    decoded.take(rawOffset, uint64_t(rawOffset) + rawSize, [&](uint64_t from, uint64_t to) {
      codeRanges_.push_back({uint32_t(from), uint32_t(to - from), characteristics, rawOffset});
    });
    if (rawOffset >= size_ || rawSize >= size_ || rawSize < 4) continue;
    // Taken by dword position, so that a piece's dwords stay inside the section.
    const uint64_t end = uint64_t(rawOffset) + rawSize - 3;
    auto addPiece = [&](uint64_t from, uint64_t to) {
      searchSections_.push_back(
          {uint32_t(from), uint32_t(to - from + 3), characteristics, rawOffset});
    };
    if (characteristics & pe_section::kCode) {
      searchedAsCode.take(rawOffset, end, addPiece);
      searched.take(rawOffset, end, [](uint64_t, uint64_t) {});
    } else {
      searched.take(rawOffset, end, addPiece);
    }
  }
}

void TScanRun::peScan() {
  TScanTimes* t = options_.times;
  TPassClock clock;
  pe0_ = image_.peHeaderOffset();
  if (uint64_t(pe0_) + 140 >= size_) return;
  readSections();
  importPass();
  clock.lap(t ? &t->imports : nullptr);
  if (finished_[int(TRefStoreKind::Import)]) return;  // the import section leaves the file
  codePasses();
  finish(TRefStoreKind::JumpCall);
  finish(TRefStoreKind::Import);
  clock.lap(t ? &t->code : nullptr);
  if (!resourceRoot()) return;
  stringPass();
  finish(TRefStoreKind::String);
  clock.lap(t ? &t->strings : nullptr);
  menuPass();
  finish(TRefStoreKind::Menu);
  clock.lap(t ? &t->menus : nullptr);
}

// ---- pass 1: imports ------------------------------------------------------------------------

void TScanRun::importPass() {
  const uint32_t off = image_.rvaToFileOffset(
      u32(uint64_t(pe0_) + pe_header::dataDirectory(pe_header::kImportDirectory)), false);
  if (off == NOT_IN_FILE) return;
  const SectionInfo* holder = image_.sectionByFileOffset(off);
  if (!holder) return;
  const uint64_t sectionEnd = uint64_t(holder->rawOffset) + holder->rawSize;
  if (sectionEnd > size_) {
    // Descriptors that may run off the file: no scan at all.
    finishAll();
    return;
  }
  const uint32_t imageBase = u32(uint64_t(pe0_) + pe_header::kImageBase);

  // visit(slot, module, function, thunk number, usable)
  auto walk = [&](auto&& visit) {
    uint32_t number = 0;
    TThunkAllowance allowance(size_);
    constexpr uint32_t kStep = pe_import::kDescriptorSize;
    for (uint64_t d = off; d + kStep <= sectionEnd && !stopped(); d += kStep) {
      const uint32_t nameRva = readLe32(base_ + d + pe_import::kName);
      if (nameRva == 0) break;
      const uint32_t module = image_.rvaToFileOffset(nameRva, true);
      const uint32_t lookup = readLe32(base_ + d + pe_import::kOriginalFirstThunk);
      const uint32_t iat = readLe32(base_ + d + pe_import::kFirstThunk);
      const uint32_t t = image_.rvaToFileOffset(lookup ? lookup : iat, true);
      if (t == NOT_IN_FILE || image_.rvaToFileOffset(iat, true) == NOT_IN_FILE) continue;
      allowance.addDescriptor();
      uint32_t slot = iat + imageBase;
      for (uint64_t a = t; a + 4 <= sectionEnd && !stopped(); a += 4, slot += 4) {
        const uint32_t thunk = readLe32(base_ + a);
        if (thunk == 0 || !allowance.take()) break;
        ++number;
        if (thunk & 0x80000000u) {
          visit(slot, module, thunk & 0x8000FFFFu, number, true);
        } else {
          const uint32_t name = image_.rvaToFileOffset(thunk, true);
          visit(slot, module, name + 2, number, name != NOT_IN_FILE);
        }
      }
    }
  };

  uint32_t total = 0;
  std::vector<uint32_t> slots;
  walk([&](uint32_t slot, uint32_t, uint32_t, uint32_t, bool usable) {
    ++total;
    if (usable && options_.indexed) slots.push_back(slot);
  });
  if (options_.indexed && !slots.empty()) prepareSlotIndex(slots);

  walk([&](uint32_t slot, uint32_t module, uint32_t function, uint32_t number, bool usable) {
    host_.setGauge(1, int(uint64_t(number) * 1000 / total), int(number));
    if (!usable) return;
    TImpRef record(slot, module, function);
    slotSearch(slot, record, false);
    if (!record.refs.empty()) stores_.imports.add(std::move(record));
  });
  resetGauges();
}

// ---- pass 2: code ------------------------------------------------------------------------------

void TScanRun::codePasses() {
  for (const TCodeSection& r : codeRanges_) {
    if (stopped()) break;
    codePass(r.start, r.start + r.size);
  }
}

// ---- passes 3 and 4: string tables and menus ------------------------------------------------------

bool TScanRun::resourceRoot() {
  const uint32_t r = image_.rvaToFileOffset(
      u32(uint64_t(pe0_) + pe_header::dataDirectory(pe_header::kResourceDirectory)), false);
  if (r == NOT_IN_FILE || uint64_t(r) + 21 >= size_) return false;
  resourceRoot_ = r;
  return true;
}

namespace {

// The resource data of every language-neutral first entry below the root's
// entries of one type: visit(name of the bundle/menu entry, data offset,
// data size). False from visit, or a structure leaving the file, ends it.
template <class Visit>
void walkResourceType(const uint8_t* base, uint32_t size, const TImageInfo& image, uint32_t root,
                      uint32_t type, const std::atomic<bool>* stop, Visit&& visit) {
  auto u32 = [&](uint64_t at) -> uint32_t { return at + 4 <= size ? readLe32(base + at) : 0; };
  auto stopped = [&] { return stop && stop->load(std::memory_order_relaxed); };
  const uint32_t entries = readLe16(base + root + pe_resource::kNamedEntries) +
                           readLe16(base + root + pe_resource::kIdEntries);
  for (uint32_t k = 0; k < entries; ++k) {
    const uint64_t e = uint64_t(root) + pe_resource::kDirectoryHeaderSize +
                       uint64_t(pe_resource::kEntrySize) * k;
    if (e + pe_resource::kEntrySize > size) return;
    if (readLe32(base + e) != type) continue;
    const uint32_t typeOffset = readLe32(base + e + pe_resource::kEntryOffset) &
                                ~pe_resource::kSubdirectoryBit;
    const uint64_t dir = uint64_t(root) + typeOffset;
    if (dir + 25 >= size) return;
    for (uint64_t te = dir + 16;; te += 8) {
      if (te + 8 > size || stopped()) return;
      const uint32_t name = readLe32(base + te);
      if (name == 0) break;
      const uint64_t language = uint64_t(root) + (readLe32(base + te + 4) & 0x7FFFFFFFu);
      if (language + 24 > size) return;
      const uint64_t dataEntry = uint64_t(root) + u32(language + 20);
      if (dataEntry + 8 > size) return;
      const uint32_t data = image.rvaToFileOffset(readLe32(base + dataEntry), true);
      const uint32_t dataSize = readLe32(base + dataEntry + pe_resource::kDataSize);
      if (data == NOT_IN_FILE || data >= size || dataSize < 10) return;
      if (!visit(name, data, dataSize)) return;
    }
  }
}

// Makes the record of one string or menu item. A hostile directory may name
// one block or template thousands of times: an item already recorded (same
// ID, same text) is left out, and the uses of an ID already searched are
// copied, not searched for again, so the pass stays linear in the file.
template <class R>
class TIdRecorder {
 public:
  TIdRecorder(TScanRun& run, bool menu) : run_(run), menu_(menu) {}

  template <class Store>
  void record(uint32_t id, uint32_t text, Store& store) {
    if (!items_.insert({id, text}).second) return;
    R record(id, text);
    if (auto known = usesOf_.find(id); known != usesOf_.end()) {
      record.refs = known->second;
    } else {
      run_.idSearch(record, menu_);
      usesOf_.emplace(id, record.refs);
    }
    if (!record.refs.empty()) store.add(std::move(record));
  }

 private:
  TScanRun& run_;
  bool menu_;
  std::set<std::pair<uint32_t, uint32_t>> items_;  // (ID, text offset)
  std::map<uint32_t, decltype(R::refs)> usesOf_;
};

}  // namespace

void TScanRun::stringPass() {
  // visit(id, length word offset)
  auto walk = [&](auto&& visit) {
    walkResourceType(base_, size_, image_, resourceRoot_, pe_resource::kStringTableType, stop_,
                     [&](uint32_t bundle, uint32_t data, uint32_t) {
                       const uint32_t first = (bundle - 1) * 16;
                       uint64_t pos = data;
                       for (uint32_t i = 0; i < 16 && !stopped(); ++i) {
                         if (pos + 2 > size_) break;
                         const uint32_t length = readLe16(base_ + pos);
                         if (pos + 2 + 2ull * length > size_) break;
                         if (length) visit(first + i, uint32_t(pos));
                         pos += 2 + 2ull * length;
                       }
                       return !stopped();
                     });
  };
  uint32_t total = 0;
  std::vector<uint32_t> ids;
  walk([&](uint32_t id, uint32_t) {
    ++total;
    if (options_.indexed) ids.push_back(id);
  });
  if (options_.indexed && !ids.empty()) prepareIdIndex(ids);
  uint32_t number = 0;
  TIdRecorder<TStrRef> recorder(*this, false);
  walk([&](uint32_t id, uint32_t text) {
    ++number;
    host_.setGauge(1, int(uint64_t(number) * 1000 / total), int(number));
    recorder.record(id, text, stores_.strings);
  });
  resetGauges();
}

void TScanRun::menuPass() {
  // visit(id, text offset, thousandths of the template walked)
  constexpr uint32_t kMenus = pe_resource::kMenuType;
  auto walk = [&](auto&& visit) {
    walkResourceType(base_, size_, image_, resourceRoot_, kMenus, stop_,
                     [&](uint32_t, uint32_t data, uint32_t dataSize) {
                       if (uint64_t(data) + 4 > size_) return false;
                       uint64_t pos = uint64_t(data) + 4 + readLe16(base_ + data + 2);
                       auto skipText = [&] {
                         while (pos + 2 <= size_ && readLe16(base_ + pos) != 0) pos += 2;
                         pos += 2;
                       };
                       // Flags of the item last read on each nesting level (1..9); an
                       // end mark closes the level.
                       uint16_t flags[10] = {};
                       int level = 1;
                       while (level != 0 && pos + 6 < size_ && !stopped()) {
                         const uint16_t f = readLe16(base_ + pos);
                         flags[level] = f;
                         pos += 2;
                         if (f & 0x10) {
                           skipText();
                           if (level < 9) {
                             ++level;
                             flags[level] = f & ~0x90;
                           }
                         } else {
                           const uint32_t id = readLe16(base_ + pos);
                           pos += 2;
                           if (id != 0) {
                             visit(id, uint32_t(pos),
                                   int(std::min<uint64_t>((pos - data) * 1000 / dataSize, 1000)));
                             skipText();
                           } else {
                             pos += 2;  // a separator's empty text
                           }
                         }
                         while ((flags[level] & 0x80) && level > 0) --level;
                       }
                       return !stopped();
                     });
  };
  if (options_.indexed) {
    std::vector<uint32_t> ids;
    walk([&](uint32_t id, uint32_t, int) { ids.push_back(id); });
    if (!ids.empty()) prepareIdIndex(ids);
  }
  uint32_t number = 0;
  TIdRecorder<TMenuRef> recorder(*this, true);
  walk([&](uint32_t id, uint32_t text, int thousandths) {
    host_.setGauge(1, thousandths, int(++number));
    recorder.record(id, text, stores_.menus);
  });
  resetGauges();
}

// ---- the thread ---------------------------------------------------------------------------------

TCheckThread::~TCheckThread() { stopCheckThread(); }

void TCheckThread::startCheckThread(std::unique_ptr<TScanSnapshot> snapshot,
                                    TReferenceStores& stores, Host& host,
                                    const TScanOptions& options, TScanNotify notify) {
  stopCheckThread();
  prepareReferenceScan(stores, snapshot->image(), host);
  stop_.store(false, std::memory_order_relaxed);
  running_.store(true, std::memory_order_release);
  host_ = &host;
  TReferenceStores* target = &stores;
  try {
    thread_ = std::thread(
        [this, snap = std::move(snapshot), target, &host, options, notify = std::move(notify)]() {
          runReferenceScan(*snap, *target, host, options, &stop_, notify);
          std::lock_guard lock(mutex_);
          running_.store(false, std::memory_order_release);
          ended_.notify_all();
        });
  } catch (const std::system_error&) {
    // No thread: nothing will fill the stores, so none may stay locked.
    stores.locks.unlockAll();
    running_.store(false, std::memory_order_release);
    reportReferenceCounts(stores, host);
  }
}

void TCheckThread::startCheckThread(const uint8_t* buffer, uint32_t size, const TImageInfo& image,
                                    TReferenceStores& stores, Host& host,
                                    const TScanOptions& options, TScanNotify notify) {
  stopCheckThread();
  startCheckThread(std::make_unique<TScanSnapshot>(buffer, size, image), stores, host, options,
                   std::move(notify));
}

void TCheckThread::join(bool askToStop) {
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    // Asked from the scan's own notice: it ends by itself once it sees the flag.
    if (askToStop) stop_.store(true, std::memory_order_relaxed);
    return;
  }
  if (askToStop) {
    stop_.store(true, std::memory_order_relaxed);
    std::unique_lock lock(mutex_);
    if (!ended_.wait_for(lock, std::chrono::milliseconds(RESPONSE_LIMIT_MS),
                         [this] { return !running_.load(std::memory_order_acquire); })) {
      lock.unlock();
      // Killing a thread that holds memory is unsafe: say so and keep waiting.
      if (host_)
        host_->message("Terminating thread manually", "Check thread doesn't respond!",
                       MsgIcon::Warning);
    }
  }
  thread_.join();
}

void TCheckThread::stopCheckThread() { join(true); }

void TCheckThread::waitCheckThread() { join(false); }
