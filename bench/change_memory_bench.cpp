// One-byte ChangeMemory on a large PE (re-parse included), and undo/redo.
// The file: OXU_BENCH_FILE, default the largest i686 mingw DLL.
#include <benchmark/benchmark.h>

#include "base/host.h"
#include "bench_support.h"
#include "document/document.h"

namespace {

// The benchmark file in `doc`, and where the edits go: the entry point, or
// the file's start.
bool load(benchmark::State& state, TDocument& doc, uint32_t& at) {
  doc.setPath(benchFilePath());
  if (doc.LoadFile(false) != LOAD_OK) {
    state.SkipWithError("cannot load the benchmark file");
    return false;
  }
  at = doc.image().entryOffset() != NOT_IN_FILE ? doc.image().entryOffset() : 0;
  return true;
}

void BM_ChangeMemoryOneByte(benchmark::State& state) {
  SilentHost host;
  TDocument doc(host);
  uint32_t at;
  if (!load(state, doc, at)) return;
  uint8_t b = 0;
  for (auto _ : state) {
    ++b;
    doc.ChangeMemory(at, &b, 1);
  }
  state.counters["fileMB"] = doc.fileSize() / 1e6;
  state.counters["relocBlocks"] =
      doc.image().relocationTable() ? double(doc.image().relocationTable()->blocks().size()) : 0;
  state.counters["imports"] = double(doc.image().imports().functions().size());
}
BENCHMARK(BM_ChangeMemoryOneByte)->Unit(benchmark::kMillisecond);

void BM_UndoRedoStep(benchmark::State& state) {
  SilentHost host;
  TDocument doc(host);
  uint32_t at;
  if (!load(state, doc, at)) return;
  const uint8_t b = 0xCC;
  doc.ChangeMemory(at, &b, 1);
  for (auto _ : state) {
    doc.undo();
    doc.redo();
  }
}
BENCHMARK(BM_UndoRedoStep)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
