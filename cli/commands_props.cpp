// oxu props: the "Image properties" dialog on the command line, including
// its Apply button (--set-flags) and a save of the result (--out).
#include <cstdio>
#include <string>

#include "base/text_format.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "document/document.h"
#include "document/image_props.h"

namespace {

struct TFlagRequest {
  int control;
  bool on;
};

// "read=0,write=1" (the option may also be given more than once).
bool parseFlagRequests(const std::vector<std::string>& values, std::vector<TFlagRequest>& out,
                       std::string& error) {
  for (const auto& value : values) {
    size_t start = 0;
    while (start <= value.size()) {
      size_t end = value.find(',', start);
      if (end == std::string::npos) end = value.size();
      const std::string item = value.substr(start, end - start);
      start = end + 1;
      const size_t eq = item.find('=');
      const std::string name = item.substr(0, eq);
      const std::string state = eq == std::string::npos ? "" : item.substr(eq + 1);
      const TImageFlagBox* box = nullptr;
      for (const auto& b : kImageFlagBoxes)
        if (name == b.shortName) box = &b;
      if (!box || (state != "0" && state != "1")) {
        error = "'" + item +
                "' is not NAME=0 or NAME=1 (names: code, exec, init, read, uninit, write)";
        return false;
      }
      out.push_back({box->control, state == "1"});
    }
  }
  return true;
}

// Section names are bytes from the file: keep control characters off the terminal.
std::string printable(const std::string& s) {
  std::string t = s;
  for (char& c : t)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '.';
  return t;
}

struct TApplied {
  bool requested = false;
  bool written = false;
  uint32_t offset = 0, before = 0, after = 0;
};

const int kHeaderFields[] = {IPC_NUM_SECTIONS,      IPC_ENTRY_POINT,    IPC_IMAGE_BASE,
                             IPC_SECTION_ALIGNMENT, IPC_FILE_ALIGNMENT, IPC_DIR_ENTRIES};
const char* const kHeaderKeys[] = {"numberOfSections", "entryPoint",    "imageBase",
                                   "sectionAlignment", "fileAlignment", "dirEntries"};
const int kSectionFields[] = {IPC_VIRTUAL_SIZE, IPC_VIRTUAL_ADDRESS, IPC_RAW_SIZE, IPC_RAW_OFFSET};
const char* const kSectionKeys[] = {"virtualSize", "virtualAddress", "sizeOfRawData", "fileOffset"};

std::string jsonText(const TImagePropsModel& m, const TApplied& applied, const std::string& saved) {
  TJsonWriter j;
  j.beginObject().field("title", m.title()).field("valid", m.headersValid());
  for (size_t i = 0; i < 6; ++i) j.field(kHeaderKeys[i], m.fieldText(kHeaderFields[i]));
  j.key("sections").beginArray();
  for (const auto& s : m.sections())
    j.beginObject().field("name", s.name).field("headerOffset", s.headerOffset).endObject();
  j.endArray();
  j.field("selection", m.selection());
  j.key("section");
  if (m.selection() < 0) {
    j.null();
  } else {
    j.beginObject().field("shown", m.sectionShown());
    for (size_t i = 0; i < 4; ++i) j.field(kSectionKeys[i], m.fieldText(kSectionFields[i]));
    j.field("characteristics", m.rememberedCharacteristics());
    j.key("flags").beginObject();
    for (const auto& b : kImageFlagBoxes) j.field(b.shortName, m.checked(b.control));
    j.endObject().endObject();
  }
  j.key("applied");
  if (!applied.requested) {
    j.null();
  } else {
    j.beginObject().field("written", applied.written);
    if (applied.written)
      j.field("offset", applied.offset).field("old", applied.before).field("new", applied.after);
    j.endObject();
  }
  j.key("saved");
  if (saved.empty())
    j.null();
  else
    j.value(saved);
  j.endObject();
  return j.text() + "\n";
}

std::string plainText(const TImagePropsModel& m, const TApplied& applied,
                      const std::string& saved) {
  std::string t;
  auto line = [&](const std::string& label, const std::string& value) {
    t += wsString("%-24s%s\n", label.c_str(), value.c_str());
  };
  line("title", m.title());
  if (m.headersValid()) {
    for (int id : kHeaderFields) line(imagePropsLabel(id), m.fieldText(id));
    t += std::string(imagePropsLabel(IPC_SECTION_LIST)) + "\n";
    for (size_t i = 0; i < m.sections().size(); ++i) {
      const auto& s = m.sections()[i];
      t += wsString("  %c %3u  %-8s  header %.8X\n", int(i) == m.selection() ? '*' : ' ',
                    unsigned(i), printable(s.name).c_str(), s.headerOffset);
    }
    if (m.selection() >= 0) {
      for (int id : kSectionFields) line(imagePropsLabel(id), m.fieldText(id));
      t += "Flags :\n";
      for (const auto& b : kImageFlagBoxes)
        t += wsString("  [%c]%-14s %s\n", m.checked(b.control) ? 'x' : ' ', b.text, b.shortName);
      line("characteristics", wsString("%.8X", m.rememberedCharacteristics()));
    }
  }
  if (applied.requested) {
    if (applied.written)
      line("applied", wsString("%.8X at offset %.8X (was %.8X)", applied.after, applied.offset,
                               applied.before));
    else
      line("applied", "nothing (no flag changed)");
  }
  if (!saved.empty()) line("saved", saved);
  return t;
}

int runProps(const TCliArgs& args, TCliHost& host) {
  int section = 0;
  if (auto v = args.value("section")) {
    auto n = parseDecimal(*v);
    if (!n || *n > 0xFFFF) {
      std::fprintf(stderr, "oxu props: --section takes a section index (decimal)\n");
      return EXIT_USAGE;
    }
    section = static_cast<int>(*n);
  }
  std::vector<TFlagRequest> requests;
  std::string error;
  const bool setFlags = args.value("set-flags").has_value();
  if (!parseFlagRequests(args.values("set-flags"), requests, error)) {
    std::fprintf(stderr, "oxu props: --set-flags: %s\n", error.c_str());
    return EXIT_USAGE;
  }
  const auto out = args.value("out");
  if (out && !setFlags) {
    std::fprintf(stderr, "oxu props: --out saves the result of --set-flags\n");
    return EXIT_USAGE;
  }

  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc)) return rc;
  TImagePropsModel model(doc);
  model.open();
  auto print = [&](const TApplied& applied, const std::string& saved) {
    printOut(args.flag("json") ? jsonText(model, applied, saved)
                               : plainText(model, applied, saved));
  };
  if (!model.headersValid()) {
    print({}, "");
    return EXIT_FAILED;
  }
  if (size_t(section) >= model.sections().size()) {
    std::fprintf(stderr, "oxu props: there is no section %d (the list holds %zu)\n", section,
                 model.sections().size());
    return EXIT_FAILED;
  }
  model.chooseSection(section);

  TApplied applied;
  std::string saved;
  if (setFlags) {
    if (!model.sectionShown()) {
      print({}, "");
      std::fprintf(stderr, "oxu props: the header of section %d does not lie wholly in the file\n",
                   section);
      return EXIT_FAILED;
    }
    applied.requested = true;
    applied.offset = model.sections()[section].headerOffset + 36;
    applied.before = model.rememberedCharacteristics();
    for (const auto& r : requests) model.setChecked(r.control, r.on);
    applied.written = model.apply();
    applied.after = model.rememberedCharacteristics();
    if (out) {
      if (!doc.saveFileAs(*out)) {
        print(applied, "");
        return EXIT_FAILED;
      }
      saved = *out;
    }
  }
  print(applied, saved);
  return EXIT_OK;
}

}  // namespace

void addPropsCommands(std::vector<TCliCommand>& commands) {
  commands.push_back(
      {"props",
       "FILE [--section N] [--set-flags NAME=0|1,...] [--out PATH] [--json]   the image "
       "properties dialog: header fields, sections, flags (code exec init read uninit "
       "write) applied and saved",
       {"section", "set-flags", "out"},
       {},
       runProps});
}
