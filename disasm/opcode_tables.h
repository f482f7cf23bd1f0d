// Static opcode tables of the x86 decoder (80386 .. Pentium II integer, system
// and x87 instructions). The decoder is driven entirely by these records: each
// names the mnemonic, whether a ModRM byte follows, how the operand size is
// chosen and which operands follow, as one-byte kind codes.
#pragma once
#include <array>
#include <cstdint>

// One operand of an instruction: what it consumes and how it is printed.
// Kinds 31..34 and above 35 are reserved and print nothing.
enum OperandKind : uint8_t {
  RegMem = 1,          // ModRM operand of the operand size
  RegMemTarget = 2,    // ModRM operand of an indirect call/jump (far with SizeFar)
  RegMem16 = 3,        // ModRM operand, always word
  RegMem8 = 4,         // ModRM operand, always byte
  RegField = 5,        // register of ModRM.reg, operand size
  RegField16 = 6,      // word register of ModRM.reg
  RegInOpcode = 7,     // register in the low three opcode bits
  SegRegField = 8,     // segment register of ModRM.reg
  SegRegInOpcode = 9,  // segment register in opcode bits 3..5
  Accumulator = 10,    // al/ax/eax
  XlatSource = 11,     // [bx]/[ebx] with the segment override
  RegCL = 12,
  RegDX = 13,
  StringSource = 14,  // [si]/[esi] with the segment override
  StringDest = 15,    // es:[di]/es:[edi]
  ControlReg = 16,
  DebugReg = 17,
  TestReg = 18,
  ImmAddress = 19,  // unsigned immediate of the operand size, may be an address
  ImmValue = 20,    // signed immediate of the operand size
  Imm8 = 21,
  Imm8Signed = 22,
  Imm16 = 23,
  Imm32 = 24,
  MemOffset = 25,  // direct address of the address size (mov al/eax, moffs)
  Rel8 = 26,       // 8-bit jump displacement
  RelJump = 27,    // 16/32-bit jump displacement by operand size
  One = 28,
  Three = 29,
  FarPointer = 30,  // selector:offset of a direct far call/jump
  RelCall = 35,     // 16/32-bit call displacement by operand size
};

// How an opcode chooses its operand size.
enum SizeKind : int8_t {
  SizeByte = 0,      // byte operation
  SizeWord = 1,      // word operation
  SizeOperand = 2,   // operand size of the prefixes/code
  SizeTwoNames = 7,  // mnemonic for word operand size, `extra` for the others
  SizeNone = 8,      // no size; no rep prefix allowed
  SizeFar = 9,       // memory operand is a far pointer
};

// How `extra` of an entry is to be read.
enum GroupKind : uint8_t {
  GroupNone = 0,
  GroupNames = 1,       // extra: const char* const[8]; mnemonic by ModRM.reg
  GroupRecordsOps = 2,  // extra: const OpcodeEntry[8]; mnemonic and operands by ModRM.reg
  GroupRecords = 3,     // extra: const OpcodeEntry[8]; mnemonic, operands and size kind
};

struct OpcodeEntry {
  const char* mnemonic;  // "" = undefined encoding
  const void* extra;     // second mnemonic (SizeTwoNames) or group table
  uint32_t operands;     // kinds, first operand in the most significant non-zero byte
  uint8_t needsModRM;
  int8_t sizeKind;
  uint8_t group;
};

// Packs up to three operand kinds, first operand in the top byte.
constexpr uint32_t packOperands(uint8_t a = 0, uint8_t b = 0, uint8_t c = 0) {
  return (uint32_t(a) << 24) | (uint32_t(b) << 16) | (uint32_t(c) << 8);
}

// One x87 record per escape opcode 0xD8..0xDF and ModRM.reg.
enum FpuRegForm : uint16_t {
  FpuNoReg = 0,         // register form undefined
  FpuSt = 0x20,         // "name  st(i)"
  FpuStSt = 0x1F20,     // "name  st(i),st"
  FpuStFirst = 0x201F,  // "name  st,st(i)"
  FpuList = 0x21,       // names[rm], no operand
  FpuListAx = 0x22,     // "names[rm] ax"
};

struct FpuEntry {
  const char* memMnemonic;   // "" = no memory form
  uint8_t memSize;           // MemSize code of the memory operand
  uint16_t regForm;          // FpuRegForm
  const char* regMnemonic;   // FpuSt/FpuStSt/FpuStFirst; "" = use memMnemonic
  const char* const* names;  // FpuList/FpuListAx: eight names by rm, "" = undefined
};

extern const std::array<OpcodeEntry, 256> oneByteMap;
// Two-byte map after 0x0F: sixteen rows by the high nibble; a null row is undefined.
extern const OpcodeEntry* const twoByteRows[16];
// The shared undefined entry for missing two-byte rows.
extern const OpcodeEntry undefinedEntry;
extern const FpuEntry fpuTable[8][8];

inline const OpcodeEntry& twoByteEntry(uint8_t opcode) {
  const OpcodeEntry* row = twoByteRows[opcode >> 4];
  return row ? row[opcode & 15] : undefinedEntry;
}

// Size keywords of memory operands by MemSize code (empty for codes without one).
const char* memSizeKeyword(unsigned code);
