// The desktop program on the offscreen platform: the time from loading a file
// to the first painted listing (the reference scan goes on in the background),
// and continuous-trace steps per second with the window shown, without and
// with the fixed-register window open.
// Options: --file PATH (default: the largest i686 mingw DLL), --grab PNG (saves
// the window after loading); other options are ignored.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "base/host.h"
#include "bench_support.h"
#include "document/document.h"

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// A PE whose entry runs "inc eax; jmp back" forever: EAX counts half the steps.
std::string writeLoopProgram() {
  std::vector<uint8_t> f(0x600, 0);
  auto put16 = [&](size_t at, uint16_t v) {
    f[at] = uint8_t(v);
    f[at + 1] = uint8_t(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = uint8_t(v >> (8 * i));
  };
  f[0] = 'M';
  f[1] = 'Z';
  put32(0x3C, 0x80);
  const size_t pe = 0x80;
  f[pe] = 'P';
  f[pe + 1] = 'E';
  put16(pe + 4, 0x14C);  // i386
  put16(pe + 6, 1);      // one section
  put16(pe + 20, 0xE0);  // optional header size
  put16(pe + 22, 0x0102);
  const size_t opt = pe + 24;
  put16(opt, 0x10B);
  put32(opt + 16, 0x1000);    // entry point
  put32(opt + 28, 0x400000);  // image base
  put32(opt + 32, 0x1000);    // section alignment
  put32(opt + 36, 0x200);     // file alignment
  put32(opt + 56, 0x2000);    // image size
  put32(opt + 60, 0x200);     // header size
  put16(opt + 68, 2);         // GUI
  put32(opt + 92, 16);        // directories
  const size_t sec = opt + 0xE0;
  std::memcpy(&f[sec], ".text", 5);
  put32(sec + 8, 0x1000);
  put32(sec + 12, 0x1000);
  put32(sec + 16, 0x200);
  put32(sec + 20, 0x200);
  put32(sec + 36, 0x60000020);
  f[0x200] = 0x40;  // inc eax
  f[0x201] = 0xEB;  // jmp back to it
  f[0x202] = 0xFD;
  const std::string path = "/tmp/oxu_desktop_bench_loop.exe";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), f.size());
  return path;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  std::string file = kDefaultBenchFile, grab;
  if (const char* env = std::getenv("OXU_BENCH_FILE")) file = env;
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--file"))
      file = argv[++i];
    else if (!std::strcmp(argv[i], "--grab"))
      grab = argv[++i];
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(quiet);
  QApplication app(argc, argv);
  SilentHost host;
  TSettings settings;
  TMainWindowSettings window;
  window.openFileOnStartup = false;
  TDDecoratedFrame frame(host, settings, window);
  frame.resize(900, 700);
  frame.show();
  QApplication::processEvents();

  // Load to first frame, the scan left running behind it.
  std::vector<double> loadMs;
  for (int run = 0; run < 7; ++run) {
    QElapsedTimer t;
    t.start();
    if (!frame.openFile(file)) {
      std::fprintf(stderr, "desktop_bench: cannot load %s\n", file.c_str());
      return 1;
    }
    frame.listing()->viewport()->repaint();
    loadMs.push_back(double(t.nsecsElapsed()) / 1e6);
    frame.document().workers().waitReferenceScan();
  }
  std::printf("load to first painted frame: %.2f ms median of %zu (%s, %u bytes)\n", median(loadMs),
              loadMs.size(), file.c_str(), frame.document().fileSize());
  if (!grab.empty()) {
    QApplication::processEvents();
    frame.grab().save(QString::fromStdString(grab));
  }

  // Continuous trace with the window shown, stopped by Escape's flag after a second.
  frame.document().settings().noScan = true;
  if (!frame.openFile(writeLoopProgram())) return 1;
  auto traceRate = [&] {
    std::vector<double> rates;
    for (int run = 0; run < 3; ++run) {
      frame.runCommand(143);  // reset: EIP at the entry, EAX 0
      frame.document().trace().regs().EAX = 0;
      QTimer::singleShot(1000, [&] { frame.document().trace().abortTrace(); });
      QElapsedTimer t;
      t.start();
      frame.runCommand(141);
      const double seconds = double(t.nsecsElapsed()) / 1e9;
      rates.push_back(2.0 * frame.document().trace().regs().EAX / seconds);
      std::printf("  run %d: %u loop rounds in %.3f s\n", run, frame.document().trace().regs().EAX,
                  seconds);
    }
    return median(rates);
  };
  const double plain = traceRate();
  std::printf(
      "continuous trace: %.2f M steps/s median of 3 runs (window shown, repaints every 16 ms)\n",
      plain / 1e6);
  // The fixed-register window follows every step while shown.
  frame.runCommand(126);
  const double withRegisters = traceRate();
  std::printf(
      "continuous trace with the fixed-register window shown: %.2f M steps/s median of 3 runs "
      "(%.2f of the rate without it)\n",
      withRegisters / 1e6, withRegisters / plain);
  return 0;
}
