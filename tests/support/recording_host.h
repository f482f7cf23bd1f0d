// A Host for tests: records every call and answers questions from a script.
#pragma once
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "base/host.h"

struct RecordedMessage {
  std::string text;
  std::string caption;
  MsgIcon icon;
  MsgButtons buttons;
  MsgAnswer answer;
};

class RecordingHost : public Host {
 public:
  // Answers handed out in order; when the script runs dry the default button answers.
  std::deque<MsgAnswer> answers;
  std::deque<std::optional<std::string>> fileAnswers;
  std::deque<std::optional<uint32_t>> colorAnswers;

  std::vector<RecordedMessage> messages;
  std::vector<std::string> statusTexts;
  std::vector<std::pair<StatusField, std::string>> statusFields;
  std::vector<std::string> fileDialogTitles;
  int beeps = 0;

  MsgAnswer message(std::string_view text, std::string_view caption, MsgIcon icon,
                    MsgButtons buttons = MsgButtons::Ok) override {
    std::lock_guard lock(mutex_);
    MsgAnswer a = defaultAnswer(buttons);
    if (buttons != MsgButtons::Ok && !answers.empty()) {
      a = answers.front();
      answers.pop_front();
    }
    messages.push_back({std::string(text), std::string(caption), icon, buttons, a});
    return a;
  }
  void setStatusText(std::string_view text) override {
    std::lock_guard lock(mutex_);
    statusTexts.emplace_back(text);
  }
  void setStatusField(StatusField f, std::string_view text) override {
    std::lock_guard lock(mutex_);
    statusFields.emplace_back(f, std::string(text));
  }
  void showGauges(bool) override {}
  void setGauge(int, int, int) override {}
  std::optional<std::string> chooseOpenFile(std::string_view title, std::string_view,
                                            std::string_view) override {
    return nextFile(title);
  }
  std::optional<std::string> chooseSaveFile(std::string_view title, std::string_view,
                                            std::string_view) override {
    return nextFile(title);
  }
  std::optional<uint32_t> chooseColor(uint32_t, std::array<uint32_t, 16>&) override {
    std::lock_guard lock(mutex_);
    if (colorAnswers.empty()) return std::nullopt;
    auto c = colorAnswers.front();
    colorAnswers.pop_front();
    return c;
  }
  void beep() override { ++beeps; }

  struct ReplaceQuestion {
    uint32_t address;
    std::string oldName, newName;
  };
  std::vector<ReplaceQuestion> replaceQuestions;
  // (answer, edited name or empty to keep the new name) handed out in order;
  // when the script runs dry the answer is "skip".
  std::deque<std::pair<int, std::string>> replaceAnswers;
  int askReplaceName(uint32_t address, std::string_view oldName, std::string& newName,
                     size_t room) override {
    std::lock_guard lock(mutex_);
    replaceQuestions.push_back({address, std::string(oldName), newName});
    if (replaceAnswers.empty()) return REPLACE_ANSWER_SKIP;
    auto [answer, edited] = replaceAnswers.front();
    replaceAnswers.pop_front();
    if (!edited.empty()) newName = edited.substr(0, room ? room - 1 : 0);
    return answer;
  }

  // "caption: text" of every message, in order: handy for one-line expectations.
  std::vector<std::string> messageLines() const {
    std::vector<std::string> out;
    for (auto& m : messages) out.push_back(m.caption + ": " + m.text);
    return out;
  }

 private:
  std::optional<std::string> nextFile(std::string_view title) {
    std::lock_guard lock(mutex_);
    fileDialogTitles.emplace_back(title);
    if (fileAnswers.empty()) return std::nullopt;
    auto f = fileAnswers.front();
    fileAnswers.pop_front();
    return f;
  }
  std::mutex mutex_;
};
