#include "analysis/symbol_files.h"

#include <strings.h>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isLineEnd(char c) { return c == '\n' || c == '\r'; }

size_t skipBlanks(std::string_view s, size_t i) {
  while (i < s.size() && isBlank(s[i])) ++i;
  return i;
}

bool startsWithNoCase(std::string_view s, size_t at, std::string_view word) {
  return s.size() - at >= word.size() && strncasecmp(s.data() + at, word.data(), word.size()) == 0;
}

int hexValue(char c, bool upperOnly) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (!upperOnly && c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool isBlankLine(std::string_view line) {
  size_t i = skipBlanks(line, 0);
  return i == line.size() || isLineEnd(line[i]);
}

bool isMapListHeader(std::string_view line) {
  size_t i = skipBlanks(line, 0);
  if (!startsWithNoCase(line, i, "address")) return false;
  while (i < line.size() && !isBlank(line[i]) && !isLineEnd(line[i])) ++i;
  i = skipBlanks(line, i);
  return startsWithNoCase(line, i, "publics by value");
}

std::optional<TMapSymbol> parseMapSymbolLine(std::string_view line) {
  size_t i = skipBlanks(line, 0);
  if (line.size() - i < 5 || line[i + 4] != ':') return std::nullopt;
  TMapSymbol sym{0, 0, 0, {}};
  for (int k = 0; k < 4; ++k) {
    const int d = hexValue(line[i + k], true);
    if (d < 0) return std::nullopt;
    sym.segment = uint16_t(sym.segment << 4 | d);
  }
  i += 5;
  uint64_t offset = 0;
  while (i < line.size()) {
    const int d = hexValue(line[i], false);
    if (d < 0) break;
    offset = (offset << 4 | uint64_t(d)) & 0xFFFFFFFFFull;
    ++sym.offsetDigits;
    ++i;
  }
  sym.offset = uint32_t(offset);
  i = skipBlanks(line, i);
  if (startsWithNoCase(line, i, "idle ")) i = skipBlanks(line, i + 5);
  // A single blank inside the name belongs to it unless a digit, another
  // blank or the line end follows: that is where the next column starts.
  const size_t start = i;
  while (i < line.size() && !isLineEnd(line[i])) {
    if (isBlank(line[i])) {
      const char next = i + 1 < line.size() ? line[i + 1] : '\n';
      if ((next >= '0' && next <= '9') || isBlank(next) || isLineEnd(next)) break;
    }
    ++i;
  }
  sym.name.assign(line.substr(start, i - start));
  return sym;
}

bool isDefSkippedLine(std::string_view line) {
  const size_t i = skipBlanks(line, 0);
  return i == line.size() || isLineEnd(line[i]) || line[i] == ';';
}

bool isDefExportsLine(std::string_view line) {
  size_t i = skipBlanks(line, 0);
  if (startsWithNoCase(line, i, "library")) i = skipBlanks(line, i + 7);
  return startsWithNoCase(line, i, "exports");
}

std::optional<TDefExport> parseDefExportLine(std::string_view line) {
  size_t i = skipBlanks(line, 0);
  const size_t start = i;
  while (i < line.size() && !isBlank(line[i]) && !isLineEnd(line[i])) ++i;
  TDefExport e{std::string(line.substr(start, i - start)), 0};
  i = skipBlanks(line, i);
  if (i >= line.size() || line[i] != '@') return std::nullopt;
  i = skipBlanks(line, i + 1);
  const size_t digits = i;
  uint64_t ordinal = 0;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
    ordinal = ordinal * 10 + uint64_t(line[i] - '0');
    if (ordinal > 0xFFFFFFFFull) return std::nullopt;
    ++i;
  }
  if (i == digits) return std::nullopt;
  if (i < line.size() && !isBlank(line[i]) && !isLineEnd(line[i])) return std::nullopt;
  e.ordinal = uint32_t(ordinal);
  return e;
}
