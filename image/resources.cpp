#include "image/resources.h"

#include <strings.h>
#include <algorithm>
#include <cctype>

#include "base/le_read.h"
#include "base/text_format.h"
#include "image/pe_layout.h"
#include "image/raw_convert.h"

namespace {

constexpr const char* kUnexpectedEnd = "Error: Unexpected end of file!";

// The low byte of a UTF-16 character as a menu shows it: a control character
// would break the line and shift the table of line ids, so it shows as ".".
char shownLowByte(uint16_t c) {
  const uint8_t low = static_cast<uint8_t>(c);
  return low < 0x20 ? '.' : static_cast<char>(low);
}

// Appends the shown low bytes of a UTF-16 text (zero-terminated) at `at` until
// `line` reaches `maxColumn`; returns the offset behind the terminating zero
// (or the end of the file).
uint64_t appendWideText(const uint8_t* buf, uint32_t size, uint64_t at, std::string& line,
                        size_t maxColumn) {
  while (at + 2 <= size) {
    const uint16_t c = readLe16(buf + at);
    at += 2;
    if (c == 0) return at;
    if (line.size() < maxColumn) line += shownLowByte(c);
  }
  return size;
}

// Calls visit(entry offset) for the entries of a directory level: from its
// start + 16 until an entry whose name is 0 (the first one is always
// taken). False when an entry would run past the end of the file.
template <class Visit>
bool walkEntries(const uint8_t* buf, uint32_t size, uint64_t directory, Visit&& visit) {
  for (uint64_t e = directory + 16;; e += 8) {
    if (e + 8 > size) return false;
    if (e > directory + 16 && readLe32(buf + e) == 0) return true;
    if (!visit(e)) return false;
  }
}

// The root's entries of one type: the offset (bit 31 cleared) of each.
template <class Visit>
bool forEachTypeEntry(const uint8_t* buf, uint32_t size, uint32_t root, uint32_t type,
                      Visit&& visit) {
  const uint32_t count = uint32_t(readLe16(buf + root + pe_resource::kNamedEntries)) +
                         readLe16(buf + root + pe_resource::kIdEntries);
  for (uint32_t k = 0; k < count; ++k) {
    const uint64_t e = uint64_t(root) + pe_resource::kDirectoryHeaderSize +
                       uint64_t(pe_resource::kEntrySize) * k;
    if (e + pe_resource::kEntrySize > size) return false;
    if (readLe32(buf + e) != type) continue;
    if (!visit(readLe32(buf + e + pe_resource::kEntryOffset) & ~pe_resource::kSubdirectoryBit))
      return false;
  }
  return true;
}

}  // namespace

void sortLikeListControl(std::vector<TListLine>& lines) {
  std::stable_sort(lines.begin(), lines.end(), [](const TListLine& a, const TListLine& b) {
    return strcasecmp(a.text.c_str(), b.text.c_str()) < 0;
  });
}

TResourceRoot findResourceRoot(const uint8_t* buf, uint32_t size) {
  TResourceRoot root;
  if (size < mz_header::kSize || readLe16(buf) != mz_header::kSignature) return root;
  const uint32_t p = readLe32(buf + mz_header::kPeHeaderOffset);
  if (uint64_t(size) <= uint64_t(p) + 256 || readLe16(buf + p) != pe_header::kSignature)
    return root;
  // RVA 0 is how a file says it has no resources; as an address it would
  // read the DOS header as a resource directory.
  const uint32_t rva = readLe32(buf + p + pe_header::dataDirectory(pe_header::kResourceDirectory));
  const uint32_t r = rva == 0 ? 0xFFFFFFFFu : rawRvaToFileOffset(rva, buf, size);
  if (r == 0xFFFFFFFFu || uint64_t(r) + 21 >= size) {
    root.status = ResourceRootStatus::WrongDirectory;
    return root;
  }
  root.offset = r;
  root.status = readLe16(buf + r + pe_resource::kNamedEntries) == 0 &&
                        readLe16(buf + r + pe_resource::kIdEntries) == 0
                    ? ResourceRootStatus::NoResources
                    : ResourceRootStatus::Ok;
  return root;
}

namespace {

// Fills the root's status into a list; false when there is nothing to walk.
bool startList(const uint8_t* buf, uint32_t size, TResourceList& list) {
  list.root = findResourceRoot(buf, size);
  switch (list.root.status) {
    case ResourceRootStatus::NotPe: return false;
    case ResourceRootStatus::WrongDirectory:
      list.title = "Error: Wrong directory entry!";
      list.noResourcesMessage = true;
      return false;
    case ResourceRootStatus::NoResources:
      list.title = "Error: No resources inside resource directory!";
      return false;
    case ResourceRootStatus::Ok: return true;
  }
  return false;
}

}  // namespace

TResourceList listMenus(const uint8_t* buf, uint32_t size) {
  TResourceList list;
  if (!startList(buf, size, list)) return list;
  const uint32_t r = list.root.offset;
  const bool complete = forEachTypeEntry(buf, size, r, pe_resource::kMenuType, [&](uint32_t offset) {
    if (uint64_t(r) + offset + 25 >= size) return false;
    return walkEntries(buf, size, uint64_t(r) + offset, [&](uint64_t e) {
      const uint32_t name = readLe32(buf + e);
      TListLine line{std::string(), 0};
      if (name & 0x80000000u) {
        const uint64_t s = uint64_t(r) + (name & 0x7FFFFFFFu);
        if (s + 2 > size) return false;
        const uint32_t length = readLe16(buf + s);
        if (s + 2 + 2ull * length >= size) return false;
        line.text = "\"";
        for (uint32_t i = 0; i < length && i < 47; ++i)
          line.text += shownLowByte(buf[s + 2 + 2 * i]);
        line.text += "\"";
      } else {
        line.text = wsString("%i", name);
      }
      line.data = static_cast<uint32_t>(uint64_t(r) + (readLe32(buf + e + 4) & 0x7FFFFFFFu) + 16);
      list.lines.push_back(std::move(line));
      return true;
    });
  });
  if (!complete) list.title = kUnexpectedEnd;
  sortLikeListControl(list.lines);
  return list;
}

TRenderedMenu renderMenu(const uint8_t* buf, uint32_t size, const TResourceRoot& root,
                         const TListLine& menu) {
  TRenderedMenu out;
  const TRenderedMenu none{"No data available!", {}};
  const uint64_t d = menu.data;
  // The language entry's offset is a dword: all of it must be in the file.
  if (d + 8 > size) return none;
  const uint64_t e = uint64_t(root.offset) + readLe32(buf + d + 4);
  if (e + 9 >= size) return none;
  const uint32_t dataSize = readLe32(buf + e + 4);
  const uint32_t m = rawRvaToFileOffset(readLe32(buf + e), buf, size);
  if (m == 0xFFFFFFFFu || uint64_t(m) + dataSize >= size || dataSize < 10) return none;
  const uint32_t headerSize = readLe16(buf + m + 2);
  if (uint64_t(headerSize) + 4 > dataSize) return none;

  auto writeLine = [&](std::string& line, uint16_t id) {
    line += "\r\n";
    out.text += line;
    out.lineIds.push_back(id);
  };
  std::string line = menu.text + " MENU";
  writeLine(line, kNoMenuCommand);
  line.assign(1, '{');  // not = "{": GCC 12 at -O3 warns falsely of overlapping copies
  writeLine(line, kNoMenuCommand);

  uint16_t flagsAt[10] = {};
  int depth = 1;
  uint64_t at = uint64_t(m) + 4 + headerSize;
  while (depth > 0 && at + 8 <= size) {
    line.assign(depth, ' ');
    const uint16_t flags = readLe16(buf + at);
    at += 2;
    flagsAt[depth] = flags;
    const bool popup = flags & 0x10;
    uint16_t itemId = 0;
    uint16_t id = kNoMenuCommand;  // what the table records for this item's lines
    if (popup) {
      line += "POPUP \"";
      at = appendWideText(buf, size, at, line, 75);
      line += "\"";
    } else {
      itemId = readLe16(buf + at);
      at += 2;
      if (itemId != 0) {
        line += "MENUITEM \"";
        at = appendWideText(buf, size, at, line, 75);
        line += wsString("\", %i", itemId);
        id = itemId;
      } else {
        line += "MENUITEM SEPARATOR";
        std::string skipped;
        at = appendWideText(buf, size, at, skipped, 0);
      }
    }
    static const std::pair<uint16_t, const char*> kFlagTexts[] = {
        {0x0001, ", GRAYED"},       {0x0002, ", INACTIVE"},  {0x0008, ", CHECKED"},
        {0x0020, ", MENUBARBREAK"}, {0x0040, ", MENUBREAK"}, {0x4000, ", HELP"}};
    for (const auto& [bit, text] : kFlagTexts)
      if (flags & bit) line += text;
    if (!popup && itemId < 0xFFFF) line += wsString(" // = 0x%.4X", itemId);
    if (popup && depth < 9) {
      writeLine(line, kNoMenuCommand);
      line.assign(depth, ' ');
      line += "{";
      ++depth;
      flagsAt[depth] &= ~uint16_t(0x90);
    }
    while ((flagsAt[depth] & 0x80) && depth >= 1) {
      writeLine(line, id);
      id = kNoMenuCommand;
      --depth;
      line.assign(depth, ' ');
      line += "}";
    }
    writeLine(line, id);
  }
  return out;
}

TResourceList listStrings(const uint8_t* buf, uint32_t size,
                          const std::function<bool(uint32_t)>& keep) {
  TResourceList list;
  if (!startList(buf, size, list)) return list;
  const uint32_t r = list.root.offset;
  const bool complete =
      forEachTypeEntry(buf, size, r, pe_resource::kStringTableType, [&](uint32_t offset) {
        if (uint64_t(r) + offset + 25 >= size) return false;
        return walkEntries(buf, size, uint64_t(r) + offset, [&](uint64_t e) {
          const uint32_t firstId = (readLe32(buf + e) - 1) * 16;
          const uint64_t language = uint64_t(r) + (readLe32(buf + e + 4) & 0x7FFFFFFFu);
          if (language + 20 >= size) return false;
          // The first language entry's offset is a dword at +20.
          if (language + 24 > size) return false;
          const uint64_t dataEntry = uint64_t(r) + readLe32(buf + language + 20);
          if (dataEntry + 9 >= size) return false;
          const uint32_t data = rawRvaToFileOffset(readLe32(buf + dataEntry), buf, size);
          if (data == 0xFFFFFFFFu || readLe32(buf + dataEntry + pe_resource::kDataSize) < 10)
            return false;
          uint64_t at = data;
          for (uint32_t i = 0; i < 16; ++i) {
            if (at + 2 > size) break;
            const uint32_t length = readLe16(buf + at);
            if (at + 2 + 2ull * length >= size) break;
            const uint32_t id = firstId + i;
            if (length != 0 && keep(id)) {
              std::string text = wsString("ID 0x%.4X (%.5i): ", id, id);
              for (uint32_t k = 0; k < length && k < 234; ++k)
                text += static_cast<char>(buf[at + 2 + 2 * k]);
              list.lines.push_back({std::move(text), id});
            }
            at += 2 + 2ull * length;
          }
          return true;
        });
      });
  if (!complete) list.title = kUnexpectedEnd;
  sortLikeListControl(list.lines);
  return list;
}

int searchStringLines(const std::vector<TListLine>& lines, int selected, const std::string& typed) {
  const std::string text = typed.substr(0, 78);
  if (text.empty() || lines.empty()) return -2;
  const int n = static_cast<int>(lines.size());
  const int start = selected < 0 ? 0 : selected >= n - 1 ? n - 1 : selected + 1;
  for (int k = 0; k < n; ++k) {
    const int i = (start + k) % n;
    const std::string& line = lines[i].text;
    if (line.size() <= 19) continue;
    const auto hit = std::search(line.begin() + 19, line.end(), text.begin(), text.end(),
                                 [](char a, char b) {
                                   return std::tolower(static_cast<unsigned char>(a)) ==
                                          std::tolower(static_cast<unsigned char>(b));
                                 });
    if (hit != line.end()) return i;
  }
  return -1;
}
