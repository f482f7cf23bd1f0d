// The settings file: an INI text of "[Section]" lines and "key=value" lines.
// Section names and keys compare case-insensitively; every other line
// (comments, blank lines, unknown keys and sections) is kept byte for byte
// when a value is written, and so are the line endings.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reads a stored number leniently: blanks around it are ignored, an optional
// sign and the decimal digits that follow it count, anything after the
// digits is ignored ("12px" reads 12). A value without a leading digit (empty,
// "abc", "-", "0x" reads 0) yields `def`. Digits are taken modulo 2^32, so a
// 32-bit word written as signed or as unsigned decimal reads back the same.
int32_t parseProfileInt(std::string_view text, int32_t def);

struct TProfileWrite {
  std::string section;
  std::string key;
  std::string value;
};

// The file's text, parsed into lines, with look-ups and in-place updates.
class TProfileText {
 public:
  TProfileText() = default;
  explicit TProfileText(std::string_view text);

  // The value of the first `key` in the first section named `section`,
  // without surrounding blanks or a surrounding pair of quotes.
  std::optional<std::string> get(std::string_view section, std::string_view key) const;
  int32_t getInt(std::string_view section, std::string_view key, int32_t def) const;

  // Replaces the value of that key, or adds the key after the section's last
  // key, or adds the section at the end. False (nothing changed) for a name
  // or value that cannot be stored on one line: a line break in any of them,
  // an empty key or one with "=", a section name with "]", a key or section
  // starting or ending with a blank, a key starting with "[".
  bool set(std::string_view section, std::string_view key, std::string_view value);

  std::string text() const;

 private:
  struct Line {
    std::string raw;     // without its line break
    std::string ending;  // "\n", "\r\n"; "" or "\r" for a last line without a break
  };
  // Bounds of the first section named `section`: its header line and the
  // line after its last line; npos header when there is none.
  struct SectionSpan {
    size_t header;
    size_t end;
  };
  SectionSpan findSection(std::string_view section) const;
  size_t findKey(const SectionSpan& span, std::string_view key) const;
  std::string newLineEnding() const;
  // Gives a line without a line break (the file's last) one.
  void completeLineBreak(size_t line);

  std::vector<Line> lines_;
};

// The settings file on disk. Every read looks at the file as it is now (a
// missing or unreadable file reads as empty); every write rewrites the whole
// file through a temporary file renamed over it, so a failed write leaves the
// old file untouched. A missing file is created by the first write.
class TProfileFile {
 public:
  explicit TProfileFile(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

  std::optional<std::string> readString(std::string_view section, std::string_view key) const;
  int32_t readInt(std::string_view section, std::string_view key, int32_t def) const;
  // The whole file as it is now, for reading many keys at once.
  TProfileText snapshot() const;

  // False when the file exists but cannot be read (writing then would lose
  // its other lines), when a name or value cannot be stored, or when the new
  // file cannot be written. Values are written as decimal text.
  bool writeString(std::string_view section, std::string_view key, std::string_view value);
  bool writeInt(std::string_view section, std::string_view key, int32_t value);
  // Several writes applied in order and saved once.
  bool writeAll(const std::vector<TProfileWrite>& writes);

 private:
  // The file's text; nullopt when it exists but cannot be read.
  std::optional<std::string> load() const;

  std::string path_;
};
