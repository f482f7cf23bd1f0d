// oxu trace
#include <cstdio>
#include <string>

#include "base/text_format.h"
#include "cli/commands.h"
#include "document/document.h"

namespace {

std::string registerText(const TFixedRegs& r) {
  return wsString(
      "EAX=%.8X EBX=%.8X ECX=%.8X EDX=%.8X\nESI=%.8X EDI=%.8X EBP=%.8X ESP=%.8X\n"
      "EIP=%.8X EFLAGS=%.8X\nCS=%.4X DS=%.4X ES=%.4X SS=%.4X FS=%.4X GS=%.4X\n",
      r.EAX, r.EBX, r.ECX, r.EDX, r.ESI, r.EDI, r.EBP, r.ESP, r.EIP, r.EFLAGS, r.CS, r.DS, r.ES,
      r.SS, r.FS, r.GS);
}

// The whole picture, one pixel a byte, 320 wide, offset 0 at the top.
bool writeVisualisation(const TTraceVis& vis, const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%u %u\n255\n", TTraceVis::kWidth, vis.rows());
  const auto& map = vis.bitmap();
  bool ok = true;
  for (uint32_t row = 0; row < vis.rows() && ok; ++row) {
    const uint8_t* cells = &map[size_t(vis.rows() - 1 - row) * TTraceVis::kWidth];
    uint8_t line[TTraceVis::kWidth * 3];
    for (uint32_t x = 0; x < TTraceVis::kWidth; ++x) {
      const uint32_t c = TTraceVis::paletteColor(cells[x]);
      line[3 * x] = uint8_t(c >> 16);
      line[3 * x + 1] = uint8_t(c >> 8);
      line[3 * x + 2] = uint8_t(c);
    }
    ok = std::fwrite(line, 1, sizeof line, f) == sizeof line;
  }
  return std::fclose(f) == 0 && ok;
}

int runTrace(const TCliArgs& args, TCliHost& host) {
  uint32_t steps = 1;
  if (auto v = args.value("steps")) {
    auto n = parseDecimal(*v);
    if (!n) {
      std::fprintf(stderr, "oxu trace: --steps takes a decimal number\n");
      return EXIT_USAGE;
    }
    steps = *n;
  }
  std::vector<uint32_t> breaks;
  for (const auto& b : args.values("break")) {
    auto o = parseAddress(b);
    if (!o) {
      std::fprintf(stderr, "oxu trace: --break takes a file offset in hex\n");
      return EXIT_USAGE;
    }
    breaks.push_back(*o);
  }
  std::optional<uint32_t> tls;
  if (auto v = args.value("tls")) {
    tls = parseDecimal(*v);
    if (!tls || *tls < 1) {
      std::fprintf(stderr, "oxu trace: --tls takes a callback number from 1\n");
      return EXIT_USAGE;
    }
  }
  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc)) return rc;
  if (args.flag("entry")) doc.trace().setupTracerEntryPoint();
  if (tls) {
    if (*tls > doc.image().tlsCallbackCount()) {
      std::fprintf(stderr, "oxu trace: the file has %u TLS callbacks\n",
                   doc.image().tlsCallbackCount());
      return EXIT_FAILED;
    }
    doc.trace().setupTracerTlsCallback(*tls - 1);
  }
  for (uint32_t b : breaks) doc.trace().toggleBreakpoint(b);

  std::string out = wsString("start EIP=%.8X (offset %.8X)\n", doc.trace().regs().EIP,
                             doc.trace().tracePoint());
  // Stepped as the continuous trace does: the first step runs even from a
  // breakpoint, later ones stop on one, and any refused step ends the run.
  uint32_t done = 0;
  if (steps > 0) {
    const uint32_t eip = doc.trace().regs().EIP;
    const int status = doc.trace().traceContinuous([&] {
      if (++done >= steps) doc.trace().abortTrace();
    });
    if (status < 0) {  // "No trace point given!" is on standard error: nothing was traced
      std::fprintf(stderr, "oxu trace: EIP %.8X is outside the file\n", eip);
      return EXIT_FAILED;
    }
    if (status > 0)
      out += wsString("stopped at %.8X after %u steps: %s\n", doc.trace().regs().EIP, done,
                      traceStatusMessage(status));
  }
  out += wsString("%u steps\n", done);
  out += registerText(doc.trace().regs());  // --regs: the registers are always shown
  if (args.flag("history")) {
    out += "history (newest first):\n";
    for (const auto& line : doc.history().listLines()) out += "  " + line + "\n";
  }
  printOut(out);
  if (auto path = args.value("vis")) {
    if (!doc.trace().traceVis() || !writeVisualisation(*doc.trace().traceVis(), *path)) {
      std::fprintf(stderr, "oxu trace: cannot write %s\n", path->c_str());
      return EXIT_FAILED;
    }
  }
  return EXIT_OK;
}

}  // namespace

void addTraceCommands(std::vector<TCliCommand>& commands) {
  commands.push_back({"trace",
                      "FILE [--entry|--tls N] [--steps N] [--break OFF ...] [--yes|--no] [--regs] "
                      "[--history] [--vis OUT.ppm]   step the program in the emulator",
                      {"steps", "break", "tls", "vis"},
                      {"entry", "regs", "history"},
                      runTrace});
}
