// oxu: the headless twin of the desktop program, for scripts and tests.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "document/document.h"

namespace {

std::vector<TCliCommand> allCommands() {
  std::vector<TCliCommand> commands;
  addImageCommands(commands);
  addPropsCommands(commands);
  addSearchCommands(commands);
  addEditCommands(commands);
  addAsmCommands(commands);
  addListCommands(commands);
  addSymbolCommands(commands);
  addTraceCommands(commands);
  addResourceCommands(commands);
  addRefsCommands(commands);
  addProjectCommands(commands);
  return commands;
}

void printHelp(const std::vector<TCliCommand>& commands) {
  std::string text =
      "usage: oxu COMMAND [OPTIONS] FILE ...\n"
      "Reads 32-bit Windows PE and DOS MZ programs (any other file as raw bytes).\n\n"
      "commands:\n";
  for (const auto& c : commands) text += std::string("  ") + c.name + " " + c.synopsis + "\n";
  text +=
      "\ncommon options:\n"
      "  --json      print one JSON document instead of text (where a structure is printed)\n"
      "  --yes/--no  the answer to every yes/no question (default: the dialog's default)\n"
      "  --quiet     no progress lines on standard error\n"
      "numbers: addresses are hexadecimal (401000, 0x401000, 401000h); '#' marks decimal.\n"
      "messages the desktop program shows in message boxes go to standard error as\n"
      "\"caption: text\" (the text alone when the box has no caption).\n\n"
      "exit codes: 0 success, 1 bad command line, 2 the file could not be read,\n"
      "            3 the request could not be carried out.\n";
  printOut(text);
}

}  // namespace

int main(int argc, char** argv) {
  // A write beyond the file-size limit then fails (EFBIG) and is reported as
  // the failed save it is, with the temporary file removed.
  std::signal(SIGXFSZ, SIG_IGN);
  const auto commands = allCommands();
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
      !std::strcmp(argv[1], "help")) {
    printHelp(commands);
    return argc < 2 ? EXIT_USAGE : EXIT_OK;
  }
  if (!std::strcmp(argv[1], "--version")) {
    std::printf("oxu (OXU-Dasm) %d.%.2d\n", kVersionMajor, kVersionMinor);
    return EXIT_OK;
  }
  for (const auto& c : commands) {
    if (std::strcmp(argv[1], c.name) != 0) continue;
    auto values = c.valueOptions;
    auto flags = c.flagOptions;
    for (const char* f : {"json", "yes", "no", "quiet", "help"}) flags.emplace_back(f);
    TCliArgs args;
    std::string error;
    if (!args.parse(argc, argv, 2, values, flags, error)) {
      std::fprintf(stderr, "oxu %s: %s\nusage: oxu %s %s\n", c.name, error.c_str(), c.name,
                   c.synopsis);
      return EXIT_USAGE;
    }
    if (args.flag("help")) {
      printOut(std::string("usage: oxu ") + c.name + " " + c.synopsis + "\n");
      return EXIT_OK;
    }
    TCliHost host;
    if (args.flag("yes") && args.flag("no")) {
      std::fprintf(stderr, "oxu %s: --yes and --no exclude each other\n", c.name);
      return EXIT_USAGE;
    }
    if (args.flag("yes")) host.forcedAnswer = MsgAnswer::Yes;
    if (args.flag("no")) host.forcedAnswer = MsgAnswer::No;
    host.quiet = args.flag("quiet") || args.flag("json");
    return c.run(args, host);
  }
  std::fprintf(stderr, "oxu: unknown command '%s' (see oxu --help)\n", argv[1]);
  return EXIT_USAGE;
}
