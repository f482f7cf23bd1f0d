// The tracer's step on random code, random registers (ESP anywhere), code
// that rewrites itself and corrupt exception-handler chains. Every step must
// end with one of the twelve statuses, and nothing may be read or written
// outside the file image and the private stack: the file buffer is allocated
// to its exact size (plus the 16 zero bytes, which must stay zero) so the
// sanitizers see any stray access.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "analysis/return_manager.h"
#include "base/host.h"
#include "base/le_read.h"
#include "image/image_info.h"
#include "tracer/fixed_regs.h"

namespace {

constexpr uint32_t kFileSize = 0xA00;

// .text 0x401000 (file 0x400), .data 0x402000 (file 0x600), .idata 0x403000
// (file 0x800) with kernel32 LoadLibraryA, GetModuleHandleA, GetProcAddress
// and user32 MessageBoxA; slots at 0x403100.., names in .idata.
void buildImage(uint8_t* f) {
  std::memset(f, 0, kFileSize + 16);
  f[0] = 'M';
  f[1] = 'Z';
  writeLe32(f + 0x3C, 0x80);
  uint8_t* p = f + 0x80;
  std::memcpy(p, "PE\0\0", 4);
  writeLe16(p + 4, 0x14C);
  writeLe16(p + 6, 3);
  writeLe16(p + 0x14, 0xE0);
  writeLe16(p + 0x18, 0x10B);
  writeLe32(p + 0x28, 0x1000);
  writeLe32(p + 0x34, 0x400000);
  writeLe32(p + 0x74, 16);
  writeLe32(p + 0x78 + 8 * 1, 0x3000);  // imports
  writeLe32(p + 0x7C + 8 * 1, 60);
  writeLe32(p + 0x78 + 8 * 9, 0x2100);  // TLS
  writeLe32(p + 0x7C + 8 * 9, 24);
  uint8_t* s = p + 0xF8;
  const struct {
    const char* name;
    uint32_t rva, raw;
  } sections[] = {{".text", 0x1000, 0x400}, {".data", 0x2000, 0x600}, {".idata", 0x3000, 0x800}};
  for (const auto& sec : sections) {
    std::memcpy(s, sec.name, std::strlen(sec.name));
    writeLe32(s + 8, 0x200);
    writeLe32(s + 12, sec.rva);
    writeLe32(s + 16, 0x200);
    writeLe32(s + 20, sec.raw);
    writeLe32(s + 36, 0xE0000060);
    s += 40;
  }
  // Import directory at file 0x800: kernel32 (3 functions), user32 (1).
  auto put = [&](uint32_t rva, uint32_t v) { writeLe32(f + rva - 0x3000 + 0x800, v); };
  auto str = [&](uint32_t rva, const char* t) {
    std::memcpy(f + rva - 0x3000 + 0x800, t, std::strlen(t) + 1);
  };
  str(0x3040, "kernel32.dll");
  str(0x3050, "user32.dll");
  const char* k32[] = {"LoadLibraryA", "GetModuleHandleA", "GetProcAddress"};
  for (int i = 0; i < 3; ++i) {
    str(0x3062 + 0x20 * uint32_t(i), k32[i]);
    put(0x3100 + 4 * uint32_t(i), 0x3060 + 0x20 * uint32_t(i));
    put(0x3140 + 4 * uint32_t(i), 0x3060 + 0x20 * uint32_t(i));
  }
  str(0x30C2, "MessageBoxA");
  put(0x3110, 0x30C0);
  put(0x3150, 0x30C0);
  put(0x3000 + 0, 0x3140);
  put(0x3000 + 12, 0x3040);
  put(0x3000 + 16, 0x3100);
  put(0x3014 + 0, 0x3150);
  put(0x3014 + 12, 0x3050);
  put(0x3014 + 16, 0x3110);
}

class TFuzzHost : public SilentHost {
 public:
  const uint8_t* answers = nullptr;
  size_t count = 0, next = 0;
  MsgAnswer message(std::string_view, std::string_view, MsgIcon,
                    MsgButtons buttons = MsgButtons::Ok) override {
    if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
    const uint8_t a = count ? answers[next++ % count] : 0;
    if (buttons == MsgButtons::YesNoCancel && a % 3 == 2) return MsgAnswer::Cancel;
    return a & 1 ? MsgAnswer::Yes : MsgAnswer::No;
  }
};

class TCheckingVis : public TTraceVisSink {
 public:
  explicit TCheckingVis(uint32_t size) : written(size, 0) {}
  void incExecuted(uint32_t offset, uint32_t length) override {
    if (length == 0 || uint64_t(offset) + length > written.size()) abort();
  }
  void setMemoryAccessed(uint32_t offset, bool isWrite, uint32_t size) override {
    if (offset >= written.size() || size == 0 || size > 4) abort();
    if (isWrite) written[offset] = 1;
  }
  bool wasWrittenOrRead(uint32_t offset, uint32_t length, uint32_t) override {
    for (uint32_t i = offset; i < offset + length && i < written.size(); ++i)
      if (written[i]) return true;
    return false;
  }
  std::vector<uint8_t> written;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 48) return 0;
  uint8_t* file = static_cast<uint8_t*>(std::malloc(kFileSize + 16));
  buildImage(file);
  // The code: up to 0x200 bytes of .text, the rest into .data (which code
  // may also run from and write to).
  const uint8_t* code = data + 48;
  const size_t codeSize = size - 48;
  std::memcpy(file + 0x400, code, codeSize < 0x200 ? codeSize : 0x200);
  if (codeSize > 0x200)
    std::memcpy(file + 0x600, code + 0x200, codeSize - 0x200 < 0x200 ? codeSize - 0x200 : 0x200);

  TFuzzHost host;
  host.answers = data + 40;
  host.count = 8;
  TImageInfo image;
  image.parseImage(file, kFileSize, "fuzz.exe");
  TReturnManager history(host);
  TCheckingVis vis(kFileSize);
  TTscCounter tsc;
  TTraceEnvironment env{file, kFileSize, image, history, host};
  env.tsc = &tsc;
  const uint8_t mode = data[36];
  env.code16 = mode & 1;
  if (mode & 2) env.vis = &vis;

  TFixedRegs regs;
  regs.setupDefault(image, mode & 4);
  for (int i = 0; i < 8; ++i)
    if (i != 4 || (mode & 8)) regs.reg[i] = readLe32(data + 4 * i);
  regs.EFLAGS = (readLe32(data + 32) & 0x0CD5) | 0x202;
  // ESP: inside the stack, in the file, or anywhere.
  switch ((mode >> 4) & 3) {
    case 0: regs.ESP = regs.stackBase + (readLe16(data + 37) & 0x3FFF); break;
    case 1: regs.ESP = 0x402000 + (readLe16(data + 37) & 0x1FF); break;
    default: break;
  }
  // A chain of exception records anywhere, with random contents where they lie.
  if (mode & 0x40) {
    regs.exceptionList = (mode & 0x80) ? regs.stackBase + (data[39] << 6)
                                       : 0x402000 + (data[39] & 0x1F) * 8;
    regs.writeStack(regs.exceptionList + 4 - regs.stackBase, readLe32(data + 24));
  }
  regs.EIP = (data[37] & 0x80) ? 0x402000 + (data[38] & 0x3F) : 0x401000 + (data[38] & 0x3F);
  if (data[37] & 0x40) regs.toggleBreakPoint(image.memoryToFileOffset(regs.EIP) + 2);

  const bool manual = data[36] & 0x80 ? false : true;
  for (int step = 0; step < 256; ++step) {
    const int status = regs.traceOneCommand(env, manual && (step & 1));
    if (status < 0 || status >= kTraceStatusCount) abort();
    for (int i = 0; i < 16; ++i)
      if (file[kFileSize + i] != 0) abort();
    if (status != TRACE_OK && status != TRACE_RDTSC) {
      // As the trace commands do: offer the program's own handler.
      if (status != TRACE_SELF_MODIFIED && regs.hasExceptionHandler(image) && (step & 2)) {
        env.tracePoint = image.memoryToFileOffset(regs.EIP);
        regs.enterExceptionHandler(env);
        continue;
      }
      break;
    }
    // The image is re-parsed as after an edit now and then (self-modifying
    // code may have rewritten headers or import thunks).
    if ((step & 31) == 31) image.parseImage(file, kFileSize, "fuzz.exe");
  }
  std::free(file);
  return 0;
}
