// The byte pattern of a search, built from the phrase the user typed and the
// kind of phrase chosen in the search dialog.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Host;

// The dialog's radio buttons "Hex value" .. "Unicode Str.", in this order
// (the value is kept in the settings file).
enum TSearchType : int {
  ST_HEX = 0,
  ST_DECIMAL = 1,
  ST_BYTE_LIST = 2,
  ST_ASCII = 3,
  ST_UNICODE = 4,
};

// The phrase edit box takes at most this many characters.
constexpr size_t kSearchPhraseMax = 78;

struct TSearchPattern {
  // The bytes to find; with ignoreCase their letters are upper case.
  std::vector<uint8_t> bytes;
  // Letters match either case (strings with "Case sensitive" unchecked).
  bool ignoreCase = false;
  // The phrase as the edit box shows it afterwards (hex values are rewritten
  // to a full number of bytes, "6a1" becomes "06A1").
  std::string phrase;
  // The type searched for: ST_ASCII when a phrase that was far from the
  // chosen numeric type was taken as text instead.
  int type = ST_HEX;
};

// Builds the pattern. A phrase that fits no pattern is reported through the
// host (warning icon) and gives no result. A type outside 0..4 counts as a
// hex value.
std::optional<TSearchPattern> buildSearchPattern(std::string_view phrase, int type,
                                                 bool caseSensitive, Host& host);

// The name of a type as the radio button reads ("Hex value", ...).
const char* searchTypeName(int type);
