// The oxu tool end to end: exit codes, messages on standard error, text and JSON.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "cli/cli_args.h"
#include "support/fixtures.h"
#include "support/process.h"

namespace {

// "@name" in a row's arguments is the quoted path of a fixture, "%name" of a file in `dir`.
std::string withPaths(const std::string& args, const TempDir& dir) {
  const std::string fixtures = std::regex_replace(args, std::regex("@([\\w.]+)"),
                                                  "'" + fixturePath("$1") + "'");
  return std::regex_replace(fixtures, std::regex("%([\\w.]+)"), "'" + dir.file("$1") + "'");
}

// Rows run in order: the patches change the copy of gui.exe in the folder.
TEST(Cli, CommandsEndToEnd) {
  TempDir dir;
  writeFile(dir.file("gui.exe"), readFixture("gui.exe"));
  struct Case {
    std::string args;
    int exit;
    std::string out;  // fragments of standard output, each between '|'
    std::string err;  // a fragment of standard error; after '=' all of it
  } cases[] = {
      {"", 1, "usage: oxu", ""},
      {"--help", 0, "exit codes", ""},
      {"--version", 0, "2.35", ""},
      {"frobnicate x", 1, "", "unknown command"},
      {"info", 1, "", "expected 1 file argument"},
      {"info --bogus @gui.exe", 1, "", "unknown option --bogus"},
      {"info /nonexistent/x.exe", 2, "", "File error: Couldn't open file:: /nonexistent/x.exe"},
      {"exports @gui.exe", 3, "",
       "Unable to show exported functions!: This programm doesn't export any functions!"},
      {"conv @gui.exe --rva 1000 --mem 1", 1, "", "exactly one"},
      {"conv @gui.exe --rva zz", 1, "", "not a hexadecimal"},
      // Commands without a scan say nothing on standard error.
      {"info @gui.exe", 0,
       "entry offset          00000625|image base            00400000|   6  .reloc    00007000|"
       "\"Show image &properties\" \"Show &imports\" \"&Resources\"(\"Show &menus\" \"Show &strings\")\n",
       "="},
      {"info --json @gui.exe", 0, "\"commands\":[130,156,161,162]", ""},
      {"info --json @dos.exe", 0,
       "\"isMZ\":1|\"isPE\":0|\"entryOffset\":544|\"imageBase\":4294967264|\"commands\":[]", ""},
      {"conv @gui.exe --rva 0x1225", 0,
       "file offset           00000625|memory address        00401225", "="},
      {"conv @tiny.exe --offset 0xFFFFFF", 0,
       "file offset           NOT_IN_FILE|RVA                   NOT_IN_FILE", ""},
      {"conv --json @gui.exe --mem 401000", 0, "\"fileOffset\":1024|\"section\":\".text\"", ""},
      {"imports @gui.exe", 0, "module D0121000 fixdll.dll|  80000003 ORD: 0003", "="},
      {"exports @fixdll.dll", 0, "    2        3|ORD: 0003|FwdTick", "="},
      {"relocs @gui.exe", 0, "block", "="},
      {"relocs @gui.exe --rva 101F", 0, "RVA 0000101F: state 2, entry offset 00001A08", "="},
      {"tls @gui.exe", 0, "  145  Callback 1 (:004011E3)|  147  Callback 3 (grayed)", "="},
      {"tls --json @raw.bin", 0, "\"callbacks\":[]|\"enabled\":false", ""},
      {"props @gui.exe", 0, ".text", "="},
      {"search @gui.exe --ascii PE", 0, "00000080", "="},
      {"list @gui.exe --no-refs --mem 1", 3, "",
       "=Invalid memory address!: Sorry, address is not in file!\n"},
      {"menus --refs --menu 101 @gui.exe", 0,
       "menus: \"CONTEXT\" 101\n|"
       "  MENUITEM \"&New\", 200 // = 0x00C8\n         000007E5  -  :004013E5\n",
       ""},
      {"menus --menu CONTEXT @gui.exe", 0, "  MENUITEM \"&Paste\", 501, INACTIVE // = 0x01F5\n",
       ""},
      {"strings --find \"WORD WRAP IS OFF\" @gui.exe", 0, "ID 0x0029 (00041): Word wrap is off\n",
       ""},
      {"strings --find nowhere @gui.exe", 3, "", ""},
      {"strings --only-referenced @gui.exe", 0,
       "ID 0x0011 (00017): gui.exe - a tiny Windows program\n", ""},
      {"imports --refs @gui.exe", 0, "  OZ: 0003\n       0000065D  -  :0040125D\n", ""},
      {"menus @fixdll.dll", 3, "", ""},  // no resources: the message, no lines
      {"menus @dos.exe", 3, "", "=oxu menus: no menu resources listed\n"},  // not PE: no message
      {"strings --quiet @dos.exe", 3, "", "=oxu strings: no string-table strings listed\n"},
      {"patch @gui.exe --at 625 --bytes 90 --out %out.exe", 0, "1 bytes written", "="},
      {"patch %gui.exe --at 625 --bytes 'CC 90'", 0, "", ""},
      {"patch %gui.exe --at 1BFF --bytes 0102", 3, "", "Warning!: Invalid ChangeMemory() call"},
      {"enlarge @tiny.exe %out.exe", 0, "written|.data", "="},
      {"enlarge @dos.exe %out.exe", 3, "", "Not a PE file!: This only works with PE files, yet!"},
      // Past the file-size limit the write fails and is reported; the process
      // is not killed by the limit's signal (and leaves no temporary file, below).
      {"enlarge @tally.exe %limited.exe", 3, "",
       "File error: Couldn't write the buffer into the file (filepos=00000000, bytestowrite=00001600)"},
      // A project whose file is gone asks for another; oxu says it cannot.
      {"project save %out.exe %lost.oxu && rm %out.exe && " + std::string(OXU_CLI_PATH) +
           " project load %lost.oxu",
       3, "",
       "=File not found! Please select file to use with project...: out.exe (no file dialog in oxu: declined)\n"},
      {"load-map --quiet @dos.exe @dos.map", 0, "symbols loaded", "="},
      {"load-map @dos.exe @dos.map", 0, "9 symbols loaded!\n|00000220 _start\n", ""},
      {"load-def --quiet @fixdll.dll @fixdll.def", 0, "FixVersion", "="},
      {"load-def --replace-all @fixdll.dll @fixdll.def", 0, "FixHidden", ""},
      {"load-map @fixdll.dll @fixdll.map", 0, "",
       "Address already has a name!: 1000102A \"FixAdd\" -> \"_FixAdd\" (kept)"},
      {"load-def @gui.exe @fixdll.def", 3, "", ""},
      {"trace @raw.bin", 3, "",
       "=No trace point given!\noxu trace: EIP FFFFFFFF is outside the file\n"},
      // Five pushes and moves.
      {"trace @gui.exe --entry --steps 5 --vis %v.ppm", 0,
       "start EIP=00401225 (offset 00000625)|5 steps|EIP=0040122B", ""},
      {"trace @gui.exe --tls 3", 3, "", ""},
      {"trace @gui.exe --entry --break 62B --steps 50", 0,
       "stopped at 0040122B after 5 steps: Breakpoint reached!", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const TCommandResult r =
        runCommand((c.args.find("tally.exe") != std::string::npos ? "ulimit -f 2; " : "") +
                   std::string(OXU_CLI_PATH) + " " + withPaths(c.args, dir));
    EXPECT_EQ(r.exit, c.exit) << r.err;
    std::istringstream fragments(c.out);
    for (std::string l; std::getline(fragments, l, '|');)
      EXPECT_NE(r.out.find(l), std::string::npos) << l << "\n" << r.out;
    if (c.err[0] == '=')
      EXPECT_EQ(r.err, c.err.substr(1));
    else
      EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  // The in-place patch kept a backup; the failed one past the end wrote nothing.
  const auto patched = readFile(dir.file("gui.exe"));
  EXPECT_EQ(std::vector<uint8_t>(patched.begin() + 0x625, patched.begin() + 0x627),
            (std::vector<uint8_t>{0xCC, 0x90}));
  EXPECT_EQ(readFile(dir.file("gui.bak")), readFixture("gui.exe"));
  EXPECT_EQ(runCommand("ls -A '" + dir.path() + "' | grep -c limited").out, "0\n");
  const auto ppm = readFile(dir.file("v.ppm"));
  const std::string header = "P6\n320 23\n255\n";  // 7168 bytes: 23 rows
  ASSERT_EQ(ppm.size(), header.size() + 320u * 23 * 3);
  EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + long(header.size())), header);
}

TEST(CliArgs, Addresses) {
  struct Case {
    const char* text;
    std::optional<uint32_t> value;
  } cases[] = {{"401000", 0x401000}, {"0x401000", 0x401000},   {"401000h", 0x401000},
               {"#100", 100},        {"FFFFFFFF", 0xFFFFFFFF}, {"100000000", std::nullopt},
               {"", std::nullopt},   {"0x", std::nullopt},     {"12g", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(parseAddress(c.text), c.value) << c.text;
}

// Whole listings and complete scans, byte for byte as they were before the
// listing and the scan's code pass were made faster: one SHA-256 of standard
// output per row.
TEST(Cli, WholeListingsAndScansKeepTheirOutput) {
  const std::string libgcc = "/usr/lib/gcc/i686-w64-mingw32/12-win32/libgcc_s_dw2-1.dll";
  auto sha256 = [](const std::string& command) {
    return runCommand(command + " | sha256sum").out.substr(0, 64);
  };
  // The rows over the mingw DLL run only on the build of it their digests were taken from.
  const bool libgccAsTaken = sha256("cat '" + libgcc + "' 2>/dev/null") ==
                             "1f9df6c3da7001caf8bbc9c65d61b8127dcf6909e48c833b0b3ea97e01ea643f";
  const std::string kList = "list --all --marks", kRefs = "refs --all";
  struct Case {
    std::string args;
    std::string file;  // a fixture's name, or a path
    std::string digest;
  } cases[] = {
      {kList, "gui.exe", "a7c5668b375140362ef844d45544ac0e764dc840dfcf97f97667995f4c15457a"},
      {kList, "tiny.exe", "2ac50195f8a05f28d09be552ad3b6fac43260d079f37219326456171b4be5782"},
      {kList, "tally.exe", "208759b89fd5ce3cb43b3e3a4e3976e1ff3f66db105e61924fd555f77bd43d04"},
      {kList, "dos.exe", "b2451dcf5608242d019da5d1f9fdf73e662797013b5f54a173fab8966c744978"},
      {kList, "fixdll.dll", "48a6e349140e9f60db0777ee39766d372e74d960124d4ee6824b5c9dc68cb9be"},
      {kList, "raw.bin", "e26e2e83a67e7ca3787b03367958811bcde18725a9792a362015c9ebcf6beb32"},
      {kList + " --relocs", "gui.exe",
       "90e5a23f8c139fed45a6cde14d6b9f94653f9ad2c42f36a223c89fcc7ab735f3"},
      {kList + " --file-offsets", "gui.exe",
       "372ceb84436eb14a770b8f86121e6733ebf6e63d4260e74e8365c813eeb14624"},
      {"list --all --16 --no-strings --marks", "tally.exe",
       "e06002195d14d8c24b7e84eee250eb94c03d77f75cf33f63f7d5045e3bc59f69"},
      {kRefs, "gui.exe", "1d60179c3f7ec208f24c53ba838e08277820d10bb8f76ea543ae307309a69db4"},
      {kRefs, "tiny.exe", "372802e19b17c28bafc7748d8a92e9d417a5d845f29b4c161a55a789cbf9e31a"},
      {kRefs, "tally.exe", "ce0aa89d9801747e1819ab7bd9410e2e8593352ac4fefa9c55e2e4dad4854e07"},
      {kRefs, "dos.exe", "6b9a3fdcbd8fe39c22514456cebffc463bd7b160f8e2bacfa480cf97e860aa2b"},
      {kRefs, "fixdll.dll", "db28c78b227deac16fccd9ab92672fb3426d203766196cffe7a03a8fd961d926"},
      {kRefs, "raw.bin", "4f249dd634bfb9028bbcb475b4a56af60a41c6c736fb917d75a86016c1c1bbc4"},
      {"list --all --no-refs", libgcc,
       "b5abf46636817ed6a11b55383485aae0097b155d52665a19ff56a96b3bc21566"},
      {kList, libgcc, "883072275984f09fc2bed7f464e267086be1b9c357f6630d9ece9bb4f293a6c8"},
      {kRefs, libgcc, "e65f525d83300ce7108e8ce936561ce0cfcb9144b80b16f85ad9ea1b26189efc"},
      {kRefs + " --extreme", libgcc,
       "12b040927678b55ec4681829496e4da498310a6c6ce038a923a6bcf49704897d"},
  };
  for (const Case& c : cases) {
    const std::string path = c.file == libgcc ? libgcc : fixturePath(c.file);
    SCOPED_TRACE(c.args + " " + path);
    if (c.file == libgcc && !libgccAsTaken) continue;
    EXPECT_EQ(sha256(std::string(OXU_CLI_PATH) + " " + c.args + " '" + path + "' 2>/dev/null"),
              c.digest);
  }
}

}  // namespace
