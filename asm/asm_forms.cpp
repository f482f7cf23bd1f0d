#include "asm/asm_forms.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "disasm/opcode_tables.h"

namespace {

bool isPrefix(uint8_t b) {
  switch (b) {
    case 0x26:
    case 0x2E:
    case 0x36:
    case 0x3E:
    case 0x64:
    case 0x65:
    case 0x66:
    case 0x67:
    case 0xF0:
    case 0xF2:
    case 0xF3: return true;
    default: return false;
  }
}

bool isStringOpcode(uint8_t b) {
  return (b >= 0x6C && b <= 0x6F) || (b >= 0xA4 && b <= 0xA7) || (b >= 0xAA && b <= 0xAF);
}

uint8_t firstKind(uint32_t operands) {
  while (operands && !(operands >> 24)) operands <<= 8;
  return uint8_t(operands >> 24);
}

class TFormBuilder {
 public:
  std::vector<TAsmForm> forms;

  void add(const char* mnemonic, uint32_t operands, uint8_t opcode, int reg, int8_t sizeKind,
           uint8_t flags, bool needsModRM, uint8_t sizeByName = 0, uint8_t memSize = 0,
           uint8_t modrm = 0) {
    if (opcode >= 0xD8 && opcode <= 0xDF && !(flags & FormTwoByte)) flags |= FormFpu;
    forms.push_back(TAsmForm{mnemonic, operands, opcode, int8_t(reg), sizeKind, sizeByName, memSize,
                             modrm, flags, needsModRM});
  }

  // One entry of the one- or two-byte map with its group, if any.
  void addEntry(const OpcodeEntry& e, uint8_t opcode, uint8_t flags) {
    if (!e.mnemonic[0]) return;
    switch (e.group) {
      case GroupNames: {
        auto names = static_cast<const char* const*>(e.extra);
        for (int r = 0; r < 8; ++r)
          if (names[r][0]) add(names[r], e.operands, opcode, r, e.sizeKind, flags, true);
        return;
      }
      case GroupRecordsOps:
      case GroupRecords: {
        auto records = static_cast<const OpcodeEntry*>(e.extra);
        for (int r = 0; r < 8; ++r) {
          const OpcodeEntry& g = records[r];
          if (!g.mnemonic[0]) continue;
          uint8_t f = flags;
          if (firstKind(g.operands) == Accumulator) f |= FormAccumulatorOptional;
          // The listing prints "imul eax,ecx" for f7 /5 (which also writes
          // edx) as for 0f af; written so, it means 0f af.
          if (!std::strcmp(g.mnemonic, "imul")) f |= FormWrittenAccumulatorLast;
          add(g.mnemonic, g.operands, opcode, r, e.group == GroupRecords ? g.sizeKind : e.sizeKind,
              f, true);
        }
        return;
      }
      default: break;
    }
    if (e.sizeKind == SizeTwoNames) {
      add(e.mnemonic, e.operands, opcode, -1, e.sizeKind, flags, e.needsModRM, 1);
      add(static_cast<const char*>(e.extra), e.operands, opcode, -1, e.sizeKind, flags,
          e.needsModRM, 2);
      return;
    }
    if (!(flags & FormTwoByte) && isStringOpcode(opcode)) {
      if (e.sizeKind == SizeByte) {
        add(letterName(e.mnemonic, 'b'), e.operands, opcode, -1, e.sizeKind,
            flags | FormStringLetter, false);
      } else {
        add(letterName(e.mnemonic, 'w'), e.operands, opcode, -1, e.sizeKind,
            flags | FormStringLetter, false, 1);
        add(letterName(e.mnemonic, 'd'), e.operands, opcode, -1, e.sizeKind,
            flags | FormStringLetter, false, 2);
      }
      return;
    }
    if (!(flags & FormTwoByte) && (opcode == 0xD4 || opcode == 0xD5)) {
      // aam/aad exist only in their base-10 form.
      add(e.mnemonic, 0, opcode, -1, e.sizeKind, flags | FormFixedModRM, true, 0, 0, 0x0A);
      return;
    }
    add(e.mnemonic, e.operands, opcode, -1, e.sizeKind, flags, e.needsModRM);
  }

  void addFpu(uint8_t escape, int reg, const FpuEntry& f) {
    const uint8_t opcode = uint8_t(0xD8 + escape);
    if (f.memMnemonic[0])
      add(f.memMnemonic, packOperands(KindFpuMemory), opcode, reg, SizeNone, 0, true, 0, f.memSize);
    switch (f.regForm) {
      case FpuSt:
      case FpuStSt:
      case FpuStFirst: {
        const char* name = f.regMnemonic[0] ? f.regMnemonic : f.memMnemonic;
        if (!name[0]) return;
        const uint32_t ops = f.regForm == FpuSt     ? packOperands(KindStI)
                             : f.regForm == FpuStSt ? packOperands(KindStI, KindSt)
                                                    : packOperands(KindSt, KindStI);
        add(name, ops, opcode, reg, SizeNone, 0, true);
        return;
      }
      case FpuList:
      case FpuListAx:
        for (int rm = 0; rm < 8; ++rm)
          if (f.names[rm][0])
            add(f.names[rm], f.regForm == FpuListAx ? packOperands(KindAx) : 0, opcode, reg,
                SizeNone, FormFixedModRM, true, 0, 0, uint8_t(0xC0 | (reg << 3) | rm));
        return;
      default: return;
    }
  }

 private:
  // "movs" + 'b' and the like, one per string opcode and size; the names live
  // as long as the program.
  static const char* letterName(const char* base, char letter) {
    static char names[32][8];
    static int used = 0;
    char* n = names[used++];
    std::snprintf(n, sizeof names[0], "%s%c", base, letter);
    return n;
  }
};

// FNV-1a over a zero-terminated mnemonic.
uint32_t hashMnemonic(const char* m) {
  uint32_t h = 2166136261u;
  for (; *m; ++m) h = (h ^ uint8_t(*m)) * 16777619u;
  return h;
}

struct TFormIndex {
  std::vector<TAsmForm> forms;  // sorted by mnemonic, table order kept within one
  // Open addressing by mnemonic: the first form and the count of each.
  struct TSlot {
    const char* mnemonic = nullptr;
    uint32_t first = 0, count = 0;
  };
  static constexpr size_t kSlots = 1024;  // a power of two, well above the ~400 mnemonics
  std::vector<TSlot> slots;

  TFormIndex() {
    TFormBuilder b;
    for (int op = 0; op < 256; ++op) {
      if (isPrefix(uint8_t(op)) || op == 0x0F || (op >= 0xD8 && op <= 0xDF)) continue;
      b.addEntry(oneByteMap[size_t(op)], uint8_t(op), 0);
    }
    for (int op = 0; op < 256; ++op)
      b.addEntry(twoByteEntry(uint8_t(op)), uint8_t(op), FormTwoByte);
    for (int esc = 0; esc < 8; ++esc)
      for (int reg = 0; reg < 8; ++reg) b.addFpu(uint8_t(esc), reg, fpuTable[esc][reg]);
    forms = std::move(b.forms);
    std::stable_sort(forms.begin(), forms.end(), [](const TAsmForm& a, const TAsmForm& c) {
      return std::strcmp(a.mnemonic, c.mnemonic) < 0;
    });
    slots.resize(kSlots);
    for (uint32_t i = 0; i < forms.size();) {
      uint32_t j = i;
      while (j < forms.size() && !std::strcmp(forms[j].mnemonic, forms[i].mnemonic)) ++j;
      size_t at = hashMnemonic(forms[i].mnemonic) & (kSlots - 1);
      while (slots[at].mnemonic) at = (at + 1) & (kSlots - 1);
      slots[at] = TSlot{forms[i].mnemonic, i, j - i};
      i = j;
    }
  }

  const TSlot* find(const char* mnemonic) const {
    for (size_t at = hashMnemonic(mnemonic) & (kSlots - 1); slots[at].mnemonic;
         at = (at + 1) & (kSlots - 1))
      if (!std::strcmp(slots[at].mnemonic, mnemonic)) return &slots[at];
    return nullptr;
  }
};

const TFormIndex& formIndex() {
  static const TFormIndex index;
  return index;
}

}  // namespace

const TAsmForm* findAsmForms(const char* mnemonic, size_t& count) {
  const TFormIndex& index = formIndex();
  const TFormIndex::TSlot* slot = index.find(mnemonic);
  count = slot ? slot->count : 0;
  return slot ? &index.forms[slot->first] : nullptr;
}

const TAsmForm* allAsmForms(size_t& count) {
  count = formIndex().forms.size();
  return formIndex().forms.data();
}
