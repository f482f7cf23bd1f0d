// Any bytes as a file: the menu list, every menu rendered as a MENU block,
// the string list and a search through it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> buffer(data, data + size);
  buffer.resize(size + 16, 0);
  const uint32_t n = static_cast<uint32_t>(size);
  const TResourceList menus = listMenus(buffer.data(), n);
  for (size_t i = 0; i < menus.lines.size() && i < 32; ++i) {
    const TRenderedMenu shown = renderMenu(buffer.data(), n, menus.root, menus.lines[i]);
    // One table entry per written line.
    size_t lines = 0;
    for (char c : shown.text) lines += c == '\n';
    if (!shown.lineIds.empty() && lines != shown.lineIds.size()) __builtin_trap();
  }
  const TResourceList strings = listStrings(buffer.data(), n,
                                            [](uint32_t id) { return id % 3 != 1; });
  searchStringLines(strings.lines, -1, "a");
  searchStringLines(strings.lines, int(strings.lines.size()) - 1, "ID");
  return 0;
}
