// The document's project commands: finding the analysed file, the save commands with their thread
// check and dialogs, the load command with its close question, and the loader thread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "persist/project_test_support.h"

namespace {

using Lines = std::vector<std::string>;

bool sawStatus(const RecordingHost& host, const std::string& text) {
  return std::find(host.statusTexts.begin(), host.statusTexts.end(), text) !=
         host.statusTexts.end();
}

// Runs f with the current directory set to dir.
template <class F>
void inDirectory(const std::string& dir, F&& f) {
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  f();
  std::filesystem::current_path(old);
}

TEST(ProjectCommands, TheAnalysedFileIsFoundOrChosen) {
  TempDir dir;
  TProjectDoc maker("tiny.exe");
  maker.doc.names().add(0x401000, "kept", REPLACE_ALWAYS);
  ASSERT_EQ(maker.save(dir.file("base.oxu")), 1);
  const std::vector<uint8_t> base = readFile(dir.file("base.oxu"));
  const std::string tiny = fixturePath("tiny.exe");
  const std::string gui = fixturePath("gui.exe");
  const std::string missing = dir.file("nowhere/gone.exe");
  writeFile(dir.file("here.exe"), readFixture("tiny.exe"));

  struct Case {
    const char* what;
    std::string stored;                 // path in the project
    std::optional<std::string> dialog;  // answer of the "file not found" dialog
    int result;
    std::string pathAfter;  // the document's file afterwards
    bool loadsFile, asksUser, tooLong;
  };
  const std::string upper = tiny.substr(0, tiny.size() - 8) + "TINY.EXE";
  const Case cases[] = {
      {"same file", gui, std::nullopt, PROJECT_LOADED, gui, false, false, false},
      {"other file", tiny, std::nullopt, PROJECT_LOADED, tiny, true, false, false},
      {"name in the current directory", dir.path() + "/elsewhere/here.exe", std::nullopt,
       PROJECT_LOADED, "here.exe", true, false, false},
      {"chosen by hand", missing, tiny, PROJECT_LOADED, tiny, true, true, false},
      {"choice cancelled", missing, std::nullopt, PROJECT_CANCELLED, gui, false, true, false},
      {"case differs: another file", upper, std::nullopt, PROJECT_CANCELLED, gui, false, true,
       false},
      {"too long", "/" + std::string(258, 'x'), std::nullopt, PROJECT_LOADED, gui, false, false,
       true},
      {"just short enough", "/" + std::string(257, 'x'), std::nullopt, PROJECT_CANCELLED, gui,
       false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TProjectParts8 parts = splitProject(base);
    parts.sections[PS_FILENAME] = fileNameSection(c.stored);
    TProjectDoc p("gui.exe");
    p.host.fileAnswers.push_back(c.dialog);
    int rc = -1;
    inDirectory(dir.path(), [&] { rc = p.load(joinProject(parts)); });
    EXPECT_EQ(rc, c.result);
    EXPECT_EQ(p.doc.path(), c.pathAfter);
    EXPECT_EQ(sawStatus(p.host, "Loading file..."), c.loadsFile);
    EXPECT_EQ(p.host.fileDialogTitles,
              c.asksUser ? Lines{"File not found! Please select file to use with project..."}
                         : Lines{});
    const Lines messages = p.host.messageLines();
    EXPECT_EQ(!messages.empty() && messages[0] == "Warning!: Filename too long, will be ignored!",
              c.tooLong);
    if (rc == PROJECT_LOADED) {
      EXPECT_EQ(p.doc.names().lookup(0x401000), "kept");
    }
  }
}

TEST(ProjectCommands, OpenAndWriteFailures) {
  TempDir dir;
  TProjectDoc p("tiny.exe");
  p.doc.setProjectChanged(true);
  const std::string bad = dir.file("no/such/dir/p.oxu");
  EXPECT_EQ(p.save(bad), 0);
  ASSERT_EQ(p.host.messageLines().back(), "File error: Couldn't create file:: " + bad);
  EXPECT_TRUE(p.doc.projectChanged());

  EXPECT_EQ(p.load(dir.file("absent.oxu")), PROJECT_CANNOT_OPEN);
  EXPECT_EQ(p.host.messageLines().back(),
            "File error: Couldn't open file:: " + dir.file("absent.oxu"));

  // A project saved over a directory's name fails and leaves it alone.
  std::filesystem::create_directory(dir.file("d.oxu"));
  EXPECT_EQ(p.save(dir.file("d.oxu")), 0);
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("d.oxu")));

  // A failed save leaves the previous project in place.
  ASSERT_EQ(p.save(dir.file("keep.oxu")), 1);
  const auto before = readFile(dir.file("keep.oxu"));
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_read |
                                               std::filesystem::perms::owner_exec);
  if (::access(dir.path().c_str(), W_OK) != 0) {  // not when running as root
    p.doc.names().add(0x401000, "changed", REPLACE_ALWAYS);
    EXPECT_EQ(p.save(dir.file("keep.oxu")), 0);
    EXPECT_EQ(readFile(dir.file("keep.oxu")), before);
  }
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
}

TEST(ProjectCommands, SaveCommandsAskForANameOnlyWhenNoneIsRemembered) {
  TempDir dir;
  TProjectDoc p("tiny.exe");
  EXPECT_EQ(defaultProjectPath(p.doc), fixturePath("tiny.oxu"));
  p.doc.setPath("/a.b/prog");
  EXPECT_EQ(defaultProjectPath(p.doc), "/a.b/prog.oxu");
  p.doc.setPath(fixturePath("tiny.exe"));

  p.doc.setProjectChanged(true);
  p.host.fileAnswers.push_back(std::nullopt);
  EXPECT_FALSE(CmFileSaveProject(p.doc, p.state));  // dialog cancelled
  EXPECT_EQ(p.host.fileDialogTitles.back(), "Save project as...");
  EXPECT_TRUE(p.doc.projectChanged());

  p.host.fileAnswers.push_back(dir.file("named.oxu"));
  EXPECT_TRUE(CmFileSaveProject(p.doc, p.state));
  EXPECT_EQ(p.state.path, dir.file("named.oxu"));
  EXPECT_FALSE(p.doc.projectChanged());
  const size_t dialogs = p.host.fileDialogTitles.size();
  EXPECT_TRUE(CmFileSaveProject(p.doc, p.state));  // remembered: no dialog
  EXPECT_EQ(p.host.fileDialogTitles.size(), dialogs);

  p.host.fileAnswers.push_back(dir.file("other.oxu"));
  EXPECT_TRUE(CmFileSaveProjectAs(p.doc, p.state));
  EXPECT_EQ(p.host.fileDialogTitles.back(), "Save project as...");
  EXPECT_TRUE(std::filesystem::exists(dir.file("other.oxu")));

  // The close question's "save the project" goes through the same command.
  installProjectCommands(p.doc, p.state);
  p.doc.setProjectChanged(true);
  p.host.answers.push_back(MsgAnswer::Yes);
  EXPECT_TRUE(p.doc.CanClose());
  EXPECT_FALSE(p.doc.projectChanged());
}

TEST(ProjectCommands, SavingIsRefusedWhileTheScanRuns) {
  const std::string big = "/usr/lib/gcc/i686-w64-mingw32/12-win32/libstdc++-6.dll";
  if (!std::filesystem::exists(big)) GTEST_SKIP() << big;
  TempDir dir;
  RecordingHost host;
  TDocument doc(host);
  TProjectState state;
  state.path = dir.file("p.oxu");
  doc.setPath(big);
  doc.settings().noScan = true;
  ASSERT_EQ(doc.LoadFile(true), LOAD_OK);
  doc.workers().startReferenceScan();
  if (!doc.workers().scanning()) GTEST_SKIP() << "the scan ended before it could be watched";
  EXPECT_FALSE(CmFileSaveProject(doc, state));
  EXPECT_EQ(
      host.messageLines().back(),
      "Other threads still active!: Project saving, while other threads\nare running, isn't supported yet!");
  EXPECT_EQ(host.messages.back().icon, MsgIcon::Information);
  EXPECT_FALSE(std::filesystem::exists(state.path));
  doc.workers().stopReferenceScan();
  EXPECT_TRUE(CmFileSaveProject(doc, state));
}

TEST(ProjectCommands, LoadCommandAsksBeforeItLoadsOnItsThread) {
  TempDir dir;
  TProjectDoc maker("gui.exe", true);
  maker.doc.names().add(0x401234, "from_the_project", REPLACE_ALWAYS);
  ASSERT_EQ(maker.save(dir.file("p.oxu")), 1);

  TProjectDoc p("tiny.exe");
  p.doc.setProjectChanged(true);
  p.host.answers.push_back(MsgAnswer::Cancel);
  EXPECT_FALSE(CmFileLoadProject(p.doc, p.state));
  EXPECT_TRUE(p.host.fileDialogTitles.empty());
  EXPECT_EQ(p.host.messages.back().caption, "Project has been changed!");

  p.host.answers.push_back(MsgAnswer::No);
  p.host.fileAnswers.push_back(std::nullopt);
  EXPECT_FALSE(CmFileLoadProject(p.doc, p.state));
  EXPECT_EQ(p.host.fileDialogTitles.back(), "Load project...");

  // The question comes again at the start of the load itself.
  p.host.answers.push_back(MsgAnswer::No);
  p.host.answers.push_back(MsgAnswer::No);
  p.host.fileAnswers.push_back(dir.file("p.oxu"));
  const size_t questions = p.host.messages.size();
  std::string chosen;
  {
    // The document owns the loader thread: the load must not need the state that started it.
    TProjectState started = p.state;
    ASSERT_TRUE(CmFileLoadProject(p.doc, started));
    chosen = started.path;
  }
  p.doc.workers().projectLoader().join();
  EXPECT_EQ(p.host.messages.size(), questions + 2);
  EXPECT_EQ(p.doc.workers().projectLoader().result(), PROJECT_LOADED);
  EXPECT_FALSE(p.doc.workers().projectLoader().running());
  EXPECT_EQ(chosen + "|" + p.doc.path(), dir.file("p.oxu") + "|" + fixturePath("gui.exe"));
  EXPECT_EQ(p.doc.names().lookup(0x401234), "from_the_project");
  EXPECT_EQ(p.doc.stores().jumpCalls.count(), maker.doc.stores().jumpCalls.count());
  EXPECT_FALSE(p.doc.projectChanged() || otherThreadsActive(p.doc, p.state));
}

}  // namespace
