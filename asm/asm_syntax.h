// One line of assembler text in the listing's own syntax, taken apart into
// prefixes, a mnemonic and operands. The parser works in place on the caller's
// text and allocates nothing; numbers keep a pointer to their digits so that
// the encoder can prefer the form whose printed text is exactly what was typed.
//
// Accepted: "lock" and "rep"/"repz"/"repe"/"repnz"/"repne" in front; registers;
// "byte/word/dword/qword/single/double/tbyte/far ptr" (ptr optional); segment
// overrides "fs:[...]"; memory "[base+index*scale+disp]" with the factor on
// either side and 16-bit forms "[bx+si+disp]"; st, st(i); cr/dr/tr registers;
// far pointers "sel:offset"; numbers in hexadecimal ("1F", "0x1F", "1Fh"),
// negative with '-'. Case and blanks are free. What the listing appends to an
// operand (from "->" or "=>" on: import names, pointer chains, string
// previews, labels) is ignored up to the ',' in front of the next operand, and
// so are the listing's embedded marks and the coloured notes they enclose.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr uint8_t kNoSize = 0xFF;  // memory operand written without a size keyword
constexpr uint8_t kFarSize = 9;    // "far ptr", as the decoder's size codes number it
constexpr int kAsmMaxOperands = 3;
constexpr size_t kAsmMnemonicCap = 12;  // longest mnemonic ("cmovnbe", "fincstp") + room

enum class TOperandType : uint8_t {
  Reg,         // general register: size (0 byte, 1 word, 2 dword) and number
  SegReg,      // es cs ss ds fs gs
  ControlReg,  // cr0..cr7
  DebugReg,    // dr0..dr7
  TestReg,     // tr0..tr7
  St,          // st (bare) or st(i)
  Mem,
  Number,  // immediate or branch target
  Far,     // selector:offset
};

// A number as typed. `plain` numbers are bare hexadecimal digits (with an
// optional '-'), the way the listing prints them; only those can name a form
// by their width.
struct TAsmNumber {
  int64_t value;       // -0xFFFFFFFF .. 0xFFFFFFFF
  const char* digits;  // the digits as typed (after any '-'), not terminated
  uint8_t digitCount;
  bool negative;
  bool plain;
};

struct TAsmMemory {
  uint8_t size;        // decoder size code (0 byte .. 6 tbyte, 9 far) or kNoSize
  int8_t segment;      // override 0..5 (es cs ss ds fs gs) or -1
  uint8_t addressing;  // 0 no register (direct address), 16 or 32
  int8_t base;         // 32-bit: register number; 16-bit: form 0..7 ("bx+si".."bx"); -1 none
  int8_t index;        // 32-bit only: register number or -1
  uint8_t scale;       // exponent 0..3
  int64_t disp;        // sum of the numbers
  bool hasNumber;      // a number was written (a direct address needs one)
  bool plainDigits;    // the only number is plain: its width may choose the address size
  uint8_t digitCount;
};

struct TAsmOperand {
  TOperandType type;
  uint8_t size;    // Reg: 0 byte, 1 word, 2 dword
  uint8_t reg;     // register / segment / st number
  bool bareSt;     // "st" rather than "st(0)"
  bool isShort;    // "short" in front of a branch target
  TAsmNumber num;  // Number, and the offset of Far
  TAsmNumber sel;  // Far: selector
  TAsmMemory mem;
};

constexpr size_t kAsmTextCap = 400;  // a listing line's text; annotation beyond it is dropped

struct TAsmLine {
  char text[kAsmTextCap];          // the text, lower case, marks and annotation removed
  uint8_t locks;                   // count of "lock" prefixes
  uint8_t rep;                     // 0, 0xF2 or 0xF3
  bool lockFirst;                  // "lock" came before the rep prefix (they print in byte order)
  char mnemonic[kAsmMnemonicCap];  // lower case
  int operandCount;
  TAsmOperand ops[kAsmMaxOperands];
};

// Why a text was not accepted: a fixed message and, where it helps, the piece
// of the line's text it is about (quoted behind the message).
struct TAsmError {
  const char* message = nullptr;
  const char* piece = nullptr;
  size_t pieceLength = 0;
};

// Parses text into line. False with a reason when the text is not an
// instruction line. Reads up to the terminating zero; error pieces point into
// line.text.
bool parseAsmLine(const char* text, TAsmLine& line, TAsmError& error);
