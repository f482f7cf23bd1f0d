// Differential check of decoded lengths and mnemonics against Zydis (legacy
// 16- and 32-bit modes), on random bytes and on the code of real i686 DLLs.
// Encodings our tables reject or read differently on purpose are skipped by
// the named rules below; anything else that differs is a failure.
#include <Zydis/Zydis.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "disasm/decoder.h"
#include "disasm/opcode_tables.h"
#include "support/fixtures.h"
#include "support/parsed_image.h"

namespace {

// Why a difference is expected. Each rule names the design choice behind it.
enum TRule {
  Agree,          // same length (and equivalent mnemonic), or both reject
  TooLong,        // peer caps instructions at 15 bytes; our prefix count is unlimited
  IllegalLock,    // peer rejects lock before non-lockable instructions; we print it anywhere
  RepNotString,   // we accept rep only once and only before one-byte string instructions
  UnusedSegment,  // we reject a segment override that no operand of ours uses
  OutsideSet,     // opcode (MMX/SSE/newer, salc, int1, hint nops...) is not in our tables
  GroupSlot,      // ModRM.reg slot of a group our tables leave undefined
  FpuForm,        // x87 form outside our tables (undocumented aliases, ffreep, ...)
  AamBase,        // we accept aam/aad only with base 10
  SystemRegMove,  // mov to/from cr/dr/tr: peer ignores ModRM.mod and rejects tr/cr1/cr5+
  VexSpace,  // c4/c5/62/8f with register forms are VEX/EVEX/XOP in the peer; les/lds/bound/pop here
  MemoryOnlyRegister,  // lea/les/lds/lss/lfs/lgs/bound/invlpg...: we print the register form
  SegmentRegister,     // mov to/from seg 6/7 or to cs: peer rejects, we print names
  SystemGroupSpecial,  // 0f 01 with mod 3 holds newer system instructions in the peer
  JcxzName,            // we pick jcxz/jecxz by operand size, the peer by address size
  RegFieldIgnored,     // c6/c7/8f: our tables have no group there and ignore ModRM.reg
  CmpxchgD0,           // 0f d0/d1 hold cmpxchg in our tables (SSE in the peer)
  RepeatedSizePrefix,  // each 66/67 switches the size back and forth here; the processor counts one
  Mismatch,
  RuleCount
};

const char* const kRuleNames[RuleCount] = {"agree",
                                           "too long",
                                           "illegal lock",
                                           "rep not before string",
                                           "unused segment",
                                           "outside set",
                                           "group slot",
                                           "x87 form",
                                           "aam/aad base",
                                           "system register move",
                                           "VEX/XOP space",
                                           "memory-only register form",
                                           "segment register",
                                           "0f 01 special",
                                           "jcxz name",
                                           "reg field ignored",
                                           "cmpxchg at 0f d0",
                                           "repeated 66/67",
                                           "MISMATCH"};

// Peer mnemonic -> ours, where the names differ.
const std::map<std::string, std::string> kSameMnemonic = {
    {"cmovb", "cmovc"},  {"cmovnb", "cmovae"}, {"cmovz", "cmove"},  {"cmovnz", "cmovne"},
    {"cmovp", "cmovpe"}, {"cmovnp", "cmovpo"}, {"sal", "shl"},      {"int3", "int"},
    {"fwait", "wait"},   {"pushad", "pusha"},  {"popad", "popa"},   {"pushfd", "pushf"},
    {"popfd", "popf"},   {"iretd", "iret"},    {"iretw", "iret"},   {"ret", "retf"},
    {"pushaw", "pusha"}, {"popaw", "popa"},    {"pushfw", "pushf"}, {"popfw", "popf"},
};

struct TPeer {
  bool valid;
  ZyanStatus status;
  size_t length;
  std::string mnemonic;
};

class TOracle {
 public:
  explicit TOracle(bool code16) : code16_(code16) {
    ZydisDecoderInit(&decoder_,
                     code16 ? ZYDIS_MACHINE_MODE_LEGACY_16 : ZYDIS_MACHINE_MODE_LEGACY_32,
                     code16 ? ZYDIS_STACK_WIDTH_16 : ZYDIS_STACK_WIDTH_32);
  }

  TPeer peer(const uint8_t* p, size_t avail) const {
    ZydisDecoderContext ctx;
    ZydisDecodedInstruction insn;
    ZyanStatus s = ZydisDecoderDecodeInstruction(&decoder_, &ctx, p, avail, &insn);
    if (!ZYAN_SUCCESS(s)) return {false, s, 0, ""};
    return {true, s, insn.length, ZydisMnemonicGetString(insn.mnemonic)};
  }

  // Our length and mnemonic ("" for an undefined instruction).
  std::pair<size_t, std::string> ours(const uint8_t* p) const {
    const uint8_t* c0 = p;
    decodeInstruction(c0, DecodeLength, p, 0, nullptr, 0, code16_, nullptr, nullptr);
    char text[400] = "";
    const uint8_t* c2 = p;
    decodeInstruction(c2, DecodePlain, p, 0, text, sizeof text, code16_, nullptr, nullptr);
    EXPECT_EQ(c0, c2) << "length differs between modes";
    if (std::strncmp(text, "db    ", 6) == 0) return {1, ""};
    const char* m = text;
    while (!std::strncmp(m, "lock  ", 6) || !std::strncmp(m, "repz  ", 6) ||
           !std::strncmp(m, "repnz ", 6))
      m += 6;
    return {size_t(c0 - p), std::string(m, std::strcspn(m, " "))};
  }

  TRule classify(const uint8_t* p, size_t avail) const {
    TPeer z = peer(p, avail);
    auto [len, mnem] = ours(p);
    bool ourValid = !mnem.empty();

    // Prefix scan as we do it.
    size_t i = 0;
    int reps = 0, segs = 0, opsizes = 0, adsizes = 0;
    bool opsize = false, adsize = false;
    for (;; ++i) {
      uint8_t b = p[i];
      if (b == 0xF2 || b == 0xF3)
        ++reps;
      else if (b == 0x26 || b == 0x2E || b == 0x36 || b == 0x3E || b == 0x64 || b == 0x65)
        ++segs;
      else if (b == 0x66)
        opsize = !opsize, ++opsizes;
      else if (b == 0x67)
        adsize = !adsize, ++adsizes;
      else if (b != 0xF0)
        break;
    }
    uint8_t op = p[i];
    bool twoByte = op == 0x0F;
    uint8_t op2 = p[i + 1];
    uint8_t modrm = twoByte ? p[i + 2] : p[i + 1];
    unsigned mod = modrm >> 6, reg = (modrm >> 3) & 7;

    if (z.valid && ourValid && z.length == len) {
      if (sameMnemonic(z.mnemonic, mnem)) return Agree;
      if (twoByte && (op2 == 0xD0 || op2 == 0xD1)) return CmpxchgD0;
      if (!twoByte && (op == 0xC6 || op == 0xC7) && reg != 0) return RegFieldIgnored;
      if (op == 0xE3 && (opsize || adsize)) return JcxzName;
      if (opsizes > 1 || adsizes > 1) return RepeatedSizePrefix;
      if (twoByte && op2 == 0x01 && mod == 3) return SystemGroupSpecial;
      return Mismatch;
    }
    if (!z.valid && !ourValid) return Agree;
    if (opsizes > 1 || adsizes > 1) return RepeatedSizePrefix;
    if (!z.valid && z.status == ZYDIS_STATUS_INSTRUCTION_TOO_LONG) return TooLong;
    if (!z.valid && z.status == ZYDIS_STATUS_ILLEGAL_LOCK && ourValid) {
      // Without the lock prefixes both must still agree (or differ by another rule).
      uint8_t copy[32];
      size_t locks = stripPrefixes(p, copy, [](uint8_t b) { return b == 0xF0; });
      if (ours(copy).first + locks != len || classify(copy, 16 - locks) == Mismatch)
        return Mismatch;
      return IllegalLock;
    }

    if (!ourValid) {
      bool stringOp = !twoByte && ((op >= 0x6C && op <= 0x6F) || (op >= 0xA4 && op <= 0xA7) ||
                                   (op >= 0xAA && op <= 0xAF));
      if (reps > 1 || (reps == 1 && !stringOp && !(op >= 0xD8 && op <= 0xDF))) return RepNotString;
      if (segs && withoutSegmentsAgrees(p, z, segs)) return UnusedSegment;
      if (op >= 0xD8 && op <= 0xDF) return FpuForm;
      if ((op == 0xD4 || op == 0xD5) && modrm != 0x0A) return AamBase;
      const OpcodeEntry& e = twoByte ? twoByteEntry(op2) : oneByteMap[op];
      if (!e.mnemonic[0]) {
        // Hint nops aside, what the peer finds there must be nothing we know elsewhere.
        if (z.valid && z.mnemonic != "nop" && knownMnemonic(z.mnemonic)) return Mismatch;
        return OutsideSet;
      }
      if (e.group == GroupNames && !static_cast<const char* const*>(e.extra)[reg][0])
        return GroupSlot;
      if ((e.group == GroupRecords || e.group == GroupRecordsOps) &&
          !static_cast<const OpcodeEntry*>(e.extra)[reg].mnemonic[0])
        return GroupSlot;
      if (!twoByte && op == 0xFF && (reg == 3 || reg == 5) && mod == 3) return GroupSlot;
      return Mismatch;
    }
    // We decode something the peer reads differently or rejects.
    if (!twoByte && (op == 0xC6 || op == 0xC7 || op == 0x8F) && reg != 0) return RegFieldIgnored;
    if (twoByte && (op2 == 0xD0 || op2 == 0xD1)) return CmpxchgD0;
    if (twoByte && op2 >= 0x20 && op2 <= 0x26) return SystemRegMove;
    if (!twoByte && (op == 0xC4 || op == 0xC5 || op == 0x62) && mod == 3) return VexSpace;
    if (twoByte && op2 == 0x01 && mod == 3) return SystemGroupSpecial;
    if (!z.valid && mod == 3 &&
        ((!twoByte && (op == 0x8D || op == 0xC4 || op == 0xC5 || op == 0x62)) ||
         (twoByte && (op2 == 0xB2 || op2 == 0xB4 || op2 == 0xB5))))
      return MemoryOnlyRegister;
    if (!z.valid && !twoByte && (op == 0x8C || op == 0x8E) &&
        (reg >= 6 || (op == 0x8E && reg == 1)))
      return SegmentRegister;
    return Mismatch;
  }

  std::string describe(const uint8_t* p) const {
    TPeer z = peer(p, 16);
    auto [len, mnem] = ours(p);
    char head[64];
    std::string bytes;
    for (int k = 0; k < 16; ++k) {
      snprintf(head, sizeof head, "%02X ", p[k]);
      bytes += head;
    }
    snprintf(head, sizeof head, " ours %zu '%s' peer %s %zu '", len, mnem.c_str(),
             z.valid ? "ok" : "err", z.length);
    return bytes + head + z.mnemonic + "'";
  }

 private:
  static bool sameMnemonic(const std::string& peer, const std::string& ours) {
    if (peer == ours) return true;
    auto it = kSameMnemonic.find(peer);
    return it != kSameMnemonic.end() && it->second == ours;
  }

  static bool isPrefix(uint8_t b) {
    return b == 0x26 || b == 0x2E || b == 0x36 || b == 0x3E || b == 0x64 || b == 0x65 ||
           b == 0x66 || b == 0x67 || b == 0xF0 || b == 0xF2 || b == 0xF3;
  }

  // Copies the 16 bytes at p without the prefixes `drop` selects (zero-filled
  // behind); returns how many were dropped.
  template <class F>
  static size_t stripPrefixes(const uint8_t* p, uint8_t* copy, F drop) {
    std::memset(copy, 0, 32);
    size_t n = 0, k = 0;
    for (; k < 16 && isPrefix(p[k]); ++k)
      if (!drop(p[k])) copy[n++] = p[k];
    std::memcpy(copy + n, p + k, 16 - k);
    return k - n;
  }

  // Without its segment prefixes the instruction is ours and as long as the peer's minus them.
  bool withoutSegmentsAgrees(const uint8_t* p, const TPeer& z, int segs) const {
    if (!z.valid) return false;
    uint8_t copy[32];
    stripPrefixes(p, copy, [](uint8_t b) {
      return b == 0x26 || b == 0x2E || b == 0x36 || b == 0x3E || b == 0x64 || b == 0x65;
    });
    auto [len, mnem] = ours(copy);
    return !mnem.empty() && len + size_t(segs) == z.length;
  }

  // A mnemonic (peer spelling) that our tables print somewhere.
  static bool knownMnemonic(const std::string& peer) {
    static const std::set<std::string> names = [] {
      std::set<std::string> out;
      auto addEntry = [&out](const OpcodeEntry& e) {
        if (e.group == GroupNames)
          for (int r = 0; r < 8; ++r) out.insert(static_cast<const char* const*>(e.extra)[r]);
        else if (e.group != GroupNone)
          for (int r = 0; r < 8; ++r)
            out.insert(static_cast<const OpcodeEntry*>(e.extra)[r].mnemonic);
        else
          out.insert(e.mnemonic);
        if (e.sizeKind == SizeTwoNames) out.insert(static_cast<const char*>(e.extra));
      };
      for (const auto& e : oneByteMap) addEntry(e);
      for (int b = 0; b < 256; ++b) addEntry(twoByteEntry(uint8_t(b)));
      for (const auto& row : fpuTable)
        for (const FpuEntry& f : row) {
          out.insert(f.memMnemonic);
          out.insert(f.regMnemonic);
          for (int r = 0; r < 8; ++r) out.insert(f.names[r]);
        }
      out.erase("");
      return out;
    }();
    auto it = kSameMnemonic.find(peer);
    return names.count(it != kSameMnemonic.end() ? it->second : peer) != 0;
  }

  bool code16_;
  ZydisDecoder decoder_;
};

struct TTally {
  size_t counts[RuleCount] = {};
  std::vector<std::string> examples;

  void add(const TOracle& o, const uint8_t* p, size_t avail) {
    TRule r = o.classify(p, avail);
    ++counts[r];
    if (r == Mismatch && examples.size() < 40) examples.push_back(o.describe(p));
  }
  void report(const char* what) const {
    std::string line = what;
    for (int r = 0; r < RuleCount; ++r)
      if (counts[r]) line += std::string("\n  ") + kRuleNames[r] + ": " + std::to_string(counts[r]);
    printf("%s\n", line.c_str());
    for (const auto& e : examples) printf("  mismatch: %s\n", e.c_str());
    EXPECT_EQ(counts[Mismatch], 0u) << what;
  }
};

void randomRun(bool code16, size_t n, uint32_t seed) {
  TOracle oracle(code16);
  std::mt19937 rng(seed);
  TTally tally;
  uint8_t buf[32] = {};
  for (size_t i = 0; i < n; ++i) {
    for (int k = 0; k < 16; k += 4) {
      uint32_t v = rng();
      std::memcpy(buf + k, &v, 4);
    }
    tally.add(oracle, buf, 16);
  }
  tally.report(code16 ? "random bytes, 16-bit" : "random bytes, 32-bit");
}

TEST(DecoderOracle, RandomBytes32) { randomRun(false, 3000000, 12345); }
TEST(DecoderOracle, RandomBytes16) { randomRun(true, 2000000, 54321); }

TEST(DecoderOracle, MingwDllCode) {
  std::vector<std::string> dlls = installedMingwDlls();
  if (dlls.empty()) GTEST_SKIP() << "no i686 mingw DLLs installed";
  TOracle oracle(false);
  TTally tally;
  size_t instructions = 0, files = 0;
  for (const std::string& path : dlls) {
    TParsedImage image(readFile(path));
    const size_t size = image.image.fileSize();
    bool code = false;
    for (const SectionInfo& s : image.image.sections()) {
      if (!(s.characteristics & 0x20000020) || s.rawOffset >= size) continue;  // code or executable
      code = true;
      // The buffer has 16 zero bytes behind the file, as much as the decoder may read.
      for (size_t pos = s.rawOffset;
           pos < std::min<size_t>(size_t(s.rawOffset) + s.rawSize, size);) {
        const uint8_t* at = image.bytes() + pos;
        tally.add(oracle, at, std::min<size_t>(16, size - pos));
        ++instructions;
        TPeer z = oracle.peer(at, std::min<size_t>(16, size - pos));
        pos += z.valid ? z.length : 1;
      }
    }
    files += code;
  }
  printf("%zu files, %zu positions\n", files, instructions);
  tally.report("mingw DLL code sections, 32-bit");
}

}  // namespace
