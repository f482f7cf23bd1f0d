// oxu project save|load|dump: project files without the desktop program —
// write one for a file (optionally scanned), load one and show what it
// brought (and write it out again), or decode every section of one.
#include <cstdio>
#include <string>
#include <vector>

#include "base/text_format.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "document/document.h"
#include "document/project_commands.h"

namespace {

const char* const kUsage =
    "save FILE OUT.oxu [--scan] | load PROJ.oxu [--json] [--save OUT.oxu] | dump PROJ.oxu";

int usage(const char* why) {
  std::fprintf(stderr, "oxu project: %s\nusage: oxu project %s\n", why, kUsage);
  return EXIT_USAGE;
}

int exitFor(int loadResult) {
  if (loadResult == PROJECT_LOADED) return EXIT_OK;
  return loadResult == PROJECT_CANNOT_OPEN ? EXIT_LOAD_FAILED : EXIT_FAILED;
}

// Quietly, so that only the caller's output reaches standard output.
void scanNow(TDocument& doc, TCliHost& host) {
  const bool quiet = host.quiet;
  host.quiet = true;
  doc.workers().startReferenceScan();
  doc.workers().waitReferenceScan();
  host.quiet = quiet;
}

int runSave(const TCliArgs& args, TCliHost& host) {
  const auto& pos = args.positionals();
  if (pos.size() != 3) return usage("save takes FILE and OUT.oxu");
  TDocument doc(host);
  doc.settings().noScan = true;
  doc.setPath(pos[1]);
  if (doc.LoadFile(true) != LOAD_OK) return EXIT_LOAD_FAILED;
  if (args.flag("scan")) scanNow(doc, host);
  TProjectState state;
  state.path = pos[2];
  return SaveProject(doc, state) == 1 ? EXIT_OK : EXIT_FAILED;
}

template <class R>
uint64_t refTotal(const TIdRefStore<R>& s) {
  uint64_t n = 0;
  for (uint32_t i = 0; i < s.count(); ++i) n += s[i].refs.count();
  return n;
}

void loadText(const TDocument& doc, const TProjectState& state) {
  const TReferenceStores& st = doc.stores();
  const TFixedRegs& r = doc.trace().regs();
  std::string t = wsString("project %s\nfile %s\n", state.path.c_str(), doc.path().c_str());
  t += wsString("jump/call refs %u, imports %u, strings %u, menus %u\n", st.jumpCalls.count(),
                st.imports.count(), st.strings.count(), st.menus.count());
  t += wsString("EIP %.8X  fixed marks %.2X %.2X %.2X  segments %.2X\n", r.EIP, r.fixed8, r.fixed16,
                r.fixed32, r.fixedSegs);
  t += wsString("breakpoints %u:", unsigned(r.breakPoints.size()));
  for (const TBreakPoint& b : r.breakPoints) t += wsString(" %.8X", b.offset);
  const std::vector<TComment> names = doc.names().snapshot();
  t += wsString("\nnames %u\n", unsigned(names.size()));
  for (const TComment& n : names) t += wsString("  %.8X %s\n", n.address, n.text.c_str());
  const TReturnManager& h = doc.history();
  t += wsString("history %u (newest first)\n", h.count());
  for (const std::string& line : h.listLines()) t += "  " + line + "\n";
  printOut(t);
}

void loadJson(const TDocument& doc, const TProjectState& state) {
  const TReferenceStores& st = doc.stores();
  const TFixedRegs& r = doc.trace().regs();
  TJsonWriter j;
  j.beginObject().field("project", state.path).field("file", doc.path());
  j.key("stores").beginObject();
  j.field("jumpCalls", st.jumpCalls.count()).field("imports", st.imports.count());
  j.field("strings", st.strings.count()).field("stringRefs", refTotal(st.strings));
  j.field("menus", st.menus.count()).field("menuRefs", refTotal(st.menus));
  j.endObject();
  j.key("tracer").beginObject();
  j.field("EIP", r.EIP).field("EFLAGS", r.EFLAGS).field("ESP", r.ESP);
  j.field("fixed8", uint32_t(r.fixed8)).field("fixed16", uint32_t(r.fixed16));
  j.field("fixed32", uint32_t(r.fixed32)).field("fixedSegs", uint32_t(r.fixedSegs));
  j.field("faultAddress", r.faultAddress).field("faultWrite", r.faultWrite);
  j.key("breakpoints").beginArray();
  for (const TBreakPoint& b : r.breakPoints) j.value(b.offset);
  j.endArray().endObject();
  j.key("names").beginArray();
  for (const TComment& n : doc.names().snapshot())
    j.beginObject().field("address", n.address).field("text", n.text).endObject();
  j.endArray();
  j.key("history").beginArray();  // oldest first
  for (uint32_t i = 0; i < doc.history().count(); ++i) {
    const ReturnEntry e = doc.history().getReturn(i);
    j.beginObject().field("kind", e.kind).field("address", e.address).field("hexDump", e.hexDump);
    j.endObject();
  }
  j.endArray().endObject();
  printOut(j.text() + "\n");
}

int runLoad(const TCliArgs& args, TCliHost& host) {
  const auto& pos = args.positionals();
  if (pos.size() != 2) return usage("load takes PROJ.oxu");
  TDocument doc(host);
  doc.settings().noScan = true;
  TProjectState state;
  state.path = pos[1];
  const int rc = LoadProject(doc, state);
  if (rc != PROJECT_LOADED) return exitFor(rc);
  if (args.flag("json")) {
    loadJson(doc, state);
  } else {
    loadText(doc, state);
  }
  if (auto out = args.value("save")) {
    state.path = *out;
    if (SaveProject(doc, state) != 1) return EXIT_FAILED;
  }
  return EXIT_OK;
}

// Every section decoded on its own, without the analysed file: what support
// needs to see in a project that does not load.
int runDump(const TCliArgs& args, TCliHost& host) {
  const auto& pos = args.positionals();
  if (pos.size() != 2) return usage("dump takes PROJ.oxu");
  std::FILE* f = std::fopen(pos[1].c_str(), "rb");
  if (!f) {
    host.message(pos[1], "File error: Couldn't open file:", MsgIcon::Exclamation);
    return EXIT_LOAD_FAILED;
  }
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(f);

  host.quiet = true;  // the reader's progress lines are no part of a dump
  TProjectReader in(bytes.data(), bytes.size(), host);
  std::string t = wsString("size %u\n", unsigned(bytes.size()));
  auto flush = [&] {
    printOut(t);
    t.clear();
  };
  auto fail = [&](int rc) {
    flush();
    return rc == PROJECT_LOADED ? EXIT_OK : EXIT_FAILED;
  };
  if (int rc = in.readHeader()) return fail(rc);
  const TProjectHeader& h = in.header();
  t += wsString(
      "header: version %u position %.8X width %u hexdump %u programoffsets %u autostrings %u\n",
      unsigned(h.version), h.position, unsigned(h.codeWidth), unsigned(h.hexDump),
      unsigned(h.programOffsets), unsigned(h.autoStrings));
  t += "table:";
  for (int k = 0; k < PROJECT_SECTION_COUNT; ++k)
    t += wsString(" %s=%X", projectSectionName(k), in.sectionOffset(k));
  t += "\n";

  auto enter = [&](int k) {
    t += wsString("[%i %s] at %X\n", k, projectSectionName(k), in.sectionOffset(k));
    return in.enterSection(k);
  };
  if (int rc = enter(PS_FILENAME)) return fail(rc);
  std::string path;
  bool tooLong = false;
  if (int rc = in.readFileName(path, tooLong)) return fail(rc);
  t += tooLong ? std::string("  (path of 260 bytes or more, not read)\n") : "  " + path + "\n";

  TCommentContainer names;
  if (int rc = enter(PS_COMMENTS)) return fail(rc);
  const int namesRc = in.readComments(names);
  for (const TComment& n : names.snapshot())
    t += wsString("  %.8X %s\n", n.address, n.text.c_str());
  if (namesRc) return fail(namesRc);

  TFixedRegs r;
  bool marks = false;
  if (int rc = enter(PS_FIXEDREGS)) return fail(rc);
  const int regsRc = in.readFixedRegs(r, marks);
  t += wsString("  marks %.2X %.2X %.2X  EAX %.8X ECX %.8X EDX %.8X EBX %.8X\n", r.fixed8,
                r.fixed16, r.fixed32, r.EAX, r.ECX, r.EDX, r.EBX);
  t += wsString("  ESP %.8X EBP %.8X ESI %.8X EDI %.8X\n", r.ESP, r.EBP, r.ESI, r.EDI);
  t += wsString("  segs %.2X  ES %.4X CS %.4X SS %.4X DS %.4X FS %.4X GS %.4X\n", r.fixedSegs, r.ES,
                r.CS, r.SS, r.DS, r.FS, r.GS);
  t += wsString("  EFLAGS %.8X exception %u EIP %.8X stackBase %.8X exceptionList %.8X tls %i\n",
                r.EFLAGS, unsigned(r.exceptionPending), r.EIP, r.stackBase, r.exceptionList,
                r.tlsIndex);
  t += wsString("  fault %.8X write %u  breakpoints %u:", r.faultAddress, r.faultWrite,
                unsigned(r.breakPoints.size()));
  for (const TBreakPoint& b : r.breakPoints) t += wsString(" %.8X", b.offset);
  t += "\n";
  if (regsRc) return fail(regsRc);

  TReferenceStores st;
  if (int rc = enter(PS_JUMPANDCALLREFS)) return fail(rc);
  const int jcRc = in.readJumpCalls(st.jumpCalls);
  for (uint32_t i = 0; i < st.jumpCalls.count(); ++i)
    t += wsString("  %.8X <- %.8X kind %u\n", st.jumpCalls[i].target, st.jumpCalls[i].source,
                  unsigned(st.jumpCalls[i].kind));
  if (jcRc) return fail(jcRc);

  if (int rc = enter(PS_IMPORTREFS)) return fail(rc);
  const int impRc = in.readImports(st.imports);
  for (uint32_t i = 0; i < st.imports.count(); ++i) {
    const TImpRef& m = st.imports[i];
    t += wsString("  slot %.8X module %.8X function %.8X refs:", m.iatAddress, m.moduleName,
                  m.function);
    for (const TMInt& v : m.refs) t += wsString(" %.8X", uint32_t(v.value));
    t += "\n";
  }
  if (impRc) return fail(impRc);

  auto idRefs = [&](const auto& store) {
    for (uint32_t i = 0; i < store.count(); ++i) {
      t += wsString("  id %.8X text %.8X refs:", store[i].id, store[i].textOffset);
      for (const TMIntType& v : store[i].refs)
        t += wsString(" %.8X/%u", uint32_t(v.value), unsigned(v.type));
      t += "\n";
    }
  };
  if (int rc = enter(PS_STRINGREFS)) return fail(rc);
  const int strRc = in.readStrings(st.strings);
  idRefs(st.strings);
  if (strRc) return fail(strRc);
  if (int rc = enter(PS_MENUREFS)) return fail(rc);
  const int menuRc = in.readMenus(st.menus);
  idRefs(st.menus);
  if (menuRc) return fail(menuRc);

  TReturnManager history(host);
  if (int rc = enter(PS_RETURNS)) return fail(rc);
  const int retRc = in.readReturns(history);
  for (uint32_t i = 0; i < history.count(); ++i) {
    const ReturnEntry e = history.getReturn(i);
    const char* kind = returnKindText(e.kind);
    t += wsString("  %s %.8X hexdump %u\n", kind ? kind : "UNKNOWN", e.address, e.hexDump);
  }
  if (retRc) return fail(retRc);
  t += wsString("end at %X of %X\n", unsigned(in.position()), unsigned(bytes.size()));
  return fail(PROJECT_LOADED);
}

int runProject(const TCliArgs& args, TCliHost& host) {
  const auto& pos = args.positionals();
  if (pos.empty()) return usage("expected save, load or dump");
  if (pos[0] == "save") return runSave(args, host);
  if (pos[0] == "load") return runLoad(args, host);
  if (pos[0] == "dump") return runDump(args, host);
  return usage(("unknown action '" + pos[0] + "'").c_str());
}

}  // namespace

void addProjectCommands(std::vector<TCliCommand>& commands) {
  commands.push_back({"project", kUsage, {"save"}, {"scan"}, runProject});
}
