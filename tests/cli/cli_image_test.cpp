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

namespace {

// Whole listings and complete scans, byte for byte as they were before the
// listing and the scan's code pass were made faster: one SHA-256 of standard
// output per row. A row over a mingw DLL runs only on the build of that DLL
// its digest was taken from (the input's own digest says which).
TEST(Cli, WholeListingsAndScansKeepTheirOutput) {
  const std::string libgcc = "/usr/lib/gcc/i686-w64-mingw32/12-win32/libgcc_s_dw2-1.dll";
  const std::string libgccDigest = "1f9df6c3da7001caf8bbc9c65d61b8127dcf6909e48c833b0b3ea97e01ea643f";
  auto sha256 = [](const std::string& command) {
    return runCommand(command + " | sha256sum").out.substr(0, 64);
  };
  struct Case {
    std::string args;
    std::string file;  // a fixture name, or a path with inputDigest
    std::string digest;
    std::string inputDigest;
  } cases[] = {
      {"list --all --marks", "gui.exe", "a7c5668b375140362ef844d45544ac0e764dc840dfcf97f97667995f4c15457a", ""},
      {"list --all --marks", "tiny.exe", "2ac50195f8a05f28d09be552ad3b6fac43260d079f37219326456171b4be5782", ""},
      {"list --all --marks", "tally.exe", "208759b89fd5ce3cb43b3e3a4e3976e1ff3f66db105e61924fd555f77bd43d04", ""},
      {"list --all --marks", "dos.exe", "b2451dcf5608242d019da5d1f9fdf73e662797013b5f54a173fab8966c744978", ""},
      {"list --all --marks", "fixdll.dll", "48a6e349140e9f60db0777ee39766d372e74d960124d4ee6824b5c9dc68cb9be", ""},
      {"list --all --marks", "raw.bin", "e26e2e83a67e7ca3787b03367958811bcde18725a9792a362015c9ebcf6beb32", ""},
      {"list --all --marks --relocs", "gui.exe", "90e5a23f8c139fed45a6cde14d6b9f94653f9ad2c42f36a223c89fcc7ab735f3", ""},
      {"list --all --marks --file-offsets", "gui.exe", "372ceb84436eb14a770b8f86121e6733ebf6e63d4260e74e8365c813eeb14624", ""},
      {"list --all --16 --no-strings --marks", "tally.exe", "e06002195d14d8c24b7e84eee250eb94c03d77f75cf33f63f7d5045e3bc59f69", ""},
      {"refs --all", "gui.exe", "1d60179c3f7ec208f24c53ba838e08277820d10bb8f76ea543ae307309a69db4", ""},
      {"refs --all", "tiny.exe", "372802e19b17c28bafc7748d8a92e9d417a5d845f29b4c161a55a789cbf9e31a", ""},
      {"refs --all", "tally.exe", "ce0aa89d9801747e1819ab7bd9410e2e8593352ac4fefa9c55e2e4dad4854e07", ""},
      {"refs --all", "dos.exe", "6b9a3fdcbd8fe39c22514456cebffc463bd7b160f8e2bacfa480cf97e860aa2b", ""},
      {"refs --all", "fixdll.dll", "db28c78b227deac16fccd9ab92672fb3426d203766196cffe7a03a8fd961d926", ""},
      {"refs --all", "raw.bin", "4f249dd634bfb9028bbcb475b4a56af60a41c6c736fb917d75a86016c1c1bbc4", ""},
      {"list --all --no-refs", libgcc, "b5abf46636817ed6a11b55383485aae0097b155d52665a19ff56a96b3bc21566", libgccDigest},
      {"list --all --marks", libgcc, "883072275984f09fc2bed7f464e267086be1b9c357f6630d9ece9bb4f293a6c8", libgccDigest},
      {"refs --all", libgcc, "e65f525d83300ce7108e8ce936561ce0cfcb9144b80b16f85ad9ea1b26189efc", libgccDigest},
      {"refs --all --extreme", libgcc, "12b040927678b55ec4681829496e4da498310a6c6ce038a923a6bcf49704897d", libgccDigest},
  };
  for (const auto& c : cases) {
    const std::string path = c.inputDigest.empty() ? fixturePath(c.file) : c.file;
    SCOPED_TRACE(c.args + " " + path);
    if (!c.inputDigest.empty() && sha256("cat '" + path + "' 2>/dev/null") != c.inputDigest) continue;
    EXPECT_EQ(sha256(std::string(OXU_CLI_PATH) + " " + c.args + " '" + path + "' 2>/dev/null"), c.digest);
  }
}

}  // namespace
