// oxu list: the listing's rows as the desktop view shows them, extra lines included.
#include <cstdio>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "document/document.h"
#include "image/user_address.h"
#include "listing/listing_marks.h"
#include "listing/listing_rows.h"

namespace {

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
  // The possible-reference lines come from the reference scan that a load
  // starts; without them the scan is not needed.
  const bool refs = !args.flag("no-refs") && !args.flag("hex");
  if (int rc = loadDocumentArg(args, doc, refs ? LoadScan::On : LoadScan::Off)) return rc;
  const TImageInfo& im = doc.image();

  TListingState state = doc.view();
  state.hexDump = state.hexDump || args.flag("hex");
  state.bits16 = state.bits16 || args.flag("16");
  state.fileOffsets = state.fileOffsets || args.flag("file-offsets");
  state.detectStrings = !args.flag("no-strings");
  state.showCodeReferences = refs;
  state.markRelocations = args.flag("relocs");
  const TListingContext ctx = doc.listingContext();

  if (offset || rva || mem) {
    // An RVA or memory address outside the file is refused with the Goto
    // dialog's message, which names the address kind, not the failed offset.
    const UserAddressKind kind = rva   ? UserAddressKind::Rva
                                 : mem ? UserAddressKind::Memory
                                       : UserAddressKind::FileOffset;
    const uint32_t value = rva ? *rva : mem ? *mem : *offset;
    const uint32_t target = userAddressToFileOffset(im, value, kind, host);
    if (target == NOT_IN_FILE && kind != UserAddressKind::FileOffset) return EXIT_FAILED;
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
  commands.push_back(
      {"list",
       "[--offset X|--rva X|--mem X] [--lines N|--all] [--file-offsets] [--16] "
       "[--hex] [--no-strings] [--no-refs] [--relocs] [--color|--marks] "
       "[--width N] FILE",
       {"offset", "rva", "mem", "lines", "width"},
       {"all", "file-offsets", "16", "hex", "no-strings", "no-refs", "relocs", "color", "marks"},
       runList});
}
