// oxu asm: assembler text into bytes, one instruction or a batch from standard input.
#include <cstdio>
#include <iostream>
#include <string>

#include "asm/assembler.h"
#include "cli/commands.h"

namespace {

const char kHex[] = "0123456789ABCDEF";

void appendHex(std::string& out, const uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) {
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 15];
  }
}

// Each line "ADDRESS TEXT" gives "ADDRESS HEX" or "ADDRESS ! reason", the
// address as it was written.
int runBatch(bool code16) {
  std::string line, out;
  bool refused = false, writeFailed = false;
  auto flush = [&] {
    if (!out.empty() && std::fwrite(out.data(), 1, out.size(), stdout) != out.size())
      writeFailed = true;
    out.clear();
  };
  uint8_t bytes[kAsmMaxLength];
  char reason[kAsmReasonCap];
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t start = line.find_first_not_of(" \t");
    const size_t end = start == std::string::npos ? std::string::npos
                                                  : line.find_first_of(" \t", start);
    const std::string field = start == std::string::npos ? "" : line.substr(start, end - start);
    const std::string text = end == std::string::npos ? "" : line.substr(end + 1);
    out += field;
    const auto address = parseAddress(field);
    int n = 0;
    if (!address) {
      refused = true;
      out += " ! expected an address (hexadecimal) in front of the instruction";
    } else if ((n = assembleInstruction(text.c_str(), *address, code16, bytes, reason,
                                        sizeof reason)) == 0) {
      refused = true;
      out += " ! ";
      out += reason;
    } else {
      out += ' ';
      appendHex(out, bytes, n);
    }
    out += '\n';
    if (out.size() > (1 << 16)) flush();
  }
  flush();
  if (std::fflush(stdout) != 0 || writeFailed) {
    std::fprintf(stderr, "oxu asm: cannot write the output\n");
    return EXIT_FAILED;
  }
  return refused ? EXIT_FAILED : EXIT_OK;
}

int runAsm(const TCliArgs& args, TCliHost&) {
  const bool code16 = args.flag("16");
  if (args.flag("batch")) {
    if (!args.positionals().empty() || args.value("address")) {
      std::fprintf(stderr,
                   "oxu asm: --batch reads \"ADDRESS TEXT\" lines from standard input only\n");
      return EXIT_USAGE;
    }
    return runBatch(code16);
  }
  std::optional<uint32_t> address;
  if (int rc = addressOption(args, "asm", "address", address)) return rc;
  if (args.positionals().empty()) {
    std::fprintf(stderr, "oxu asm: give the instruction text (or --batch)\n");
    return EXIT_USAGE;
  }
  // The words of the text may come as separate arguments.
  std::string text;
  for (const auto& p : args.positionals()) text += (text.empty() ? "" : " ") + p;
  uint8_t bytes[kAsmMaxLength];
  char reason[kAsmReasonCap];
  const int n = assembleInstruction(text.c_str(), address.value_or(0), code16, bytes, reason,
                                    sizeof reason);
  if (n == 0) {
    std::fprintf(stderr, "oxu asm: %s\n", reason);
    return EXIT_FAILED;
  }
  std::string out;
  appendHex(out, bytes, n);
  printOut(out + "\n");
  return EXIT_OK;
}

}  // namespace

void addAsmCommands(std::vector<TCliCommand>& commands) {
  commands.push_back(
      {"asm",
       "[--16] [--address A] TEXT | --batch [--16]   assemble one instruction (at address A, "
       "default 0) and print its bytes; --batch: \"ADDRESS TEXT\" lines from standard input "
       "give \"ADDRESS HEX\" or \"ADDRESS ! reason\"",
       {"address"},
       {"16", "batch"},
       runAsm});
}
