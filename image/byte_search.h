// Finding a byte pattern in a buffer, forward or backward, exactly or with
// letters of either case. Pure functions: they read `size` bytes of
// `buffer` and nothing else, and allocate nothing.
//
// A pattern of `length` bytes can start at the positions 0 .. size - length
// (the candidates); a pattern longer than the buffer, or empty, has none.
//
// ignoreCase: a pattern byte that is an ASCII letter matches the file byte of
// either case (upper-case 'M' matches 'M' and 'm'); every other byte matches
// exactly.
#pragma once
#include <cstdint>

constexpr uint32_t SEARCH_NO_HIT = 0xFFFFFFFFu;

// True when the pattern lies at `position` (which must be a candidate).
bool patternMatchesAt(const uint8_t* buffer, uint32_t size, uint32_t position,
                      const uint8_t* pattern, uint32_t length, bool ignoreCase);

// The first hit at a candidate in from .. last, or SEARCH_NO_HIT. `last` is
// cut to the last candidate.
uint32_t findForward(const uint8_t* buffer, uint32_t size, const uint8_t* pattern, uint32_t length,
                     bool ignoreCase, uint32_t from, uint32_t last = SEARCH_NO_HIT);

// The last hit at a candidate in first .. from, searching downwards, or
// SEARCH_NO_HIT. `from` is cut to the last candidate.
uint32_t findBackward(const uint8_t* buffer, uint32_t size, const uint8_t* pattern, uint32_t length,
                      bool ignoreCase, uint32_t from, uint32_t first = 0);

// Where a search from position p examines first: p itself, or, with
// skipStart, its neighbour in the direction of the search. A backward search
// from a position above the last candidate begins at the last candidate (the
// bytes there have not been examined yet). Returns -1 when that position is
// no candidate, so the search has already reached the end of the buffer in
// its direction.
int64_t firstCandidate(uint32_t p, bool backward, bool skipStart, uint32_t size, uint32_t length);

// The last candidate for a pattern of `length` bytes, -1 when there is none.
inline int64_t lastCandidate(uint32_t size, uint32_t length) {
  return length == 0 || length > size ? -1 : int64_t(size) - length;
}
