// A traced program for tests: a parsed image, its history, a recording host
// and the tracer state, wired into one environment.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/return_manager.h"
#include "support/parsed_image.h"
#include "support/pe_builder.h"
#include "support/recording_host.h"
#include "tracer/fixed_regs.h"

// Counts what the step reports; remembers written bytes for the altered-code check.
class TCountingVis : public TTraceVisSink {
 public:
  explicit TCountingVis(uint32_t size) : written(size, 0), read(size, 0), executed(size, 0) {}
  void incExecuted(uint32_t offset, uint32_t length) override {
    for (uint32_t i = offset; i < offset + length && i < executed.size(); ++i) ++executed[i];
  }
  void setMemoryAccessed(uint32_t offset, bool isWrite, uint32_t size) override {
    for (uint32_t i = offset; i < offset + size && i < written.size(); ++i)
      ++(isWrite ? written : read)[i];
  }
  bool wasWrittenOrRead(uint32_t offset, uint32_t length, uint32_t) override {
    for (uint32_t i = offset; i < offset + length && i < written.size(); ++i)
      if (written[i]) return true;
    return false;
  }
  std::vector<uint8_t> written, read, executed;
};

class TTraceRig {
 public:
  explicit TTraceRig(const std::vector<uint8_t>& bytes, bool code16 = false)
      : parsed(std::make_unique<TParsedImage>(bytes)),
        history(host),
        env{parsed->bytes(), uint32_t(bytes.size()), parsed->image, history, host} {
    env.code16 = code16;
    env.tsc = &tsc;
    regs.setupEntryPoint(parsed->image);
  }
  int step(bool manual = true) { return regs.traceOneCommand(env, manual); }
  TImageInfo& image() { return parsed->image; }
  uint8_t* file() { return parsed->bytes(); }
  uint32_t fileOffset(uint32_t address) { return image().memoryToFileOffset(address); }
  uint32_t dword(uint32_t address) {
    const uint32_t f = fileOffset(address);
    const uint8_t* p = file() + f;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
  uint32_t stackDword(uint32_t address) { return regs.readStack(address - regs.stackBase); }
  // Writes code at a memory address and points EIP at it.
  void code(uint32_t address, const std::vector<uint8_t>& bytes) {
    const uint32_t f = fileOffset(address);
    for (size_t i = 0; i < bytes.size(); ++i) file()[f + i] = bytes[i];
    regs.EIP = address;
  }

  RecordingHost host;
  std::unique_ptr<TParsedImage> parsed;
  TReturnManager history;
  TTscCounter tsc;
  TFixedRegs regs;
  TTraceEnvironment env;
};

// A small program image: .text at 0x401000 (file 0x400), .data at 0x402000
// (file 0x600, writable), .idata at 0x403000 (file 0x800) importing from
// kernel32.dll LoadLibraryA, GetModuleHandleA, GetProcAddress, ExitProcess and
// from user32.dll MessageBoxA; slot addresses are returned in order.
struct TProgramImage {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> slots;  // LoadLibraryA, GetModuleHandleA, GetProcAddress,
                                // ExitProcess, MessageBoxA
};
TProgramImage buildProgramImage(uint32_t tlsCallbacks = 0);
