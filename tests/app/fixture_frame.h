// The main frame over a fixture file by path, for the tests of the menu bar's
// dialogs: commands and keys go through the frame as a user's would.
#pragma once
#include <gtest/gtest.h>

#include <QTest>

#include "app/main_window.h"
#include "document/document.h"
#include "support/fixtures.h"
#include "support/recording_host.h"

struct TFixtureFrame {
  RecordingHost host;
  TSettings settings;
  TMainWindowSettings window = [] {
    TMainWindowSettings w;
    w.openFileOnStartup = false;
    return w;
  }();
  TDDecoratedFrame frame{host, settings, window};

  explicit TFixtureFrame(const std::string& path = fixturePath("gui.exe"), TSettings s = {})
      : settings(s) {
    frame.quit = [](int) {};
    frame.show();
    frame.document().settings().noScan = true;
    EXPECT_TRUE(frame.openFile(path)) << path;
  }
  TDocument& doc() { return frame.document(); }
  void key(int k) { QTest::keyClick(frame.listing(), Qt::Key(k)); }
};
