#include "analysis/scanner_images.h"

#include <algorithm>
#include <map>

#include "base/le_read.h"
#include "base/text_format.h"
#include "support/pe_builder.h"

void pushLe32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

namespace {

void pushLe16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}

void pushUtf16(std::vector<uint8_t>& v, const std::string& s) {
  for (char c : s) pushLe16(v, uint8_t(c));
  pushLe16(v, 0);
}

void put32At(std::vector<uint8_t>& v, size_t at, uint32_t x) { writeLe32(&v[at], x); }

}  // namespace

std::vector<uint8_t> menuTemplate(const std::vector<TMenuEntry>& entries) {
  std::vector<uint8_t> t(4, 0);
  for (const TMenuEntry& e : entries) {
    pushLe16(t, e.id < 0 ? e.flags | 0x10 : e.flags);
    if (e.id >= 0) pushLe16(t, uint32_t(e.id));
    pushUtf16(t, e.text);
  }
  return t;
}

std::vector<uint8_t> TScanImageLayout::build() const {
  TPeBuilder b;
  b.imageBase = kImageBase;
  const uint32_t codeSize = std::max<uint32_t>(0x200, (uint32_t(code.size()) + 0x1FF) & ~0x1FFu);
  b.addSection(".text", kTextRva, codeSize, codeSize, codeCharacteristics);

  // Imports: one descriptor and a terminator at 0x80000, names behind.
  const uint32_t idata = 0x80000;
  b.addSection(".idata", idata, 0x4000, 0x4000, 0xC0000040);
  if (!imports.empty()) {
    b.setDirectory(1, idata, 40);
    const uint32_t ilt = idata + 0x100, names = idata + 0x1000, module = idata + 0x80;
    b.put32(idata + 0, ilt);
    b.put32(idata + 12, module);
    b.put32(idata + 16, kIatRva);
    b.putString(module, "test.dll");
    uint32_t at = names;
    for (size_t i = 0; i < imports.size(); ++i) {
      b.put32(ilt + 4 * uint32_t(i), at);
      b.put32(kIatRva + 4 * uint32_t(i), at);
      b.putString(at + 2, imports[i]);
      at += 2 + uint32_t(imports[i].size()) + 2;
    }
  }

  // Resources: root, type directories, language directories, data entries, data.
  if (!stringBundles.empty() || !menus.empty()) {
    const uint32_t rsrc = 0x90000;
    std::vector<uint8_t> r(16, 0);
    struct Leaf {
      uint32_t name;
      std::vector<uint8_t> data;
      uint32_t size;
      uint32_t sharesDataOf = 0;
    };
    std::vector<std::pair<uint32_t, std::vector<Leaf>>> types;
    if (!menus.empty()) {
      std::vector<Leaf> leaves;
      for (size_t i = 0; i < menus.size(); ++i)
        leaves.push_back({uint32_t(101 + i), menus[i], uint32_t(menus[i].size())});
      types.emplace_back(4, leaves);
    }
    if (!stringBundles.empty()) {
      std::vector<Leaf> leaves;
      for (const auto& sb : stringBundles) {
        std::vector<uint8_t> d;
        for (size_t i = 0; i < 16; ++i) {
          const std::string s = i < sb.strings.size() ? sb.strings[i] : "";
          pushLe16(d, uint32_t(s.size()));
          for (char c : s) pushLe16(d, uint8_t(c));
        }
        leaves.push_back({sb.bundle, d, sb.sizeOverride ? sb.sizeOverride : uint32_t(d.size()),
                          sb.sharesDataOf});
      }
      types.emplace_back(6, leaves);
    }
    writeLe16(&r[14], uint16_t(types.size()));
    const size_t rootEntries = r.size();
    r.resize(r.size() + 8 * types.size() + 8, 0);
    std::vector<std::pair<size_t, const Leaf*>> dataEntries;  // where each data entry's RVA goes
    for (size_t t = 0; t < types.size(); ++t) {
      put32At(r, rootEntries + 8 * t, types[t].first);
      put32At(r, rootEntries + 8 * t + 4, 0x80000000u | uint32_t(r.size()));
      const size_t dir = r.size();
      r.resize(dir + 16 + 8 * types[t].second.size() + 8, 0);
      writeLe16(&r[dir + 14], uint16_t(types[t].second.size()));
      for (size_t k = 0; k < types[t].second.size(); ++k) {
        put32At(r, dir + 16 + 8 * k, types[t].second[k].name);
        put32At(r, dir + 16 + 8 * k + 4, 0x80000000u | uint32_t(r.size()));
        const size_t lang = r.size();
        r.resize(lang + 24, 0);
        writeLe16(&r[lang + 14], 1);
        put32At(r, lang + 16, 0x409);
        put32At(r, lang + 20, uint32_t(r.size()));
        const size_t entry = r.size();
        r.resize(entry + 16, 0);
        dataEntries.emplace_back(entry, &types[t].second[k]);
      }
    }
    std::map<uint32_t, uint32_t> dataRva;  // by leaf name
    for (auto& [entry, leaf] : dataEntries) {
      while (r.size() % 4) r.push_back(0);
      put32At(r, entry + 4, leaf->size);
      if (leaf->sharesDataOf) {
        put32At(r, entry, dataRva.at(leaf->sharesDataOf));
        continue;
      }
      dataRva[leaf->name] = rsrc + uint32_t(r.size());
      put32At(r, entry, dataRva[leaf->name]);
      r.insert(r.end(), leaf->data.begin(), leaf->data.end());
    }
    const uint32_t rsize = (uint32_t(r.size()) + 0x1FF) & ~0x1FFu;
    b.addSection(".rsrc", rsrc, rsize, rsize, 0x40000040);
    b.setDirectory(2, rsrc, uint32_t(r.size()));
    b.putBytes(rsrc, r);
  }
  for (uint32_t skip : textRepeats)
    b.addSection(".text", kTextRva + skip, codeSize - skip, codeSize - skip, codeCharacteristics)
        .rawOffset = kTextRaw + skip;
  std::vector<uint8_t> file = b.build();
  std::copy(code.begin(), code.end(), file.begin() + kTextRaw);  // .text is the first section
  return file;
}

std::string storeText(const TReferenceStores& s) {
  std::string t;
  for (uint32_t i = 0; i < s.jumpCalls.count(); ++i)
    t += wsString("jc %X<-%X %u\n", s.jumpCalls[i].target, s.jumpCalls[i].source,
                  unsigned(s.jumpCalls[i].kind));
  for (uint32_t i = 0; i < s.imports.count(); ++i) {
    const TImpRef& r = s.imports[i];
    t += wsString("import %X %X %X:", r.iatAddress, r.moduleName, r.function);
    for (const TMInt& m : r.refs) t += wsString(" %X", uint32_t(m.value));
    t += "\n";
  }
  auto ids = [&](const auto& store, const char* what) {
    for (uint32_t i = 0; i < store.count(); ++i) {
      t += wsString("%s %X %X:", what, store[i].id, store[i].textOffset);
      for (const TMIntType& m : store[i].refs)
        t += wsString(" %X/%u", uint32_t(m.value), unsigned(m.type));
      t += "\n";
    }
  };
  ids(s.strings, "string");
  ids(s.menus, "menu");
  return t;
}
