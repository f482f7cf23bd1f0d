// The main frame over a file, with a settings file of its own in a scratch
// folder, and the acts a user makes in its windows: keys, commands, choosing
// a line, clicking a text.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <fstream>
#include <sstream>

#include "app/main_window.h"
#include "document/document.h"
#include "persist/profile_file.h"
#include "support/fixtures.h"
#include "support/recording_host.h"

struct TAppFrame {
  // file: a fixture's name, a path, or "" for an empty window. scanned: the
  // reference scan runs and has ended; otherwise it is switched off. ini: the
  // settings file's text before the frame starts.
  explicit TAppFrame(const std::string& file = "gui.exe", bool scanned = false,
                     const std::string& ini = "")
      : iniWritten(writeIni(ini)) {
    if (!file.empty()) load(file, scanned);
    host.messages.clear();
  }
  // A file with these bytes, without a scan.
  explicit TAppFrame(const std::vector<uint8_t>& bytes, const std::string& ini = "")
      : iniWritten(writeIni(ini)) {
    writeFile(dir.file("f.bin"), bytes);
    load(dir.file("f.bin"));
    host.messages.clear();
  }
  // Loads a fixture or a path as the user's Open does.
  void load(const std::string& file, bool scanned = false) {
    doc().settings().noScan = !scanned;
    EXPECT_TRUE(frame.openFile(file.find('/') == std::string::npos ? fixturePath(file) : file))
        << file;
    if (scanned) {
      doc().workers().waitReferenceScan();
      // The scanner's notices arrive through the event queue.
      QApplication::processEvents();
    }
  }

  TDocument& doc() { return frame.document(); }
  void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QTest::keyClick(frame.listing(), Qt::Key(k), m);
  }
  // Runs the window's command; the window is then shown.
  template <class Dlg>
  Dlg* open(int command, Dlg* (TDDecoratedFrame::*window)() const) {
    frame.runCommand(command);
    Dlg* d = (frame.*window)();
    EXPECT_TRUE(d && d->isVisible());
    return d;
  }
  uint32_t newestKind() {
    const TReturnManager& h = doc().history();
    return h.count() ? h.getReturn(h.count() - 1).kind : 0xFFFFFFFFu;
  }
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
  bool iniWritten;
  RecordingHost host;
  TSettings settings = readSettings(profile);
  TMainWindowSettings window = [this] {
    TMainWindowSettings w = readMainWindowSettings(profile);
    w.openFileOnStartup = false;
    return w;
  }();
  std::vector<int> quits;  // the exit codes the frame ended the run with
  TDDecoratedFrame frame{host, settings, window, &profile};  // goes first, before the settings file
  bool shown = [this] {
    frame.quit = [this](int code) { quits.push_back(code); };
    frame.show();
    return true;
  }();

 private:
  bool writeIni(const std::string& ini) {
    if (!ini.empty()) std::ofstream(profile.path(), std::ios::binary) << ini;
    return true;
  }
};

// The texts of a list window's lines.
inline std::vector<std::string> texts(const TLineList* list) {
  std::vector<std::string> out;
  for (int i = 0; i < list->count(); ++i) out.push_back(list->text(i).toStdString());
  return out;
}

// A click on line `row`, scrolled into view first.
inline void clickRow(TLineList* list, int row) {
  const QModelIndex index = list->model()->index(row, 0);
  list->scrollTo(index);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
}

// The first line that starts with `text`.
inline int rowOf(const TLineList* list, const std::string& text) {
  for (int i = 0; i < list->count(); ++i)
    if (list->text(i).toStdString().starts_with(text)) return i;
  ADD_FAILURE() << "no line " << text;
  return -1;
}

// A click on line `line` of a text, scrolled into view first.
inline void clickLine(QPlainTextEdit* text, int line) {
  text->verticalScrollBar()->setValue(line);
  QTextCursor at(text->document()->findBlockByNumber(line));
  QTest::mouseClick(text->viewport(), Qt::LeftButton, {}, text->cursorRect(at).center());
  ASSERT_EQ(text->textCursor().blockNumber(), line);
}
