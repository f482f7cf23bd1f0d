// The whole listing of a large PE as `oxu list --all` makes it (every row with
// its extra lines, marks resolved, references from the code sections), against
// `objdump -d -M intel` on the same file, run as a child writing to /dev/null;
// the same for the code section alone; and one paint of 60 rows.
// The file: OXU_BENCH_FILE, default the largest i686 mingw DLL. Times are wall
// times (the peer runs in a child process); ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "analysis/jc_refs.h"
#include "base/host.h"
#include "disasm/annotate.h"
#include "disasm/decoder.h"
#include "disasm/listing_marks.h"
#include "disasm/listing_rows.h"
#include "document/document.h"

namespace {

std::string benchFile() {
  const char* f = std::getenv("OXU_BENCH_FILE");
  return f ? f : "/usr/lib/gcc/i686-w64-mingw32/12-win32/libstdc++-6.dll";
}

// The document, its references and the listing context, as oxu list builds them.
struct TBenchListing {
  SilentHost host;
  TDocument doc{host};
  TJCRefContainer jumpCalls;
  std::unique_ptr<TListingAnnotator> annotator;
  TListingContext ctx;
  TListingState state;
  bool ok = false;

  TBenchListing() {
    doc.setPath(benchFile());
    if (doc.LoadFile(true) != LOAD_OK) return;
    const TImageInfo& im = doc.image();
    annotator = std::make_unique<TListingAnnotator>(im, doc.buffer(), doc.fileSize(), doc.names());
    collectJumpCalls();
    ctx.lines.buffer = doc.buffer();
    ctx.lines.size = doc.fileSize();
    ctx.lines.image = &im;
    ctx.lines.annotator = annotator.get();
    ctx.names = &doc.names();
    ctx.jumpCalls = &jumpCalls;
    state.fileOffsets = doc.view().fileOffsets;
    state.bits16 = doc.view().bits16;
    ok = true;
  }
  // Direct jumps and calls of the code sections, as the command collects them.
  void collectJumpCalls() {
    const TImageInfo& im = doc.image();
    const uint8_t* b = doc.buffer();
    char text[90];
    for (const SectionInfo& s : im.sections()) {
      if (!(s.characteristics & 0x20000020u)) continue;
      const uint32_t end = std::min<uint64_t>(uint64_t(s.rawOffset) + s.rawSize, doc.fileSize());
      for (uint32_t off = s.rawOffset; off < end;) {
        const uint8_t* p = b + off;
        const uint32_t shown = im.fileOffsetToMemory(off);
        text[0] = 0;
        decodeInstruction(p, DecodePlain, b, off - shown, text, sizeof text, false, nullptr, nullptr);
        for (const char* t = text; *t; ++t) {
          if (*t != REF_MARK || (t[1] != 2 && t[1] != 3)) continue;
          const uint32_t target = im.memoryToFileOffset(std::strtoul(t + 2, nullptr, 16));
          if (target < doc.fileSize()) jumpCalls.append(target, off, 1);
          break;
        }
        off = static_cast<uint32_t>(p - b);
      }
    }
    jumpCalls.sort();
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

void BM_ObjdumpDisassemble(benchmark::State& state) {
  const std::string command = "objdump -d -M intel '" + benchFile() + "' > /dev/null 2>&1";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) return state.SkipWithError("objdump failed");
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

BENCHMARK(BM_OxuListWholeFile)->Name("oxu/list_all")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_OxuListCodeSection)->Name("oxu/list_code_section")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ObjdumpDisassemble)->Name("objdump/d_intel")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_PaintSixtyRows)->Name("oxu/paint_60_rows")->Unit(benchmark::kMicrosecond)->UseRealTime();

class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) times_[r.run_name.function_name] = r.GetAdjustedRealTime();
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
