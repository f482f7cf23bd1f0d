// The bridge to the assembler library libopcode.so and the exchange of the
// "Edit assembler command..." dialog: a typed command becomes bytes that
// replace the instruction at the cursor through ChangeMemory, so that the edit
// can be undone.
//
// The library is looked for beside the running program (the directory of
// /proc/self/exe, then its ../lib) and then through the ordinary library
// search; it is loaded for each call and released right after it, so a
// library rebuilt or replaced while the program runs is used at once.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class TDocument;

// Bytes the library may write for one command (it writes at most 15).
constexpr int kAsmOutputCap = 64;
// The dialog's edit field holds at most 78 characters (79 with the terminator).
constexpr size_t kAsmCommandCap = 78;

class TAssemblerBridge {
 public:
  enum class Status {
    Assembled,  // length bytes in bytes
    Refused,    // the library returned 0; reason says why when the library can tell
    NoLibrary,  // no library could be loaded; detail holds the loader's message
    NoEntry,    // a library was loaded but it has no function opcode
  };
  struct TResult {
    Status status = Status::Refused;
    int length = 0;
    uint8_t bytes[kAsmOutputCap] = {};
    std::string reason;
    std::string library;  // the file that was loaded, or the last one tried
    std::string detail;
  };

  // libraryPath: a library file to use instead of searching (tests, or a
  // user's own assembler). Empty: search as described above.
  explicit TAssemblerBridge(std::string libraryPath = {});

  // Assembles text for code at address: with opcode16 for 16-bit code when
  // the library has it, else with opcode.
  TResult assemble(const char* text, uint32_t address, bool code16) const;

  // The files tried, in order ("libopcode.so" alone: the ordinary search).
  std::vector<std::string> searchPath() const;

 private:
  std::string libraryPath_;
};

// The result of the dialog's OK.
enum class AsmEditResult {
  Written,    // the bytes replaced the instruction; the dialog closes
  NoLibrary,  // "Unable to load libopcode.so!!" was shown
  NoEntry,    // the library has no opcode function; reported
  TooLong,    // "Command is too long!": the bytes would pass the end of the file
  Unknown,    // "Unknown command": the library did not accept the text
  NoFile,     // nothing is loaded
};

struct TAsmEdit {
  AsmEditResult result = AsmEditResult::NoFile;
  int length = 0;
  uint32_t address = 0;  // the address the library was given
  std::string reason;    // Unknown: why, when the library can tell
};

// The address the library gets for the instruction at fileOffset: its memory
// address when the listing shows program offsets of a PE file (a conversion
// that gives 0 falls back), otherwise the file offset.
uint32_t assemblerAddress(const TDocument& doc, uint32_t fileOffset);

// The dialog's OK: assembles text (16-bit code when the listing shows 16-bit
// code) for the instruction at fileOffset and writes the bytes over it through
// ChangeMemory, whatever the old instruction's length. With fillTo, a shorter
// result is padded with NOPs (0x90) to fillTo bytes, so that no tail of the
// old instruction is left to decode. Failures are shown through the
// document's host and change nothing.
TAsmEdit editAssemblerCommand(TDocument& doc, uint32_t fileOffset, const std::string& text,
                              const TAssemblerBridge& bridge, uint32_t fillTo = 0);

// Length of the listing line at fileOffset: the old instruction the dialog
// replaces.
uint32_t listingLineLength(const TDocument& doc, uint32_t fileOffset);

// The line the dialog shows under its field while the user types: the bytes
// the text gives (NOP padding included), or why there are none.
std::string assemblerPreview(const TDocument& doc, uint32_t fileOffset, const std::string& text,
                             const TAssemblerBridge& bridge, uint32_t fillTo = 0);
