// The whole listing of a large PE as `oxu list --all` makes it (every row with
// its extra lines, marks resolved, the scan's possible references), against
// `objdump -d -M intel` on the same file, run as a child writing to /dev/null;
// the same for the code section alone; and one paint of 60 rows.
// The file: OXU_BENCH_FILE, default the largest i686 mingw DLL. The ratios at
// the end compare processor times (objdump's measured as its child's time).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include <sys/resource.h>

#include "base/host.h"
#include "disasm/listing_marks.h"
#include "disasm/listing_rows.h"
#include "document/document.h"

namespace {

std::string benchFile() {
  const char* f = std::getenv("OXU_BENCH_FILE");
  return f ? f : "/usr/lib/gcc/i686-w64-mingw32/12-win32/libstdc++-6.dll";
}

// The document after its load and reference scan, as oxu list uses it.
struct TBenchListing {
  SilentHost host;
  TDocument doc{host};
  TListingContext ctx;
  TListingState state;
  bool ok = false;

  TBenchListing() {
    doc.setPath(benchFile());
    if (doc.LoadFile(true) != LOAD_OK) return;
    doc.waitReferenceScan();
    ctx = doc.listingContext();
    state = doc.view();
    ok = true;
  }
  const SectionInfo* codeSection() const {
    for (const SectionInfo& s : doc.image().sections())
      if (s.characteristics & 0x20) return &s;
    return nullptr;
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
  const SectionInfo* s = l.ok ? l.codeSection() : nullptr;
  if (!s) return state.SkipWithError("no code section");
  listInto(state, l.ctx, s->rawOffset,
           uint32_t(std::min<uint64_t>(uint64_t(s->rawOffset) + s->rawSize, l.doc.fileSize())));
}

// The child's processor time (user + system) is the iteration's time: the
// machine's other load then distorts neither side of the ratio.
double childSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_ObjdumpDisassemble(benchmark::State& state) {
  const std::string command = "objdump -d -M intel '" + benchFile() + "' > /dev/null 2>&1";
  for (auto _ : state) {
    const double before = childSeconds();
    if (std::system(command.c_str()) != 0) return state.SkipWithError("objdump failed");
    state.SetIterationTime(childSeconds() - before);
  }
}

void BM_PaintSixtyRows(benchmark::State& state) {
  TBenchListing& l = listing();
  const SectionInfo* s = l.ok ? l.codeSection() : nullptr;
  if (!s) return state.SkipWithError("no code section");
  TListingState st = l.state;
  TListingPaint paint;
  uint32_t top = s->rawOffset;
  const uint32_t end = s->rawOffset + s->rawSize / 2;
  for (auto _ : state) {
    st.topOffset = top;
    paintRows(st, l.ctx, 60, 120, paint);
    top = paint.lineTable[60] < end ? paint.lineTable[60] : s->rawOffset;  // the next page
    benchmark::DoNotOptimize(paint.hotspotCount);
  }
}

BENCHMARK(BM_OxuListWholeFile)->Name("oxu/list_all")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OxuListCodeSection)->Name("oxu/list_code_section")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ObjdumpDisassemble)->Name("objdump/d_intel")->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_PaintSixtyRows)->Name("oxu/paint_60_rows")->Unit(benchmark::kMicrosecond);

class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // Processor times: ours in this process, objdump's as its manual time.
    for (const Run& r : runs)
      times_[r.run_name.function_name] =
          r.run_name.function_name.rfind("objdump", 0) == 0 ? r.GetAdjustedRealTime()
                                                            : r.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    ratio("whole file listing vs objdump -d (code only)", "oxu/list_all", "objdump/d_intel");
    ratio("code section listing vs objdump -d", "oxu/list_code_section", "objdump/d_intel");
  }

 private:
  void ratio(const char* what, const std::string& ours, const std::string& peer) {
    auto o = times_.find(ours), p = times_.find(peer);
    if (o == times_.end() || p == times_.end() || o->second <= 0) return;
    std::printf("%-48s %.2fx faster\n", what, p->second / o->second);
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
