// The whole listing of a large PE as `oxu list --all` makes it (every row with
// its extra lines, marks resolved, the scan's possible references), against
// `objdump -d -M intel` (code sections) and `objdump -D -M intel` (every section,
// the same bytes as the whole listing), run as children writing to /dev/null;
// the same for the code section alone; and one paint of 60 rows.
// The file: OXU_BENCH_FILE, default the largest i686 mingw DLL. The ratios at
// the end compare processor times (objdump's measured as its child's time).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include <sys/resource.h>

#include "base/host.h"
#include "bench_support.h"
#include "document/document.h"
#include "listing/listing_marks.h"
#include "listing/listing_rows.h"

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
    doc.waitReferenceScan();
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
void listInto(benchmark::State& state, TListingContext ctx, uint32_t top, uint32_t end) {
  TBenchListing& l = listing();
  ctx.lines.size = end;
  TListingState st = l.state;
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
  listInto(state, l.ctx, 0, l.doc.fileSize());
}

void BM_OxuListCodeSection(benchmark::State& state) {
  TBenchListing& l = listing();
  uint32_t begin, end;
  if (!l.ok || !l.codeSection(begin, end)) return state.SkipWithError("no code section");
  listInto(state, l.ctx, begin, end);
}

// The child's processor time (user + system) is the iteration's time: the
// machine's other load then distorts neither side of the ratio.
double childSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// objdump's disassembly as a child process; -d decodes the code sections,
// -D every section, which is what the whole-file listing covers.
void BM_Objdump(benchmark::State& state, const char* mode) {
  const std::string command =
      std::string("objdump ") + mode + " -M intel '" + benchFilePath() + "' > /dev/null 2>&1";
  for (auto _ : state) {
    const double before = childSeconds();
    if (std::system(command.c_str()) != 0) return state.SkipWithError("objdump failed");
    state.SetIterationTime(childSeconds() - before);
  }
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

BENCHMARK(BM_OxuListWholeFile)->Name("oxu/list_all")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OxuListCodeSection)->Name("oxu/list_code_section")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_Objdump, d, "-d")->Name("objdump/d_intel")->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK_CAPTURE(BM_Objdump, D, "-D")->Name("objdump/D_intel")->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK(BM_PaintSixtyRows)->Name("oxu/paint_60_rows")->Unit(benchmark::kMicrosecond);

}  // namespace

// Processor times: ours in this process, objdump's as its manual time.
int main(int argc, char** argv) {
  return runBenchmarks(argc, argv, [](const TRatioReporter& times) {
    times.printFaster(48, "whole file listing vs objdump -D (same bytes)", "oxu/list_all", "objdump/D_intel");
    times.printFaster(48, "whole file listing vs objdump -d (code only)", "oxu/list_all", "objdump/d_intel");
    times.printFaster(48, "code section listing vs objdump -d", "oxu/list_code_section", "objdump/d_intel");
  });
}
