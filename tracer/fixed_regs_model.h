// What the "Set fixed register values..." window shows and does: the fixed
// marks as toggle buttons, register values as hex text, seven flags and a
// ten-line window onto the private stack. No drawing; the window shows this.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "tracer/fixed_regs.h"

// Control ids of the window.
enum FixRegControl : int {
  FRC_FIRST_BUTTON = 1001,          // EAX, AH, AL, EBX, BH, BL, ECX, CH, CL, EDX, DH, DL,
                                    // EDI, DI, ESI, SI, ESP, SP, EBP, BP (1001..1020)
  FRC_FIRST_SEGMENT_BUTTON = 1021,  // CS, DS, ES, SS, FS, GS (1021..1026)
  FRC_LAST_BUTTON = 1026,
  FRC_FIRST_REGISTER_EDIT = 1045,  // EAX, EBX, ECX, EDX, EDI, ESI, ESP, EBP (1045..1052)
  FRC_FIRST_SEGMENT_EDIT = 1053,   // CS, DS, ES, SS, FS, GS (1053..1058)
  FRC_LAST_EDIT = 1058,
  FRC_STACK = 1065,
  FRC_FLAG_BASE = 1070,  // + EFLAGS bit: C 1070, P 1072, A 1074, Z 1076, S 1077, D 1080, O 1081
};

class TFixedRegsModel {
 public:
  static constexpr const char* kTitle = "Set fixed register values...";
  static constexpr int kStackLines = 10;
  static constexpr uint32_t kShownFlags = 0xCD5;

  explicit TFixedRegsModel(TFixedRegs& regs) : regs_(regs) { refresh(); }

  // "Autocheck included FixRegs": pressing a register presses its parts.
  bool autoMode = false;

  // State → window.
  void refresh();
  // Window → state: marks, register texts (rewritten canonically); true when
  // ESP changed (the stack window then moved to it).
  bool apply();

  static const char* buttonText(int id);
  bool pressed(int id) const { return pressed_[id - FRC_FIRST_BUTTON]; }
  // A click toggles the button (with its coupled parts in auto mode), then applies.
  void clickButton(int id);

  const std::string& editText(int id) const { return edits_[id - FRC_FIRST_REGISTER_EDIT]; }
  void setEditText(int id, const std::string& text) { edits_[id - FRC_FIRST_REGISTER_EDIT] = text; }

  static bool isFlagBox(int id);
  bool flagChecked(int id) const { return flags_ >> (id - FRC_FLAG_BASE) & 1; }
  // A click on any flag box sets all seven EFLAGS bits from the boxes.
  void clickFlag(int id);

  // The stack window: line k shows "%.8X:  %.8X" (address, dword there).
  uint32_t stackFirst() const { return stackFirst_; }
  std::string stackLine(int k) const;
  bool stackLineIsEsp(int k) const;
  void moveStackToEsp();
  void scrollStack(int lines);  // 4 bytes a line
  void pageStack(int pages);    // 12 bytes a page
  // The scroll bar's thumb only tells where the window is: at the top, in
  // between or at the end. Moving the thumb there moves the window.
  enum StackThumb : int { THUMB_TOP, THUMB_MIDDLE, THUMB_END };
  StackThumb stackThumb() const;
  void moveStackThumb(StackThumb thumb);

 private:
  void setStackFirst(int64_t first);

  TFixedRegs& regs_;
  std::array<bool, FRC_LAST_BUTTON - FRC_FIRST_BUTTON + 1> pressed_{};
  std::array<std::string, FRC_LAST_EDIT - FRC_FIRST_REGISTER_EDIT + 1> edits_;
  uint32_t flags_ = 0;  // the boxes, as EFLAGS bits
  uint32_t stackFirst_ = 0;
  uint32_t followedEsp_ = 0xFFFFFFFFu;
};
