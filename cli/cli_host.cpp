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
  // A message box without a caption has nothing to put before the text.
  if (caption.empty())
    std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
  else
    std::fprintf(stderr, "%.*s: %.*s\n", int(caption.size()), caption.data(), int(text.size()),
                 text.data());
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  if (forcedAnswer) {
    MsgAnswer a = *forcedAnswer;
    // Yes/No stand for OK/Cancel where a dialog has those buttons.
    if (buttons == MsgButtons::OkCancel)
      a = (a == MsgAnswer::Yes || a == MsgAnswer::Ok) ? MsgAnswer::Ok : MsgAnswer::Cancel;
    return a;
  }
  return defaultAnswer(buttons);
}

void TCliHost::setStatusText(std::string_view text) {
  if (quiet || text.empty()) return;
  std::lock_guard lock(stderrLock);
  std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
}

std::optional<std::string> TCliHost::chooseOpenFile(std::string_view title, std::string_view,
                                                    std::string_view defaultName) {
  std::lock_guard lock(stderrLock);
  std::fprintf(stderr, "%.*s: %.*s (no file dialog in oxu: declined)\n", int(title.size()),
               title.data(), int(defaultName.size()), defaultName.data());
  return std::nullopt;
}

int TCliHost::askReplaceName(uint32_t address, std::string_view oldName, std::string& newName,
                             size_t) {
  if (!quiet) {
    std::lock_guard lock(stderrLock);
    std::fprintf(stderr, "Address already has a name!: %.8X \"%.*s\" -> \"%s\" (%s)\n", address,
                 int(oldName.size()), oldName.data(), newName.c_str(),
                 replaceAnswer == REPLACE_ANSWER_SKIP ? "kept" : "replaced");
  }
  return replaceAnswer;
}
