// oxu info | conv | imports | exports | relocs | tls
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/le_read.h"
#include "base/text_format.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "document/command_state.h"
#include "document/document.h"
#include "image/exports.h"
#include "image/pe_layout.h"
#include "image/raw_convert.h"
#include "image/tls_menu.h"

namespace {

std::string hex8(uint32_t v) { return wsString("%.8X", v); }
std::string addrText(uint32_t v) { return v == NOT_IN_FILE ? "NOT_IN_FILE" : hex8(v); }

// The menu items the file brings, quoted, a sub-menu with its items in brackets.
std::string fileMenuItems(TPlace place, const TConditions& facts) {
  std::string out;
  for (const TLayoutItem& item : commandLayout(place, facts)) {
    if (item.kind == TLayoutItem::Command && findCommand(item.id)->comesWithFile()) {
      out += std::string(" \"") + item.text + "\"";
    } else if (item.kind == TLayoutItem::Submenu) {
      const std::string inner = fileMenuItems(item.submenu, facts);
      if (!inner.empty()) out += std::string(" \"") + item.text + "\"(" + inner.substr(1) + ")";
    }
  }
  return out;
}

void addrValue(TJsonWriter& j, std::string_view key, uint32_t v) {
  j.key(key);
  if (v == NOT_IN_FILE)
    j.null();
  else
    j.value(v);
}

// ---- info ---------------------------------------------------------------

int runInfo(const TCliArgs& args, TCliHost& host) {
  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc)) return rc;
  const TImageInfo& im = doc.image();
  if (args.flag("json")) {
    TJsonWriter j;
    j.beginObject();
    j.field("path", doc.path()).field("fileName", im.fileName()).field("fileSize", im.fileSize());
    j.field("isMZ", im.isMZ()).field("isPE", im.isPE());
    j.field("mzHeaderSize", im.mzHeaderSize());
    addrValue(j, "mzEntryOffset", im.mzEntryOffset());
    j.field("mzInitialCS", uint32_t(im.mzInitialCS()));
    j.field("peHeaderOffset", im.peHeaderOffset()).field("imageBase", im.imageBase());
    addrValue(j, "entryOffset", im.entryOffset());
    addrValue(j, "entryMemoryAddress", im.entryMemoryAddress());
    j.field("directoryCount", im.directoryCount());
    j.field("lowestRawOffset", im.lowestRawOffset())
        .field("lowestSectionRva", im.lowestSectionRva());
    j.field("highestSectionEnd", im.highestSectionEnd());
    j.field("importsPresent", im.importsPresent());
    j.field("importDirectoryOffset", im.importDirectoryOffset());
    j.field("importSectionEnd", im.importSectionEnd());
    j.field("exportsPresent", im.exportsPresent());
    j.field("menusPresent", im.menusPresent()).field("stringsPresent", im.stringsPresent());
    j.field("relocationBlocks",
            uint32_t(im.relocationTable() ? im.relocationTable()->blocks().size() : 0));
    j.field("tlsCallbackCount", im.tlsCallbackCount());
    j.key("sections").beginArray();
    for (const auto& s : im.sections()) {
      j.beginObject().field("name", s.name).field("rva", s.rva).field("virtualSize", s.virtualSize);
      j.field("rawOffset", s.rawOffset).field("rawSize", s.rawSize);
      j.field("characteristics", s.characteristics).endObject();
    }
    j.endArray();
    j.key("commands").beginArray();
    for (int id : fileToolCommands(doc)) j.value(id);
    j.endArray();
    j.field("title", doc.titleText());
    j.endObject();
    printOut(j.text() + "\n");
    return EXIT_OK;
  }
  std::string t;
  auto line = [&](const char* label, const std::string& value) {
    t += wsString("%-22s%s\n", label, value.c_str());
  };
  line("file", doc.path());
  line("file name", im.fileName());
  line("file size", wsString("%u (0x%.8X)", im.fileSize(), im.fileSize()));
  const char* kind = im.isPE() ? "PE" : im.isMZ() ? "MZ" : "raw";
  line("kind", kind);
  line("is MZ", std::to_string(im.isMZ()));
  line("is PE", std::to_string(im.isPE()));
  line("MZ header size", hex8(im.mzHeaderSize()));
  line("MZ entry offset", addrText(im.mzEntryOffset()));
  line("MZ initial CS", wsString("%.4X", im.mzInitialCS()));
  line("PE header offset", hex8(im.peHeaderOffset()));
  line("image base", hex8(im.imageBase()));
  line("entry offset", addrText(im.entryOffset()));
  line("entry memory address", hex8(im.entryMemoryAddress()));
  line("data directories", std::to_string(im.directoryCount()));
  line("lowest raw offset", hex8(im.lowestRawOffset()));
  line("lowest section RVA", hex8(im.lowestSectionRva()));
  line("highest section end", hex8(im.highestSectionEnd()));
  line("imports present", std::to_string(im.importsPresent()));
  if (im.importsPresent()) {
    line("import directory", hex8(im.importDirectoryOffset()));
    line("import section end", hex8(im.importSectionEnd()));
  }
  line("exports present", std::to_string(im.exportsPresent()));
  line("menus present", std::to_string(im.menusPresent()));
  line("strings present", std::to_string(im.stringsPresent()));
  line("relocation blocks",
       std::to_string(im.relocationTable() ? im.relocationTable()->blocks().size() : 0));
  line("TLS callbacks", std::to_string(im.tlsCallbackCount()));
  t += wsString("sections (%u):\n", im.sectionCount());
  if (im.sectionCount()) t += "   #  name      RVA       VirtSize  RawOffs   RawSize   Flags\n";
  for (uint32_t i = 0; i < im.sectionCount(); ++i) {
    const SectionInfo& s = im.sections()[i];
    t += wsString("  %2u  %-8s  %.8X  %.8X  %.8X  %.8X  %.8X\n", i, s.name, s.rva, s.virtualSize,
                  s.rawOffset, s.rawSize, s.characteristics);
  }
  const std::string menus = fileMenuItems(TPlace::MenuBar, commandConditions(doc));
  line("file menu items", menus.empty() ? "(none)" : menus.substr(1));
  line("title", doc.titleText());
  printOut(t);
  return EXIT_OK;
}

// ---- conv ---------------------------------------------------------------

int runConv(const TCliArgs& args, TCliHost& host) {
  int given = args.value("offset").has_value() + args.value("rva").has_value() +
              args.value("mem").has_value();
  if (given != 1) {
    std::fprintf(stderr, "oxu conv: give exactly one of --offset, --rva, --mem\n");
    return EXIT_USAGE;
  }
  const char* from = args.value("offset") ? "offset" : args.value("rva") ? "rva" : "mem";
  auto number = parseAddress(*args.value(from));
  if (!number) {
    std::fprintf(stderr, "oxu conv: '%s' is not a hexadecimal 32-bit number\n",
                 args.value(from)->c_str());
    return EXIT_USAGE;
  }
  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc)) return rc;
  const TImageInfo& im = doc.image();
  const uint32_t v = *number;
  const uint8_t* buf = doc.buffer();
  const uint32_t size = doc.fileSize();

  uint32_t offset, rva, mem, offsetNoHeader = NOT_IN_FILE;
  if (from[0] == 'o') {
    offset = v < size ? v : NOT_IN_FILE;
    rva = im.fileOffsetToRva(v);
    mem = im.fileOffsetToMemory(v);
  } else if (from[0] == 'r') {
    rva = v;
    mem = v + im.imageBase();
    offset = im.rvaToFileOffset(v, true);
    offsetNoHeader = im.rvaToFileOffset(v, false);
  } else {
    mem = v;
    rva = v - im.imageBase();
    offset = im.memoryToFileOffset(v);
    offsetNoHeader = im.rvaToFileOffset(rva, false);
  }
  // The buffer-based conversions: memory as shown for the offset, offset of the RVA.
  const uint32_t rawMem = offset == NOT_IN_FILE ? NOT_IN_FILE
                                                : rawFileOffsetToMemory(offset, buf, size);
  const uint32_t rawOff = rva == NOT_IN_FILE ? NOT_IN_FILE : rawRvaToFileOffset(rva, buf, size);
  const SectionInfo* sec = offset != NOT_IN_FILE ? im.sectionByFileOffset(offset) : nullptr;
  if (!sec && rva != NOT_IN_FILE) sec = im.sectionByRva(rva);

  if (args.flag("json")) {
    TJsonWriter j;
    j.beginObject().field("from", from).field("value", v);
    addrValue(j, "fileOffset", offset);
    addrValue(j, "rva", rva);
    addrValue(j, "memory", mem);
    if (from[0] != 'o') addrValue(j, "fileOffsetWithoutHeader", offsetNoHeader);
    addrValue(j, "rawFileOffsetToMemory", rawMem);
    addrValue(j, "rawRvaToFileOffset", rawOff);
    j.key("section");
    if (sec)
      j.value(sec->name);
    else
      j.null();
    j.endObject();
    printOut(j.text() + "\n");
    return EXIT_OK;
  }
  std::string t;
  t += "file offset           " + addrText(offset) + "\n";
  if (from[0] != 'o') t += "  without header      " + addrText(offsetNoHeader) + "\n";
  t += "RVA                   " + addrText(rva) + "\n";
  t += "memory address        " + addrText(mem) + "\n";
  t += "raw offset to memory  " + addrText(rawMem) + "\n";
  t += "raw RVA to offset     " + addrText(rawOff) + "\n";
  t += std::string("section               ") + (sec ? sec->name : "(header or none)") + "\n";
  printOut(t);
  return EXIT_OK;
}

// ---- imports ------------------------------------------------------------

int runImports(const TCliArgs& args, TCliHost& host) {
  if (args.flag("refs")) return printImportReferences(args, host);
  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc)) return rc;
  const TImageInfo& im = doc.image();
  const auto& lists = im.imports();
  // Each module's functions in key order, gathered in one pass over the list.
  std::unordered_map<uint32_t, std::vector<const TImportedFunction*>> functionsOf;
  for (const auto& f : lists.functions()) functionsOf[f.moduleId].push_back(&f);
  if (args.flag("json")) {
    TJsonWriter j;
    j.beginObject().field("importsPresent", im.importsPresent());
    j.key("modules").beginArray();
    for (const auto& m : lists.modules()) {
      j.beginObject().field("id", m.moduleId).field("name", m.name).field("keep", m.keep);
      j.key("functions").beginArray();
      for (const TImportedFunction* f : functionsOf[m.moduleId]) {
        j.beginObject().field("key", f->importKey).field("name", f->name);
        j.field("fromFile", f->fromFile).endObject();
      }
      j.endArray().endObject();
    }
    j.endArray().endObject();
    printOut(j.text() + "\n");
    return EXIT_OK;
  }
  std::string t;
  if (!im.importsPresent()) t += "no import directory\n";
  for (const auto& m : lists.modules()) {
    t += wsString("module %.8X %s\n", m.moduleId, m.name.c_str());
    for (const TImportedFunction* f : functionsOf[m.moduleId])
      t += wsString("  %.8X %s\n", f->importKey, f->name.c_str());
  }
  printOut(t);
  return EXIT_OK;
}

// ---- exports ------------------------------------------------------------

int runExports(const TCliArgs& args, TCliHost& host) {
  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc)) return rc;
  const TImageInfo& im = doc.image();
  std::vector<TExportEntry> entries;
  ExportWalkResult r = listExports(im, entries);
  if (r != ExportWalkResult::Ok) {
    TExportFailureText f = exportFailureText(r);
    host.message(f.message, f.caption, MsgIcon::Information, MsgButtons::Ok);
    return EXIT_FAILED;
  }
  uint32_t base = 0, dirRva, dirSize;
  if (im.dataDirectory(pe_header::kExportDirectory, dirRva, dirSize)) {
    uint32_t d = im.rvaToFileOffset(dirRva, true);
    base = boundedLe32(doc.buffer(), doc.fileSize(), uint64_t(d) + pe_export::kOrdinalBase);
  }
  if (args.flag("json")) {
    TJsonWriter j;
    j.beginObject().field("base", base).key("exports").beginArray();
    for (const auto& e : entries) {
      j.beginObject().field("index", e.index).field("ordinal", e.index + base);
      j.field("rva", e.rva).field("address", e.rva + im.imageBase()).field("name", e.name);
      j.endObject();
    }
    j.endArray().endObject();
    printOut(j.text() + "\n");
    return EXIT_OK;
  }
  std::string t = "index  ordinal  RVA       address   name\n";
  for (const auto& e : entries)
    t += wsString("%5u  %7u  %.8X  %.8X  %s\n", e.index, e.index + base, e.rva,
                  e.rva + im.imageBase(), e.name.c_str());
  printOut(t);
  return EXIT_OK;
}

// ---- relocs -------------------------------------------------------------

int runRelocs(const TCliArgs& args, TCliHost& host) {
  std::optional<uint32_t> at;
  if (int rc = addressOption(args, "relocs", "rva", at)) return rc;
  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc)) return rc;
  const TImageInfo& im = doc.image();
  const TRelocationTable* table = im.relocationTable();
  const bool json = args.flag("json");
  TJsonWriter j;
  std::string t;
  if (at) {
    const uint32_t state = im.relocationStateAt(*at);
    const uint32_t entry = im.relocationEntryOffsetAt(*at);
    if (json) {
      j.beginObject().field("rva", *at).field("state", state);
      addrValue(j, "entryOffset", entry);
      j.endObject();
      printOut(j.text() + "\n");
    } else {
      printOut(
          wsString("RVA %.8X: state %u, entry offset %s\n", *at, state, addrText(entry).c_str()));
    }
    return EXIT_OK;
  }
  if (json) j.beginObject().field("present", table != nullptr).key("blocks").beginArray();
  if (!table && !json) t += "no relocation directory\n";
  if (table) {
    for (const auto& b : table->blocks()) {
      if (json) {
        j.beginObject().field("pageRva", b.pageRva).field("blockOffset", b.blockOffset);
        j.key("entries").beginArray();
        for (uint16_t e : b.entries) j.value(uint32_t(e));
        j.endArray().endObject();
        continue;
      }
      t += wsString("block %.8X at offset %.8X, %u entries\n", b.pageRva, b.blockOffset,
                    b.entryCount);
      for (uint32_t k = 0; k < b.entryCount; ++k) {
        const uint16_t e = b.entries[k];
        t += wsString("  %.4X  type %u  RVA %.8X\n", e, e >> 12, b.pageRva + (e & 0xFFFu));
      }
    }
  }
  if (json) {
    j.endArray().endObject();
    t = j.text() + "\n";
  }
  printOut(t);
  return EXIT_OK;
}

// ---- tls ----------------------------------------------------------------

int runTls(const TCliArgs& args, TCliHost& host) {
  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc)) return rc;
  const TImageInfo& im = doc.image();
  const TTlsMenu menu = buildTlsMenu(im);
  if (args.flag("json")) {
    TJsonWriter j;
    j.beginObject().key("callbacks").beginArray();
    for (uint32_t k = 0; k < im.tlsCallbackCount(); ++k) {
      j.beginObject();
      addrValue(j, "fileOffset", im.tlsCallbackOffset(k));
      addrValue(j, "memoryAddress", im.fileOffsetToMemory(im.tlsCallbackOffset(k)));
      j.field("nextSlotOffset", im.tlsNextSlotOffset(k)).endObject();
    }
    j.endArray().key("menu").beginObject().field("enabled", menu.enabled).key("items").beginArray();
    for (const auto& item : menu.items)
      j.beginObject()
          .field("id", item.id)
          .field("text", item.text)
          .field("enabled", item.enabled)
          .endObject();
    j.endArray().endObject().endObject();
    printOut(j.text() + "\n");
    return EXIT_OK;
  }
  std::string t = wsString("%u TLS callbacks\n", im.tlsCallbackCount());
  for (uint32_t k = 0; k < im.tlsCallbackCount(); ++k)
    t += wsString("  %u: offset %s  memory %s  next slot %.8X\n", k,
                  addrText(im.tlsCallbackOffset(k)).c_str(),
                  addrText(im.fileOffsetToMemory(im.tlsCallbackOffset(k))).c_str(),
                  im.tlsNextSlotOffset(k));
  t += std::string("menu \"Setup tracer for TLS callback\"") + (menu.enabled ? "" : " (grayed)") +
       "\n";
  for (const auto& item : menu.items)
    t += wsString("  %i  %s%s\n", item.id, item.text.c_str(), item.enabled ? "" : " (grayed)");
  printOut(t);
  return EXIT_OK;
}

}  // namespace

int loadDocumentArg(const TCliArgs& args, TDocument& doc, LoadScan scan,
                    size_t expectedPositionals) {
  if (args.positionals().size() != expectedPositionals) {
    std::fprintf(stderr, "oxu: expected %zu file argument%s (see oxu --help)\n",
                 expectedPositionals, expectedPositionals == 1 ? "" : "s");
    return EXIT_USAGE;
  }
  doc.setPath(args.positionals()[0]);
  doc.settings().noScan = scan == LoadScan::Off;
  if (doc.LoadFile(true) != LOAD_OK) return EXIT_LOAD_FAILED;
  if (scan == LoadScan::On) doc.workers().waitReferenceScan();
  return EXIT_OK;
}

int addressOption(const TCliArgs& args, const char* command, const char* option,
                  std::optional<uint32_t>& out) {
  if (auto v = args.value(option)) {
    out = parseAddress(*v);
    if (!out) {
      std::fprintf(stderr, "oxu %s: '%s' is not a hexadecimal 32-bit number\n", command,
                   v->c_str());
      return EXIT_USAGE;
    }
  }
  return EXIT_OK;
}

void printOut(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) std::perror("oxu: stdout");
}

void addImageCommands(std::vector<TCliCommand>& commands) {
  commands.push_back(
      {"info", "FILE [--json]   headers, sections and file-dependent menu items", {}, {}, runInfo});
  commands.push_back({"conv",
                      "FILE (--offset|--rva|--mem) VALUE [--json]   every address conversion",
                      {"offset", "rva", "mem"},
                      {},
                      runConv});
  commands.push_back({"imports",
                      "FILE [--json] [--refs]   imported modules (ids) and functions (keys); "
                      "--refs: the descriptors' functions with the code that uses them",
                      {},
                      {"refs"},
                      runImports});
  commands.push_back(
      {"exports", "FILE [--json]   exported functions in index order", {}, {}, runExports});
  commands.push_back({"relocs",
                      "FILE [--rva VALUE] [--json]   base relocations, or the state at one RVA",
                      {"rva"},
                      {},
                      runRelocs});
  commands.push_back(
      {"tls", "FILE [--json]   TLS callbacks and the tracer's callback menu", {}, {}, runTls});
}
