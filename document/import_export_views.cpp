#include "document/import_export_views.h"

#include "analysis/id_refs.h"
#include "base/host.h"
#include "base/le_read.h"
#include "base/text_format.h"
#include "document/document.h"
#include "image/exports.h"

namespace {
constexpr const char* kNotCompleted = "Import scanning not completed yet!";
}

bool TImportsView::open(const TDocument& doc, bool keepOriginal, const TImpRefStore& refs,
                        bool scanning) {
  keepOriginal_ = keepOriginal;
  title_.clear();
  functions_.clear();
  references_.clear();
  module_ = function_ = -1;
  if (!model_.build(doc.image(), keepOriginal_)) {
    title_ = TImportListModel::kFailureTitle;
    return false;
  }
  chooseModule(doc, model_.modules().empty() ? -1 : 0, refs, scanning);
  return true;
}

void TImportsView::chooseModule(const TDocument& doc, int index, const TImpRefStore& refs,
                                bool scanning) {
  functions_.clear();
  references_.clear();
  function_ = -1;
  module_ = index;
  if (index < 0 || index >= int(model_.modules().size())) return;
  functions_ = model_.functions(doc.image(), size_t(index));
  chooseFunction(doc, functions_.empty() ? -1 : 0, refs, scanning);
}

void TImportsView::chooseFunction(const TDocument& doc, int index, const TImpRefStore& refs,
                                  bool scanning) {
  function_ = index;
  listReferences(doc, refs, scanning);
}

void TImportsView::listReferences(const TDocument& doc, const TImpRefStore& refs, bool scanning) {
  references_.clear();
  if (scanning) {
    references_.push_back({kNotCompleted, 0xFFFFFFFFu});
    return;
  }
  const TImageInfo& im = doc.image();
  if (!im.isPE() || !im.importsPresent() || module_ < 0 || function_ < 0 ||
      function_ >= int(functions_.size()))
    return;
  const TImportListFunction& f = functions_[function_];
  const TImportListModule& m = model_.modules()[module_];
  rememberedModuleName_ = m.nameOffset;
  rememberedFunction_ = f.data;
  // The first chained descriptor whose module name has references supplies them.
  for (const TImportListDescriptor& desc : m.chainedDescriptors) {
    const uint32_t nameRva = boundedLe32(doc.buffer(), doc.fileSize(), uint64_t(desc.offset) + 12);
    const TImpRef* ref = refs.findByImport(im.rvaToFileOffset(nameRva, true), f.data);
    if (!ref) continue;
    for (uint32_t i = 0; i < ref->refs.count(); ++i) {
      const uint32_t o = uint32_t(ref->refs[i].value);
      references_.push_back({wsString(" %.8lX  -  :%.8lX", o, im.fileOffsetToMemory(o)), o});
    }
    break;
  }
  sortLikeListControl(references_);
}

bool TImportsView::chooseReference(TDocument& doc, int index, bool scanning) {
  const TImageInfo& im = doc.image();
  if (scanning || !im.isPE() || !im.importsPresent() || module_ < 0 || function_ < 0 || index < 0 ||
      index >= int(references_.size()) || references_[index].data == 0xFFFFFFFFu)
    return false;
  doc.history().pushReturn(RK_IMPORT);
  doc.gotoOffset(references_[index].data, 0);
  doc.view().hexDump = false;
  doc.view().bits16 = false;
  return true;
}

void TImportsView::toggleKeepOriginal(const TDocument& doc, const TImpRefStore& refs,
                                      bool scanning) {
  const uint32_t moduleName = rememberedModuleName_;
  const uint32_t function = rememberedFunction_;
  keepOriginal_ = !keepOriginal_;
  functions_.clear();
  references_.clear();
  module_ = function_ = -1;
  if (!model_.build(doc.image(), keepOriginal_)) {
    title_ = TImportListModel::kFailureTitle;
    return;
  }
  int m = model_.modules().empty() ? -1 : 0;
  for (size_t i = 0; i < model_.modules().size(); ++i)
    if (model_.modules()[i].nameOffset == moduleName) {
      m = int(i);
      break;
    }
  module_ = m;
  if (m < 0) return;
  functions_ = model_.functions(doc.image(), size_t(m));
  int f = functions_.empty() ? -1 : 0;
  for (size_t i = 0; i < functions_.size(); ++i)
    if (functions_[i].data == function) {
      f = int(i);
      break;
    }
  chooseFunction(doc, f, refs, scanning);
}

void TExportsView::open(const TDocument& doc) {
  lines_.clear();
  title_.clear();
  failureText_.clear();
  failureCaption_.clear();
  const TImageInfo& im = doc.image();
  if (!im.isPE()) {
    title_ = "Not a portable executable!";
    return;
  }
  std::vector<TExportEntry> entries;
  const ExportWalkResult r = listExports(im, entries);
  if (r != ExportWalkResult::Ok) {
    const TExportFailureText f = exportFailureText(r);
    title_ = f.title;
    failureText_ = f.message;
    failureCaption_ = f.caption;
    return;
  }
  for (const auto& e : entries) lines_.push_back({e.name, im.rvaToFileOffset(e.rva, true)});
  sortLikeListControl(lines_);
}

std::string TExportsView::addressText(const TDocument& doc, int index, bool memoryShown) const {
  if (index < 0 || index >= int(lines_.size())) return {};
  const uint32_t o = lines_[index].data;
  return memoryShown ? wsString(":%.8lX", doc.image().fileOffsetToMemory(o)) : wsString("%.8lX", o);
}

void TExportsView::goThere(TDocument& doc, int index) const {
  if (index < 0 || index >= int(lines_.size())) {
    doc.host().message("Please select an item first!", "No funcion selected!", MsgIcon::Warning);
    return;
  }
  doc.history().pushReturn(RK_EXPORT);
  doc.gotoOffset(lines_[index].data, 0);
}
