// Assembler speed: every instruction line of the first code section of a
// PE32 file (OXU_BENCH_FILE, default: Debian's i686 libstdc++-6.dll), as the
// decoder prints it, assembled at its address; beside it the decoder's text
// mode on the same instructions, and one call through the bridge, which loads
// libopcode.so for each call as the edit dialog does.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "asm/assembler.h"
#include "bench_support.h"
#include "disasm/decoder.h"
#include "document/assembler_bridge.h"

namespace {

struct TLine {
  uint32_t offset;   // in the file
  uint32_t address;  // as the listing shows it
  std::string text;
};

struct TLines {
  const uint8_t* file = nullptr;
  uint32_t bias = 0;  // file offset minus memory address
  std::vector<TLine> lines;
};

const TLines& lines() {
  static const TLines l = [] {
    const TBenchFile& f = benchFile();
    TLines l;
    l.file = f.bytes.data();
    if (f.code.empty()) return l;
    const auto [begin, end] = f.code.front();
    l.bias = begin - f.image.fileOffsetToMemory(begin);
    char text[400];
    for (const uint8_t* p = f.bytes.data() + begin; p < f.bytes.data() + end;) {
      const uint32_t offset = uint32_t(p - f.bytes.data());
      text[0] = 0;
      decodeInstruction(p, DecodePlain, f.bytes.data(), l.bias, text, sizeof text, false, nullptr,
                        nullptr);
      if (std::strncmp(text, "db ", 3) != 0) l.lines.push_back({offset, offset - l.bias, text});
    }
    return l;
  }();
  return l;
}

void assembleLines(benchmark::State& state) {
  const TLines& l = lines();
  if (l.lines.empty()) {
    state.SkipWithError("no code section");
    return;
  }
  uint8_t out[64];
  size_t count = 0, refused = 0;
  for (auto _ : state) {
    for (const TLine& line : l.lines) {
      const int n = assembleInstruction(line.text.c_str(), line.address, false, out);
      refused += n == 0;
      benchmark::DoNotOptimize(out[0]);
      ++count;
    }
  }
  if (refused) state.SkipWithError("a listed line was refused");
  state.counters["lines"] = benchmark::Counter(double(count), benchmark::Counter::kIsRate);
}

void decodeLines(benchmark::State& state) {
  const TLines& l = lines();
  if (l.lines.empty()) {
    state.SkipWithError("no code section");
    return;
  }
  char text[400];
  size_t count = 0;
  for (auto _ : state) {
    for (const TLine& line : l.lines) {
      const uint8_t* p = l.file + line.offset;
      text[0] = 0;
      decodeInstruction(p, DecodePlain, l.file, l.bias, text, sizeof text, false, nullptr, nullptr);
      benchmark::DoNotOptimize(text[0]);
      ++count;
    }
  }
  state.counters["lines"] = benchmark::Counter(double(count), benchmark::Counter::kIsRate);
}

// One command as the dialog's OK assembles it: the library is loaded, called
// and released.
void bridgeCall(benchmark::State& state) {
  const TAssemblerBridge bridge(OXU_OPCODE_LIBRARY);
  size_t count = 0;
  for (auto _ : state) {
    const TAssemblerBridge::TResult r = bridge.assemble("mov eax,dword ptr [ebp+00000008]",
                                                        0x401000, false);
    if (r.status != TAssemblerBridge::Status::Assembled) {
      state.SkipWithError("libopcode.so cannot be loaded");
      return;
    }
    ++count;
  }
  state.counters["calls"] = benchmark::Counter(double(count), benchmark::Counter::kIsRate);
}

BENCHMARK(assembleLines)->Name("asm/assemble_lines")->Unit(benchmark::kMillisecond);
BENCHMARK(decodeLines)->Name("decoder/plain_text_lines")->Unit(benchmark::kMillisecond);
BENCHMARK(bridgeCall)->Name("bridge/dlopen_call_dlclose")->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return runBenchmarks(argc, argv, [](const TRatioReporter& times) {
    double q = 0;
    if (times.quotient("asm/assemble_lines", "decoder/plain_text_lines", q))
      printf("assembling a line takes %.2fx the time of decoding it to text\n", q);
    printf("lines: %zu of the first code section\n", lines().lines.size());
  });
}
