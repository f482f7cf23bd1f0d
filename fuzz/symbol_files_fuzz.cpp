// Any bytes as a map file and as a definition file, loaded against a fixed
// target; and every line rule on the raw bytes.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "analysis/comment_container.h"
#include "analysis/symbol_files.h"
#include "analysis/symbol_loader.h"
#include "base/host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  isMapListHeader(text);
  parseMapSymbolLine(text);
  isDefExportsLine(text);
  parseDefExportLine(text);

  static const std::string path = "/tmp/oxu-symbol-fuzz-" + std::to_string(getpid());
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  TSymbolTarget target;
  target.isPE = true;
  target.imageBase = 0x400000;
  target.mzHeaderSize = 0x200;
  target.sectionRvas = {0x1000, 0x2000, 0x3000};
  target.exports = ExportWalkResult::Ok;
  target.ownExports = {{1, 0x1000}, {2, 0x1010}, {3, 0x1020}, {7, 0x2000}};

  SilentHost host;
  const std::atomic<bool> stop{false};
  TCommentContainer names;
  names.add(0x401000, "existing", REPLACE_ALWAYS);
  loadSymbolFile(SymbolFileKind::Map, path, target, names, host, stop);
  loadSymbolFile(SymbolFileKind::Def, path, target, names, host, stop);
  return 0;
}
