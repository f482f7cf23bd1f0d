// Tracer state: set-ups, the private stack, breakpoints, fixed segments and
// the FIXEDREGS project record.
#include <gtest/gtest.h>

#include <cstring>

#include "base/le_read.h"
#include "trace_rig.h"

namespace {

// Base 0x400000, sections up to RVA 0x5000.
std::vector<uint8_t> extentImage() {
  TPeBuilder b;
  b.entryRva = 0x1000;
  b.addSection(".text", 0x1000, 0x1000, 0x200);
  b.addSection(".data", 0x4000, 0x1000, 0x200);
  return b.build();
}

TEST(FixedRegs, EntryPointStackMimicsTheProcessStart) {
  TParsedImage img(extentImage());
  TFixedRegs r;
  r.breakPoints.push_back({0x400, 0});
  r.setupEntryPoint(img.image);
  EXPECT_EQ(r.stackBase, 0x805000u);
  EXPECT_EQ(r.ESP, 0x808FC4u);
  EXPECT_EQ(r.readStack(r.ESP - r.stackBase), 0x77E9893Du);
  EXPECT_EQ(r.readStack(r.ESP + 4 - r.stackBase), 0x80E078u);  // the initial EDI
  EXPECT_EQ(r.EIP, 0x401000u);
  EXPECT_EQ(r.EFLAGS, 0x246u);
  EXPECT_EQ(r.EBX, 0x7FFDF000u);
  EXPECT_EQ(r.EBP, 0x808FF0u);
  EXPECT_EQ(r.exceptionList, 0xFFFFFFFFu);
  // The pushed values from the top: 0, EIP, 0, 0, 0, ...
  EXPECT_EQ(r.readStack(0x3FFC), 0u);
  EXPECT_EQ(r.readStack(0x3FF8), 0x401000u);
  EXPECT_EQ(r.readStack(0x3FE0), 0xFFFFFFFFu);
  EXPECT_EQ(r.readStack(0x3FD8), 0x808FC8u);  // ESP - 0x14 at its push
  // Stack bytes below ESP keep the fill pattern.
  EXPECT_EQ(r.stack[0x100], 0x00);
  EXPECT_EQ(r.stack[0x1FF], 0xFF);
  EXPECT_EQ(r.breakPoints.size(), 1u);  // set-ups keep breakpoints
}

TEST(FixedRegs, TlsCallbackSetupAndDefaultChoice) {
  TProgramImage p = buildProgramImage(2);
  TParsedImage img(p.bytes);
  ASSERT_EQ(img.image.tlsCallbackCount(), 2u);
  TFixedRegs r;
  r.setupTlsCallback(1, img.image);
  EXPECT_EQ(r.tlsIndex, 1);
  EXPECT_EQ(r.EIP, 0x401120u);
  EXPECT_EQ(r.EAX, r.EIP);
  EXPECT_EQ(r.ECX, 0x18u);
  EXPECT_EQ(r.EDI, 0x400000u);
  EXPECT_EQ(r.EFLAGS, 0x46u);
  EXPECT_EQ(r.ESP, r.stackBase + 0x4000 - 32);
  const uint32_t expect[] = {
      TFixedRegs::TLS_RETURN, 0x400000, 1, 0, 0, 0x400000, 0x402128, 0x12345678};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(r.readStack(r.ESP - r.stackBase + 4 * i), expect[i]) << i;
  EXPECT_EQ(r.readStack(r.EBP - r.stackBase), 0x12345678u);
  EXPECT_EQ(r.ESI, r.ESP + 16);

  r.setupTlsCallback(5, img.image);  // no such callback: EIP outside the file
  EXPECT_EQ(img.image.memoryToFileOffset(r.EIP), NOT_IN_FILE);

  r.setupDefault(img.image, true);
  EXPECT_EQ(r.tlsIndex, 0);
  EXPECT_EQ(r.EIP, 0x401100u);
  r.setupDefault(img.image, false);
  EXPECT_EQ(r.tlsIndex, 2);
  EXPECT_EQ(r.EIP, 0x401000u);

  TParsedImage plain(buildProgramImage(0).bytes);
  r.setupDefault(plain.image, true);
  EXPECT_EQ(r.tlsIndex, 0);
  EXPECT_EQ(r.EIP, 0x401000u);
}

TEST(FixedRegs, StackAreaBoundsAndHelpers) {
  TFixedRegs r;
  r.stackBase = 0x1000;
  EXPECT_TRUE(r.inStack(0x1000 + 16380));
  EXPECT_FALSE(r.inStack(0x1000 + 16381));
  EXPECT_FALSE(r.inStack(0x0FFF));
  r.writeStack(16380, 0xA1B2C3D4);
  EXPECT_EQ(r.readStack(16380), 0xA1B2C3D4u);
  r.writeStack(16381, 0x11111111);  // dropped
  EXPECT_EQ(r.stack[16383], 0xA1);
  EXPECT_EQ(r.readStack(16381), 0u);
  EXPECT_EQ(r.readStack(0xFFFFFFFF), 0u);
  r.ESP = 0x1000 + 0x4000;
  r.push(7);
  EXPECT_EQ(r.ESP, 0x4FFCu);
  EXPECT_EQ(r.pop(), 7u);
  r.ESP = 0x200;  // far below the stack: silent
  r.push(9);
  EXPECT_EQ(r.pop(), 0u);
}

TEST(FixedRegs, BreakPointsFixedSegmentsFaultsAndView) {
  TFixedRegs r;
  for (uint32_t o : {0x300u, 0x100u, 0x200u}) r.toggleBreakPoint(o);
  ASSERT_EQ(r.breakPoints.size(), 3u);
  EXPECT_EQ(r.breakPoints[0].offset, 0x100u);
  EXPECT_EQ(r.breakPoints[2].offset, 0x300u);
  r.toggleBreakPoint(0x80000000u);
  r.toggleBreakPoint(0x80000000u);
  EXPECT_EQ(r.breakPoints.size(), 3u);
  EXPECT_TRUE(r.isBreakPoint(0x200));
  EXPECT_FALSE(r.isBreakPoint(0x201));
  r.clearBreakPoints();
  EXPECT_FALSE(r.isBreakPoint(0x200));

  r.DS = 0x1234;
  r.FS = 0x38;
  EXPECT_EQ(r.fixedSegment('d'), 0);
  r.fixedSegs = 0x02;
  EXPECT_EQ(r.fixedSegment('d'), 0x1234);
  EXPECT_EQ(r.fixedSegment('f'), 0);
  EXPECT_EQ(r.fixedSegment('x'), 0);
  r.fixedSegs = 0x3F;
  EXPECT_EQ(r.fixedSegment('f'), 0x38);

  TParsedImage img(extentImage());
  r.recordFault(0x401234, true, img.image);
  EXPECT_EQ(r.faultAddress, 0x1234u);
  EXPECT_EQ(r.faultWrite, 1u);
  r.recordFault(0x1234, false, img.image);
  EXPECT_EQ(r.faultAddress, 0x1234u);
  EXPECT_EQ(r.faultWrite, 0u);

  r.fixed8 = 0x11;
  r.fixed16 = 0x20;
  r.fixed32 = 0x81;
  r.EAX = 5;
  r.EDI = 9;
  const TFixedRegView v = r.fixedRegView();
  EXPECT_EQ(v.mask[0], 0x11);
  EXPECT_EQ(v.mask[1], 0x20);
  EXPECT_EQ(v.mask[2], 0x81);
  EXPECT_EQ(v.value[0], 5u);
  EXPECT_EQ(v.value[7], 9u);
}

TFixedRegs filledRegs() {
  TFixedRegs r;
  r.fixed8 = 1;
  r.fixed16 = 2;
  r.fixed32 = 3;
  for (int i = 0; i < 8; ++i) r.reg[i] = 0x11111111u * uint32_t(i + 1);
  r.fixedSegs = 0x15;
  for (int i = 0; i < 6; ++i) r.sreg[i] = uint16_t(0x100 + i);
  r.EFLAGS = 0xA57;
  r.exceptionPending = 1;
  r.EIP = 0x401234;
  for (uint32_t i = 0; i < TFixedRegs::STACK_SIZE; ++i) r.stack[i] = uint8_t(i * 7);
  r.stackBase = 0x805000;
  r.exceptionList = 0x808000;
  r.tlsIndex = 1;
  r.toggleBreakPoint(0x600);
  r.toggleBreakPoint(0x400);
  r.faultAddress = 0x2222;
  r.faultWrite = 1;
  return r;
}

void expectSameRecordFields(const TFixedRegs& a, const TFixedRegs& b) {
  EXPECT_EQ(a.fixed8, b.fixed8);
  EXPECT_EQ(a.fixed32, b.fixed32);
  EXPECT_EQ(0, std::memcmp(a.reg, b.reg, sizeof a.reg));
  EXPECT_EQ(a.fixedSegs, b.fixedSegs);
  EXPECT_EQ(0, std::memcmp(a.sreg, b.sreg, sizeof a.sreg));
  EXPECT_EQ(a.EFLAGS, b.EFLAGS);
  EXPECT_EQ(a.exceptionPending, b.exceptionPending);
  EXPECT_EQ(a.EIP, b.EIP);
  EXPECT_EQ(0, std::memcmp(a.stack.get(), b.stack.get(), TFixedRegs::STACK_SIZE));
  EXPECT_EQ(a.stackBase, b.stackBase);
  EXPECT_EQ(a.exceptionList, b.exceptionList);
  EXPECT_EQ(a.tlsIndex, b.tlsIndex);
  ASSERT_EQ(a.breakPoints.size(), b.breakPoints.size());
  for (size_t i = 0; i < a.breakPoints.size(); ++i)
    EXPECT_EQ(a.breakPoints[i].offset, b.breakPoints[i].offset);
}

// The record round trip across the version rule for the fault fields, a
// stack larger than ours, and every kind of short or lying record. Records
// older than 230 are read through a project file (project_file_test).
TEST(FixedRegsRecord, RoundTripVersionsAndDamagedRecords) {
  const TFixedRegs src = filledRegs();
  std::vector<uint8_t> rec;
  ASSERT_TRUE(src.save(rec));
  ASSERT_EQ(rec.size(), 3 + 32 + 1 + 12 + 4 + 1 + 4 + 4 + 16384 + 12 + 4 + 16 + 8u);

  // Stack size 20000: 16384 bytes read, 3616 skipped.
  const size_t sizeAt = 3 + 32 + 1 + 12 + 4 + 1 + 4;
  std::vector<uint8_t> big(rec.begin(), rec.begin() + sizeAt);
  big.resize(sizeAt + 4);
  writeLe32(big.data() + sizeAt, 20000);
  big.insert(big.end(), rec.begin() + sizeAt + 4, rec.begin() + sizeAt + 4 + 16384);
  big.insert(big.end(), 3616, 0xCC);
  big.insert(big.end(), rec.begin() + sizeAt + 4 + 16384, rec.end());

  struct Row {
    const std::vector<uint8_t>* bytes;
    uint16_t version;
    bool faultsRead;
  } rows[] = {{&rec, 235, true}, {&rec, 234, false}, {&rec, 230, false}, {&big, 235, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.version << " size " << row.bytes->size());
    TFixedRegs dst;
    dst.faultAddress = 0x55;
    dst.faultWrite = 1;
    size_t used = 0;
    const size_t size = row.faultsRead ? row.bytes->size() : row.bytes->size() - 8;
    ASSERT_TRUE(dst.load(row.bytes->data(), size, row.version, &used));
    EXPECT_EQ(used, size);
    expectSameRecordFields(src, dst);
    EXPECT_EQ(dst.faultAddress, row.faultsRead ? 0x2222u : 0u);
    EXPECT_EQ(dst.faultWrite, row.faultsRead ? 1u : 0u);
  }

  // Every cut short of the whole record fails, reading only what it was given
  // (a copy of exactly that length, so a sanitizer sees any overread).
  for (size_t cut : {size_t(0), size_t(2), size_t(3), size_t(40), sizeAt + 2, sizeAt + 100,
                     rec.size() - 17, rec.size() - 9, rec.size() - 1}) {
    std::vector<uint8_t> part(rec.begin(), rec.begin() + long(cut));
    TFixedRegs d;
    EXPECT_FALSE(d.load(part.data(), part.size(), 235)) << cut;
  }
  // A breakpoint count far beyond the data.
  std::vector<uint8_t> lying(rec.begin(), rec.end() - 16 - 8);
  writeLe32(lying.data() + lying.size() - 4, 0xFFFFFFFFu);
  TFixedRegs d;
  EXPECT_FALSE(d.load(lying.data(), lying.size(), 235));
}

}  // namespace
