// oxu-dasm: the desktop program.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "app/command_line.h"
#include "app/dapp.h"

int main(int argc, char** argv) {
  // A write beyond the file-size limit then fails (EFBIG) and is reported as
  // the failed save it is, with the temporary file removed.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc == 2 && !std::strcmp(argv[1], "--version")) {
    std::fputs(versionText(), stdout);
    return 0;
  }
  // Qt takes its own options (-platform, ...) out of argv; the rest is ours.
  TDApp app(argc, argv);
  app.setCommandLine(parseCommandLine(argc, argv));
  return app.run();
}
