#include "document/listing_popup.h"

#include "base/le_read.h"
#include "document/document.h"
#include "listing/listing_lines.h"

std::vector<TMenuItem> addressMenu() {
  return {{"Search for address reference", CM_SEARCH_ADDRESS_REF},
          {"", 0},
          {"Open code dump", CM_CODE_DUMP},
          {"Open data dump", CM_DATA_DUMP},
          {"", 0},
          {"Toggle breakpoint", CM_TOGGLE_BREAKPOINT},
          {"Set comment/label name...", CM_NAME}};
}

std::vector<TMenuItem> byteMenu(const TDocument& doc, uint32_t offset) {
  const uint32_t size = doc.fileSize();
  if (uint64_t(offset) + 4 > size) return {};
  const TImageInfo& im = doc.image();
  const uint32_t d = readLe32(doc.buffer() + offset);
  const bool pe = im.isPE() != 0;
  std::vector<TMenuItem> m = {{"Search for address reference", CM_SEARCH_ADDRESS_REF},
                              {"Search for 32-bit value", CM_SEARCH_VALUE},
                              {"", 0},
                              {"Goto file offset", CM_GOTO_FILE_OFFSET, d < size}};
  if (pe) {
    m.push_back({"Goto RVA", CM_GOTO_RVA, im.rvaToFileOffset(d, true) != NOT_IN_FILE});
    m.push_back({"Goto memory address", CM_GOTO_MEMORY, im.memoryToFileOffset(d) != NOT_IN_FILE});
  }
  m.push_back({"", 0});
  m.push_back({"Open code dump here", CM_CODE_DUMP});
  if (pe) {
    m.push_back({"Open code dump at RVA", CM_CODE_DUMP_RVA});
    m.push_back({"Open code dump at memory address", CM_CODE_DUMP_MEMORY});
    m.push_back({"", 0});
  }
  m.push_back({"Open data dump here", CM_DATA_DUMP});
  if (pe) {
    m.push_back({"Open data dump at RVA", CM_DATA_DUMP_RVA});
    m.push_back({"Open data dump at memory address", CM_DATA_DUMP_MEMORY});
  }
  if (im.relocationTable()) {
    const uint32_t rva = im.fileOffsetToRva(offset);
    const bool here = rva != NOT_IN_FILE && im.relocationStateAt(rva) == 1;
    m.push_back({"", 0});
    m.push_back({"Goto base relocation", CM_GOTO_RELOCATION, here});
    m.push_back({"Remove base relocation", CM_REMOVE_RELOCATION, here});
  }
  m.push_back({"", 0});
  m.push_back({"Set comment/label name...", CM_NAME});
  return m;
}

std::vector<TMenuItem> hotspotMenu() {
  return {{"Search for reference value", CM_SEARCH_REF_VALUE},
          {"", 0},
          {"Goto code", CM_GOTO_CODE},
          {"Goto data", CM_GOTO_DATA},
          {"", 0},
          {"Open code dump", CM_CODE_DUMP},
          {"Open data dump", CM_DATA_DUMP},
          {"", 0},
          {"Set comment/label name...", CM_NAME}};
}

uint32_t nameKey(const TDocument& doc, uint32_t offset) {
  return shownAddress(offset, doc.buffer(), doc.fileSize(), true, &doc.image());
}

bool applyName(TDocument& doc, uint32_t key, const std::string& oldText, const std::string& text) {
  TCommentContainer& names = doc.names();
  if (oldText.empty()) {
    if (text.empty()) return false;
    names.add(key, text, REPLACE_ALWAYS);
    return true;
  }
  if (text.empty()) {
    const uint32_t i = names.find(key);
    if (i == NOT_FOUND) return false;
    names.remove(i);
    return true;
  }
  if (text == oldText) return false;
  names.add(key, text, REPLACE_ALWAYS);
  return true;
}
