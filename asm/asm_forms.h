// The decoder's opcode tables turned around: one form per way of writing an
// instruction (opcode, group slot, x87 record, register form), reachable by
// its mnemonic. Built once from the same tables the decoder reads, so that the
// assembler knows exactly the instructions the listing can show.
#pragma once
#include <cstddef>
#include <cstdint>

// Operand kinds of x87 forms and of the string instructions written without
// operands, beside the decoder's OperandKind codes.
enum TAsmExtraKind : uint8_t {
  KindFpuMemory = 100,  // memory operand of the record's size
  KindStI = 101,        // st(i) in ModRM.rm
  KindSt = 102,         // st (st(0)), implied
  KindAx = 103,         // ax of "fnstsw ax"
};

enum TAsmFormFlag : uint8_t {
  FormTwoByte = 1,       // 0x0F in front of the opcode
  FormFixedModRM = 2,    // the byte after the opcode is `modrm` as it stands
  FormStringLetter = 4,  // string instruction: the mnemonic carries b/w/d, operands may be left out
  FormAccumulatorOptional = 8,  // mul/imul/div/idiv: the accumulator may be left out
  FormFpu = 16,                 // x87 escape 0xD8..0xDF
  FormWrittenAccumulatorLast =
      32,  // with the accumulator written, other forms of the same text go first
};

struct TAsmForm {
  const char* mnemonic;  // as written: with the string letter, or the name of the operand size
  uint32_t operands;     // kinds, first operand in the most significant non-zero byte
  uint8_t opcode;        // the byte (after 0x0F when FormTwoByte); x87: the escape byte
  int8_t reg;            // ModRM.reg of a group or x87 record, -1 when the operands set it
  int8_t sizeKind;       // SizeKind of the decoder's entry
  uint8_t sizeByName;    // operand size fixed by the mnemonic (1 word, 2 dword), 0 none
  uint8_t memSize;       // x87 memory forms: the decoder's size code
  uint8_t modrm;         // FormFixedModRM: the whole byte
  uint8_t flags;         // TAsmFormFlag
  bool needsModRM;
};

// The forms whose mnemonic is `mnemonic` (lower case), in table order:
// one-byte map, two-byte map, x87 tables. count is 0 for an unknown mnemonic.
const TAsmForm* findAsmForms(const char* mnemonic, size_t& count);

// Every form, sorted by mnemonic (for tests that walk the whole set).
const TAsmForm* allAsmForms(size_t& count);
