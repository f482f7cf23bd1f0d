#include "analysis/id_refs.h"

bool TImpRefStore::add(TImpRef ref) {
  if (ref.refs.empty()) return false;
  refs_.add(std::move(ref));
  return true;
}

const TImpRef* TImpRefStore::findByUser(uint32_t fileOffset) const {
  const TMInt probe(static_cast<int32_t>(fileOffset));
  for (uint32_t i = 0; i < refs_.count(); ++i)
    if (refs_[i].refs.find(probe) != NOT_FOUND) return &refs_[i];
  return nullptr;
}

const TImpRef* TImpRefStore::findByImport(uint32_t moduleName, uint32_t function) const {
  for (uint32_t i = 0; i < refs_.count(); ++i)
    if (refs_[i].moduleName == moduleName && refs_[i].function == function) return &refs_[i];
  return nullptr;
}
