// Runs a shell command for tests and collects what it printed.
#pragma once
#include <string>

struct TCommandResult {
  int exit;  // -1 when it did not end normally
  std::string out;
  std::string err;
};

TCommandResult runCommand(const std::string& command);
