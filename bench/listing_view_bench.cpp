// The listing widget on the largest PE32 DLL at hand: one Page Down with the
// offscreen paint that follows it, a full paint of the window alone, and the
// row model's share of a paint.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <cstdlib>
#include <memory>

#include "app/listing/listing_view.h"
#include "base/host.h"
#include "bench_support.h"
#include "document/document.h"
#include "persist/settings.h"

namespace {

struct TBenchListing {
  SilentHost host;
  TDocument doc{host};
  TSettings settings;
  std::unique_ptr<TListingView> view;
  QImage image;
  bool ok = false;

  TBenchListing() {
    doc.setPath(kDefaultBenchFile);
    if (doc.LoadFile(true) != LOAD_OK) return;
    doc.workers().waitReferenceScan();  // possible-reference lines are part of the paint
    view = std::make_unique<TListingView>(doc, settings);
    view->resize(1000, 60 * view->lineHeight() + 4);  // 60 rows
    doc.gotoOffset(doc.image().entryOffset());
    view->documentChanged();
    image = QImage(view->viewport()->size(), QImage::Format_RGB32);
    ok = true;
  }
  void paint() { view->viewport()->render(&image); }
};

// Made on first use, while the application lives, and never destroyed: its
// widgets must not outlive the application at exit.
TBenchListing& listing() {
  static TBenchListing* b = new TBenchListing;
  return *b;
}

void BM_PageDownAndPaint(benchmark::State& state) {
  TBenchListing& b = listing();
  if (!b.ok) {
    state.SkipWithError("cannot load libstdc++-6.dll");
    return;
  }
  const uint32_t start = b.doc.image().entryOffset();
  b.doc.gotoOffset(start);
  for (auto _ : state) {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QApplication::sendEvent(b.view.get(), &key);
    b.paint();
    if (b.doc.view().topOffset + 0x10000 > b.doc.fileSize()) {
      state.PauseTiming();
      b.doc.gotoOffset(start);
      state.ResumeTiming();
    }
  }
  state.counters["rows"] = double(b.view->rows());
}
BENCHMARK(BM_PageDownAndPaint)->Unit(benchmark::kMillisecond);

void BM_FullPaint(benchmark::State& state) {
  TBenchListing& b = listing();
  if (!b.ok) {
    state.SkipWithError("cannot load libstdc++-6.dll");
    return;
  }
  b.doc.gotoOffset(b.doc.image().entryOffset());
  b.view->documentChanged();
  for (auto _ : state) b.paint();
}
BENCHMARK(BM_FullPaint)->Unit(benchmark::kMillisecond);

// The cells alone: what a paint asks of the row model.
void BM_RowModelOnly(benchmark::State& state) {
  TBenchListing& b = listing();
  if (!b.ok) {
    state.SkipWithError("cannot load libstdc++-6.dll");
    return;
  }
  b.doc.gotoOffset(b.doc.image().entryOffset());
  for (auto _ : state) b.view->layoutRows();
}
BENCHMARK(BM_RowModelOnly)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
