// The lines of the listing: one position of the file buffer turned into an
// address column, a bytes column and an instruction (code lines) or sixteen
// bytes and their characters (hex lines), with strings found in code shown as
// data lines. renderCodeLine resolves the reference marks of a code line into
// colour marks and records the followable references as hotspots, in
// character cells; the desktop view turns cells into pixels and draws.
//
// Everything here works on a file buffer that carries 16 readable zero bytes
// behind its last byte, allocates nothing and cuts text at the capacity given.
#pragma once
#include <cstddef>
#include <cstdint>

#include "disasm/marks.h"

class Host;
class TAnnotator;
class TImageInfo;
struct TFixedRegView;

// Hotspot types.
enum THotspotType : uint16_t {
  HOTSPOT_DATA = 0,
  HOTSPOT_CALL = 64,
  HOTSPOT_JUMP = 65,
  HOTSPOT_POSSIBLE_REF = 66,
  HOTSPOT_FAR_CALL = 96,
  HOTSPOT_FAR_JUMP = 97,
};

// One followable reference on a rendered line, in character cells.
struct Hotspot {
  uint32_t target;  // file offset the reference leads to
  uint32_t source;  // code references: offset of the line holding it; data: the value
  uint32_t shown;   // the value as printed
  int32_t column;   // first printed character (colour marks not counted)
  int32_t row;      // the row of the paint (the caller's numbering)
  uint16_t width;   // printed characters
  uint16_t type;    // THotspotType
};

// The trace picture of the bytes: state 0..7 of the byte at a file offset
// (bit 0 executed, bit 1 read, bit 2 written). Optional everywhere.
class TByteStateSource {
 public:
  virtual ~TByteStateSource() = default;
  virtual uint8_t byteState(uint32_t offset) const = 0;
  // False when every byte has state 0: the listing then asks no byte.
  virtual bool anyByteState() const { return true; }
};

// Segment registers of the tracer (es, cs, ss, ds, fs, gs), for 16-bit
// addresses with a segment letter.
struct TSegmentView {
  uint16_t value[6];
};

// String state kept between consecutive lines.
enum TStringState : uint8_t {
  STRING_NONE = 0,
  STRING_UTF16 = 1,  // the previous line ended inside a UTF-16 string
  STRING_ASCII = 2,  // ... inside an ASCII string
};

class TShownAddressCache;

// What the line formatter reads besides the position. Everything is borrowed.
struct TLineSource {
  const uint8_t* buffer = nullptr;           // the file bytes followed by 16 zero bytes
  uint32_t size = 0;                         // file size: lines never reach beyond it
  const TImageInfo* image = nullptr;         // relocation marks; may be null
  const TAnnotator* annotator = nullptr;     // annotation behind addresses; may be null
  const TFixedRegView* fixed = nullptr;      // "Fixed registers" view, or null
  const TSegmentView* segments = nullptr;    // tracer segment registers, or null
  const TByteStateSource* trace = nullptr;   // trace visualisation, or null
  Host* host = nullptr;                      // message boxes; null says nothing
  TShownAddressCache* shownCache = nullptr;  // for lines met in a row, or null
  uint32_t minStringLength = 4;
  bool markRelocations = false;
};

// Text capacities of the listing.
constexpr size_t CODE_LINE_CAPACITY = 400;
constexpr size_t HEX_LINE_CAPACITY = 120;
// A rendered code line grows when marks are rewritten (eight-digit targets,
// colour marks, the TIB field name): room for that beyond the 400.
constexpr size_t RENDERED_LINE_CAPACITY = 512;
constexpr uint32_t LISTING_BYTE_CELLS = 10;

// Address printed for a file offset, from the raw headers in the buffer. An
// image parsed from this buffer lends its raw section table, so that the
// sections are not walked for every line. sameShiftUntil, when given,
// receives the end of the stretch from offset on where the address minus the
// offset stays the same (offset + 1 when that is not known).
uint32_t shownAddress(uint32_t offset, const uint8_t* buffer, uint32_t size, bool memory,
                      const TImageInfo* image = nullptr, uint64_t* sameShiftUntil = nullptr);

// Memory addresses of lines that come one after another: within a stretch of
// offsets that one section holds the address is the offset plus the same
// shift, so the section is looked up once per stretch instead of per line.
class TShownAddressCache {
 public:
  uint32_t memoryAddress(uint32_t offset, const TLineSource& src) {
    if (offset < from_ || offset >= until_) {
      uint64_t until = 0;
      const uint32_t shown = shownAddress(offset, src.buffer, src.size, true, src.image, &until);
      from_ = offset;
      until_ = until;
      shift_ = shown - offset;
    }
    return offset + shift_;
  }

 private:
  uint64_t from_ = 1, until_ = 0;  // empty
  uint32_t shift_ = 0;
};

inline uint32_t shownAddress(uint32_t offset, const TLineSource& src, bool memory) {
  if (memory && src.shownCache) return src.shownCache->memoryAddress(offset, src);
  return shownAddress(offset, src.buffer, src.size, memory, src.image);
}

// Length of the string starting at offset: ASCII characters (at most 32), or
// UTF-16 units, plus the terminator when it follows inside the buffer; 0 when
// no string starts there. A string state continuing the same kind accepts a
// run shorter than the minimum.
uint32_t asciiRunLength(const uint8_t* buffer, uint32_t size, uint32_t offset, uint8_t state,
                        uint32_t minLength);
uint32_t utf16RunLength(const uint8_t* buffer, uint32_t size, uint32_t offset, uint8_t state,
                        uint32_t minLength);

// Formats the line at cursor (or with a null text only measures it) and moves
// cursor to the start of the next line. cells: byte cells of the bytes column
// (0 = none). A cursor at or beyond the file end stays where it is.
void Disassembly(const uint8_t*& cursor, const TLineSource& src, uint32_t cells, bool detectStrings,
                 char* text, size_t cap, bool memory, bool bits16, uint8_t& stringState);

// One hex-dump line of count bytes at offset (bytes at or beyond size are left out).
void HexDump(const TLineSource& src, uint32_t offset, uint32_t count, char* text, size_t cap,
             bool memory);

// The code line at cursor with its marks resolved: text (capacity
// RENDERED_LINE_CAPACITY or more) holds printable text and colour marks only.
// Hotspots are appended while room lasts, each tagged with row. Returns the
// number of hotspots added.
uint32_t renderCodeLine(const uint8_t*& cursor, const TLineSource& src, bool memory, bool bits16,
                        bool detectStrings, uint8_t& stringState, char* text, size_t cap,
                        Hotspot* hotspots, uint32_t room, int32_t row);

// Resolves the marks of a line formatted by Disassembly (lineOffset is its
// file offset); the part of renderCodeLine after the formatting.
uint32_t resolveMarks(const char* in, uint32_t lineOffset, const TLineSource& src, bool memory,
                      bool bits16, char* text, size_t cap, Hotspot* hotspots, uint32_t room,
                      int32_t row);

// Start of the instruction count lines before offset (plain decoding, no strings).
uint32_t previousLineStart(const uint8_t* buffer, uint32_t offset, uint32_t count, bool bits16);

bool isReturn(const uint8_t* bytes);
bool isUnconditionalJump(const uint8_t* bytes);

// Texts of the extra lines, with their colour marks.
void entryLineText(char* text, size_t cap);
void tlsLineText(uint32_t index, char* text, size_t cap);  // index from 0
void labelLineText(const char* name, char* text, size_t cap);
void endLineText(char* text, size_t cap);

// Characters a marked text occupies on screen (colour marks not counted).
uint32_t visibleLength(const char* text);
