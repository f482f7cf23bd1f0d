#include "cli/cli_args.h"

#include <algorithm>

bool TCliArgs::parse(int argc, char** argv, int first, const std::vector<std::string>& valueOptions,
                     const std::vector<std::string>& flagOptions, std::string& error) {
  bool optionsEnded = false;
  for (int i = first; i < argc; ++i) {
    std::string a = argv[i];
    if (!optionsEnded && a == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || a.size() < 3 || a.compare(0, 2, "--") != 0) {
      positionals_.push_back(a);
      continue;
    }
    std::string name = a.substr(2);
    std::optional<std::string> inlineValue;
    if (auto eq = name.find('='); eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    if (std::find(valueOptions.begin(), valueOptions.end(), name) != valueOptions.end()) {
      if (!inlineValue) {
        if (i + 1 >= argc) {
          error = "option --" + name + " needs a value";
          return false;
        }
        inlineValue = argv[++i];
      }
      values_[name].push_back(*inlineValue);
    } else if (std::find(flagOptions.begin(), flagOptions.end(), name) != flagOptions.end()) {
      if (inlineValue) {
        error = "option --" + name + " takes no value";
        return false;
      }
      flags_[name] = true;
    } else {
      error = "unknown option --" + name;
      return false;
    }
  }
  return true;
}

std::optional<std::string> TCliArgs::value(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end() || it->second.empty()) return std::nullopt;
  return it->second.back();
}

std::vector<std::string> TCliArgs::values(const std::string& name) const {
  auto it = values_.find(name);
  return it == values_.end() ? std::vector<std::string>{} : it->second;
}

namespace {
std::optional<uint32_t> parseInBase(const std::string& digits, int base) {
  if (digits.empty()) return std::nullopt;
  uint64_t v = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return std::nullopt;
    v = v * base + d;
    if (v > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<uint32_t>(v);
}
}  // namespace

std::optional<uint32_t> parseAddress(const std::string& text) {
  std::string t = text;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
    return parseInBase(t.substr(2), 16);
  if (!t.empty() && t[0] == '#') return parseInBase(t.substr(1), 10);
  if (t.size() > 1 && (t.back() == 'h' || t.back() == 'H')) t.pop_back();
  return parseInBase(t, 16);
}

std::optional<uint32_t> parseDecimal(const std::string& text) { return parseInBase(text, 10); }
