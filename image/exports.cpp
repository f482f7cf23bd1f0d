#include "image/exports.h"

#include <cstring>

#include "base/le_read.h"
#include "base/text_format.h"
#include "image/image_info.h"
#include "image/pe_layout.h"

ExportWalkResult exportWalk(const TImageInfo& image, uint32_t directoryRva, ExportWalkMode mode,
                            std::vector<TExportEntry>& entries) {
  entries.clear();
  const uint8_t* buf = image.buffer();
  const uint32_t size = image.fileSize();
  // RVA 0 is how a file says it has no export directory; taken as an address
  // it would read the DOS header as one.
  const uint32_t d = directoryRva == 0 ? NOT_IN_FILE : image.rvaToFileOffset(directoryRva, true);
  if (d == NOT_IN_FILE || uint64_t(d) + pe_export::kDirectorySize >= size)
    return ExportWalkResult::DirectoryFailure;

  const uint32_t base = readLe32(buf + d + pe_export::kOrdinalBase);
  const uint32_t nf = readLe32(buf + d + pe_export::kNumberOfFunctions);
  const uint32_t nn = readLe32(buf + d + pe_export::kNumberOfNames);
  const uint32_t f = image.rvaToFileOffset(readLe32(buf + d + pe_export::kAddressOfFunctions),
                                           true);
  const uint32_t n = image.rvaToFileOffset(readLe32(buf + d + pe_export::kAddressOfNames), true);
  const uint32_t o = image.rvaToFileOffset(readLe32(buf + d + pe_export::kAddressOfNameOrdinals),
                                           true);
  if (f == NOT_IN_FILE || n == NOT_IN_FILE || o == NOT_IN_FILE || uint64_t(f) + 4ull * nf >= size ||
      uint64_t(n) + 4ull * nn >= size || uint64_t(o) + 2ull * nn >= size)
    return ExportWalkResult::TableFailure;

  // First name slot j naming function i; same answer as searching the
  // ordinal array from the start for every function.
  std::vector<int32_t> firstName(mode == ExportWalkMode::Ordinals ? 0 : nf, -1);
  for (uint32_t j = 0; j < nn && mode != ExportWalkMode::Ordinals; ++j) {
    uint16_t idx = readLe16(buf + o + 2ull * j);
    if (idx < nf && firstName[idx] < 0) firstName[idx] = static_cast<int32_t>(j);
  }

  for (uint32_t i = 0; i < nf; ++i) {
    const uint32_t rva = readLe32(buf + f + 4ull * i);
    if (rva == 0) continue;
    std::string name;
    if (mode == ExportWalkMode::Ordinals) {
      // only the ordinal and the address are wanted
    } else if (firstName[i] >= 0) {
      const uint32_t nameRva = readLe32(buf + n + 4ull * uint64_t(firstName[i]));
      const uint32_t at = image.rvaToFileOffset(nameRva, true);
      // A name address outside the file is as broken as a name running off its end.
      const void* zero = at == NOT_IN_FILE ? nullptr : std::memchr(buf + at, 0, size - at);
      if (!zero)
        return mode == ExportWalkMode::List ? ExportWalkResult::TableFailure : ExportWalkResult::Ok;
      name.assign(reinterpret_cast<const char*>(buf + at),
                  static_cast<const uint8_t*>(zero) - (buf + at));
    } else {
      name = wsString("ORD: %.4X", i + base);
    }
    entries.push_back(TExportEntry{i, i + base, rva, std::move(name)});
  }
  return ExportWalkResult::Ok;
}

ExportWalkResult listExports(const TImageInfo& image, std::vector<TExportEntry>& entries) {
  uint32_t rva, size;
  if (!image.dataDirectory(pe_header::kExportDirectory, rva, size)) {
    entries.clear();
    return ExportWalkResult::DirectoryFailure;
  }
  return exportWalk(image, rva, ExportWalkMode::List, entries);
}

std::vector<TOwnExportName> ownExportNames(const TImageInfo& image) {
  std::vector<TOwnExportName> names;
  const uint8_t* buf = image.buffer();
  const uint32_t size = image.fileSize();
  if (size <= mz_header::kSize || readLe16(buf) != mz_header::kSignature) return names;
  const uint32_t p = readLe32(buf + mz_header::kPeHeaderOffset);
  if (p == 0 || uint64_t(size) <= uint64_t(p) + 124 || readLe16(buf + p) != pe_header::kSignature)
    return names;
  std::vector<TExportEntry> entries;
  exportWalk(image, readLe32(buf + p + pe_header::dataDirectory(pe_header::kExportDirectory)),
             ExportWalkMode::Naming, entries);
  names.reserve(entries.size());
  for (auto& e : entries)
    names.push_back(TOwnExportName{e.rva + image.imageBase(), std::move(e.name)});
  return names;
}

TExportFailureText exportFailureText(ExportWalkResult result) {
  if (result == ExportWalkResult::DirectoryFailure)
    return {"Wrong directory entry!", "This programm doesn't export any functions!",
            "Unable to show exported functions!"};
  return {"Wrong export table!",
          "The export table goes beyond the end of file!\nIf the file still works and exports "
          "something, please contact us, so we adjust OXU to show these exports!",
          "Unable to show exported functions!"};
}
