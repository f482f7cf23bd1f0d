// The subcommands of the command-line tool.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/cli_host.h"

// Exit codes shared by every subcommand.
enum CliExit : int {
  EXIT_OK = 0,
  EXIT_USAGE = 1,        // bad command line
  EXIT_LOAD_FAILED = 2,  // the file could not be read
  EXIT_FAILED = 3,       // the file was read but the request could not be carried out
};

struct TCliCommand {
  const char* name;
  const char* synopsis;  // one line, shown by --help
  std::vector<std::string> valueOptions;
  std::vector<std::string> flagOptions;
  int (*run)(const TCliArgs& args, TCliHost& host);
};

void addImageCommands(std::vector<TCliCommand>& commands);
void addPropsCommands(std::vector<TCliCommand>& commands);
void addSearchCommands(std::vector<TCliCommand>& commands);
void addEditCommands(std::vector<TCliCommand>& commands);
void addListCommands(std::vector<TCliCommand>& commands);
void addSymbolCommands(std::vector<TCliCommand>& commands);
void addTraceCommands(std::vector<TCliCommand>& commands);
void addResourceCommands(std::vector<TCliCommand>& commands);
// oxu imports --refs: every module and function with the code that uses it.
int printImportReferences(const TCliArgs& args, TCliHost& host);
void addRefsCommands(std::vector<TCliCommand>& commands);
void addProjectCommands(std::vector<TCliCommand>& commands);
void addAsmCommands(std::vector<TCliCommand>& commands);

// Whether a load scans for references. Only commands that print references
// pay for the scan (and wait for it); the others stay quiet and quick.
enum class LoadScan { Off, On };

// Shared by subcommands: loads the file named by the first positional
// argument into `doc` and, with LoadScan::On, waits for its reference scan;
// returns EXIT_OK or the exit code to end with.
class TDocument;
int loadDocumentArg(const TCliArgs& args, TDocument& doc, LoadScan scan = LoadScan::Off,
                    size_t expectedPositionals = 1);

// Shared by subcommands: the address given with --option, if any, into `out`;
// returns EXIT_OK, or EXIT_USAGE after saying why when it is no address.
int addressOption(const TCliArgs& args, const char* command, const char* option,
                  std::optional<uint32_t>& out);

// Writes text to standard output (all of it, or reports failure).
void printOut(const std::string& text);
