// The command-line tool's Host: messages go to standard error as
// "caption: text" (or "text" without a caption); questions take the answer given by --yes / --no, else the
// dialog's default button.
#pragma once
#include <optional>

#include "base/host.h"

class TCliHost : public Host {
 public:
  std::optional<MsgAnswer> forcedAnswer;  // from --yes / --no
  // Answer to a name collision while symbols are loaded (--replace-all /
  // --skip-all); without one an existing name is kept.
  int replaceAnswer = REPLACE_ANSWER_SKIP;
  bool quiet = false;  // --quiet: no status lines

  MsgAnswer message(std::string_view text, std::string_view caption, MsgIcon icon,
                    MsgButtons buttons = MsgButtons::Ok) override;
  void setStatusText(std::string_view text) override;
  void setStatusField(StatusField, std::string_view) override {}
  void showGauges(bool) override {}
  void setGauge(int, int, int) override {}
  // There is no file dialog to show: the request is declined, and said so, so
  // that a command ending on it does not end without a word.
  std::optional<std::string> chooseOpenFile(std::string_view title, std::string_view,
                                            std::string_view defaultName) override;
  std::optional<std::string> chooseSaveFile(std::string_view title, std::string_view,
                                            std::string_view defaultName) override {
    return chooseOpenFile(title, {}, defaultName);
  }
  std::optional<uint32_t> chooseColor(uint32_t, std::array<uint32_t, 16>&) override {
    return std::nullopt;
  }
  void beep() override {}
  int askReplaceName(uint32_t address, std::string_view oldName, std::string& newName,
                     size_t room) override;
};
