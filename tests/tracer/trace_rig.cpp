#include "trace_rig.h"

TProgramImage buildProgramImage(uint32_t tlsCallbacks) {
  TPeBuilder b;
  b.entryRva = 0x1000;
  b.addSection(".text", 0x1000, 0x200, 0x200);
  b.addSection(".data", 0x2000, 0x200, 0x200, 0xC0000040);
  b.addSection(".idata", 0x3000, 0x200, 0x200, 0xC0000040);
  // Import directory: kernel32.dll and user32.dll, thunks by name.
  const uint32_t dir = 0x3000;
  b.setDirectory(1, dir, 60);
  struct Module {
    const char* name;
    std::vector<const char*> functions;
  };
  const Module modules[] = {{"kernel32.dll",
                             {"LoadLibraryA", "GetModuleHandleA", "GetProcAddress", "ExitProcess"}},
                            {"USER32.dll", {"MessageBoxA"}}};
  uint32_t at = 0x3040;
  TProgramImage out;
  for (int d = 0; d < 2; ++d) {
    const Module& m = modules[d];
    b.putString(at, m.name);
    b.put32(dir + 20 * d + 12, at);
    at += 0x10;
    std::vector<uint32_t> hints;
    for (const char* f : m.functions) {
      b.put16(at, 0);
      b.putString(at + 2, f);
      hints.push_back(at);
      at += 0x14;
    }
    const uint32_t original = at;
    at += 4 * uint32_t(hints.size() + 1);
    const uint32_t first = at;
    at += 4 * uint32_t(hints.size() + 1);
    for (size_t i = 0; i < hints.size(); ++i) {
      b.put32(original + 4 * uint32_t(i), hints[i]);
      b.put32(first + 4 * uint32_t(i), hints[i]);
      out.slots.push_back(0x400000 + first + 4 * uint32_t(i));
    }
    b.put32(dir + 20 * d, original);
    b.put32(dir + 20 * d + 16, first);
  }
  if (tlsCallbacks) {
    // TLS directory in .data at 0x2100, callback array at 0x2120; the
    // callbacks are at 0x401100, 0x401120, ...
    b.setDirectory(9, 0x2100, 24);
    b.put32(0x2100 + 12, 0x402120);
    for (uint32_t k = 0; k < tlsCallbacks; ++k) b.put32(0x2120 + 4 * k, 0x401100 + 0x20 * k);
  }
  out.bytes = b.build();
  return out;
}
