#include "tracer/fixed_regs_model.h"

#include "base/text_format.h"

namespace {

// The last first line the stack window may start at.
constexpr uint32_t kStackLastFirst = 16368;

enum Mark { M8, M16, M32, MSEG };
struct ButtonInfo {
  const char* text;
  Mark mark;
  uint8_t bit;
};
// In control order; bits by the x86 register numbers of each size.
constexpr ButtonInfo kButtons[] = {{"EAX", M32, 0}, {"AH", M8, 4},   {"AL", M8, 0},
                                   {"EBX", M32, 3}, {"BH", M8, 7},   {"BL", M8, 3},
                                   {"ECX", M32, 1}, {"CH", M8, 5},   {"CL", M8, 1},
                                   {"EDX", M32, 2}, {"DH", M8, 6},   {"DL", M8, 2},
                                   {"EDI", M32, 7}, {"DI", M16, 7},  {"ESI", M32, 6},
                                   {"SI", M16, 6},  {"ESP", M32, 4}, {"SP", M16, 4},
                                   {"EBP", M32, 5}, {"BP", M16, 5},  {"CS", MSEG, 0},
                                   {"DS", MSEG, 1}, {"ES", MSEG, 2}, {"SS", MSEG, 3},
                                   {"FS", MSEG, 4}, {"GS", MSEG, 5}};

// Edit boxes: EAX, EBX, ECX, EDX, EDI, ESI, ESP, EBP, then the segments.
constexpr int kEditRegister[8] = {0, 3, 1, 2, 7, 6, 4, 5};
constexpr int kEditSegment[6] = {1, 3, 0, 2, 4, 5};  // CS, DS, ES, SS, FS, GS by sreg number

uint8_t& markByte(TFixedRegs& r, Mark m) {
  switch (m) {
    case M8: return r.fixed8;
    case M16: return r.fixed16;
    case M32: return r.fixed32;
    default: return r.fixedSegs;
  }
}

// Hex digits up to the first other character, at most nine characters read.
uint32_t readHex(const std::string& text) {
  uint32_t v = 0;
  for (size_t i = 0; i < text.size() && i < 9; ++i) {
    const char c = text[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else
      break;
    v = v << 4 | uint32_t(d);
  }
  return v;
}

}  // namespace

const char* TFixedRegsModel::buttonText(int id) { return kButtons[id - FRC_FIRST_BUTTON].text; }

bool TFixedRegsModel::isFlagBox(int id) {
  const int bit = id - FRC_FLAG_BASE;
  return bit >= 0 && bit < 12 && (kShownFlags >> bit & 1);
}

void TFixedRegsModel::refresh() {
  for (size_t i = 0; i < pressed_.size(); ++i)
    pressed_[i] = markByte(regs_, kButtons[i].mark) >> kButtons[i].bit & 1;
  for (int i = 0; i < 8; ++i) edits_[i] = wsString("%.8X", regs_.reg[kEditRegister[i]]);
  for (int i = 0; i < 6; ++i) edits_[8 + i] = wsString("%.4X", regs_.sreg[kEditSegment[i]]);
  flags_ = regs_.EFLAGS & kShownFlags;
  if (regs_.ESP != followedEsp_) moveStackToEsp();
}

bool TFixedRegsModel::apply() {
  regs_.fixed8 = regs_.fixed16 = regs_.fixed32 = regs_.fixedSegs = 0;
  for (size_t i = 0; i < pressed_.size(); ++i)
    if (pressed_[i]) markByte(regs_, kButtons[i].mark) |= uint8_t(1u << kButtons[i].bit);
  // A word register is known when its dword is, or both of its byte halves.
  for (int r = 0; r < 4; ++r)
    if ((regs_.fixed32 >> r & 1) || ((regs_.fixed8 >> r & 1) && (regs_.fixed8 >> (r + 4) & 1)))
      regs_.fixed16 |= uint8_t(1u << r);
  const uint32_t oldEsp = regs_.ESP;
  for (int i = 0; i < 8; ++i) {
    regs_.reg[kEditRegister[i]] = readHex(edits_[i]);
    edits_[i] = wsString("%.8X", regs_.reg[kEditRegister[i]]);
  }
  for (int i = 0; i < 6; ++i) {
    regs_.sreg[kEditSegment[i]] = uint16_t(readHex(edits_[8 + i]));
    edits_[8 + i] = wsString("%.4X", regs_.sreg[kEditSegment[i]]);
  }
  if (regs_.ESP == oldEsp) return false;
  moveStackToEsp();
  return true;
}

void TFixedRegsModel::clickButton(int id) {
  const int i = id - FRC_FIRST_BUTTON;
  pressed_[i] = !pressed_[i];
  if (autoMode && i < 12) {
    const int group = i / 3 * 3;
    if (i == group && pressed_[i]) pressed_[group + 1] = pressed_[group + 2] = true;
    if (i != group && !pressed_[i]) pressed_[group] = false;
  } else if (autoMode && i < 20) {
    const int pair = i & ~1;
    if (i == pair && pressed_[i]) pressed_[pair + 1] = true;
    if (i != pair && !pressed_[i]) pressed_[pair] = false;
  }
  apply();
}

void TFixedRegsModel::clickFlag(int id) {
  if (!isFlagBox(id)) return;
  flags_ ^= 1u << (id - FRC_FLAG_BASE);
  regs_.EFLAGS = (regs_.EFLAGS & ~kShownFlags) | flags_;
}

std::string TFixedRegsModel::stackLine(int k) const {
  const uint32_t offset = stackFirst_ + 4u * uint32_t(k);
  return wsString("%.8X:  %.8X", regs_.stackBase + offset, regs_.readStack(offset));
}

bool TFixedRegsModel::stackLineIsEsp(int k) const {
  return regs_.stackBase + stackFirst_ + 4u * uint32_t(k) == regs_.ESP;
}

void TFixedRegsModel::setStackFirst(int64_t first) {
  if (first < 1) first = 0;
  if (first + 16 >= 16385) first = kStackLastFirst;
  stackFirst_ = uint32_t(first);
}

void TFixedRegsModel::moveStackToEsp() {
  followedEsp_ = regs_.ESP;
  setStackFirst(int64_t(regs_.ESP) - int64_t(regs_.stackBase));
}

TFixedRegsModel::StackThumb TFixedRegsModel::stackThumb() const {
  if (stackFirst_ == 0) return THUMB_TOP;
  return stackFirst_ >= kStackLastFirst ? THUMB_END : THUMB_MIDDLE;
}

void TFixedRegsModel::moveStackThumb(StackThumb thumb) {
  setStackFirst(thumb == THUMB_TOP   ? 0
                : thumb == THUMB_END ? kStackLastFirst
                                     : kStackLastFirst / 2);
}

void TFixedRegsModel::scrollStack(int lines) { setStackFirst(int64_t(stackFirst_) + 4 * lines); }
void TFixedRegsModel::pageStack(int pages) { setStackFirst(int64_t(stackFirst_) + 12 * pages); }
