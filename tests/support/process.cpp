#include "support/process.h"

#include <sys/wait.h>

#include <cstdio>

#include "support/fixtures.h"

TCommandResult runCommand(const std::string& command) {
  TempDir dir;
  const std::string errFile = dir.file("stderr");
  TCommandResult r{-1, {}, {}};
  FILE* p = popen((command + " 2>'" + errFile + "'").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = pclose(p);
  r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const auto err = readFile(errFile);
  r.err.assign(err.begin(), err.end());
  return r;
}
