// The complete reference scan (all four passes) of a PE32 file
// (OXU_BENCH_FILE, default: Debian's i686 libstdc++-6.dll) against Zydis
// decoding and Intel-formatting the same code sections, in one run. The
// plain-sweep value search runs too, so the gain of the index shows. Ratios
// at the end compare CPU times of one iteration.
#include <Zydis/Zydis.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "analysis/scanner.h"
#include "base/host.h"
#include "bench_support.h"

namespace {

void scan(benchmark::State& state, bool indexed) {
  const TBenchFile& f = benchFile();
  if (f.code.empty()) {
    state.SkipWithError("no PE file with code sections");
    return;
  }
  SilentHost host;
  TScanTimes times;
  TScanOptions options;
  options.indexed = indexed;
  options.yield = false;
  options.times = &times;
  uint64_t refs = 0;
  for (auto _ : state) {
    TReferenceStores stores;
    scanReferencesNow(f.bytes.data(), f.size, f.image, stores, host, options);
    refs = stores.jumpCalls.count();
    benchmark::DoNotOptimize(refs);
  }
  const double n = double(state.iterations());
  state.counters["imports_ms"] = times.imports * 1000 / n;
  state.counters["code_ms"] = times.code * 1000 / n;
  state.counters["strings_ms"] = times.strings * 1000 / n;
  state.counters["menus_ms"] = times.menus * 1000 / n;
  state.counters["jc_refs"] = double(refs);
}

void zydis(benchmark::State& state) {
  const TBenchFile& f = benchFile();
  if (f.code.empty()) {
    state.SkipWithError("no PE file with code sections");
    return;
  }
  ZydisDecoder decoder;
  ZydisDecoderInit(&decoder, ZYDIS_MACHINE_MODE_LEGACY_32, ZYDIS_STACK_WIDTH_32);
  ZydisFormatter formatter;
  ZydisFormatterInit(&formatter, ZYDIS_FORMATTER_STYLE_INTEL);
  const uint8_t* base = f.bytes.data();
  char text[256];
  for (auto _ : state) {
    for (auto [begin, end] : f.code) {
      for (size_t pos = begin; pos < end;) {
        ZydisDecodedInstruction insn;
        ZydisDecodedOperand ops[ZYDIS_MAX_OPERAND_COUNT];
        const ZyanStatus st = ZydisDecoderDecodeFull(&decoder, base + pos, end - pos, &insn, ops);
        if (ZYAN_SUCCESS(st))
          ZydisFormatterFormatInstruction(&formatter, &insn, ops, insn.operand_count_visible, text,
                                          sizeof text, pos, nullptr);
        benchmark::DoNotOptimize(text[0]);
        pos += ZYAN_SUCCESS(st) ? insn.length : 1;
      }
    }
  }
}

BENCHMARK_CAPTURE(scan, indexed, true)->Name("scan/indexed")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scan, sweep, false)->Name("scan/sweep")->Unit(benchmark::kMillisecond);
BENCHMARK(zydis)->Name("zydis/decode_format_intel")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return runBenchmarks(argc, argv, [](const TRatioReporter& times) {
    std::printf("file: %s\n", benchFile().path.c_str());
    auto ratio = [&](const char* what, const std::string& a, const std::string& b) {
      double q;
      if (times.quotient(a, b, q)) std::printf("%-40s %.2f\n", what, q);
    };
    ratio("scan (indexed) / Zydis decode+format", "scan/indexed", "zydis/decode_format_intel");
    ratio("scan (sweep) / Zydis decode+format", "scan/sweep", "zydis/decode_format_intel");
    ratio("scan (sweep) / scan (indexed)", "scan/sweep", "scan/indexed");
  });
}
