// The project file (".oxu"): the work done on one analysed file — which file
// it is, its names, the tracer state with breakpoints, the four reference
// stores, the navigation history and a few view settings — in one
// little-endian binary file without padding:
//
//   0   20 bytes  header (version, position, view settings, zeros)
//   20  32 bytes  offset table: where each of the eight sections starts
//   52  ...       the sections 0..7, each a marker byte (its number) and a body
//
// This file knows the bytes only. Opening files, choosing the analysed file
// and applying the view settings belong to the document's project commands.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/comment_container.h"
#include "analysis/reference_stores.h"
#include "analysis/return_manager.h"
#include "tracer/fixed_regs.h"

class Host;

// The version this program writes; older ones are read by their own rules,
// newer ones with a warning.
constexpr uint16_t PROJECT_VERSION = 235;
constexpr uint32_t PROJECT_HEADER_SIZE = 20;
constexpr uint32_t PROJECT_SECTIONS_START = 52;  // header + offset table
constexpr int PROJECT_SECTION_COUNT = 8;
// A stored path of this many bytes (with its zero) or more is not used.
constexpr uint32_t PROJECT_PATH_LIMIT = 260;

enum TProjectSection : int {
  PS_FILENAME = 0,
  PS_COMMENTS = 1,
  PS_FIXEDREGS = 2,
  PS_JUMPANDCALLREFS = 3,
  PS_IMPORTREFS = 4,
  PS_STRINGREFS = 5,
  PS_MENUREFS = 6,
  PS_RETURNS = 7,
};

// "FILENAME" .. "RETURNS"; nullptr outside 0..7.
const char* projectSectionName(int section);

// Results of loading a project.
enum TProjectLoadResult : int {
  PROJECT_LOADED = 0,
  PROJECT_CANNOT_OPEN = 1,
  PROJECT_READ_ERROR = 2,
  PROJECT_CANCELLED = 3,  // the user cancelled the choice of the analysed file
  PROJECT_WRONG_SECTION = 5,
};

struct TProjectHeader {
  uint16_t version = PROJECT_VERSION;
  uint32_t position = 0;       // the listing's top file offset when saved (not used on loading)
  uint8_t codeWidth = 32;      // 16 or 32
  uint8_t hexDump = 0;         // 1: the hex dump was shown
  uint8_t programOffsets = 0;  // 1: memory addresses, 0: file offsets
  uint8_t autoStrings = 0;     // 1: automatic string search on
};

// Everything a project holds besides the header and the analysed file's path.
struct TProjectContents {
  const std::vector<TComment>& names;  // ascending address (a snapshot of the name store)
  const TFixedRegs& regs;
  const TReferenceStores& stores;
  const TReturnManager& history;
};

// The whole file; `table` receives the section offsets written at offset 20.
// An empty project (no names, references, breakpoints or history) is
// 16553 + path length + 1 bytes.
std::vector<uint8_t> buildProjectFile(const TProjectHeader& header, const std::string& path,
                                      const TProjectContents& contents,
                                      std::array<uint32_t, PROJECT_SECTION_COUNT>* table = nullptr);

// Reads a project held in memory, section by section, into the stores it is
// given. Every failure is reported through the host with the file's own
// messages and ends the read; what was read before stays in the stores.
// Status texts show the progress of the counted sections. Never reads
// outside [data, data + size).
class TProjectReader {
 public:
  TProjectReader(const uint8_t* data, size_t size, Host& host)
      : data_(data), size_(size), host_(host) {}

  // Header and offset table; warns about a newer version and goes on.
  int readHeader();
  const TProjectHeader& header() const { return header_; }
  uint32_t sectionOffset(int section) const { return table_[section]; }

  // Goes to the section's offset and checks its marker byte
  // (PROJECT_LOADED, PROJECT_WRONG_SECTION or PROJECT_READ_ERROR).
  int enterSection(int section);

  // FILENAME body. tooLong: the stored length is PROJECT_PATH_LIMIT or more,
  // the path is not read (the caller warns). path stops at its first zero.
  int readFileName(std::string& path, bool& tooLong);
  // The bodies below replace the store's contents (emptied first).
  int readComments(TCommentContainer& names);
  // fixedMarks: one of the three register mark bytes is set.
  int readFixedRegs(TFixedRegs& regs, bool& fixedMarks);
  int readJumpCalls(TJCRefContainer& store);
  int readImports(TImpRefStore& store);
  int readStrings(TStrRefStore& store);
  int readMenus(TMenuRefStore& store);
  int readReturns(TReturnManager& history);

  size_t position() const { return pos_; }

 private:
  int readError(int detail);
  bool u8(uint8_t& v);
  bool u16(uint16_t& v);
  bool u32(uint32_t& v);
  size_t remaining() const { return size_ - pos_; }
  // Bytes from here to the start of the next section by the table (negative
  // when that lies behind); the limit a record of a counted section may use.
  int64_t budgetTo(int nextSection) const;
  template <class R>
  int readIdRefs(TIdRefStore<R>& store, int section, const char* progress);

  const uint8_t* data_;
  size_t size_;
  Host& host_;
  size_t pos_ = 0;
  int section_ = -1;  // the section being read; -1 for the header and the table
  TProjectHeader header_;
  std::array<uint32_t, PROJECT_SECTION_COUNT> table_{};
};
