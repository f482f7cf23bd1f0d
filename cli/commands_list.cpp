// oxu list: the listing's rows as the desktop view shows them, extra lines included.
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>

#include "analysis/jc_refs.h"
#include "cli/commands.h"
#include "disasm/annotate.h"
#include "disasm/decoder.h"
#include "disasm/listing_marks.h"
#include "disasm/listing_rows.h"
#include "document/document.h"

namespace {

// The direct jumps and calls of the code sections, for the possible-reference
// lines: the plain decoder text of each instruction carries its target behind
// a call or jump mark, printed as a memory address.
void collectJumpCalls(const TDocument& doc, TJCRefContainer& store) {
  const TImageInfo& im = doc.image();
  if (!im.isPE()) return;
  const uint8_t* b = doc.buffer();
  const uint32_t size = doc.fileSize();
  char text[90];
  for (const SectionInfo& s : im.sections()) {
    if (!(s.characteristics & 0x20000020u)) continue;  // code or execute
    const uint64_t end64 = uint64_t(s.rawOffset) + s.rawSize;
    const uint32_t end = end64 < size ? uint32_t(end64) : size;
    for (uint32_t off = s.rawOffset; off < end;) {
      const uint8_t* p = b + off;
      const uint32_t shown = im.fileOffsetToMemory(off);
      text[0] = 0;
      decodeInstruction(p, DecodePlain, b, off - shown, text, sizeof text, false, nullptr, nullptr);
      for (const char* t = text; *t; ++t) {
        if (*t != REF_MARK || (t[1] != 2 && t[1] != 3)) continue;
        uint32_t v = 0;
        int n = 0;
        for (t += 2; n < 8 && std::isxdigit(uint8_t(*t)); ++t, ++n)
          v = (v << 4) | uint32_t(*t <= '9' ? *t - '0' : (*t | 0x20) - 'a' + 10);
        const uint32_t target = im.memoryToFileOffset(v);
        if (target < size) store.append(target, off, 1);
        break;
      }
      off = static_cast<uint32_t>(p - b);
    }
  }
  store.sort();
}

std::optional<uint32_t> numberOption(const TCliArgs& args, const char* name, bool decimal,
                                     bool& bad) {
  auto v = args.value(name);
  if (!v) return std::nullopt;
  auto n = decimal ? parseDecimal(*v) : parseAddress(*v);
  if (!n) {
    std::fprintf(stderr, "oxu list: bad --%s value '%s'\n", name, v->c_str());
    bad = true;
  }
  return n;
}

int runList(const TCliArgs& args, TCliHost& host) {
  bool bad = false;
  const auto offset = numberOption(args, "offset", false, bad);
  const auto rva = numberOption(args, "rva", false, bad);
  const auto mem = numberOption(args, "mem", false, bad);
  const auto lines = numberOption(args, "lines", true, bad);
  const auto width = numberOption(args, "width", true, bad);
  if (bad) return EXIT_USAGE;
  if (int(offset.has_value()) + int(rva.has_value()) + int(mem.has_value()) > 1) {
    std::fprintf(stderr, "oxu list: --offset, --rva and --mem exclude each other\n");
    return EXIT_USAGE;
  }
  if (args.flag("color") && args.flag("marks")) {
    std::fprintf(stderr, "oxu list: --color and --marks exclude each other\n");
    return EXIT_USAGE;
  }
  if (args.flag("all") && (lines || offset || rva || mem)) {
    std::fprintf(stderr, "oxu list: --all lists the whole file: no start or line count\n");
    return EXIT_USAGE;
  }

  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc)) return rc;
  const TImageInfo& im = doc.image();

  TListingState state;
  state.hexDump = doc.view().hexDump || args.flag("hex");
  state.bits16 = doc.view().bits16 || args.flag("16");
  state.fileOffsets = doc.view().fileOffsets || args.flag("file-offsets");
  state.detectStrings = !args.flag("no-strings");
  state.showCodeReferences = !args.flag("no-refs");
  state.markRelocations = args.flag("relocs");

  TJCRefContainer jumpCalls;
  if (state.showCodeReferences && !state.hexDump) collectJumpCalls(doc, jumpCalls);
  TListingAnnotator annotator(im, doc.buffer(), doc.fileSize(), doc.names());
  TListingContext ctx;
  ctx.lines.buffer = doc.buffer();
  ctx.lines.size = doc.fileSize();
  ctx.lines.image = &im;
  ctx.lines.annotator = &annotator;
  ctx.lines.host = &host;
  ctx.names = &doc.names();
  ctx.jumpCalls = &jumpCalls;
  ctx.host = &host;

  if (offset || rva || mem) {
    uint32_t target = offset ? *offset : NOT_IN_FILE;
    if (rva) target = im.rvaToFileOffset(*rva, true);
    if (mem) target = im.memoryToFileOffset(*mem);
    if (!gotoOffset(state, ctx, target)) return EXIT_FAILED;
  }

  const TMarkStyle style = args.flag("color")   ? TMarkStyle::Ansi
                           : args.flag("marks") ? TMarkStyle::Tokens
                                                : TMarkStyle::Plain;
  std::string out;
  out.reserve(1 << 17);
  bool writeFailed = false;
  auto flush = [&] {
    if (!out.empty() && std::fwrite(out.data(), 1, out.size(), stdout) != out.size())
      writeFailed = true;
    out.clear();
  };
  const uint64_t maxRows = args.flag("all") ? 0 : (lines ? *lines : 40);
  if (args.flag("all")) state.topOffset = 0;
  if (maxRows == 0 && !args.flag("all")) return EXIT_OK;  // --lines 0
  listRows(state, ctx, width ? *width : 120, maxRows, [&](const TListingRow& row, const Hotspot*) {
    appendMarkedText(out, row.text, style);
    out += '\n';
    if (out.size() > (1 << 16)) flush();
  });
  flush();
  if (std::fflush(stdout) != 0 || writeFailed) {
    std::fprintf(stderr, "oxu list: cannot write the listing\n");
    return EXIT_FAILED;
  }
  return EXIT_OK;
}

}  // namespace

void addListCommands(std::vector<TCliCommand>& commands) {
  commands.push_back({"list",
                      "[--offset X|--rva X|--mem X] [--lines N|--all] [--file-offsets] [--16] "
                      "[--hex] [--no-strings] [--no-refs] [--relocs] [--color|--marks] "
                      "[--width N] FILE",
                      {"offset", "rva", "mem", "lines", "width"},
                      {"all", "file-offsets", "16", "hex", "no-strings", "no-refs", "relocs",
                       "color", "marks"},
                      runList});
}
