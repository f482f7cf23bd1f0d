// Moving a store's entries into an array of another capacity.
#pragma once
#include <cstddef>
#include <new>
#include <stdexcept>
#include <vector>

// The first `keep` entries of `v` into a new array reserved for `capacity`
// entries (reserved rather than sized: a large capacity costs no page until
// used). False, with `v` as it was, when the memory cannot be had.
template <class T>
bool regrow(std::vector<T>& v, size_t capacity, size_t keep) {
  try {
    std::vector<T> resized;
    resized.reserve(capacity);
    resized.assign(v.begin(), v.begin() + keep);
    v.swap(resized);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}
