// oxu patch | enlarge
#include <cctype>
#include <cstdio>
#include <string>

#include "base/text_format.h"
#include "cli/commands.h"
#include "document/assembler_bridge.h"
#include "document/document.h"

namespace {

// "90 90", "9090" or "0x90,0x90": pairs of hex digits, separators ignored.
bool parseHexBytes(const std::string& text, std::vector<uint8_t>& out) {
  std::string digits;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
      ++i;
      continue;
    }
    if (std::isxdigit(static_cast<unsigned char>(c)))
      digits += c;
    else if (c != ' ' && c != ',' && c != ':')
      return false;
  }
  if (digits.empty() || digits.size() % 2) return false;
  for (size_t i = 0; i < digits.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return true;
}

// The bytes of --bytes, or of --asm assembled as the "Edit assembler
// command..." dialog does it (through libopcode.so and ChangeMemory).
int runPatch(const TCliArgs& args, TCliHost& host) {
  std::optional<uint32_t> parsed;
  if (auto text = args.value("at")) parsed = parseAddress(*text);
  const auto bytesText = args.value("bytes");
  const auto asmText = args.value("asm");
  std::vector<uint8_t> bytes;
  if (!parsed || bool(bytesText) == bool(asmText) ||
      (bytesText && !parseHexBytes(*bytesText, bytes))) {
    std::fprintf(stderr,
                 "oxu patch: give --at OFFSET (hex) and either --bytes HEX (pairs of hex digits) or "
                 "--asm TEXT\n");
    return EXIT_USAGE;
  }
  if (asmText && asmText->size() > kAsmCommandCap) {
    std::fprintf(stderr, "oxu patch: an assembler command holds at most %zu characters\n",
                 kAsmCommandCap);
    return EXIT_USAGE;
  }
  const uint32_t at = *parsed;
  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc)) return rc;
  doc.settings().createBackups = !args.flag("no-backup");
  doc.view().bits16 = doc.view().bits16 || args.flag("16");
  doc.view().fileOffsets = doc.view().fileOffsets || args.flag("file-offsets");
  uint32_t count = uint32_t(bytes.size());
  if (asmText) {
    const TAsmEdit edit = editAssemblerCommand(doc, at, *asmText, TAssemblerBridge());
    if (edit.result != AsmEditResult::Written) {
      if (!edit.reason.empty()) std::fprintf(stderr, "oxu patch: %s\n", edit.reason.c_str());
      return EXIT_FAILED;
    }
    count = uint32_t(edit.length);
  } else {
    doc.ChangeMemory(at, bytes.data(), count);
  }
  if (!doc.fileChanged()) return EXIT_FAILED;  // the change was refused
  const bool saved = args.value("out") ? doc.saveFileAs(*args.value("out")) : doc.SaveFile();
  if (!saved) return EXIT_FAILED;
  std::string written;
  for (uint32_t i = 0; i < count; ++i) written += wsString("%.2X", doc.buffer()[at + i]);
  printOut(wsString("%u bytes written at offset %.8X to %s: %s\n", count, at, doc.path().c_str(),
                    written.c_str()));
  return EXIT_OK;
}

int runEnlarge(const TCliArgs& args, TCliHost& host) {
  if (args.positionals().size() != 2) {
    std::fprintf(stderr, "usage: oxu enlarge FILE OUT\n");
    return EXIT_USAGE;
  }
  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc, LoadScan::Off, 2)) return rc;
  doc.settings().createBackups = !args.flag("no-backup");
  if (!doc.SaveFileAsSecEnlarged(args.positionals()[1])) return EXIT_FAILED;
  std::string t = "written " + doc.path() +
                  "\n   #  name      RVA       VirtSize  RawOffs   RawSize\n";
  for (uint32_t i = 0; i < doc.image().sectionCount(); ++i) {
    const SectionInfo& s = doc.image().sections()[i];
    t += wsString("  %2u  %-8s  %.8X  %.8X  %.8X  %.8X\n", i, s.name, s.rva, s.virtualSize,
                  s.rawOffset, s.rawSize);
  }
  printOut(t);
  return EXIT_OK;
}

}  // namespace

void addEditCommands(std::vector<TCliCommand>& commands) {
  commands.push_back(
      {"patch",
       "FILE --at OFFSET (--bytes HEX | --asm TEXT [--16] [--file-offsets]) [--no-backup] "
       "[--out PATH]   change bytes, or the instruction at OFFSET to the assembled TEXT "
       "(through libopcode.so; at its memory address unless --file-offsets), and save "
       "(FILE.bak keeps the old file)",
       {"at", "bytes", "asm", "out"},
       {"no-backup", "16", "file-offsets"},
       runPatch});
  commands.push_back({"enlarge",
                      "FILE OUT [--no-backup]   write a copy whose sections have raw data "
                      "of their full virtual size",
                      {},
                      {"no-backup"},
                      runEnlarge});
}
