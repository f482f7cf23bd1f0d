// Stand-ins for libopcode.so in the bridge tests. With STUB_HAS_OPCODE: only
// `opcode`, which writes 0x90 and the address it was given (and refuses the
// text "refuse"); without it: a library with no entry the bridge knows.
#include <cstdint>
#include <cstring>

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

#ifdef STUB_HAS_OPCODE
STUB_EXPORT int opcode(uint8_t* out, const char* text, uint32_t address) {
  if (!std::strcmp(text, "refuse")) return 0;
  out[0] = 0x90;
  std::memcpy(out + 1, &address, 4);
  return 5;
}
#else
STUB_EXPORT int assemble(uint8_t*, const char*, uint32_t) { return 0; }
#endif
