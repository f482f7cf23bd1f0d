// The assembler: one line of text in the listing's syntax into the bytes of
// one 16- or 32-bit instruction, built on the decoder's own opcode tables.
//
// Choice of encoding, in this order:
//  1. the operand size of the mode, unless a register, a size keyword or the
//     mnemonic (cwde, movsw, ...) asks for the other one; a number alone picks
//     the other size only when it does not fit the mode's size;
//  2. the form whose printed text shows every number exactly as typed (the
//     listing prints "push FF" for 6A FF and "push 000000FF" for 68 FF000000),
//     so that a line copied from the listing assembles to bytes that the
//     listing shows with the same text;
//  3. the shortest encoding; then the first in table order.
// A memory operand without a size keyword whose size no other operand tells
// is refused when the instruction exists in more than one size.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kAsmMaxLength = 15;      // the processor's limit for one instruction
constexpr size_t kAsmReasonCap = 160;  // room for any refusal text

// Assembles text for code at `address` (branch targets are absolute
// addresses; the displacement is taken from the instruction's end). Returns
// the length (1..15) and writes the bytes to out, or returns 0, leaves out
// untouched and, when reason is given, writes why (cut to reasonCap - 1).
// Allocates nothing.
int assembleInstruction(const char* text, uint32_t address, bool code16, uint8_t* out,
                        char* reason = nullptr, size_t reasonCap = 0);
