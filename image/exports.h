// The walk over the export directory, shared by the exports list and by the
// naming of the file's own exports when it is opened.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class TImageInfo;

struct TExportEntry {
  uint32_t index;    // into AddressOfFunctions
  uint32_t ordinal;  // index + Base
  uint32_t rva;      // never 0
  std::string name;  // exported name, or "ORD: %.4X" with the ordinal
};

enum class ExportWalkResult {
  Ok,
  DirectoryFailure,  // the directory does not lie in the file
  TableFailure,      // an array or a name runs past the end of the file
};

enum class ExportWalkMode {
  List,      // a name without terminator inside the file fails the walk
  Naming,    // such a name ends the walk, keeping what was produced
  Ordinals,  // names are not read (entries carry no name)
};

// Entries in function-index order.
ExportWalkResult exportWalk(const TImageInfo& image, uint32_t directoryRva, ExportWalkMode mode,
                            std::vector<TExportEntry>& entries);

// The exports dialog's walk: directory from data directory 0 of the parsed image.
ExportWalkResult listExports(const TImageInfo& image, std::vector<TExportEntry>& entries);

struct TOwnExportName {
  uint32_t address;  // function RVA + image base, not checked against the file
  std::string name;
};

// The names a freshly opened file gives its own exports. Runs its own header
// test; any failure simply yields fewer (or no) names.
std::vector<TOwnExportName> ownExportNames(const TImageInfo& image);

// Texts shown when the exports list cannot be built.
struct TExportFailureText {
  const char* title;
  const char* message;
  const char* caption;
};
TExportFailureText exportFailureText(ExportWalkResult result);
