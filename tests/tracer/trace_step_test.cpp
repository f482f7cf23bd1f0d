// One traced step: statuses and their refusals, memory mapping, string
// repeats, stack instructions, branches with history, the kernel32
// stand-ins, TLS and entry returns, RDTSC and exception dispatch.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "base/le_read.h"
#include "support/fixtures.h"
#include "trace_rig.h"

namespace {

constexpr uint32_t kCode = 0x401000;  // file 0x400
constexpr uint32_t kData = 0x402000;  // file 0x600
constexpr uint32_t kDataFile = 0x600;

struct Snapshot {
  uint32_t reg[8];
  uint32_t eip, eflags, exceptionList;
  uint8_t pending;
  std::vector<uint8_t> stack, file;
};
Snapshot snap(TTraceRig& rig) {
  Snapshot s;
  std::memcpy(s.reg, rig.regs.reg, sizeof s.reg);
  s.eip = rig.regs.EIP;
  s.eflags = rig.regs.EFLAGS;
  s.exceptionList = rig.regs.exceptionList;
  s.pending = rig.regs.exceptionPending;
  s.stack.assign(rig.regs.stack.get(), rig.regs.stack.get() + TFixedRegs::STACK_SIZE);
  s.file.assign(rig.file(), rig.file() + rig.env.fileSize + 16);
  return s;
}
void expectUnchanged(TTraceRig& rig, const Snapshot& s, const std::string& what) {
  EXPECT_EQ(0, std::memcmp(s.reg, rig.regs.reg, sizeof s.reg)) << what;
  EXPECT_EQ(s.eip, rig.regs.EIP) << what;
  EXPECT_EQ(s.eflags, rig.regs.EFLAGS) << what;
  EXPECT_EQ(s.exceptionList, rig.regs.exceptionList) << what;
  EXPECT_EQ(0, std::memcmp(s.stack.data(), rig.regs.stack.get(), s.stack.size())) << what;
  EXPECT_EQ(0, std::memcmp(s.file.data(), rig.file(), s.file.size())) << what;
}

struct StepCase {
  const char* name;
  std::vector<uint8_t> code;
  std::function<void(TTraceRig&)> setup;
  int status;
  std::function<void(TTraceRig&)> check;  // null: a refusal that changes nothing
};

TEST(TraceStep, StatusTable) {
  const TProgramImage program = buildProgramImage();
  const uint32_t messageBox = program.slots[4];
  const auto none = [](TTraceRig&) {};
  const StepCase cases[] = {
      {"CLI", {0xFA}, none, TRACE_ILLEGAL_COMMAND, nullptr},
      {"STI", {0xFB}, none, TRACE_ILLEGAL_COMMAND, nullptr},
      {"LEA register form", {0x8D, 0xC3}, none, TRACE_ILLEGAL_COMMAND, nullptr},
      {"INT 3", {0xCC}, none, TRACE_NOT_SUPPORTED, nullptr},
      {"segment prefix CS", {0x2E, 0x8B, 0x00}, none, TRACE_NOT_SUPPORTED, nullptr},
      {"LOCK", {0xF0, 0x01, 0x00}, none, TRACE_NOT_SUPPORTED, nullptr},
      {"far call", {0x9A, 0, 0, 0, 0, 0, 0}, none, TRACE_NOT_SUPPORTED, nullptr},
      {"JMP through memory",
       {0xFF, 0x25, 0x00, 0x20, 0x40, 0x00},
       none,
       TRACE_NOT_SUPPORTED,
       nullptr},
      {"MOV to segment register", {0x8E, 0xD8}, none, TRACE_NOT_SUPPORTED, nullptr},
      {"EIP outside the file",
       {0x90},
       [](TTraceRig& r) { r.regs.EIP = 0x12345678; },
       TRACE_EIP_NOT_IN_FILE,
       nullptr},
      {"exception pending",
       {0x90},
       [](TTraceRig& r) { r.regs.exceptionPending = 1; },
       TRACE_EXCEPTION,
       nullptr},
      {"MOV EAX,fs:[0] after set-up",
       {0x64, 0xA1, 0, 0, 0, 0},
       none,
       TRACE_OK,
       [](TTraceRig& r) { EXPECT_EQ(r.regs.EAX, 0xFFFFFFFFu); }},
      {"MOV fs:[0],ESP",
       {0x64, 0x89, 0x25, 0, 0, 0, 0},
       none,
       TRACE_OK,
       [](TTraceRig& r) { EXPECT_EQ(r.regs.exceptionList, r.regs.ESP); }},
      {"MOV EAX,fs:[0x18]", {0x64, 0xA1, 0x18, 0, 0, 0}, none, TRACE_ILLEGAL_ADDRESS, nullptr},
      {"MOV EAX,fs:[4] and the lost write",
       {0x64, 0x8B, 0x05, 4, 0, 0, 0},
       none,
       TRACE_OK,
       [](TTraceRig& r) { EXPECT_EQ(r.regs.EAX, r.regs.stackBase + 0x4000); }},
      {"ADD fs:[8],EAX changes nothing lasting",
       {0x64, 0x01, 0x05, 8, 0, 0, 0},
       none,
       TRACE_OK,
       [](TTraceRig& r) { EXPECT_EQ(r.regs.exceptionList, 0xFFFFFFFFu); }},
      {"read outside file and stack records the fault",
       {0x8B, 0x03},
       [](TTraceRig& r) { r.regs.EBX = 0x00500010; },
       TRACE_ILLEGAL_ADDRESS,
       [](TTraceRig& r) {
         EXPECT_EQ(r.regs.faultAddress, 0x100010u);
         EXPECT_EQ(r.regs.faultWrite, 0u);
         EXPECT_EQ(r.regs.EIP, kCode);
       }},
      {"write into the zero bytes behind the file",
       {0x89, 0x03},
       [](TTraceRig& r) { r.regs.EBX = 0x4031FE; },
       TRACE_ILLEGAL_ADDRESS,
       [](TTraceRig& r) { EXPECT_EQ(r.regs.faultWrite, 1u); }},
      {"displacement past the end of data",
       {},
       [](TTraceRig& r) {
         r.file()[0x9FE] = 0x8B;
         r.file()[0x9FF] = 0x05;  // mov eax,[disp32] with no displacement left
         r.regs.EIP = 0x4031FE;
       },
       TRACE_ILLEGAL_ADDRESS,
       nullptr},
      {"PUSH EAX with ESP = stackBase + 2",
       {0x50},
       [](TTraceRig& r) { r.regs.ESP = r.regs.stackBase + 2; },
       TRACE_ILLEGAL_STACK,
       nullptr},
      {"PUSH EAX with ESP in the file's data",
       {0x50},
       [](TTraceRig& r) {
         r.regs.ESP = kData + 0x104;
         r.regs.EAX = 0xCAFEBABE;
       },
       TRACE_OK,
       [](TTraceRig& r) {
         EXPECT_EQ(r.dword(kData + 0x100), 0xCAFEBABEu);
         EXPECT_EQ(r.regs.ESP, kData + 0x100);
       }},
      {"POP EAX with ESP outside both",
       {0x58},
       [](TTraceRig& r) { r.regs.ESP = 0x10; },
       TRACE_ILLEGAL_STACK,
       nullptr},
      {"MessageBoxA through its import slot",
       {0xFF, 0x15, uint8_t(messageBox), uint8_t(messageBox >> 8), uint8_t(messageBox >> 16),
        uint8_t(messageBox >> 24)},
       none,
       TRACE_NOT_SUPPORTED,
       nullptr},
      {"call through a non-import",
       {0xFF, 0x15, 0x00, 0x20, 0x40, 0x00},
       none,
       TRACE_NOT_SUPPORTED,
       nullptr},
      {"CALL rel to outside the file", {0xE8, 0, 0, 0, 0x10}, none, TRACE_ILLEGAL_ADDRESS, nullptr},
      {"CALL with ESP outside the stack",
       {0xE8, 0, 0, 0, 0},
       [](TTraceRig& r) { r.regs.ESP = kData + 0x100; },
       TRACE_ILLEGAL_STACK,
       nullptr},
      {"RET to outside the file",
       {0xC3},
       [](TTraceRig& r) { r.regs.writeStack(r.regs.ESP - r.regs.stackBase, 0x10); },
       TRACE_ILLEGAL_ADDRESS,
       nullptr},
      {"RET with ESP in the file",
       {0xC3},
       [](TTraceRig& r) { r.regs.ESP = kData; },
       TRACE_ILLEGAL_STACK,
       nullptr},
      {"LOOP to outside the file keeps ECX",
       {0xE2, 0x80},
       [](TTraceRig& r) { r.regs.ECX = 5; },
       TRACE_ILLEGAL_ADDRESS,
       nullptr},
      {"JNE taken to outside the file",
       {0x0F, 0x85, 0, 0, 0, 0x10},
       [](TTraceRig& r) { r.regs.EFLAGS = 0x202; },
       TRACE_ILLEGAL_ADDRESS,
       nullptr},
      {"JNE not taken ignores its target",
       {0x0F, 0x85, 0, 0, 0, 0x10},
       [](TTraceRig& r) { r.regs.EFLAGS = 0x242; },
       TRACE_OK,
       [](TTraceRig& r) { EXPECT_EQ(r.regs.EIP, kCode + 6); }},
      {"DIV by zero is an exception",
       {0xF7, 0xF1},
       [](TTraceRig& r) {
         r.regs.ECX = 0;
         r.regs.EAX = 7;
       },
       TRACE_EXCEPTION,
       [](TTraceRig& r) {
         EXPECT_EQ(r.regs.exceptionPending, 1);
         EXPECT_EQ(r.regs.EIP, kCode);
         EXPECT_EQ(r.regs.EAX, 7u);
         EXPECT_EQ(r.step(), TRACE_EXCEPTION);
       }},
      {"IDIV quotient overflow is an exception",
       {0xF6, 0xF9},
       [](TTraceRig& r) {
         r.regs.ECX = 0xFF;    // CL = -1
         r.regs.EAX = 0x8000;  // AX = -32768
       },
       TRACE_EXCEPTION,
       [](TTraceRig& r) { EXPECT_EQ(r.regs.EAX, 0x8000u); }},
      {"C6 with reg 1 is no MOV", {0xC6, 0xC8, 0x00}, none, TRACE_NOT_SUPPORTED, nullptr},
      {"RDTSC",
       {0x0F, 0x31},
       none,
       TRACE_RDTSC,
       [](TTraceRig& r) {
         EXPECT_EQ(r.regs.EAX, 0x1000u);
         EXPECT_EQ(r.regs.EDX, 0u);
         r.regs.EIP = kCode;
         EXPECT_EQ(r.step(), TRACE_RDTSC);
         EXPECT_EQ(r.regs.EAX, 0x2000u);
         EXPECT_EQ(r.regs.EDX, 0u);
       }},
      {"16 bytes with prefixes",
       {0xF3, 0xF3, 0xF3, 0xF3, 0xF3, 0xF3, 0x81, 0x05, 0, 0x20, 0x40, 0, 1, 0, 0, 0},
       none,
       TRACE_TOO_LONG,
       nullptr},
      {"15 bytes with prefixes runs",
       {0xF3, 0xF3, 0xF3, 0xF3, 0xF3, 0x81, 0x05, 0, 0x20, 0x40, 0, 1, 0, 0, 0},
       none,
       TRACE_OK,
       [](TTraceRig& r) { EXPECT_EQ(r.dword(kData), 1u); }},
      {"register form at the file end runs",
       {},
       [](TTraceRig& r) {
         r.file()[0x9FE] = 0x01;
         r.file()[0x9FF] = 0xC0;  // add eax,eax
         r.regs.EIP = 0x4031FE;
         r.regs.EAX = 2;
       },
       TRACE_OK,
       [](TTraceRig& r) { EXPECT_EQ(r.regs.EAX, 4u); }},
      {"rewritten memory form past the file end",
       {},
       [](TTraceRig& r) {
         r.file()[0x9FE] = 0x01;
         r.file()[0x9FF] = 0x03;  // add [ebx],eax: five address bytes once rewritten
         r.regs.EIP = 0x4031FE;
         r.regs.EBX = kData;
       },
       TRACE_OVERLAPS_END,
       nullptr},
      {"operand byte past the file end",
       {},
       [](TTraceRig& r) {
         r.file()[0x9FF] = 0x8B;  // mov r32,r/m32 as the file's last byte
         r.regs.EIP = 0x4031FF;
         r.regs.EAX = 0x10;
       },
       TRACE_OVERLAPS_END,
       [](TTraceRig& r) {
         EXPECT_EQ(r.regs.faultAddress, 0u);
         EXPECT_EQ(r.regs.EIP, 0x4031FFu);
       }},
      {"immediate past the file end",
       {},
       [](TTraceRig& r) {
         r.file()[0x9FE] = 0xB8;
         r.file()[0x9FF] = 0x01;  // mov eax,imm32 with one byte left
         r.regs.EIP = 0x4031FE;
       },
       TRACE_OVERLAPS_END,
       nullptr},
  };
  for (const StepCase& c : cases) {
    TTraceRig rig(program.bytes);
    if (!c.code.empty()) rig.code(kCode, c.code);
    c.setup(rig);
    const Snapshot before = snap(rig);
    EXPECT_EQ(rig.step(), c.status) << c.name;
    if (c.check)
      c.check(rig);
    else
      expectUnchanged(rig, before, c.name);
  }
}

TEST(TraceStep, PopfdWithTrapFlag) {
  TTraceRig rig(buildProgramImage().bytes);
  rig.code(kCode, {0x68, 0x46, 0x03, 0, 0, 0x9D, 0x90});  // push 0x346; popfd; nop
  EXPECT_EQ(rig.step(), TRACE_OK);
  const uint32_t slot = rig.regs.ESP;
  EXPECT_EQ(rig.step(), TRACE_EXCEPTION);
  EXPECT_EQ(rig.regs.EFLAGS & 0x100, 0u);
  EXPECT_EQ(rig.regs.EFLAGS & 0xFFF, 0x246u);
  EXPECT_EQ(rig.stackDword(slot), 0x246u);  // TF taken out of the stored value
  EXPECT_EQ(rig.regs.EIP, kCode + 6);
  EXPECT_EQ(rig.step(), TRACE_EXCEPTION);
  EXPECT_EQ(rig.regs.EIP, kCode + 6);
  rig.regs.setupEntryPoint(rig.image());
  rig.code(kCode, {0x90});
  EXPECT_EQ(rig.step(), TRACE_OK);
}

TEST(TraceStep, StringInstructionsOneIterationPerStep) {
  TTraceRig rig(buildProgramImage().bytes);
  TCountingVis vis(rig.env.fileSize);
  rig.env.vis = &vis;
  const char text[] = "abcdef";
  std::memcpy(rig.file() + kDataFile, text, 6);

  // REP MOVSB, ECX = 3: three steps at the same EIP.
  rig.code(kCode, {0xF3, 0xA4, 0x90});
  rig.regs.ESI = kData;
  rig.regs.EDI = kData + 0x40;
  rig.regs.ECX = 3;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rig.step(), TRACE_OK);
    EXPECT_EQ(rig.regs.EIP, i < 2 ? kCode : kCode + 2) << i;
  }
  EXPECT_EQ(rig.regs.ECX, 0u);
  EXPECT_EQ(0, std::memcmp(rig.file() + kDataFile + 0x40, "abc", 3));
  EXPECT_EQ(rig.file()[kDataFile + 0x43], 0);
  EXPECT_EQ(vis.written[kDataFile + 0x40], 1);
  EXPECT_EQ(vis.read[kDataFile + 2], 1);
  EXPECT_EQ(vis.executed[0x400], 3);

  // ECX = 0: skipped.
  rig.code(kCode, {0xF3, 0xA4});
  rig.regs.EDI = kData + 0x80;
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(rig.regs.EIP, kCode + 2);
  EXPECT_EQ(rig.regs.EDI, kData + 0x80);
  EXPECT_EQ(rig.file()[kDataFile + 0x80], 0);

  // REPE CMPSB stops as soon as the bytes differ.
  std::memcpy(rig.file() + kDataFile + 0x20, "abXdef", 6);
  rig.code(kCode, {0xF3, 0xA6});
  rig.regs.ESI = kData;
  rig.regs.EDI = kData + 0x20;
  rig.regs.ECX = 6;
  int steps = 0;
  while (rig.regs.EIP == kCode && steps < 10) {
    ASSERT_EQ(rig.step(), TRACE_OK);
    ++steps;
  }
  EXPECT_EQ(steps, 3);
  EXPECT_EQ(rig.regs.ECX, 3u);
  EXPECT_EQ(rig.regs.EFLAGS & 0x40, 0u);

  // REPNE SCASB finds the zero.
  rig.code(kCode, {0xF2, 0xAE});
  rig.regs.EDI = kData;
  rig.regs.EAX = 0;
  rig.regs.ECX = 100;
  steps = 0;
  while (rig.regs.EIP == kCode && steps < 20) {
    rig.step();
    ++steps;
  }
  EXPECT_EQ(steps, 7);
  EXPECT_EQ(rig.regs.EDI, kData + 7);

  // A pointer outside file and stack: refused, fault recorded.
  rig.code(kCode, {0xAA});
  rig.regs.EDI = 0x10;
  EXPECT_EQ(rig.step(), TRACE_ILLEGAL_ADDRESS);
  EXPECT_EQ(rig.regs.faultAddress, 0x10u);
  EXPECT_EQ(rig.regs.faultWrite, 1u);
}

TEST(TraceStep, StackFrameInstructions) {
  TTraceRig rig(buildProgramImage().bytes);
  TFixedRegs& r = rig.regs;
  for (int i = 0; i < 8; ++i)
    if (i != 4) r.reg[i] = 0x100u * uint32_t(i + 1);
  const uint32_t esp = r.ESP;
  rig.code(kCode, {0x60, 0x61});
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.ESP, esp - 32);
  EXPECT_EQ(rig.stackDword(esp - 4), 0x100u);        // EAX first
  EXPECT_EQ(rig.stackDword(esp - 20), esp);          // the ESP before
  r.writeStack(esp - 20 - r.stackBase, esp + 0x40);  // POPAD takes ESP from its slot
  r.EAX = r.EDI = 0;
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.EAX, 0x100u);
  EXPECT_EQ(r.EDI, 0x800u);
  EXPECT_EQ(r.ESP, esp + 0x40);

  // ENTER 8,3 then LEAVE.
  r.ESP = esp;
  r.EBP = esp - 0x100;
  r.writeStack(esp - 0x104 - r.stackBase, 0xAAAA);
  r.writeStack(esp - 0x108 - r.stackBase, 0xBBBB);
  const uint32_t oldEbp = r.EBP;
  rig.code(kCode, {0xC8, 0x08, 0x00, 0x03, 0xC9});
  EXPECT_EQ(rig.step(), TRACE_OK);
  const uint32_t frame = esp - 4;
  EXPECT_EQ(r.EBP, frame);
  EXPECT_EQ(rig.stackDword(frame), oldEbp);
  EXPECT_EQ(rig.stackDword(frame - 4), 0xAAAAu);
  EXPECT_EQ(rig.stackDword(frame - 8), 0xBBBBu);
  EXPECT_EQ(rig.stackDword(frame - 12), frame);
  EXPECT_EQ(r.ESP, frame - 12 - 8);
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.ESP, esp);
  EXPECT_EQ(r.EBP, oldEbp);

  // POP [ESP+4] addresses after the pop; PUSH ESP pushes the old value.
  rig.code(kCode, {0x54, 0x8F, 0x44, 0x24, 0x04});
  r.ESP = esp;
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(rig.stackDword(esp - 4), esp);
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.ESP, esp);
  EXPECT_EQ(rig.stackDword(esp + 4), esp);
}

TEST(TraceStep, BranchesAndHistory) {
  TTraceRig rig(buildProgramImage().bytes);
  TFixedRegs& r = rig.regs;
  // 401000: call 401010 / 401005: nop ... 401010: ret
  rig.code(kCode, {0xE8, 0x0B, 0, 0, 0, 0x90});
  rig.file()[0x410] = 0xC3;
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.EIP, 0x401010u);
  ASSERT_EQ(rig.history.count(), 1u);
  EXPECT_EQ(rig.history.getReturn(0).kind, uint32_t(RK_CALL));
  EXPECT_EQ(rig.history.getReturn(0).address, 0x405u);
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.EIP, 0x401005u);
  EXPECT_EQ(rig.history.count(), 0u);  // cut back to the call's entry

  // A RET without a matching entry adds a RET entry; RET imm16 pops more.
  r.push(0x401100);
  const uint32_t esp = r.ESP;
  rig.code(0x401020, {0xC2, 0x08, 0x00});
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.ESP, esp + 12);
  ASSERT_EQ(rig.history.count(), 1u);
  EXPECT_EQ(rig.history.getReturn(0).kind, uint32_t(RK_RET));
  EXPECT_EQ(rig.history.getReturn(0).address, 0x420u);

  struct Row {
    const char* name;
    std::vector<uint8_t> code;
    uint32_t ecx, eflags;
    uint32_t eip;
    bool jump;
    uint32_t ecxAfter;
  } rows[] = {
      {"JZ short taken", {0x74, 0x10}, 0, 0x246, 0x401052, true, 0},
      {"JZ short not taken", {0x74, 0x10}, 0, 0x202, 0x401042, false, 0},
      {"JL near taken (SF != OF)", {0x0F, 0x8C, 0x00, 0x01, 0, 0}, 0, 0x282, 0x401146, true, 0},
      {"JMP short back", {0xEB, 0xFE}, 0, 0x202, 0x401040, true, 0},
      {"LOOP taken", {0xE2, 0x10}, 2, 0x202, 0x401052, true, 1},
      {"LOOP ends", {0xE2, 0x10}, 1, 0x202, 0x401042, false, 0},
      {"LOOPE needs ZF", {0xE1, 0x10}, 5, 0x202, 0x401042, false, 4},
      {"LOOPNE with ZF clear", {0xE0, 0x10}, 5, 0x202, 0x401052, true, 4},
      {"JECXZ", {0xE3, 0x10}, 0, 0x202, 0x401052, true, 0},
      {"JCXZ looks at CX only", {0x66, 0xE3, 0x10}, 0x10000, 0x202, 0x401053, true, 0x10000},
      {"JMP EAX", {0xFF, 0xE0}, 0, 0x202, 0x401080, true, 0},
  };
  for (const Row& row : rows) {
    rig.history.clear();
    rig.code(0x401040, row.code);
    r.ECX = row.ecx;
    r.EFLAGS = row.eflags;
    r.EAX = 0x401080;
    EXPECT_EQ(rig.step(), TRACE_OK) << row.name;
    EXPECT_EQ(r.EIP, row.eip) << row.name;
    EXPECT_EQ(r.ECX, row.ecxAfter) << row.name;
    EXPECT_EQ(rig.history.count(), row.jump ? 1u : 0u) << row.name;
    if (row.jump) {
      EXPECT_EQ(rig.history.getReturn(0).kind, uint32_t(RK_JUMP)) << row.name;
      EXPECT_EQ(rig.history.getReturn(0).address, 0x440u) << row.name;
    }
  }

  // CALL EBX pushes the return address.
  rig.code(0x401040, {0xFF, 0xD3});
  r.EBX = 0x401100;
  const uint32_t sp = r.ESP;
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.EIP, 0x401100u);
  EXPECT_EQ(rig.stackDword(sp - 4), 0x401042u);
}

TEST(TraceStep, Kernel32StandIns) {
  const TProgramImage program = buildProgramImage();
  TTraceRig rig(program.bytes);
  TFixedRegs& r = rig.regs;
  auto callSlot = [&](uint32_t slot) {
    rig.code(kCode, {0xFF, 0x15, uint8_t(slot), uint8_t(slot >> 8), uint8_t(slot >> 16),
                     uint8_t(slot >> 24)});
  };
  std::memcpy(rig.file() + kDataFile, "mylib.dll\0MyFunction\0Other", 27);

  r.push(kData);  // "mylib.dll"
  const uint32_t esp = r.ESP;
  callSlot(program.slots[0]);  // LoadLibraryA
  EXPECT_EQ(rig.step(), TRACE_OK);
  const uint32_t handle = r.EAX;
  EXPECT_NE(handle, 0u);
  EXPECT_EQ(r.ESP, esp + 4);
  EXPECT_EQ(r.EIP, kCode + 6);
  EXPECT_EQ(rig.history.count(), 0u);

  r.push(kData);
  callSlot(program.slots[1]);  // GetModuleHandleA of the same name
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.EAX, handle);

  r.push(kData + 10);  // "MyFunction"
  r.push(handle);
  callSlot(program.slots[2]);  // GetProcAddress
  EXPECT_EQ(rig.step(), TRACE_OK);
  const uint32_t fn = r.EAX;
  EXPECT_NE(fn, 0u);
  EXPECT_EQ(r.ESP, esp + 4);
  EXPECT_EQ(r.EIP, kCode + 6);
  char module[81], function[81];
  ASSERT_TRUE(rig.image().lookupImportKey(fn, module, sizeof module, function, sizeof function));
  EXPECT_STREQ(module, "mylib.dll");
  EXPECT_STREQ(function, "MyFunction");

  r.push(kData + 21);  // "Other": another fresh address
  r.push(handle);
  callSlot(program.slots[2]);
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_NE(r.EAX, fn);

  // Refusals keep ESP: a name pointer outside the file, another kernel32 function.
  r.push(0x10);
  callSlot(program.slots[0]);
  Snapshot before = snap(rig);
  EXPECT_EQ(rig.step(), TRACE_ILLEGAL_ADDRESS);
  expectUnchanged(rig, before, "LoadLibraryA(bad pointer)");
  callSlot(program.slots[3]);  // ExitProcess
  before = snap(rig);
  EXPECT_EQ(rig.step(), TRACE_NOT_SUPPORTED);
  expectUnchanged(rig, before, "ExitProcess");
  r.ESP = kData + 0x100;
  callSlot(program.slots[0]);
  EXPECT_EQ(rig.step(), TRACE_ILLEGAL_STACK);
}

TEST(TraceStep, TlsAndEntryReturnsAsk) {
  TTraceRig rig(buildProgramImage(2).bytes);
  TFixedRegs& r = rig.regs;
  rig.file()[0x500] = 0xC2;  // callback 0: ret 0xc
  rig.file()[0x501] = 0x0C;
  rig.file()[0x520] = 0xC3;  // callback 1: ret
  r.setupTlsCallback(0, rig.image());

  rig.host.answers = {MsgAnswer::No};
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.EIP, 0x401100u);  // No: stays on the RET
  ASSERT_EQ(rig.host.messages.size(), 1u);
  EXPECT_EQ(rig.host.messageLines()[0],
            "TLS callback returns...: Do you wish to execute the next TLS callback?");
  EXPECT_EQ(rig.host.messages[0].buttons, MsgButtons::YesNo);

  rig.host.answers = {MsgAnswer::Yes};
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.tlsIndex, 1);
  EXPECT_EQ(r.EIP, 0x401120u);

  rig.host.answers = {MsgAnswer::Yes};
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(rig.host.messageLines()[2],
            "TLS callback returns...: Do you wish to execute the programm entrypoint?");
  EXPECT_EQ(r.EIP, 0x401000u);
  EXPECT_EQ(r.tlsIndex, 2);
  EXPECT_EQ(rig.stackDword(r.ESP), TFixedRegs::ENTRY_RETURN);
}

TEST(TraceStep, BreakpointsAndAlteredCode) {
  TTraceRig rig(buildProgramImage().bytes);
  TCountingVis vis(rig.env.fileSize);
  rig.env.vis = &vis;
  rig.code(kCode, {0x40, 0x40, 0x40});
  rig.regs.toggleBreakPoint(0x400);
  EXPECT_EQ(rig.step(false), TRACE_BREAKPOINT);
  EXPECT_EQ(rig.host.beeps, 1);
  EXPECT_EQ(rig.step(true), TRACE_OK);  // a manual step runs it
  EXPECT_EQ(rig.regs.EAX, 1u);

  vis.written[0x401] = 1;
  rig.host.answers = {MsgAnswer::No};
  EXPECT_EQ(rig.step(false), TRACE_SELF_MODIFIED);
  EXPECT_EQ(rig.regs.EAX, 1u);
  ASSERT_EQ(rig.host.messages.size(), 1u);
  EXPECT_EQ(rig.host.messages[0].caption, "Possible self modified code execution!");
  EXPECT_EQ(rig.host.messages[0].text,
            "The following command has possibly been altered!\nDo you want to continue tracing? "
            "(Cancel for ignore until break)");
  EXPECT_EQ(rig.host.messages[0].buttons, MsgButtons::YesNoCancel);
  rig.host.answers = {MsgAnswer::Cancel};
  EXPECT_EQ(rig.step(false), TRACE_OK);
  EXPECT_EQ(rig.regs.ignoreAlteredCode, 1u);
  vis.written[0x402] = 1;
  EXPECT_EQ(rig.step(false), TRACE_OK);  // ignored now, no question
  EXPECT_EQ(rig.host.messages.size(), 2u);
  EXPECT_EQ(rig.regs.EAX, 3u);
}

TEST(TraceStep, ExceptionDispatchFrameAndReturn) {
  TTraceRig rig(buildProgramImage().bytes);
  TFixedRegs& r = rig.regs;
  // push handler; push dword fs:[0]; mov fs:[0],esp; cli
  rig.code(kCode, {0x68, 0x00, 0x11, 0x40, 0x00, 0x64, 0xFF, 0x35, 0,    0,   0,
                   0,    0x64, 0x89, 0x25, 0,    0,    0,    0,    0xFA, 0x40});
  // Handler: mov eax,[esp+12]; add dword [eax+0xB8],1; xor eax,eax; ret
  rig.code(0x401100, {0x8B, 0x44, 0x24, 0x0C, 0x83, 0x80, 0xB8, 0, 0, 0, 0x01, 0x31, 0xC0, 0xC3});
  r.EIP = kCode;
  EXPECT_FALSE(r.hasExceptionHandler(rig.image()));
  for (int i = 0; i < 3; ++i) ASSERT_EQ(rig.step(), TRACE_OK) << i;
  const uint32_t record = r.ESP;
  EXPECT_EQ(r.exceptionList, record);
  EXPECT_EQ(rig.stackDword(record), 0xFFFFFFFFu);
  EXPECT_TRUE(r.hasExceptionHandler(rig.image()));
  ASSERT_EQ(rig.step(), TRACE_ILLEGAL_COMMAND);
  r.faultAddress = 0x1234;
  r.faultWrite = 1;
  r.EAX = 0xA;
  r.EDI = 0xD1;
  const uint32_t e0 = r.ESP, eflags = r.EFLAGS, faultEip = r.EIP;
  rig.env.tracePoint = rig.fileOffset(faultEip);
  r.enterExceptionHandler(rig.env);

  EXPECT_EQ(r.EIP, 0x401100u);
  EXPECT_EQ(r.ECX, 0x401100u);
  EXPECT_EQ(r.EDX, 0x77896DAEu);
  EXPECT_EQ(r.EBX, e0);
  EXPECT_EQ(r.EDI, 0xD1u);
  EXPECT_EQ(r.EFLAGS, eflags);
  EXPECT_EQ(r.EBP, r.ESP + 0x20);
  EXPECT_EQ(r.faultAddress, 0u);
  const uint32_t c = e0 - 204, x = c - 28;
  EXPECT_EQ(rig.stackDword(r.ESP), 0x77896BA7u);
  EXPECT_EQ(rig.stackDword(r.ESP + 4), x);
  EXPECT_EQ(rig.stackDword(r.ESP + 8), record);
  EXPECT_EQ(rig.stackDword(r.ESP + 12), c);
  EXPECT_EQ(r.ESI, x);
  const uint32_t d = rig.stackDword(r.ESP + 16);
  EXPECT_EQ(r.EAX, d);
  // Exception record and context in their natural order.
  const uint32_t rec[] = {0xC0000005u, 0, 0, faultEip, 2, 1, 0x1234};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(rig.stackDword(x + 4 * i), rec[i]) << i;
  struct Field {
    uint32_t at, value;
  } fields[] = {{0x00, 0x1003F},    {0x1C, 0xFFFF1372}, {0x20, 0xFFFF0000}, {0x24, 0xFFFFFFFF},
                {0x28, 0x6C2346A9}, {0x2C, 0x045D001B}, {0x30, 0x0006F850}, {0x34, 0xFFFF0023},
                {0x38, 0},          {0x88, 0x0A},       {0x8C, 0},          {0x90, 0x38},
                {0x94, 0x23},       {0x98, 0x23},       {0x9C, 0xD1},       {0xB0, 0xA},
                {0xB8, faultEip},   {0xBC, 0x1B},       {0xC0, eflags},     {0xC4, e0},
                {0xC8, 0x23}};
  for (const Field& f : fields) EXPECT_EQ(rig.stackDword(c + f.at), f.value) << f.at;
  // The dispatcher frame.
  EXPECT_EQ(rig.stackDword(c - 28 - 4), c);
  EXPECT_EQ(rig.stackDword(d), 0x77881F00u);
  EXPECT_EQ(rig.stackDword(d + 4), r.stackBase + 0x4000);
  EXPECT_EQ(rig.stackDword(d + 8), r.stackBase);
  EXPECT_EQ(rig.stackDword(d - 0x50 - 4), d - 0x50 + 0x7F);
  EXPECT_EQ(rig.stackDword(d - 0x50 - 16), 0x401100u);

  // The handler moves the context's EIP past the CLI and returns.
  for (int i = 0; i < 3; ++i) ASSERT_EQ(rig.step(), TRACE_OK) << i;
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.EIP, faultEip + 1);
  EXPECT_EQ(r.ESP, e0);
  EXPECT_EQ(r.EAX, 0xAu);
  EXPECT_EQ(r.EDI, 0xD1u);
  EXPECT_EQ(rig.step(), TRACE_OK);  // the INC after the CLI
  EXPECT_EQ(r.EAX, 0xBu);
  EXPECT_TRUE(rig.host.messages.empty());
}

TEST(TraceStep, ExceptionReturnMessages) {
  struct Row {
    const char* name;
    bool corrupt;
    uint32_t contextFlags;
    const char* text;
  } rows[] = {
      {"pointers outside the stack", true, 0x1003F,
       "Stack parameters corrupted! Please tell us about it!"},
      {"no control context", false, 0x4,
       "Control context stuff not used! Please tell us about it!"},
  };
  for (const Row& row : rows) {
    TTraceRig rig(buildProgramImage().bytes);
    TFixedRegs& r = rig.regs;
    const uint32_t c = r.ESP - 0x400;
    r.writeStack(c - r.stackBase, row.contextFlags);
    r.push(c);
    r.push(row.corrupt ? 0x10 : c);
    r.push(row.corrupt ? 0x10 : c);
    r.push(row.corrupt ? 0x10 : c);
    r.push(TFixedRegs::HANDLER_RETURN);
    rig.code(kCode, {0xC3});
    EXPECT_EQ(rig.step(), TRACE_OK) << row.name;
    ASSERT_EQ(rig.host.messages.size(), 1u) << row.name;
    EXPECT_EQ(rig.host.messages[0].text, row.text);
    EXPECT_EQ(rig.host.messages[0].caption, "TFixedRegs::returnFromExceptionHandler()");
  }
}

TEST(TraceStep, SixteenBitAddressingAndCounters) {
  // A headerless file: memory addresses are file offsets.
  std::vector<uint8_t> raw(0x10020, 0);
  TTraceRig rig(raw, true);
  TFixedRegs& r = rig.regs;
  r.stackBase = 0x200000;
  r.ESP = 0x204000;
  r.EIP = 0x100;
  raw.clear();
  // mov ax,[bx+si] with BX = 0xFFFF, SI = 2: offset 0x10001, not wrapped.
  rig.code(0x100, {0x8B, 0x00});
  r.EBX = 0xFFFF;
  r.ESI = 2;
  rig.file()[0x10001] = 0x34;
  rig.file()[0x10002] = 0x12;
  r.EAX = 0xAAAA5555;
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.EAX, 0xAAAA1234u);
  EXPECT_EQ(r.EIP, 0x102u);

  // [bp+di+disp8] and [disp16]; 66 gives a 32-bit operand.
  rig.code(0x100, {0x66, 0x8B, 0x43, 0xFE, 0xA1, 0x10, 0x00});
  r.EBP = 0x12;
  r.EDI = 0x0;
  std::memcpy(rig.file() + 0x10, "\x01\x02\x03\x04", 4);
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.EAX, 0x04030201u);
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.EAX & 0xFFFF, 0x0201u);

  // LEA wraps to 16 bits as the address size says.
  rig.code(0x100, {0x8D, 0x00});
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.EAX & 0xFFFF, 0x0001u);

  // LOOP counts CX in 16-bit code.
  rig.code(0x100, {0xE2, 0xFE});
  r.ECX = 0x00010001;
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.ECX, 0x00010000u);
  EXPECT_EQ(r.EIP, 0x102u);
}

TEST(TraceStep, GuiFixtureCallbacksAndEntryPoint) {
  TTraceRig rig(readFixture("gui.exe"));
  TCountingVis vis(rig.env.fileSize);
  rig.env.vis = &vis;
  TFixedRegs& r = rig.regs;
  r.setupDefault(rig.image(), true);
  EXPECT_EQ(r.EIP, 0x4011E3u);
  // First callback: its flag set in .data, then the question for the next one.
  int steps = 0;
  rig.host.answers = {MsgAnswer::Yes};
  while (r.tlsIndex == 0 && steps < 20) {
    ASSERT_EQ(rig.step(), TRACE_OK) << std::hex << r.EIP;
    ++steps;
  }
  EXPECT_EQ(steps, 9);
  EXPECT_EQ(rig.dword(0x402008) & 1, 1u);
  EXPECT_EQ(vis.written[0xA08], 1);
  EXPECT_EQ(r.EIP, 0x4011FDu);
  // Second callback: runs up to its call of GetTickCount, which is refused.
  int status = TRACE_OK;
  for (steps = 0; steps < 20 && status == TRACE_OK; ++steps) status = rig.step();
  EXPECT_EQ(status, TRACE_NOT_SUPPORTED);
  EXPECT_EQ(r.EIP, 0x401216u);
  EXPECT_EQ(rig.dword(0x402008) & 3, 3u);

  // Entry point: the first import call is GetModuleHandleA(NULL), whose name
  // pointer lies outside the file.
  r.setupEntryPoint(rig.image());
  for (steps = 0, status = TRACE_OK; steps < 20 && status == TRACE_OK; ++steps) status = rig.step();
  EXPECT_EQ(status, TRACE_ILLEGAL_ADDRESS);
  EXPECT_EQ(r.EIP, 0x401233u);
  EXPECT_EQ(steps, 8);
}

}  // namespace
