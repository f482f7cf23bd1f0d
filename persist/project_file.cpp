#include "persist/project_file.h"

#include <algorithm>
#include <cstring>

#include "base/host.h"
#include "base/le_read.h"
#include "base/percent_status.h"
#include "base/text_format.h"

namespace {

constexpr const char* kSectionNames[PROJECT_SECTION_COUNT] = {"FILENAME",   "COMMENTS",
                                                              "FIXEDREGS",  "JUMPANDCALLREFS",
                                                              "IMPORTREFS", "STRINGREFS",
                                                              "MENUREFS",   "RETURNS"};

template <class R>
void putIdRefs(std::vector<uint8_t>& out, const TIdRefStore<R>& store) {
  appendLe32(out, store.count());
  for (uint32_t i = 0; i < store.count(); ++i) {
    const R& r = store[i];
    appendLe32(out, r.id);
    appendLe32(out, r.textOffset);
    appendLe32(out, r.refs.count());
    for (const TMIntType& m : r.refs) {
      appendLe32(out, static_cast<uint32_t>(m.value));
      out.push_back(m.type);
    }
  }
}

}  // namespace

const char* projectSectionName(int section) {
  return section >= 0 && section < PROJECT_SECTION_COUNT ? kSectionNames[section] : nullptr;
}

// ---- writing -------------------------------------------------------------------

std::vector<uint8_t> buildProjectFile(const TProjectHeader& header, const std::string& path,
                                      const TProjectContents& c,
                                      std::array<uint32_t, PROJECT_SECTION_COUNT>* tableOut) {
  const TJCRefContainer& jc = c.stores.jumpCalls;
  std::vector<uint8_t> out;
  out.reserve(PROJECT_SECTIONS_START + path.size() + 64 + c.names.size() * 16 +
              TFixedRegs::STACK_SIZE + 128 + c.regs.breakPoints.size() * 8 +
              size_t(jc.count()) * sizeof(TJCRef) + 4 * TReturnManager::CAPACITY * 12);

  appendLe16(out, header.version);
  appendLe32(out, header.position);
  out.push_back(header.codeWidth);
  out.push_back(header.hexDump);
  out.push_back(header.programOffsets);
  out.push_back(header.autoStrings);
  out.resize(PROJECT_SECTIONS_START, 0);  // ten zero bytes, then the table's place

  std::array<uint32_t, PROJECT_SECTION_COUNT> table{};
  auto marker = [&](int section) {
    table[section] = static_cast<uint32_t>(out.size());
    out.push_back(static_cast<uint8_t>(section));
  };

  marker(PS_FILENAME);
  // The length is 16 bits wide; a longer path cannot be stored whole.
  const size_t pathBytes = std::min<size_t>(path.size(), 0xFFFE);
  appendLe16(out, static_cast<uint16_t>(pathBytes + 1));
  out.insert(out.end(), path.begin(), path.begin() + pathBytes);
  out.push_back(0);

  marker(PS_COMMENTS);
  appendLe32(out, static_cast<uint32_t>(c.names.size()));
  for (const TComment& n : c.names) {
    appendLe32(out, n.address);
    appendLe16(out, static_cast<uint16_t>(n.text.size() + 1));  // the store keeps texts below 255
    out.insert(out.end(), n.text.begin(), n.text.end());
    out.push_back(0);
  }

  marker(PS_FIXEDREGS);
  c.regs.save(out);

  marker(PS_JUMPANDCALLREFS);
  appendLe32(out, jc.count());
  if (jc.count() > 0) {
    const size_t at = out.size();
    out.resize(at + size_t(jc.count()) * sizeof(TJCRef));
    uint8_t* p = out.data() + at;
    for (uint32_t i = 0; i < jc.count(); ++i, p += sizeof(TJCRef)) {
      writeLe32(p, jc[i].target);
      writeLe32(p + 4, jc[i].source);
      writeLe16(p + 8, jc[i].kind);
    }
  }

  marker(PS_IMPORTREFS);
  appendLe32(out, c.stores.imports.count());
  for (uint32_t i = 0; i < c.stores.imports.count(); ++i) {
    const TImpRef& r = c.stores.imports[i];
    appendLe32(out, r.iatAddress);
    appendLe32(out, r.moduleName);
    appendLe32(out, r.function);
    appendLe32(out, r.refs.count());
    for (const TMInt& m : r.refs) appendLe32(out, static_cast<uint32_t>(m.value));
  }

  marker(PS_STRINGREFS);
  putIdRefs(out, c.stores.strings);
  marker(PS_MENUREFS);
  putIdRefs(out, c.stores.menus);

  marker(PS_RETURNS);
  c.history.writeBody(out);

  for (int k = 0; k < PROJECT_SECTION_COUNT; ++k)
    writeLe32(out.data() + PROJECT_HEADER_SIZE + 4 * k, table[k]);
  if (tableOut) *tableOut = table;
  return out;
}

// ---- reading -------------------------------------------------------------------

bool TProjectReader::u8(uint8_t& v) {
  if (remaining() < 1) return false;
  v = data_[pos_++];
  return true;
}

bool TProjectReader::u16(uint16_t& v) {
  if (remaining() < 2) return false;
  v = readLe16(data_ + pos_);
  pos_ += 2;
  return true;
}

bool TProjectReader::u32(uint32_t& v) {
  if (remaining() < 4) return false;
  v = readLe32(data_ + pos_);
  pos_ += 4;
  return true;
}

int TProjectReader::readError(int detail) {
  host_.message(wsString("Couldn't read project file (%i,%i)!", section_, detail), "File error",
                MsgIcon::Exclamation);
  return PROJECT_READ_ERROR;
}

int64_t TProjectReader::budgetTo(int nextSection) const {
  return int64_t(table_[nextSection]) - int64_t(pos_);
}

int TProjectReader::readHeader() {
  section_ = -1;
  pos_ = 0;
  if (size_ < PROJECT_HEADER_SIZE) return readError(0);
  const uint8_t* h = data_;
  header_.version = readLe16(h);
  header_.position = readLe32(h + 2);
  header_.codeWidth = h[6];
  header_.hexDump = h[7];
  header_.programOffsets = h[8];
  header_.autoStrings = h[9];
  if (header_.version > PROJECT_VERSION)
    host_.message("This project was created with a newer version of OXU and may be incompatible",
                  "Warning!", MsgIcon::Exclamation);
  if (size_ < PROJECT_SECTIONS_START) return readError(0);
  for (int k = 0; k < PROJECT_SECTION_COUNT; ++k)
    table_[k] = readLe32(h + PROJECT_HEADER_SIZE + 4 * k);
  pos_ = PROJECT_SECTIONS_START;
  return PROJECT_LOADED;
}

int TProjectReader::enterSection(int section) {
  section_ = section;
  pos_ = std::min<size_t>(table_[section], size_);
  uint8_t marker = 0;
  if (table_[section] >= size_ || !u8(marker)) return readError(0);
  if (marker != section) {
    host_.message(wsString("Wrong section found (%s)!", kSectionNames[section]),
                  wsString("d=%i sec=%i so[sec]=%X", int(marker), section, table_[section]),
                  MsgIcon::Exclamation);
    return PROJECT_WRONG_SECTION;
  }
  return PROJECT_LOADED;
}

int TProjectReader::readFileName(std::string& path, bool& tooLong) {
  path.clear();
  tooLong = false;
  uint16_t n = 0;
  if (!u16(n)) return readError(PS_FILENAME);
  if (n >= PROJECT_PATH_LIMIT) {
    tooLong = true;
    return PROJECT_LOADED;
  }
  if (remaining() < n) return readError(n);
  const char* text = reinterpret_cast<const char*>(data_ + pos_);
  path.assign(text, strnlen(text, n));
  pos_ += n;
  return PROJECT_LOADED;
}

int TProjectReader::readComments(TCommentContainer& names) {
  names.clear();
  uint32_t count = 0;
  if (!u32(count)) return readError(PS_COMMENTS);
  host_.setStatusText("Allocating symbol memory...");
  // A record takes at least 6 bytes: a damaged count must not reserve more
  // entries than the rest of the file can hold.
  names.reserve(static_cast<uint32_t>(std::min<uint64_t>(count, remaining() / 6)));
  TPercentStatus progress(host_, "Loading symbols... (%i%%)", count);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t address = 0;
    uint16_t n = 0;
    if (!u32(address) || !u16(n) || remaining() < n) return readError(int(count - i - 1));
    const char* text = reinterpret_cast<const char*>(data_ + pos_);
    names.append(address, std::string_view(text, strnlen(text, n)));
    pos_ += n;
    progress.at(i + 1);
  }
  return PROJECT_LOADED;
}

int TProjectReader::readFixedRegs(TFixedRegs& regs, bool& fixedMarks) {
  size_t used = 0;
  const bool ok = regs.load(data_ + pos_, remaining(), header_.version, &used);
  pos_ += used;
  fixedMarks = regs.fixed8 != 0 || regs.fixed16 != 0 || regs.fixed32 != 0;
  return ok ? PROJECT_LOADED : readError(PS_FIXEDREGS);
}

int TProjectReader::readJumpCalls(TJCRefContainer& store) {
  store.clear();
  uint32_t count = 0;
  if (!u32(count)) return readError(PS_JUMPANDCALLREFS);
  // Sized for the records the file can actually hold.
  store.setCapacity(static_cast<uint32_t>(std::min<uint64_t>(count, remaining() / sizeof(TJCRef))));
  TPercentStatus progress(host_, "Loading code references... (%i%%)", count);
  // Lookups search the store by target; a damaged file must not break that,
  // neither when it is read whole nor when the read ends early.
  bool sorted = true;
  auto fail = [&](uint32_t i) {
    if (!sorted) store.sort();
    return readError(int(count - i - 1));
  };
  int32_t lastTarget = INT32_MIN, lastSource = INT32_MIN;
  for (uint32_t i = 0; i < count; ++i) {
    if (remaining() < sizeof(TJCRef)) return fail(i);
    const uint8_t* p = data_ + pos_;
    const uint32_t target = readLe32(p), source = readLe32(p + 4);
    const int32_t t = int32_t(target), s = int32_t(source);
    if (t < lastTarget || (t == lastTarget && s < lastSource)) sorted = false;
    lastTarget = t;
    lastSource = s;
    if (!store.append(target, source, readLe16(p + 8))) return fail(i);
    pos_ += sizeof(TJCRef);
    progress.at(i + 1);
  }
  if (!sorted) store.sort();
  return PROJECT_LOADED;
}

int TProjectReader::readImports(TImpRefStore& store) {
  store.flush();
  uint32_t count = 0;
  if (!u32(count)) return readError(PS_IMPORTREFS);
  TPercentStatus progress(host_, "Loading import references... (%i%%)", count);
  for (uint32_t i = 0; i < count; ++i) {
    const int64_t budget = budgetTo(PS_STRINGREFS);
    const int rest = int(count - i - 1);
    TImpRef r;
    uint32_t n = 0;
    if (budget < 17 || !u32(r.iatAddress) || !u32(r.moduleName) || !u32(r.function) || !u32(n))
      return readError(rest);
    if (n > budget || 4 * int64_t(n) > budget - 16 || remaining() < 4 * uint64_t(n))
      return readError(rest);
    for (uint32_t j = 0; j < n; ++j) {
      r.refs.add(TMInt(int32_t(readLe32(data_ + pos_))));
      pos_ += 4;
    }
    store.add(std::move(r));
    progress.at(i + 1);
  }
  return PROJECT_LOADED;
}

template <class R>
int TProjectReader::readIdRefs(TIdRefStore<R>& store, int section, const char* progressText) {
  store.flush();
  uint32_t count = 0;
  if (!u32(count)) return readError(section);
  TPercentStatus progress(host_, progressText, count);
  for (uint32_t i = 0; i < count; ++i) {
    const int64_t budget = budgetTo(section + 1);
    const int rest = int(count - i - 1);
    uint32_t id = 0, text = 0, n = 0;
    if (budget < 13 || !u32(id) || !u32(text) || !u32(n)) return readError(rest);
    if (5 * int64_t(n) > budget - 12 || remaining() < 5 * uint64_t(n)) return readError(rest);
    R r(id, text);
    for (uint32_t j = 0; j < n; ++j) {
      r.refs.add(TMIntType(int32_t(readLe32(data_ + pos_)), data_[pos_ + 4]));
      pos_ += 5;
    }
    store.add(std::move(r));
    progress.at(i + 1);
  }
  return PROJECT_LOADED;
}

int TProjectReader::readStrings(TStrRefStore& store) {
  return readIdRefs(store, PS_STRINGREFS, "Loading string references... (%i%%)");
}

int TProjectReader::readMenus(TMenuRefStore& store) {
  return readIdRefs(store, PS_MENUREFS, "Loading menu references... (%i%%)");
}

int TProjectReader::readReturns(TReturnManager& history) {
  const THistoryReadResult r = history.readBody(data_ + pos_, remaining());
  pos_ += r.consumed;
  if (!r.ok) return readError(r.consumed == 0 ? PS_RETURNS : r.detail);
  return PROJECT_LOADED;
}
