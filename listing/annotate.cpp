#include "listing/annotate.h"

#include <cstring>

#include "analysis/comment_container.h"
#include "analysis/id_refs.h"
#include "analysis/store_locks.h"
#include "base/le_read.h"
#include "disasm/marks.h"
#include "image/image_info.h"
#include "listing/text_char.h"

namespace {

// Names copied from the file or the stores may hold any byte; below 0x20 only
// mark bytes may appear in listing text.
inline char safeChar(uint8_t c) { return c < 0x20 ? '.' : static_cast<char>(c); }

}  // namespace

// Pieces are checked against the capacity before they are started; put()
// still refuses to pass cap - 1, so out is terminated whatever happens.
struct TListingAnnotator::TNote {
  char* out;
  size_t cap;
  size_t len;

  void put(char c) {
    if (len + 1 >= cap) return;
    out[len++] = c;
    out[len] = 0;
  }
  void put(const char* s) {
    while (*s) put(*s++);
  }
  void mark(char kind, uint8_t code) {
    put(kind);
    put(static_cast<char>(code));
  }
  void hex8(uint32_t v) {
    static const char digits[] = "0123456789ABCDEF";
    for (int shift = 28; shift >= 0; shift -= 4) put(digits[(v >> shift) & 15]);
  }
  // A link of a chain: " -> " reference mark k and eight digits (14 bytes).
  void link(uint8_t kind, uint32_t address) {
    put(" -> ");
    mark(REF_MARK, kind);
    hex8(address);
  }
  // A link written now would leave no room for the terminator.
  bool linkFull() const { return len + 14 >= cap; }
  // A preview character fits when its closing quote, colour mark and the
  // terminator still do.
  bool previewRoom() const { return len + 5 <= cap; }
};

TListingAnnotator::TListingAnnotator(const TImageInfo& image, const uint8_t* buffer, uint32_t size,
                                     const TCommentContainer& names, const TStrRefStore* strings,
                                     const TStoreLocks* locks)
    : image_(image), buffer_(buffer), size_(size), names_(names), strings_(strings), locks_(locks) {}

uint32_t TListingAnnotator::memoryToFileOffset(uint32_t address) const {
  return image_.memoryToFileOffset(address);
}

void TListingAnnotator::annotateValue(uint32_t value, char* out, size_t cap, bool memory,
                                      bool noHops, int flavour, uint32_t bias) const {
  if (!out || cap == 0) return;
  out[0] = 0;
  if (cap < 6 || !image_.isPE()) return;
  TNote t{out, cap, 0};

  Next next = importName(t, value, memory);
  if (next == Next::Absent) {
    next = flavour == FlavourJumpChain ? jumpChain(t, value, noHops, bias)
                                       : pointerChain(t, value, noHops, flavour);
  }
  if (next == Next::Stop) return;
  if (next == Next::Strings && !stringReference(t, value)) return;

  // Only a jump chain's value is a file offset; the others are addresses
  // already (a call target's displacement or slot is a memory address too).
  uint32_t key;
  if (labelKey(value, flavour == FlavourJumpChain, key)) label(t, key);
}

void TListingAnnotator::annotateBranch(uint32_t value, char* out, size_t cap, bool memory,
                                       bool followJumps, uint32_t bias) const {
  if (!out || cap == 0) return;
  out[0] = 0;
  if (!image_.isPE()) return;

  // A branch to "jmp dword ptr [slot]", the usual import thunk: name what the
  // slot holds. Only a branch target is a file offset whose bytes can be read
  // here; a direct memory offset is an address.
  if (followJumps && int32_t(value) > 0 && uint64_t(value) + 5 < size_ && buffer_[value] == 0xFF &&
      buffer_[value + 1] == 0x25) {
    annotateValue(readLe32(buffer_ + value + 2), out, cap, true, true, FlavourCallTarget, bias);
    size_t len = std::strlen(out);
    // Through the thunk the target *is* the import: "->" becomes "=>".
    if (len > 3 && out[3] == '-')
      out[3] = '=';
    else if (len > 1 && out[1] == '-')
      out[1] = '=';
    TNote t{out, cap, len};
    uint32_t key;
    if (labelKey(value, true, key)) label(t, key);
    return;
  }
  annotateValue(value, out, cap, memory, false, followJumps ? FlavourJumpChain : FlavourData, bias);
}

// " " colour 4 "->" or "=" " " module ": " function colour 0xFF.
TListingAnnotator::Next TListingAnnotator::importName(TNote& t, uint32_t value, bool memory) const {
  char module[80];
  char function[80];
  const bool found =
      memory ? image_.lookupImportSlot(value, module, sizeof module, function, sizeof function)
             : image_.lookupImportKey(value, module, sizeof module, function, sizeof function);
  if (!found) return Next::Absent;
  const size_t moduleLen = std::strlen(module);
  if (moduleLen + 11 > t.cap) return Next::Stop;
  // The "->" form, the longer one, then ends exactly at cap - 1.
  const size_t functionRoom = t.cap - 11 - moduleLen;
  if (std::strlen(function) > functionRoom) function[functionRoom] = 0;
  t.put(' ');
  t.mark(COLOUR_MARK, COLOUR_IMPORT_REF);
  t.put(memory ? "->" : "=");
  t.put(' ');
  for (const char* s = module; *s; ++s) t.put(safeChar(uint8_t(*s)));
  t.put(": ");
  for (const char* s = function; *s; ++s) t.put(safeChar(uint8_t(*s)));
  t.mark(COLOUR_MARK, COLOUR_TEXT);
  return Next::Label;
}

// Follows jmp rel32 / jmp rel8 from a file offset. Links show file offsets
// when the listing does (bias 0), memory addresses otherwise.
TListingAnnotator::Next TListingAnnotator::jumpChain(TNote& t, uint32_t p, bool noHops,
                                                     uint32_t bias) const {
  for (int hops = noHops ? 2 : 5; hops > 0; --hops) {
    if (uint64_t(p) + 5 >= size_) break;
    uint32_t step;
    if (buffer_[p] == 0xE9)
      step = readLe32(buffer_ + p + 1) + 5;
    else if (buffer_[p] == 0xEB)
      step = uint32_t(int32_t(int8_t(buffer_[p + 1]))) + 2;
    else
      break;
    uint32_t shown;
    if (bias == 0) {
      p += step;
      if (p >= size_) break;
      shown = p;
    } else {
      uint32_t m = image_.fileOffsetToMemory(p);
      if (m == NOT_IN_FILE) break;
      m += step;
      const uint32_t next = image_.memoryToFileOffset(m);
      if (next == NOT_IN_FILE) break;
      shown = m;
      p = next;
    }
    if (t.linkFull()) return Next::Stop;
    t.link(REF_JUMP, shown);
  }
  return Next::Strings;
}

// Follows dwords that look like pointers into the image (same top byte as the
// image base, inside the file), then previews the text where the chain ends.
TListingAnnotator::Next TListingAnnotator::pointerChain(TNote& t, uint32_t value, bool noHops,
                                                        int& flavour) const {
  uint32_t p = image_.memoryToFileOffset(value);
  if (p == NOT_IN_FILE) return Next::Strings;
  const uint32_t baseTop = image_.imageBase() >> 24;
  for (int hops = noHops ? 0 : 3;; --hops) {
    if (uint64_t(p) + 3 >= size_) return Next::Strings;
    const uint32_t d = readLe32(buffer_ + p);
    if ((d >> 24) != baseTop) break;
    const uint32_t next = image_.memoryToFileOffset(d);
    if (next == NOT_IN_FILE) break;
    if (t.linkFull()) return Next::Stop;
    t.link(REF_ADDRESS, d);
    if (flavour == FlavourCallTarget) flavour = FlavourData;
    if (hops == 0) return Next::Label;
    p = next;
  }
  if (flavour == FlavourCallTarget) return Next::Label;
  return preview(t, p);
}

// ASCII between double quotes, or UTF-16 (low bytes) between single quotes.
// The caller made sure that the four bytes at offset lie inside the file.
TListingAnnotator::Next TListingAnnotator::preview(TNote& t, uint32_t offset) const {
  const uint8_t* s = buffer_ + offset;
  if (isTextChar(s[0]) && isTextChar(s[1]) && isTextChar(s[2])) {
    if (t.len + 12 >= t.cap) return Next::Stop;
    t.put(" -> ");
    t.mark(COLOUR_MARK, COLOUR_TEXT_REF);
    t.put('"');
    for (uint64_t i = offset; i < size_ && isTextChar(buffer_[i]) && t.previewRoom(); ++i)
      t.put(previewChar(buffer_[i]));
    t.put('"');
    t.mark(COLOUR_MARK, COLOUR_TEXT);
  } else if (isTextChar(s[0]) && s[1] == 0 && isTextChar(s[2]) && s[3] == 0) {
    if (t.len + 11 >= t.cap) return Next::Stop;
    t.put(" -> ");
    t.mark(COLOUR_MARK, COLOUR_TEXT_REF);
    t.put('\'');
    for (uint64_t i = offset;
         i + 1 < size_ && isTextChar(buffer_[i]) && buffer_[i + 1] == 0 && t.previewRoom(); i += 2)
      t.put(previewChar(buffer_[i]));
    t.put('\'');
    t.mark(COLOUR_MARK, COLOUR_TEXT);
  }
  return Next::Label;
}

// The string-table text whose id equals the value itself, unless the scanner
// is filling the store right now.
bool TListingAnnotator::stringReference(TNote& t, uint32_t value) const {
  if (!strings_ || (locks_ && locks_->isLocked(TRefStoreKind::String))) return true;
  uint32_t off;
  if (!findStringText(value, off) || uint64_t(off) + 5 >= size_) return true;
  if (t.len + 11 >= t.cap) return false;
  const uint32_t count = readLe16(buffer_ + off);
  t.put(" => ");
  t.mark(COLOUR_MARK, COLOUR_TEXT_REF);
  t.put('\'');
  for (uint64_t i = 0, c = uint64_t(off) + 2; i < count && c + 1 < size_ && t.previewRoom();
       ++i, c += 2)
    t.put(safeChar(buffer_[c]));
  t.put('\'');
  t.mark(COLOUR_MARK, COLOUR_TEXT);
  return true;
}

// Binary search by id (ascending, signed) over the store's records; the
// store's own find builds a probe record, which allocates.
bool TListingAnnotator::findStringText(uint32_t id, uint32_t& textOffset) const {
  uint32_t low = 0, high = strings_->count();
  while (low < high) {
    const uint32_t mid = low + (high - low) / 2;
    if (int32_t((*strings_)[mid].id) < int32_t(id))
      low = mid + 1;
    else
      high = mid;
  }
  if (low == strings_->count() || (*strings_)[low].id != id) return false;
  textOffset = (*strings_)[low].textOffset;
  return true;
}

// Names are keyed by the memory address the listing shows for a place. A file
// offset is converted; one inside the file but in no section is shown (and
// named) as image base + offset. A "file offset" beyond the file is a branch
// target the decoder could not convert: there is no place to name.
bool TListingAnnotator::labelKey(uint32_t value, bool fileOffset, uint32_t& key) const {
  if (!fileOffset) {
    key = value;
    return true;
  }
  if (value >= size_) return false;
  key = image_.fileOffsetToMemory(value);
  if (key == NOT_IN_FILE) key = image_.imageBase() + value;
  return true;
}

// Colour 7 " => " text colour 0xFF, the text cut so that out stays below
// cap - 3. Written only when at least one character of it fits.
void TListingAnnotator::label(TNote& t, uint32_t key) const {
  if (t.len + 10 >= t.cap) return;
  char text[256];
  if (!names_.lookup(key, text, sizeof text)) return;
  t.mark(COLOUR_MARK, COLOUR_USER1);
  t.put(" => ");
  for (const char* s = text; *s && t.len + 4 < t.cap; ++s) t.put(safeChar(uint8_t(*s)));
  t.mark(COLOUR_MARK, COLOUR_TEXT);
}
