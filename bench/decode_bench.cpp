// Decoder speed against Zydis on the code section of a PE32 file
// (OXU_BENCH_FILE, default: Debian's i686 libstdc++-6.dll). Each iteration
// sweeps the whole section; the ratios at the end compare CPU times of a sweep (other work on the machine distorts wall time).
#include <Zydis/Zydis.h>
#include <benchmark/benchmark.h>

#include <string>

#include "bench_support.h"
#include "disasm/decoder.h"

namespace {

// The first code section of the benchmark file.
struct TSection {
  const uint8_t* file = nullptr;  // followed by 16 zero bytes
  size_t begin = 0, end = 0;
};

const TSection& section() {
  static const TSection s = [] {
    const TBenchFile& f = benchFile();
    TSection s{f.bytes.data()};
    if (!f.code.empty()) s.begin = f.code.front().first, s.end = f.code.front().second;
    return s;
  }();
  return s;
}

template <DecodeMode Mode>
void ours(benchmark::State& state) {
  const TSection& s = section();
  if (s.end == s.begin) {
    state.SkipWithError("no code section");
    return;
  }
  const uint8_t* base = s.file;
  char text[400];
  size_t count = 0;
  for (auto _ : state) {
    for (const uint8_t* p = base + s.begin; p < base + s.end;) {
      text[0] = 0;
      decodeInstruction(p, Mode, base, 0, Mode == DecodeLength ? nullptr : text, sizeof text, false,
                        nullptr, nullptr);
      benchmark::DoNotOptimize(text[0]);
      ++count;
    }
  }
  state.counters["insn"] = benchmark::Counter(double(count), benchmark::Counter::kIsRate);
}

template <bool Format>
void zydis(benchmark::State& state) {
  const TSection& s = section();
  if (s.end == s.begin) {
    state.SkipWithError("no code section");
    return;
  }
  ZydisDecoder decoder;
  ZydisDecoderInit(&decoder, ZYDIS_MACHINE_MODE_LEGACY_32, ZYDIS_STACK_WIDTH_32);
  ZydisFormatter formatter;
  ZydisFormatterInit(&formatter, ZYDIS_FORMATTER_STYLE_INTEL);
  const uint8_t* base = s.file;
  char text[400];
  size_t count = 0;
  for (auto _ : state) {
    for (size_t pos = s.begin; pos < s.end;) {
      ZydisDecodedInstruction insn;
      ZyanStatus st;
      if constexpr (Format) {
        ZydisDecodedOperand ops[ZYDIS_MAX_OPERAND_COUNT];
        st = ZydisDecoderDecodeFull(&decoder, base + pos, s.end - pos, &insn, ops);
        if (ZYAN_SUCCESS(st))
          ZydisFormatterFormatInstruction(&formatter, &insn, ops, insn.operand_count_visible, text,
                                          sizeof text, pos, nullptr);
        benchmark::DoNotOptimize(text[0]);
      } else {
        ZydisDecoderContext ctx;
        st = ZydisDecoderDecodeInstruction(&decoder, &ctx, base + pos, s.end - pos, &insn);
        benchmark::DoNotOptimize(insn.length);
      }
      pos += ZYAN_SUCCESS(st) ? insn.length : 1;
      ++count;
    }
  }
  state.counters["insn"] = benchmark::Counter(double(count), benchmark::Counter::kIsRate);
}

BENCHMARK(ours<DecodeLength>)->Name("ours/mode0_length")->Unit(benchmark::kMillisecond);
BENCHMARK(zydis<false>)->Name("zydis/decode")->Unit(benchmark::kMillisecond);
BENCHMARK(ours<DecodePlain>)->Name("ours/mode2_plain_text")->Unit(benchmark::kMillisecond);
BENCHMARK(ours<DecodeListing>)->Name("ours/mode1_listing_text")->Unit(benchmark::kMillisecond);
BENCHMARK(zydis<true>)->Name("zydis/decode_format_intel")->Unit(benchmark::kMillisecond);

}  // namespace

// Console output plus the sweep-time ratios of each mode to its peer.
int main(int argc, char** argv) {
  return runBenchmarks(argc, argv, [](const TRatioReporter& times) {
    times.printFaster(55, "mode 0 (length) vs Zydis decode", "ours/mode0_length", "zydis/decode");
    times.printFaster(55, "mode 2 (plain text) vs Zydis decode+format", "ours/mode2_plain_text",
                      "zydis/decode_format_intel");
    times.printFaster(55, "mode 1 (listing, no annotator) vs Zydis decode+format",
                      "ours/mode1_listing_text", "zydis/decode_format_intel");
  });
}
