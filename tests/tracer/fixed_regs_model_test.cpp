// The fixed-register window's logic: marks from buttons, coupling in auto
// mode, canonical register texts, flags and the stack window.
#include <gtest/gtest.h>

#include "tracer/fixed_regs_model.h"

namespace {

constexpr int kEAX = 1001, kAH = 1002, kAL = 1003, kESP = 1017, kSP = 1018, kCS = 1021;
constexpr int kEditEAX = 1045, kEditESP = 1051, kEditCS = 1053;

TEST(FixedRegsModel, AutoModeCouplesDwordAndParts) {
  TFixedRegs regs;
  TFixedRegsModel m(regs);
  m.autoMode = true;
  m.clickButton(kEAX);
  EXPECT_TRUE(m.pressed(kAH));
  EXPECT_TRUE(m.pressed(kAL));
  EXPECT_EQ(regs.fixed32, 0x01);
  EXPECT_EQ(regs.fixed8, 0x11);
  EXPECT_EQ(regs.fixed16, 0x01);
  m.clickButton(kAL);  // releasing a part releases the dword
  EXPECT_FALSE(m.pressed(kEAX));
  EXPECT_TRUE(m.pressed(kAH));
  EXPECT_EQ(regs.fixed32, 0x00);
  EXPECT_EQ(regs.fixed8, 0x10);
  EXPECT_EQ(regs.fixed16, 0x00);
  m.clickButton(kESP);
  EXPECT_TRUE(m.pressed(kSP));
  EXPECT_EQ(regs.fixed16, 0x10);
  m.clickButton(kCS);
  EXPECT_EQ(regs.fixedSegs, 0x01);
}

TEST(FixedRegsModel, WithoutAutoModeBothBytesMakeTheWord) {
  TFixedRegs regs;
  TFixedRegsModel m(regs);
  m.clickButton(kAH);
  m.clickButton(kAL);
  EXPECT_FALSE(m.pressed(kEAX));
  EXPECT_EQ(regs.fixed16, 0x01);
  regs.fixed32 = 0x80;  // EDI known from elsewhere (a project)
  m.refresh();
  EXPECT_TRUE(m.pressed(1013));
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
  EXPECT_TRUE(m.flagChecked(1076));   // Z
  EXPECT_TRUE(m.flagChecked(1072));   // P
  EXPECT_FALSE(m.flagChecked(1070));  // C
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
  EXPECT_TRUE(m.stackLineIsEsp(0));
  EXPECT_FALSE(m.stackLineIsEsp(1));
  m.scrollStack(-1);
  EXPECT_EQ(m.stackFirst(), 0xFCu);
  EXPECT_EQ(m.stackThumb(), TFixedRegsModel::THUMB_MIDDLE);
  m.pageStack(-100);
  EXPECT_EQ(m.stackFirst(), 0u);
  EXPECT_EQ(m.stackThumb(), TFixedRegsModel::THUMB_TOP);
  m.pageStack(10000);
  EXPECT_EQ(m.stackFirst(), 16368u);
  EXPECT_EQ(m.stackThumb(), TFixedRegsModel::THUMB_END);
  m.moveStackThumb(TFixedRegsModel::THUMB_MIDDLE);
  EXPECT_EQ(m.stackFirst(), 8184u);
  m.moveStackThumb(TFixedRegsModel::THUMB_TOP);
  EXPECT_EQ(m.stackFirst(), 0u);
}

}  // namespace
