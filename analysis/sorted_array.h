// Growable arrays with a fixed initial capacity and growth step, the shape
// every reference store of one opened file uses. The sorted form keeps its
// elements ascending by their value and puts a new element behind the ones
// equal to it, so duplicates stay in arrival order.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

// Result of every failed lookup in the analysis stores.
inline constexpr uint32_t NOT_FOUND = 0x7FFFFFFFu;

// Unsorted growable array. Capacity grows by `delta` records whenever an
// add finds it full (at least one record, so a zero delta cannot stall).
template <class T>
class TArrayAsVector {
 public:
  TArrayAsVector(uint32_t initialCapacity, uint32_t delta)
      : initialCapacity_(initialCapacity), delta_(delta) {
    items_.reserve(initialCapacity);
    capacity_ = initialCapacity;
  }

  uint32_t count() const { return static_cast<uint32_t>(items_.size()); }
  uint32_t capacity() const { return capacity_; }
  uint32_t delta() const { return delta_; }
  bool empty() const { return items_.empty(); }

  T& operator[](uint32_t i) { return items_[i]; }
  const T& operator[](uint32_t i) const { return items_[i]; }
  typename std::vector<T>::const_iterator begin() const { return items_.begin(); }
  typename std::vector<T>::const_iterator end() const { return items_.end(); }

  void add(T item) {
    growIfFull();
    items_.push_back(std::move(item));
  }

  // Removes element i; an index outside the array is ignored.
  void remove(uint32_t i) {
    if (i < items_.size()) items_.erase(items_.begin() + i);
  }

  // Count 0, capacity kept: the stores are emptied this way before a scan.
  void flush() { items_.clear(); }

 protected:
  void growIfFull() {
    if (items_.size() < capacity_) return;
    capacity_ += std::max<uint32_t>(delta_, 1);
    // The capacity steps by delta, the array behind it at least doubles: a
    // reference list of n entries is then copied about n times, not n squared
    // over the delta.
    if (capacity_ > items_.capacity())
      items_.reserve(std::max<size_t>(capacity_, 2 * items_.capacity()));
  }

  std::vector<T> items_;
  uint32_t initialCapacity_;
  uint32_t capacity_ = 0;
  uint32_t delta_;
};

// Sorted growable array; T supplies operator< and operator== on its key.
template <class T>
class TSArrayAsVector : public TArrayAsVector<T> {
  using Base = TArrayAsVector<T>;

 public:
  using Base::Base;

  // Sorted insert behind every element equal to the new one; returns its index.
  uint32_t add(T item) {
    this->growIfFull();
    auto at = std::upper_bound(this->items_.begin(), this->items_.end(), item);
    at = this->items_.insert(at, std::move(item));
    return static_cast<uint32_t>(at - this->items_.begin());
  }

  // Index of the first element equal to the probe, or NOT_FOUND.
  uint32_t find(const T& probe) const {
    auto at = std::lower_bound(this->items_.begin(), this->items_.end(), probe);
    if (at == this->items_.end() || !(*at == probe)) return NOT_FOUND;
    return static_cast<uint32_t>(at - this->items_.begin());
  }
};

// One 32-bit reference value (a file offset), ordered as a signed integer.
struct TMInt {
  int32_t value = 0;

  TMInt() = default;
  explicit TMInt(int32_t v) : value(v) {}
  friend bool operator<(const TMInt& a, const TMInt& b) { return a.value < b.value; }
  friend bool operator==(const TMInt& a, const TMInt& b) { return a.value == b.value; }
};

// A reference value with the kind of instruction that carries it:
// 0 plain use, 1 arithmetic, 2 logical. Order and equality use the value only.
struct TMIntType {
  int32_t value = 0;
  uint8_t type = 0;

  TMIntType() = default;
  TMIntType(int32_t v, uint8_t t) : value(v), type(t) {}
  friend bool operator<(const TMIntType& a, const TMIntType& b) { return a.value < b.value; }
  friend bool operator==(const TMIntType& a, const TMIntType& b) { return a.value == b.value; }
};
