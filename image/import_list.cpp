#include "image/import_list.h"

#include <strings.h>
#include <algorithm>
#include <map>

#include "base/le_read.h"
#include "base/text_format.h"
#include "image/image_info.h"
#include "image/pe_layout.h"
#include "image/thunk_allowance.h"

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
  return text.size() >= prefix.size() &&
         strncasecmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

struct LessNoCase {
  bool operator()(const std::string& a, const std::string& b) const { return lessNoCase(a, b); }
};

// The thunk list at file offset t as functions() walks it (to the first zero
// or the end of the file): how many entries the allowance lets it list.
uint32_t listedThunks(const uint8_t* buf, uint32_t size, uint32_t t, TThunkAllowance& allowance) {
  uint32_t n = 0;
  for (uint64_t a = t; a + 4 <= size; a += 4, ++n)
    if (readLe32(buf + a) == 0 || !allowance.take()) break;
  return n;
}

}  // namespace

bool TImportListModel::build(const TImageInfo& image, bool keepOriginal) {
  keepOriginal_ = keepOriginal;
  modules_.clear();
  uint32_t rva, dirSize;
  const uint32_t off = image.dataDirectory(pe_header::kImportDirectory, rva, dirSize)
                           ? image.rvaToFileOffset(rva, true)
                           : NOT_IN_FILE;
  if (off == NOT_IN_FILE) return false;
  const uint8_t* buf = image.buffer();
  const uint32_t size = image.fileSize();
  TThunkAllowance allowance(size);
  // Entries by name, in the order of the sorted list box (names that differ
  // only in case are one entry).
  std::map<std::string, size_t, LessNoCase> sorted;
  for (uint64_t d = off; d + pe_import::kDescriptorSize <= size; d += pe_import::kDescriptorSize) {
    const uint32_t nameRva = readLe32(buf + d + pe_import::kName);
    if (nameRva == 0) break;
    const uint32_t nameOff = image.rvaToFileOffset(nameRva, true);
    if (nameOff == NOT_IN_FILE) continue;
    std::string name = textAt(image, nameOff);
    const uint32_t original = readLe32(buf + d + pe_import::kOriginalFirstThunk);
    const uint32_t t =
        image.rvaToFileOffset(original != 0 ? original : readLe32(buf + d + pe_import::kFirstThunk),
                              true);
    uint32_t limit = 0;
    if (t != NOT_IN_FILE) {
      allowance.addDescriptor();
      limit = listedThunks(buf, size, t, allowance);
    }
    const TImportListDescriptor desc{static_cast<uint32_t>(d), limit};
    if (!keepOriginal) {
      // The list box's own search: the first listed entry, in sorted order,
      // that begins with this name. Entries that begin with it sort together,
      // from the first one not below it.
      auto hit = sorted.lower_bound(name);
      if (hit != sorted.end() && startsWithNoCase(hit->first, name)) {
        modules_[hit->second].chainedDescriptors.push_back(desc);
        continue;
      }
      sorted.emplace(name, modules_.size());
    }
    modules_.push_back(TImportListModule{std::move(name), desc.offset, nameOff, {desc}});
  }
  if (!keepOriginal) {
    std::vector<TImportListModule> inOrder;
    inOrder.reserve(modules_.size());
    for (const auto& entry : sorted) inOrder.push_back(std::move(modules_[entry.second]));
    modules_ = std::move(inOrder);
  }
  return true;
}

std::vector<TImportListFunction> TImportListModel::functions(const TImageInfo& image,
                                                             size_t index) const {
  std::vector<TImportListFunction> out;
  if (index >= modules_.size()) return out;
  const uint8_t* buf = image.buffer();
  const uint32_t size = image.fileSize();
  for (const TImportListDescriptor& desc : modules_[index].chainedDescriptors) {
    const uint32_t original = readLe32(buf + desc.offset + pe_import::kOriginalFirstThunk);
    const bool nameList = original != 0;
    const uint32_t t = image.rvaToFileOffset(
        nameList ? original : readLe32(buf + desc.offset + pe_import::kFirstThunk), true);
    if (t == NOT_IN_FILE) {
      out.push_back(
          {nameList ? "<Funcnamelist address error>" : "<Funcaddrlist address error>", 0});
      break;
    }
    uint32_t listed = 0;
    for (uint64_t a = t; a + 4 <= size && listed < desc.thunkLimit; a += 4, ++listed) {
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
    std::stable_sort(out.begin(), out.end(),
                     [](const auto& a, const auto& b) { return lessNoCase(a.text, b.text); });
  return out;
}
