// The one door from core code to the user: message boxes, questions, file and
// colour choosers, the beep, the status bar and its gauges. The desktop
// program, the command-line tool and the tests each implement it.
// Status text and gauges may be set from worker threads; everything else is
// called on the user-interface thread (an implementation may marshal).
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class MsgIcon { None, Information, Warning, Exclamation, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No };

// Answers to "Address already has a name!" (a loaded symbol meets an existing name).
enum ReplaceAnswer : int {
  REPLACE_ANSWER_CANCEL = 2,
  REPLACE_ANSWER_REPLACE = 10,
  REPLACE_ANSWER_ALWAYS_REPLACE = 11,
  REPLACE_ANSWER_SKIP = 12,
  REPLACE_ANSWER_ALWAYS_SKIP = 13,
};

// Status-bar fields besides the main text.
enum class StatusField { FileSize, CursorAddress, CursorValue };

class Host {
 public:
  virtual ~Host() = default;

  virtual MsgAnswer message(std::string_view text, std::string_view caption, MsgIcon icon,
                            MsgButtons buttons = MsgButtons::Ok) = 0;

  // Main status text (worker threads too).
  virtual void setStatusText(std::string_view text) = 0;
  virtual void setStatusField(StatusField field, std::string_view text) = 0;

  // Progress gauges: index 1 or 2, value in thousandths, a counter shown beside it.
  virtual void showGauges(bool visible) = 0;
  virtual void setGauge(int index, int thousandths, int counter) = 0;

  // Empty result: the user cancelled.
  virtual std::optional<std::string> chooseOpenFile(std::string_view title, std::string_view filter,
                                                    std::string_view defaultName) = 0;
  virtual std::optional<std::string> chooseSaveFile(std::string_view title, std::string_view filter,
                                                    std::string_view defaultName) = 0;
  // Colours are 0x00BBGGRR; customColors are kept by the caller between calls.
  virtual std::optional<uint32_t> chooseColor(uint32_t initial,
                                              std::array<uint32_t, 16>& customColors) = 0;

  virtual void beep() = 0;

  // Asked from a loader thread; blocks it until the user answered. On
  // REPLACE_ANSWER_REPLACE newName holds the (possibly edited) name, at most
  // room - 1 characters.
  virtual int askReplaceName(uint32_t address, std::string_view oldName, std::string& newName,
                             size_t room) = 0;
};

// A Host that says nothing and answers every question with its default
// button; for batch work where no user is present.
class SilentHost : public Host {
 public:
  MsgAnswer message(std::string_view, std::string_view, MsgIcon,
                    MsgButtons buttons = MsgButtons::Ok) override;
  void setStatusText(std::string_view) override {}
  void setStatusField(StatusField, std::string_view) override {}
  void showGauges(bool) override {}
  void setGauge(int, int, int) override {}
  std::optional<std::string> chooseOpenFile(std::string_view, std::string_view,
                                            std::string_view) override {
    return std::nullopt;
  }
  std::optional<std::string> chooseSaveFile(std::string_view, std::string_view,
                                            std::string_view) override {
    return std::nullopt;
  }
  std::optional<uint32_t> chooseColor(uint32_t, std::array<uint32_t, 16>&) override {
    return std::nullopt;
  }
  void beep() override {}
  int askReplaceName(uint32_t, std::string_view, std::string&, size_t) override {
    return REPLACE_ANSWER_SKIP;
  }
};

// The answer a dialog gives when the user just presses Enter.
MsgAnswer defaultAnswer(MsgButtons buttons);
