#include "listing/dump_model.h"

#include <cstdio>

namespace {

// The window's lines carry no strings, relocation marks or trace cells.
TLineSource plainSource(const TLineSource& src) {
  TLineSource s = src;
  s.markRelocations = false;
  s.trace = nullptr;
  return s;
}

uint32_t decodedEnd(const TLineSource& src, uint32_t offset, bool bits16) {
  const uint8_t* p = src.buffer + offset;
  uint8_t state = STRING_NONE;
  Disassembly(p, src, 0, false, nullptr, 0, false, bits16, state);
  return static_cast<uint32_t>(p - src.buffer);
}

// ":%.8lX db    " and the bytes [from, to) as a byte list.
void byteListRow(const TLineSource& src, uint32_t from, uint32_t to, bool memory, char* text,
                 size_t cap) {
  int n = std::snprintf(text, cap, "%c%.8X db    ", memory ? ':' : ' ',
                        shownAddress(from, src, memory));
  for (uint32_t o = from; o < to && n > 0 && size_t(n) + 4 < cap; ++o)
    n += std::snprintf(text + n, cap - n, o + 1 < to ? "%.2X," : "%.2X", src.buffer[o]);
}

}  // namespace

uint32_t dumpLineDown(const TLineSource& src, uint32_t offset, bool bits16) {
  if (offset >= src.size) return offset;
  return decodedEnd(plainSource(src), offset, bits16);
}

uint32_t dumpLineUp(const TLineSource& src, uint32_t offset, bool bits16) {
  if (offset == 0 || offset > src.size) return offset > src.size ? src.size : 0;
  const TLineSource s = plainSource(src);
  uint32_t at = offset > 32 ? offset - 32 : 0;
  uint32_t last = at;
  while (at < offset) {
    last = at;
    const uint32_t next = decodedEnd(s, at, bits16);
    if (next <= at) break;
    at = next;
  }
  return last;
}

uint32_t dumpCodeTop(const TLineSource& src, uint32_t target, uint32_t rows, bool bits16) {
  const uint32_t above = rows / 2 > 0 ? rows / 2 - 1 : 0;
  return above ? previousLineStart(src.buffer, target, above, bits16) : target;
}

void dumpRows(const TDumpState& state, const TLineSource& src, std::vector<TDumpRow>& rows) {
  rows.resize(state.rows);
  const TLineSource s = plainSource(src);
  uint32_t used = 0;
  uint32_t off = state.top;
  while (used < state.rows && off < s.size) {
    TDumpRow& row = rows[used++];
    row.offset = off;
    row.target = off == state.target;
    if (state.dataMode) {
      HexDump(s, off, 8, row.text, sizeof row.text, state.memory);
      off += 8;
      continue;
    }
    uint32_t end = decodedEnd(s, off, state.bits16);
    if (off < state.target && end > state.target) {
      // The line runs over the target: its bytes up to the target form one
      // data line so that the target starts the next.
      byteListRow(s, off, state.target, state.memory, row.text, sizeof row.text);
      off = state.target;
      continue;
    }
    char raw[CODE_LINE_CAPACITY];
    const uint8_t* p = s.buffer + off;
    uint8_t stringState = STRING_NONE;
    Disassembly(p, s, 0, false, raw, sizeof raw, state.memory, state.bits16, stringState);
    resolveMarks(raw, off, s, state.memory, state.bits16, row.text, sizeof row.text, nullptr, 0, 0);
    end = static_cast<uint32_t>(p - s.buffer);
    if (end <= off) break;
    off = end;
  }
  rows.resize(used);
}

void dumpScrollRange(const TDumpState& state, uint32_t size, int64_t& pos, int64_t& max) {
  if (state.thumbTracking) {
    max = THUMB_RANGE;
    return;
  }
  if (state.dataMode) {
    pos = state.top / 8;
    max = int64_t(size / 8) - 2;
  } else {
    pos = state.top;
    max = int64_t(size) - 1;
  }
  if (max < 0) max = 0;
}

bool dumpScroll(TDumpState& state, const TLineSource& src, TScrollCode code, int64_t thumbPos,
                bool wideThumb) {
  const uint32_t size = src.size;
  if (size == 0) return false;
  int64_t top = state.top;
  auto narrow = [&](int64_t units, int64_t& mapped) {
    if (!state.thumbTracking) {
      state.thumbTracking = true;
      return false;
    }
    if (thumbPos < 0 || thumbPos > THUMB_RANGE) return false;
    mapped = thumbPos * units / THUMB_RANGE;
    return true;
  };
  if (code == TScrollCode::EndScroll) {
    state.thumbTracking = false;
    return false;
  }
  if (state.dataMode) {
    const int64_t page = int64_t(state.rows) * 8 - 8;
    switch (code) {
      case TScrollCode::LineUp: top -= 8; break;
      case TScrollCode::LineDown: top += 8; break;
      case TScrollCode::PageUp: top -= page; break;
      case TScrollCode::PageDown: top += page; break;
      case TScrollCode::Top: top = 0; break;
      case TScrollCode::Bottom: top = (int64_t(size) - 32) & ~int64_t(7); break;
      case TScrollCode::ThumbTrack: {
        int64_t line = thumbPos;
        if (!wideThumb && !narrow(size / 8, line)) return false;
        top = line * 8;
        break;
      }
      case TScrollCode::EndScroll: break;
    }
    if (top > int64_t(size) - 17) top = int64_t(size) - 17;
    if (top < 0) top = 0;
  } else {
    switch (code) {
      case TScrollCode::LineUp: top = dumpLineUp(src, state.top, state.bits16); break;
      case TScrollCode::LineDown: top = dumpLineDown(src, state.top, state.bits16); break;
      case TScrollCode::PageUp:
        for (uint32_t i = 0; i < state.rows; ++i)
          top = dumpLineUp(src, uint32_t(top), state.bits16);
        break;
      case TScrollCode::PageDown:
        for (uint32_t i = 0; i < state.rows; ++i) {
          const uint32_t next = dumpLineDown(src, uint32_t(top), state.bits16);
          if (next >= size) break;
          top = next;
        }
        break;
      case TScrollCode::Top: top = 0; break;
      case TScrollCode::Bottom: top = int64_t(size) - 1; break;
      case TScrollCode::ThumbTrack: {
        int64_t at = thumbPos;
        if (!wideThumb && !narrow(size - 1, at)) return false;
        top = at;
        break;
      }
      case TScrollCode::EndScroll: break;
    }
    if (top > int64_t(size) - 1) top = int64_t(size) - 1;
    if (top < 0) top = 0;
  }
  const bool moved = uint32_t(top) != state.top;
  state.top = uint32_t(top);
  return moved;
}

bool dumpShift(TDumpState& state, uint32_t size, int direction) {
  if (direction < 0 && state.top > 0) {
    --state.top;
    return true;
  }
  if (direction > 0 && uint64_t(state.top) + 1 < size) {
    ++state.top;
    return true;
  }
  return false;
}
