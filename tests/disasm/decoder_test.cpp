// Golden decodings: text with marks shown as {k}, and lengths. Every decoding
// reads its bytes in front of an inaccessible page.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "disasm/annotation.h"
#include "disasm/decoder.h"
#include "support/hex_bytes.h"

namespace {

// Reference marks 0x1F k become "{k}", colour marks 0x1E c become "<c>" (hex).
std::string renderMarks(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if ((*p == 0x1F || *p == 0x1E) && p[1]) {
      char buf[8];
      snprintf(buf, sizeof buf, *p == 0x1F ? "{%d}" : "<%X>", uint8_t(p[1]));
      out += buf;
      ++p;
    } else {
      out += *p;
    }
  }
  return out;
}

// Places bytes at file offset `offset` of a zero-filled buffer that ends with
// them, in front of an inaccessible page: a read beyond the instruction faults.
// Returns the buffer's start.
const uint8_t* placeBeforeGuard(const std::vector<uint8_t>& bytes, uint32_t offset) {
  static uint8_t* const guard = [] {
    const size_t page = size_t(sysconf(_SC_PAGESIZE)), room = 0x20000;
    auto* mem = static_cast<uint8_t*>(
        mmap(nullptr, room + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    EXPECT_NE(mem, MAP_FAILED);
    EXPECT_EQ(mprotect(mem + room, page, PROT_NONE), 0);
    return mem + room;
  }();
  uint8_t* at = guard - bytes.size();
  std::memset(at - offset, 0, offset);
  std::memcpy(at, bytes.data(), bytes.size());
  return at - offset;
}

struct TDecoded {
  std::string text;  // marks rendered
  size_t length;
};

TDecoded decodeAt(const std::vector<uint8_t>& bytes, DecodeMode mode, bool code16 = false,
                  uint32_t offset = 0, uint32_t bias = 0, const TFixedRegView* fixed = nullptr,
                  const TAnnotator* annotator = nullptr, size_t cap = 400) {
  const uint8_t* buffer = placeBeforeGuard(bytes, offset);
  const uint8_t* cursor = buffer + offset;
  std::vector<char> out(cap + 1, 0);
  decodeInstruction(cursor, mode, buffer, bias, out.data(), cap, code16, fixed, annotator);
  return {renderMarks(out.data()), size_t(cursor - (buffer + offset))};
}

// The branch operand of the bytes placed as decodeAt places them, with the length.
TBranchOperand branchAt(const std::vector<uint8_t>& bytes, bool code16, uint32_t offset,
                        uint32_t bias, size_t& length) {
  const uint8_t* buffer = placeBeforeGuard(bytes, offset);
  const uint8_t* cursor = buffer + offset;
  TBranchOperand b;
  decodeBranchOperand(cursor, buffer, bias, code16, b);
  length = size_t(cursor - (buffer + offset));
  return b;
}

// What the branch operand must say of a decoded text: its mnemonic (what the
// text begins with behind lock and rep texts; string instructions add a size
// letter) and the number behind a branch mark {2}, {3}, {4} or {7} (up to a
// colon: a far pointer's selector).
void expectBranchLike(const TBranchOperand& b, const std::string& text) {
  std::string words = text;
  while (words.rfind("lock  ", 0) == 0 || words.rfind("repz  ", 0) == 0 ||
         words.rfind("repnz ", 0) == 0)
    words = words.substr(6);
  const std::string word = words.rfind("db ", 0) == 0 ? "" : words.substr(0, words.find(' '));
  EXPECT_EQ(std::string(b.mnemonic).empty(), word.empty()) << text;
  EXPECT_EQ(word.rfind(b.mnemonic, 0), 0u) << text;
  size_t at = std::string::npos;
  for (const char* mark : {"{2}", "{3}", "{4}", "{7}"})
    if ((at = text.find(mark)) != std::string::npos) break;
  EXPECT_EQ(b.present, at != std::string::npos) << text;
  if (at != std::string::npos) {
    EXPECT_EQ(b.value, uint32_t(std::strtoul(text.c_str() + at + 3, nullptr, 16))) << text;
  }
}

struct TGolden {
  const char* bytes;
  const char* text;
  size_t length;
};

void checkTable(const std::vector<TGolden>& table, bool code16, uint32_t offset = 0,
                uint32_t bias = 0, const TFixedRegView* fixed = nullptr) {
  for (const TGolden& g : table) {
    auto bytes = hexBytes(g.bytes);
    TDecoded d = decodeAt(bytes, DecodePlain, code16, offset, bias, fixed);
    EXPECT_EQ(d.text, g.text) << g.bytes;
    EXPECT_EQ(d.length, g.length) << g.bytes;
    EXPECT_EQ(decodeAt(bytes, DecodeLength, code16, offset, bias, fixed).length, g.length)
        << g.bytes;
    // Listing mode without annotator prints the same text.
    EXPECT_EQ(decodeAt(bytes, DecodeListing, code16, offset, bias, fixed).text, g.text) << g.bytes;
    size_t length;
    expectBranchLike(branchAt(bytes, code16, offset, bias, length), g.text);
    EXPECT_EQ(length, g.length) << g.bytes;
  }
}

const std::vector<TGolden> kBasic32 = {
    {"90", "nop   ", 1},
    {"8B 45 08", "mov   eax,dword ptr [ebp+{1}00000008]", 3},
    {"8B 45 F8", "mov   eax,dword ptr [ebp-{1}00000008]", 3},
    {"A1 00 10 40 00", "mov   eax,dword ptr [{1}00401000]", 5},
    {"64 A1 00 10 40 00", "mov   eax,dword ptr fs:[{1}00401000]", 6},
    {"0F AF C1", "imul  eax,ecx", 3},
    {"D4 0A", "aam   ", 2},
    {"D4 08", "db    D4", 1},
    {"D6", "db    D6", 1},
    {"0F 05", "db    0F", 1},     // missing entry in a present row
    {"0F 10 C0", "db    0F", 1},  // missing row
    {"0F 31", "rdtsc ", 2},
    {"0F B0 0B", "cmpxchg byte ptr [ebx],cl", 3},
    {"0F 4F C1", "cmovnle eax,ecx", 3},
    {"0F A4 C8 04", "shld  eax,ecx,04", 4},
    {"0F AD C8", "shrd  eax,ecx,cl", 3},
    {"0F B2 00", "lss   eax,dword ptr [eax]", 3},
};

const std::vector<TGolden> kPrefixes32 = {
    {"2E 90", "db    2E", 1},
    {"F3 A5", "repz  movsd es:[edi],[esi]", 2},
    {"F2 AE", "repnz scasb es:[edi]", 2},
    {"F3 F3 A5", "db    F3", 1},
    {"F3 8B C0", "db    F3", 1},
    {"F3 90", "db    F3", 1},
    {"F3 C3", "db    F3", 1},
    {"F3 0F AF C1", "db    F3", 1},  // string letters belong to one-byte opcodes only
    {"F3 98", "db    F3", 1},        // two-name size kind
    {"66 A5", "movsw es:[edi],[esi]", 2},
    {"A4", "movsb es:[edi],[esi]", 1},
    {"66 F3 AB", "repz  stosw es:[edi]", 3},
    {"66 66 B8 01 00 00 00", "mov   eax,{1}00000001", 7},
    {"66 B8 01 00", "mov   ax,{8}d0001", 4},
    {"2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 2E 8B 00",
     "mov   eax,dword ptr cs:[eax]", 22},
    {"26 2E 8B 00", "mov   eax,dword ptr cs:[eax]", 4},  // last override wins
    {"F0 01 08", "lock  add dword ptr [eax],ecx", 3},
    {"F0 F0 90", "lock  lock  nop ", 3},
    {"F0 2E 90", "db    F0", 1},       // the undefined line replaces printed prefix texts
    {"2E 8B C0", "mov   eax,eax", 3},  // a ModRM operand takes the override even as register
    {"2E B8 01 00 00 00", "db    2E", 1},
    {"F3 D9 E8", "repz  fld1", 3},
    {"2E D9 C0", "fld   st(0)", 3},  // x87 forms are not checked for unused overrides
    {"98", "cwde  ", 1},
    {"66 98", "cbw   ", 2},
    {"26 AC", "lodsb es:[esi]", 2},
    {"2E A5", "movsd es:[edi],cs:[esi]", 2},
    {"26 AA", "db    26", 1},  // the destination segment cannot be overridden
    {"D7", "xlat  [ebx]", 1},
    {"2E D7", "xlat  cs:[ebx]", 2},
};

const std::vector<TGolden> kOperands32 = {
    {"8B 04 8D 00 10 40 00", "mov   eax,dword ptr [4*ecx+{1}00401000]", 7},
    {"8B 04 24", "mov   eax,dword ptr [esp]", 3},
    {"8B 44 24 04", "mov   eax,dword ptr [esp+{1}00000004]", 4},
    {"8D 44 58 FC", "lea   eax,dword ptr [eax+2*ebx-{1}00000004]", 4},
    {"8B 05 00 10 40 00", "mov   eax,dword ptr [{1}00401000]", 6},
    {"8B 84 C8 00 01 00 00", "mov   eax,dword ptr [eax+8*ecx+{1}00000100]", 7},
    {"8B 04 25 00 10 40 00", "mov   eax,dword ptr [{1}00401000]", 7},  // SIB without base or index
    {"8B 45 00", "mov   eax,dword ptr [ebp]", 3},
    {"FF 15 00 20 40 00", "call  dword ptr [{1}00402000]", 6},
    {"FF D0", "call  eax", 2},
    {"FF 18", "call  far ptr [eax]", 2},
    {"FF D8", "db    FF", 1},
    {"FF 28", "jmp   far ptr [eax]", 2},
    {"FF 30", "push  dword ptr [eax]", 2},
    {"FF 38", "db    FF", 1},
    {"FE C0", "inc   al", 2},
    {"FE 08", "dec   byte ptr [eax]", 2},
    {"FE D0", "db    FE", 1},
    {"8C D8", "mov   ax,ds", 2},
    {"8E 18", "mov   ds,word ptr [eax]", 2},
    {"8C F0", "mov   ax,<undefined seg>", 2},
    {"63 C8", "arpl  ax,cx", 2},
    {"0F B6 C1", "movzx eax,cl", 3},
    {"0F BF 00", "movsx eax,word ptr [eax]", 3},
    {"06", "push  es", 1},
    {"0F A9", "pop   gs", 2},
    {"66 50", "push  ax", 2},
    {"B0 12", "mov   al,12", 2},
    {"BB 00 30 40 00", "mov   ebx,{1}00403000", 5},
    {"97", "xchg  edi,eax", 1},
    {"05 10 00 00 00", "add   eax,00000010", 5},
    {"66 3D 34 12", "cmp   ax,1234", 4},
    {"0D 00 10 00 00", "or    eax,{1}00001000", 5},
    {"66 25 FF 00", "and   ax,{8}d00FF", 4},
    {"6A 10", "push  10", 2},
    {"68 00 30 40 00", "push  {1}00403000", 5},
    {"CD 21", "int   21", 2},
    {"CC", "int   3", 1},
    {"E7 60", "out   60,eax", 2},
    {"EF", "out   dx,eax", 1},
    {"6C", "insb  es:[edi],dx", 1},
    {"6F", "outsd dx,[esi]", 1},
    {"83 C0 FF", "add   eax,-01", 3},
    {"83 E8 05", "sub   eax,05", 3},
    {"6B C0 80", "imul  eax,eax,-80", 3},
    {"69 C0 00 01 00 00", "imul  eax,eax,{1}00000100", 6},
    {"82 C0 FF", "add   al,FF", 3},
    {"80 38 00", "cmp   byte ptr [eax],00", 3},
    {"81 78 04 00 10 00 00", "cmp   dword ptr [eax+{1}00000004],{1}00001000", 7},
    {"C6 05 00 10 40 00 07", "mov   byte ptr [{1}00401000],07", 7},
    {"C7 45 FC 00 00 00 00", "mov   dword ptr [ebp-{1}00000004],{1}00000000", 7},
    {"C2 08 00", "ret   0008", 3},
    {"C8 10 00 01", "enter 0010,01", 4},
    {"A0 00 10 40 00", "mov   al,byte ptr [{1}00401000]", 5},
    {"A3 00 10 40 00", "mov   dword ptr [{1}00401000],eax", 5},
    {"66 A1 00 10 40 00", "mov   ax,word ptr [{1}00401000]", 6},
    {"67 A1 34 12", "mov   eax,dword ptr [{8}d1234]", 4},
    {"D1 F0", "shl   eax,1", 2},
    {"D3 F8", "sar   eax,cl", 2},
    {"C1 E0 04", "shl   eax,04", 3},
    {"D0 08", "ror   byte ptr [eax],1", 2},
    {"0F 20 C0", "mov   eax,cr0", 3},
    {"0F 23 F8", "mov   dr7,eax", 3},
    {"0F 24 C0", "mov   eax,tr0", 3},
    {"F6 C1 01", "test  cl,01", 3},
    {"F7 C1 00 10 00 00", "test  ecx,{1}00001000", 6},
    {"F6 C9 01", "test  cl,01", 3},
    {"F7 E1", "mul   eax,ecx", 2},
    {"F6 F1", "div   al,cl", 2},
    {"0F 00 D8", "ltr   ax", 3},
    {"0F 00 30", "db    0F", 1},
    {"0F 01 38", "invlpg word ptr [eax]", 3},
    {"0F 01 E8", "db    0F", 1},
    {"0F BA E0 05", "bt    eax,05", 4},
    {"0F BA C0 05", "db    0F", 1},
    {"9A 78 56 34 12 00 F0", "call  {4}F000:12345678", 7},
    {"EA 78 56 34 12 08 00", "jmp   {7}0008:12345678", 7},
    {"66 EA 34 12 00 F0", "jmp   {7}F000:1234", 6},
};

const std::vector<TGolden> kFpu = {
    {"D9 E8", "fld1", 2},
    {"D9 C0", "fld   st(0)", 2},
    {"DE C1", "faddp st(1),st", 2},
    {"DD C8", "db    DD", 1},
    {"D8 C1", "fadd  st,st(1)", 2},
    {"DC C1", "fadd  st(1),st", 2},
    {"D9 C9", "fxch  st(1)", 2},
    {"D9 08", "db    D9", 1},
    {"D9 D0", "fnop", 2},
    {"D9 D1", "db    D9", 1},
    {"D9 E0", "fchs", 2},
    {"DD 45 F8", "fld   double ptr [ebp-{1}00000008]", 3},
    {"DB 28", "fld   tbyte ptr [eax]", 2},
    {"D9 38", "fnstcw word ptr [eax]", 2},
    {"D9 20", "fldenv [eax]", 2},
    {"DD 30", "fnsave [eax]", 2},
    {"DF E0", "fnstsw ax", 2},
    {"DF E1", "db    DF", 1},
    {"DA E9", "fucompp", 2},
    {"DB E3", "fninit", 2},
    {"DF 28", "fild  qword ptr [eax]", 2},
    {"D8 00", "fadd  single ptr [eax]", 2},
    {"DA 00", "fiadd dword ptr [eax]", 2},
    {"DE 00", "fiadd word ptr [eax]", 2},
    {"DA F0", "db    DA", 1},
    {"DA C1", "fcmovb st,st(1)", 2},
    {"DB E8", "fucomi st,st(0)", 2},
    {"DD C1", "ffree st(1)", 2},
    {"DD E1", "fucom st(1)", 2},
    {"DD D9", "fstp  st(1)", 2},
    {"DF C0", "db    DF", 1},
    {"DD 38", "fnstsw word ptr [eax]", 2},
    {"F0 DD 05 00 10 40 00", "lock  fld   double ptr [{1}00401000]", 7},
};

const std::vector<TGolden> kSixteen = {
    {"8B 07", "mov   ax,word ptr [bx]", 2},
    {"8B 46 FE", "mov   ax,word ptr [bp-0002]", 3},
    {"8B 06 34 12", "mov   ax,word ptr [{8}d1234]", 4},
    {"8B 06 00 80", "mov   ax,word ptr [{8}d8000]", 4},
    {"26 8B 06 00 80", "mov   ax,word ptr es:[{8}e8000]", 5},
    {"8B 80 00 01", "mov   ax,word ptr [bx+si+0100]", 4},
    {"66 8B 00", "mov   eax,dword ptr [bx+si]", 3},
    {"67 8B 00", "mov   ax,word ptr [eax]", 3},
    {"A5", "movsw es:[di],[si]", 1},
    {"66 A5", "movsd es:[di],[si]", 2},
    {"D7", "xlat  [bx]", 1},
    {"A1 00 80", "mov   ax,word ptr [{8}d8000]", 3},
    {"26 A0 34 12", "mov   al,byte ptr es:[{8}e1234]", 4},
    {"B8 34 12", "mov   ax,{8}d1234", 3},
    {"2E C7 07 34 12", "mov   word ptr cs:[bx],{8}c1234", 5},
    {"98", "cbw   ", 1},
    {"66 98", "cwde  ", 2},
    {"E3 FE", "jcxz  {3}0000", 2},
    {"9A 34 12 00 F0", "call  {4}F000:1234", 5},
    {"EA 00 00 FF FF", "jmp   {7}FFFF:0000", 5},
    {"66 EA 78 56 34 12 00 F0", "jmp   {7}F000:12345678", 8},
    {"9C", "pushf ", 1},
};

TEST(DecoderGolden, Tables) {
  for (const auto* table : {&kBasic32, &kPrefixes32, &kOperands32, &kFpu})
    checkTable(*table, false);
  checkTable(kSixteen, true);
}

// Branch targets: shown address of the next instruction + displacement.
struct TBranchCase {
  const char* bytes;
  bool code16;
  uint32_t offset;
  uint32_t shown;  // shown address of the instruction (bias = offset - shown)
  const char* text;
};

TEST(DecoderGolden, BranchTargets) {
  const TBranchCase cases[] = {
      {"EB FE", false, 0, 0x401000, "jmp   {3}00401000"},
      {"EB FE", false, 0x20, 0x20, "jmp   {3}00000020"},  // file-offset listing
      {"E8 00 00 00 00", false, 0, 0x401000, "call  {2}00401005"},
      {"74 10", false, 0, 0x401000, "jz    {3}00401012"},
      {"0F 84 00 01 00 00", false, 0, 0x401000, "jz    {3}00401106"},
      {"E2 FE", false, 0, 0x401000, "loop  {3}00401000"},
      {"E3 FE", false, 0, 0x401000, "jecxz {3}00401000"},
      {"66 E3 FE", false, 0, 0x401000, "jcxz  {3}00401001"},
      // Word operand size: only the low word moves and it wraps.
      {"66 E9 FD FF", false, 0, 0x0040FFFC, "jmp   {3}0041FFFD"},
      {"66 E8 10 00", false, 0, 0x0040FFF0, "call  {2}00400004"},
      {"66 EB 10", false, 0, 0x0040FFF0, "jmp   {3}00400003"},
      {"E8 00 10", true, 0x1234, 0x1234, "call  {2}2237"},
      {"EB 20", true, 0xFFF0, 0xFFF0, "jmp   {3}0012"},
      {"0F 85 FC FF", true, 0x100, 0x100, "jnz   {3}0100"},
      {"66 E8 00 00 01 00", true, 0x100, 0x100, "call  {2}10106"},
  };
  for (const auto& c : cases) {
    TDecoded d = decodeAt(hexBytes(c.bytes), DecodePlain, c.code16, c.offset, c.offset - c.shown);
    EXPECT_EQ(d.text, c.text) << c.bytes;
    size_t length;
    expectBranchLike(branchAt(hexBytes(c.bytes), c.code16, c.offset, c.offset - c.shown, length),
                     c.text);
    EXPECT_EQ(length, d.length) << c.bytes;
  }
}

TFixedRegView viewWith(std::initializer_list<std::pair<int, uint32_t>> dwords) {
  TFixedRegView v{};
  for (auto [r, value] : dwords) {
    v.mask[2] |= uint8_t(1 << r);
    v.value[r] = value;
  }
  return v;
}

TEST(DecoderGolden, FixedRegisters) {
  TFixedRegView ebx = viewWith({{3, 0x00403000}});
  checkTable({{"8B 03", "mov   eax,dword ptr [{1}00403000]", 2},
              {"8B C3", "mov   eax,{1}00403000", 2},
              {"89 C3", "mov   ebx,eax", 2},
              {"89 18", "mov   dword ptr [eax],{1}00403000", 2},
              {"8B 43 10", "mov   eax,dword ptr [{1}00403010]", 3},
              {"8B 43 F0", "mov   eax,dword ptr [{1}00402FF0]", 3},
              {"89 03", "mov   dword ptr [{1}00403000],eax", 2},  // folding ignores the position
              {"53", "push  {1}00403000", 1},
              {"66 53", "push  bx", 2},                      // word register not fixed
              {"67 8B 07", "mov   eax,dword ptr [bx]", 3}},  // no folding with 16-bit addressing
             false, 0, 0, &ebx);

  TFixedRegView index = viewWith({{3, 0x00403000}, {1, 2}});
  checkTable({{"8B 04 8B", "mov   eax,dword ptr [{1}00403008]", 3}}, false, 0, 0, &index);
  TFixedRegView ecx = viewWith({{1, 3}});
  checkTable({{"8B 44 8B 04", "mov   eax,dword ptr [ebx+{1}00000010]", 4},
              {"8B 04 0B", "mov   eax,dword ptr [ebx+{1}00000003]", 3}},
             false, 0, 0, &ecx);

  TFixedRegView parts{};
  parts.mask[0] = 0x10;  // ah
  parts.mask[1] = 0xC0;  // si, di
  parts.value[0] = 0x1234;
  parts.value[6] = 0xABCD5678;
  parts.value[7] = 0x00009ABC;
  checkTable({{"88 E0", "mov   al,12", 2},
              {"88 C4", "mov   ah,al", 2},
              {"8B C6", "mov   ax,5678", 2},
              {"AC", "lodsb [5678]", 1},
              {"A4", "movsb es:[9ABC],[5678]", 1},
              {"AA", "stosb es:[9ABC]", 1}},
             true, 0, 0, &parts);
  TFixedRegView edi = viewWith({{7, 0x500000}, {6, 0x600000}});
  checkTable({{"AB", "stosd es:[{1}00500000]", 1},
              {"A5", "movsd es:[{1}00500000],[{1}00600000]", 1}},
             false, 0, 0, &edi);
}

// Records the annotation requests and answers with a short visible text.
class TRecordingAnnotator : public TAnnotator {
 public:
  mutable std::string log;
  mutable char reply[64] = "";
  uint32_t mapped = 0xFFFFFFFF;  // answer of memoryToFileOffset, 0xFFFFFFFF = not in file
  void annotateValue(uint32_t value, char* out, size_t cap, bool memory, bool noHops, int flavour,
                     uint32_t bias) const override {
    char buf[96];
    snprintf(buf, sizeof buf, "V(%X,%zu,%d,%d,%d,%X)", value, cap, memory, noHops, flavour, bias);
    log += buf;
    snprintf(out, cap, "%s", reply);
  }
  void annotateBranch(uint32_t value, char* out, size_t cap, bool memory, bool followJumps,
                      uint32_t bias) const override {
    char buf[96];
    snprintf(buf, sizeof buf, "B(%X,%zu,%d,%d,%X)", value, cap, memory, followJumps, bias);
    log += buf;
    snprintf(out, cap, "%s", reply);
  }
  uint32_t memoryToFileOffset(uint32_t address) const override {
    char buf[32];
    snprintf(buf, sizeof buf, "M(%X)", address);
    log += buf;
    return mapped;
  }
};

TEST(DecoderAnnotation, CallsByOperand) {
  const uint32_t bias = 0 - 0x400000;  // offset 0 shown at 0x400000
  struct {
    const char* bytes;
    bool fixEbx;
    uint32_t mapped;
    const char* log;
  } cases[] = {
      {"8B 03", true, 0, "V(403000,400,1,0,0,0)"},
      {"8B C3", true, 0, "V(403000,400,0,0,0,0)"},
      {"A1 00 10 40 00", false, 0, "B(401000,120,1,0,FFC00000)"},
      {"64 A1 00 10 40 00", false, 0, ""},
      {"8B 05 00 10 40 00", false, 0, "V(401000,400,1,0,0,0)"},
      {"FF 15 00 20 40 00", false, 0, "V(402000,400,1,0,0,0)"},  // direct address: data flavour
      {"FF 50 08", false, 0, "V(8,400,1,0,2,0)"},
      {"8B 40 08", false, 0, "V(8,400,1,0,0,0)"},
      {"8B 00", false, 0, ""},
      {"68 00 30 40 00", false, 0, "V(403000,400,0,0,0,FFC00000)"},
      {"A9 00 30 40 00", false, 0, ""},  // test
      {"3D 00 30 40 00", false, 0, ""},  // cmp
      {"05 FF FF FF FF", false, 0, "V(FFFFFFFF,400,0,0,0,FFC00000)"},
      {"6A 10", false, 0, "V(10,400,0,0,0,FFC00000)"},
      {"66 6A 10", false, 0, ""},  // the first byte is the prefix
      {"83 C0 10", false, 0, ""},
      {"E8 00 00 00 00", false, 0x1005, "M(400005)B(1005,120,0,1,FFC00000)"},
      {"EB FE", false, 0xFFFFFFFF, "M(400000)B(400000,120,0,1,FFC00000)"},
  };
  TFixedRegView ebx = viewWith({{3, 0x00403000}});
  for (const auto& c : cases) {
    TRecordingAnnotator a;
    a.mapped = c.mapped;
    decodeAt(hexBytes(c.bytes), DecodeListing, false, 0, bias, c.fixEbx ? &ebx : nullptr, &a);
    EXPECT_EQ(a.log, c.log) << c.bytes;
    TRecordingAnnotator plain;
    decodeAt(hexBytes(c.bytes), DecodePlain, false, 0, bias, c.fixEbx ? &ebx : nullptr, &plain);
    EXPECT_EQ(plain.log, "") << c.bytes;
  }
  // With file offsets shown, a branch target is a file offset already.
  TRecordingAnnotator a;
  decodeAt(hexBytes("EB FE"), DecodeListing, false, 0x10, 0, nullptr, &a);
  EXPECT_EQ(a.log, "B(10,120,0,1,0)");
  // The annotation's text goes behind the instruction's and is cut at the capacity.
  snprintf(a.reply, sizeof a.reply, " -> \x1E\x06\"Hello\"\x1E\xFF");
  EXPECT_EQ(decodeAt(hexBytes("8B C3"), DecodeListing, false, 0, 0, &ebx, &a).text,
            "mov   eax,{1}00403000 -> <6>\"Hello\"<FF>");
  EXPECT_EQ(decodeAt(hexBytes("8B C3"), DecodeListing, false, 0, 0, &ebx, &a, 25).text,
            "mov   eax,{1}00403000 -> ");
}

TEST(DecoderOutput, AppendsBehindExistingTextAndCuts) {
  auto run = [](const char* prefill, const char* bytes, size_t cap, DecodeMode mode = DecodePlain) {
    const uint8_t* buffer = placeBeforeGuard(hexBytes(bytes), 0);
    std::vector<char> out(cap + 8, 'X');
    std::strcpy(out.data(), prefill);
    const uint8_t* cursor = buffer;
    decodeInstruction(cursor, mode, buffer, 0, out.data(), cap, false, nullptr, nullptr);
    return std::make_pair(renderMarks(out.data()), size_t(cursor - buffer));
  };
  EXPECT_EQ(run("ABC", "90", 10).first, "ABCnop   ");
  EXPECT_EQ(run("ABC", "90", 8).first, "ABCnop ");
  EXPECT_EQ(run("ABC", "2E 90", 400), std::make_pair(std::string("ABCdb    2E"), size_t(1)));
  EXPECT_EQ(run("ABC", "F0 2E 90", 9).first, "ABCdb   ");
  EXPECT_EQ(run("", "A1 00 10 40 00", 24).first, "mov   eax,dword ptr [{1}");
  EXPECT_EQ(run("", "A1 00 10 40 00", 22).first, "mov   eax,dword ptr [");
  EXPECT_EQ(run("", "90", 1).first, "");
  EXPECT_EQ(run("ABCDEFGHIJ", "90", 5).first, "ABCD");  // already full: cut to capacity - 1
  // Length does not depend on the room for text; length-only mode leaves the output alone.
  EXPECT_EQ(run("", "8B 84 C8 00 01 00 00", 3).second, 7u);
  EXPECT_EQ(run("keep", "8B 45 08", 8, DecodeLength),
            std::make_pair(std::string("keep"), size_t(3)));
}

}  // namespace
