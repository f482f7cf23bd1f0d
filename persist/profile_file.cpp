#include "persist/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "image/file_save.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// What a line of the file is.
enum class LineKind { Other, Section, Key };

struct Parsed {
  LineKind kind = LineKind::Other;
  std::string_view name;  // section name or key, trimmed
  size_t valueStart = 0;  // key lines: where the value starts in the raw line
};

Parsed parseLine(std::string_view raw) {
  Parsed p;
  const std::string_view t = trim(raw);
  if (!t.empty() && t.front() == '[') {
    std::string_view name = t.substr(1);
    const size_t close = name.find(']');
    if (close != std::string_view::npos) name = name.substr(0, close);
    p.kind = LineKind::Section;
    p.name = trim(name);
    return p;
  }
  const size_t eq = raw.find('=');
  if (eq == std::string_view::npos) return p;
  p.kind = LineKind::Key;
  p.name = trim(raw.substr(0, eq));
  size_t v = eq + 1;
  while (v < raw.size() && isBlank(raw[v])) ++v;
  p.valueStart = v;
  return p;
}

bool hasLineBreak(std::string_view s) {
  return s.find('\n') != std::string_view::npos || s.find('\r') != std::string_view::npos;
}

}  // namespace

int32_t parseProfileInt(std::string_view text, int32_t def) {
  text = trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.front() < '0' || text.front() > '9') return def;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10u + static_cast<uint32_t>(c - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

// ---- TProfileText -------------------------------------------------------------

TProfileText::TProfileText(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t nl = text.find('\n', pos);
    Line line;
    if (nl == std::string_view::npos) {
      line.raw = std::string(text.substr(pos));
      // A carriage return ending the file belongs to the line break that
      // is completed when a line is added after it.
      if (!line.raw.empty() && line.raw.back() == '\r') {
        line.raw.pop_back();
        line.ending = '\r';  // (a char, not "\r": GCC 12 at -O3 warns falsely on the literal)
      }
      pos = text.size();
    } else {
      line.raw = std::string(text.substr(pos, nl - pos));
      line.ending = '\n';
      if (!line.raw.empty() && line.raw.back() == '\r') {
        line.raw.pop_back();
        line.ending = "\r\n";
      }
      pos = nl + 1;
    }
    lines_.push_back(std::move(line));
  }
}

TProfileText::SectionSpan TProfileText::findSection(std::string_view section) const {
  SectionSpan span{std::string::npos, 0};
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Parsed p = parseLine(lines_[i].raw);
    if (p.kind != LineKind::Section) continue;
    if (span.header != std::string::npos) {
      span.end = i;
      return span;
    }
    if (sameName(p.name, section)) span.header = i;
  }
  span.end = lines_.size();
  return span;
}

size_t TProfileText::findKey(const SectionSpan& span, std::string_view key) const {
  if (span.header == std::string::npos) return std::string::npos;
  for (size_t i = span.header + 1; i < span.end; ++i) {
    const Parsed p = parseLine(lines_[i].raw);
    if (p.kind == LineKind::Key && !p.name.empty() && sameName(p.name, key)) return i;
  }
  return std::string::npos;
}

std::optional<std::string> TProfileText::get(std::string_view section, std::string_view key) const {
  if (section.empty() || key.empty()) return std::nullopt;
  const size_t i = findKey(findSection(section), key);
  if (i == std::string::npos) return std::nullopt;
  const std::string& raw = lines_[i].raw;
  std::string_view value = trim(std::string_view(raw).substr(parseLine(raw).valueStart));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return std::string(value);
}

int32_t TProfileText::getInt(std::string_view section, std::string_view key, int32_t def) const {
  const auto value = get(section, key);
  return value ? parseProfileInt(*value, def) : def;
}

std::string TProfileText::newLineEnding() const {
  for (const Line& line : lines_)
    if (!line.ending.empty() && line.ending.back() == '\n') return line.ending;
  return "\n";
}

void TProfileText::completeLineBreak(size_t line) {
  std::string& ending = lines_[line].ending;
  if (ending == "\r")
    ending = "\r\n";
  else if (ending.empty())
    ending = newLineEnding();
}

bool TProfileText::set(std::string_view section, std::string_view key, std::string_view value) {
  const std::string_view tsec = trim(section), tkey = trim(key);
  if (section.empty() || tsec.size() != section.size() || hasLineBreak(section) ||
      section.find(']') != std::string_view::npos)
    return false;
  if (key.empty() || tkey.size() != key.size() || hasLineBreak(key) ||
      key.find('=') != std::string_view::npos || key.front() == '[')
    return false;
  if (hasLineBreak(value)) return false;

  const std::string ending = newLineEnding();
  const SectionSpan span = findSection(section);
  if (span.header == std::string::npos) {
    if (!lines_.empty()) {
      completeLineBreak(lines_.size() - 1);
      if (!trim(lines_.back().raw).empty()) lines_.push_back({"", ending});
    }
    std::string header(1, '[');  // appended, not "[" + ...: GCC 12 at -O3 warns falsely
    header.append(section).push_back(']');
    lines_.push_back({std::move(header), ending});
    lines_.push_back({std::string(key) + "=" + std::string(value), ending});
    return true;
  }
  const size_t found = findKey(span, key);
  if (found != std::string::npos) {
    Line& line = lines_[found];
    line.raw = line.raw.substr(0, parseLine(line.raw).valueStart) + std::string(value);
    return true;
  }
  // A new key goes after the section's last key, so comments and blank lines
  // that lead into the next section stay with it.
  size_t at = span.header + 1;
  for (size_t i = span.header + 1; i < span.end; ++i)
    if (parseLine(lines_[i].raw).kind == LineKind::Key) at = i + 1;
  completeLineBreak(at - 1);
  lines_.insert(lines_.begin() + static_cast<ptrdiff_t>(at),
                Line{std::string(key) + "=" + std::string(value), ending});
  return true;
}

std::string TProfileText::text() const {
  std::string out;
  for (const Line& line : lines_) {
    out += line.raw;
    out += line.ending;
  }
  return out;
}

// ---- TProfileFile -------------------------------------------------------------

std::optional<std::string> TProfileFile::load() const {
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::string();
    return std::nullopt;
  }
  std::string text;
  char chunk[8192];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    text.append(chunk, static_cast<size_t>(n));
  }
  ::close(fd);
  return text;
}

std::optional<std::string> TProfileFile::readString(std::string_view section,
                                                    std::string_view key) const {
  const auto text = load();
  if (!text) return std::nullopt;
  return TProfileText(*text).get(section, key);
}

int32_t TProfileFile::readInt(std::string_view section, std::string_view key, int32_t def) const {
  const auto text = load();
  if (!text) return def;
  return TProfileText(*text).getInt(section, key, def);
}

TProfileText TProfileFile::snapshot() const {
  const auto text = load();
  return text ? TProfileText(*text) : TProfileText();
}

bool TProfileFile::writeString(std::string_view section, std::string_view key,
                               std::string_view value) {
  return writeAll({{std::string(section), std::string(key), std::string(value)}});
}

bool TProfileFile::writeInt(std::string_view section, std::string_view key, int32_t value) {
  return writeString(section, key, std::to_string(value));
}

bool TProfileFile::writeAll(const std::vector<TProfileWrite>& writes) {
  struct stat st {};
  const bool existed = ::stat(path_.c_str(), &st) == 0;
  const auto old = load();
  if (!old) return false;
  TProfileText text(*old);
  for (const TProfileWrite& w : writes)
    if (!text.set(w.section, w.key, w.value)) return false;
  const std::string updated = text.text();
  if (existed && updated == *old) return true;

  // A settings file that is a link to another place is updated there.
  std::string target = path_;
  if (char* real = ::realpath(path_.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
  const TSaveOutcome outcome = saveThroughTemporary(target, false, [&](const TWriter& write) {
    return write(reinterpret_cast<const uint8_t*>(updated.data()), updated.size());
  });
  return outcome.error == SaveError::None;
}
