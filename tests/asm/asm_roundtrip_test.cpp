// Round trip on real code: every code line that `oxu list` prints for the
// fixtures and Debian's i686 mingw DLLs is assembled at its address; the bytes
// must decode to the line's own text. Zydis, an independent decoder, checks
// that our bytes and the file's bytes are the same instruction. Every kind of
// line that may differ is a named exception below, with its reason.
#include <Zydis/Zydis.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "asm/assembler.h"
#include "asm_test_helpers.h"
#include "image/image_info.h"
#include "support/fixtures.h"
#include "support/process.h"

namespace {

struct TCodeLine {
  uint32_t address;  // as the listing shows it
  uint32_t offset;   // in the file
  std::string text;
};

// A code row of the listing: ":XXXXXXXX " or " XXXXXXXX ", twenty characters of
// byte cells, a blank or '+', then the instruction.
bool parseRow(const std::string& row, uint32_t& address, std::string& text) {
  if (row.size() < 32 || (row[0] != ':' && row[0] != ' ') || row[9] != ' ') return false;
  for (int i = 1; i <= 8; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(row[size_t(i)]))) return false;
  address = uint32_t(std::stoul(row.substr(1, 8), nullptr, 16));
  text = row.substr(31);
  return true;
}

// The instruction lines of [begin, end) of a file, as `oxu list` prints them,
// in listings of at most `chunk` rows at a time.
void listRange(const std::string& path, bool code16, const TImageInfo& image, uint32_t begin,
               uint32_t end, bool fileOffsets, std::vector<TCodeLine>& out) {
  const size_t chunk = 200000;
  uint32_t from = begin;
  for (;;) {
    const TCommandResult r = runCommand(
        std::string(OXU_CLI_PATH) + " list --no-refs --no-strings --lines " +
        std::to_string(chunk) + " --offset \\#" + std::to_string(from) + (code16 ? " --16" : "") +
        (fileOffsets ? " --file-offsets" : "") + " '" + path + "'");
    ASSERT_EQ(r.exit, 0) << r.err;
    std::vector<TCodeLine> rows;
    size_t printed = 0;
    bool pastEnd = false;
    for (size_t pos = 0; pos < r.out.size();) {
      size_t nl = r.out.find('\n', pos);
      if (nl == std::string::npos) nl = r.out.size();
      const std::string row = r.out.substr(pos, nl - pos);
      pos = nl + 1;
      ++printed;
      TCodeLine line;
      if (!parseRow(row, line.address, line.text)) continue;
      line.offset = image.isPE() && !fileOffsets ? image.memoryToFileOffset(line.address)
                                                 : line.address;
      if (line.offset >= end || line.offset < from) {
        pastEnd = true;
        break;
      }
      rows.push_back(line);
    }
    const bool done = pastEnd || printed < chunk || rows.size() < 2;
    // Unless this is the end, the last row is listed again by the next listing.
    if (!done) {
      from = rows.back().offset;
      rows.pop_back();
    }
    for (const TCodeLine& l : rows)
      if (l.text.compare(0, 3, "db ") != 0) out.push_back(l);
    if (done) return;
  }
}

// The code lines of a file: the executable sections of a PE file, all that
// follows the header of an MZ program; listed as 16-bit code with file
// offsets when asked (32-bit code read as 16-bit is rich in 16-bit forms).
std::vector<TCodeLine> codeLines(const std::string& path, bool code16) {
  const std::vector<uint8_t> file = readFile(path);
  TImageInfo image;
  std::vector<uint8_t> buffer(file);
  buffer.resize(file.size() + 16, 0);
  image.parseImage(buffer.data(), uint32_t(file.size()), path);
  std::vector<TCodeLine> lines;
  if (!image.isPE()) {
    listRange(path, true, image, image.mzHeaderSize(), uint32_t(file.size()), false, lines);
    return lines;
  }
  for (const SectionInfo& s : image.sections())
    if (s.characteristics & 0x20000020u)
      listRange(path, code16, image, s.rawOffset, s.rawOffset + s.rawSize, code16, lines);
  return lines;
}

class TZydis {
 public:
  explicit TZydis(bool code16) {
    ZydisDecoderInit(&decoder_,
                     code16 ? ZYDIS_MACHINE_MODE_LEGACY_16 : ZYDIS_MACHINE_MODE_LEGACY_32,
                     code16 ? ZYDIS_STACK_WIDTH_16 : ZYDIS_STACK_WIDTH_32);
    ZydisFormatterInit(&formatter_, ZYDIS_FORMATTER_STYLE_INTEL);
  }
  std::string format(const uint8_t* bytes, size_t length, uint32_t address) const {
    ZydisDecodedInstruction insn;
    ZydisDecodedOperand ops[ZYDIS_MAX_OPERAND_COUNT];
    if (!ZYAN_SUCCESS(ZydisDecoderDecodeFull(&decoder_, bytes, length, &insn, ops)))
      return "(invalid)";
    char text[256];
    ZydisFormatterFormatInstruction(&formatter_, &insn, ops, insn.operand_count_visible, text,
                                    sizeof text, address, nullptr);
    return text;
  }

 private:
  ZydisDecoder decoder_;
  ZydisFormatter formatter_;
};

// Why Zydis may read the file's bytes and ours as different instructions
// although the listing shows both with the same text.
enum TPeerRule {
  SameInstruction,
  RegFieldIgnored,  // c6/c7/8f with ModRM.reg other than 0: the listing ignores the field; we write 0
  IndexAsBase,  // SIB with an index of factor 1 and no base prints like a base register; same address
  ImulOneOperand,  // "imul eax,ecx" is printed for f7 /5 as for 0f af; written so it means 0f af
  Branch16,   // 66 before a relative branch of 32-bit code: the listing keeps the high word of EIP,
              // the processor clears it
  CmpxchgD0,  // 0f d0/d1 print as cmpxchg (the peer: SSE3); we write 0f b0/b1
  Mismatch,
  PeerRuleCount
};
const char* const kPeerRuleNames[PeerRuleCount] = {"same instruction",
                                                   "c6/c7/8f reg field ignored",
                                                   "index as base",
                                                   "imul f7 /5 vs 0f af",
                                                   "16-bit branch in 32-bit code",
                                                   "cmpxchg at 0f d0",
                                                   "MISMATCH"};

TPeerRule classify(const uint8_t* file, bool code16) {
  size_t i = 0;
  bool opsize = false, adsize = false;
  for (;; ++i) {
    const uint8_t b = file[i];
    if (b == 0x66)
      opsize = !opsize;
    else if (b == 0x67)
      adsize = !adsize;
    else if (!(b == 0x26 || b == 0x2E || b == 0x36 || b == 0x3E || b == 0x64 || b == 0x65 ||
               b == 0xF0 || b == 0xF2 || b == 0xF3))
      break;
  }
  const uint8_t op = file[i];
  const size_t at = op == 0x0F ? i + 2 : i + 1;  // ModRM
  const uint8_t modrm = file[at];
  if ((op == 0xC6 || op == 0xC7 || op == 0x8F) && (modrm & 0x38)) return RegFieldIgnored;
  if ((op == 0xF6 || op == 0xF7) && ((modrm >> 3) & 7) == 5) return ImulOneOperand;
  const bool branch = op == 0xE8 || op == 0xE9 || op == 0xEB || (op >= 0x70 && op <= 0x7F) ||
                      (op >= 0xE0 && op <= 0xE3) || (op == 0x0F && (file[i + 1] & 0xF0) == 0x80);
  if (branch && opsize && !code16) return Branch16;
  if (op == 0x0F && (file[i + 1] == 0xD0 || file[i + 1] == 0xD1)) return CmpxchgD0;
  const bool address32 = code16 == adsize;
  if (address32 && (modrm >> 6) == 0 && (modrm & 7) == 4 && (file[at + 1] & 0xC7) == 0x05)
    return IndexAsBase;
  return Mismatch;
}

struct TTally {
  size_t lines = 0, identical = 0, refused = 0;
  size_t peer[PeerRuleCount] = {};
  std::vector<std::string> samples;  // lines that break the rules
};

void roundTrip(const std::string& path, bool code16, TTally& t) {
  const std::vector<TCodeLine> lines = codeLines(path, code16);
  std::vector<uint8_t> file = readFile(path);
  file.resize(file.size() + 16, 0);
  const TZydis zydis(code16);
  for (const TCodeLine& line : lines) {
    ++t.lines;
    uint8_t ours[kAsmMaxLength + 1] = {};
    char reason[kAsmReasonCap];
    const int n = assembleInstruction(line.text.c_str(), line.address, code16, ours, reason,
                                      sizeof reason);
    size_t fileLength = 0, ourLength = 0;
    const std::string want = listedText(&file[line.offset], line.address, code16, fileLength);
    const std::string got = n ? listedText(ours, line.address, code16, ourLength)
                              : std::string("! ") + reason;
    if (got != want) {
      ++t.refused;
      if (t.samples.size() < 20) t.samples.push_back(path + ": " + line.text + "  =>  " + got);
      continue;
    }
    ++t.identical;
    const std::string a = zydis.format(&file[line.offset], fileLength, line.address);
    const std::string b = zydis.format(ours, size_t(n), line.address);
    const TPeerRule rule = a == b ? SameInstruction : classify(&file[line.offset], code16);
    ++t.peer[rule];
    if (rule == Mismatch && t.samples.size() < 20)
      t.samples.push_back(path + ": " + line.text + "  :  " + a + "  /  " + b);
  }
}

// The mingw DLLs, without the win32 thread model's copies (the same sources).
std::vector<std::string> mingwDlls() {
  std::vector<std::string> out;
  for (const std::string& path : installedMingwDlls())
    if (path.find("-win32/") == std::string::npos) out.push_back(path);
  return out;
}

void report(const char* what, const TTally& t) {
  printf("%s: %zu lines, %zu assemble to the identical text (%.4f %%), %zu do not\n", what, t.lines,
         t.identical, t.lines ? 100.0 * double(t.identical) / double(t.lines) : 0.0, t.refused);
  for (int r = 0; r < PeerRuleCount; ++r)
    printf("  Zydis: %-32s %zu\n", kPeerRuleNames[r], t.peer[r]);
  for (const auto& s : t.samples) printf("    %s\n", s.c_str());
}

TEST(AsmRoundTrip, FixturesAndMingwDlls32) {
  TTally t;
  for (const char* name : {"gui.exe", "fixdll.dll", "tiny.exe"})
    roundTrip(fixturePath(name), false, t);
  for (const std::string& path : mingwDlls()) roundTrip(path, false, t);
  report("32-bit", t);
  EXPECT_GE(double(t.identical), 0.999 * double(t.lines));
  EXPECT_EQ(t.peer[Mismatch], 0u);
}

TEST(AsmRoundTrip, SixteenBitCode) {
  TTally t;
  roundTrip(fixturePath("dos.exe"), true, t);
  ASSERT_GT(t.lines, 10u);
  // 32-bit code read as 16-bit code: every 16-bit addressing form and prefix mix.
  for (const std::string& path : mingwDlls())
    if (path.find("libgcc_s") != std::string::npos ||
        path.find("libwinpthread") != std::string::npos)
      roundTrip(path, true, t);
  report("16-bit", t);
  EXPECT_GE(double(t.identical), 0.999 * double(t.lines));
  EXPECT_EQ(t.peer[Mismatch], 0u);
}

}  // namespace
