#include "document/resource_views.h"

#include "analysis/id_refs.h"
#include "base/text_format.h"
#include "document/document.h"
#include "image/raw_convert.h"

std::vector<TListLine> referenceLines(const TDocument& doc, const std::vector<uint32_t>& offsets) {
  std::vector<TListLine> lines;
  const TRawSectionTable& sections = doc.image().rawSections();
  for (uint32_t o : offsets)
    lines.push_back({wsString(" %.8lX  -  :%.8lX", o, sections.fileOffsetToMemory(o)), o});
  sortLikeListControl(lines);
  return lines;
}

void followResourceReference(TDocument& doc, uint32_t offset, ReturnKind kind) {
  doc.history().pushReturn(kind);
  doc.gotoOffset(offset, 0);
  doc.view().hexDump = false;
  doc.view().bits16 = false;
}

void TMenuResourceView::open(const TDocument& doc) {
  menus_ = listMenus(doc.buffer(), doc.fileSize());
  shown_ = TRenderedMenu{};
  selected_ = -1;
  if (!menus_.lines.empty()) select(doc, 0);
}

void TMenuResourceView::select(const TDocument& doc, int index) {
  if (index < 0 || index >= int(menus_.lines.size())) return;
  selected_ = index;
  shown_ = renderMenu(doc.buffer(), doc.fileSize(), menus_.root, menus_.lines[index]);
}

std::vector<TListLine> TMenuResourceView::referencesForLine(const TDocument& doc, int line,
                                                            const TMenuRefStore& store,
                                                            bool scanning) const {
  if (line < 0 || line >= int(shown_.lineIds.size())) return {};
  if (scanning) return {{"Still scanning...", kNoticeLine}};
  const uint16_t id = shown_.lineIds[line];
  if (id == kNoMenuCommand) return {{"No menu item!", kNoticeLine}};
  const TMenuRef* ref = store.findById(id);
  if (!ref) return {{"No references found!", kNoticeLine}};
  std::vector<uint32_t> offsets;
  for (uint32_t i = 0; i < ref->refs.count(); ++i) offsets.push_back(uint32_t(ref->refs[i].value));
  return referenceLines(doc, offsets);
}

void TStringResourceView::open(const TDocument& doc, const TStrRefStore& store, bool scanning) {
  // The filter needs finished references; while scanning every string shows.
  const bool filter = onlyReferenced && !scanning;
  strings_ = listStrings(doc.buffer(), doc.fileSize(),
                         [&](uint32_t id) { return !filter || store.findById(id) != nullptr; });
  selected_ = strings_.lines.empty() ? -1 : 0;
}

std::vector<TListLine> TStringResourceView::references(const TDocument& doc,
                                                       const TStrRefStore& store,
                                                       bool scanning) const {
  if (scanning) return {{"Still scanning for string references...", kNoticeLine}};
  if (selected_ < 0 || selected_ >= int(strings_.lines.size())) return {};
  const TStrRef* ref = store.findById(strings_.lines[selected_].data);
  if (!ref) return {};
  std::vector<uint32_t> offsets;
  for (uint32_t i = 0; i < ref->refs.count(); ++i) {
    const auto& r = ref->refs[i];
    if ((noArithmetic && (r.type & 1)) || (noBitwise && (r.type & 2))) continue;
    offsets.push_back(uint32_t(r.value));
  }
  return referenceLines(doc, offsets);
}

bool TStringResourceView::search(const std::string& text) {
  const int hit = searchStringLines(strings_.lines, selected_, text);
  if (hit >= 0) selected_ = hit;
  return hit == -1;
}
