// The scanner's inner loops: the code pass, the import slot search and the
// string/menu ID search, each as a plain sweep and through a value index.
#include <algorithm>
#include <cstring>
#include <thread>

#include "analysis/scanner_internal.h"
#include "base/host.h"
#include "base/le_read.h"
#include "disasm/decoder.h"
#include "disasm/marks.h"

namespace {

constexpr size_t kTextSize = 90;

uint32_t hashOf(uint32_t v) { return v * 0x9E3779B1u; }

uint32_t searchEnd(const TCodeSection& s) {
  // Dword positions [start, start + size - 3); nothing in a section below 4 bytes.
  return s.size < 4 ? s.start : s.start + s.size - 3;
}

bool isBranchPrefix(uint8_t b) {
  switch (b) {
    case 0xFF:
    case 0x26:
    case 0x2E:
    case 0x36:
    case 0x3E:
    case 0x64:
    case 0x65:
    case 0x66:
    case 0x67: return true;
    default: return false;
  }
}

// Segment and size prefixes that the decoder shows as a lone "db" byte when
// the instruction behind them does not take them.
bool isLonePrefix(uint8_t b) { return b != 0xFF && isBranchPrefix(b); }

// Lock and rep prefixes: their texts stand in front of the mnemonic.
bool isLockOrRep(uint8_t b) { return b == 0xF0 || b == 0xF2 || b == 0xF3; }

// The ID as an operand of the decoded text: 8 hex digits, or for an ID below
// 128 its last two digits followed by a blank or the end, standing behind a
// comma or blank, or behind a mark 1 that stands behind one.
bool textNamesId(const char* text, const char* hex8, bool small) {
  for (int i = 3; i < 82 && text[i]; ++i) {
    const char before = text[i - 1];
    const bool separated = before == ',' || before == ' ' ||
                           (before == REF_ADDRESS && text[i - 2] == REF_MARK &&
                            (text[i - 3] == ',' || text[i - 3] == ' '));
    if (!separated) continue;
    if (std::strncmp(text + i, hex8, 8) == 0) return true;
    if (small && text[i] == hex8[6] && text[i + 1] == hex8[7] &&
        (text[i + 2] == ' ' || text[i + 2] == 0))
      return true;
  }
  return false;
}

uint8_t refKindOf(const char* text) {
  static const char* const arithmetic[] = {"ad", "di", "id", "im", "mu",
                                           "rc", "ro", "sa", "sh", "su"};
  static const char* const logical[] = {"an", "or", "te", "xo"};
  for (const char* m : arithmetic)
    if (text[0] == m[0] && text[1] == m[1]) return 1;
  for (const char* m : logical)
    if (text[0] == m[0] && text[1] == m[1]) return 2;
  return 0;
}

// File offset minus memory address, as the code pass adds it to each target
// (0 outside PE files). Throughout a stretch of offsets that one section
// holds it is the same, so it is looked up once per stretch, not once per
// instruction.
class TBiasCache {
 public:
  TBiasCache(const TImageInfo& image, bool pe) : image_(image), pe_(pe) {}
  uint32_t at(uint32_t offset) {
    if (!pe_) return 0;
    if (offset >= from_ && offset < until_) return bias_;
    uint64_t end = 0;
    const bool held = image_.sectionByFileOffset(offset, &end) != nullptr;
    bias_ = offset - image_.fileOffsetToMemory(offset);
    from_ = held ? offset : 0;
    until_ = held ? end : 0;
    return bias_;
  }

 private:
  const TImageInfo& image_;
  bool pe_;
  uint64_t from_ = 0, until_ = 0;
  uint32_t bias_ = 0;
};

}  // namespace

// ---- value index -------------------------------------------------------------

int32_t TDwordIndex::slotOf(uint32_t value) const {
  if (keys_.empty()) return -1;
  for (uint32_t i = hashOf(value) & mask_;; i = (i + 1) & mask_) {
    if (ids_[i] < 0) return -1;
    if (keys_[i] == value) return ids_[i];
  }
}

void TDwordIndex::build(const uint8_t* base, const std::vector<TCodeSection>& sections,
                        const std::vector<uint32_t>& values, const std::atomic<bool>* stop) {
  uint32_t tableSize = 16;
  while (tableSize < 2 * values.size() + 2) tableSize *= 2;
  keys_.assign(tableSize, 0);
  ids_.assign(tableSize, -1);
  mask_ = tableSize - 1;
  filter_.assign(65536 / 64, 0);
  valueCount_ = 0;
  for (uint32_t v : values) {
    if (slotOf(v) >= 0) continue;
    uint32_t i = hashOf(v) & mask_;
    while (ids_[i] >= 0) i = (i + 1) & mask_;
    keys_[i] = v;
    ids_[i] = int32_t(valueCount_++);
    const uint32_t f = hashOf(v) >> 16;
    filter_[f >> 6] |= uint64_t(1) << (f & 63);
  }

  offsets_.assign(sections.size(), {});
  positions_.assign(sections.size(), {});
  std::vector<std::pair<uint32_t, uint32_t>> hits;  // (value number, position)
  for (size_t k = 0; k < sections.size(); ++k) {
    hits.clear();
    const uint32_t end = searchEnd(sections[k]);
    for (uint32_t chunk = sections[k].start; chunk < end && valueCount_;) {
      if (stop && stop->load(std::memory_order_relaxed)) break;
      const uint32_t chunkEnd = end - chunk > 0x40000 ? chunk + 0x40000 : end;
      for (uint32_t p = chunk; p < chunkEnd; ++p) {
        const uint32_t v = readLe32(base + p);
        const uint32_t f = hashOf(v) >> 16;
        if (!(filter_[f >> 6] & (uint64_t(1) << (f & 63)))) continue;
        const int32_t id = slotOf(v);
        if (id >= 0) hits.emplace_back(uint32_t(id), p);
      }
      chunk = chunkEnd;
    }
    // Counting sort by value number; positions stay ascending within each.
    auto& off = offsets_[k];
    off.assign(valueCount_ + 1, 0);
    for (auto& h : hits) ++off[h.first + 1];
    for (uint32_t i = 0; i < valueCount_; ++i) off[i + 1] += off[i];
    auto& pos = positions_[k];
    pos.resize(hits.size());
    std::vector<uint32_t> fill(off.begin(), off.end() - 1);
    for (auto& h : hits) pos[fill[h.first]++] = h.second;
  }
}

void TDwordIndex::positions(uint32_t k, uint32_t value, const uint32_t*& first,
                            const uint32_t*& last) const {
  first = last = nullptr;
  const int32_t id = slotOf(value);
  if (id < 0 || k >= positions_.size() || offsets_[k].empty()) return;
  first = positions_[k].data() + offsets_[k][id];
  last = positions_[k].data() + offsets_[k][id + 1];
}

// ---- common ------------------------------------------------------------------

void TScanRun::pause() {
  if (options_.yield) std::this_thread::yield();
}

// The instruction that holds a position: decoded forward from 48 bytes before
// it (from 0 near the buffer start), the last start before the position.
uint32_t TScanRun::instructionStart(uint32_t position) const {
  uint32_t q = position > 48 ? position - 48 : 0;
  uint32_t last = q;
  const uint8_t* c = base_ + q;
  const uint8_t* const target = base_ + position;
  while (c < target) {
    last = uint32_t(c - base_);
    decodeInstruction(c, DecodeLength, base_, 0, nullptr, 0, false, nullptr, nullptr);
  }
  return last;
}

// ---- code pass -----------------------------------------------------------------

void TScanRun::creditThunkCall(uint32_t target, uint32_t source) {
  TImpRefStore& imports = stores_.imports;
  if (!options_.indexed) {
    if (TImpRef* r = imports.findByUser(target)) r->refs.add(TMInt(int32_t(source)));
    return;
  }
  if (!usersBuilt_) {
    users_.clear();
    for (uint32_t r = 0; r < imports.count(); ++r)
      for (const TMInt& m : imports[r].refs) users_.emplace(uint32_t(m.value), r);
    usersBuilt_ = true;
  }
  auto it = users_.find(target);
  if (it == users_.end()) return;
  const uint32_t r = it->second;
  imports[r].refs.add(TMInt(int32_t(source)));
  // The call itself now belongs to this record too: a later jump to it is a
  // use of the same import unless an earlier record already holds it.
  auto [at, added] = users_.emplace(source, r);
  if (!added && at->second > r) at->second = r;
}

void TScanRun::codePass(uint32_t start, uint32_t end) {
  const uint64_t length = end - start;
  const uint64_t step = std::max<uint64_t>(2 * (length / 150), 1);
  uint64_t nextGauge = step;
  uint32_t sinceYield = 0;
  bool afterLonePrefix = false;
  TJCRefContainer& jc = stores_.jumpCalls;
  TBiasCache bias(image_, pe_);
  uint32_t p = start;
  while (p < end && !stopped()) {
    const uint32_t s = p;
    const uint32_t b = bias.at(s);
    // A jump or call is recognised by its text: a near call, or a mnemonic
    // beginning with "j" at the start of the text, with the digits behind the
    // operand's mark as target. Only those two things are needed, so the
    // decoder is asked for them instead of the whole text, which would cost
    // several times as much for every instruction of every code section.
    const uint8_t* cursor = base_ + s;
    TBranchOperand branch;
    decodeBranchOperand(cursor, base_, b, false, branch);
    const uint32_t length1 = uint32_t(cursor - (base_ + s));
    const uint8_t first = base_[s];
    // The text begins with the mnemonic unless lock or rep texts stand before it.
    const bool textIsJump = branch.mnemonic[0] == 'j' && !isLockOrRep(first);
    bool candidate = first == 0xE8 || (textIsJump && !isBranchPrefix(first));
    // A prefix the decoder split off as "db" belongs to the jump or call
    // behind it: such a prefixed branch is not taken, like one the decoder
    // shows with its prefix.
    if (afterLonePrefix) candidate = false;
    if (candidate) {
      const uint32_t target = branch.value + b;
      if (pe_) creditThunkCall(target, s);
      jc.append(target, s, 1);
    }
    if (options_.extreme) {
      p = s + 1;
    } else {
      afterLonePrefix = length1 == 1 && isLonePrefix(first);
      p = s + length1;
    }
    if (p - start >= nextGauge && p <= end) {
      host_.setGauge(1, int(uint64_t(p - start) * 1000 / std::max<uint64_t>(length, 1)),
                     int(jc.count()));
      nextGauge += step;
    }
    if (++sinceYield == 150) {
      sinceYield = 0;
      pause();
    }
  }
  host_.setGauge(1, 0, 0);
}

// ---- import slot search ----------------------------------------------------------

void TScanRun::slotMatch(const TCodeSection& section, uint32_t p, TImpRef& record, bool nested) {
  uint32_t ref;
  if (p - section.sectionStart < 2) {
    ref = p;
  } else if (base_[p - 2] == 0xFF && base_[p - 1] == 0x25) {
    // An import thunk (jmp through the slot): uses of the thunk's address
    // count as uses of the import.
    ref = p - 2;
    if (!nested) {
      const uint32_t thunk = image_.fileOffsetToMemory(p - 2);
      if (thunk != NOT_IN_FILE) slotSearch(thunk, record, true);
    }
  } else {
    ref = instructionStart(p);
  }
  record.refs.add(TMInt(int32_t(ref)));
  if (++matches_ >= 50) {
    matches_ = 0;
    pause();
  }
}

void TScanRun::searchSectionForSlot(const TCodeSection& section, uint32_t k, uint32_t value,
                                    TImpRef& record, bool nested) {
  const uint32_t start = section.start, end = searchEnd(section);
  if (end <= start) return;
  const TDwordIndex* index = nested ? (thunkIndexed_ ? &thunkIndex_ : nullptr)
                                    : (slotIndexed_ ? &slotIndex_ : nullptr);
  if (options_.indexed && index) {
    const uint32_t *first, *last;
    index->positions(k, value, first, last);
    if (first) {
      for (const uint32_t* q = first; q != last && !stopped(); ++q)
        slotMatch(section, *q, record, nested);
      host_.setGauge(2, 1000, 0);
      return;
    }
  }
  // Windows of n dwords; in each the four byte alignments are swept with a
  // dword stride, so every position is tested once.
  const uint64_t n = std::max<uint64_t>(2 * (uint64_t(section.size) / 40), 1);
  const uint64_t span = end - start;
  for (uint64_t w = 0; w < span && !stopped(); w += 4 * n) {
    for (uint32_t a = 0; a < 4; ++a) {
      for (uint64_t q = w + a; q < w + 4 * n && q < span; q += 4) {
        if (readLe32(base_ + start + q) == value)
          slotMatch(section, uint32_t(start + q), record, nested);
      }
    }
    host_.setGauge(2, int((w + 4 * n >= span ? span : w + 4 * n) * 1000 / span), 0);
  }
}

void TScanRun::slotSearch(uint32_t value, TImpRef& record, bool nested) {
  for (uint32_t k = 0; k < searchSections_.size() && !stopped(); ++k)
    searchSectionForSlot(searchSections_[k], k, value, record, nested);
}

void TScanRun::prepareSlotIndex(const std::vector<uint32_t>& slots) {
  slotIndex_.build(base_, searchSections_, slots, stop_);
  slotIndexed_ = !stopped();
  // The thunk addresses the nested searches will look for, found the way
  // slotMatch finds them.
  std::vector<uint32_t> thunks;
  for (uint32_t k = 0; k < searchSections_.size(); ++k) {
    const TCodeSection& s = searchSections_[k];
    for (uint32_t v : slots) {
      const uint32_t *first, *last;
      slotIndex_.positions(k, v, first, last);
      for (const uint32_t* q = first; q && q != last; ++q) {
        const uint32_t p = *q;
        if (p - s.sectionStart < 2 || base_[p - 2] != 0xFF || base_[p - 1] != 0x25) continue;
        const uint32_t thunk = image_.fileOffsetToMemory(p - 2);
        if (thunk != NOT_IN_FILE) thunks.push_back(thunk);
      }
    }
  }
  std::sort(thunks.begin(), thunks.end());
  thunks.erase(std::unique(thunks.begin(), thunks.end()), thunks.end());
  thunkIndex_.build(base_, searchSections_, thunks, stop_);
  thunkIndexed_ = !stopped();
}

// ---- string and menu ID search ----------------------------------------------------

void TScanRun::prepareIdIndex(const std::vector<uint32_t>& ids) {
  std::vector<uint32_t> wide;
  for (uint32_t id : ids)
    if (id >= 128) wide.push_back(id);
  idIndex_.build(base_, searchSections_, wide, stop_);
  idIndexed_ = !stopped();
}

template <class R>
bool TScanRun::idMatch(R& record, bool menu, uint32_t p, int64_t& lastRecorded) {
  const uint32_t start = instructionStart(p);
  if (int64_t(start) <= lastRecorded) return false;
  char text[kTextSize];
  text[0] = 0;
  const uint8_t* cursor = base_ + start;
  decodeInstruction(cursor, DecodePlain, base_, 0, text, sizeof text, false, nullptr, nullptr);
  if ((text[0] == 'c' && text[1] == 'm') || text[0] == 'j') return false;
  if (menu && text[0] == 'd' && text[1] == 'b') return false;
  char hex8[9];
  static const char digits[] = "0123456789ABCDEF";
  for (int i = 0; i < 8; ++i) hex8[i] = digits[(record.id >> (28 - 4 * i)) & 15];
  hex8[8] = 0;
  if (!textNamesId(text, hex8, record.id < 128)) return false;
  record.refs.add(TMIntType(int32_t(start), refKindOf(text)));
  lastRecorded = start;
  return true;
}

template <class R>
void TScanRun::idMatches(R& record, bool menu, const TCodeSection& section, const uint32_t* first,
                         const uint32_t* last) {
  int64_t lastRecorded = -1;
  const uint32_t span = std::max<uint32_t>(section.size, 1);
  int shown = -1;
  for (const uint32_t* q = first; q != last && !stopped(); ++q) {
    idMatch(record, menu, *q, lastRecorded);
    if (++matches_ >= 50) {
      matches_ = 0;
      pause();
    }
    const int th = int(uint64_t(*q - section.start) * 1000 / span);
    if (th / 25 != shown) {
      shown = th / 25;
      host_.setGauge(2, th, 0);
    }
  }
}

template <class R>
void TScanRun::idMatchesSweep(R& record, bool menu, const TCodeSection& section) {
  int64_t lastRecorded = -1;
  const uint32_t start = section.start, end = searchEnd(section);
  const uint32_t step = std::max<uint32_t>(section.size / 40, 1);
  uint32_t nextGauge = start + step;
  for (uint32_t p = start; p < end && !stopped(); ++p) {
    const bool hit = record.id >= 128 ? readLe32(base_ + p) == record.id : base_[p] == record.id;
    if (hit) {
      idMatch(record, menu, p, lastRecorded);
      if (++matches_ >= 50) {
        matches_ = 0;
        pause();
      }
    }
    if (p >= nextGauge) {
      host_.setGauge(2, int(uint64_t(p - start) * 1000 / section.size), 0);
      nextGauge += step;
    }
  }
}

template <class R>
void TScanRun::idSearch(R& record, bool menu) {
  for (uint32_t k = 0; k < searchSections_.size() && !stopped(); ++k) {
    const TCodeSection& s = searchSections_[k];
    // Menu commands are looked for in code sections only, strings in code
    // and executable ones.
    if (menu ? !(s.characteristics & 0x20) : !(s.characteristics & 0x20000020)) continue;
    if (!options_.indexed) {
      idMatchesSweep(record, menu, s);
      continue;
    }
    const uint32_t end = searchEnd(s);
    if (record.id >= 128) {
      const uint32_t *first = nullptr, *last = nullptr;
      if (idIndexed_) idIndex_.positions(k, record.id, first, last);
      if (!idIndexed_ || !first) {
        idMatchesSweep(record, menu, s);
        continue;
      }
      idMatches(record, menu, s, first, last);
    } else {
      // Byte immediates: memchr finds the same ascending positions a sweep does.
      int64_t lastRecorded = -1;
      const uint8_t* p = base_ + s.start;
      const uint8_t* const stopAt = base_ + end;
      int shown = -1;
      while (p < stopAt && !stopped()) {
        p = static_cast<const uint8_t*>(std::memchr(p, int(record.id), size_t(stopAt - p)));
        if (!p) break;
        idMatch(record, menu, uint32_t(p - base_), lastRecorded);
        if (++matches_ >= 50) {
          matches_ = 0;
          pause();
        }
        const int th = int(uint64_t(p - (base_ + s.start)) * 1000 / std::max<uint32_t>(s.size, 1));
        if (th / 25 != shown) {
          shown = th / 25;
          host_.setGauge(2, th, 0);
        }
        ++p;
      }
    }
  }
}

template void TScanRun::idSearch<TStrRef>(TStrRef&, bool);
template void TScanRun::idSearch<TMenuRef>(TMenuRef&, bool);
