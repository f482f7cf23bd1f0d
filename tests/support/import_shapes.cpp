#include "support/import_shapes.h"

#include <cstdio>
#include <cstring>

#include "base/le_read.h"
#include "support/pe_builder.h"

namespace {

// A file with a small code section and an import section of `idataSize`
// bytes whose raw data is returned zeroed at `idata` (file offset).
std::vector<uint8_t> withImportSection(uint32_t idataSize, uint32_t directorySize, size_t& idata) {
  TPeBuilder b;
  b.addSection(".text", 0x1000, 0x200, 0x200);
  b.put8(0x1000, 0xC3);  // ret
  const uint32_t raw = (idataSize + 0x1FF) & ~0x1FFu;
  b.addSection(".idata", kShapeIdataRva, raw, raw, 0xC0000040);
  b.setDirectory(1, kShapeIdataRva, directorySize);
  idata = b.sections().back().rawOffset;
  return b.build();
}

// Writes `text` with its terminating zero; returns the bytes taken, even.
uint32_t putText(uint8_t* at, const char* text) {
  const size_t n = std::strlen(text) + 1;
  std::memcpy(at, text, n);
  return uint32_t(n + 1) & ~1u;
}

}  // namespace

std::vector<uint8_t> buildOverlappingDescriptors(uint32_t count) {
  const uint32_t table = 20 * (count + 1);
  size_t idata;
  std::vector<uint8_t> f = withImportSection(table + 12 * count, table, idata);
  uint32_t name = table;
  char text[16];
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t* d = &f[idata + 20 * i];
    const uint32_t self = kShapeIdataRva + 20 * i;
    writeLe32(d, self);            // OriginalFirstThunk: this very descriptor
    writeLe32(d + 4, 0xFFFFFFFF);  // TimeDateStamp and ForwarderChain, not zero
    writeLe32(d + 8, 0xFFFFFFFF);
    writeLe32(d + 12, kShapeIdataRva + name);
    writeLe32(d + 16, self);  // FirstThunk
    std::snprintf(text, sizeof text, "m%05u.dll", i);
    name += putText(&f[idata + name], text);
  }
  // The terminator: only its name is zero, so every list ends there.
  uint8_t* end = &f[idata + 20 * count];
  writeLe32(end, kShapeIdataRva);
  writeLe32(end + 4, 0xFFFFFFFF);
  writeLe32(end + 8, 0xFFFFFFFF);
  writeLe32(end + 16, kShapeIdataRva);
  return f;
}

std::vector<uint8_t> buildManyImports(uint32_t modules, uint32_t perModule) {
  const uint32_t table = 20 * (modules + 1);
  const uint32_t lists = 2 * 4 * (perModule + 1) * modules;  // lookup and address tables
  const uint32_t names = 16 * modules + 18 * perModule * modules;
  size_t idata;
  std::vector<uint8_t> f = withImportSection(table + lists + names, table, idata);
  uint32_t at = table;
  uint32_t number = 0;
  char text[24];
  for (uint32_t m = 0; m < modules; ++m) {
    uint8_t* d = &f[idata + 20 * m];
    std::snprintf(text, sizeof text, "mod%05u.dll", m);
    writeLe32(d + 12, kShapeIdataRva + at);
    at += putText(&f[idata + at], text);
    at = (at + 3) & ~3u;
    const uint32_t lookup = at, address = at + 4 * (perModule + 1);
    writeLe32(d, kShapeIdataRva + lookup);
    writeLe32(d + 16, kShapeIdataRva + address);
    at = address + 4 * (perModule + 1);
    for (uint32_t k = 0; k < perModule; ++k) {
      writeLe32(&f[idata + lookup + 4 * k], kShapeIdataRva + at);
      writeLe32(&f[idata + address + 4 * k], kShapeIdataRva + at);
      std::snprintf(text, sizeof text, "F%07u", number++);
      at += 2 + putText(&f[idata + at + 2], text);  // behind the 16-bit hint
    }
  }
  return f;
}
