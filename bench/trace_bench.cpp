// Tracer steps per second on a tight counting loop with memory operands:
//   401000  add dword [402000],1
//   401007  mov eax,[402000]
//   40100C  add [ebx+4],eax
//   40100F  push eax / pop edx
//   401011  dec ecx
//   401012  jnz 401000
// with a visualisation sink attached that counts every report, and without.
#include <benchmark/benchmark.h>

#include <vector>

#include "analysis/return_manager.h"
#include "base/host.h"
#include "image/image_info.h"
#include "support/pe_builder.h"
#include "tracer/fixed_regs.h"

namespace {

// A PE with .text at 0x401000 (file 0x400) and .data at 0x402000 (file 0x600).
std::vector<uint8_t> loopImage() {
  TPeBuilder pe;
  pe.mzHeaderParagraphs = 0;
  pe.addSection(".text", 0x1000, 0x200, 0x200, 0xE0000060);
  pe.addSection(".data", 0x2000, 0x200, 0x200, 0xE0000060);
  pe.putBytes(0x1000, {0x83, 0x05, 0x00, 0x20, 0x40, 0x00, 0x01,  // add dword [402000],1
                       0xA1, 0x00, 0x20, 0x40, 0x00,              // mov eax,[402000]
                       0x01, 0x43, 0x04,                          // add [ebx+4],eax
                       0x50, 0x5A,                                // push eax; pop edx
                       0x49,                                      // dec ecx
                       0x75, 0xEC});                              // jnz 401000
  std::vector<uint8_t> f = pe.build();
  f.resize(f.size() + 16, 0);
  return f;
}

class TCountingSink : public TTraceVisSink {
 public:
  void incExecuted(uint32_t, uint32_t length) override { executed += length; }
  void setMemoryAccessed(uint32_t, bool isWrite, uint32_t size) override {
    (isWrite ? written : read) += size;
  }
  bool wasWrittenOrRead(uint32_t, uint32_t, uint32_t) override { return false; }
  uint64_t executed = 0, read = 0, written = 0;
};

void runLoop(benchmark::State& state, bool withSink) {
  std::vector<uint8_t> file = loopImage();
  const uint32_t size = uint32_t(file.size() - 16);
  SilentHost host;
  TImageInfo image;
  image.parseImage(file.data(), size, "loop.exe");
  TReturnManager history(host);
  TCountingSink sink;
  TTraceEnvironment env{file.data(), size, image, history, host};
  if (withSink) env.vis = &sink;
  TFixedRegs regs;
  regs.setupEntryPoint(image);
  regs.EBX = 0x402000;
  regs.ECX = 0xFFFFFFFFu;
  uint64_t steps = 0;
  for (auto _ : state) {
    // Continuous tracing: every step after the first is not a manual one.
    if (regs.traceOneCommand(env, false) != TRACE_OK || regs.ECX == 0) {
      state.SkipWithError("the loop left its path");
      break;
    }
    ++steps;
  }
  state.SetItemsProcessed(int64_t(steps));
  state.counters["steps/s"] = benchmark::Counter(double(steps), benchmark::Counter::kIsRate);
  if (withSink) state.counters["reportedBytes"] = double(sink.executed + sink.read + sink.written);
}

void BM_TraceLoopWithSink(benchmark::State& state) { runLoop(state, true); }
void BM_TraceLoopNoSink(benchmark::State& state) { runLoop(state, false); }
BENCHMARK(BM_TraceLoopWithSink);
BENCHMARK(BM_TraceLoopNoSink);

}  // namespace

BENCHMARK_MAIN();
