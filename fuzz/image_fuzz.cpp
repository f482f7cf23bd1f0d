// Any bytes as a file: parse, convert, walk every directory and look things up.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/exports.h"
#include "image/image_info.h"
#include "image/import_list.h"
#include "image/raw_convert.h"
#include "image/section_enlarge.h"
#include "image/tls_menu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> buffer(data, data + size);
  buffer.resize(size + 16, 0);
  const uint8_t* buf = buffer.data();
  const uint32_t n = static_cast<uint32_t>(size);

  TImageInfo im;
  im.parseImage(buf, n, "fuzz.exe");

  // Probe values: a spread over the file plus section and header edges.
  std::vector<uint32_t> probes = {
      0,           1,           n / 2,          n ? n - 1 : 0,   n, n + 16, 0x1000,
      0xFFFFFFFFu, 0x7FFFFFFFu, im.imageBase(), im.entryOffset()};
  for (const auto& s : im.sections()) {
    for (uint32_t v : {s.rva, s.rva + s.virtualSize, s.rva + s.rawSize, s.rawOffset,
                       s.rawOffset + s.rawSize, s.rva - 1, s.rawOffset - 1})
      probes.push_back(v);
  }
  // The section tables read once must convert exactly as the walks do.
  const TRawSectionTable raw(buf, n);
  auto walk = [&](auto holds) -> const SectionInfo* {
    for (const auto& s : im.sections())
      if (holds(s)) return &s;
    return nullptr;
  };
  uint32_t secRva, secSize;
  for (uint32_t v : probes) {
    uint32_t walked[2] = {7, 7}, indexed[2] = {7, 7};
    if (raw.rvaToFileOffset(v, &indexed[0], &indexed[1]) !=
            rawRvaToFileOffset(v, buf, n, &walked[0], &walked[1]) ||
        raw.fileOffsetToMemory(v, &indexed[0], &indexed[1]) !=
            rawFileOffsetToMemory(v, buf, n, &walked[0], &walked[1]) ||
        walked[0] != indexed[0] || walked[1] != indexed[1] ||
        im.sectionByRva(v) != walk([&](const SectionInfo& s) { return s.containsRva(v); }) ||
        im.sectionByFileOffset(v) !=
            walk([&](const SectionInfo& s) { return s.containsFileOffset(v); }))
      __builtin_trap();
    im.rvaToFileOffset(v, true);
    im.rvaToFileOffset(v, false);
    im.fileOffsetToRva(v);
    im.fileOffsetToMemory(v);
    im.memoryToFileOffset(v);
    im.relocationStateAt(v);
    im.relocationEntryOffsetAt(v);
    im.findTlsCallback(v);
    rawRvaToFileOffset(v, buf, n, &secRva, &secSize);
    rawFileOffsetToMemory(v, buf, n, &secRva, &secSize);
    char m[80], f[80];
    im.lookupImportSlot(v, m, sizeof m, f, sizeof f);
    im.lookupImportSlot(v + im.imageBase(), m, sizeof m, f, sizeof f);
  }

  std::vector<TExportEntry> entries;
  listExports(im, entries);
  ownExportNames(im);
  buildTlsMenu(im);

  TImportListModel model;
  for (bool keep : {true, false}) {
    if (!model.build(im, keep)) break;
    for (size_t i = 0; i < model.modules().size() && i < 64; ++i) model.functions(im, i);
  }

  // The section-enlarged copy, written nowhere, from a copy of exactly the
  // file's bytes (so reading the zero tail would be caught). It never grows
  // beyond its plan nor to a size the model cannot open again; the writing
  // of very large plans stops early.
  const std::vector<uint8_t> exact(data, data + size);
  const TEnlargeLayout layout = planSectionEnlarged(exact.data(), n, im);
  if (layout.problem == EnlargeProblem::None) {
    // Every file byte has its place in the copy: it never shrinks.
    if (layout.outputSize > kLargestFileSize || layout.outputSize < n) __builtin_trap();
    constexpr uint64_t kWriteAtMost = 1 << 24;
    uint64_t written = 0;
    const bool complete =
        writeSectionEnlarged(exact.data(), layout, [&](const uint8_t* p, uint64_t len) {
          if (len) {  // both ends of every piece must be readable
            volatile uint8_t ends = p[0] ^ p[len - 1];
            (void)ends;
          }
          written += len;
          return written <= kWriteAtMost;
        });
    if (written > layout.outputSize || (complete && written != layout.outputSize)) __builtin_trap();
  }

  // The tracer's entries survive a second parse of the same bytes.
  for (const auto& f : im.imports().functions()) {
    char m[8], name[8];
    im.lookupImportKey(f.importKey, m, sizeof m, name, sizeof name);
  }
  const uint32_t id = im.findOrAddModule("kernel32.dll", 1);
  im.findOrAddFunction(id, "GetProcAddress");
  im.parseImage(buf, n, "fuzz.exe");
  if (im.findOrAddFunction(id, "GetProcAddress") == 0) __builtin_trap();
  return 0;
}
