#include "image/imports.h"

#include <algorithm>

uint32_t TImportLists::findOrAddModule(const std::string& name, uint32_t keep) {
  if (auto found = moduleIdByName_.find(name); found != moduleIdByName_.end()) return found->second;
  uint32_t id = nextModuleId_;
  nextModuleId_ += kModuleIdStep;
  auto at = std::upper_bound(modules_.begin(), modules_.end(), id,
                             [](uint32_t v, const TImportedModule& m) { return v < m.moduleId; });
  modules_.insert(at, TImportedModule{id, name, keep});
  moduleIdByName_.emplace(name, id);
  return id;
}

uint32_t TImportLists::findOrAddFunction(uint32_t moduleId, const std::string& name) {
  for (const auto& f : functions_)
    if (f.name == name) return f.importKey;
  auto it = std::lower_bound(modules_.begin(), modules_.end(), moduleId,
                             [](const TImportedModule& m, uint32_t v) { return m.moduleId < v; });
  if (it == modules_.end() || it->moduleId != moduleId) return 0;
  it->keep = 1;
  uint32_t key = nextFunctionKey_;
  nextFunctionKey_ += kFunctionKeyStep;
  insertFunction(TImportedFunction{key, moduleId, name, 0});
  return key;
}

void TImportLists::addFileFunctions(std::vector<TImportedFunction>&& batch) {
  for (auto& f : batch) functions_.push_back(std::move(f));
  std::stable_sort(functions_.begin(), functions_.end(),
                   [](const TImportedFunction& a, const TImportedFunction& b) {
                     return a.importKey < b.importKey;
                   });
}

void TImportLists::insertFunction(TImportedFunction f) {
  auto at = std::upper_bound(functions_.begin(), functions_.end(), f.importKey,
                             [](uint32_t v, const TImportedFunction& e) { return v < e.importKey; });
  functions_.insert(at, std::move(f));
}

void TImportLists::pruneFileEntries() {
  std::erase_if(functions_, [](const TImportedFunction& f) { return f.fromFile == 1; });
  std::erase_if(modules_, [](const TImportedModule& m) { return m.keep == 0; });
  moduleIdByName_.clear();
  for (const auto& m : modules_) moduleIdByName_.emplace(m.name, m.moduleId);
}

const TImportedFunction* TImportLists::functionByKey(uint32_t key) const {
  auto it = std::lower_bound(functions_.begin(), functions_.end(), key,
                             [](const TImportedFunction& f, uint32_t v) { return f.importKey < v; });
  return it != functions_.end() && it->importKey == key ? &*it : nullptr;
}

const TImportedModule* TImportLists::moduleById(uint32_t id) const {
  auto it = std::lower_bound(modules_.begin(), modules_.end(), id,
                             [](const TImportedModule& m, uint32_t v) { return m.moduleId < v; });
  return it != modules_.end() && it->moduleId == id ? &*it : nullptr;
}
