// oxu refs: the reference scan of a file, its summary line and, on request,
// every store or the references to one file offset.
#include <cstdio>
#include <string>

#include "analysis/reference_stores.h"
#include "analysis/scanner.h"
#include "base/text_format.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "document/document.h"

namespace {

template <class R>
void idStoreText(std::string& t, const char* title, const TIdRefStore<R>& store) {
  t += wsString("%s: %u\n", title, store.count());
  for (uint32_t i = 0; i < store.count(); ++i) {
    const R& r = store[i];
    t += wsString("  id %.8X  text %.8X  refs:", r.id, r.textOffset);
    for (const TMIntType& m : r.refs)
      t += wsString(" %.8X/%u", uint32_t(m.value), unsigned(m.type));
    t += "\n";
  }
}

template <class R>
void idStoreJson(TJsonWriter& j, const char* key, const TIdRefStore<R>& store) {
  j.key(key).beginArray();
  for (uint32_t i = 0; i < store.count(); ++i) {
    const R& r = store[i];
    j.beginObject().field("id", r.id).field("textOffset", r.textOffset);
    j.key("refs").beginArray();
    for (const TMIntType& m : r.refs)
      j.beginObject().field("offset", uint32_t(m.value)).field("kind", uint32_t(m.type)).endObject();
    j.endArray().endObject();
  }
  j.endArray();
}

int runRefs(const TCliArgs& args, TCliHost& host) {
  std::optional<uint32_t> to;
  if (int rc = addressOption(args, "refs", "to", to)) return rc;
  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc)) return rc;  // scanned below with this command's options

  TScanOptions options;
  options.extreme = args.flag("extreme");
  options.indexed = !args.flag("sweep");
  options.yield = false;
  TReferenceStores stores;
  {
    // The summary goes to standard output below, not as a status line.
    const bool quiet = host.quiet;
    host.quiet = true;
    TCheckThread scan;
    scan.startCheckThread(doc.buffer(), doc.fileSize(), doc.image(), stores, host, options);
    scan.waitCheckThread();
    host.quiet = quiet;
  }
  const std::string report = referenceCountsText(stores);
  const bool all = args.flag("all");
  const TJCRefContainer& jc = stores.jumpCalls;
  const uint32_t firstTo = to ? jc.findFirst(*to) : NOT_FOUND;

  if (args.flag("json")) {
    TJsonWriter j;
    j.beginObject().field("report", report);
    j.field("jumpCalls", jc.count()).field("imports", stores.imports.count());
    j.field("strings", stores.strings.count()).field("menus", stores.menus.count());
    if (all) {
      j.key("jumpCallRefs").beginArray();
      for (uint32_t i = 0; i < jc.count(); ++i)
        j.beginObject().field("target", jc[i].target).field("source", jc[i].source).endObject();
      j.endArray();
      j.key("importRefs").beginArray();
      for (uint32_t i = 0; i < stores.imports.count(); ++i) {
        const TImpRef& r = stores.imports[i];
        j.beginObject().field("slot", r.iatAddress).field("moduleName", r.moduleName);
        j.field("function", r.function).key("refs").beginArray();
        for (const TMInt& m : r.refs) j.value(uint32_t(m.value));
        j.endArray().endObject();
      }
      j.endArray();
      idStoreJson(j, "stringRefs", stores.strings);
      idStoreJson(j, "menuRefs", stores.menus);
    }
    if (to) {
      j.key("to").beginObject().field("target", *to).key("sources").beginArray();
      for (uint32_t i = firstTo; i != NOT_FOUND && i < jc.count() && jc[i].target == *to; ++i)
        j.value(jc[i].source);
      j.endArray().endObject();
    }
    j.endObject();
    printOut(j.text() + "\n");
    return EXIT_OK;
  }

  std::string t = report + "\n";
  if (all) {
    t += wsString("jump/call refs: %u\n", jc.count());
    for (uint32_t i = 0; i < jc.count(); ++i)
      t += wsString("  target %.8X  source %.8X\n", jc[i].target, jc[i].source);
    t += wsString("import refs: %u\n", stores.imports.count());
    for (uint32_t i = 0; i < stores.imports.count(); ++i) {
      const TImpRef& r = stores.imports[i];
      t += wsString("  slot %.8X  module %.8X  function %.8X  refs:", r.iatAddress, r.moduleName,
                    r.function);
      for (const TMInt& m : r.refs) t += wsString(" %.8X", uint32_t(m.value));
      t += "\n";
    }
    idStoreText(t, "string refs", stores.strings);
    idStoreText(t, "menu refs", stores.menus);
  }
  if (to) {
    t += wsString("jumps and calls to %.8X:", *to);
    for (uint32_t i = firstTo; i != NOT_FOUND && i < jc.count() && jc[i].target == *to; ++i)
      t += wsString(" %.8X", jc[i].source);
    t += "\n";
  }
  printOut(t);
  return EXIT_OK;
}

}  // namespace

void addRefsCommands(std::vector<TCliCommand>& commands) {
  commands.push_back({"refs",
                      "FILE [--extreme] [--to OFF] [--all] [--sweep] [--json]",
                      {"to"},
                      {"extreme", "all", "sweep"},
                      runRefs});
}
