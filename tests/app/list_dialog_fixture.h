// The main frame on a fixture file whose reference scan has ended, with the
// acts a user makes in the list windows: choosing a line, clicking a text.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTest>

#include "app/main_window.h"
#include "document/document.h"
#include "persist/profile_file.h"
#include "support/fixtures.h"
#include "support/recording_host.h"

struct TListFrame {
  RecordingHost host;
  TempDir dir;
  TProfileFile profile{dir.file("OXU-DASM.INI")};
  TSettings settings;
  TMainWindowSettings window = [] {
    TMainWindowSettings w;
    w.openFileOnStartup = false;
    return w;
  }();
  TDDecoratedFrame frame{host, settings, window, &profile};

  explicit TListFrame(const std::string& fixture) {
    frame.show();
    EXPECT_TRUE(frame.openFile(fixturePath(fixture))) << fixture;
    doc().workers().waitReferenceScan();
    // The scanner's notices arrive through the event queue.
    QApplication::processEvents();
  }
  TDocument& doc() { return frame.document(); }
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

inline int rowOf(const TLineList* list, const std::string& text) {
  for (int i = 0; i < list->count(); ++i)
    if (list->text(i).toStdString() == text) return i;
  ADD_FAILURE() << "no line " << text;
  return -1;
}

// A click on line `line` of the menu text, scrolled into view first.
inline void clickLine(QPlainTextEdit* text, int line) {
  text->verticalScrollBar()->setValue(line);
  QTextCursor at(text->document()->findBlockByNumber(line));
  QTest::mouseClick(text->viewport(), Qt::LeftButton, {}, text->cursorRect(at).center());
  ASSERT_EQ(text->textCursor().blockNumber(), line);
}
