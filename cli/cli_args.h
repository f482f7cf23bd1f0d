// Command-line arguments of one subcommand: positionals and --options.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

class TCliArgs {
 public:
  // valueOptions: option names (without "--") that take a value; a value
  // option may be given more than once.
  bool parse(int argc, char** argv, int first, const std::vector<std::string>& valueOptions,
             const std::vector<std::string>& flagOptions, std::string& error);

  const std::vector<std::string>& positionals() const { return positionals_; }
  bool flag(const std::string& name) const { return flags_.count(name) != 0; }
  std::optional<std::string> value(const std::string& name) const;
  std::vector<std::string> values(const std::string& name) const;

 private:
  std::vector<std::string> positionals_;
  std::map<std::string, std::vector<std::string>> values_;
  std::map<std::string, bool> flags_;
};

// Parses an address as a user writes it. Addresses are shown in hexadecimal
// everywhere, so plain digits are hexadecimal too ("401000", "0x401000",
// "401000h"); a leading '#' means decimal.
std::optional<uint32_t> parseAddress(const std::string& text);
std::optional<uint32_t> parseDecimal(const std::string& text);
