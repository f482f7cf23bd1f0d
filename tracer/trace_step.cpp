// One traced instruction. Ordinary instructions are carried out by an exact
// emulator on mapped memory (thread block, private stack, file image); control
// transfers, the three kernel32 stand-ins and the special returns are done
// here as well. Every check happens before the first write, so a refused step
// leaves registers, stack and file as they were (a recorded fault aside).
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "analysis/return_manager.h"
#include "base/host.h"
#include "base/le_read.h"
#include "image/image_info.h"
#include "tracer/alu.h"
#include "tracer/fixed_regs.h"
#include "tracer/trace_step.h"

namespace {

const char* const kStatusMessages[kTraceStatusCount] = {
    "",
    "EIP not in file!",
    "Command not supported yet!",
    "Illegal address: Address not in file!",
    "Illegal stack address!",
    "Exception occurred!",
    "Illegal command!",
    "Command overlaps file end!",
    "Command too long! (>=16 bytes)",
    "Read time stamp counter executed! Check EDX:EAX!",
    "Possible self modified code!",
    "Breakpoint reached!",
};

constexpr uint32_t kMaxNameChars = 80;
constexpr uint32_t kPopfMask32 = 0x00244DD5u;  // CF PF AF ZF SF TF DF OF NT AC ID
constexpr uint32_t kPopfMask16 = 0x00004DD5u;
constexpr uint32_t kRf = 0x00010000u, kVm = 0x00020000u;

enum RepeatKind { REP_NONE = 0, REP_NE = 1, REP_E = 2 };

inline uint32_t loadMem(const uint8_t* p, int size) {
  return size == 1 ? p[0] : size == 2 ? readLe16(p) : readLe32(p);
}
inline void storeMem(uint8_t* p, int size, uint32_t v) {
  if (size == 1)
    p[0] = static_cast<uint8_t>(v);
  else if (size == 2)
    writeLe16(p, static_cast<uint16_t>(v));
  else
    writeLe32(p, v);
}

// A register (mem null) or mapped memory operand.
struct TOperand {
  uint8_t* mem = nullptr;
  int reg = 0;
};

struct TAccess {
  uint32_t offset;
  uint32_t size;
  bool isWrite;
};

class TStepper {
 public:
  TStepper(TFixedRegs& regs, TTraceEnvironment& env, bool manualStep)
      : R(regs),
        env_(env),
        image_(env.image),
        vis_(env.vis ? env.vis : regs.traceVis),
        manual_(manualStep),
        buf_(env.fileBuffer),
        fileSize_(env.fileSize) {}

  int run();

 private:
  // ---- registers and operands ----
  uint32_t getReg(int r, int size) const {
    if (size == 1) return r < 4 ? R.reg[r] & 0xFF : (R.reg[r - 4] >> 8) & 0xFF;
    if (size == 2) return R.reg[r] & 0xFFFF;
    return R.reg[r];
  }
  void setReg(int r, int size, uint32_t v) {
    if (size == 1) {
      if (r < 4)
        R.reg[r] = (R.reg[r] & ~0xFFu) | (v & 0xFF);
      else
        R.reg[r - 4] = (R.reg[r - 4] & ~0xFF00u) | ((v & 0xFF) << 8);
    } else if (size == 2) {
      R.reg[r] = (R.reg[r] & 0xFFFF0000u) | (v & 0xFFFF);
    } else {
      R.reg[r] = v;
    }
  }
  uint32_t readOp(const TOperand& o, int size) const {
    return o.mem ? loadMem(o.mem, size) : getReg(o.reg, size);
  }
  void writeOp(const TOperand& o, int size, uint32_t v) {
    if (o.mem)
      storeMem(o.mem, size, v);
    else
      setReg(o.reg, size, v);
  }

  void report(uint32_t offset, uint32_t size, bool isWrite) {
    if (accessCount_ < 2) accesses_[accessCount_++] = TAccess{offset, size, isWrite};
  }
  int mapAddress(uint32_t a, bool isWrite, int size, uint32_t reportSize, TOperand& out);
  // Decodes ModRM/SIB/displacement at m; len receives their byte count.
  int modrm(const uint8_t* m, int& len, uint32_t& ea, TOperand& out, bool map, bool isWrite,
            int size, uint32_t reportSize, uint32_t espAdjust = 0);
  // Stack-pointer conversion: the slot at address a (ESP - 4 or ESP).
  int mapStackSlot(uint32_t a, bool isWrite, uint8_t*& slot);
  int mapStringPointer(uint32_t a, bool isWrite, int size, uint8_t*& p);

  int gate(uint32_t rewrittenLen, uint32_t originalLen);
  // len: the instruction's bytes from the opcode on.
  int finish(uint32_t len, uint32_t newEip, int status);
  uint32_t nextEip(uint32_t len) const { return R.EIP + prefixes_ + len; }
  bool bytesPresent(const uint8_t* p, uint32_t n) const { return p + n <= end_; }
  uint32_t imm(const uint8_t* p, int size) const {
    return size == 1 ? p[0] : size == 2 ? readLe16(p) : readLe32(p);
  }

  // ---- classes ----
  int aluRmReg(uint8_t b);
  int group1(uint8_t b);
  int group2(uint8_t b);
  int group3(uint8_t b);
  int groupFF(uint8_t b);
  int simpleModrm(uint8_t b);
  int twoByte();
  int pushValue(uint32_t len, uint32_t value, int size, uint32_t rewritten);
  int popRegister(int r);
  int popFlags();
  int popMemory();
  int stringOp(uint8_t b);
  int moffs(uint8_t b);
  int relativeBranch(uint32_t len, int32_t disp, bool taken);
  int callTo(uint32_t len, uint32_t target);
  int jumpTo(uint32_t len, uint32_t target);
  int callImport(uint32_t len, uint32_t slot);
  int ret(uint32_t len, uint32_t extra);

  TFixedRegs& R;
  TTraceEnvironment& env_;
  TImageInfo& image_;
  TTraceVisSink* vis_;
  bool manual_;
  uint8_t* buf_;
  uint32_t fileSize_;

  uint32_t fo_ = 0;
  const uint8_t* start_ = nullptr;
  const uint8_t* end_ = nullptr;
  const uint8_t* op_ = nullptr;
  uint32_t prefixes_ = 0;
  int os_ = 4, as_ = 4;
  bool fsOverride_ = false;
  int rep_ = REP_NONE;
  TAccess accesses_[2];
  int accessCount_ = 0;
};

int TStepper::mapAddress(uint32_t a, bool isWrite, int size, uint32_t reportSize, TOperand& out) {
  if (fsOverride_) {
    // The thread block: exception list head and the stack limits.
    if (a == 0) {
      out.mem = reinterpret_cast<uint8_t*>(&R.exceptionList);
      return TRACE_OK;
    }
    if (a == 4 || a == 8) {
      R.fsScratch = a == 4 ? R.stackBase + TFixedRegs::STACK_SIZE : R.stackBase;
      out.mem = reinterpret_cast<uint8_t*>(&R.fsScratch);
      return TRACE_OK;
    }
    return TRACE_ILLEGAL_ADDRESS;
  }
  if (R.inStack(a)) {
    out.mem = R.stack.get() + (a - R.stackBase);
    return TRACE_OK;
  }
  const uint32_t f = image_.memoryToFileOffset(a);
  // An access must lie wholly inside the file, not in the zero bytes behind it.
  if (f == NOT_IN_FILE || uint64_t(f) + uint32_t(size) > fileSize_) {
    R.recordFault(a, isWrite, image_);
    return TRACE_ILLEGAL_ADDRESS;
  }
  out.mem = buf_ + f;
  report(f, reportSize, isWrite);
  return TRACE_OK;
}

int TStepper::modrm(const uint8_t* m, int& len, uint32_t& ea, TOperand& out, bool map, bool isWrite,
                    int size, uint32_t reportSize, uint32_t espAdjust) {
  // An opcode in the last byte of the file has no operand byte to read.
  if (!bytesPresent(m, 1)) return TRACE_OVERLAPS_END;
  const uint32_t mod = m[0] >> 6, rm = m[0] & 7;
  if (mod == 3) {
    out.mem = nullptr;
    out.reg = int(rm);
    len = 1;
    ea = 0;
    return TRACE_OK;
  }
  auto r32 = [&](uint32_t r) { return R.reg[r] + (r == 4 ? espAdjust : 0); };
  const uint8_t* q = m + 1;
  uint32_t dispBytes = 0;
  if (as_ == 4) {
    if (rm == 4) {
      if (!bytesPresent(q, 1)) return TRACE_ILLEGAL_ADDRESS;
      const uint32_t sib = *q++;
      const uint32_t base = sib & 7, index = (sib >> 3) & 7, scale = sib >> 6;
      ea = index != 4 ? r32(index) << scale : 0;
      if (base == 5 && mod == 0)
        dispBytes = 4;
      else
        ea += r32(base);
    } else if (rm == 5 && mod == 0) {
      ea = 0;
      dispBytes = 4;
    } else {
      ea = r32(rm);
    }
    if (mod == 1) dispBytes = 1;
    if (mod == 2) dispBytes = 4;
  } else {
    auto r16 = [&](uint32_t r) { return R.reg[r] & 0xFFFF; };
    switch (rm) {
      case 0: ea = r16(3) + r16(6); break;
      case 1: ea = r16(3) + r16(7); break;
      case 2: ea = r16(5) + r16(6); break;
      case 3: ea = r16(5) + r16(7); break;
      case 4: ea = r16(6); break;
      case 5: ea = r16(7); break;
      case 6: ea = mod == 0 ? 0 : r16(5); break;
      default: ea = r16(3); break;
    }
    if (mod == 0 && rm == 6) dispBytes = 2;
    if (mod == 1) dispBytes = 1;
    if (mod == 2) dispBytes = 2;
  }
  if (!bytesPresent(q, dispBytes)) return TRACE_ILLEGAL_ADDRESS;
  if (dispBytes == 1)
    ea += uint32_t(int32_t(int8_t(q[0])));
  else if (dispBytes == 2)
    ea += readLe16(q);
  else if (dispBytes == 4)
    ea += readLe32(q);
  q += dispBytes;
  len = int(q - m);
  if (!map) return TRACE_OK;
  return mapAddress(ea, isWrite, size, reportSize, out);
}

int TStepper::mapStackSlot(uint32_t a, bool isWrite, uint8_t*& slot) {
  if (R.inStack(a)) {
    slot = R.stack.get() + (a - R.stackBase);
    return TRACE_OK;
  }
  const uint32_t f = image_.memoryToFileOffset(a);
  if (f != NOT_IN_FILE && uint64_t(f) + 3 < fileSize_) {
    slot = buf_ + f;
    report(f, uint32_t(as_), isWrite);
    return TRACE_OK;
  }
  return TRACE_ILLEGAL_STACK;
}

int TStepper::mapStringPointer(uint32_t a, bool isWrite, int size, uint8_t*& p) {
  if (R.inStack(a)) {
    p = R.stack.get() + (a - R.stackBase);
    return TRACE_OK;
  }
  const uint32_t f = image_.memoryToFileOffset(a);
  if (f != NOT_IN_FILE && uint64_t(f) + 3 < fileSize_) {
    p = buf_ + f;
    report(f, size == 1 ? 1 : uint32_t(as_), isWrite);
    return TRACE_OK;
  }
  R.recordFault(a, isWrite, image_);
  return TRACE_ILLEGAL_ADDRESS;
}

// The checks before an ordinary instruction runs: its length as the
// rewritten form counts it, the file end, and code the program wrote itself.
int TStepper::gate(uint32_t rewrittenLen, uint32_t originalLen) {
  if (rewrittenLen + prefixes_ >= 16) return TRACE_TOO_LONG;
  const uint64_t opcodeAt = uint64_t(op_ - buf_);
  if (opcodeAt + std::max(rewrittenLen, originalLen) > fileSize_) return TRACE_OVERLAPS_END;
  if (!manual_ && vis_ && !R.ignoreAlteredCode &&
      vis_->wasWrittenOrRead(fo_, prefixes_ + originalLen, 7)) {
    const MsgAnswer a = env_.host.message(
        "The following command has possibly been altered!\nDo you want to continue tracing? "
        "(Cancel for ignore until break)",
        "Possible self modified code execution!", MsgIcon::Question, MsgButtons::YesNoCancel);
    if (a == MsgAnswer::No) return TRACE_SELF_MODIFIED;
    if (a == MsgAnswer::Cancel) R.ignoreAlteredCode = 1;
  }
  return TRACE_OK;
}

int TStepper::finish(uint32_t len, uint32_t newEip, int status) {
  if (vis_) {
    for (int i = 0; i < accessCount_; ++i)
      vis_->setMemoryAccessed(accesses_[i].offset, accesses_[i].isWrite, accesses_[i].size);
    vis_->incExecuted(fo_, prefixes_ + len);
  }
  R.EIP = newEip;
  return R.exceptionPending ? TRACE_EXCEPTION : status;
}

int TStepper::run() {
  if (R.exceptionPending) return TRACE_EXCEPTION;
  fo_ = image_.memoryToFileOffset(R.EIP);
  if (fo_ == NOT_IN_FILE) return TRACE_EIP_NOT_IN_FILE;
  if (!manual_ && R.isBreakPoint(fo_)) {
    env_.host.beep();
    return TRACE_BREAKPOINT;
  }
  if (fo_ >= fileSize_) return TRACE_NOT_SUPPORTED;
  start_ = buf_ + fo_;
  end_ = buf_ + fileSize_;
  os_ = as_ = env_.code16 ? 2 : 4;
  const uint8_t* p = start_;
  for (; p + 1 < end_; ++p) {
    const uint8_t b = *p;
    if (b == 0x66) {
      os_ ^= 6;
    } else if (b == 0x67) {
      as_ ^= 6;
    } else if (b == 0x64) {
      fsOverride_ = true;
    } else if (b == 0xF2) {
      rep_ = REP_NE;
    } else if (b == 0xF3) {
      rep_ = REP_E;
    } else if (b == 0x26 || b == 0x2E || b == 0x36 || b == 0x3E || b == 0x65 || b == 0xF0) {
      return TRACE_NOT_SUPPORTED;
    } else {
      break;
    }
  }
  op_ = p;
  prefixes_ = uint32_t(p - start_);
  const uint8_t b = *op_;

  if (b < 0x40 && (b & 7) < 4) return aluRmReg(b);
  if (b < 0x40 && (b & 7) < 6) {
    // ALU AL/eAX, imm
    const int size = (b & 1) ? os_ : 1;
    const uint32_t len = 1 + uint32_t(size);
    if (int s = gate(len, len)) return s;
    const uint32_t v = aluBinary(b >> 3, getReg(0, size), imm(op_ + 1, size), size, R.EFLAGS);
    if ((b >> 3) != ALU_CMP) setReg(0, size, v);
    return finish(len, nextEip(len), TRACE_OK);
  }
  switch (b) {
    case 0x40:
    case 0x41:
    case 0x42:
    case 0x43:
    case 0x44:
    case 0x45:
    case 0x46:
    case 0x47:
    case 0x48:
    case 0x49:
    case 0x4A:
    case 0x4B:
    case 0x4C:
    case 0x4D:
    case 0x4E:
    case 0x4F: {
      if (int s = gate(1, 1)) return s;
      const int r = b & 7;
      const uint32_t v = b < 0x48 ? aluInc(getReg(r, os_), os_, R.EFLAGS)
                                  : aluDec(getReg(r, os_), os_, R.EFLAGS);
      setReg(r, os_, v);
      return finish(1, nextEip(1), TRACE_OK);
    }
    case 0x50:
    case 0x51:
    case 0x52:
    case 0x53:
    case 0x54:
    case 0x55:
    case 0x56:
    case 0x57: return pushValue(1, getReg(b & 7, os_), os_, 1);
    case 0x58:
    case 0x59:
    case 0x5A:
    case 0x5B:
    case 0x5C:
    case 0x5D:
    case 0x5E:
    case 0x5F: return popRegister(b & 7);
    case 0x60: {  // PUSHAD
      const uint32_t before = R.ESP;
      R.push(R.EAX);
      R.push(R.ECX);
      R.push(R.EDX);
      R.push(R.EBX);
      R.push(before);
      R.push(R.EBP);
      R.push(R.ESI);
      R.push(R.EDI);
      return finish(1, nextEip(1), TRACE_OK);
    }
    case 0x61: {  // POPAD
      R.EDI = R.pop();
      R.ESI = R.pop();
      R.EBP = R.pop();
      const uint32_t v = R.pop();
      R.EBX = R.pop();
      R.EDX = R.pop();
      R.ECX = R.pop();
      R.EAX = R.pop();
      R.ESP = v;
      return finish(1, nextEip(1), TRACE_OK);
    }
    case 0x68:
      if (!bytesPresent(op_ + 1, uint32_t(os_))) return TRACE_OVERLAPS_END;
      return pushValue(1 + uint32_t(os_), imm(op_ + 1, os_), os_, 1 + uint32_t(os_));
    case 0x6A: return pushValue(2, uint32_t(int32_t(int8_t(op_[1]))), os_, 2);
    case 0x69:
    case 0x6B:
    case 0x84:
    case 0x85:
    case 0x86:
    case 0x87:
    case 0x88:
    case 0x89:
    case 0x8A:
    case 0x8B:
    case 0x8D:
    case 0xC6:
    case 0xC7: return simpleModrm(b);
    case 0x70:
    case 0x71:
    case 0x72:
    case 0x73:
    case 0x74:
    case 0x75:
    case 0x76:
    case 0x77:
    case 0x78:
    case 0x79:
    case 0x7A:
    case 0x7B:
    case 0x7C:
    case 0x7D:
    case 0x7E:
    case 0x7F: return relativeBranch(2, int8_t(op_[1]), R.conditionTrue(b & 15));
    case 0x80:
    case 0x81:
    case 0x82:
    case 0x83: return group1(b);
    case 0x8F: return popMemory();
    case 0x90:
    case 0x91:
    case 0x92:
    case 0x93:
    case 0x94:
    case 0x95:
    case 0x96:
    case 0x97: {
      if (int s = gate(1, 1)) return s;
      const int r = b & 7;
      const uint32_t t = getReg(r, os_);
      setReg(r, os_, getReg(0, os_));
      setReg(0, os_, t);
      return finish(1, nextEip(1), TRACE_OK);
    }
    case 0x98:
      if (int s = gate(1, 1)) return s;
      if (os_ == 2)
        setReg(0, 2, uint32_t(int32_t(int8_t(R.EAX))));
      else
        R.EAX = uint32_t(int32_t(int16_t(R.EAX)));
      return finish(1, nextEip(1), TRACE_OK);
    case 0x99:
      if (int s = gate(1, 1)) return s;
      if (os_ == 2)
        setReg(2, 2, (R.EAX & 0x8000) ? 0xFFFF : 0);
      else
        R.EDX = (R.EAX & 0x80000000u) ? 0xFFFFFFFFu : 0;
      return finish(1, nextEip(1), TRACE_OK);
    case 0x9C: {  // PUSHFD
      const uint32_t f = R.EFLAGS & ~(kRf | kVm);
      return pushValue(1, os_ == 2 ? f & 0xFFFF : f, os_, 1);
    }
    case 0x9D: return popFlags();
    case 0x9E:  // SAHF
      if (int s = gate(1, 1)) return s;
      R.EFLAGS = (R.EFLAGS & ~(EFL_SF | EFL_ZF | EFL_AF | EFL_PF | EFL_CF)) |
                 ((R.EAX >> 8) & (EFL_SF | EFL_ZF | EFL_AF | EFL_PF | EFL_CF));
      return finish(1, nextEip(1), TRACE_OK);
    case 0x9F:  // LAHF
      if (int s = gate(1, 1)) return s;
      setReg(4, 1, (R.EFLAGS & (EFL_SF | EFL_ZF | EFL_AF | EFL_PF | EFL_CF)) | 0x02);
      return finish(1, nextEip(1), TRACE_OK);
    case 0xA0:
    case 0xA1:
    case 0xA2:
    case 0xA3: return moffs(b);
    case 0xA4:
    case 0xA5:
    case 0xA6:
    case 0xA7:
    case 0xAA:
    case 0xAB:
    case 0xAC:
    case 0xAD:
    case 0xAE:
    case 0xAF: return stringOp(b);
    case 0xA8:
    case 0xA9: {
      const int size = b == 0xA8 ? 1 : os_;
      const uint32_t len = 1 + uint32_t(size);
      if (int s = gate(len, len)) return s;
      aluLogic(getReg(0, size) & imm(op_ + 1, size), size, R.EFLAGS);
      return finish(len, nextEip(len), TRACE_OK);
    }
    case 0xB0:
    case 0xB1:
    case 0xB2:
    case 0xB3:
    case 0xB4:
    case 0xB5:
    case 0xB6:
    case 0xB7:
      if (int s = gate(2, 2)) return s;
      setReg(b & 7, 1, op_[1]);
      return finish(2, nextEip(2), TRACE_OK);
    case 0xB8:
    case 0xB9:
    case 0xBA:
    case 0xBB:
    case 0xBC:
    case 0xBD:
    case 0xBE:
    case 0xBF: {
      const uint32_t len = 1 + uint32_t(os_);
      if (int s = gate(len, len)) return s;
      setReg(b & 7, os_, imm(op_ + 1, os_));
      return finish(len, nextEip(len), TRACE_OK);
    }
    case 0xC0:
    case 0xC1:
    case 0xD0:
    case 0xD1:
    case 0xD2:
    case 0xD3: return group2(b);
    case 0xC2:
      if (!bytesPresent(op_, 3)) return TRACE_OVERLAPS_END;
      return ret(3, readLe16(op_ + 1));
    case 0xC3: return ret(1, 0);
    case 0xC8: {  // ENTER
      if (!bytesPresent(op_, 4)) return TRACE_OVERLAPS_END;
      const uint32_t size = readLe16(op_ + 1);
      const uint32_t level = std::min<uint32_t>(op_[3], 31);
      R.push(R.EBP);
      const uint32_t frame = R.ESP;
      for (uint32_t i = 1; i < level; ++i) {
        R.EBP -= 4;
        R.push(R.readStack(R.EBP - R.stackBase));
      }
      if (level > 0) R.push(frame);
      R.EBP = frame;
      R.ESP -= size;
      return finish(4, nextEip(4), TRACE_OK);
    }
    case 0xC9:  // LEAVE
      R.ESP = R.EBP;
      R.EBP = R.pop();
      return finish(1, nextEip(1), TRACE_OK);
    case 0xE0:
    case 0xE1:
    case 0xE2: {  // LOOPNE, LOOPE, LOOP
      // The count register follows the address size (CX in 16-bit code).
      const uint32_t counter = (getReg(1, as_) - 1) & aluMask(as_);
      bool taken = counter != 0;
      if (b == 0xE1) taken = taken && (R.EFLAGS & EFL_ZF);
      if (b == 0xE0) taken = taken && !(R.EFLAGS & EFL_ZF);
      const uint32_t saved = R.ECX;
      setReg(1, as_, counter);
      const int s = relativeBranch(2, int8_t(op_[1]), taken);
      if (s == TRACE_ILLEGAL_ADDRESS) R.ECX = saved;
      return s;
    }
    case 0xE3: return relativeBranch(2, int8_t(op_[1]), (os_ == 4 ? R.ECX : R.ECX & 0xFFFF) == 0);
    case 0xE8:
    case 0xE9: {
      const uint32_t len = 1 + uint32_t(os_);
      if (!bytesPresent(op_, len)) return TRACE_OVERLAPS_END;
      const int32_t disp = os_ == 2 ? int16_t(readLe16(op_ + 1)) : int32_t(readLe32(op_ + 1));
      if (b == 0xE9) return relativeBranch(len, disp, true);
      return callTo(len, nextEip(len) + uint32_t(disp));
    }
    case 0xEB: return relativeBranch(2, int8_t(op_[1]), true);
    case 0xF6:
    case 0xF7: return group3(b);
    case 0xF8:
    case 0xF9:
    case 0xFC:
    case 0xFD: {
      if (int s = gate(1, 1)) return s;
      const uint32_t flag = b < 0xFC ? EFL_CF : EFL_DF;
      if (b & 1)
        R.EFLAGS |= flag;
      else
        R.EFLAGS &= ~flag;
      return finish(1, nextEip(1), TRACE_OK);
    }
    case 0xFA:
    case 0xFB: return TRACE_ILLEGAL_COMMAND;
    case 0xFE:
    case 0xFF: return groupFF(b);
    case 0x0F: return twoByte();
    default: return TRACE_NOT_SUPPORTED;
  }
}

int TStepper::aluRmReg(uint8_t b) {
  const int size = (b & 1) ? os_ : 1;
  const int aop = b >> 3;
  const bool toRm = !(b & 2);
  const bool write = toRm && aop != ALU_CMP;
  TOperand rm;
  int len;
  uint32_t ea;
  if (int s = modrm(op_ + 1, len, ea, rm, true, write, size, uint32_t(size))) return s;
  if (int s = gate(rm.mem ? 6 : 2, 1 + uint32_t(len))) return s;
  const int r = (op_[1] >> 3) & 7;
  if (toRm) {
    const uint32_t v = aluBinary(aop, readOp(rm, size), getReg(r, size), size, R.EFLAGS);
    if (aop != ALU_CMP) writeOp(rm, size, v);
  } else {
    const uint32_t v = aluBinary(aop, getReg(r, size), readOp(rm, size), size, R.EFLAGS);
    if (aop != ALU_CMP) setReg(r, size, v);
  }
  return finish(1 + uint32_t(len), nextEip(1 + uint32_t(len)), TRACE_OK);
}

int TStepper::group1(uint8_t b) {
  const int size = (b == 0x81 || b == 0x83) ? os_ : 1;
  const int immSize = b == 0x81 ? os_ : 1;
  const int aop = (op_[1] >> 3) & 7;
  TOperand rm;
  int len;
  uint32_t ea;
  if (int s = modrm(op_ + 1, len, ea, rm, true, aop != ALU_CMP, size,
                    b == 0x80 ? 1 : uint32_t(os_)))
    return s;
  const uint32_t original = 1 + uint32_t(len) + uint32_t(immSize);
  if (int s = gate((rm.mem ? 6 : 2) + uint32_t(immSize), original)) return s;
  uint32_t v = imm(op_ + 1 + len, immSize);
  if (b == 0x83) v = uint32_t(int32_t(int8_t(v)));
  const uint32_t r = aluBinary(aop, readOp(rm, size), v, size, R.EFLAGS);
  if (aop != ALU_CMP) writeOp(rm, size, r);
  return finish(original, nextEip(original), TRACE_OK);
}

int TStepper::group2(uint8_t b) {
  const int size = (b & 1) ? os_ : 1;
  const int immSize = b <= 0xC1 ? 1 : 0;
  TOperand rm;
  int len;
  uint32_t ea;
  if (int s = modrm(op_ + 1, len, ea, rm, true, true, size, uint32_t(size))) return s;
  const uint32_t original = 1 + uint32_t(len) + uint32_t(immSize);
  if (int s = gate((rm.mem ? 6 : 2) + uint32_t(immSize), original)) return s;
  const uint32_t count = immSize ? op_[1 + len] : (b >= 0xD2 ? R.ECX & 0xFF : 1);
  const uint32_t v = aluShift((op_[1] >> 3) & 7, readOp(rm, size), count, size, R.EFLAGS);
  writeOp(rm, size, v);
  return finish(original, nextEip(original), TRACE_OK);
}

int TStepper::group3(uint8_t b) {
  const int size = (b & 1) ? os_ : 1;
  const int sub = (op_[1] >> 3) & 7;
  const int immSize = sub < 2 ? size : 0;
  const bool write = sub == 2 || sub == 3;
  TOperand rm;
  int len;
  uint32_t ea;
  if (int s = modrm(op_ + 1, len, ea, rm, true, write, size, uint32_t(size))) return s;
  const uint32_t original = 1 + uint32_t(len) + uint32_t(immSize);
  if (int s = gate((rm.mem ? 6 : 2) + uint32_t(immSize), original)) return s;
  const uint32_t src = readOp(rm, size);
  switch (sub) {
    case 0:
    case 1: aluLogic(src & imm(op_ + 1 + len, immSize), size, R.EFLAGS); break;
    case 2: writeOp(rm, size, ~src); break;
    case 3: writeOp(rm, size, aluNeg(src, size, R.EFLAGS)); break;
    case 4:
    case 5: {
      uint32_t lo, hi;
      aluMul(getReg(0, size), src, size, sub == 5, lo, hi, R.EFLAGS);
      if (size == 1) {
        setReg(0, 2, lo | (hi << 8));
      } else {
        setReg(0, size, lo);
        setReg(2, size, hi);
      }
      break;
    }
    default: {
      const uint32_t lo = size == 1 ? R.EAX & 0xFF : getReg(0, size);
      const uint32_t hi = size == 1 ? (R.EAX >> 8) & 0xFF : getReg(2, size);
      uint32_t q, rem;
      if (!aluDiv(lo, hi, src, size, sub == 7, q, rem)) {
        // A divide error: refused like an exception, so the program's own
        // handler can be offered; nothing of the division is kept.
        accessCount_ = 0;
        R.exceptionPending = 1;
        return TRACE_EXCEPTION;
      }
      if (size == 1) {
        setReg(0, 2, q | (rem << 8));
      } else {
        setReg(0, size, q);
        setReg(2, size, rem);
      }
      break;
    }
  }
  return finish(original, nextEip(original), TRACE_OK);
}

int TStepper::simpleModrm(uint8_t b) {
  int size = (b & 1) ? os_ : 1;
  bool write = false;
  int immSize = 0;
  uint32_t reportSize = uint32_t(size);
  switch (b) {
    case 0x69:
      size = os_;
      immSize = os_;
      reportSize = uint32_t(os_);
      break;
    case 0x6B:
      size = os_;
      immSize = 1;
      reportSize = uint32_t(os_);
      break;
    case 0x86:
    case 0x87:
    case 0x88:
    case 0x89: write = true; break;
    case 0xC6:
    case 0xC7:
      if ((op_[1] >> 3) & 7) return TRACE_NOT_SUPPORTED;
      write = true;
      immSize = size;
      break;
    case 0x8D:
      if ((op_[1] >> 6) == 3) return TRACE_ILLEGAL_COMMAND;
      break;
    default: break;
  }
  TOperand rm;
  int len;
  uint32_t ea;
  if (int s = modrm(op_ + 1, len, ea, rm, b != 0x8D, write, size, reportSize)) return s;
  const uint32_t original = 1 + uint32_t(len) + uint32_t(immSize);
  const uint32_t rewritten = b == 0x8D ? original : (rm.mem ? 6 : 2) + uint32_t(immSize);
  if (int s = gate(rewritten, original)) return s;
  const int r = (op_[1] >> 3) & 7;
  switch (b) {
    case 0x69:
    case 0x6B: {
      uint32_t v = imm(op_ + 1 + len, immSize);
      if (b == 0x6B) v = uint32_t(int32_t(int8_t(v)));
      setReg(r, size, aluImulTruncated(readOp(rm, size), v, size, R.EFLAGS));
      break;
    }
    case 0x84:
    case 0x85: aluLogic(readOp(rm, size) & getReg(r, size), size, R.EFLAGS); break;
    case 0x86:
    case 0x87: {
      const uint32_t t = readOp(rm, size);
      writeOp(rm, size, getReg(r, size));
      setReg(r, size, t);
      break;
    }
    case 0x88:
    case 0x89: writeOp(rm, size, getReg(r, size)); break;
    case 0x8A:
    case 0x8B: setReg(r, size, readOp(rm, size)); break;
    case 0x8D: setReg(r, os_, as_ == 2 ? ea & 0xFFFF : ea); break;
    default:  // C6, C7
      writeOp(rm, size, imm(op_ + 1 + len, immSize));
      break;
  }
  return finish(original, nextEip(original), TRACE_OK);
}

int TStepper::groupFF(uint8_t b) {
  const int sub = (op_[1] >> 3) & 7;
  const bool isReg = (op_[1] >> 6) == 3;
  if (b == 0xFE && sub > 1) return TRACE_NOT_SUPPORTED;
  if (sub <= 1) {
    const int size = b == 0xFE ? 1 : os_;
    TOperand rm;
    int len;
    uint32_t ea;
    if (int s = modrm(op_ + 1, len, ea, rm, true, true, size, uint32_t(size))) return s;
    if (int s = gate(rm.mem ? 6 : 2, 1 + uint32_t(len))) return s;
    const uint32_t v = readOp(rm, size);
    writeOp(rm, size, sub == 0 ? aluInc(v, size, R.EFLAGS) : aluDec(v, size, R.EFLAGS));
    return finish(1 + uint32_t(len), nextEip(1 + uint32_t(len)), TRACE_OK);
  }
  if (sub == 2 && isReg) return callTo(2, getReg(op_[1] & 7, os_));
  if (sub == 4 && isReg) return jumpTo(2, getReg(op_[1] & 7, os_));
  if (sub == 2) {
    if (!R.inStack(R.ESP - 4)) return TRACE_ILLEGAL_STACK;
    TOperand rm;
    int len;
    uint32_t ea;
    if (int s = modrm(op_ + 1, len, ea, rm, false, false, 4, 4)) return s;
    return callImport(1 + uint32_t(len), ea);
  }
  if (sub == 6) {
    TOperand rm;
    int len;
    uint32_t ea;
    if (int s = modrm(op_ + 1, len, ea, rm, true, false, os_, uint32_t(os_))) return s;
    return pushValue(1 + uint32_t(len), readOp(rm, os_), os_, rm.mem ? 6 : 2);
  }
  return TRACE_NOT_SUPPORTED;
}

int TStepper::twoByte() {
  const uint8_t b = op_[1];
  if (b >= 0x80 && b <= 0x8F) {
    const uint32_t len = 2 + uint32_t(os_);
    if (!bytesPresent(op_, len)) return TRACE_OVERLAPS_END;
    const int32_t disp = os_ == 2 ? int16_t(readLe16(op_ + 2)) : int32_t(readLe32(op_ + 2));
    return relativeBranch(len, disp, R.conditionTrue(b & 15));
  }
  if (b >= 0xC8 && b <= 0xCF) {  // BSWAP
    if (int s = gate(2, 2)) return s;
    const int r = b & 7;
    if (os_ == 4)
      R.reg[r] = __builtin_bswap32(R.reg[r]);
    else
      setReg(r, 2, 0);  // the 16-bit form has no defined result; the low word is cleared
    return finish(2, nextEip(2), TRACE_OK);
  }
  if (b == 0x31) {  // RDTSC
    if (int s = gate(2, 2)) return s;
    TTscCounter& tsc = env_.tsc ? *env_.tsc : processTscCounter();
    tsc.advance();
    R.EAX = tsc.low;
    R.EDX = tsc.high;
    return finish(2, nextEip(2), TRACE_RDTSC);
  }
  const bool setcc = b >= 0x90 && b <= 0x9F;
  if (!setcc && b != 0xAF && b != 0xB6 && b != 0xB7 && b != 0xBE && b != 0xBF)
    return TRACE_NOT_SUPPORTED;
  const int srcSize = setcc ? 1 : (b == 0xB6 || b == 0xBE) ? 1 : (b == 0xB7 || b == 0xBF) ? 2 : os_;
  TOperand rm;
  int len;
  uint32_t ea;
  if (int s = modrm(op_ + 2, len, ea, rm, true, setcc, srcSize, setcc ? 1 : uint32_t(os_)))
    return s;
  const uint32_t original = 2 + uint32_t(len);
  if (int s = gate(rm.mem ? 7 : 3, original)) return s;
  const int r = (op_[2] >> 3) & 7;
  if (setcc) {
    writeOp(rm, 1, R.conditionTrue(b & 15) ? 1 : 0);
  } else if (b == 0xAF) {
    setReg(r, os_, aluImulTruncated(getReg(r, os_), readOp(rm, os_), os_, R.EFLAGS));
  } else {
    uint32_t v = readOp(rm, srcSize);
    if (b >= 0xBE) v = uint32_t(aluSignExtend(v, srcSize));
    setReg(r, os_, v);
  }
  return finish(original, nextEip(original), TRACE_OK);
}

int TStepper::pushValue(uint32_t len, uint32_t value, int size, uint32_t rewritten) {
  uint8_t* slot;
  if (int s = mapStackSlot(R.ESP - 4, true, slot)) return s;
  if (int s = gate(rewritten, len)) return s;
  // The slot is the dword below ESP; a word push fills its upper half.
  storeMem(slot + (4 - size), size, value);
  R.ESP -= uint32_t(size);
  return finish(len, nextEip(len), TRACE_OK);
}

int TStepper::popRegister(int r) {
  uint8_t* slot;
  if (int s = mapStackSlot(R.ESP, false, slot)) return s;
  if (int s = gate(1, 1)) return s;
  const uint32_t v = loadMem(slot, os_);
  R.ESP += uint32_t(os_);
  setReg(r, os_, v);
  return finish(1, nextEip(1), TRACE_OK);
}

int TStepper::popFlags() {
  uint8_t* slot;
  if (int s = mapStackSlot(R.ESP, false, slot)) return s;
  if (int s = gate(1, 1)) return s;
  uint32_t v = loadMem(slot, os_);
  if (v & EFL_TF) {
    // Single-stepping cannot be traced: the flag is taken out of the value
    // and the step ends as an exception.
    v &= ~EFL_TF;
    storeMem(slot, os_, v);
    R.exceptionPending = 1;
  }
  const uint32_t m = os_ == 2 ? kPopfMask16 : kPopfMask32;
  R.EFLAGS = ((R.EFLAGS & ~m & ~kRf) | (v & m)) | 0x2;
  R.ESP += uint32_t(os_);
  return finish(1, nextEip(1), TRACE_OK);
}

int TStepper::popMemory() {
  if ((op_[1] >> 3) & 7) return TRACE_NOT_SUPPORTED;
  uint8_t* slot;
  if (int s = mapStackSlot(R.ESP, false, slot)) return s;
  // An ESP-based destination is addressed after the pop.
  TOperand rm;
  int len;
  uint32_t ea;
  if (int s = modrm(op_ + 1, len, ea, rm, true, true, os_, uint32_t(os_), uint32_t(os_))) return s;
  if (int s = gate(rm.mem ? 6 : 2, 1 + uint32_t(len))) return s;
  const uint32_t v = loadMem(slot, os_);
  R.ESP += uint32_t(os_);
  writeOp(rm, os_, v);
  return finish(1 + uint32_t(len), nextEip(1 + uint32_t(len)), TRACE_OK);
}

int TStepper::stringOp(uint8_t b) {
  const int size = (b & 1) ? os_ : 1;
  const uint8_t kind = b & 0xFE;  // A4 MOVS, A6 CMPS, AA STOS, AC LODS, AE SCAS
  if (rep_ != REP_NONE && R.ECX == 0) return finish(1, nextEip(1), TRACE_OK);
  const bool useEdi = kind != 0xAC;
  const bool useEsi = kind == 0xA4 || kind == 0xA6 || kind == 0xAC;
  uint8_t* di = nullptr;
  uint8_t* si = nullptr;
  if (useEdi) {
    if (int s = mapStringPointer(R.EDI, kind == 0xA4 || kind == 0xAA, size, di)) return s;
  }
  if (useEsi) {
    if (int s = mapStringPointer(R.ESI, false, size, si)) return s;
  }
  if (int s = gate(1, 1)) return s;
  const uint32_t step = (R.EFLAGS & EFL_DF) ? uint32_t(-size) : uint32_t(size);
  switch (kind) {
    case 0xA4: storeMem(di, size, loadMem(si, size)); break;
    case 0xA6: aluSub(loadMem(si, size), loadMem(di, size), 0, size, R.EFLAGS); break;
    case 0xAA: storeMem(di, size, getReg(0, size)); break;
    case 0xAC: setReg(0, size, loadMem(si, size)); break;
    default: aluSub(getReg(0, size), loadMem(di, size), 0, size, R.EFLAGS); break;
  }
  if (useEdi) R.EDI += step;
  if (useEsi) R.ESI += step;
  bool again = false;
  if (rep_ != REP_NONE) {
    --R.ECX;
    again = R.ECX != 0;
    if (kind == 0xA6 || kind == 0xAE)
      again = again && (rep_ == REP_NE ? !(R.EFLAGS & EFL_ZF) : (R.EFLAGS & EFL_ZF) != 0);
  }
  return finish(1, again ? R.EIP : nextEip(1), TRACE_OK);
}

int TStepper::moffs(uint8_t b) {
  const int size = (b & 1) ? os_ : 1;
  const bool write = b >= 0xA2;
  if (!bytesPresent(op_ + 1, uint32_t(as_))) return TRACE_ILLEGAL_ADDRESS;
  const uint32_t a = as_ == 2 ? readLe16(op_ + 1) : readLe32(op_ + 1);
  TOperand m;
  if (int s = mapAddress(a, write, size, uint32_t(size), m)) return s;
  const uint32_t original = 1 + uint32_t(as_);
  if (int s = gate(5, original)) return s;
  if (write)
    storeMem(m.mem, size, getReg(0, size));
  else
    setReg(0, size, loadMem(m.mem, size));
  return finish(original, nextEip(original), TRACE_OK);
}

int TStepper::relativeBranch(uint32_t len, int32_t disp, bool taken) {
  if (!bytesPresent(op_, len)) return TRACE_OVERLAPS_END;
  const uint32_t next = nextEip(len);
  if (!taken) return finish(len, next, TRACE_OK);
  const uint32_t target = next + uint32_t(disp);
  if (image_.memoryToFileOffset(target) == NOT_IN_FILE) return TRACE_ILLEGAL_ADDRESS;
  env_.history.pushReturn(RK_JUMP, fo_);
  return finish(len, target, TRACE_OK);
}

int TStepper::jumpTo(uint32_t len, uint32_t target) {
  if (!bytesPresent(op_, len)) return TRACE_OVERLAPS_END;
  if (image_.memoryToFileOffset(target) == NOT_IN_FILE) return TRACE_ILLEGAL_ADDRESS;
  env_.history.pushReturn(RK_JUMP, fo_);
  return finish(len, target, TRACE_OK);
}

int TStepper::callTo(uint32_t len, uint32_t target) {
  if (!bytesPresent(op_, len)) return TRACE_OVERLAPS_END;
  if (!R.inStack(R.ESP - 4)) return TRACE_ILLEGAL_STACK;
  if (image_.memoryToFileOffset(target) == NOT_IN_FILE) return TRACE_ILLEGAL_ADDRESS;
  const uint32_t next = nextEip(len);
  R.push(next);
  env_.history.pushReturn(RK_CALL, image_.memoryToFileOffset(next));
  return finish(len, target, TRACE_OK);
}

int TStepper::callImport(uint32_t len, uint32_t slot) {
  char module[kMaxNameChars + 1];
  char function[kMaxNameChars + 1];
  if (!image_.lookupImportSlot(slot, module, sizeof module, function, sizeof function))
    return TRACE_NOT_SUPPORTED;
  if (strcasecmp(module, "kernel32.dll") != 0) return TRACE_NOT_SUPPORTED;
  const bool byName = std::strcmp(function, "LoadLibraryA") == 0 ||
                      std::strcmp(function, "GetModuleHandleA") == 0;
  const bool procAddress = std::strcmp(function, "GetProcAddress") == 0;
  if (!byName && !procAddress) return TRACE_NOT_SUPPORTED;
  uint32_t sp = R.ESP;
  uint32_t handle = 0;
  if (procAddress) {
    handle = R.readStack(sp - R.stackBase);
    sp += 4;
  }
  const uint32_t namePointer = R.readStack(sp - R.stackBase);
  sp += 4;
  const uint32_t nameOffset = image_.memoryToFileOffset(namePointer);
  if (nameOffset == NOT_IN_FILE || nameOffset >= fileSize_) return TRACE_ILLEGAL_ADDRESS;
  if (!bytesPresent(op_, len)) return TRACE_OVERLAPS_END;
  char name[kMaxNameChars + 1];
  copyBoundedText(buf_, fileSize_, nameOffset, name, sizeof name, kMaxNameChars);
  R.EAX = procAddress ? image_.findOrAddFunction(handle, name) : image_.findOrAddModule(name, 1);
  R.ESP = sp;
  return finish(len, nextEip(len), TRACE_OK);
}

int TStepper::ret(uint32_t len, uint32_t extra) {
  if (!R.inStack(R.ESP)) return TRACE_ILLEGAL_STACK;
  const uint32_t r = R.readStack(R.ESP - R.stackBase);
  if (r == TFixedRegs::HANDLER_RETURN) {
    R.ESP += 4;
    R.returnFromExceptionHandler(env_);
    return R.exceptionPending ? TRACE_EXCEPTION : TRACE_OK;
  }
  if (r == TFixedRegs::TLS_RETURN) {
    const uint32_t count = image_.tlsCallbackCount();
    if (R.tlsIndex >= 0 && uint32_t(R.tlsIndex) + 1 < count) {
      if (env_.host.message("Do you wish to execute the next TLS callback?",
                            "TLS callback returns...", MsgIcon::Question,
                            MsgButtons::YesNo) == MsgAnswer::Yes)
        R.setupTlsCallback(uint32_t(R.tlsIndex) + 1, image_);
    } else if (env_.host.message("Do you wish to execute the programm entrypoint?",
                                 "TLS callback returns...", MsgIcon::Question,
                                 MsgButtons::YesNo) == MsgAnswer::Yes) {
      R.setupEntryPoint(image_);
    }
    return TRACE_OK;
  }
  const uint32_t target = image_.memoryToFileOffset(r);
  if (target == NOT_IN_FILE) return TRACE_ILLEGAL_ADDRESS;
  R.ESP += 4 + extra;
  if (!env_.history.popReturnsTo(target)) env_.history.pushReturn(RK_RET, fo_);
  return finish(len, r, TRACE_OK);
}

}  // namespace

const char* traceStatusMessage(int status) {
  return status >= 0 && status < kTraceStatusCount ? kStatusMessages[status] : "";
}

TTscCounter& processTscCounter() {
  static TTscCounter counter;
  return counter;
}

int TFixedRegs::traceOneCommand(TTraceEnvironment& env, bool manualStep) {
  TStepper stepper(*this, env, manualStep);
  return stepper.run();
}

bool TFixedRegs::conditionTrue(uint32_t cc) const {
  const uint32_t f = EFLAGS;
  const bool cf = f & EFL_CF, zf = f & EFL_ZF, sf = f & EFL_SF, of = f & EFL_OF, pf = f & EFL_PF;
  bool r;
  switch ((cc >> 1) & 7) {
    case 0: r = of; break;
    case 1: r = cf; break;
    case 2: r = zf; break;
    case 3: r = cf || zf; break;
    case 4: r = sf; break;
    case 5: r = pf; break;
    case 6: r = sf != of; break;
    default: r = zf || sf != of; break;
  }
  return (cc & 1) ? !r : r;
}

bool TFixedRegs::exceptionHandler(const TImageInfo& image, uint32_t& handler) const {
  if (exceptionList == NO_EXCEPTION_LIST) return false;
  const uint32_t field = exceptionList + 4;
  if (inStack(exceptionList)) {
    handler = readStack(field - stackBase);
  } else {
    const uint32_t f = image.memoryToFileOffset(field);
    if (f == NOT_IN_FILE || !image.buffer() || uint64_t(f) + 4 > image.fileSize()) return false;
    handler = readLe32(image.buffer() + f);
  }
  return inStack(handler) || image.memoryToFileOffset(handler) != NOT_IN_FILE;
}

bool TFixedRegs::hasExceptionHandler(const TImageInfo& image) const {
  uint32_t handler;
  return exceptionHandler(image, handler);
}

namespace {
// The access-violation context the dispatcher hands to a handler: the
// fixed fields of its first 204 bytes, by byte offset.
constexpr uint32_t kContextBytes = 204;
constexpr uint32_t kContextFull = 716;
}  // namespace

void TFixedRegs::enterExceptionHandler(TTraceEnvironment& env) {
  TImageInfo& image = env.image;
  uint32_t handler;
  if (!exceptionHandler(image, handler)) return;
  const uint32_t e0 = ESP;
  uint32_t address = EIP;
  if (env.tracePoint != NOT_IN_FILE) {
    const uint32_t m = image.fileOffsetToMemory(env.tracePoint);
    if (m != NOT_IN_FILE) address = m;
  }

  const uint32_t record[7] = {0xC0000005u, 0, 0, address, 2, faultWrite, faultAddress};

  uint8_t context[kContextFull] = {};
  auto put = [&](uint32_t at, uint32_t v) { writeLe32(context + at, v); };
  put(0x00, 0x1003F);
  put(0x1C, 0xFFFF1372u);  // floating-point control word
  put(0x20, 0xFFFF0000u);  // status word
  put(0x24, 0xFFFFFFFFu);  // tag word
  put(0x28, 0x6C2346A9u);  // error offset
  put(0x2C, 0x045D001Bu);  // error selector
  put(0x30, 0x0006F850u);  // data offset
  put(0x34, 0xFFFF0023u);  // data selector
  put(0x88, 0x0A);         // Cr0NpxState
  put(0x8C, 0);            // GS
  put(0x90, 0x38);         // FS
  put(0x94, 0x23);         // ES
  put(0x98, 0x23);         // DS
  put(0x9C, EDI);
  put(0xA0, ESI);
  put(0xA4, EBX);
  put(0xA8, EDX);
  put(0xAC, ECX);
  put(0xB0, EAX);
  put(0xB4, EBP);
  put(0xB8, address);
  put(0xBC, 0x1B);  // CS
  put(0xC0, EFLAGS);
  put(0xC4, ESP);
  put(0xC8, 0x23);  // SS

  for (uint32_t at = kContextBytes; at > 0; at -= 4) push(readLe32(context + at - 4));
  const uint32_t c = ESP;
  for (int i = 6; i >= 0; --i) push(record[i]);
  const uint32_t x = ESP;

  push(c);
  push(x);
  push(c);
  push(x);
  push(0x7789FF6Eu);
  push(EBP);
  const uint32_t f = ESP;
  push(0);
  push(stackBase);
  push(stackBase + STACK_SIZE);
  push(0x77881F00u);
  const uint32_t d = ESP;
  ESP -= 0x50;
  push(ESP + 0x7F);
  push(ESI);
  push(EDI);
  push(handler);
  push(d);
  push(c);
  push(exceptionList);
  push(x);
  push(0x77896C42u);
  push(f);
  push(exceptionList);
  push(0x77896DAEu);
  push(exceptionList);
  push(d);
  push(c);
  push(exceptionList);
  push(x);
  push(HANDLER_RETURN);

  EIP = handler;
  EAX = d;
  ECX = handler;
  EDX = 0x77896DAEu;
  EBX = e0;
  ESI = x;
  EBP = ESP + 0x20;
  exceptionPending = 0;
  faultAddress = 0;
  faultWrite = 0;
}

void TFixedRegs::returnFromExceptionHandler(TTraceEnvironment& env) {
  const uint32_t x = pop();
  const uint32_t f = pop();
  const uint32_t c = pop();
  pop();
  if (!inStack(x) || !inStack(f) || !inStack(c)) {
    env.host.message("Stack parameters corrupted! Please tell us about it!",
                     "TFixedRegs::returnFromExceptionHandler()", MsgIcon::Exclamation,
                     MsgButtons::Ok);
    return;
  }
  ESP += 0x144;
  auto field = [&](uint32_t at) { return readStack(c + at - stackBase); };
  const uint32_t flags = field(0x00);
  if (!(flags & 0x10000u) && !(flags & 0x1u)) {
    env.host.message("Control context stuff not used! Please tell us about it!",
                     "TFixedRegs::returnFromExceptionHandler()", MsgIcon::Exclamation,
                     MsgButtons::Ok);
    return;
  }
  const uint32_t newEsp = field(0xC4);
  const uint32_t newEip = field(0xB8);
  const uint32_t newFlags = field(0xC0);
  const uint32_t newEbp = field(0xB4);
  if ((flags & 0x2u) || (flags & 0x10000u)) {
    EDI = field(0x9C);
    ESI = field(0xA0);
    EBX = field(0xA4);
    EDX = field(0xA8);
    ECX = field(0xAC);
    EAX = field(0xB0);
  }
  ESP = newEsp;
  EIP = newEip;
  EFLAGS = newFlags;
  EBP = newEbp;
}
