// The fixed-register window's logic: marks from buttons, coupling in auto
// mode, canonical register texts, flags and the stack window.
#include <gtest/gtest.h>

#include "tracer/fixed_regs_model.h"

namespace {

using V = std::vector<uint32_t>;

constexpr int kEAX = 1001, kAH = 1002, kAL = 1003, kESP = 1017, kSP = 1018, kCS = 1021;
constexpr int kEditEAX = 1045, kEditESP = 1051, kEditCS = 1053;

TEST(FixedRegsModel, ButtonsWithAndWithoutAutoMode) {
  TFixedRegs regs;
  TFixedRegsModel m(regs);
  m.autoMode = true;
  // After each click: EAX, AH, AL and SP pressed, then the marks fixed32, fixed8, fixed16, segments.
  const auto state = [&] {
    return V{m.pressed(kEAX), m.pressed(kAH), m.pressed(kAL), m.pressed(kSP),
             regs.fixed32,    regs.fixed8,    regs.fixed16,   regs.fixedSegs};
  };
  m.clickButton(kEAX);
  EXPECT_EQ(state(), (V{1, 1, 1, 0, 0x01, 0x11, 0x01, 0}));
  m.clickButton(kAL);  // releasing a part releases the dword
  EXPECT_EQ(state(), (V{0, 1, 0, 0, 0x00, 0x10, 0x00, 0}));
  m.clickButton(kESP);
  m.clickButton(kCS);
  EXPECT_EQ(state(), (V{0, 1, 0, 1, 0x10, 0x10, 0x10, 0x01}));

  // Without auto mode both bytes make the word, not the dword.
  TFixedRegs plain;
  TFixedRegsModel p(plain);
  p.clickButton(kAH);
  p.clickButton(kAL);
  EXPECT_EQ((V{p.pressed(kEAX), plain.fixed16}), (V{0, 0x01}));
  plain.fixed32 = 0x80;  // EDI known from elsewhere (a project)
  p.refresh();
  EXPECT_TRUE(p.pressed(1013));
}

TEST(FixedRegsModel, RegisterTextsAreReadAndRewritten) {
  TFixedRegs regs;
  TFixedRegsModel m(regs);
  struct Case {
    int id;
    const char* typed;
    const char* shown;
  } cases[] = {{kEditEAX, "12345", "00012345"},    {kEditCS, "1234", "1234"},
               {kEditEAX, "abcdefg1", "00ABCDEF"}, {kEditEAX, "123456789", "23456789"},
               {kEditCS, "12345", "2345"},         {kEditEAX, "zz", "00000000"}};
  for (const auto& c : cases) {
    m.setEditText(c.id, c.typed);
    m.apply();
    EXPECT_EQ(m.editText(c.id), c.shown) << c.typed;
  }
  EXPECT_EQ(regs.CS, 0x2345);
}

TEST(FixedRegsModel, FlagsAndStackWindow) {
  TFixedRegs regs;
  regs.EFLAGS = 0x246;
  TFixedRegsModel m(regs);
  // Z, P and C.
  EXPECT_EQ((V{m.flagChecked(1076), m.flagChecked(1072), m.flagChecked(1070)}), (V{1, 1, 0}));
  m.clickFlag(1070);
  m.clickFlag(1076);
  EXPECT_EQ(regs.EFLAGS, 0x207u);
  EXPECT_FALSE(TFixedRegsModel::isFlagBox(1071));

  regs.stackBase = 0x10000;
  m.setEditText(kEditESP, "10100");
  EXPECT_TRUE(m.apply());
  EXPECT_EQ(m.stackFirst(), 0x100u);
  regs.writeStack(0x100, 0xCAFEBABE);
  EXPECT_EQ(m.stackLine(0), "00010100:  CAFEBABE");
  EXPECT_TRUE(m.stackLineIsEsp(0) && !m.stackLineIsEsp(1));
  // Each move: the first line shown and where the thumb is.
  const auto where = [&] { return V{m.stackFirst(), uint32_t(m.stackThumb())}; };
  m.scrollStack(-1);
  EXPECT_EQ(where(), (V{0xFC, TFixedRegsModel::THUMB_MIDDLE}));
  m.pageStack(-100);
  EXPECT_EQ(where(), (V{0, TFixedRegsModel::THUMB_TOP}));
  m.pageStack(10000);
  EXPECT_EQ(where(), (V{16368, TFixedRegsModel::THUMB_END}));
  m.moveStackThumb(TFixedRegsModel::THUMB_MIDDLE);
  EXPECT_EQ(m.stackFirst(), 8184u);
  m.moveStackThumb(TFixedRegsModel::THUMB_TOP);
  EXPECT_EQ(m.stackFirst(), 0u);
}

}  // namespace
