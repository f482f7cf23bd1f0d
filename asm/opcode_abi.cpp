// libopcode.so: the C entry points over the assembler.
#include "asm/opcode_abi.h"

#include <cstdio>

#include "asm/assembler.h"

#define OPCODE_EXPORT __attribute__((visibility("default")))

extern "C" OPCODE_EXPORT int opcode(uint8_t* out, const char* text, uint32_t address) {
  return out ? assembleInstruction(text, address, false, out) : 0;
}

extern "C" OPCODE_EXPORT int opcode16(uint8_t* out, const char* text, uint32_t address) {
  return out ? assembleInstruction(text, address, true, out) : 0;
}

extern "C" OPCODE_EXPORT int opcode_explain(uint8_t* out, const char* text, uint32_t address,
                                            int bits, char* reason, uint32_t reasonCap) {
  if (reason && reasonCap) reason[0] = 0;
  if (!out || (bits != 16 && bits != 32)) {
    if (reason && reasonCap)
      std::snprintf(reason, reasonCap, "%s", out ? "bits must be 16 or 32" : "no output buffer");
    return 0;
  }
  return assembleInstruction(text, address, bits == 16, out, reason, reasonCap);
}
