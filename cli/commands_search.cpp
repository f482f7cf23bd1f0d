// oxu search: one press of "Search (again)", or every hit with --all.
#include <cstdio>
#include <string>
#include <vector>

#include "base/text_format.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "document/document.h"
#include "document/search_command.h"
#include "image/byte_search.h"
#include "image/raw_convert.h"

namespace {

struct TTypeOption {
  const char* name;
  int type;
};
constexpr TTypeOption kTypeOptions[] = {
    {"hex", ST_HEX},     {"dec", ST_DECIMAL},     {"bytes", ST_BYTE_LIST},
    {"ascii", ST_ASCII}, {"unicode", ST_UNICODE},
};

int runSearch(const TCliArgs& args, TCliHost& host) {
  TSearchState state;
  int given = 0;
  for (const auto& t : kTypeOptions) {
    if (auto v = args.value(t.name)) {
      ++given;
      state.type = t.type;
      state.phrase = *v;
    }
  }
  if (given != 1) {
    std::fprintf(stderr,
                 "oxu search: give exactly one of --hex, --dec, --bytes, --ascii, --unicode\n");
    return EXIT_USAGE;
  }
  if (state.phrase.size() > kSearchPhraseMax) {
    std::fprintf(stderr, "oxu search: the phrase is longer than %zu characters\n",
                 kSearchPhraseMax);
    return EXIT_USAGE;
  }
  std::optional<uint32_t> from;
  if (int rc = addressOption(args, "search", "from", from)) return rc;
  state.caseSensitive = args.flag("case");
  state.backward = args.flag("backward");

  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc)) return rc;
  const uint8_t* buffer = doc.buffer();
  const uint32_t size = doc.fileSize();
  const int chosenType = state.type;

  std::vector<uint32_t> hits;
  if (args.flag("all")) {
    auto pattern = buildSearchPattern(state.phrase, state.type, state.caseSensitive, host);
    if (!pattern) return EXIT_FAILED;
    state.phrase = pattern->phrase;
    state.type = pattern->type;
    const uint8_t* bytes = pattern->bytes.data();
    const uint32_t length = uint32_t(pattern->bytes.size());
    if (length > size) {
      host.message("Search item longer than file!!", "Small size problem ;D", MsgIcon::Warning,
                   MsgButtons::Ok);
      return EXIT_FAILED;
    }
    const bool ic = pattern->ignoreCase;
    if (state.backward) {
      uint32_t at = from.value_or(size - length);
      for (;;) {
        const uint32_t hit = findBackward(buffer, size, bytes, length, ic, at);
        if (hit == SEARCH_NO_HIT) break;
        hits.push_back(hit);
        if (hit == 0) break;
        at = hit - 1;
      }
    } else {
      uint32_t at = from.value_or(0);
      for (;;) {
        const uint32_t hit = findForward(buffer, size, bytes, length, ic, at);
        if (hit == SEARCH_NO_HIT) break;
        hits.push_back(hit);
        at = hit + 1;
      }
    }
    if (hits.empty())
      host.message("Didn't find it!", "Whole file scanned", MsgIcon::Information, MsgButtons::Ok);
  } else {
    // One press from the listing's top line, which starts at the beginning
    // of the file (or at --from).
    doc.view().topOffset = from.value_or(0);
    if (search(doc, state, doc.view().topOffset, 0)) hits.push_back(state.lastFound);
  }

  // The type changes when a phrase far from a number was taken as text.
  if (state.type != chosenType)
    host.setStatusText(
        wsString("searched as %s \"%s\"", searchTypeName(state.type), state.phrase.c_str()));

  const bool pe = doc.image().isPE() != 0;
  const TRawSectionTable& sections = doc.image().rawSections();
  if (args.flag("json")) {
    TJsonWriter j;
    j.beginObject().field("phrase", state.phrase).field("type", searchTypeName(state.type));
    j.key("hits").beginArray();
    for (uint32_t h : hits) {
      j.beginObject().field("offset", h);
      if (pe) j.field("memory", sections.fileOffsetToMemory(h));
      j.endObject();
    }
    j.endArray().endObject();
    printOut(j.text() + "\n");
  } else {
    std::string t;
    for (uint32_t h : hits)
      t += pe ? wsString("%.8X %.8X\n", h, sections.fileOffsetToMemory(h)) : wsString("%.8X\n", h);
    printOut(t);
  }
  return hits.empty() ? EXIT_FAILED : EXIT_OK;
}

}  // namespace

void addSearchCommands(std::vector<TCliCommand>& commands) {
  commands.push_back(
      {"search",
       "FILE (--hex|--dec|--bytes|--ascii|--unicode) PHRASE [--case] [--backward] [--from OFF] "
       "[--all] [--json]   the next hit after OFF (file offset and, for PE, memory address), "
       "or with --all every hit from OFF on; exit 3 when none",
       {"hex", "dec", "bytes", "ascii", "unicode", "from"},
       {"case", "backward", "all"},
       runSearch});
}
