#include "image/import_list.h"

#include <algorithm>
#include <strings.h>

#include "base/le_read.h"
#include "base/text_format.h"
#include "image/image_info.h"

namespace {

constexpr size_t kMaxListedName = 259;

std::string textAt(const TImageInfo& image, uint32_t offset) {
  char text[kMaxListedName + 1];
  copyBoundedText(image.buffer(), image.fileSize(), offset, text, sizeof text, kMaxListedName);
  return text;
}

// List controls sort without regard to case.
bool lessNoCase(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) < 0;
}

bool startsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && strncasecmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

}  // namespace

bool TImportListModel::build(const TImageInfo& image, bool keepOriginal) {
  keepOriginal_ = keepOriginal;
  modules_.clear();
  uint32_t rva, dirSize;
  const uint32_t off = image.dataDirectory(1, rva, dirSize) ? image.rvaToFileOffset(rva, true)
                                                            : NOT_IN_FILE;
  if (off == NOT_IN_FILE) return false;
  const uint8_t* buf = image.buffer();
  const uint32_t size = image.fileSize();
  for (uint64_t d = off; d + 20 <= size; d += 20) {
    const uint32_t nameRva = readLe32(buf + d + 12);
    if (nameRva == 0) break;
    const uint32_t nameOff = image.rvaToFileOffset(nameRva, true);
    if (nameOff == NOT_IN_FILE) continue;
    std::string name = textAt(image, nameOff);
    const uint32_t desc = static_cast<uint32_t>(d);
    if (!keepOriginal) {
      // The list box's own search: the first listed entry, in sorted order,
      // that begins with this name.
      auto hit = std::find_if(modules_.begin(), modules_.end(), [&](const TImportListModule& m) {
        return startsWithNoCase(m.name, name);
      });
      if (hit != modules_.end()) {
        hit->chainedDescriptors.push_back(desc);
        continue;
      }
      TImportListModule m{name, desc, nameOff, {desc}};
      auto at = std::upper_bound(modules_.begin(), modules_.end(), m,
                                 [](const TImportListModule& a, const TImportListModule& b) {
                                   return lessNoCase(a.name, b.name);
                                 });
      modules_.insert(at, std::move(m));
    } else {
      modules_.push_back(TImportListModule{std::move(name), desc, nameOff, {desc}});
    }
  }
  return true;
}

std::vector<TImportListFunction> TImportListModel::functions(const TImageInfo& image,
                                                             size_t index) const {
  std::vector<TImportListFunction> out;
  if (index >= modules_.size()) return out;
  const uint8_t* buf = image.buffer();
  const uint32_t size = image.fileSize();
  for (uint32_t desc : modules_[index].chainedDescriptors) {
    const uint32_t original = readLe32(buf + desc);
    const bool nameList = original != 0;
    const uint32_t t = image.rvaToFileOffset(nameList ? original : readLe32(buf + desc + 16), true);
    if (t == NOT_IN_FILE) {
      out.push_back({nameList ? "<Funcnamelist address error>" : "<Funcaddrlist address error>", 0});
      break;
    }
    for (uint64_t a = t; a + 4 <= size; a += 4) {
      const uint32_t v = readLe32(buf + a);
      if (v == 0) break;
      if ((v >> 24) == 0x80) {
        out.push_back({wsString("OZ: %.4X", v & 0xFFFFu), v & ~0x7FFF0000u});
        continue;
      }
      const uint32_t h = image.rvaToFileOffset(v, true);
      if (h == NOT_IN_FILE)
        out.push_back({"<Address error!>", 0});
      else
        out.push_back({textAt(image, h + 2), h + 2});
    }
  }
  if (!keepOriginal_)
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
      return lessNoCase(a.text, b.text);
    });
  return out;
}
