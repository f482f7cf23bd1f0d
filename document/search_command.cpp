#include "document/search_command.h"

#include "base/host.h"
#include "base/le_read.h"
#include "base/text_format.h"
#include "document/document.h"
#include "image/byte_search.h"
#include "image/raw_convert.h"
#include "persist/settings.h"

bool searchHitShown(const TDocument& doc, const TSearchState& state, uint32_t offset) {
  const uint32_t top = doc.view().topOffset;
  const uint32_t lines = state.shownLines ? state.shownLines : 1;
  const uint64_t end = state.linesForward ? uint64_t(state.linesForward(top, lines))
                                          : uint64_t(top) + 16ull * lines;
  return offset >= top && offset < end;
}

bool search(TDocument& doc, TSearchState& state, uint32_t start, int mode) {
  Host& host = doc.host();
  auto pattern = buildSearchPattern(state.phrase, state.type, state.caseSensitive, host);
  if (!pattern) return false;
  state.phrase = pattern->phrase;
  state.type = pattern->type;

  const uint8_t* buffer = doc.buffer();
  const uint32_t size = doc.fileSize();
  const uint8_t* bytes = pattern->bytes.data();
  const uint32_t length = uint32_t(pattern->bytes.size());
  const bool ignoreCase = pattern->ignoreCase;
  if (length > size) {
    host.message("Search item longer than file!!", "Small size problem ;D", MsgIcon::Warning);
    return false;
  }

  uint32_t p = start;
  if (p < state.lastFound && searchHitShown(doc, state, state.lastFound)) p = state.lastFound;

  const bool backward = state.backward;
  const bool interactive = mode == 0;
  const uint32_t last = uint32_t(lastCandidate(size, length));
  int64_t candidate = firstCandidate(p, backward, interactive, size, length);
  bool wrapped = false;
  uint32_t hit = SEARCH_NO_HIT;
  for (;;) {
    if (candidate >= 0)
      hit = backward ? findBackward(buffer, size, bytes, length, ignoreCase, uint32_t(candidate))
                     : findForward(buffer, size, bytes, length, ignoreCase, uint32_t(candidate));
    if (hit != SEARCH_NO_HIT) break;
    if (!interactive || wrapped) {
      host.message("Didn't find it!", "Whole file scanned", MsgIcon::Information);
      return false;
    }
    const char* text;
    if (backward)
      text =
          ignoreCase
              ? "Didn't find it!\nDo you want to continue the search at the end of the file?"
              : "Didn't find the it!\nDo you want to continue the search at the end of the file?";
    else
      text =
          ignoreCase
              ? "Didn't find it!\nDo you want to continue the search at the begining of the file?"
              : "Didn't find the it!\nDo you want to continue the search at the begining of the file?";
    const char* caption = backward ? "Reached begining of file" : "Reached end of file";
    if (host.message(text, caption, MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
      return false;
    wrapped = true;
    candidate = backward ? int64_t(last) : 0;
  }

  doc.history().pushReturn(RK_SEARCH, doc.view().topOffset);
  if (interactive && doc.view().hexDump)
    doc.gotoOffset(hit, 0);
  else
    doc.gotoOffset(hit, interactive ? 4 : mode);
  state.lastFound = hit;
  return true;
}

bool searchAgain(TDocument& doc, TSearchState& state) {
  return search(doc, state, doc.view().topOffset, 0);
}

namespace {

bool searchValue(TDocument& doc, TSearchState& state, uint32_t value) {
  state.phrase = wsString("%.8X", value);
  state.type = ST_HEX;
  state.backward = false;
  if (!search(doc, state, 0, 4)) return false;
  // The hit is shown as code, at the width the listing had.
  doc.view().hexDump = false;
  return true;
}

}  // namespace

bool searchAddressReference(TDocument& doc, TSearchState& state, uint32_t fileOffset) {
  return searchValue(doc, state, rawFileOffsetToMemory(fileOffset, doc.buffer(), doc.fileSize()));
}

bool searchDwordAt(TDocument& doc, TSearchState& state, uint32_t fileOffset) {
  // Only a place in the file has a value; the zero bytes behind the buffer
  // complete a dword that starts in the last three bytes.
  if (fileOffset >= doc.fileSize()) return false;
  return searchValue(doc, state, readLe32(doc.buffer() + fileOffset));
}

bool searchReferenceValue(TDocument& doc, TSearchState& state, uint32_t value) {
  return searchValue(doc, state, value);
}

void readSearchSettings(const TProfileFile& profile, TSearchState& state) {
  // Read as unsigned, so a negative number is "above" the range too.
  const uint32_t type = uint32_t(readKey(profile, kSearchType));
  const uint32_t dir = uint32_t(readKey(profile, kSearchDir));
  state.type = type > ST_UNICODE ? ST_HEX : int(type);
  state.backward = dir == 1;
  state.caseSensitive = readKey(profile, kSearchCase) != 0;
}

bool writeSearchSettings(TProfileFile& profile, const TSearchState& state) {
  return profile.writeAll(
      {{kSearchType.section, kSearchType.key, std::to_string(state.type)},
       {kSearchDir.section, kSearchDir.key, state.backward ? "1" : "0"},
       {kSearchCase.section, kSearchCase.key, state.caseSensitive ? "1" : "0"}});
}
