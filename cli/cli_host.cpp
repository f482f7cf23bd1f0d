#include "cli/cli_host.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace {
std::mutex stderrLock;
}

MsgAnswer TCliHost::message(std::string_view text, std::string_view caption, MsgIcon,
                            MsgButtons buttons) {
  std::lock_guard lock(stderrLock);
  std::fprintf(stderr, "%.*s: %.*s\n", int(caption.size()), caption.data(), int(text.size()),
               text.data());
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  if (forcedAnswer) {
    MsgAnswer a = *forcedAnswer;
    // Yes/No stand for OK/Cancel where a dialog has those buttons.
    if (buttons == MsgButtons::OkCancel) a = (a == MsgAnswer::Yes || a == MsgAnswer::Ok)
                                                 ? MsgAnswer::Ok : MsgAnswer::Cancel;
    return a;
  }
  return defaultAnswer(buttons);
}

void TCliHost::setStatusText(std::string_view text) {
  if (quiet || text.empty()) return;
  std::lock_guard lock(stderrLock);
  std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
}
