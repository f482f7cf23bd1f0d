// The oxu tool end to end: exit codes, messages on standard error, text and JSON.
#include <gtest/gtest.h>

#include "cli/cli_args.h"
#include "support/fixtures.h"
#include "support/process.h"

namespace {

TCommandResult oxu(const std::string& args) { return runCommand(std::string(OXU_CLI_PATH) + " " + args); }

std::string fx(const char* name) { return "'" + fixturePath(name) + "'"; }

TEST(Cli, ExitCodesAndMessages) {
  TempDir dir;
  const std::string out = "'" + dir.file("out.exe") + "'";
  struct Case {
    std::string args;
    int exit;
    std::string inOut, inErr;
    bool wholeErr = false;  // inErr is all of standard error (commands without a scan say nothing)
  } cases[] = {
      {"", 1, "usage: oxu", ""},
      {"--help", 0, "exit codes", ""},
      {"--version", 0, "2.35", ""},
      {"frobnicate x", 1, "", "unknown command"},
      {"info", 1, "", "expected 1 file argument"},
      {"info --bogus " + fx("gui.exe"), 1, "", "unknown option --bogus"},
      {"info /nonexistent/x.exe", 2, "", "File error: Couldn't open file:: /nonexistent/x.exe"},
      {"exports " + fx("gui.exe"), 3, "",
       "Unable to show exported functions!: This programm doesn't export any functions!"},
      {"conv " + fx("gui.exe") + " --rva 1000 --mem 1", 1, "", "exactly one"},
      {"conv " + fx("gui.exe") + " --rva zz", 1, "", "not a hexadecimal"},
      {"info " + fx("gui.exe"), 0, "entry offset", "", true},
      {"conv " + fx("gui.exe") + " --rva 1000", 0, "file offset", "", true},
      {"imports " + fx("gui.exe"), 0, "module", "", true},
      {"exports " + fx("fixdll.dll"), 0, "FwdTick", "", true},
      {"relocs " + fx("gui.exe"), 0, "block", "", true},
      {"tls " + fx("gui.exe"), 0, "Callback 1", "", true},
      {"props " + fx("gui.exe"), 0, ".text", "", true},
      {"search " + fx("gui.exe") + " --ascii PE", 0, "00000080", "", true},
      {"patch " + fx("gui.exe") + " --at 625 --bytes 90 --out " + out, 0, "1 bytes written", "", true},
      {"enlarge " + fx("tiny.exe") + " " + out, 0, "written", "", true},
      {"load-map --quiet " + fx("dos.exe") + " " + fx("dos.map"), 0, "symbols loaded", "", true},
      {"load-def --quiet " + fx("fixdll.dll") + " " + fx("fixdll.def"), 0, "FixVersion", "", true},
      {"trace " + fx("raw.bin"), 3, "", "No trace point given!\noxu trace: EIP FFFFFFFF is outside the file\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    TCommandResult r = oxu(c.args);
    EXPECT_EQ(r.exit, c.exit);
    EXPECT_NE(r.out.find(c.inOut), std::string::npos) << r.out;
    if (c.wholeErr)
      EXPECT_EQ(r.err, c.inErr);
    else
      EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
  }
}

TEST(Cli, ImageCommandsPrintTheModel) {
  struct Case {
    std::string args;
    std::vector<std::string> lines;  // each must appear in standard output
  } cases[] = {
      {"info " + fx("gui.exe"),
       {"entry offset          00000625", "image base            00400000",
        "   6  .reloc    00007000",
        "\"Show image &properties\" \"Show &imports\" \"&Resources\"(\"Show &menus\" \"Show &strings\")\n"}},
      {"info --json " + fx("gui.exe"), {"\"commands\":[130,156,161,162]"}},
      {"info --json " + fx("dos.exe"),
       {"\"isMZ\":1", "\"isPE\":0", "\"entryOffset\":544", "\"imageBase\":4294967264",
        "\"commands\":[]"}},
      {"conv " + fx("gui.exe") + " --rva 0x1225", {"file offset           00000625", "memory address        00401225"}},
      {"conv " + fx("tiny.exe") + " --offset 0xFFFFFF", {"file offset           NOT_IN_FILE", "RVA                   NOT_IN_FILE"}},
      {"conv --json " + fx("gui.exe") + " --mem 401000", {"\"fileOffset\":1024", "\"section\":\".text\""}},
      {"imports " + fx("gui.exe"), {"module D0121000 fixdll.dll", "  80000003 ORD: 0003"}},
      {"exports " + fx("fixdll.dll"), {"    2        3", "ORD: 0003", "FwdTick"}},
      {"relocs " + fx("gui.exe") + " --rva 101F", {"RVA 0000101F: state 2, entry offset 00001A08"}},
      {"tls " + fx("gui.exe"), {"  145  Callback 1 (:004011E3)", "  147  Callback 3 (grayed)"}},
      {"tls --json " + fx("raw.bin"), {"\"callbacks\":[]", "\"enabled\":false"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    TCommandResult r = oxu(c.args);
    EXPECT_EQ(r.exit, 0) << r.err;
    for (const auto& l : c.lines) EXPECT_NE(r.out.find(l), std::string::npos) << l << "\n" << r.out;
  }
}

TEST(CliArgs, Addresses) {
  struct Case {
    const char* text;
    std::optional<uint32_t> value;
  } cases[] = {{"401000", 0x401000}, {"0x401000", 0x401000}, {"401000h", 0x401000},
               {"#100", 100},        {"FFFFFFFF", 0xFFFFFFFF}, {"100000000", std::nullopt},
               {"", std::nullopt},   {"0x", std::nullopt},     {"12g", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(parseAddress(c.text), c.value) << c.text;
}

}  // namespace

namespace {

TEST(Cli, PatchAndEnlarge) {
  TempDir dir;
  const std::string exe = dir.file("gui.exe");
  writeFile(exe, readFixture("gui.exe"));
  TCommandResult r = runCommand(std::string(OXU_CLI_PATH) + " patch '" + exe + "' --at 625 --bytes 'CC 90'");
  EXPECT_EQ(r.exit, 0) << r.err;
  auto patched = readFile(exe);
  EXPECT_EQ(patched[0x625], 0xCC);
  EXPECT_EQ(patched[0x626], 0x90);
  EXPECT_EQ(readFile(dir.file("gui.bak")), readFixture("gui.exe"));

  r = runCommand(std::string(OXU_CLI_PATH) + " patch '" + exe + "' --at 1BFF --bytes 0102");
  EXPECT_EQ(r.exit, 3);
  EXPECT_NE(r.err.find("Warning!: Invalid ChangeMemory() call"), std::string::npos);

  r = runCommand(std::string(OXU_CLI_PATH) + " enlarge '" + fixturePath("tiny.exe") + "' '" +
                 dir.file("big.exe") + "'");
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.out.find(".data"), std::string::npos);
  r = runCommand(std::string(OXU_CLI_PATH) + " enlarge '" + fixturePath("dos.exe") + "' '" +
                 dir.file("dos2.exe") + "'");
  EXPECT_EQ(r.exit, 3);
  EXPECT_NE(r.err.find("Not a PE file!: This only works with PE files, yet!"), std::string::npos);

  // Past the file-size limit the write fails and is reported; the process is
  // not killed by the limit's signal and leaves no temporary file.
  r = runCommand("ulimit -f 2; " + std::string(OXU_CLI_PATH) + " enlarge '" + fixturePath("tally.exe") +
                 "' '" + dir.file("limited.exe") + "'");
  EXPECT_EQ(r.exit, 3);
  EXPECT_NE(r.err.find("File error: Couldn't write the buffer into the file (filepos=00000000, "
                       "bytestowrite=00001600)"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(runCommand("ls -A '" + dir.path() + "' | grep -c limited").out, "0\n");
}

}  // namespace

namespace {

TEST(Cli, LoadSymbolFiles) {
  const std::string oxu = std::string(OXU_CLI_PATH);
  TCommandResult r = runCommand(oxu + " load-map " + fx("dos.exe") + " " + fx("dos.map"));
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.out.find("9 symbols loaded!\n"), std::string::npos);
  EXPECT_NE(r.out.find("00000220 _start\n"), std::string::npos);
  r = runCommand(oxu + " load-def --replace-all " + fx("fixdll.dll") + " " + fx("fixdll.def"));
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.out.find("FixHidden"), std::string::npos);
  r = runCommand(oxu + " load-map " + fx("fixdll.dll") + " " + fx("fixdll.map"));
  EXPECT_NE(r.err.find("Address already has a name!: 1000102A \"FixAdd\" -> \"_FixAdd\" (kept)"),
            std::string::npos);
  r = runCommand(oxu + " load-def " + fx("gui.exe") + " " + fx("fixdll.def"));
  EXPECT_EQ(r.exit, 3);
}

}  // namespace

namespace {

TEST(Cli, TraceSteps) {
  const std::string oxu = std::string(OXU_CLI_PATH);
  TempDir dir;
  TCommandResult r = runCommand(oxu + " trace " + fx("gui.exe") + " --entry --steps 5 --vis '" +
                                dir.file("v.ppm") + "'");
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_NE(r.out.find("start EIP=00401225 (offset 00000625)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("5 steps"), std::string::npos);
  EXPECT_NE(r.out.find("EIP=0040122B"), std::string::npos);  // after five pushes and moves
  const auto ppm = readFile(dir.file("v.ppm"));
  const std::string header = "P6\n320 23\n255\n";  // 7168 bytes: 23 rows
  ASSERT_GT(ppm.size(), header.size());
  EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + long(header.size())), header);
  EXPECT_EQ(ppm.size(), header.size() + 320u * 23 * 3);

  r = runCommand(oxu + " trace " + fx("gui.exe") + " --tls 3");
  EXPECT_EQ(r.exit, 3);
  r = runCommand(oxu + " trace " + fx("gui.exe") + " --entry --break 62B --steps 50");
  EXPECT_NE(r.out.find("stopped at 0040122B after 5 steps: Breakpoint reached!"), std::string::npos) << r.out;
}

}  // namespace

namespace {

TEST(Cli, ResourcesAndImportReferences) {
  const std::string oxu = std::string(OXU_CLI_PATH) + " ";
  struct Case {
    std::string args;
    int exit;
    std::vector<std::string> lines;
  } cases[] = {
      {"menus --refs --menu 101 " + fx("gui.exe"), 0,
       {"menus: \"CONTEXT\" 101\n", "  MENUITEM \"&New\", 200 // = 0x00C8\n         000007E5  -  :004013E5\n"}},
      {"menus --menu CONTEXT " + fx("gui.exe"), 0, {"  MENUITEM \"&Paste\", 501, INACTIVE // = 0x01F5\n"}},
      {"strings --find \"WORD WRAP IS OFF\" " + fx("gui.exe"), 0, {"ID 0x0029 (00041): Word wrap is off\n"}},
      {"strings --find nowhere " + fx("gui.exe"), 3, {}},
      {"strings --only-referenced " + fx("gui.exe"), 0, {"ID 0x0011 (00017): gui.exe - a tiny Windows program\n"}},
      {"imports --refs " + fx("gui.exe"), 0, {"  OZ: 0003\n       0000065D  -  :0040125D\n"}},
      {"menus " + fx("fixdll.dll"), 3, {}},  // no resources: the message, no lines
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    TCommandResult r = runCommand(oxu + c.args);
    EXPECT_EQ(r.exit, c.exit) << r.err;
    for (const auto& l : c.lines) EXPECT_NE(r.out.find(l), std::string::npos) << l << "\n" << r.out;
  }
}

}  // namespace
