// The whole listing of a large PE: `oxu list --all --no-refs` run as a child
// writing to /dev/null, against `objdump -D -M intel` (every section, the same
// bytes as the whole listing) and `objdump -d -M intel` (code sections) run the
// same way; in this process the listing as `oxu list --all` makes it (every
// row with its extra lines, marks resolved, the scan's possible references),
// the same for the code section alone, and one paint of 60 rows.
// The file: OXU_BENCH_FILE, default the largest i686 mingw DLL. The ratios at
// the end compare wall times, each side measured in this one run, so that the
// machine's other load weighs on both.
// Besides: the whole listing of a file claiming 65535 sections against the
// same bytes claiming one, built around the benchmark file's code.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

#include "base/host.h"
#include "bench_support.h"
#include "document/document.h"
#include "listing/listing_marks.h"
#include "listing/listing_rows.h"
#include "support/pe_builder.h"

namespace {

// The document after its load and reference scan, as oxu list uses it.
struct TBenchListing {
  SilentHost host;
  TDocument doc{host};
  TListingContext ctx;
  TListingState state;
  bool ok = false;

  TBenchListing() {
    doc.setPath(benchFilePath());
    if (doc.LoadFile(true) != LOAD_OK) return;
    doc.workers().waitReferenceScan();
    ctx = doc.listingContext();
    state = doc.view();
    ok = true;
  }
  // The first code section's file range, or false.
  bool codeSection(uint32_t& begin, uint32_t& end) const {
    const auto code = codeRanges(doc.image(), doc.fileSize());
    if (code.empty()) return false;
    begin = code.front().first, end = code.front().second;
    return true;
  }
};

TBenchListing& listing() {
  static TBenchListing l;
  return l;
}

// Lists from top to end (the context's size), into text the way oxu prints it.
void listInto(benchmark::State& state, const TListingContext& fileCtx, const TListingState& view,
              uint32_t top, uint32_t end) {
  TListingContext ctx = fileCtx;
  ctx.lines.size = end;
  TListingState st = view;
  st.topOffset = top;
  std::string out;
  out.reserve(1 << 17);
  uint64_t rows = 0, bytes = 0;
  for (auto _ : state) {
    rows = listRows(st, ctx, 120, 0, [&](const TListingRow& row, const Hotspot*) {
      appendMarkedText(out, row.text, TMarkStyle::Plain);
      out += '\n';
      if (out.size() > (1 << 16)) {
        bytes += out.size();
        out.clear();
      }
    });
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["rows"] = double(rows);
  state.counters["MB"] = (end - top) / 1e6;
}

void BM_OxuListWholeFile(benchmark::State& state) {
  TBenchListing& l = listing();
  if (!l.ok) return state.SkipWithError("cannot load the benchmark file");
  listInto(state, l.ctx, l.state, 0, l.doc.fileSize());
}

void BM_OxuListCodeSection(benchmark::State& state) {
  TBenchListing& l = listing();
  uint32_t begin, end;
  if (!l.ok || !l.codeSection(begin, end)) return state.SkipWithError("no code section");
  listInto(state, l.ctx, l.state, begin, end);
}

// The benchmark file's first code section behind a section table of 65535
// headers: the code section last, 65534 empty ones before it. With `claimed`
// 1 the same bytes claim only the first header, which then is the code
// section, so both files list the same bytes and differ only in the count.
std::vector<uint8_t> manySectionsFile(uint16_t claimed) {
  const TBenchFile& f = benchFile();
  if (f.code.empty()) return {};
  const auto [begin, end] = f.code.front();
  constexpr uint32_t kHeaders = 65535;
  TPeBuilder b;
  b.entryRva = 0x100000;
  b.headerSize = (b.peOffset + 0x78 + 8 * 16 + 40 * kHeaders + 0x1FF) & ~0x1FFu;
  const TPeBuilder::Section code{".text",      0x100000,    end - begin,
                                 b.headerSize, end - begin, 0x60000020};
  if (claimed == 1) b.sections().push_back(code);
  for (uint32_t i = 0; i + 1 < kHeaders; ++i)
    b.sections().push_back({".bss", 0x200000 + 0x1000 * i, 0x1000, 0, 0, 0xC0000080});
  if (claimed != 1) b.sections().push_back(code);
  b.numberOfSections = claimed;
  std::vector<uint8_t> bytes = b.build();
  std::copy(f.bytes.begin() + begin, f.bytes.begin() + end, bytes.begin() + code.rawOffset);
  return bytes;
}

// A built file loaded and scanned as oxu list --all does, through a file on disk.
struct TBuiltListing {
  SilentHost host;
  TDocument doc{host};
  bool ok = false;

  explicit TBuiltListing(uint16_t claimed) {
    const std::vector<uint8_t> bytes = manySectionsFile(claimed);
    const std::string path = "/tmp/oxu-listing-bench-" + std::to_string(getpid()) + ".exe";
    FILE* out = std::fopen(path.c_str(), "wb");
    if (bytes.empty() || !out) return;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) == 0 && written) {
      doc.setPath(path);
      ok = doc.LoadFile(true) == LOAD_OK;
      doc.workers().waitReferenceScan();
    }
    std::remove(path.c_str());
  }
};

void BM_ListSectionTable(benchmark::State& state, uint16_t claimed) {
  static TBuiltListing many(65535), one(1);
  TBuiltListing& l = claimed == 1 ? one : many;
  if (!l.ok) return state.SkipWithError("cannot build the file");
  listInto(state, l.doc.listingContext(), l.doc.view(), 0, l.doc.fileSize());
  state.counters["sections"] = claimed;
}

// A shell command writing to /dev/null; the iteration's time is its wall
// time, the counter cpu_ms its processor time (user + system).
double childSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void runChild(benchmark::State& state, const std::string& command) {
  double cpu = 0;
  for (auto _ : state) {
    const double before = childSeconds();
    const auto start = std::chrono::steady_clock::now();
    if (std::system((command + " > /dev/null 2>&1").c_str()) != 0)
      return state.SkipWithError(("failed: " + command).c_str());
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    cpu += childSeconds() - before;
  }
  state.counters["cpu_ms"] = 1000 * cpu / double(state.iterations());
}

// objdump's disassembly; -d decodes the code sections, -D every section,
// which is what the whole-file listing covers.
void BM_Objdump(benchmark::State& state, const char* mode) {
  runChild(state, std::string("objdump ") + mode + " -M intel '" + benchFilePath() + "'");
}

// oxu list as a user runs it: load, parse, every line formatted and written.
// OXU_BENCH_CLI names another oxu to run (an older build, say).
void BM_OxuListCli(benchmark::State& state) {
  std::string oxu;
#ifdef OXU_CLI_PATH
  oxu = OXU_CLI_PATH;
#endif
  if (const char* other = std::getenv("OXU_BENCH_CLI"); other && *other) oxu = other;
  if (oxu.empty()) return state.SkipWithError("oxu was not built");
  runChild(state, "'" + oxu + "' list --all --no-refs '" + benchFilePath() + "'");
}

void BM_PaintSixtyRows(benchmark::State& state) {
  TBenchListing& l = listing();
  uint32_t begin, end;
  if (!l.ok || !l.codeSection(begin, end)) return state.SkipWithError("no code section");
  end = begin + (end - begin) / 2;
  TListingState st = l.state;
  TListingPaint paint;
  uint32_t top = begin;
  for (auto _ : state) {
    st.topOffset = top;
    paintRows(st, l.ctx, 60, 120, paint);
    top = paint.lineTable[60] < end ? paint.lineTable[60] : begin;  // the next page
    benchmark::DoNotOptimize(paint.hotspotCount);
  }
}

BENCHMARK(BM_OxuListCli)
    ->Name("oxu/list_all_no_refs_cli")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
BENCHMARK(BM_OxuListWholeFile)
    ->Name("oxu/list_all")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_OxuListCodeSection)
    ->Name("oxu/list_code_section")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_Objdump, d, "-d")
    ->Name("objdump/d_intel")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_Objdump, D, "-D")
    ->Name("objdump/D_intel")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(2);
BENCHMARK(BM_PaintSixtyRows)->Name("oxu/paint_60_rows")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ListSectionTable, many, 65535)
    ->Name("oxu/list_all_65535_sections")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_ListSectionTable, one, 1)
    ->Name("oxu/list_all_same_bytes_1_section")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

// Wall times on both sides.
int main(int argc, char** argv) {
  return runBenchmarks(argc, argv, [](const TRatioReporter& times) {
    std::printf("file: %s\n", benchFilePath().c_str());
    times.printFaster(48, "oxu list --all --no-refs vs objdump -D -M intel",
                      "oxu/list_all_no_refs_cli", "objdump/D_intel");
    // The same two runs by processor time, which a busy machine disturbs less.
    double ours, peer;
    if (times.counterOf("oxu/list_all_no_refs_cli", "cpu_ms", ours) &&
        times.counterOf("objdump/D_intel", "cpu_ms", peer) && ours > 0)
      std::printf("%-48s %.2fx faster\n", "  the same by processor time", peer / ours);
    times.printFaster(48, "whole file listing vs objdump -D (same bytes)", "oxu/list_all",
                      "objdump/D_intel");
    times.printFaster(48, "whole file listing vs objdump -d (code only)", "oxu/list_all",
                      "objdump/d_intel");
    times.printFaster(48, "code section listing vs objdump -d", "oxu/list_code_section",
                      "objdump/d_intel");
    double q;
    if (times.quotient("oxu/list_all_65535_sections", "oxu/list_all_same_bytes_1_section", q))
      std::printf("%-48s %.2fx the time\n", "65535 sections vs 1 (same bytes, whole listing)", q);
  });
}
