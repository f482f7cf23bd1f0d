// The main frame over a file, with a settings file of its own in a scratch
// folder, on the offscreen platform: what the dialog tests open windows on.
#pragma once
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/main_window.h"
#include "document/document.h"
#include "persist/profile_file.h"
#include "support/fixtures.h"
#include "support/recording_host.h"

// Made on first use and never destroyed: it would outlive Qt's own statics at exit.
inline QApplication& offscreenApp() {
  static QApplication* app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The offscreen platform says what it cannot do on every window.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
      if (text.startsWith(QStringLiteral("This plugin does not support"))) return;
      if (type != QtDebugMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    static int argc = 1;
    static char name[] = "dialog_tests";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

struct TDialogFrame {
  // ini: the settings file's text before the frame starts ("" for none).
  TDialogFrame(const std::vector<uint8_t>& bytes, const std::string& ini = "") {
    offscreenApp();
    if (!ini.empty()) std::ofstream(profile.path(), std::ios::binary) << ini;
    settings = readSettings(profile);
    window = readMainWindowSettings(profile);
    window.openFileOnStartup = false;
    writeFile(dir.file("f.bin"), bytes);
    frame = std::make_unique<TDDecoratedFrame>(host, settings, window, &profile);
    frame->quit = [](int) {};
    frame->show();
    doc().settings().noScan = true;
    EXPECT_TRUE(frame->openFile(dir.file("f.bin")));
    host.messages.clear();
  }
  TDocument& doc() { return frame->document(); }
  std::string iniText() const {
    std::ifstream in(profile.path(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Runs what deleteLater() and queued calls left behind.
  static void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
  }

  TempDir dir;
  TProfileFile profile{dir.file("OXU-DASM.INI")};
  RecordingHost host;
  TSettings settings;
  TMainWindowSettings window;
  std::unique_ptr<TDDecoratedFrame> frame;  // last: goes first, before the settings file
};
