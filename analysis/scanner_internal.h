// Shared between the scanner's source files: one run of the scan over one
// snapshot, with its passes and value searches.
#pragma once
#include <atomic>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "analysis/scanner.h"

// A section the value searches and the code pass look at (from the raw
// section table of the snapshot), or the part of one that no earlier
// section covers.
struct TCodeSection {
  uint32_t start;
  uint32_t size;
  uint32_t characteristics;
  uint32_t sectionStart;  // raw offset of the whole section
};

// Where each of a set of 32-bit values occurs in the bytes of a list of
// sections: one sweep over the bytes, positions kept ascending per value.
class TDwordIndex {
 public:
  // Sweeps the dword positions of every section once (polling stop).
  void build(const uint8_t* base, const std::vector<TCodeSection>& sections,
             const std::vector<uint32_t>& values, const std::atomic<bool>* stop);
  // Positions of value in section k (ascending), as [first, last).
  void positions(uint32_t k, uint32_t value, const uint32_t*& first, const uint32_t*& last) const;

 private:
  int32_t slotOf(uint32_t value) const;

  std::vector<uint32_t> keys_;    // open addressing, power-of-two size
  std::vector<int32_t> ids_;      // value number per key slot, -1 empty
  std::vector<uint64_t> filter_;  // 65536 bits on the hash's top bits
  uint32_t mask_ = 0;
  uint32_t valueCount_ = 0;
  // Per section: offsets_[k][id] .. offsets_[k][id + 1] into positions_[k].
  std::vector<std::vector<uint32_t>> offsets_;
  std::vector<std::vector<uint32_t>> positions_;
};

class TScanRun {
 public:
  TScanRun(const TScanSnapshot& snapshot, TReferenceStores& stores, Host& host,
           const TScanOptions& options, const std::atomic<bool>* stop, const TScanNotify& notify);
  void run();

  // ---- parts used by the passes (scanner_search.cpp) ----------------------
  bool stopped() const { return stop_ && stop_->load(std::memory_order_relaxed); }
  void pause();  // yields the time slice when allowed
  uint32_t instructionStart(uint32_t position) const;
  void codePass(uint32_t start, uint32_t end);
  void slotSearch(uint32_t value, TImpRef& record, bool nested);
  template <class R>
  void idSearch(R& record, bool menu);
  void prepareSlotIndex(const std::vector<uint32_t>& slots);
  void prepareIdIndex(const std::vector<uint32_t>& ids);

 private:
  // scanner.cpp
  void peScan();
  void importPass();
  void codePasses();
  void stringPass();
  void menuPass();
  bool resourceRoot();
  void finish(TRefStoreKind kind);
  void finishAll();
  void resetGauges();
  uint32_t u16(uint64_t at) const;
  uint32_t u32(uint64_t at) const;
  void readSections();
  void searchSectionForSlot(const TCodeSection& section, uint32_t k, uint32_t value,
                            TImpRef& record, bool nested);
  void slotMatch(const TCodeSection& section, uint32_t position, TImpRef& record, bool nested);
  template <class R>
  void idMatches(R& record, bool menu, const TCodeSection& section, const uint32_t* first,
                 const uint32_t* last);
  template <class R>
  void idMatchesSweep(R& record, bool menu, const TCodeSection& section);
  template <class R>
  bool idMatch(R& record, bool menu, uint32_t position, int64_t& lastRecorded);
  void creditThunkCall(uint32_t target, uint32_t source);

  const uint8_t* base_;
  uint32_t size_;
  const TImageInfo& image_;
  TReferenceStores& stores_;
  Host& host_;
  TScanOptions options_;
  const std::atomic<bool>* stop_;
  const TScanNotify& notify_;
  bool pe_ = false;
  bool finished_[4] = {false, false, false, false};
  uint32_t pe0_ = 0;                          // offset of the PE signature
  uint32_t resourceRoot_ = 0;                 // file offset of the resource root directory
  uint32_t matches_ = 0;                      // value matches since the last yield
  std::vector<TCodeSection> searchSections_;  // inside the file, code or execute bit
  std::vector<TCodeSection> codeRanges_;      // code pass ranges
  // Indexed searches.
  TDwordIndex slotIndex_;
  TDwordIndex thunkIndex_;
  TDwordIndex idIndex_;
  bool slotIndexed_ = false, thunkIndexed_ = false, idIndexed_ = false;
  // Thunk credits: file offset -> first import record whose refs hold it.
  std::unordered_map<uint32_t, uint32_t> users_;
  bool usersBuilt_ = false;
};
