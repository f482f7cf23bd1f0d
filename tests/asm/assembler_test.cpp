// The assembler: every operand kind and addressing form in both modes, the
// choice among encodings, the refusals with their reasons, and the round trip
// of whatever the decoder prints for random bytes. (Garbage text is the fuzz
// target's.)
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "asm/assembler.h"
#include "asm_test_helpers.h"

namespace {

std::string assemble(const char* text, uint32_t address, bool code16,
                     std::string* reason = nullptr) {
  uint8_t out[64];
  std::memset(out, 0xCC, sizeof out);
  char why[kAsmReasonCap] = "";
  const int n = assembleInstruction(text, address, code16, out, why, sizeof why);
  if (reason) *reason = why;
  if (n == 0) {
    for (uint8_t b : out) EXPECT_EQ(b, 0xCC) << "a refused text wrote bytes";
    return "";
  }
  EXPECT_LE(n, kAsmMaxLength);
  return hexText(out, size_t(n));
}

struct TEncodeCase {
  bool code16;
  uint32_t address;
  const char* text;
  const char* bytes;
};

TEST(Assembler, EncodesEveryOperandKindAndAddressingForm) {
  const TEncodeCase cases[] = {
      // Registers, ModRM register forms, the operand-size prefix.
      {false, 0, "push  ebp", "55"},
      {false, 0, "mov   ebp,esp", "89E5"},
      {false, 0, "MOV AX , BX", "6689D8"},
      {false, 0, "xchg  edx,eax", "92"},
      {false, 0, "xchg  eax,edx", "87D0"},
      {false, 0, "mov   es,ax", "8EC0"},
      {false, 0, "mov   cx,<undefined seg>", "8CF1"},
      {false, 0, "mov   cr3,eax", "0F22D8"},
      {false, 0, "movzx ax,bl", "660FB6C3"},
      // 32-bit addressing: every ModRM/SIB form, the shortest displacement.
      {false, 0, "mov   eax,dword ptr [ebp+00000008]", "8B4508"},
      {false, 0, "mov   eax,dword ptr [ebp-00000008]", "8B45F8"},
      {false, 0, "mov   eax,dword ptr [ebp+00000080]", "8B8580000000"},
      {false, 0, "mov   eax,dword ptr [ebp]", "8B4500"},
      {false, 0, "mov   eax,[esp]", "8B0424"},
      {false, 0, "mov   eax,[ecx*4+eax]", "8B0488"},
      {false, 0, "mov   eax,[eax+8*ebx-10]", "8B44D8F0"},
      {false, 0, "mov   eax,dword ptr [4*ecx+00001000]", "8B048D00100000"},
      {false, 0, "mov   eax,[eax+esp]", "8B0404"},
      {false, 0, "mov   ebx,dword ptr [00401000]", "8B1D00104000"},
      {false, 0, "mov   eax,dword ptr [00401000]", "A100104000"},
      {false, 0, "mov   al,byte ptr fs:[00000000]", "64A000000000"},
      {false, 0, "mov   eax,dword ptr fs:[ecx]", "648B01"},
      {false, 0, "mov   eax,dword ptr [1234]", "67A13412"},
      {false, 0, "mov   ax,word ptr [bx+si]", "66678B00"},
      // 16-bit code: its default sizes, all eight address forms, 32-bit forms by prefix.
      {true, 0, "mov   ax,word ptr [bx+si]", "8B00"},
      {true, 0, "mov   ax,[bx+di+0012]", "8B4112"},
      {true, 0, "mov   ax,[bp+si-0001]", "8B42FF"},
      {true, 0, "mov   ax,[bp+di+1234]", "8B833412"},
      {true, 0, "mov   ax,[bp]", "8B4600"},
      {true, 0, "mov   bx,word ptr [1234]", "8B1E3412"},
      {true, 0, "mov   ax,word ptr [1234]", "A13412"},
      {true, 0, "mov   eax,ebx", "6689D8"},
      {true, 0, "mov   ax,[eax]", "678B00"},
      {true, 0, "mov   dx,0123", "BA2301"},
      {true, 0, "push  12345678", "666878563412"},
      {true, 0, "movsd", "66A5"},
      {true, 0x225, "call  0237", "E80F00"},
      {true, 0x22B, "loop  022B", "E2FE"},
      {true, 0x220, "jcxz  0230", "E30E"},
      {true, 0, "call  0010:011C", "9A1C011000"},
      {true, 0, "jmp   0010:00001234", "66EA341200001000"},
      {true, 0x1000, "jmp   00401000", "66E9FAFF3F00"},
      // Immediates: the form whose text is the typed number, else the shortest.
      {false, 0, "add   eax,-01", "83C0FF"},
      {false, 0, "add   eax,00000001", "0501000000"},
      {false, 0, "add   eax,1", "83C001"},
      {false, 0, "add   dword ptr [eax],00000005", "810005000000"},
      {false, 0, "add   word ptr [eax],0005", "6681000500"},
      {false, 0, "and   eax,FFFFFFF0", "25F0FFFFFF"},
      {false, 0, "and   eax,0FFFFFFF0h", "83E0F0"},
      {false, 0, "push  FF", "6AFF"},
      {false, 0, "push  0xFF", "68FF000000"},
      {false, 0, "push  -1", "6AFF"},
      {false, 0, "push  00000080", "6880000000"},
      {false, 0, "push  1234", "6834120000"},
      {false, 0, "imul  eax,ecx,05", "6BC105"},
      {false, 0, "imul  eax,ecx,00000005", "69C105000000"},
      {false, 0, "int   3", "CC"},
      {false, 0, "int   03", "CD03"},
      {false, 0, "shl   eax,1", "D1E0"},
      {false, 0, "shl   eax,01", "C1E001"},
      {false, 0, "enter 0010,00", "C8100000"},
      {false, 0, "ret   0004", "C20400"},
      {false, 0, "call  0010:00401000", "9A001040001000"},
      {false, 0, "call  0010:1234", "669A34121000"},
      // Branches: absolute targets, short when in reach.
      {false, 0x401000, "jmp   00401000", "EBFE"},
      {false, 0x401000, "jmp   00401225", "E920020000"},
      {false, 0x401000, "jz    00401010", "740E"},
      {false, 0x401000, "jz    00402000", "0F84FA0F0000"},
      {false, 0x401000, "call  00401000", "E8FBFFFFFF"},
      {false, 0x401000, "jecxz 00401010", "E30E"},
      {false, 0x401000, "jcxz  00401010", "66E30D"},
      {false, 0x401000, "jmp   0", "E9FBEFBFFF"},
      {false, 0, "jmp   dword ptr [eax]", "FF20"},
      {false, 0, "call  far ptr [eax]", "FF18"},
      {false, 0, "call  word ptr [eax]", "66FF10"},
      // Groups, accumulator forms, two names, string instructions, prefixes.
      {false, 0, "imul  eax,ecx", "0FAFC1"},
      {false, 0, "imul  ecx", "F7E9"},
      {false, 0, "mul   eax,ecx", "F7E1"},
      {false, 0, "cbw", "6698"},
      {false, 0, "aam", "D40A"},
      {false, 0, "xlat  fs:[ebx]", "64D7"},
      {false, 0, "repz  movsd es:[edi],[esi]", "F3A5"},
      {false, 0, "movsb es:[edi],fs:[esi]", "64A4"},
      {false, 0, "movsb es:[di],[si]", "67A4"},
      {false, 0, "lock  add dword ptr [eax],ecx", "F00108"},
      {false, 0, "btc   eax,1F", "0FBAF81F"},
      {false, 0, "lgdt  word ptr [eax]", "0F0110"},
      // x87: memory sizes (single/double also as dword/qword), register forms.
      {false, 0, "fld   single ptr [eax]", "D900"},
      {false, 0, "fld   dword ptr [eax]", "D900"},
      {false, 0, "fld   tbyte ptr [eax]", "DB28"},
      {false, 0, "fild  qword ptr [eax]", "DF28"},
      {false, 0, "fnstcw [eax]", "D938"},
      {false, 0, "fld   st(0)", "D9C0"},
      {false, 0, "fadd  st,st(1)", "D8C1"},
      {false, 0, "faddp st(1),st", "DEC1"},
      {false, 0, "fnstsw ax", "DFE0"},
      {false, 0, "repnz fdivp st(7),st", "F2DEFF"},
      // What the listing appends is ignored, between operands too.
      {false, 0, "call  dword ptr [0040412C] -> USER32.dll: MessageBoxA", "FF152C414000"},
      {false, 0, "mov   dword ptr [6EB5E008] -> 6EB5DC64,eax", "A308E0B56E"},
      {false, 0, "imul  ebx,dword ptr [6405B234] => nbuckets,00000084", "691D34B2056484000000"},
      {false, 0, "push  00403000 -> \"Hello, world\"", "6800304000"},
      {false, 0,
       "mov   eax,\x1F\x01"
       "00403000\x1E\x06 => 'a,eax'\x1E\xFF",
       "B800304000"},
      {true, 0,
       "mov   ax,\x1F\x08"
       "d1234",
       "B83412"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(assemble(c.text, c.address, c.code16), c.bytes);
  }
}

struct TRefusalCase {
  bool code16;
  const char* text;
  const char* reason;
};

TEST(Assembler, RefusesWithAReason) {
  const TRefusalCase cases[] = {
      {false, "", "nothing to assemble"},
      {false, "   \t ", "nothing to assemble"},
      {false, "frob  eax", "unknown instruction: frob"},
      {false, "db    90", "data is not an instruction (patch bytes instead): db"},
      {false, "mov   eax", "wrong number of operands for mov"},
      {false, "mov   eax,1,2,3", "too many operands: 3"},
      {false, "mov   al,ebx", "operands do not fit mov"},
      {false, "add   al,1FF", "number out of range for add"},
      {false, "mov   eax,123456789", "number too large (more than 32 bits): 123456789"},
      {false, "mov   eax,[eax", "missing ']': [eax"},
      {false, "mov   eax,eax]", "expected ',' between operands: ]"},
      {false, "mov   eax,[]", "incomplete address: []"},
      {false, "mov   eax,[eax*3]", "scale must be 1, 2, 4 or 8: 3"},
      {false, "mov   eax,[eax+bx]", "cannot mix 16-bit and 32-bit registers in an address: bx"},
      {false, "mov   eax,[bx+bp]", "16-bit addresses take bx or bp, si or di: bp"},
      {false, "mov   eax,[esp*2]", "esp cannot be an index register: [esp*2]"},
      {false, "mov   eax,[ebp-eax]", "a register cannot be subtracted: eax"},
      {false, "mov   eax,cs:", "expected an address in brackets"},
      {false, "fld   st(9)", "st(i) takes a number 0 to 7: 9"},
      {false, "mov   [eax],1", "operand size unknown: add byte ptr, word ptr or dword ptr?"},
      {false, "movzx eax,[eax]", "operand size unknown: add byte ptr or word ptr?"},
      {false, "fld   [eax]", "operand size unknown: add single ptr, double ptr or tbyte ptr?"},
      {false, "movsb es:[di],[esi]", "the operands use different address sizes"},
      {false, "loop  00402000", "branch target out of reach of the short form"},
      {false, "jmp   short 00402000", "branch target out of reach of the short form"},
      {false, "call  short 00401000", "short goes only with a jump that has a short form"},
      {true, "jcxz  00020000", "branch target out of reach (outside the 64 KB of the instruction)"},
      {false, "rep   mov eax,ebx", "rep prefixes go only before string and x87 instructions"},
      {false, "repz  repnz movsb", "two rep prefixes: repnz"},
      {false,
       "lock lock lock lock lock lock lock lock lock lock add dword ptr fs:[eax+00001000],00001000",
       "instruction longer than 15 bytes"},
      {false,
       "lock lock lock lock lock lock lock lock lock lock lock lock lock lock lock lock lock lock lock lock "
       "lock lock lock lock lock lock lock lock lock lock lock lock lock lock lock lock lock lock lock lock "
       "rep movsb",
       "instruction longer than 15 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string reason;
    EXPECT_EQ(assemble(c.text, 0x401000, c.code16, &reason), "");
    EXPECT_EQ(reason, c.reason);
  }
}

// 66 before a relative branch of 32-bit code: the listing adds the 16-bit
// displacement to the low word and keeps the high word, the processor cuts
// EIP to 16 bits; such a target is assembled as a 32-bit branch, which cannot
// reach it from a short form.
bool sixteenBitBranch(const uint8_t* p) {
  bool opsize = false;
  for (;; ++p) {
    if (*p == 0x66)
      opsize = !opsize;
    else if (!(*p == 0x26 || *p == 0x2E || *p == 0x36 || *p == 0x3E || *p == 0x64 || *p == 0x65 ||
               *p == 0x67 || *p == 0xF0 || *p == 0xF2 || *p == 0xF3))
      break;
  }
  return opsize && ((*p >= 0x70 && *p <= 0x7F) || (*p >= 0xE0 && *p <= 0xE3) || *p == 0xEB);
}

// Whatever the decoder prints for random bytes assembles to bytes that it
// prints with the same text.
TEST(Assembler, RandomInstructionsRoundTrip) {
  std::mt19937 rng(2024);
  for (bool code16 : {false, true}) {
    size_t decoded = 0;
    for (int i = 0; i < 200000; ++i) {
      uint8_t bytes[16];
      for (auto& b : bytes) b = uint8_t(rng());
      const uint32_t address = code16 ? rng() & 0xFFFF : rng();
      size_t length = 0;
      const std::string text = listedText(bytes, address, code16, length);
      if (text.compare(0, 3, "db ") == 0) continue;
      // A 16-bit push of 32-bit code ("push  1234", 66 68) assembles as the
      // 32-bit push: a number alone does not change the stack's operand size.
      const size_t push = text.rfind("push ");
      const size_t digits = push == std::string::npos ? push
                                                      : text.find_first_not_of(' ', push + 4);
      if (!code16 && digits != std::string::npos && text.size() == digits + 4) continue;
      if (!code16 && sixteenBitBranch(bytes)) continue;
      ++decoded;
      uint8_t ours[64];
      char reason[kAsmReasonCap];
      const int n = assembleInstruction(text.c_str(), address, code16, ours, reason, sizeof reason);
      ASSERT_GT(n, 0) << text << ": " << reason;
      size_t ourLength = 0;
      ASSERT_EQ(listedText(ours, address, code16, ourLength), text) << hexText(bytes, length);
      ASSERT_EQ(ourLength, size_t(n));
    }
    EXPECT_GT(decoded, 100000u);
  }
}

}  // namespace
