// oxu asm and oxu patch --asm end to end: output, exit codes, messages, and
// the patched file.
#include <gtest/gtest.h>

#include "support/fixtures.h"
#include "support/hex_bytes.h"
#include "support/process.h"

namespace {

TEST(CliAsm, AssemblesAndPatches) {
  struct Case {
    std::string args, input;  // input: standard input
    int exit;
    std::string out, err;              // out: all of standard output of asm, a fragment of patch's
    const char* bytesAt400 = nullptr;  // patch rows: five bytes of the patched copy of gui.exe
  } cases[] = {
      {"asm 'mov eax,1'", "", 0, "B801000000\n", ""},
      {"asm mov eax,1", "", 0, "B801000000\n", ""},
      {"asm --16 'mov ax,1'", "", 0, "B80100\n", ""},
      {"asm --address 401000 'jmp 00401000'", "", 0, "EBFE\n", ""},
      {"asm frob", "", 3, "", "oxu asm: unknown instruction: frob\n"},
      {"asm", "", 1, "", "oxu asm: give the instruction text (or --batch)\n"},
      {"asm --address zz nop", "", 1, "", "'zz' is not a hexadecimal"},
      {"asm --batch nop", "", 1, "", "standard input only"},
      {"asm --batch", "", 0, "", ""},  // empty standard input
      {"asm --batch", "401000 jmp 00401000\n  401000\tpush ebp\nxyz nop\n401000 mov [eax],1\n\n", 3,
       "401000 EBFE\n401000 55\nxyz ! expected an address (hexadecimal) in front of the instruction\n"
       "401000 ! operand size unknown: add byte ptr, word ptr or dword ptr?\n"
       " ! expected an address (hexadecimal) in front of the instruction\n",
       ""},
      {"asm --batch --16", "225 call 023C\n", 0, "225 E81400\n", ""},
      {"--at 400 --asm 'jmp 00401225'", "", 0, "5 bytes written at offset 00000400", "",
       "E920020000"},
      {"--at 400 --asm 'jmp 00000625' --file-offsets", "", 0, "E920020000", "", "E920020000"},
      {"--at 400 --asm 'mov ax,bx' --16", "", 0, "2 bytes written", "", "89D8E55756"},
      {"--at 400 --asm frob", "", 3, "",
       "Unknown command: Please enter another one or click cancel!\n"
       "oxu patch: unknown instruction: frob\n",
       "5589E55756"},
      {"--at 1BFF --asm 'mov eax,ebx'", "", 3, "",
       "End of file has been reached: Command is too long!\n", "5589E55756"},
      {"--at 400 --asm '" + std::string(79, 'n') + "'", "", 1, "", "at most 78 characters",
       "5589E55756"},
      {"--at 400 --asm nop --bytes 90", "", 1, "", "either --bytes HEX", "5589E55756"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    TempDir dir;
    const std::string file = dir.file("gui.exe");
    if (c.bytesAt400) writeFile(file, readFixture("gui.exe"));
    const std::string feed = c.input.empty() ? "" : "printf '%s' '" + c.input + "' | ";
    const std::string args = c.bytesAt400 ? "patch '" + file + "' --quiet " + c.args : c.args;
    const TCommandResult r = runCommand(feed + OXU_CLI_PATH + " " + args);
    EXPECT_EQ(r.exit, c.exit);
    if (c.bytesAt400)
      EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    else
      EXPECT_EQ(r.out, c.out);
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    if (c.bytesAt400) {
      EXPECT_EQ(hexText(&readFile(file)[0x400], 5), c.bytesAt400);
    }
  }
}

}  // namespace
