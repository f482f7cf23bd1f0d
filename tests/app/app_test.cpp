// The small pieces of the desktop program that have no window.
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/goto_dlg.h"
#include "app/qt_host.h"

namespace {

TEST(CommandLine, SwitchAndFileName) {
  struct Case {
    const char* rest;
    bool noScan;
    const char* file;
  } cases[] = {
      {"", false, ""},
      {"prog.exe", false, "prog.exe"},
      {"-noscan prog.exe", true, "prog.exe"},
      {"-NoScAn prog.exe", true, "prog.exe"},
      {"-noscanner prog.exe", true, "prog.exe"},  // six letters compared
      {"-nosca prog.exe", false, "-nosca prog.exe"},
      {"\"/tmp/with blanks/a b.exe\"", false, "/tmp/with blanks/a b.exe"},
      {"-noscan \"/tmp/x y.dll\"", true, "/tmp/x y.dll"},
      {"  /tmp/a b.exe  ", false, "/tmp/a b.exe"},
      {"-noscan", true, ""},
  };
  for (const Case& c : cases) {
    const TCommandLine l = parseCommandLine(std::string(c.rest));
    EXPECT_EQ(l.noScan, c.noScan) << c.rest;
    EXPECT_EQ(l.file, c.file) << c.rest;
  }
  EXPECT_EQ(parseCommandLine(std::string(400, 'a')).file.size(), 259u);

  // Words as the shell split them: a path with blanks arrives as one word.
  const char* argv[] = {"oxu-dasm", "-noscan", "/tmp/with blanks/p.exe"};
  const TCommandLine l = parseCommandLine(3, argv);
  EXPECT_TRUE(l.noScan);
  EXPECT_EQ(l.file, "/tmp/with blanks/p.exe");
}

TEST(GotoDialog, HexNumbers) {
  struct Case {
    const char* text;
    uint32_t value;
  } cases[] = {
      {"401000", 0x401000}, {"  1a2B", 0x1A2B},       {"12 34", 0x12},           {"", 0},
      {"xyz", 0},           {"FFFFFFFF", 0xFFFFFFFF}, {"100000000", 0xFFFFFFFF},  // no address: goes nowhere instead of wrapping to 0
  };
  for (const Case& c : cases) EXPECT_EQ(parseGotoHex(c.text), c.value) << c.text;
}

TEST(QtHost, FileFilters) {
  EXPECT_EQ(qtFileFilter("All files (*.*)"), QStringLiteral("All files (*)"));
  EXPECT_EQ(qtFileFilter("Map files (*.map)"), QStringLiteral("Map files (*.map)"));
}

}  // namespace
