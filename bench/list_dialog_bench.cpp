// The list windows on the offscreen platform: opening "Imported functions" on
// import directories of hostile size and "Exported functions" on the largest
// mingw DLL, each against its core model alone on the same document (the
// window's own cost is the difference), and against a QListWidget filled with
// the same lines, the item-per-line way such lists are often built.
// Options: --file PATH (the DLL for the exports window).
#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/dialogs/exports_dlg.h"
#include "app/dialogs/imports_dlg.h"
#include "base/host.h"
#include "bench_support.h"
#include "document/document.h"
#include "support/fixtures.h"
#include "support/import_shapes.h"

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

double medianMs(int runs, const std::function<void()>& work) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer t;
    t.start();
    work();
    ms.push_back(double(t.nsecsElapsed()) / 1e6);
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

void report(const char* what, double window, double model, double widget) {
  std::printf(
      "%-34s window %8.2f ms | model alone %8.2f ms (%.2fx) | QListWidget of the lines %8.2f ms (%.2fx)\n",
      what, window, model, model > 0 ? window / model : 0.0, widget,
      widget > 0 ? window / widget : 0.0);
}

bool loadWithoutScan(TDocument& doc, const std::string& path) {
  doc.settings().noScan = true;
  doc.setPath(path);
  return doc.LoadFile(true) == LOAD_OK;
}

double listWidgetMs(const std::vector<std::string>& lines) {
  return medianMs(5, [&] {
    QListWidget w;
    for (const std::string& l : lines) w.addItem(QString::fromLatin1(l.c_str()));
    w.show();
    QApplication::processEvents();
  });
}

void importsShape(const char* name, uint32_t modules, uint32_t perModule) {
  TempDir dir;
  const std::string path = dir.file("imports.exe");
  writeFile(path, buildManyImports(modules, perModule));
  SilentHost host;
  TDocument doc(host);
  if (!loadWithoutScan(doc, path)) return;
  const double window = medianMs(5, [&] {
    TImportsDlg d(doc, nullptr);
    d.show();
    QApplication::processEvents();
  });
  TImportsView view;
  const double model = medianMs(5, [&] { view.open(doc, true, doc.stores().imports, false); });
  std::vector<std::string> lines;
  for (const auto& f : view.functions()) lines.push_back(f.text);
  for (const auto& m : view.modules()) lines.push_back(m.name);
  report(name, window, model, listWidgetMs(lines));
}

void exportsFile(const std::string& path) {
  SilentHost host;
  TDocument doc(host);
  if (!loadWithoutScan(doc, path)) return;
  const double window = medianMs(5, [&] {
    TExportsDlg d(doc);
    d.show();
    QApplication::processEvents();
  });
  TExportsView view;
  const double model = medianMs(5, [&] { view.open(doc); });
  std::vector<std::string> lines;
  for (const auto& l : view.lines()) lines.push_back(l.text);
  const std::string what = "exports: " + std::to_string(lines.size()) + " lines";
  report(what.c_str(), window, model, listWidgetMs(lines));
}

}  // namespace

int main(int argc, char** argv) {
  std::string file = benchFilePath();
  for (int i = 1; i + 1 < argc; ++i)
    if (!std::strcmp(argv[i], "--file")) file = argv[++i];
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(quiet);
  QApplication app(argc, argv);
  importsShape("imports: 1 module x 100000", 1, 100000);
  importsShape("imports: 100000 modules x 1", 100000, 1);
  exportsFile(file);
  return 0;
}
