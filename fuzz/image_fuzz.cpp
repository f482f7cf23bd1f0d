// Any bytes as a file: parse, convert, walk every directory and look things up.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/exports.h"
#include "image/file_save.h"
#include "image/image_info.h"
#include "image/import_list.h"
#include "image/raw_convert.h"
#include "image/tls_menu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> buffer(data, data + size);
  buffer.resize(size + 16, 0);
  const uint8_t* buf = buffer.data();
  const uint32_t n = static_cast<uint32_t>(size);

  TImageInfo im;
  im.parseImage(buf, n, "fuzz.exe");

  // Probe values: a spread over the file plus section and header edges.
  std::vector<uint32_t> probes = {0, 1, n / 2, n ? n - 1 : 0, n, n + 16, 0x1000, 0xFFFFFFFFu,
                                  0x7FFFFFFFu, im.imageBase(), im.entryOffset()};
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
        im.sectionByFileOffset(v) != walk([&](const SectionInfo& s) { return s.containsFileOffset(v); }))
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

  // The section-enlarged copy, written nowhere: it must never read past the
  // file, and a layout it accepts grows by whole alignment units only.
  bool writeFailed = false;
  uint64_t written = 0;
  const TEnlargeResult enlarged = writeSectionEnlarged(
      buf, n, im, [&](const uint8_t*, uint64_t len) { written += len; return written < (1ull << 32); },
      writeFailed);
  if (enlarged.problem == EnlargeProblem::None && !writeFailed && written < n) __builtin_trap();

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
