// oxu load-map | load-def
#include <cstdio>
#include <string>

#include "analysis/symbol_loader.h"
#include "base/text_format.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "document/document.h"

namespace {

int runLoad(SymbolFileKind kind, const TCliArgs& args, TCliHost& host) {
  if (args.flag("replace-all") && args.flag("skip-all")) {
    std::fprintf(stderr, "oxu: --replace-all and --skip-all exclude each other\n");
    return EXIT_USAGE;
  }
  if (args.flag("replace-all")) host.replaceAnswer = REPLACE_ANSWER_ALWAYS_REPLACE;
  if (args.flag("skip-all")) host.replaceAnswer = REPLACE_ANSWER_ALWAYS_SKIP;
  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc, LoadScan::Off, 2)) return rc;
  const std::atomic<bool> stop{false};
  const int loaded = loadSymbolFile(kind, args.positionals()[1], TSymbolTarget::of(doc.image()),
                                    doc.names(), host, stop);
  if (loaded < 0) return EXIT_FAILED;
  const auto names = doc.names().snapshot();
  if (args.flag("json")) {
    TJsonWriter j;
    j.beginObject().field("examined", loaded).key("names").beginArray();
    for (const auto& n : names)
      j.beginObject().field("address", n.address).field("name", n.text).endObject();
    j.endArray().endObject();
    printOut(j.text() + "\n");
    return EXIT_OK;
  }
  std::string t = wsString("%i symbols loaded!\n", loaded);
  for (const auto& n : names) t += wsString("%.8X %s\n", n.address, n.text.c_str());
  printOut(t);
  return EXIT_OK;
}

int runLoadMap(const TCliArgs& args, TCliHost& host) {
  return runLoad(SymbolFileKind::Map, args, host);
}
int runLoadDef(const TCliArgs& args, TCliHost& host) {
  return runLoad(SymbolFileKind::Def, args, host);
}

}  // namespace

void addSymbolCommands(std::vector<TCliCommand>& commands) {
  commands.push_back({"load-map",
                      "FILE MAP [--replace-all|--skip-all] [--json]   names from a linker map file "
                      "(a name that meets another is kept unless --replace-all)",
                      {},
                      {"replace-all", "skip-all"},
                      runLoadMap});
  commands.push_back(
      {"load-def",
       "FILE DEF [--replace-all|--skip-all] [--json]   names from a module-definition "
       "file, matched by export ordinal",
       {},
       {"replace-all", "skip-all"},
       runLoadDef});
}
