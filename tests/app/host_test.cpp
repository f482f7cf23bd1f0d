// The Qt Host: calls from a worker thread reach the user-interface thread,
// and those that need an answer wait for the user's.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <functional>
#include <thread>

#include "app/comment_replace_dlg.h"
#include "app/qt_host.h"
#include "app/status_bar.h"
#include "app/trace_vis_window.h"
#include "app/window_geometry.h"
#include "support/recording_host.h"
#include "tracer/trace_vis.h"

namespace {

// Runs work on a thread while this thread serves events; `answer` is called
// with each modal window that opens.
void runOnWorker(const std::function<void()>& work, const std::function<void(QWidget*)>& answer) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  // The dialog runs its own event loop: a timer looks for it from inside that loop.
  QWidget* answered = nullptr;
  QTimer poll;
  poll.setInterval(2);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == answered) return;
    answered = modal;
    answer(modal);
  });
  poll.start();
  while (!done) QApplication::processEvents(QEventLoop::AllEvents, 5);
  worker.join();
}

TEST(QtHost, NameCollisionFromALoaderThread) {
  TQtHost host;
  struct Case {
    int button;
    const char* typed;
    int answer;
    const char* name;             // the new name afterwards
    uint32_t address = 0x401000;  // in the file: the dialog can show it
  } cases[] = {
      {REPLACE_ANSWER_REPLACE, "EditedName_TooLong", REPLACE_ANSWER_REPLACE, "EditedNa"},
      {REPLACE_ANSWER_ALWAYS_REPLACE, "Ignored", REPLACE_ANSWER_ALWAYS_REPLACE, "NewName"},
      {REPLACE_ANSWER_SKIP, "", REPLACE_ANSWER_SKIP, "NewName"},
      {REPLACE_ANSWER_ALWAYS_SKIP, "", REPLACE_ANSWER_ALWAYS_SKIP, "NewName"},
      {REPLACE_ANSWER_CANCEL, "", REPLACE_ANSWER_CANCEL, "NewName"},
      {-1, "", REPLACE_ANSWER_CANCEL, "NewName"},  // Escape
      {REPLACE_ANSWER_SKIP, "", REPLACE_ANSWER_SKIP, "NewName", 0x12345678},
  };
  std::vector<uint32_t> shown;
  host.addressInFile = [](uint32_t a) { return a == 0x401000; };
  host.showAddress = [&](uint32_t a) { shown.push_back(a); };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.button << " " << c.address);
    std::string name = "NewName";
    int answer = 0;
    runOnWorker([&] { answer = host.askReplaceName(c.address, "OldName", name, 9); },
                [&](QWidget* w) {
                  auto* dlg = qobject_cast<TCommentReplaceDlg*>(w);
                  ASSERT_NE(dlg, nullptr);
                  EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Address already has a name!"));
                  EXPECT_EQ(dlg->nameEdit()->text(), QStringLiteral("NewName"));
                  const bool inFile = c.address == 0x401000;
                  EXPECT_EQ(dlg->showAddressButton()->isEnabled(), inFile);
                  if (inFile) dlg->showAddressButton()->click();  // the dialog stays open
                  if (*c.typed) dlg->nameEdit()->setText(QString::fromLatin1(c.typed));
                  if (c.button < 0)
                    dlg->reject();
                  else
                    dlg->button(c.button)->click();
                });
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(name, c.name);
  }
  EXPECT_EQ(shown.size(), std::size(cases) - 1);
}

TEST(QtHost, MessagesFromAWorkerWaitForTheAnswer) {
  TQtHost host;
  MsgAnswer answer = MsgAnswer::Ok;
  runOnWorker(
      [&] {
        answer = host.message("Terminating thread manually", "Map file thread doesn't respond!",
                              MsgIcon::Warning, MsgButtons::YesNoCancel);
      },
      [](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QStringLiteral("Terminating thread manually"));
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Map file thread doesn't respond!"));
        EXPECT_GE(box->width(), titleWidth(*box));  // the caption is longer than the text
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box->button(QMessageBox::No)->click();
      });
  EXPECT_EQ(answer, MsgAnswer::No);
}

TEST(QtHost, StatusAndGaugesFromAWorker) {
  TQtHost host;
  TDStatusBar bar;
  host.setStatusBar(&bar);
  std::thread worker([&] {
    host.showGauges(true);
    for (int i = 0; i <= 100; ++i) {
      host.setGauge(1, i * 10, i);
      host.setStatusText("Scanning... " + std::to_string(i));
    }
    host.setStatusField(StatusField::FileSize, "7168 bytes");
    host.setStatusText(std::string(300, 'x'));  // kept to 259 characters
  });
  worker.join();
  QApplication::processEvents();
  EXPECT_EQ(bar.mainText(), QString(259, QLatin1Char('x')));
  EXPECT_EQ(bar.gauges()->value(1), 1000);
  EXPECT_FALSE(bar.gauges()->isHidden());
  EXPECT_EQ(bar.fileSizeText(), QStringLiteral("7168 bytes"));
}

TEST(TraceVisWindow, ScrollBarOnlyForTallPictures) {
  RecordingHost host;
  struct Case {
    uint32_t size;
    int height;
    bool scroll;
  } cases[] = {{7168, 23, false},
               {320 * 180, 180, false},
               {320 * 181, 180, true},
               {21485276, 180, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    TTraceVis vis(host, c.size);
    TTraceVisWindow w(vis);
    EXPECT_EQ(w.height(), c.height);
    EXPECT_EQ(w.scrollBar() != nullptr, c.scroll);
    EXPECT_EQ(w.picture().size(), QSize(320, c.height));
  }
  // Detached from the model when it goes.
  TTraceVis vis(host, 1000);
  { TTraceVisWindow w(vis); }
  EXPECT_FALSE(vis.pixelChanged);
  EXPECT_FALSE(vis.moved);
}

TEST(QtHost, QuestionsOfStoppingWorkersAreAbandoned) {
  TQtHost host;
  // The user-interface thread waits for the worker without serving events:
  // the worker's question is answered as cancelled instead of never.
  int answer = 0;
  MsgAnswer msg = MsgAnswer::Yes;
  std::thread worker([&] {
    std::string name = "N";
    answer = host.askReplaceName(0x401000, "O", name, 9);
    msg = host.message("Execute?", "Question", MsgIcon::Question, MsgButtons::YesNo);
  });
  host.setAbandonQuestions(true);
  worker.join();
  host.setAbandonQuestions(false);
  EXPECT_EQ(answer, REPLACE_ANSWER_CANCEL);
  EXPECT_EQ(msg, MsgAnswer::No);
  // Nothing is shown afterwards for the abandoned questions.
  QApplication::processEvents();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
