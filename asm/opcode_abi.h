// The entry points of the assembler library libopcode.so, which the programs
// load with dlopen for each use. Plain C so that any assembler built as such a
// library can stand in for ours; only opcode is required.
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Assembles text (zero-terminated) as 32-bit code lying at address; writes
// the bytes to out (room for 64, at most 15 are written) and returns their
// count, or 0 when the text is not accepted (out is then left as it was).
int opcode(uint8_t* out, const char* text, uint32_t address);

// The same for 16-bit code.
int opcode16(uint8_t* out, const char* text, uint32_t address);

// The same as opcode (bits 32) or opcode16 (bits 16); when it returns 0 it
// writes why into reason (at most reasonCap - 1 characters and a zero).
int opcode_explain(uint8_t* out, const char* text, uint32_t address, int bits, char* reason,
                   uint32_t reasonCap);

#ifdef __cplusplus
}
#endif

// The entries' names and types as the loader looks them up.
typedef int (*TOpcodeEntry)(uint8_t* out, const char* text, uint32_t address);
typedef int (*TOpcodeExplainEntry)(uint8_t* out, const char* text, uint32_t address, int bits,
                                   char* reason, uint32_t reasonCap);
#define OPCODE_LIBRARY_NAME "libopcode.so"
