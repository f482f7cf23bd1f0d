// Any bytes as a file: the whole reference scan on the calling thread, with
// the indexed value search and the plain sweep, which must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "analysis/scanner.h"
#include "base/host.h"
#include "image/image_info.h"

namespace {

bool sameStores(const TReferenceStores& a, const TReferenceStores& b) {
  if (a.jumpCalls.count() != b.jumpCalls.count() || a.imports.count() != b.imports.count() ||
      a.strings.count() != b.strings.count() || a.menus.count() != b.menus.count())
    return false;
  for (uint32_t i = 0; i < a.jumpCalls.count(); ++i)
    if (a.jumpCalls[i].target != b.jumpCalls[i].target ||
        a.jumpCalls[i].source != b.jumpCalls[i].source)
      return false;
  for (uint32_t i = 0; i < a.imports.count(); ++i) {
    const auto &x = a.imports[i].refs, &y = b.imports[i].refs;
    if (a.imports[i].iatAddress != b.imports[i].iatAddress || x.count() != y.count()) return false;
    for (uint32_t k = 0; k < x.count(); ++k)
      if (x[k].value != y[k].value) return false;
  }
  auto ids = [](const auto& s, const auto& t) {
    for (uint32_t i = 0; i < s.count(); ++i) {
      if (s[i].id != t[i].id || s[i].refs.count() != t[i].refs.count()) return false;
      for (uint32_t k = 0; k < s[i].refs.count(); ++k)
        if (s[i].refs[k].value != t[i].refs[k].value || s[i].refs[k].type != t[i].refs[k].type)
          return false;
    }
    return true;
  };
  return ids(a.strings, b.strings) && ids(a.menus, b.menus);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The sweep tests every byte once per import: keep inputs small.
  if (size > 0x10000) return 0;
  std::vector<uint8_t> buffer(data, data + size);
  buffer.resize(size + 16, 0);
  TImageInfo image;
  image.parseImage(buffer.data(), uint32_t(size), "fuzz.exe");
  SilentHost host;
  TScanOptions options;
  options.yield = false;
  options.extreme = size & 1;
  TReferenceStores indexed, sweep;
  scanReferencesNow(buffer.data(), uint32_t(size), image, indexed, host, options);
  options.indexed = false;
  scanReferencesNow(buffer.data(), uint32_t(size), image, sweep, host, options);
  if (!sameStores(indexed, sweep)) std::abort();
  return 0;
}
