// Little-endian reads from byte buffers of outside origin.
// The unchecked forms are for callers that have already tested the bounds;
// the bounded forms never touch a byte at or beyond `size`.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

inline uint16_t readLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t readLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void writeLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void writeLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Appends a value in file byte order (records written to project files).
inline void appendLe16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void appendLe32(std::vector<uint8_t>& out, uint32_t v) {
  appendLe16(out, static_cast<uint16_t>(v));
  appendLe16(out, static_cast<uint16_t>(v >> 16));
}

// True when `len` bytes starting at `off` lie inside a buffer of `size` bytes.
// Offsets are widened so that off + len cannot wrap.
inline bool fitsIn(uint64_t size, uint64_t off, uint64_t len) {
  return off <= size && len <= size - off;
}

// Bounded reads: 0 when the value does not lie wholly inside the buffer.
inline uint8_t boundedLe8(const uint8_t* buf, uint64_t size, uint64_t off) {
  return fitsIn(size, off, 1) ? buf[off] : 0;
}
inline uint16_t boundedLe16(const uint8_t* buf, uint64_t size, uint64_t off) {
  return fitsIn(size, off, 2) ? readLe16(buf + off) : 0;
}
inline uint32_t boundedLe32(const uint8_t* buf, uint64_t size, uint64_t off) {
  return fitsIn(size, off, 4) ? readLe32(buf + off) : 0;
}

// Copies the zero-terminated text at `off` into `out` (capacity `cap`, cap >= 1),
// taking at most `maxChars` characters and never reading at or past `size`.
// Returns true when the terminating zero was found inside the buffer (or the
// text was cut at maxChars before reaching the end).
inline bool copyBoundedText(const uint8_t* buf, uint64_t size, uint64_t off, char* out, size_t cap,
                            size_t maxChars) {
  size_t n = 0;
  bool terminated = false;
  size_t limit = maxChars < cap - 1 ? maxChars : cap - 1;
  while (off + n < size) {
    uint8_t c = buf[off + n];
    if (c == 0) {
      terminated = true;
      break;
    }
    if (n == limit) {
      terminated = true;
      break;
    }
    out[n] = static_cast<char>(c);
    ++n;
  }
  out[n] = 0;
  return terminated;
}
