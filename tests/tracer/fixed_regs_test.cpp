// Tracer state: set-ups, the private stack, breakpoints, fixed segments and
// the FIXEDREGS project record.
#include <gtest/gtest.h>

#include <cstring>

#include "base/le_read.h"
#include "trace_rig.h"

namespace {

using V = std::vector<uint32_t>;

// Base 0x400000, sections up to RVA 0x5000.
std::vector<uint8_t> extentImage() {
  TPeBuilder b;
  b.entryRva = 0x1000;
  b.addSection(".text", 0x1000, 0x1000, 0x200);
  b.addSection(".data", 0x4000, 0x1000, 0x200);
  return b.build();
}

TEST(FixedRegs, TlsCallbackSetupAndDefaultChoice) {
  TProgramImage p = buildProgramImage(2);
  TParsedImage img(p.bytes);
  ASSERT_EQ(img.image.tlsCallbackCount(), 2u);
  TFixedRegs r;
  r.setupTlsCallback(1, img.image);
  EXPECT_EQ((V{uint32_t(r.tlsIndex), r.EIP, r.EAX, r.ECX, r.EDI, r.EFLAGS, r.ESP, r.ESI}),
            (V{1, 0x401120, 0x401120, 0x18, 0x400000, 0x46, r.stackBase + 0x4000 - 32,
               r.ESP + 16}));
  V stack;
  for (uint32_t i = 0; i < 8; ++i) stack.push_back(r.readStack(r.ESP - r.stackBase + 4 * i));
  EXPECT_EQ(stack, (V{TFixedRegs::TLS_RETURN, 0x400000, 1, 0, 0, 0x400000, 0x402128, 0x12345678}));
  EXPECT_EQ(r.readStack(r.EBP - r.stackBase), 0x12345678u);

  r.setupTlsCallback(5, img.image);  // no such callback: EIP outside the file
  EXPECT_EQ(img.image.memoryToFileOffset(r.EIP), NOT_IN_FILE);

  // The setting "start at the first TLS callback", with and without callbacks.
  TParsedImage plain(buildProgramImage(0).bytes);
  struct Row {
    const TImageInfo* image;
    bool atCallback;
    V tlsIndexAndEip;
  } rows[] = {{&img.image, true, {0, 0x401100}},
              {&img.image, false, {2, 0x401000}},
              {&plain.image, true, {0, 0x401000}}};
  for (const Row& row : rows) {
    r.setupDefault(*row.image, row.atCallback);
    EXPECT_EQ((V{uint32_t(r.tlsIndex), r.EIP}), row.tlsIndexAndEip);
  }
}

TEST(FixedRegs, StackAreaBoundsAndHelpers) {
  TFixedRegs r;
  r.stackBase = 0x1000;
  EXPECT_TRUE(r.inStack(0x1000 + 16380));
  EXPECT_FALSE(r.inStack(0x1000 + 16381) || r.inStack(0x0FFF));
  r.writeStack(16380, 0xA1B2C3D4);
  EXPECT_EQ(r.readStack(16380), 0xA1B2C3D4u);
  r.writeStack(16381, 0x11111111);  // dropped
  EXPECT_EQ((V{r.stack[16383], r.readStack(16381), r.readStack(0xFFFFFFFF)}), (V{0xA1, 0, 0}));
  r.ESP = 0x1000 + 0x4000;
  r.push(7);
  EXPECT_EQ(r.ESP, 0x4FFCu);
  EXPECT_EQ(r.pop(), 7u);
  r.ESP = 0x200;  // far below the stack: silent
  r.push(9);
  EXPECT_EQ(r.pop(), 0u);
}

TEST(FixedRegs, BreakPointsFixedSegmentsFaultsViewAndEntryPoint) {
  TFixedRegs r;
  for (uint32_t o : {0x300u, 0x100u, 0x200u, 0x80000000u, 0x80000000u}) r.toggleBreakPoint(o);
  V offsets;
  for (const TBreakPoint& b : r.breakPoints) offsets.push_back(b.offset);
  EXPECT_EQ(offsets, (V{0x100, 0x200, 0x300}));
  EXPECT_TRUE(r.isBreakPoint(0x200));
  EXPECT_FALSE(r.isBreakPoint(0x201));
  r.clearBreakPoints();
  EXPECT_FALSE(r.isBreakPoint(0x200));

  r.DS = 0x1234;
  r.FS = 0x38;
  struct Row {
    uint8_t fixedSegs;
    char segment;
    int expected;
  } rows[] = {{0, 'd', 0}, {0x02, 'd', 0x1234}, {0x02, 'f', 0}, {0x02, 'x', 0}, {0x3F, 'f', 0x38}};
  for (const Row& row : rows) {
    r.fixedSegs = row.fixedSegs;
    EXPECT_EQ(r.fixedSegment(row.segment), row.expected) << row.segment;
  }

  TParsedImage img(extentImage());
  r.recordFault(0x401234, true, img.image);
  EXPECT_EQ((V{r.faultAddress, r.faultWrite}), (V{0x1234, 1}));
  r.recordFault(0x1234, false, img.image);
  EXPECT_EQ((V{r.faultAddress, r.faultWrite}), (V{0x1234, 0}));

  r.fixed8 = 0x11;
  r.fixed16 = 0x20;
  r.fixed32 = 0x81;
  r.EAX = 5;
  r.EDI = 9;
  const TFixedRegView v = r.fixedRegView();
  EXPECT_EQ((V{v.mask[0], v.mask[1], v.mask[2], v.value[0], v.value[7]}),
            (V{0x11, 0x20, 0x81, 5, 9}));
  // The entry-point set-up keeps breakpoints. Registers, then the stack from ESP (entry return,
  // the initial EDI) and the pushed values from the top: 0, EIP, 0, 0, 0, ..., ESP - 0x14 at its
  // push.
  r.toggleBreakPoint(0x400);
  r.setupEntryPoint(img.image);
  EXPECT_EQ((V{r.stackBase, r.ESP, r.EIP, r.EFLAGS, r.EBX, r.EBP, r.exceptionList}),
            (V{0x805000, 0x808FC4, 0x401000, 0x246, 0x7FFDF000, 0x808FF0, 0xFFFFFFFF}));
  EXPECT_EQ((V{r.readStack(r.ESP - r.stackBase), r.readStack(r.ESP + 4 - r.stackBase),
               r.readStack(0x3FFC), r.readStack(0x3FF8), r.readStack(0x3FE0), r.readStack(0x3FD8)}),
            (V{0x77E9893D, 0x80E078, 0, 0x401000, 0xFFFFFFFF, 0x808FC8}));
  // Stack bytes below ESP keep the fill pattern.
  EXPECT_EQ((V{r.stack[0x100], r.stack[0x1FF], uint32_t(r.breakPoints.size())}), (V{0, 0xFF, 1}));
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

// The record's fields but the fault address and kind, as one list.
V recordFields(const TFixedRegs& a) {
  V v{a.fixed8,           a.fixed16, a.fixed32,   a.fixedSegs,     a.EFLAGS,
      a.exceptionPending, a.EIP,     a.stackBase, a.exceptionList, uint32_t(a.tlsIndex)};
  v.insert(v.end(), a.reg, a.reg + 8);
  v.insert(v.end(), a.sreg, a.sreg + 6);
  v.insert(v.end(), a.stack.get(), a.stack.get() + TFixedRegs::STACK_SIZE);
  for (const TBreakPoint& b : a.breakPoints) v.push_back(b.offset);
  return v;
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
    EXPECT_EQ(recordFields(dst), recordFields(src));
    EXPECT_EQ((V{dst.faultAddress, dst.faultWrite}), (row.faultsRead ? V{0x2222, 1} : V{0, 0}));
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
