// Reference records of imports, string-table strings and menu items, and the
// three stores that hold the ones some instruction uses. Only records whose
// refs are not empty ever enter a store.
#pragma once
#include <cstdint>
#include <utility>

#include "analysis/sorted_array.h"

// One imported function that code uses. The names stay in the file buffer:
// moduleName is the file offset of the module's name string; function is
// 0x80000000 | ordinal for an import by ordinal, else the file offset of the
// function's name text.
struct TImpRef {
  static constexpr uint32_t REFS_INITIAL_CAPACITY = 6;
  static constexpr uint32_t REFS_DELTA = 10;

  uint32_t iatAddress = 0;  // memory address of the import address table slot
  uint32_t moduleName = 0;
  uint32_t function = 0;
  TSArrayAsVector<TMInt> refs{REFS_INITIAL_CAPACITY, REFS_DELTA};

  TImpRef() = default;
  TImpRef(uint32_t iat, uint32_t module, uint32_t func)
      : iatAddress(iat), moduleName(module), function(func) {}
};

// One string of a string-table resource named by some instruction.
// Ordered and compared by id alone (signed).
struct TStrRef {
  static constexpr uint32_t REFS_INITIAL_CAPACITY = 2;
  static constexpr uint32_t REFS_DELTA = 3;

  uint32_t id = 0xFFFFFFFFu;          // (block number - 1) * 16 + index in the block
  uint32_t textOffset = 0xFFFFFFFFu;  // file offset of the string's length word
  TSArrayAsVector<TMIntType> refs{REFS_INITIAL_CAPACITY, REFS_DELTA};

  TStrRef() = default;
  TStrRef(uint32_t i, uint32_t text) : id(i), textOffset(text) {}
  friend bool operator<(const TStrRef& a, const TStrRef& b) {
    return int32_t(a.id) < int32_t(b.id);
  }
  friend bool operator==(const TStrRef& a, const TStrRef& b) { return a.id == b.id; }
};

// One menu item named by some instruction. Ordered and compared by id alone.
struct TMenuRef {
  static constexpr uint32_t REFS_INITIAL_CAPACITY = 6;
  static constexpr uint32_t REFS_DELTA = 5;

  uint32_t id = 0;          // the item's command ID
  uint32_t textOffset = 0;  // file offset of the item's UTF-16 text
  TSArrayAsVector<TMIntType> refs{REFS_INITIAL_CAPACITY, REFS_DELTA};

  TMenuRef() = default;
  TMenuRef(uint32_t i, uint32_t text) : id(i), textOffset(text) {}
  friend bool operator<(const TMenuRef& a, const TMenuRef& b) {
    return int32_t(a.id) < int32_t(b.id);
  }
  friend bool operator==(const TMenuRef& a, const TMenuRef& b) { return a.id == b.id; }
};

// Imported functions used by code, in discovery (import directory) order.
class TImpRefStore {
 public:
  TImpRefStore() : refs_(101, 50) {}

  uint32_t count() const { return refs_.count(); }
  TImpRef& operator[](uint32_t i) { return refs_[i]; }
  const TImpRef& operator[](uint32_t i) const { return refs_[i]; }

  // Appends; a record without refs is not taken (false).
  bool add(TImpRef ref);
  // First record whose refs contain the file offset, or nullptr.
  const TImpRef* findByUser(uint32_t fileOffset) const;
  TImpRef* findByUser(uint32_t fileOffset) {
    return const_cast<TImpRef*>(std::as_const(*this).findByUser(fileOffset));
  }
  // First record of this module name and function, or nullptr.
  const TImpRef* findByImport(uint32_t moduleName, uint32_t function) const;
  TImpRef* findByImport(uint32_t moduleName, uint32_t function) {
    return const_cast<TImpRef*>(std::as_const(*this).findByImport(moduleName, function));
  }
  // Count 0 (a new scan or project load).
  void flush() { refs_.flush(); }

 private:
  TArrayAsVector<TImpRef> refs_;
};

// String or menu references ordered by id. Pointers returned by find stay
// valid until the next add, flush or remove.
template <class R>
class TIdRefStore {
 public:
  TIdRefStore(uint32_t initialCapacity, uint32_t delta) : refs_(initialCapacity, delta) {}

  uint32_t count() const { return refs_.count(); }
  R& operator[](uint32_t i) { return refs_[i]; }
  const R& operator[](uint32_t i) const { return refs_[i]; }

  // Sorted insert by id; a record without refs is not taken (NOT_FOUND).
  uint32_t add(R ref) {
    if (ref.refs.empty()) return NOT_FOUND;
    return refs_.add(std::move(ref));
  }
  R* findById(uint32_t id) {
    uint32_t i = refs_.find(R(id, R().textOffset));
    return i == NOT_FOUND ? nullptr : &refs_[i];
  }
  const R* findById(uint32_t id) const { return const_cast<TIdRefStore*>(this)->findById(id); }
  void flush() { refs_.flush(); }

 private:
  TSArrayAsVector<R> refs_;
};

class TStrRefStore : public TIdRefStore<TStrRef> {
 public:
  TStrRefStore() : TIdRefStore(51, 100) {}
};

class TMenuRefStore : public TIdRefStore<TMenuRef> {
 public:
  TMenuRefStore() : TIdRefStore(51, 50) {}
};
