// The search command: finds the phrase of the search dialog in the document
// and moves the listing to the hit. The dialog itself (a view) keeps a
// TSearchState and calls search() for its "Search (again)" button.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "image/search_pattern.h"

class TDocument;
class TProfileFile;

constexpr uint32_t SEARCH_NONE = 0xFFFFFFFFu;

struct TSearchState {
  // Kept for the whole program run, so the dialog shows it again when it is
  // reopened. A hex phrase is rewritten by each search ("6a1" -> "06A1").
  std::string phrase;
  int type = ST_HEX;  // TSearchType; switched to ST_ASCII when a phrase is taken as text
  bool backward = false;
  bool caseSensitive = false;
  // File offset of the last hit, SEARCH_NONE before the first.
  uint32_t lastFound = SEARCH_NONE;

  // What the listing shows, so that a search pressed again goes on after a
  // hit that is still on screen. The listing sets both before each search:
  // shownLines is the number of lines its window shows (0: only the top
  // line counts as shown), linesForward(offset, n) the file offset n lines
  // below offset, from its own line layout. Without linesForward a line
  // counts as 16 bytes, which is exact for the hex dump.
  uint32_t shownLines = 0;
  std::function<uint32_t(uint32_t offset, uint32_t lines)> linesForward;
};

// One search. mode 0 is the interactive search ("Search (again)"): the
// position `start` itself is skipped and a wrap-around is offered once. A
// non-zero mode begins at `start` itself, never wraps and is the number of
// lines the hit is shown below the top. On a hit a SEARCH history entry
// records the listing's top, the listing moves and lastFound is set.
// Messages and questions go to the document's host.
bool search(TDocument& doc, TSearchState& state, uint32_t start, int mode);

// "Search (again)": from the listing's top line.
bool searchAgain(TDocument& doc, TSearchState& state);

// The three searches of the listing's context menu. Each writes the value as
// eight hex digits into the phrase, chooses "Hex value" and "Forward" and
// searches from the start of the file showing the hit 4 lines below the top;
// after a hit the listing shows code at its current width.
// The memory address of the file offset (a reference to that place).
bool searchAddressReference(TDocument& doc, TSearchState& state, uint32_t fileOffset);
// The dword stored at the file offset.
bool searchDwordAt(TDocument& doc, TSearchState& state, uint32_t fileOffset);
// A value, the possible reference shown for a line.
bool searchReferenceValue(TDocument& doc, TSearchState& state, uint32_t value);

// The dialog's switches (type, direction, case) as the settings file keeps
// them: read when the dialog opens, a type above 4 or a direction above 1
// standing for the first choice; written, one digit each, when it closes.
void readSearchSettings(const TProfileFile& profile, TSearchState& state);
bool writeSearchSettings(TProfileFile& profile, const TSearchState& state);

// True when `offset` lies in the lines the listing shows now (see shownLines).
bool searchHitShown(const TDocument& doc, const TSearchState& state, uint32_t offset);
