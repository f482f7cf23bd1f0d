#include "document/view_commands.h"

#include "base/command_table.h"
#include "base/host.h"
#include "base/le_read.h"
#include "document/document.h"
#include "listing/listing_lines.h"

namespace {

// Reading the dword behind a clicked byte stands where the buffer was
// locked: a failure has the same message, with the command's caption.
bool dwordAt(TDocument& doc, uint32_t at, const char* caption, uint32_t& value) {
  if (uint64_t(at) + 4 > doc.fileSize()) {
    doc.host().message("Unable to lock file memory!", caption, MsgIcon::Error);
    return false;
  }
  value = readLe32(doc.buffer() + at);
  return true;
}

// A near jump of a DOS program listed in memory addresses leads into the
// program after its header.
uint32_t referenceTarget(const TDocument& doc, uint16_t type, uint32_t target) {
  const TImageInfo& im = doc.image();
  if (type == HOTSPOT_JUMP && doc.view().memory() && im.isMZ() && !im.isPE() &&
      doc.fileSize() >= 10)
    return target + 16u * readLe16(doc.buffer() + 8);
  return target;
}

// The relocation entry's RVA for a file offset, when the image has relocations.
uint32_t relocatedRva(const TDocument& doc, uint32_t at) {
  const TImageInfo& im = doc.image();
  return im.relocationTable() ? im.fileOffsetToRva(at) : NOT_IN_FILE;
}

}  // namespace

void CmViewMode(TDocument& doc, int id) {
  TViewState& v = doc.view();
  switch (id) {
    case CM_VIEW_32:
      v.hexDump = false;
      v.bits16 = false;
      break;
    case CM_VIEW_16:
      v.hexDump = false;
      v.bits16 = true;
      break;
    case CM_VIEW_HEX: v.hexDump = true; break;
    case CM_FILE_OFFSETS: v.fileOffsets = true; break;
    case CM_PROGRAM_OFFSETS:
      if (doc.isLoaded() && doc.image().isPE()) v.fileOffsets = false;
      break;
    case CM_AUTO_STRINGS: v.detectStrings = !v.detectStrings; break;
    case CM_MARK_RELOCATIONS: v.markRelocations = !v.markRelocations; break;
    default: break;
  }
}

void CmGotoEntryPoint(TDocument& doc) {
  if (!doc.isLoaded()) return;
  const TImageInfo& im = doc.image();
  const uint32_t target = !im.isPE() || doc.view().bits16 ? im.mzEntryOffset() : im.entryOffset();
  if (target < doc.fileSize()) {
    TReturnManager& h = doc.history();
    if (h.count() == 0 || h.getReturn(h.count() - 1).address != target) h.pushReturn(RK_GOTO);
  }
  doc.gotoOffset(target, 0);
}

ReturnKind followedReturnKind(uint16_t hotspotType) {
  switch (hotspotType) {
    case HOTSPOT_CALL:
    case HOTSPOT_FAR_CALL: return RK_CALL;
    case HOTSPOT_JUMP:
    case HOTSPOT_FAR_JUMP:
    case HOTSPOT_POSSIBLE_REF: return RK_JUMP;
    default: return RK_GOTO;
  }
}

bool followReference(TDocument& doc, uint16_t type, uint32_t source, uint32_t target) {
  const ReturnKind kind = followedReturnKind(type);
  if (kind == RK_GOTO) {
    doc.host().message("Unknown reference type!", "TDWin::EvLButtonUp() : Ref error",
                       MsgIcon::Error);
    return false;
  }
  doc.history().pushReturn(kind, source);
  doc.gotoOffset(target, 0);
  return true;
}

void CmGotoCode(TDocument& doc, uint16_t type, uint32_t source, uint32_t target) {
  doc.history().pushReturn(followedReturnKind(type), source);
  doc.gotoOffset(referenceTarget(doc, type, target), 0);
}

void CmGotoData(TDocument& doc, uint16_t type, uint32_t source, uint32_t target) {
  const uint32_t to = referenceTarget(doc, type, target);
  doc.history().pushReturn(RK_GOTO, source);
  doc.view().hexDump = true;
  doc.gotoOffset(to, 0);
  updateScrollBar(doc.view(), doc.listingContext());
}

bool gotoUserAddress(TDocument& doc, uint32_t value, UserAddressKind kind, uint32_t source) {
  const uint32_t offset = userAddressToFileOffset(doc.image(), value, kind, doc.host());
  if (offset == NOT_IN_FILE && kind != UserAddressKind::FileOffset) return false;
  // A refused file offset leaves no history entry behind.
  const bool inFile = offset < doc.fileSize();
  if (inFile) doc.history().pushReturn(RK_GOTO, source);
  doc.gotoOffset(offset, 0);
  return inFile;
}

bool CmGotoFileOffset(TDocument& doc, uint32_t at, uint32_t source, UserAddressKind kind) {
  uint32_t d;
  if (!dwordAt(doc, at, "TDWin::CmGotoFileOffset() : Memory error", d)) return false;
  return gotoUserAddress(doc, d, kind, source);
}

uint32_t dumpTargetThroughDword(TDocument& doc, uint32_t at, UserAddressKind kind) {
  const bool rva = kind == UserAddressKind::Rva;
  uint32_t d;
  if (!dwordAt(doc, at,
               rva ? "TDWin::CmDumpCodeRVA(): Memory error!"
                   : "TDWin::CmDumpCodeMem(): Memory error!",
               d))
    return NOT_IN_FILE;
  return userAddressToFileOffset(doc.image(), d, kind, doc.host());
}

bool CmGotoRelocation(TDocument& doc, uint32_t at, uint32_t source) {
  const uint32_t rva = relocatedRva(doc, at);
  if (rva == NOT_IN_FILE) return false;
  const uint32_t entry = doc.image().relocationEntryOffsetAt(rva);
  if (entry == NOT_IN_FILE || entry >= doc.fileSize()) return false;
  doc.history().pushReturn(RK_GOTO, source);
  doc.gotoOffset(entry, 0);
  return true;
}

bool CmRemoveRelocation(TDocument& doc, uint32_t at) {
  const uint32_t rva = relocatedRva(doc, at);
  return rva != NOT_IN_FILE && doc.removeRelocationAt(rva);
}

uint32_t namedAddressOffset(const TDocument& doc, uint32_t address) {
  const TImageInfo& im = doc.image();
  const uint32_t o = im.isPE() ? im.memoryToFileOffset(address) : address;
  return doc.isLoaded() && o < doc.fileSize() ? o : NOT_IN_FILE;
}

void showNamedAddress(TDocument& doc, uint32_t address) {
  const TImageInfo& im = doc.image();
  doc.history().pushReturn(RK_GOTO);
  doc.gotoOffset(im.isPE() ? im.memoryToFileOffset(address) : address, 0);
}
