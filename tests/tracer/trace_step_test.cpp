// One traced step: statuses and their refusals, memory mapping, string
// repeats, stack instructions, branches with history, the kernel32
// stand-ins, TLS and entry returns, RDTSC and exception dispatch.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>

#include "trace_rig.h"

namespace {

using V = std::vector<uint32_t>;
using Lines = std::vector<std::string>;
constexpr uint32_t kCode = 0x401000;  // file 0x400
constexpr uint32_t kData = 0x402000;  // file 0x600
constexpr uint32_t kDataFile = 0x600;
constexpr uint32_t kLastTwo = 0x4031FE;  // the file's last two bytes

// CALL dword ptr [slot].
std::vector<uint8_t> callThrough(uint32_t slot) {
  return {0xFF, 0x15, uint8_t(slot), uint8_t(slot >> 8), uint8_t(slot >> 16), uint8_t(slot >> 24)};
}

// The history as {kind, address} pairs, oldest first.
V history(const TTraceRig& rig) {
  V v;
  for (uint32_t i = 0; i < rig.history.count(); ++i)
    v.insert(v.end(), {rig.history.getReturn(i).kind, rig.history.getReturn(i).address});
  return v;
}

// What a refused step must leave alone: registers, flags, exception state, stack and file.
struct Snapshot {
  V regs;
  std::vector<uint8_t> stack, file;
  bool operator==(const Snapshot&) const = default;
};
Snapshot snap(TTraceRig& rig) {
  const TFixedRegs& r = rig.regs;
  V regs(r.reg, r.reg + 8);
  regs.insert(regs.end(), {r.EIP, r.EFLAGS, r.exceptionList, r.exceptionPending});
  return {regs, std::vector<uint8_t>(r.stack.get(), r.stack.get() + TFixedRegs::STACK_SIZE),
          std::vector<uint8_t>(rig.file(), rig.file() + rig.env.fileSize + 16)};
}
// The fields a step case sets and checks: registers by number, then the others.
enum TRegister { kEAX, kECX, kEDX, kEBX, kESP, kEBP, kESI, kEDI };
enum TField { kEIP = 8, kFLAGS, kFault, kFaultWrite, kExceptionList };
uint32_t& field(TFixedRegs& r, int f) {
  uint32_t* const others[] = {&r.EIP, &r.EFLAGS, &r.faultAddress, &r.faultWrite, &r.exceptionList};
  return f < 8 ? r.reg[f] : *others[f - 8];
}
using TFields = std::vector<std::pair<int, uint32_t>>;
void set(TFixedRegs& r, const TFields& fields) {
  for (auto [f, value] : fields) field(r, f) = value;
}

// One step from a prepared state: the status and what it changed.
using Action = std::function<void(TTraceRig&)>;
struct Step {
  const char* name;
  std::vector<uint8_t> code;  // placed at EIP once `before` is set
  int status;
  TFields before;  // EIP starts at kCode
  TFields after;   // empty, with no check: a refusal that changes nothing
  Action check, setup;
};
Step row(const char* name, std::vector<uint8_t> code, int status, TFields before = {},
         TFields after = {}, Action check = nullptr, Action setup = nullptr) {
  return {name, code, status, before, after, check, setup};
}

void runStep(TTraceRig& rig, const Step& c) {
  SCOPED_TRACE(c.name);
  set(rig.regs, c.before);
  if (!c.code.empty()) rig.code(rig.regs.EIP, c.code);
  if (c.setup) c.setup(rig);
  const Snapshot before = snap(rig);
  EXPECT_EQ(rig.step(), c.status);
  for (auto [f, value] : c.after) EXPECT_EQ(field(rig.regs, f), value) << f;
  if (c.check) c.check(rig);
  // A case that names no effect must have none.
  EXPECT_TRUE(!c.after.empty() || c.check || snap(rig) == before);
}

TEST(TraceStep, StatusTable) {
  const TProgramImage program = buildProgramImage();
  const Step cases[] = {
      row("CLI", {0xFA}, TRACE_ILLEGAL_COMMAND),
      row("STI", {0xFB}, TRACE_ILLEGAL_COMMAND),
      row("LEA register form", {0x8D, 0xC3}, TRACE_ILLEGAL_COMMAND),
      row("INT 3", {0xCC}, TRACE_NOT_SUPPORTED),
      row("segment prefix CS", {0x2E, 0x8B, 0x00}, TRACE_NOT_SUPPORTED),
      row("LOCK", {0xF0, 0x01, 0x00}, TRACE_NOT_SUPPORTED),
      row("far call", {0x9A, 0, 0, 0, 0, 0, 0}, TRACE_NOT_SUPPORTED),
      row("JMP through memory", {0xFF, 0x25, 0x00, 0x20, 0x40, 0x00}, TRACE_NOT_SUPPORTED),
      row("MOV to segment register", {0x8E, 0xD8}, TRACE_NOT_SUPPORTED),
      row("EIP outside the file", {}, TRACE_EIP_NOT_IN_FILE, {{kEIP, 0x12345678}}),
      row("exception pending", {0x90}, TRACE_EXCEPTION, {}, {}, nullptr,
          [](TTraceRig& r) { r.regs.exceptionPending = 1; }),
      row("MOV EAX,fs:[0] after set-up", {0x64, 0xA1, 0, 0, 0, 0}, TRACE_OK, {}, {{kEAX, ~0u}}),
      row("MOV fs:[0],ESP", {0x64, 0x89, 0x25, 0, 0, 0, 0}, TRACE_OK, {}, {},
          [](TTraceRig& r) { EXPECT_EQ(r.regs.exceptionList, r.regs.ESP); }),
      row("MOV EAX,fs:[0x18]", {0x64, 0xA1, 0x18, 0, 0, 0}, TRACE_ILLEGAL_ADDRESS),
      row("MOV EAX,fs:[4] and the lost write", {0x64, 0x8B, 0x05, 4, 0, 0, 0}, TRACE_OK, {}, {},
          [](TTraceRig& r) { EXPECT_EQ(r.regs.EAX, r.regs.stackBase + 0x4000); }),
      row("ADD fs:[8],EAX changes nothing lasting", {0x64, 0x01, 0x05, 8, 0, 0, 0}, TRACE_OK, {},
          {{kExceptionList, ~0u}}),
      row("read outside file and stack records the fault", {0x8B, 0x03}, TRACE_ILLEGAL_ADDRESS,
          {{kEBX, 0x00500010}}, {{kFault, 0x100010}, {kFaultWrite, 0}, {kEIP, kCode}}),
      row("write into the zero bytes behind the file", {0x89, 0x03}, TRACE_ILLEGAL_ADDRESS,
          {{kEBX, kLastTwo}}, {{kFaultWrite, 1}}),
      row("STOSB outside file and stack records the fault", {0xAA}, TRACE_ILLEGAL_ADDRESS,
          {{kEDI, 0x10}}, {{kFault, 0x10}, {kFaultWrite, 1}}),
      row("displacement past the end of data", {0x8B, 0x05}, TRACE_ILLEGAL_ADDRESS,
          {{kEIP, kLastTwo}}),
      row("PUSH EAX with ESP = stackBase + 2", {0x50}, TRACE_ILLEGAL_STACK, {}, {}, nullptr,
          [](TTraceRig& r) { r.regs.ESP = r.regs.stackBase + 2; }),
      row("PUSH EAX with ESP in the file's data", {0x50}, TRACE_OK,
          {{kESP, kData + 0x104}, {kEAX, 0xCAFEBABE}}, {{kESP, kData + 0x100}},
          [](TTraceRig& r) { EXPECT_EQ(r.dword(kData + 0x100), 0xCAFEBABEu); }),
      row("POP EAX with ESP outside both", {0x58}, TRACE_ILLEGAL_STACK, {{kESP, 0x10}}),
      row("POP EBX takes the entry return", {0x5B}, TRACE_OK, {}, {{kEBX, 0x77E9893D}}),
      row("PUSH -5 sign-extends its byte", {0x6A, 0xFB}, TRACE_OK, {}, {},
          [](TTraceRig& r) { EXPECT_EQ(r.stackDword(r.regs.ESP), 0xFFFFFFFBu); }),
      row("MessageBoxA through its import slot", callThrough(program.slots[4]),
          TRACE_NOT_SUPPORTED),
      row("call through a non-import", callThrough(kData), TRACE_NOT_SUPPORTED),
      row("CALL EBX pushes the return address", {0xFF, 0xD3}, TRACE_OK, {{kEBX, 0x401100}},
          {{kEIP, 0x401100}}, [](TTraceRig& r) { EXPECT_EQ(r.stackDword(r.regs.ESP), kCode + 2); }),
      row("CALL rel to outside the file", {0xE8, 0, 0, 0, 0x10}, TRACE_ILLEGAL_ADDRESS),
      row("CALL with ESP outside the stack", {0xE8, 0, 0, 0, 0}, TRACE_ILLEGAL_STACK,
          {{kESP, kData + 0x100}}),
      row("RET to outside the file", {0xC3}, TRACE_ILLEGAL_ADDRESS, {}, {}, nullptr,
          [](TTraceRig& r) { r.regs.writeStack(r.regs.ESP - r.regs.stackBase, 0x10); }),
      row("RET with ESP in the file", {0xC3}, TRACE_ILLEGAL_STACK, {{kESP, kData}}),
      row("LOOP to outside the file keeps ECX", {0xE2, 0x80}, TRACE_ILLEGAL_ADDRESS, {{kECX, 5}}),
      row("JNE taken to outside the file", {0x0F, 0x85, 0, 0, 0, 0x10}, TRACE_ILLEGAL_ADDRESS,
          {{kFLAGS, 0x202}}),
      row("JNE not taken ignores its target", {0x0F, 0x85, 0, 0, 0, 0x10}, TRACE_OK,
          {{kFLAGS, 0x242}}, {{kEIP, kCode + 6}}),
      row("DIV by zero is an exception", {0xF7, 0xF1}, TRACE_EXCEPTION, {{kECX, 0}, {kEAX, 7}},
          {{kEIP, kCode}, {kEAX, 7}}, [](TTraceRig& r) {
            EXPECT_EQ(r.regs.exceptionPending, 1);
            EXPECT_EQ(r.step(), TRACE_EXCEPTION);
          }),
      row("IDIV quotient overflow (AX = -32768, CL = -1) is an exception", {0xF6, 0xF9},
          TRACE_EXCEPTION, {{kECX, 0xFF}, {kEAX, 0x8000}}, {{kEAX, 0x8000}}),
      row("C6 with reg 1 is no MOV", {0xC6, 0xC8, 0x00}, TRACE_NOT_SUPPORTED),
      row("RDTSC", {0x0F, 0x31}, TRACE_RDTSC, {}, {{kEAX, 0x1000}, {kEDX, 0}},
          [](TTraceRig& r) {
            r.regs.EIP = kCode;
            EXPECT_EQ(r.step(), TRACE_RDTSC);
            EXPECT_EQ((V{r.regs.EAX, r.regs.EDX}), (V{0x2000, 0}));
          }),
      row("16 bytes with prefixes",
          {0xF3, 0xF3, 0xF3, 0xF3, 0xF3, 0xF3, 0x81, 0x05, 0, 0x20, 0x40, 0, 1, 0, 0, 0},
          TRACE_TOO_LONG),
      row("15 bytes with prefixes runs",
          {0xF3, 0xF3, 0xF3, 0xF3, 0xF3, 0x81, 0x05, 0, 0x20, 0x40, 0, 1, 0, 0, 0}, TRACE_OK, {},
          {}, [](TTraceRig& r) { EXPECT_EQ(r.dword(kData), 1u); }),
      row("register form at the file end runs", {0x01, 0xC0}, TRACE_OK,
          {{kEIP, kLastTwo}, {kEAX, 2}}, {{kEAX, 4}}),
      row("rewritten memory form past the file end (five address bytes)", {0x01, 0x03},
          TRACE_OVERLAPS_END, {{kEIP, kLastTwo}, {kEBX, kData}}),
      row("operand byte past the file end", {0x8B}, TRACE_OVERLAPS_END,
          {{kEIP, kLastTwo + 1}, {kEAX, 0x10}}, {{kFault, 0}, {kEIP, kLastTwo + 1}}),
      row("immediate past the file end", {0xB8, 0x01}, TRACE_OVERLAPS_END, {{kEIP, kLastTwo}}),
  };
  for (const Step& c : cases) {
    TTraceRig rig(program.bytes);
    rig.regs.EIP = kCode;
    runStep(rig, c);
  }
}

TEST(TraceStep, PopfdWithTrapFlag) {
  TTraceRig rig(buildProgramImage().bytes);
  rig.code(kCode, {0x68, 0x46, 0x03, 0, 0, 0x9D, 0x90});  // push 0x346; popfd; nop
  EXPECT_EQ(rig.step(), TRACE_OK);
  const uint32_t slot = rig.regs.ESP;
  EXPECT_EQ(rig.step(), TRACE_EXCEPTION);
  // TF taken out of the flags and out of the stored value.
  EXPECT_EQ((V{rig.regs.EFLAGS & 0xFFF, rig.stackDword(slot), rig.regs.EIP}),
            (V{0x246, 0x246, kCode + 6}));
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
  TFixedRegs& r = rig.regs;
  std::memcpy(rig.file() + kDataFile, "abcdef\0abXdef", 14);
  // One step per iteration at the same EIP; then ECX, EDI and ZF as the repeat ends.
  struct Row {
    const char* what;
    std::vector<uint8_t> code;
    uint32_t esi, edi, ecx;
    int steps;
    V ecxEdiZf;
  } rows[] = {
      {"REP MOVSB", {0xF3, 0xA4, 0x90}, kData, kData + 0x40, 3, 3, {0, kData + 0x43, 0x40}},
      {"ECX = 0: skipped", {0xF3, 0xA4}, kData, kData + 0x80, 0, 1, {0, kData + 0x80, 0x40}},
      {"REPE CMPSB to the difference", {0xF3, 0xA6}, kData, kData + 7, 6, 3, {3, kData + 10, 0}},
      {"REPNE SCASB finds the zero", {0xF2, 0xAE}, kData, kData, 100, 7, {93, kData + 7, 0x40}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    rig.code(kCode, row.code);
    set(r, {{kESI, row.esi}, {kEDI, row.edi}, {kECX, row.ecx}, {kEAX, 0}});
    int steps = 0;
    for (; r.EIP == kCode && steps < 20; ++steps) EXPECT_EQ(rig.step(), TRACE_OK);
    EXPECT_EQ(steps, row.steps);
    EXPECT_EQ((V{r.EIP, r.ECX, r.EDI, r.EFLAGS & 0x40}),
              (V{kCode + 2, row.ecxEdiZf[0], row.ecxEdiZf[1], row.ecxEdiZf[2]}));
  }
  EXPECT_EQ(std::string(reinterpret_cast<char*>(rig.file()) + kDataFile + 0x40, 4),
            std::string("abc\0", 4));
  EXPECT_EQ(rig.file()[kDataFile + 0x80], 0);
  // MOVSB, CMPSB and SCASB each read the third byte once; 3 + 1 + 3 + 7 steps ran.
  EXPECT_EQ((V{vis.written[kDataFile + 0x40], vis.read[kDataFile + 2], vis.executed[0x400]}),
            (V{1, 3, 14}));
}

TEST(TraceStep, StackFrameInstructions) {
  TTraceRig rig(buildProgramImage().bytes);
  TFixedRegs& r = rig.regs;
  for (int i = 0; i < 8; ++i)
    if (i != 4) r.reg[i] = 0x100u * uint32_t(i + 1);
  const uint32_t esp = r.ESP;
  // PUSHAD: EAX first, the ESP before in the fifth slot; POPAD takes ESP from that slot.
  rig.code(kCode, {0x60, 0x61});
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ((V{r.ESP, rig.stackDword(esp - 4), rig.stackDword(esp - 20)}),
            (V{esp - 32, 0x100, esp}));
  r.writeStack(esp - 20 - r.stackBase, esp + 0x40);
  r.EAX = r.EDI = 0;
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ((V{r.EAX, r.EDI, r.ESP}), (V{0x100, 0x800, esp + 0x40}));

  // ENTER 8,3 then LEAVE.
  set(r, {{kESP, esp}, {kEBP, esp - 0x100}});
  r.writeStack(esp - 0x104 - r.stackBase, 0xAAAA);
  r.writeStack(esp - 0x108 - r.stackBase, 0xBBBB);
  const uint32_t oldEbp = r.EBP, frame = esp - 4;
  rig.code(kCode, {0xC8, 0x08, 0x00, 0x03, 0xC9});
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ((V{r.EBP, r.ESP, rig.stackDword(frame), rig.stackDword(frame - 4),
               rig.stackDword(frame - 8), rig.stackDword(frame - 12)}),
            (V{frame, frame - 12 - 8, oldEbp, 0xAAAA, 0xBBBB, frame}));
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ((V{r.ESP, r.EBP}), (V{esp, oldEbp}));

  // POP [ESP+4] addresses after the pop; PUSH ESP pushes the old value.
  rig.code(kCode, {0x54, 0x8F, 0x44, 0x24, 0x04});
  r.ESP = esp;
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(rig.stackDword(esp - 4), esp);
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ((V{r.ESP, rig.stackDword(esp + 4)}), (V{esp, esp}));
}

TEST(TraceStep, BranchesAndHistory) {
  TTraceRig rig(buildProgramImage().bytes);
  TFixedRegs& r = rig.regs;
  // 401000: call 401010 / 401005: nop ... 401010: ret
  rig.code(kCode, {0xE8, 0x0B, 0, 0, 0, 0x90});
  rig.file()[0x410] = 0xC3;
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.EIP, 0x401010u);
  EXPECT_EQ(history(rig), (V{RK_CALL, 0x405}));
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.EIP, 0x401005u);
  EXPECT_EQ(history(rig), V{});  // cut back to the call's entry

  // A RET without a matching entry adds a RET entry; RET imm16 pops more.
  r.push(0x401100);
  const uint32_t esp = r.ESP;
  rig.code(0x401020, {0xC2, 0x08, 0x00});
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.ESP, esp + 12);
  EXPECT_EQ(history(rig), (V{RK_RET, 0x420}));

  struct Row {
    const char* name;
    std::vector<uint8_t> code;
    uint32_t ecx, eflags, eip;
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
    SCOPED_TRACE(row.name);
    rig.history.clear();
    rig.code(0x401040, row.code);
    set(r, {{kECX, row.ecx}, {kFLAGS, row.eflags}, {kEAX, 0x401080}});
    EXPECT_EQ(rig.step(), TRACE_OK);
    EXPECT_EQ((V{r.EIP, r.ECX}), (V{row.eip, row.ecxAfter}));
    EXPECT_EQ(history(rig), row.jump ? (V{RK_JUMP, 0x440}) : V{});
  }
}

TEST(TraceStep, Kernel32StandIns) {
  const TProgramImage program = buildProgramImage();
  TTraceRig rig(program.bytes);
  TFixedRegs& r = rig.regs;
  std::memcpy(rig.file() + kDataFile, "mylib.dll\0MyFunction\0Other", 27);
  // Pushes the arguments, calls through the import slot: the status.
  auto call = [&](int slot, V arguments) {
    for (uint32_t a : arguments) r.push(a);
    rig.code(kCode, callThrough(program.slots[size_t(slot)]));
    return rig.step();
  };
  const uint32_t esp = r.ESP;
  EXPECT_EQ(call(0, {kData}), TRACE_OK);  // LoadLibraryA("mylib.dll")
  const uint32_t handle = r.EAX;
  EXPECT_NE(handle, 0u);
  EXPECT_EQ((V{r.ESP, r.EIP, rig.history.count()}), (V{esp, kCode + 6, 0}));
  EXPECT_EQ(call(1, {kData}), TRACE_OK);  // GetModuleHandleA of the same name
  EXPECT_EQ(r.EAX, handle);

  EXPECT_EQ(call(2, {kData + 10, handle}), TRACE_OK);  // GetProcAddress(handle, "MyFunction")
  const uint32_t fn = r.EAX;
  EXPECT_NE(fn, 0u);
  EXPECT_EQ((V{r.ESP, r.EIP}), (V{esp, kCode + 6}));
  char module[81], function[81];
  ASSERT_TRUE(rig.image().lookupImportKey(fn, module, sizeof module, function, sizeof function));
  EXPECT_EQ(std::string(module) + "!" + function, "mylib.dll!MyFunction");
  EXPECT_EQ(call(2, {kData + 21, handle}), TRACE_OK);  // "Other": another fresh address
  EXPECT_NE(r.EAX, fn);

  // Refusals keep ESP: a name pointer outside the file, another kernel32 function.
  r.push(0x10);
  for (auto [slot, status] :
       std::vector<std::pair<int, int>>{{0, TRACE_ILLEGAL_ADDRESS}, {3, TRACE_NOT_SUPPORTED}}) {
    rig.code(kCode, callThrough(program.slots[size_t(slot)]));
    const Snapshot before = snap(rig);
    EXPECT_EQ(rig.step(), status);
    EXPECT_TRUE(snap(rig) == before) << (slot ? "ExitProcess" : "LoadLibraryA(bad pointer)");
  }
  r.ESP = kData + 0x100;
  EXPECT_EQ(call(0, {}), TRACE_ILLEGAL_STACK);
}

TEST(TraceStep, TlsAndEntryReturnsAsk) {
  TTraceRig rig(buildProgramImage(2).bytes);
  TFixedRegs& r = rig.regs;
  rig.code(0x401100, {0xC2, 0x0C});  // callback 0: ret 0xc
  rig.code(0x401120, {0xC3});        // callback 1: ret
  r.setupTlsCallback(0, rig.image());
  // No stays on the RET; Yes goes on to the next callback, then to the entry point.
  for (auto [answer, tlsIndex, eip] : {std::tuple{MsgAnswer::No, 0u, 0x401100u},
                                       {MsgAnswer::Yes, 1u, 0x401120u},
                                       {MsgAnswer::Yes, 2u, 0x401000u}}) {
    rig.host.answers = {answer};
    EXPECT_EQ(rig.step(), TRACE_OK);
    EXPECT_EQ((V{uint32_t(r.tlsIndex), r.EIP}), (V{tlsIndex, eip})) << tlsIndex;
  }
  const std::string ask = "TLS callback returns...: Do you wish to execute the ";
  EXPECT_EQ(rig.host.messageLines(), (Lines{ask + "next TLS callback?", ask + "next TLS callback?",
                                            ask + "programm entrypoint?"}));
  EXPECT_EQ(rig.host.messages[0].buttons, MsgButtons::YesNo);
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
  EXPECT_EQ(rig.host.messageLines(),
            Lines{"Possible self modified code execution!: The following command has possibly been "
                  "altered!\nDo you want to continue tracing? (Cancel for ignore until break)"});
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
  // Handler: mov eax,[esp+12]; add dword [eax+0xB8],1; xor eax,eax; ret
  rig.code(0x401100, {0x8B, 0x44, 0x24, 0x0C, 0x83, 0x80, 0xB8, 0, 0, 0, 0x01, 0x31, 0xC0, 0xC3});
  // push handler; push dword fs:[0]; mov fs:[0],esp; cli; inc eax
  rig.code(kCode, {0x68, 0x00, 0x11, 0x40, 0x00, 0x64, 0xFF, 0x35, 0,    0,   0,
                   0,    0x64, 0x89, 0x25, 0,    0,    0,    0,    0xFA, 0x40});
  EXPECT_FALSE(r.hasExceptionHandler(rig.image()));
  for (int i = 0; i < 3; ++i) ASSERT_EQ(rig.step(), TRACE_OK) << i;
  const uint32_t record = r.ESP;
  EXPECT_EQ((V{r.exceptionList, rig.stackDword(record)}), (V{record, 0xFFFFFFFF}));
  EXPECT_TRUE(r.hasExceptionHandler(rig.image()));
  ASSERT_EQ(rig.step(), TRACE_ILLEGAL_COMMAND);
  set(r, {{kFault, 0x1234}, {kFaultWrite, 1}, {kEAX, 0xA}, {kEDI, 0xD1}});
  const uint32_t e0 = r.ESP, eflags = r.EFLAGS, faultEip = r.EIP;
  rig.env.tracePoint = rig.fileOffset(faultEip);
  r.enterExceptionHandler(rig.env);

  // Handler arguments: return address, exception record, frame, context, dispatcher frame.
  const uint32_t c = e0 - 204, x = c - 28, d = rig.stackDword(r.ESP + 16);
  EXPECT_EQ((V{r.EIP, r.ECX, r.EDX, r.EBX, r.EDI, r.EFLAGS, r.EBP, r.faultAddress, r.ESI, r.EAX}),
            (V{0x401100, 0x401100, 0x77896DAE, e0, 0xD1, eflags, r.ESP + 0x20, 0, x, d}));
  EXPECT_EQ((V{rig.stackDword(r.ESP), rig.stackDword(r.ESP + 4), rig.stackDword(r.ESP + 8),
               rig.stackDword(r.ESP + 12)}),
            (V{0x77896BA7, x, record, c}));
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
  EXPECT_EQ((V{rig.stackDword(c - 28 - 4), rig.stackDword(d), rig.stackDword(d + 4),
               rig.stackDword(d + 8), rig.stackDword(d - 0x50 - 4), rig.stackDword(d - 0x50 - 16)}),
            (V{c, 0x77881F00, r.stackBase + 0x4000, r.stackBase, d - 0x50 + 0x7F, 0x401100}));

  // The handler moves the context's EIP past the CLI and returns; then the INC runs.
  for (int i = 0; i < 4; ++i) ASSERT_EQ(rig.step(), TRACE_OK) << i;
  EXPECT_EQ((V{r.EIP, r.ESP, r.EAX, r.EDI}), (V{faultEip + 1, e0, 0xA, 0xD1}));
  EXPECT_EQ(rig.step(), TRACE_OK);
  EXPECT_EQ(r.EAX, 0xBu);
  EXPECT_TRUE(rig.host.messages.empty());
}

TEST(TraceStep, ExceptionReturnMessages) {
  struct Row {
    bool corrupt;
    uint32_t contextFlags;
    const char* text;
  } rows[] = {
      {true, 0x1003F, "Stack parameters corrupted! Please tell us about it!"},
      {false, 0x4, "Control context stuff not used! Please tell us about it!"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    TTraceRig rig(buildProgramImage().bytes);
    TFixedRegs& r = rig.regs;
    const uint32_t c = r.ESP - 0x400, pointer = row.corrupt ? 0x10 : c;
    r.writeStack(c - r.stackBase, row.contextFlags);
    for (uint32_t v : {c, pointer, pointer, pointer, TFixedRegs::HANDLER_RETURN}) r.push(v);
    rig.code(kCode, {0xC3});
    EXPECT_EQ(rig.step(), TRACE_OK);
    EXPECT_EQ(rig.host.messageLines(),
              Lines{std::string("TFixedRegs::returnFromExceptionHandler(): ") + row.text});
  }
}

TEST(TraceStep, SixteenBitAddressingAndCounters) {
  // A headerless file: memory addresses are file offsets.
  TTraceRig rig(std::vector<uint8_t>(0x10020, 0), true);
  rig.regs.stackBase = 0x200000;
  rig.regs.ESP = 0x204000;
  std::memcpy(rig.file() + 0x10001, "\x34\x12", 2);
  std::memcpy(rig.file() + 0x10, "\x01\x02\x03\x04", 4);
  const TFields bxSi = {{kEIP, 0x100}, {kEBX, 0xFFFF}, {kESI, 2}, {kEAX, 0xAAAA5555}};
  const Step rows[] = {
      row("mov ax,[bx+si]: offset 0x10001, not wrapped", {0x8B, 0x00}, TRACE_OK, bxSi,
          {{kEAX, 0xAAAA1234}, {kEIP, 0x102}}),
      row("[bp+di+disp8]; 66 gives a 32-bit operand", {0x66, 0x8B, 0x43, 0xFE}, TRACE_OK,
          {{kEIP, 0x100}, {kEBP, 0x12}, {kEDI, 0}}, {{kEAX, 0x04030201}}),
      row("[disp16]", {0xA1, 0x10, 0x00}, TRACE_OK, {{kEIP, 0x100}, {kEAX, 0}}, {{kEAX, 0x0201}}),
      row("LEA wraps to 16 bits as the address size says", {0x8D, 0x00}, TRACE_OK, bxSi,
          {{kEAX, 0xAAAA0001}}),
      row("LOOP counts CX in 16-bit code", {0xE2, 0xFE}, TRACE_OK,
          {{kEIP, 0x100}, {kECX, 0x00010001}}, {{kECX, 0x00010000}, {kEIP, 0x102}}),
  };
  for (const Step& c : rows) runStep(rig, c);
}

}  // namespace
