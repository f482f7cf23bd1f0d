#include "disasm/opcode_tables.h"

namespace {

constexpr OpcodeEntry kUndef{"", nullptr, 0, 0, SizeNone, GroupNone};

constexpr OpcodeEntry entry(const char* m, int8_t size, uint32_t ops, const void* extra = nullptr,
                            uint8_t group = GroupNone) {
  // Every instruction with a ModRM-based operand carries a ModRM byte.
  uint8_t modrm = 0;
  for (uint32_t o = ops; o; o <<= 8) {
    uint8_t k = uint8_t(o >> 24);
    if (k == RegMem || k == RegMemTarget || k == RegMem16 || k == RegMem8 || k == RegField ||
        k == RegField16 || k == SegRegField || k == ControlReg || k == DebugReg || k == TestReg)
      modrm = 1;
  }
  return OpcodeEntry{m, extra, ops, modrm, size, group};
}

constexpr uint32_t ops(uint8_t a = 0, uint8_t b = 0, uint8_t c = 0) {
  return packOperands(a, b, c);
}

constexpr const char* kArith[8] = {"add", "or", "adc", "sbb", "and", "sub", "xor", "cmp"};
constexpr const char* kJcc[16] = {"jo", "jno", "jb", "jnb", "jz", "jnz", "jbe", "jnbe",
                                  "js", "jns", "jp", "jnp", "jl", "jnl", "jle", "jnle"};
constexpr const char* kSetcc[16] = {"seto",  "setno",  "setb",  "setnb", "setz", "setnz",
                                    "setbe", "setnbe", "sets",  "setns", "setp", "setnp",
                                    "setl",  "setnl",  "setle", "setnle"};
constexpr const char* kCmov[16] = {"cmovo",  "cmovno",  "cmovc",  "cmovae", "cmove",  "cmovne",
                                   "cmovbe", "cmovnbe", "cmovs",  "cmovns", "cmovpe", "cmovpo",
                                   "cmovl",  "cmovnl",  "cmovle", "cmovnle"};

// Mnemonic-list groups: the main entry's operands and size kind stay.
constexpr const char* kGroup1[8] = {"add", "or", "adc", "sbb", "and", "sub", "xor", "cmp"};
constexpr const char* kGroup2[8] = {"rol", "ror", "rcl", "rcr", "shl", "shr", "shl", "sar"};
constexpr const char* kGroup0F00[8] = {"sldt", "str", "lldt", "ltr", "verr", "verw", "", ""};
constexpr const char* kGroup0F01[8] = {"sgdt", "sidt", "lgdt", "lidt",
                                       "smsw", "",     "lmsw", "invlpg"};
constexpr const char* kGroup0FBA[8] = {"", "", "", "", "bt", "bts", "btr", "btc"};

// Record groups.
constexpr OpcodeEntry kGroup3[8] = {
    entry("test", SizeOperand, ops(RegMem, ImmAddress)),
    entry("test", SizeOperand, ops(RegMem, ImmAddress)),
    entry("not", SizeOperand, ops(RegMem)),
    entry("neg", SizeOperand, ops(RegMem)),
    entry("mul", SizeOperand, ops(Accumulator, RegMem)),
    entry("imul", SizeOperand, ops(Accumulator, RegMem)),
    entry("div", SizeOperand, ops(Accumulator, RegMem)),
    entry("idiv", SizeOperand, ops(Accumulator, RegMem)),
};
constexpr OpcodeEntry kGroup4[8] = {
    entry("inc", SizeByte, ops(RegMem)),
    entry("dec", SizeByte, ops(RegMem)),
    kUndef,
    kUndef,
    kUndef,
    kUndef,
    kUndef,
    kUndef,
};
constexpr OpcodeEntry kGroup5[8] = {
    entry("inc", SizeOperand, ops(RegMem)),        entry("dec", SizeOperand, ops(RegMem)),
    entry("call", SizeOperand, ops(RegMemTarget)), entry("call", SizeFar, ops(RegMemTarget)),
    entry("jmp", SizeOperand, ops(RegMemTarget)),  entry("jmp", SizeFar, ops(RegMemTarget)),
    entry("push", SizeOperand, ops(RegMem)),       kUndef,
};

// Group main entries carry a placeholder mnemonic; the group supplies the real one.
constexpr const char* kGroupName = "(group)";

constexpr std::array<OpcodeEntry, 256> buildOneByte() {
  std::array<OpcodeEntry, 256> t{};
  for (auto& e : t) e = kUndef;
  for (int i = 0; i < 8; ++i) {
    int b = i * 8;
    t[b + 0] = entry(kArith[i], SizeByte, ops(RegMem, RegField));
    t[b + 1] = entry(kArith[i], SizeOperand, ops(RegMem, RegField));
    t[b + 2] = entry(kArith[i], SizeByte, ops(RegField, RegMem));
    t[b + 3] = entry(kArith[i], SizeOperand, ops(RegField, RegMem));
    // or/and/xor take an address-like immediate, the others a signed value.
    uint8_t imm = (i == 1 || i == 4 || i == 6) ? ImmAddress : ImmValue;
    t[b + 4] = entry(kArith[i], SizeByte, ops(Accumulator, imm));
    t[b + 5] = entry(kArith[i], SizeOperand, ops(Accumulator, imm));
  }
  t[0x06] = t[0x0E] = t[0x16] = t[0x1E] = entry("push", SizeNone, ops(SegRegInOpcode));
  t[0x07] = t[0x17] = t[0x1F] = entry("pop", SizeNone, ops(SegRegInOpcode));
  t[0x27] = entry("daa", SizeNone, 0);
  t[0x2F] = entry("das", SizeNone, 0);
  t[0x37] = entry("aaa", SizeNone, 0);
  t[0x3F] = entry("aas", SizeNone, 0);
  for (int r = 0; r < 8; ++r) {
    t[0x40 + r] = entry("inc", SizeOperand, ops(RegInOpcode));
    t[0x48 + r] = entry("dec", SizeOperand, ops(RegInOpcode));
    t[0x50 + r] = entry("push", SizeOperand, ops(RegInOpcode));
    t[0x58 + r] = entry("pop", SizeOperand, ops(RegInOpcode));
  }
  t[0x60] = entry("pusha", SizeOperand, 0);
  t[0x61] = entry("popa", SizeOperand, 0);
  t[0x62] = entry("bound", SizeOperand, ops(RegField, RegMem));
  t[0x63] = entry("arpl", SizeNone, ops(RegMem16, RegField16));
  t[0x68] = entry("push", SizeOperand, ops(ImmAddress));
  t[0x69] = entry("imul", SizeOperand, ops(RegField, RegMem, ImmAddress));
  t[0x6A] = entry("push", SizeOperand, ops(Imm8));
  t[0x6B] = entry("imul", SizeOperand, ops(RegField, RegMem, Imm8Signed));
  t[0x6C] = entry("ins", SizeByte, ops(StringDest, RegDX));
  t[0x6D] = entry("ins", SizeOperand, ops(StringDest, RegDX));
  t[0x6E] = entry("outs", SizeByte, ops(RegDX, StringSource));
  t[0x6F] = entry("outs", SizeOperand, ops(RegDX, StringSource));
  for (int i = 0; i < 16; ++i) t[0x70 + i] = entry(kJcc[i], SizeNone, ops(Rel8));
  t[0x80] = entry(kGroupName, SizeByte, ops(RegMem, ImmAddress), kGroup1, GroupNames);
  t[0x81] = entry(kGroupName, SizeOperand, ops(RegMem, ImmAddress), kGroup1, GroupNames);
  t[0x82] = entry(kGroupName, SizeByte, ops(RegMem, ImmValue), kGroup1, GroupNames);
  t[0x83] = entry(kGroupName, SizeOperand, ops(RegMem, Imm8Signed), kGroup1, GroupNames);
  t[0x84] = entry("test", SizeByte, ops(RegMem, RegField));
  t[0x85] = entry("test", SizeOperand, ops(RegMem, RegField));
  t[0x86] = entry("xchg", SizeByte, ops(RegMem, RegField));
  t[0x87] = entry("xchg", SizeOperand, ops(RegMem, RegField));
  t[0x88] = entry("mov", SizeByte, ops(RegMem, RegField));
  t[0x89] = entry("mov", SizeOperand, ops(RegMem, RegField));
  t[0x8A] = entry("mov", SizeByte, ops(RegField, RegMem));
  t[0x8B] = entry("mov", SizeOperand, ops(RegField, RegMem));
  t[0x8C] = entry("mov", SizeNone, ops(RegMem16, SegRegField));
  t[0x8D] = entry("lea", SizeOperand, ops(RegField, RegMem));
  t[0x8E] = entry("mov", SizeNone, ops(SegRegField, RegMem16));
  t[0x8F] = entry("pop", SizeOperand, ops(RegMem));
  t[0x90] = entry("nop", SizeNone, 0);
  for (int r = 1; r < 8; ++r)
    t[0x90 + r] = entry("xchg", SizeOperand, ops(RegInOpcode, Accumulator));
  t[0x98] = entry("cbw", SizeTwoNames, 0, "cwde");
  t[0x99] = entry("cwd", SizeTwoNames, 0, "cdq");
  t[0x9A] = entry("call", SizeNone, ops(FarPointer));
  t[0x9B] = entry("wait", SizeNone, 0);
  t[0x9C] = entry("pushf", SizeOperand, 0);
  t[0x9D] = entry("popf", SizeOperand, 0);
  t[0x9E] = entry("sahf", SizeNone, 0);
  t[0x9F] = entry("lahf", SizeNone, 0);
  t[0xA0] = entry("mov", SizeByte, ops(Accumulator, MemOffset));
  t[0xA1] = entry("mov", SizeOperand, ops(Accumulator, MemOffset));
  t[0xA2] = entry("mov", SizeByte, ops(MemOffset, Accumulator));
  t[0xA3] = entry("mov", SizeOperand, ops(MemOffset, Accumulator));
  t[0xA4] = entry("movs", SizeByte, ops(StringDest, StringSource));
  t[0xA5] = entry("movs", SizeOperand, ops(StringDest, StringSource));
  t[0xA6] = entry("cmps", SizeByte, ops(StringDest, StringSource));
  t[0xA7] = entry("cmps", SizeOperand, ops(StringDest, StringSource));
  t[0xA8] = entry("test", SizeByte, ops(Accumulator, ImmAddress));
  t[0xA9] = entry("test", SizeOperand, ops(Accumulator, ImmAddress));
  t[0xAA] = entry("stos", SizeByte, ops(StringDest));
  t[0xAB] = entry("stos", SizeOperand, ops(StringDest));
  t[0xAC] = entry("lods", SizeByte, ops(StringSource));
  t[0xAD] = entry("lods", SizeOperand, ops(StringSource));
  t[0xAE] = entry("scas", SizeByte, ops(StringDest));
  t[0xAF] = entry("scas", SizeOperand, ops(StringDest));
  for (int r = 0; r < 8; ++r) {
    t[0xB0 + r] = entry("mov", SizeByte, ops(RegInOpcode, ImmAddress));
    t[0xB8 + r] = entry("mov", SizeOperand, ops(RegInOpcode, ImmAddress));
  }
  t[0xC0] = entry(kGroupName, SizeByte, ops(RegMem, Imm8), kGroup2, GroupNames);
  t[0xC1] = entry(kGroupName, SizeOperand, ops(RegMem, Imm8), kGroup2, GroupNames);
  t[0xC2] = entry("ret", SizeNone, ops(Imm16));
  t[0xC3] = entry("ret", SizeNone, 0);
  t[0xC4] = entry("les", SizeOperand, ops(RegField, RegMem));
  t[0xC5] = entry("lds", SizeOperand, ops(RegField, RegMem));
  t[0xC6] = entry("mov", SizeByte, ops(RegMem, ImmAddress));
  t[0xC7] = entry("mov", SizeOperand, ops(RegMem, ImmAddress));
  t[0xC8] = entry("enter", SizeNone, ops(Imm16, Imm8));
  t[0xC9] = entry("leave", SizeNone, 0);
  t[0xCA] = entry("retf", SizeNone, ops(Imm16));
  t[0xCB] = entry("retf", SizeNone, 0);
  t[0xCC] = entry("int", SizeNone, ops(Three));
  t[0xCD] = entry("int", SizeNone, ops(Imm8));
  t[0xCE] = entry("into", SizeNone, 0);
  t[0xCF] = entry("iret", SizeNone, 0);
  t[0xD0] = entry(kGroupName, SizeByte, ops(RegMem, One), kGroup2, GroupNames);
  t[0xD1] = entry(kGroupName, SizeOperand, ops(RegMem, One), kGroup2, GroupNames);
  t[0xD2] = entry(kGroupName, SizeByte, ops(RegMem, RegCL), kGroup2, GroupNames);
  t[0xD3] = entry(kGroupName, SizeOperand, ops(RegMem, RegCL), kGroup2, GroupNames);
  // aam/aad: only the base-10 forms, whose ModRM-position byte must be 0x0A.
  t[0xD4] = OpcodeEntry{"aam", nullptr, 0, 1, SizeNone, GroupNone};
  t[0xD5] = OpcodeEntry{"aad", nullptr, 0, 1, SizeNone, GroupNone};
  t[0xD7] = entry("xlat", SizeByte, ops(XlatSource));
  t[0xE0] = entry("loopne", SizeNone, ops(Rel8));
  t[0xE1] = entry("loope", SizeNone, ops(Rel8));
  t[0xE2] = entry("loop", SizeNone, ops(Rel8));
  t[0xE3] = entry("jcxz", SizeTwoNames, ops(Rel8), "jecxz");
  t[0xE4] = entry("in", SizeByte, ops(Accumulator, Imm8));
  t[0xE5] = entry("in", SizeOperand, ops(Accumulator, Imm8));
  t[0xE6] = entry("out", SizeByte, ops(Imm8, Accumulator));
  t[0xE7] = entry("out", SizeOperand, ops(Imm8, Accumulator));
  t[0xE8] = entry("call", SizeNone, ops(RelCall));
  t[0xE9] = entry("jmp", SizeNone, ops(RelJump));
  t[0xEA] = entry("jmp", SizeNone, ops(FarPointer));
  t[0xEB] = entry("jmp", SizeNone, ops(Rel8));
  t[0xEC] = entry("in", SizeByte, ops(Accumulator, RegDX));
  t[0xED] = entry("in", SizeOperand, ops(Accumulator, RegDX));
  t[0xEE] = entry("out", SizeByte, ops(RegDX, Accumulator));
  t[0xEF] = entry("out", SizeOperand, ops(RegDX, Accumulator));
  t[0xF4] = entry("hlt", SizeNone, 0);
  t[0xF5] = entry("cmc", SizeNone, 0);
  t[0xF6] = OpcodeEntry{kGroupName, kGroup3, 0, 1, SizeByte, GroupRecordsOps};
  t[0xF7] = OpcodeEntry{kGroupName, kGroup3, 0, 1, SizeOperand, GroupRecordsOps};
  t[0xF8] = entry("clc", SizeNone, 0);
  t[0xF9] = entry("stc", SizeNone, 0);
  t[0xFA] = entry("cli", SizeNone, 0);
  t[0xFB] = entry("sti", SizeNone, 0);
  t[0xFC] = entry("cld", SizeNone, 0);
  t[0xFD] = entry("std", SizeNone, 0);
  t[0xFE] = OpcodeEntry{kGroupName, kGroup4, 0, 1, SizeNone, GroupRecords};
  t[0xFF] = OpcodeEntry{kGroupName, kGroup5, 0, 1, SizeNone, GroupRecords};
  return t;
}

using Row = std::array<OpcodeEntry, 16>;

constexpr Row emptyRow() {
  Row r{};
  for (auto& e : r) e = kUndef;
  return r;
}

constexpr Row buildRow0() {
  Row r = emptyRow();
  r[0x0] = entry(kGroupName, SizeNone, ops(RegMem16), kGroup0F00, GroupNames);
  r[0x1] = entry(kGroupName, SizeNone, ops(RegMem16), kGroup0F01, GroupNames);
  r[0x2] = entry("lar", SizeOperand, ops(RegField, RegMem));
  r[0x3] = entry("lsl", SizeOperand, ops(RegField, RegMem));
  r[0x6] = entry("clts", SizeNone, 0);
  r[0x8] = entry("invd", SizeNone, 0);
  r[0x9] = entry("wbinvd", SizeNone, 0);
  r[0xB] = entry("ud2", SizeNone, 0);
  return r;
}

constexpr Row buildRow2() {
  Row r = emptyRow();
  r[0x0] = entry("mov", SizeOperand, ops(RegMem, ControlReg));
  r[0x1] = entry("mov", SizeOperand, ops(RegMem, DebugReg));
  r[0x4] = entry("mov", SizeOperand, ops(RegMem, TestReg));
  r[0x2] = entry("mov", SizeOperand, ops(ControlReg, RegMem));
  r[0x3] = entry("mov", SizeOperand, ops(DebugReg, RegMem));
  r[0x6] = entry("mov", SizeOperand, ops(TestReg, RegMem));
  return r;
}

constexpr Row buildRow3() {
  Row r = emptyRow();
  r[0x0] = entry("wrmsr", SizeNone, 0);
  r[0x1] = entry("rdtsc", SizeNone, 0);
  r[0x2] = entry("rdmsr", SizeNone, 0);
  r[0x3] = entry("rdpmc", SizeNone, 0);
  return r;
}

constexpr Row buildRow4() {
  Row r = emptyRow();
  for (int i = 0; i < 16; ++i) r[i] = entry(kCmov[i], SizeOperand, ops(RegField, RegMem));
  return r;
}

constexpr Row buildRow7() {
  Row r = emptyRow();
  r[0x7] = entry("emms", SizeNone, 0);
  return r;
}

constexpr Row buildRow8() {
  Row r = emptyRow();
  for (int i = 0; i < 16; ++i) r[i] = entry(kJcc[i], SizeNone, ops(RelJump));
  return r;
}

constexpr Row buildRow9() {
  Row r = emptyRow();
  for (int i = 0; i < 16; ++i) r[i] = entry(kSetcc[i], SizeNone, ops(RegMem8));
  return r;
}

constexpr Row buildRowA() {
  Row r = emptyRow();
  r[0x0] = entry("push", SizeNone, ops(SegRegInOpcode));
  r[0x1] = entry("pop", SizeNone, ops(SegRegInOpcode));
  r[0x2] = entry("cpuid", SizeNone, 0);
  r[0x3] = entry("bt", SizeOperand, ops(RegMem, RegField));
  r[0x4] = entry("shld", SizeOperand, ops(RegMem, RegField, Imm8));
  r[0x5] = entry("shld", SizeOperand, ops(RegMem, RegField, RegCL));
  r[0x8] = entry("push", SizeNone, ops(SegRegInOpcode));
  r[0x9] = entry("pop", SizeNone, ops(SegRegInOpcode));
  r[0xA] = entry("rsm", SizeNone, 0);
  r[0xB] = entry("bts", SizeOperand, ops(RegMem, RegField));
  r[0xC] = entry("shrd", SizeOperand, ops(RegMem, RegField, Imm8));
  r[0xD] = entry("shrd", SizeOperand, ops(RegMem, RegField, RegCL));
  r[0xF] = entry("imul", SizeOperand, ops(RegField, RegMem));
  return r;
}

constexpr Row buildRowB() {
  Row r = emptyRow();
  r[0x0] = entry("cmpxchg", SizeByte, ops(RegMem, RegField));
  r[0x1] = entry("cmpxchg", SizeOperand, ops(RegMem, RegField));
  r[0x2] = entry("lss", SizeOperand, ops(RegField, RegMem));
  r[0x3] = entry("btr", SizeOperand, ops(RegMem, RegField));
  r[0x4] = entry("lfs", SizeOperand, ops(RegField, RegMem));
  r[0x5] = entry("lgs", SizeOperand, ops(RegField, RegMem));
  r[0x6] = entry("movzx", SizeOperand, ops(RegField, RegMem8));
  r[0x7] = entry("movzx", SizeOperand, ops(RegField, RegMem16));
  r[0xA] = entry(kGroupName, SizeOperand, ops(RegMem, Imm8), kGroup0FBA, GroupNames);
  r[0xB] = entry("btc", SizeOperand, ops(RegMem, RegField));
  r[0xC] = entry("bsf", SizeOperand, ops(RegField, RegMem));
  r[0xD] = entry("bsr", SizeOperand, ops(RegField, RegMem));
  r[0xE] = entry("movsx", SizeOperand, ops(RegField, RegMem8));
  r[0xF] = entry("movsx", SizeOperand, ops(RegField, RegMem16));
  return r;
}

constexpr Row buildRowC() {
  Row r = emptyRow();
  r[0x0] = entry("xadd", SizeByte, ops(RegMem, RegField));
  r[0x1] = entry("xadd", SizeOperand, ops(RegMem, RegField));
  for (int i = 8; i < 16; ++i) r[i] = entry("bswap", SizeOperand, ops(RegInOpcode));
  return r;
}

constexpr Row buildRowD() {
  Row r = emptyRow();
  r[0x0] = entry("cmpxchg", SizeByte, ops(RegMem, RegField));
  r[0x1] = entry("cmpxchg", SizeOperand, ops(RegMem, RegField));
  return r;
}

constexpr Row kRow0 = buildRow0();
constexpr Row kRow2 = buildRow2();
constexpr Row kRow3 = buildRow3();
constexpr Row kRow4 = buildRow4();
constexpr Row kRow7 = buildRow7();
constexpr Row kRow8 = buildRow8();
constexpr Row kRow9 = buildRow9();
constexpr Row kRowA = buildRowA();
constexpr Row kRowB = buildRowB();
constexpr Row kRowC = buildRowC();
constexpr Row kRowD = buildRowD();

// x87 name lists for register forms without operands.
constexpr const char* kNone[8] = {"", "", "", "", "", "", "", ""};
constexpr const char* kD9r2[8] = {"fnop", "", "", "", "", "", "", ""};
constexpr const char* kD9r4[8] = {"fchs", "fabs", "", "", "ftst", "fxam", "", ""};
constexpr const char* kD9r5[8] = {"fld1",   "fldl2t", "fldl2e", "fldpi",
                                  "fldlg2", "fldln2", "fldz",   ""};
constexpr const char* kD9r6[8] = {"f2xm1",   "fyl2x",  "fptan",   "fpatan",
                                  "fxtract", "fprem1", "fdecstp", "fincstp"};
constexpr const char* kD9r7[8] = {"fprem",   "fyl2xp1", "fsqrt", "fsincos",
                                  "frndint", "fscale",  "fsin",  "fcos"};
constexpr const char* kDAr5[8] = {"", "fucompp", "", "", "", "", "", ""};
constexpr const char* kDBr4[8] = {"", "", "fnclex", "fninit", "", "", "", ""};
constexpr const char* kDEr3[8] = {"", "fcompp", "", "", "", "", "", ""};
constexpr const char* kDFr4[8] = {"fnstsw", "", "", "", "", "", "", ""};

constexpr FpuEntry fpu(const char* mem, uint8_t size, uint16_t form = FpuNoReg,
                       const char* reg = "", const char* const* names = kNone) {
  return FpuEntry{mem, size, form, reg, names};
}

}  // namespace

const OpcodeEntry undefinedEntry = kUndef;

extern const std::array<OpcodeEntry, 256> oneByteMap = buildOneByte();

const OpcodeEntry* const twoByteRows[16] = {
    kRow0.data(), nullptr,      kRow2.data(), kRow3.data(), kRow4.data(), nullptr,
    nullptr,      kRow7.data(), kRow8.data(), kRow9.data(), kRowA.data(), kRowB.data(),
    kRowC.data(), kRowD.data(), nullptr,      nullptr,
};

const FpuEntry fpuTable[8][8] = {
    {// D8
     fpu("fadd", 4, FpuStFirst, "fadd"), fpu("fmul", 4, FpuStFirst, "fmul"),
     fpu("fcom", 4, FpuStFirst, "fcom"), fpu("fcomp", 4, FpuStFirst, "fcomp"),
     fpu("fsub", 4, FpuStFirst, "fsub"), fpu("fsubr", 4, FpuStFirst, "fsubr"),
     fpu("fdiv", 4, FpuStFirst, "fdiv"), fpu("fdivr", 4, FpuStFirst, "fdivr")},
    {// D9
     fpu("fld", 4, FpuSt, "fld"), fpu("", 0, FpuSt, "fxch"), fpu("fst", 4, FpuList, "", kD9r2),
     fpu("fstp", 4, FpuList, "", kNone), fpu("fldenv", 8, FpuList, "", kD9r4),
     fpu("fldcw", 1, FpuList, "", kD9r5), fpu("fnstenv", 8, FpuList, "", kD9r6),
     fpu("fnstcw", 1, FpuList, "", kD9r7)},
    {// DA
     fpu("fiadd", 2, FpuStFirst, "fcmovb"), fpu("fimul", 2, FpuStFirst, "fcmove"),
     fpu("ficom", 2, FpuStFirst, "fcmovbe"), fpu("ficomp", 2, FpuStFirst, "fcmovu"),
     fpu("fisub", 2), fpu("fisubr", 2, FpuList, "", kDAr5), fpu("fidiv", 2), fpu("fidivr", 2)},
    {// DB
     fpu("fild", 2, FpuStFirst, "fcmovnb"), fpu("", 0, FpuStFirst, "fcmovne"),
     fpu("fist", 2, FpuStFirst, "fcmovnbe"), fpu("fistp", 2, FpuStFirst, "fcmovnu"),
     fpu("", 0, FpuList, "", kDBr4), fpu("fld", 6, FpuStFirst, "fucomi"),
     fpu("", 0, FpuStFirst, "fcomi"), fpu("fstp", 6)},
    {// DC
     fpu("fadd", 5, FpuStSt, "fadd"), fpu("fmul", 5, FpuStSt, "fmul"), fpu("fcom", 5),
     fpu("fcomp", 5), fpu("fsub", 5, FpuStSt, "fsubr"), fpu("fsubr", 5, FpuStSt, "fsub"),
     fpu("fdiv", 5, FpuStSt, "fdivr"), fpu("fdivr", 5, FpuStSt, "fdiv")},
    {// DD
     fpu("fld", 5, FpuSt, "ffree"), fpu("", 0), fpu("fst", 5, FpuSt, "fst"),
     fpu("fstp", 5, FpuSt, "fstp"), fpu("frstor", 8, FpuSt, "fucom"), fpu("", 0, FpuSt, "fucomp"),
     fpu("fnsave", 8), fpu("fnstsw", 1)},
    {// DE
     fpu("fiadd", 1, FpuStSt, "faddp"), fpu("fimul", 1, FpuStSt, "fmulp"), fpu("ficom", 1),
     fpu("ficomp", 1, FpuList, "", kDEr3), fpu("fisub", 1, FpuStSt, "fsubrp"),
     fpu("fisubr", 1, FpuStSt, "fsubp"), fpu("fidiv", 1, FpuStSt, "fdivrp"),
     fpu("fidivr", 1, FpuStSt, "fdivp")},
    {// DF
     fpu("fild", 1), fpu("", 0), fpu("fist", 1), fpu("fistp", 1),
     fpu("fbld", 6, FpuListAx, "", kDFr4), fpu("fild", 3, FpuStFirst, "fucomip"),
     fpu("fbstp", 6, FpuStFirst, "fcomip"), fpu("fistp", 3)},
};

const char* memSizeKeyword(unsigned code) {
  static const char* const kKeywords[10] = {
      "byte ptr ",   "word ptr ",  "dword ptr ", "qword ptr ", "single ptr ",
      "double ptr ", "tbyte ptr ", "",           "",           "far ptr "};
  return code < 10 ? kKeywords[code] : "";
}
