// Saving: backups, undo after saving, failures that must leave the file
// intact, the section-enlarged copy and the close questions.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/le_read.h"
#include "document/document.h"
#include "image/file_save.h"
#include "support/fixtures.h"
#include "support/pe_builder.h"
#include "support/process.h"
#include "support/recording_host.h"

namespace {

std::vector<uint8_t> pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 7);
  return v;
}

struct Saved {
  TempDir dir;
  RecordingHost host;
  TDocument doc{host};
  std::string path;
  explicit Saved(const std::vector<uint8_t>& bytes, const std::string& name = "prog.exe")
      : path(dir.file(name)) {
    writeFile(path, bytes);
    doc.setPath(path);
    EXPECT_EQ(doc.LoadFile(true), LOAD_OK);
  }
};

TEST(BackupNames, ExtensionReplacedOrAppended) {
  struct Case {
    const char* path;
    const char* backup;
  } cases[] = {{"/dir/file.exe", "/dir/file.bak"},
               {"/dir.x/file", "/dir.x/file.bak"},
               {"file.tar.gz", "file.tar.bak"},
               {"file", "file.bak"},
               {"/dir/.hidden", "/dir/.bak"}};
  for (const auto& c : cases) EXPECT_EQ(backupPathFor(c.path), c.backup) << c.path;
}

TEST(SaveFile, WritesTheBufferAndKeepsABackup) {
  Saved s(pattern(100));
  const uint8_t b = 0xEE;
  s.doc.ChangeMemory(10, &b, 1);
  ASSERT_TRUE(s.doc.SaveFile());
  EXPECT_FALSE(s.doc.fileChanged());
  auto now = pattern(100);
  now[10] = 0xEE;
  EXPECT_EQ(readFile(s.path), now);  // not the 16 zero bytes behind it
  EXPECT_EQ(readFile(s.dir.file("prog.bak")), pattern(100));
  // Undo after the save: the file differs from the disk again.
  EXPECT_TRUE(s.doc.undoAvailable());
  s.doc.undo();
  EXPECT_TRUE(s.doc.fileChanged());
  s.doc.redo();
  EXPECT_FALSE(s.doc.fileChanged());

  s.doc.settings().keepUndoAfterSave = false;
  s.doc.settings().createBackups = false;
  s.doc.ChangeMemory(11, &b, 1);
  ASSERT_TRUE(s.doc.SaveFile());
  EXPECT_FALSE(s.doc.undoAvailable());
  EXPECT_FALSE(s.doc.redoAvailable());
  EXPECT_EQ(readFile(s.dir.file("prog.bak")), pattern(100));  // no new backup
}

TEST(SaveFile, SavedStateUnreachableAfterUndoAndNewChange) {
  Saved s(pattern(50));
  const uint8_t a[2] = {1, 2}, b[2] = {3, 4};
  s.doc.ChangeMemory(0, a, 2);
  ASSERT_TRUE(s.doc.SaveFile());
  s.doc.undo();
  s.doc.undo();
  s.doc.ChangeMemory(20, b, 2);  // back at the saved position by count, not by content
  s.doc.undo();
  s.doc.redo();
  EXPECT_TRUE(s.doc.fileChanged());
  EXPECT_EQ(s.host.messages.size(), 0u);
}

TEST(SaveFile, FailuresLeaveTheFileOnDiskIntact) {
  Saved s(pattern(64));
  const uint8_t b = 0x55;
  s.doc.ChangeMemory(0, &b, 1);
  s.doc.setPath(s.dir.file("missing/dir/prog.exe"));
  EXPECT_FALSE(s.doc.SaveFile());
  ASSERT_EQ(s.host.messages.size(), 1u);
  EXPECT_EQ(s.host.messages[0].caption, "File error: Couldn't open file:");
  EXPECT_EQ(s.host.messages[0].text, s.dir.file("missing/dir/prog.exe"));
  EXPECT_TRUE(s.doc.fileChanged());

  RecordingHost none;
  TDocument empty(none);
  EXPECT_FALSE(empty.SaveFile());
  EXPECT_EQ(none.messageLines(), std::vector<std::string>{"File's not opened ;): What shall I save???"});
}

// A write that fails part-way (the file size limit stops it) reports the
// write error and leaves the old file and no temporary file behind.
TEST(SaveFile, WriteFailingPartWayKeepsTheOldFile) {
  Saved s(pattern(64 * 1024));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    const uint8_t b = 0x11;
    s.doc.ChangeMemory(0, &b, 1);
    const bool saved = s.doc.SaveFile();
    const bool told = s.host.messageLines() ==
                      std::vector<std::string>{"File error: Couldn't write the buffer into the file"};
    _exit(!saved && told && s.doc.fileChanged() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readFile(s.path), pattern(64 * 1024));
  EXPECT_EQ(runCommand("ls -A '" + s.dir.path() + "'").out, "prog.exe\n");
}

TEST(SaveFile, KeepsPermissions) {
  Saved s(pattern(16));
  chmod(s.path.c_str(), 0750);
  s.doc.settings().createBackups = false;
  ASSERT_TRUE(s.doc.SaveFile());
  struct stat st {};
  stat(s.path.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0750u);
}

TEST(SaveAs, AsksAndRenames) {
  Saved s(pattern(16));
  s.host.fileAnswers.push_back(s.dir.file("copy.exe"));
  ASSERT_TRUE(s.doc.saveFileAs());
  EXPECT_EQ(s.host.fileDialogTitles, std::vector<std::string>{"Save file as..."});
  EXPECT_EQ(s.doc.path(), s.dir.file("copy.exe"));
  EXPECT_EQ(readFile(s.dir.file("copy.exe")), pattern(16));
  EXPECT_FALSE(s.doc.saveFileAs());  // cancelled
}

// .text raw 0x200 (virtual 0x100); .data raw 0x200, virtual 0x1234;
// .rdata raw 0x200; file alignment 0x200; the table lists .rdata first.
TPeBuilder enlargeable() {
  TPeBuilder b;
  b.addSection(".text", 0x1000, 0x100, 0x200);
  b.addSection(".data", 0x2000, 0x1234, 0x200, 0xC0000040);
  b.addSection(".rdata", 0x4000, 0x100, 0x200, 0x40000040);
  std::swap(b.sections()[0], b.sections()[2]);
  return b;
}

std::vector<uint8_t> withFileAlignment(std::vector<uint8_t> f, uint32_t align) {
  writeLe32(&f[0x80 + 0x3C], align);
  for (size_t i = 0x400; i < f.size(); ++i) f[i] = uint8_t(i >> 4);
  return f;
}

TEST(EnlargedSave, LayoutOfTheCopy) {
  Saved s(withFileAlignment(enlargeable().build(), 0x200));
  s.doc.settings().createBackups = false;
  const std::string out = s.dir.file("big.exe");
  ASSERT_TRUE(s.doc.SaveFileAsSecEnlarged(out));
  EXPECT_TRUE(s.host.messages.empty()) << s.host.messageLines()[0];
  EXPECT_EQ(s.doc.path(), out);  // the copy is now the open file
  const auto orig = withFileAlignment(enlargeable().build(), 0x200);
  const auto copy = readFile(out);
  ASSERT_EQ(copy.size(), orig.size() + 0x1200);
  const TImageInfo& im = s.doc.image();
  ASSERT_EQ(im.sectionCount(), 3u);
  struct Expect {
    const char* name;
    uint32_t rawOffset, rawSize;
  } expect[] = {{".text", 0x400, 0x200}, {".data", 0x600, 0x1400}, {".rdata", 0x1A00, 0x200}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_STREQ(im.sections()[i].name, expect[i].name);
    EXPECT_EQ(im.sections()[i].rawOffset, expect[i].rawOffset);
    EXPECT_EQ(im.sections()[i].rawSize, expect[i].rawSize);
  }
  // .data's bytes, then 0x1200 zeros, then .rdata moved up by 0x1200.
  EXPECT_TRUE(std::equal(orig.begin() + 0x600, orig.begin() + 0x800, copy.begin() + 0x600));
  EXPECT_TRUE(std::all_of(copy.begin() + 0x800, copy.begin() + 0x1A00, [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::equal(orig.begin() + 0x800, orig.end(), copy.begin() + 0x1A00));
}

TEST(EnlargedSave, NothingToEnlargeOnlySortsTheTable) {
  TPeBuilder b = enlargeable();
  b.sections()[1].virtualSize = 0x100;
  auto orig = withFileAlignment(b.build(), 0x200);
  const uint32_t table = 0x80 + 0x78 + 8 * 16;
  writeLe32(&orig[table + 24], 0x12345678);  // PointerToRelocations of the first header
  Saved s(orig);
  ASSERT_TRUE(s.doc.SaveFileAsSecEnlarged(s.dir.file("same.exe")));
  auto copy = readFile(s.dir.file("same.exe"));
  ASSERT_EQ(copy.size(), orig.size());
  EXPECT_TRUE(std::equal(orig.begin(), orig.begin() + table, copy.begin()));
  EXPECT_TRUE(std::equal(orig.begin() + table + 120, orig.end(), copy.begin() + table + 120));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&copy[table])), ".text");
  EXPECT_EQ(readLe32(&copy[table + 80 + 24]), 0u);  // .rdata's relocation pointer cleared
}

TEST(EnlargedSave, RefusalsAndTheirMessages) {
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    std::string line;
  } cases[] = {
      {"not PE", std::vector<uint8_t>(600, 0x90), "Not a PE file!: This only works with PE files, yet!"},
      {"zero alignment", withFileAlignment(enlargeable().build(), 0),
       "TDWin::SaveFileAsSecEnlarged(): File align is zero: File align may not be zero!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Saved s(c.file);
    const std::string out = s.dir.file("out.exe");
    EXPECT_FALSE(s.doc.SaveFileAsSecEnlarged(out));
    ASSERT_EQ(s.host.messages.size(), 1u);
    EXPECT_EQ(s.host.messageLines()[0], c.line);
    EXPECT_EQ(access(out.c_str(), F_OK), -1);  // nothing left where the copy would go
  }
  // Raw data overlapping the new section table: nothing replaces the target.
  TPeBuilder b = enlargeable();
  b.sections()[2].rawOffset = 0x100;
  Saved s(withFileAlignment(b.build(), 0x200));
  writeFile(s.dir.file("keep.exe"), {1, 2, 3});
  EXPECT_FALSE(s.doc.SaveFileAsSecEnlarged(s.dir.file("keep.exe")));
  ASSERT_EQ(s.host.messages.size(), 1u);
  EXPECT_EQ(s.host.messages[0].text.rfind("Couldn't write the buffer into the file (filepos=", 0), 0u);
  EXPECT_EQ(readFile(s.dir.file("keep.exe")), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(CanClose, QuestionsAndAnswers) {
  struct Case {
    bool file, project;
    MsgAnswer answer;
    bool projectSaves;
    bool result;
    const char* caption;  // nullptr: no question
  } cases[] = {
      {false, false, MsgAnswer::Yes, true, true, nullptr},
      {true, false, MsgAnswer::No, true, true, "File has been changed!"},
      {true, false, MsgAnswer::Cancel, true, false, "File has been changed!"},
      {true, false, MsgAnswer::Yes, true, true, "File has been changed!"},
      {false, true, MsgAnswer::Yes, false, false, "Project has been changed!"},
      {false, true, MsgAnswer::Yes, true, true, "Project has been changed!"},
      {true, true, MsgAnswer::Yes, false, false, "File and project have been changed!"},
      {true, true, MsgAnswer::No, false, true, "File and project have been changed!"},
  };
  for (const auto& c : cases) {
    Saved s(pattern(8));
    s.doc.settings().createBackups = false;
    if (c.file) {
      const uint8_t b = 1;
      s.doc.ChangeMemory(0, &b, 1);
    }
    s.doc.setProjectChanged(c.project);
    s.doc.saveProject = [&] { return c.projectSaves; };
    s.host.answers.push_back(c.answer);
    EXPECT_EQ(s.doc.CanClose(), c.result);
    if (!c.caption) {
      EXPECT_TRUE(s.host.messages.empty());
      continue;
    }
    ASSERT_EQ(s.host.messages.size(), 1u);
    EXPECT_EQ(s.host.messages[0].caption, c.caption);
    EXPECT_EQ(s.host.messages[0].text, "Do you want to save?");
    EXPECT_EQ(s.host.messages[0].buttons, MsgButtons::YesNoCancel);
    if (c.file && c.answer == MsgAnswer::Yes) {
      EXPECT_FALSE(s.doc.fileChanged());
    }
  }
}

}  // namespace
