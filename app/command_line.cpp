#include "app/command_line.h"

#include <cctype>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

size_t skipBlanks(const std::string& s, size_t i) {
  while (i < s.size() && isBlank(s[i])) ++i;
  return i;
}

}  // namespace

TCommandLine parseCommandLine(const std::string& rest) {
  TCommandLine out;
  size_t i = skipBlanks(rest, 0);
  static const char kSwitch[] = "noscan";
  if (i + 7 <= rest.size() && rest[i] == '-') {
    bool match = true;
    for (size_t k = 0; k < 6; ++k)
      if (std::tolower(static_cast<unsigned char>(rest[i + 1 + k])) != kSwitch[k]) match = false;
    if (match) {
      out.noScan = true;
      // The switch is one word: whatever follows it up to the next blank goes with it.
      while (i < rest.size() && !isBlank(rest[i])) ++i;
      i = skipBlanks(rest, i);
    }
  }
  std::string name = rest.substr(i);
  while (!name.empty() && isBlank(name.back())) name.pop_back();
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
    name = name.substr(1, name.size() - 2);
  if (name.size() > kStartupNameRoom) name.resize(kStartupNameRoom);
  out.file = name;
  return out;
}

TCommandLine parseCommandLine(int argc, const char* const* argv) {
  std::string rest;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) rest += ' ';
    rest += argv[i];
  }
  return parseCommandLine(rest);
}
