#include "tracer/fixed_regs.h"

#include <algorithm>
#include <cstring>

#include "base/le_read.h"
#include "image/image_info.h"

namespace {

// Sequential little-endian reader that never passes the end of its data.
class TRecordReader {
 public:
  TRecordReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool bytes(void* out, size_t n) {
    if (n > size_ - pos_) return false;
    std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
  }
  bool skip(size_t n) {
    if (n > size_ - pos_) return false;
    pos_ += n;
    return true;
  }
  bool u8(uint8_t& v) { return bytes(&v, 1); }
  bool u16(uint16_t& v) {
    uint8_t b[2];
    if (!bytes(b, 2)) return false;
    v = readLe16(b);
    return true;
  }
  bool u32(uint32_t& v) {
    uint8_t b[4];
    if (!bytes(b, 4)) return false;
    v = readLe32(b);
    return true;
  }
  size_t pos() const { return pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

TFixedRegs::TFixedRegs() : reg{}, sreg{}, stack(new uint8_t[STACK_SIZE]()) {}

TFixedRegs::TFixedRegs(const TFixedRegs& other) : reg{}, sreg{}, stack(new uint8_t[STACK_SIZE]) {
  *this = other;
}

TFixedRegs& TFixedRegs::operator=(const TFixedRegs& other) {
  if (this == &other) return *this;
  fixed8 = other.fixed8;
  fixed16 = other.fixed16;
  fixed32 = other.fixed32;
  std::memcpy(reg, other.reg, sizeof reg);
  fixedSegs = other.fixedSegs;
  std::memcpy(sreg, other.sreg, sizeof sreg);
  EFLAGS = other.EFLAGS;
  exceptionPending = other.exceptionPending;
  EIP = other.EIP;
  std::memcpy(stack.get(), other.stack.get(), STACK_SIZE);
  stackBase = other.stackBase;
  exceptionList = other.exceptionList;
  ignoreAlteredCode = other.ignoreAlteredCode;
  fsScratch = other.fsScratch;
  tlsIndex = other.tlsIndex;
  traceVis = other.traceVis;
  breakPoints = other.breakPoints;
  faultAddress = other.faultAddress;
  faultWrite = other.faultWrite;
  return *this;
}

uint32_t TFixedRegs::readStack(uint32_t offset) const {
  if (offset >= STACK_SIZE - 3) return 0;
  return readLe32(stack.get() + offset);
}

void TFixedRegs::writeStack(uint32_t offset, uint32_t value) {
  if (offset >= STACK_SIZE - 3) return;
  writeLe32(stack.get() + offset, value);
}

void TFixedRegs::resetStackArea(const TImageInfo& image) {
  for (uint32_t i = 0; i < STACK_SIZE; ++i) stack[i] = static_cast<uint8_t>(i);
  stackBase = image.imageBase() + image.highestSectionEnd() + 0x400000u;
  exceptionList = NO_EXCEPTION_LIST;
  faultAddress = 0;
  faultWrite = 0;
  ESP = stackBase + STACK_SIZE;
}

void TFixedRegs::setupEntryPoint(const TImageInfo& image) {
  tlsIndex = static_cast<int32_t>(image.tlsCallbackCount());
  std::fill(std::begin(reg), std::end(reg), 0u);
  fixed8 = fixed16 = fixed32 = fixedSegs = 0;
  std::fill(std::begin(sreg), std::end(sreg), uint16_t(0));
  EFLAGS = 0x246;
  exceptionPending = 0;
  resetStackArea(image);
  EIP = image.entryMemoryAddress();
  CS = image.mzInitialCS();
  EAX = 0;
  EBX = 0x7FFDF000u;
  ECX = 0x00010101u;
  EDX = 0xFFFFFFFFu;
  ESI = ESP - 0xE40;
  EDI = ESP + 0x5078;
  EBP = ESP - 0x10;
  // The stack the operating system's process start leaves behind.
  push(0);
  push(EIP);
  push(0);
  push(0);
  push(0);
  push(0x77E72B18u);
  push(0x77EC1F44u);
  push(0xFFFFFFFFu);
  push(1);
  push(ESP - 0x14);
  push(1);
  push(EBX);
  push(ESI);
  push(EDI);
  push(ENTRY_RETURN);
}

void TFixedRegs::setupTlsCallback(uint32_t n, const TImageInfo& image) {
  tlsIndex = static_cast<int32_t>(n);
  std::fill(std::begin(reg), std::end(reg), 0u);
  fixed8 = fixed16 = fixed32 = fixedSegs = 0;
  std::fill(std::begin(sreg), std::end(sreg), uint16_t(0));
  exceptionPending = 0;
  EFLAGS = 0x46;
  const bool exists = n < image.tlsCallbackCount();
  EIP = image.fileOffsetToMemory(exists ? image.tlsCallbackOffset(n) : NOT_IN_FILE);
  EAX = EIP;
  ECX = 0x18;
  EDI = image.imageBase();
  resetStackArea(image);
  push(0x12345678u);
  EBP = ESP;
  push(image.fileOffsetToMemory(exists ? image.tlsNextSlotOffset(n) : NOT_IN_FILE));
  push(EDI);
  push(0);
  ESI = ESP;
  push(0);
  push(1);  // DLL_PROCESS_ATTACH
  push(EDI);
  push(TLS_RETURN);
}

void TFixedRegs::setupDefault(const TImageInfo& image, bool startAtTlsCallback) {
  if (startAtTlsCallback && image.tlsCallbackCount() > 0)
    setupTlsCallback(0, image);
  else
    setupEntryPoint(image);
}

uint16_t TFixedRegs::fixedSegment(char letter) const {
  switch (letter) {
    case 'c': return (fixedSegs & 0x01) ? CS : 0;
    case 'd': return (fixedSegs & 0x02) ? DS : 0;
    case 'e': return (fixedSegs & 0x04) ? ES : 0;
    case 's': return (fixedSegs & 0x08) ? SS : 0;
    case 'f': return (fixedSegs & 0x10) ? FS : 0;
    case 'g': return (fixedSegs & 0x20) ? GS : 0;
    default: return 0;
  }
}

TFixedRegView TFixedRegs::fixedRegView() const {
  TFixedRegView v{};
  v.mask[0] = fixed8;
  v.mask[1] = fixed16;
  v.mask[2] = fixed32;
  std::memcpy(v.value, reg, sizeof v.value);
  return v;
}

namespace {
auto breakPointLess = [](const TBreakPoint& b, uint32_t offset) { return b.offset < offset; };
}

void TFixedRegs::toggleBreakPoint(uint32_t fileOffset) {
  auto it = std::lower_bound(breakPoints.begin(), breakPoints.end(), fileOffset, breakPointLess);
  if (it != breakPoints.end() && it->offset == fileOffset)
    breakPoints.erase(it);
  else
    breakPoints.insert(it, TBreakPoint{fileOffset, 0});
}

bool TFixedRegs::isBreakPoint(uint32_t fileOffset) const {
  auto it = std::lower_bound(breakPoints.begin(), breakPoints.end(), fileOffset, breakPointLess);
  return it != breakPoints.end() && it->offset == fileOffset;
}

void TFixedRegs::recordFault(uint32_t address, bool isWrite, const TImageInfo& image) {
  faultAddress = address > image.imageBase() ? address - image.imageBase() : address;
  faultWrite = isWrite ? 1 : 0;
}

bool TFixedRegs::save(std::vector<uint8_t>& out) const {
  out.reserve(out.size() + 100 + STACK_SIZE + 8 * breakPoints.size());
  out.push_back(fixed8);
  out.push_back(fixed16);
  out.push_back(fixed32);
  for (uint32_t r : reg) appendLe32(out, r);
  out.push_back(fixedSegs);
  for (uint16_t s : sreg) appendLe16(out, s);
  appendLe32(out, EFLAGS);
  out.push_back(exceptionPending);
  appendLe32(out, EIP);
  appendLe32(out, STACK_SIZE);
  out.insert(out.end(), stack.get(), stack.get() + STACK_SIZE);
  appendLe32(out, stackBase);
  appendLe32(out, exceptionList);
  appendLe32(out, static_cast<uint32_t>(tlsIndex));
  appendLe32(out, static_cast<uint32_t>(breakPoints.size()));
  for (const TBreakPoint& b : breakPoints) {
    appendLe32(out, b.offset);
    appendLe32(out, 0);
  }
  appendLe32(out, faultAddress);
  appendLe32(out, faultWrite);
  return true;
}

bool TFixedRegs::load(const uint8_t* data, size_t size, uint16_t projectVersion, size_t* consumed) {
  TRecordReader in(data, size);
  auto done = [&](bool ok) {
    if (consumed) *consumed = in.pos();
    return ok;
  };
  if (!in.u8(fixed8) || !in.u8(fixed16) || !in.u8(fixed32)) return done(false);
  if (projectVersion < 230) {
    // Old records carry one more mark byte here, which is no longer used.
    if (!in.skip(1)) return done(false);
    for (uint32_t& r : reg)
      if (!in.u32(r)) return done(false);
    return done(true);
  }
  for (uint32_t& r : reg)
    if (!in.u32(r)) return done(false);
  if (!in.u8(fixedSegs)) return done(false);
  for (uint16_t& s : sreg)
    if (!in.u16(s)) return done(false);
  if (!in.u32(EFLAGS) || !in.u8(exceptionPending) || !in.u32(EIP)) return done(false);
  uint32_t stackSize = 0;
  if (!in.u32(stackSize)) return done(false);
  const uint32_t kept = std::min(stackSize, STACK_SIZE);
  if (!in.bytes(stack.get(), kept) || !in.skip(stackSize - kept)) return done(false);
  uint32_t tls = 0, count = 0;
  if (!in.u32(stackBase) || !in.u32(exceptionList) || !in.u32(tls)) return done(false);
  tlsIndex = static_cast<int32_t>(tls);
  if (!in.u32(count)) return done(false);
  breakPoints.clear();
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t offset = 0, unused = 0;
    if (!in.u32(offset) || !in.u32(unused)) return done(false);
    auto it = std::lower_bound(breakPoints.begin(), breakPoints.end(), offset, breakPointLess);
    if (it == breakPoints.end() || it->offset != offset)
      breakPoints.insert(it, TBreakPoint{offset, 0});
  }
  if (projectVersion >= 235) {
    if (!in.u32(faultAddress) || !in.u32(faultWrite)) return done(false);
  } else {
    faultAddress = 0;
    faultWrite = 0;
  }
  return done(true);
}
