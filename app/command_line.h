// The desktop program's command line: an optional "-noscan" switch and the
// name of the file to open.
#pragma once
#include <string>

struct TCommandLine {
  bool noScan = false;
  std::string file;  // empty: none given
};

// The longest start-up file name kept.
constexpr size_t kStartupNameRoom = 259;

// `rest` is the line after the program's name. A first word starting with
// "-" and then "noscan" (any case, six letters compared) sets the switch;
// the remainder, without a surrounding pair of double quotes and cut at
// kStartupNameRoom characters, is the file name.
TCommandLine parseCommandLine(const std::string& rest);

// The same for the words the shell already split: they are joined with
// single blanks, so a quoted path with blanks arrives as one word and stays
// whole.
TCommandLine parseCommandLine(int argc, const char* const* argv);
