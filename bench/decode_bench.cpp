// Decoder speed against Zydis on the code section of a PE32 file
// (OXU_BENCH_FILE, default: Debian's i686 libstdc++-6.dll). Each iteration
// sweeps the whole section; the ratios at the end compare CPU times of a sweep (other work on the machine distorts wall time).
#include <Zydis/Zydis.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "disasm/decoder.h"

namespace {

struct TSection {
  std::vector<uint8_t> file;  // the file and 16 zero bytes
  size_t begin = 0, end = 0;
};

uint32_t dword(const std::vector<uint8_t>& f, size_t o) {
  return uint32_t(f[o]) | (uint32_t(f[o + 1]) << 8) | (uint32_t(f[o + 2]) << 16) | (uint32_t(f[o + 3]) << 24);
}

// The first section flagged as code or executable.
TSection loadCodeSection() {
  const char* env = std::getenv("OXU_BENCH_FILE");
  std::string path = env && *env ? env : "/usr/lib/gcc/i686-w64-mingw32/12-win32/libstdc++-6.dll";
  std::ifstream in(path, std::ios::binary);
  TSection s;
  s.file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  size_t size = s.file.size();
  s.file.resize(size + 16, 0);
  if (size < 0x40 || s.file[0] != 'M' || s.file[1] != 'Z') return s;
  uint32_t pe = dword(s.file, 0x3C);
  if (pe > size - 24 || std::memcmp(&s.file[pe], "PE\0\0", 4) != 0) return s;
  unsigned count = s.file[pe + 6] | (s.file[pe + 7] << 8);
  size_t table = size_t(pe) + 24 + (s.file[pe + 20] | (s.file[pe + 21] << 8));
  for (unsigned i = 0; i < count && table + 40 * (i + 1) <= size; ++i) {
    size_t h = table + 40 * i;
    uint32_t rawSize = dword(s.file, h + 16), rawPtr = dword(s.file, h + 20), flags = dword(s.file, h + 36);
    if ((flags & 0x20000020) && rawPtr < size) {
      s.begin = rawPtr;
      s.end = std::min<size_t>(size_t(rawPtr) + rawSize, size);
      break;
    }
  }
  return s;
}

const TSection& section() {
  static const TSection s = loadCodeSection();
  return s;
}

template <DecodeMode Mode>
void ours(benchmark::State& state) {
  const TSection& s = section();
  if (s.end == s.begin) {
    state.SkipWithError("no code section");
    return;
  }
  const uint8_t* base = s.file.data();
  char text[400];
  size_t count = 0;
  for (auto _ : state) {
    for (const uint8_t* p = base + s.begin; p < base + s.end;) {
      text[0] = 0;
      decodeInstruction(p, Mode, base, 0, Mode == DecodeLength ? nullptr : text, sizeof text, false, nullptr,
                        nullptr);
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
  const uint8_t* base = s.file.data();
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
          ZydisFormatterFormatInstruction(&formatter, &insn, ops, insn.operand_count_visible, text, sizeof text,
                                          pos, nullptr);
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

// Console output plus the sweep-time ratios of each mode to its peer.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) times_[r.benchmark_name()] = r.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    ratio("mode 0 (length) vs Zydis decode", "ours/mode0_length", "zydis/decode");
    ratio("mode 2 (plain text) vs Zydis decode+format", "ours/mode2_plain_text", "zydis/decode_format_intel");
    ratio("mode 1 (listing, no annotator) vs Zydis decode+format", "ours/mode1_listing_text",
          "zydis/decode_format_intel");
  }

 private:
  void ratio(const char* what, const std::string& ours, const std::string& peer) {
    if (!times_.count(ours) || !times_.count(peer) || times_[ours] <= 0) return;
    std::printf("%-55s %.2fx faster\n", what, times_[peer] / times_[ours]);
  }
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
