#include "image/imports.h"

#include <algorithm>

namespace {

bool idLess(const TImportedModule& a, const TImportedModule& b) { return a.moduleId < b.moduleId; }

// (key << 32 | position) values in key order, equal keys by position. Many
// values: a least-significant-digit radix sort over the key's two halves.
void sortByKey(std::vector<uint64_t>& values) {
  constexpr size_t kDigits = size_t(1) << 16;
  if (values.size() < kDigits) {
    std::sort(values.begin(), values.end());
    return;
  }
  std::vector<uint64_t> scratch(values.size());
  std::vector<size_t> start(kDigits + 1);
  for (int shift : {32, 48}) {
    auto digit = [shift](uint64_t v) { return size_t(v >> shift) & (kDigits - 1); };
    std::fill(start.begin(), start.end(), 0);
    for (uint64_t v : values) ++start[digit(v) + 1];
    if (start[digit(values[0]) + 1] == values.size()) continue;  // one digit for all
    for (size_t d = 0; d < kDigits; ++d) start[d + 1] += start[d];
    for (uint64_t v : values) scratch[start[digit(v)]++] = v;
    values.swap(scratch);
  }
}

}  // namespace

void TFileFunctionBatch::add(uint32_t key, uint32_t moduleId, std::string_view name) {
  entries_.push_back(Entry{key, moduleId, names_.size(), static_cast<uint32_t>(name.size())});
  names_.append(name);
}

uint32_t TImportLists::takeModuleId() {
  const uint32_t id = nextModuleId_;
  nextModuleId_ += kModuleIdStep;
  return id;
}

uint32_t TImportLists::findOrAddModule(const std::string& name, uint32_t keep) {
  if (auto found = moduleIdByName_.find(name); found != moduleIdByName_.end()) return found->second;
  const uint32_t id = takeModuleId();
  auto at = std::upper_bound(modules_.begin(), modules_.end(), id,
                             [](uint32_t v, const TImportedModule& m) { return v < m.moduleId; });
  modules_.insert(at, TImportedModule{id, name, keep});
  moduleIdByName_.emplace(name, id);
  return id;
}

uint32_t TImportLists::addFileModule(const std::string& name) {
  const auto [entry, added] = moduleIdByName_.try_emplace(name, nextModuleId_);
  if (!added) return entry->second;
  const uint32_t id = takeModuleId();
  modules_.push_back(TImportedModule{id, name, 0});
  return id;
}

uint32_t TImportLists::findOrAddFunction(uint32_t moduleId, const std::string& name) {
  if (!firstKeyByNameValid_) {
    firstKeyByName_.clear();
    for (const auto& f : functions_)
      firstKeyByName_.emplace(f.name, f.importKey);  // keeps the first
    firstKeyByNameValid_ = true;
  }
  if (auto found = firstKeyByName_.find(name); found != firstKeyByName_.end()) return found->second;
  auto it = std::lower_bound(modules_.begin(), modules_.end(), moduleId,
                             [](const TImportedModule& m, uint32_t v) { return m.moduleId < v; });
  if (it == modules_.end() || it->moduleId != moduleId) return 0;
  it->keep = 1;
  const uint32_t key = nextFunctionKey_;
  nextFunctionKey_ += kFunctionKeyStep;
  insertFunction(TImportedFunction{key, moduleId, name, 0});
  firstKeyByName_.emplace(name, key);
  return key;
}

void TImportLists::addFileFunctions(const TFileFunctionBatch& batch) {
  // Ids only fall after the module counter wrapped around.
  if (!std::is_sorted(modules_.begin(), modules_.end(), idLess))
    std::stable_sort(modules_.begin(), modules_.end(), idLess);
  firstKeyByNameValid_ = false;
  if (batch.size() == 0) return;
  std::vector<uint64_t> order(batch.size());
  bool ascending = true;
  for (size_t i = 0; i < order.size(); ++i) {
    order[i] = uint64_t(batch.entries_[i].key) << 32 | i;
    ascending = ascending && (i == 0 || order[i - 1] < order[i]);
  }
  if (!ascending) sortByKey(order);  // a linker writes its names in order, mostly
  // Merged with the entries kept from before, which come first among equal keys.
  std::vector<TImportedFunction> merged;
  merged.reserve(functions_.size() + batch.size());
  size_t kept = 0;
  for (uint64_t o : order) {
    const TFileFunctionBatch::Entry& e = batch.entries_[uint32_t(o)];
    while (kept < functions_.size() && functions_[kept].importKey <= e.key)
      merged.push_back(std::move(functions_[kept++]));
    merged.push_back(TImportedFunction{e.key, e.moduleId,
                                       std::string(batch.names_.data() + e.nameAt, e.nameLength),
                                       1});
  }
  while (kept < functions_.size()) merged.push_back(std::move(functions_[kept++]));
  functions_ = std::move(merged);
}

void TImportLists::insertFunction(TImportedFunction f) {
  auto at =
      std::upper_bound(functions_.begin(), functions_.end(), f.importKey,
                       [](uint32_t v, const TImportedFunction& e) { return v < e.importKey; });
  functions_.insert(at, std::move(f));
}

void TImportLists::pruneFileEntries() {
  std::erase_if(functions_, [](const TImportedFunction& f) { return f.fromFile == 1; });
  const size_t listed = modules_.size();
  std::erase_if(modules_, [](const TImportedModule& m) { return m.keep == 0; });
  moduleIdByName_.clear();
  moduleIdByName_.reserve(listed);  // the file names as many modules again, most likely
  for (const auto& m : modules_) moduleIdByName_.emplace(m.name, m.moduleId);
  firstKeyByNameValid_ = false;
}

const TImportedFunction* TImportLists::functionByKey(uint32_t key) const {
  auto it =
      std::lower_bound(functions_.begin(), functions_.end(), key,
                       [](const TImportedFunction& f, uint32_t v) { return f.importKey < v; });
  return it != functions_.end() && it->importKey == key ? &*it : nullptr;
}

const TImportedModule* TImportLists::moduleById(uint32_t id) const {
  auto it = std::lower_bound(modules_.begin(), modules_.end(), id,
                             [](const TImportedModule& m, uint32_t v) { return m.moduleId < v; });
  return it != modules_.end() && it->moduleId == id ? &*it : nullptr;
}
