// Import directories of hostile size: the load (with its parse) and a
// one-byte ChangeMemory (which parses again) of
//   overlapping  50 000 descriptors whose thunk lists run through the table,
//   many         100 000 functions imported by name from 100 modules,
// against the same two operations on an ordinary file (OXU_BENCH_FILE,
// default the largest i686 mingw DLL) in the same run.
// Goals: each load under 1 s, each ChangeMemory under 50 ms.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/host.h"
#include "bench_support.h"
#include "document/document.h"
#include "support/fixtures.h"
#include "support/import_shapes.h"

namespace {

struct TShape {
  const char* name;
  std::string path;
};

TShape gShapes[] = {{"ordinary", ""}, {"overlapping", ""}, {"many", ""}};

// The built files go to a folder of their own, removed at the end.
std::string writeShapes() {
  const std::string dir =
      (std::filesystem::temp_directory_path() / ("oxu-imports-bench-" + std::to_string(::getpid())))
          .string();
  std::filesystem::create_directories(dir);
  gShapes[0].path = benchFilePath();
  gShapes[1].path = dir + "/overlapping.exe";
  writeFile(gShapes[1].path, buildOverlappingDescriptors(50000));
  gShapes[2].path = dir + "/many.exe";
  writeFile(gShapes[2].path, buildManyImports(100, 1000));
  return dir;
}

bool load(benchmark::State& state, TDocument& doc, const TShape& shape) {
  doc.setPath(shape.path);
  if (doc.LoadFile(false) != LOAD_OK) {
    state.SkipWithError(("cannot load " + shape.path).c_str());
    return false;
  }
  return true;
}

void counters(benchmark::State& state, const TDocument& doc) {
  state.counters["fileMB"] = doc.fileSize() / 1e6;
  state.counters["modules"] = double(doc.image().imports().modules().size());
  state.counters["functions"] = double(doc.image().imports().functions().size());
}

void BM_Load(benchmark::State& state, const TShape* shape) {
  SilentHost host;
  TDocument doc(host);
  for (auto _ : state)
    if (!load(state, doc, *shape)) return;
  counters(state, doc);
}

void BM_ChangeMemory(benchmark::State& state, const TShape* shape) {
  SilentHost host;
  TDocument doc(host);
  if (!load(state, doc, *shape)) return;
  const uint32_t at = doc.image().entryOffset() != NOT_IN_FILE ? doc.image().entryOffset() : 0;
  uint8_t b = 0;
  for (auto _ : state) {
    ++b;
    doc.ChangeMemory(at, &b, 1);
  }
  counters(state, doc);
}

void printShape(const TRatioReporter& times, const TShape& shape) {
  for (const char* op : {"load", "change_memory"}) {
    const std::string ours = std::string(op) + "/" + shape.name;
    const std::string peer = std::string(op) + "/ordinary";
    double ms, q;
    if (!times.timeOf(ours, ms)) continue;
    std::printf("%-26s %9.2f ms (goal < %4.0f ms)", ours.c_str(), ms, op[0] == 'l' ? 1000.0 : 50.0);
    if (times.quotient(ours, peer, q)) std::printf("  %.2fx the ordinary file", q);
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = writeShapes();
  for (const TShape& s : gShapes) {
    benchmark::RegisterBenchmark((std::string("load/") + s.name).c_str(), BM_Load, &s)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("change_memory/") + s.name).c_str(), BM_ChangeMemory,
                                 &s)
        ->Unit(benchmark::kMillisecond);
  }
  const int rc = runBenchmarks(argc, argv, [](const TRatioReporter& times) {
    std::printf("ordinary file: %s\n", gShapes[0].path.c_str());
    printShape(times, gShapes[1]);
    printShape(times, gShapes[2]);
  });
  std::filesystem::remove_all(dir);
  return rc;
}
