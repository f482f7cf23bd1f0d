// Saving and loading the project of a large scanned DLL (hundreds of
// thousands of jump/call records): the whole SaveProject (build, write to a
// temporary file, rename) and the whole LoadProject (read, every section
// into the document's stores), on the calling thread.
//
//   ninja -C build-project project_bench && build-project/bench/project_bench [DLL]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "base/host.h"
#include "bench_support.h"
#include "document/document.h"
#include "document/project_commands.h"

namespace {

std::string gDll = kDefaultBenchFile;

struct TScanned {
  SilentHost host;
  TDocument doc{host};
  TProjectState state;
  bool ok = false;

  explicit TScanned(bool extreme) {
    doc.settings().noScan = true;
    doc.settings().extremeScan = extreme;
    doc.setPath(gDll);
    if (doc.LoadFile(true) != LOAD_OK) return;
    doc.workers().startReferenceScan();
    doc.workers().waitReferenceScan();
    for (uint32_t i = 0; i < 1000; ++i)
      doc.names().add(doc.image().imageBase() + 0x1000 + i * 16, "name_" + std::to_string(i),
                      REPLACE_ALWAYS);
    for (uint32_t i = 0; i < 100; ++i) doc.trace().toggleBreakpoint(0x1000 + i * 4);
    for (uint32_t i = 0; i < 64; ++i) doc.history().pushReturn(RK_JUMP, i * 100);
    state.path =
        (std::filesystem::temp_directory_path() /
         ("oxu-project-bench-" + std::to_string(::getpid()) + (extreme ? "-x" : "") + ".oxu"))
            .string();
    ok = SaveProject(doc, state) == 1;
  }
  ~TScanned() { std::remove(state.path.c_str()); }
};

// Arg 0: the ordinary scan; arg 1: the scan at every byte position, which
// finds several times the records.
TScanned& scanned(benchmark::State& st) {
  if (st.range(0)) {
    static TScanned extreme(true);
    return extreme;
  }
  static TScanned plain(false);
  return plain;
}

void counters(benchmark::State& st, const TScanned& s) {
  st.counters["jumpCalls"] = s.doc.stores().jumpCalls.count();
  st.counters["bytes"] = double(std::filesystem::file_size(s.state.path));
  st.SetBytesProcessed(int64_t(st.iterations()) *
                       int64_t(std::filesystem::file_size(s.state.path)));
}

void BM_SaveProject(benchmark::State& st) {
  TScanned& s = scanned(st);
  if (!s.ok) {
    st.SkipWithError(("cannot scan " + gDll).c_str());
    return;
  }
  for (auto _ : st) benchmark::DoNotOptimize(SaveProject(s.doc, s.state));
  counters(st, s);
}
BENCHMARK(BM_SaveProject)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_LoadProject(benchmark::State& st) {
  TScanned& s = scanned(st);
  if (!s.ok) {
    st.SkipWithError(("cannot scan " + gDll).c_str());
    return;
  }
  // The project's file is already loaded, as when a project is reloaded:
  // the time is the project's own.
  SilentHost host;
  TDocument doc(host);
  doc.settings().noScan = true;
  doc.setPath(gDll);
  doc.LoadFile(false);
  TProjectState state;
  state.path = s.state.path;
  for (auto _ : st) {
    const int rc = LoadProject(doc, state);
    if (rc != PROJECT_LOADED) st.SkipWithError("load failed");
  }
  if (doc.stores().jumpCalls.count() != s.doc.stores().jumpCalls.count())
    st.SkipWithError("stores differ");
  counters(st, s);
}
BENCHMARK(BM_LoadProject)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc > 1) gDll = argv[1];
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
