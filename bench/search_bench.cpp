// Byte search speed against glibc's memmem over the same buffer: a PE32 file
// (OXU_BENCH_FILE, default: Debian's i686 libstdc++-6.dll) repeated to at
// least 20 MB, with a copy of the pattern at both ends, so every search runs
// through the whole buffer. The ratios at the end compare CPU times.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"
#include "image/byte_search.h"

namespace {

struct TNeedle {
  const char* name;
  std::string bytes;
};

// A text (the typical ASCII search), a dword (a hex value or address
// reference) and a word (a 16-bit decimal value). The text and the dword do
// not occur in the default file; the word is chosen when the file is read.
TNeedle kNeedles[] = {
    {"text17", "OXU-Dasm sentinel"},
    {"dword", std::string("\x5A\xC3\x7E\x91", 4)},
    {"word", ""},
};

bool isLetter(uint8_t b) { return (b | 0x20) >= 'a' && (b | 0x20) <= 'z'; }

// Nearly every word occurs somewhere in 20 MB of code and data: take the one
// whose first occurrence comes last (no letters, so that both kinds of
// search stop at the same place).
std::string latestWord(const std::vector<uint8_t>& b) {
  std::vector<uint32_t> first(65536, UINT32_MAX);
  uint32_t unseen = 65536;
  for (uint32_t i = 0; i + 1 < b.size() && unseen; ++i) {
    uint32_t w = b[i] | b[i + 1] << 8;
    if (first[w] == UINT32_MAX) first[w] = i, --unseen;
  }
  uint32_t best = 0;
  for (uint32_t w = 0; w < 65536; ++w) {
    if (isLetter(uint8_t(w)) || isLetter(uint8_t(w >> 8))) continue;
    if (first[w] > first[best]) best = w;  // a word that never occurs is the best
  }
  return std::string{char(best), char(best >> 8)};
}

// The file repeated to 20 MB and 16 zero bytes; each needle is laid at the
// start and at the end by the benchmark itself.
const std::vector<uint8_t>& baseBuffer() {
  static const std::vector<uint8_t> buffer = [] {
    const std::vector<uint8_t> file = readWholeFile(benchFilePath());
    std::vector<uint8_t> b;
    if (file.empty()) return b;
    while (b.size() < (20u << 20)) b.insert(b.end(), file.begin(), file.end());
    kNeedles[2].bytes = latestWord(b);
    return b;
  }();
  return buffer;
}

struct TCase {
  std::vector<uint8_t> buffer;
  std::vector<uint8_t> needle;  // as the scan gets it
  std::string original;         // as it lies in the buffer
};

TCase makeCase(const std::string& needle, bool lowerCaseNeedle) {
  TCase c;
  c.buffer = baseBuffer();
  if (c.buffer.size() < needle.size()) return c;
  std::memcpy(c.buffer.data(), needle.data(), needle.size());
  std::memcpy(c.buffer.data() + c.buffer.size() - needle.size(), needle.data(), needle.size());
  c.needle.assign(needle.begin(), needle.end());
  c.original = needle;
  // The pattern builder upper-cases the letters of a case-insensitive pattern;
  // the buffer holds the mixed-case text.
  if (lowerCaseNeedle)
    for (auto& b : c.needle)
      if (b >= 'a' && b <= 'z') b = uint8_t(b - 0x20);
  return c;
}

enum TWho { MEMMEM, OURS_EXACT, OURS_NOCASE, OURS_BACKWARD };

void run(benchmark::State& state, const TNeedle* needle, TWho who) {
  baseBuffer();  // chooses the word
  const TCase c = makeCase(needle->bytes, who == OURS_NOCASE);
  if (c.needle.empty()) {
    state.SkipWithError("no input file");
    return;
  }
  const uint8_t* buf = c.buffer.data();
  const uint32_t size = uint32_t(c.buffer.size());
  const uint32_t n = uint32_t(c.needle.size());
  const uint8_t* p = c.needle.data();
  // The copy at offset 0 is the start position, which an interactive search skips.
  const void* ref = memmem(buf + 1, size - 1, c.original.data(), n);
  const uint32_t expected = uint32_t(static_cast<const uint8_t*>(ref) - buf);
  uint32_t hit = 0;
  for (auto _ : state) {
    switch (who) {
      case MEMMEM: {
        const void* h = memmem(buf + 1, size - 1, p, n);
        hit = uint32_t(static_cast<const uint8_t*>(h) - buf);
        break;
      }
      case OURS_EXACT: hit = findForward(buf, size, p, n, false, 1); break;
      case OURS_NOCASE: hit = findForward(buf, size, p, n, true, 1); break;
      case OURS_BACKWARD: hit = findBackward(buf, size, p, n, false, size - n - 1); break;
    }
    benchmark::DoNotOptimize(hit);
  }
  if (who != OURS_BACKWARD && hit != expected) state.SkipWithError("hit differs from memmem");
  state.counters["hit"] = hit;
  state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

void registerAll() {
  for (const TNeedle& nd : kNeedles) {
    const std::string s = nd.name;
    benchmark::RegisterBenchmark(("memmem/" + s).c_str(), run, &nd, MEMMEM)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("ours/exact/" + s).c_str(), run, &nd, OURS_EXACT)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("ours/nocase/" + s).c_str(), run, &nd, OURS_NOCASE)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("ours/backward/" + s).c_str(), run, &nd, OURS_BACKWARD)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

// Console output plus each search's CPU time as a multiple of memmem's.
int main(int argc, char** argv) {
  registerAll();
  return runBenchmarks(argc, argv, [](const TRatioReporter& times) {
    std::printf("time relative to memmem (goal: exact <= 2x, case-insensitive <= 4x)\n");
    for (const TNeedle& nd : kNeedles)
      for (const char* kind : {"exact", "nocase", "backward"}) {
        const std::string ours = std::string("ours/") + kind + "/" + nd.name;
        double q;
        if (times.quotient(ours, std::string("memmem/") + nd.name, q))
          std::printf("  %-22s %.2fx\n", ours.c_str(), q);
      }
  });
}
