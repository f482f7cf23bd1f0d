// Line rules of linker map files and module-definition files: which line
// starts the symbol list, and what one symbol line says.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Longest line kept, without its terminator; the rest of a longer line is dropped.
constexpr size_t kSymbolLineLimit = 259;

// "  Address   Publics by Value ..." (words compared without regard to case).
bool isMapListHeader(std::string_view line);
// A line holding nothing but blanks, tabs and its line end.
bool isBlankLine(std::string_view line);

struct TMapSymbol {
  uint16_t segment;
  uint32_t offset;
  int offsetDigits;  // 8: segment is a 1-based section number; 4: a real-mode segment
  std::string name;  // empty: the line names nothing
};
// Nothing when the line is not a symbol line (which ends the list).
std::optional<TMapSymbol> parseMapSymbolLine(std::string_view line);

// Where the EXPORTS section begins: true for the line that opens it.
bool isDefExportsLine(std::string_view line);
// Comment (";") or empty lines, which every step passes over.
bool isDefSkippedLine(std::string_view line);

struct TDefExport {
  std::string name;
  uint32_t ordinal;
};
// Nothing when the line has no "name @ordinal" form.
std::optional<TDefExport> parseDefExportLine(std::string_view line);
