// x86 instruction decoder: one 16- or 32-bit instruction from the file buffer
// into its length and, on request, its assembler text with reference marks.
//
// A reference mark (disasm/marks.h) stands in front of every address the text
// prints: REF_ADDRESS for direct memory, displacements, 32-bit immediates and
// fixed register values, REF_CALL and REF_JUMP for relative targets,
// REF_FAR_CALL and REF_FAR_JUMP for direct far pointers, REF_ADDRESS16 for
// 16-bit addresses.
#pragma once
#include <cstddef>
#include <cstdint>

class TAnnotator;

enum DecodeMode : uint32_t {
  DecodeLength = 0,   // advance the cursor only; the output is not touched
  DecodeListing = 1,  // text with marks, fixed registers and annotations
  DecodePlain = 2,    // text with marks and fixed registers, no annotations
};

// The registers of the tracer whose values are known. Bit r of mask[0], [1],
// [2] marks byte register r (al..bh), word register r (ax..di), dword register
// r (eax..edi). value[] holds eax, ecx, edx, ebx, esp, ebp, esi, edi: byte
// register r < 4 is the low byte of value[r], r >= 4 the second byte of
// value[r - 4]; word register r is the low word of value[r].
struct TFixedRegView {
  uint8_t mask[3];
  uint32_t value[8];
};

// Decodes the instruction at cursor and advances cursor past it (at least 1
// byte). Bytes are read without bounds checks: callers guarantee 16 readable
// bytes behind the cursor. Nothing is allocated.
//
//   mode      see DecodeMode.
//   base      first byte of the file buffer (file offset = cursor - base).
//   bias      file offset minus shown address of this instruction; branch
//             targets are shown addresses.
//   out, cap  zero-terminated text; the instruction is appended behind what it
//             holds, cut silently to cap - 1 characters. Unused in DecodeLength
//             (may be null); with a null out or cap 0 nothing is written.
//   code16    16-bit code: 16-bit address and operand size, 4-digit targets.
//   fixed     known register values replacing register names, or null.
//   annotator annotation behind addresses in DecodeListing, or null.
//
// An encoding outside the tables is one byte long and reads "db    XX".
void decodeInstruction(const uint8_t*& cursor, DecodeMode mode, const uint8_t* base, uint32_t bias,
                       char* out, size_t cap, bool code16, const TFixedRegView* fixed,
                       const TAnnotator* annotator);

// What the reference scanner reads from a jump or a call, without the text:
// decoded as DecodeLength (the same length), and with what the text would
// show. mnemonic is the table's mnemonic ("" for an undefined encoding): the
// text begins with it unless lock or rep texts stand first, and a string
// instruction's text adds its size letter. value is the number the
// text prints behind a branch operand's reference mark: the target of a
// relative jump or call (REF_CALL, REF_JUMP, as a shown address), or the
// selector of a direct far pointer (REF_FAR_CALL, REF_FAR_JUMP).
struct TBranchOperand {
  const char* mnemonic = "";
  bool present = false;  // the instruction has such an operand
  uint32_t value = 0;
};
void decodeBranchOperand(const uint8_t*& cursor, const uint8_t* base, uint32_t bias, bool code16,
                         TBranchOperand& branch);
