// The two-byte marks inside instruction and listing text. The decoder writes
// a reference mark in front of every address it prints; the annotation adds
// reference marks to its chains and colour marks around names and strings;
// the listing turns reference marks into colour marks and hotspots, the
// painter switches colours at colour marks, and the scanner reads the marks
// to find what an instruction refers to. Apart from the marks' first bytes,
// listing text holds no byte below 0x20.
#pragma once
#include <cstdint>

// 0x1F k: the hexadecimal address text that follows is a reference of kind k.
constexpr char REF_MARK = 0x1F;
// 0x1E c: what follows is drawn in colour c until the next colour mark.
constexpr char COLOUR_MARK = 0x1E;

// Reference kinds (the second byte of a reference mark) and what follows them.
enum TRefKind : uint8_t {
  REF_ADDRESS = 1,      // a 32-bit address, "%.8X"
  REF_CALL = 2,         // target of a relative call, "%.8X" ("%.4X" in 16-bit code)
  REF_JUMP = 3,         // target of a relative jump, conditional jump or loop, as 2
  REF_FAR_CALL = 4,     // selector of a direct far call, "%.4X:", then the offset
  REF_CALL_MEMORY = 5,  // call target given as a memory address, "%.8X"
  REF_JUMP_MEMORY = 6,  // jump target given as a memory address, "%.8X"
  REF_FAR_JUMP = 7,     // selector of a direct far jump, as 4
  REF_ADDRESS16 = 8,    // a 16-bit address: a segment letter, then "%.4X"
};

// Colour codes (the second byte of a colour mark).
enum TColourCode : uint8_t {
  COLOUR_MEMORY_REF = 1,
  COLOUR_CALL_REF = 2,
  COLOUR_JUMP_REF = 3,
  COLOUR_IMPORT_REF = 4,
  COLOUR_CALL_REF2 = 5,
  COLOUR_TEXT_REF = 6,
  COLOUR_USER1 = 7,
  COLOUR_USER2 = 8,
  COLOUR_ENDLINES = 9,
  COLOUR_PREF_REF = 10,
  COLOUR_PREFT_REF = 11,
  COLOUR_BACK_NORMAL = 0x40,  // 0x41..0x47: trace tint of state code - 0x40
  COLOUR_BACK_RELOC_START = 0x50,
  COLOUR_BACK_RELOC_INSIDE = 0x51,
  COLOUR_TEXT = 0xFF,
};
