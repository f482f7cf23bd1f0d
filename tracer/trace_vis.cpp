#include "tracer/trace_vis.h"

#include <algorithm>

#include "base/host.h"
#include "base/text_format.h"

namespace {
constexpr uint8_t kWriteMask = 0x07, kReadMask = 0x18, kExecMask = 0xE0;
}

TTraceVis::TTraceVis(Host& host, uint32_t memsize)
    : host_(host), memsize_(memsize), rows_((memsize + kWidth - 1) / kWidth) {
  map_.assign(size_t(rows_) * kWidth, 0);
  for (uint64_t o = memsize; o < uint64_t(rows_) * kWidth; ++o) map_[cellOf(uint32_t(o))] = 255;
}

bool TTraceVis::outside(uint32_t offset, const char* caption) {
  if (offset < memsize_) return false;
  host_.message(wsString("offs=%.8X memsize=%.8X", offset, memsize_), caption, MsgIcon::Warning);
  return true;
}

void TTraceVis::count(uint32_t offset, uint32_t length, uint8_t field, uint8_t step) {
  const uint64_t end = std::min<uint64_t>(uint64_t(offset) + length, memsize_);
  if (offset < end) counted_ = true;
  for (uint64_t o = offset; o < end; ++o) {
    uint8_t& s = map_[cellOf(uint32_t(o))];
    if ((s & field) == field) continue;  // the count stays at its maximum
    s = uint8_t(s + step);
    if (pixelChanged && onScreen(uint32_t(o))) pixelChanged(uint32_t(o));
  }
}

void TTraceVis::incExecuted(uint32_t offset, uint32_t length) {
  if (outside(offset, "TTraceVis::incExecuted(): Illegal offset!")) return;
  count(offset, length, kExecMask, 0x20);
  if (followMode_ && !onScreen(offset)) {
    // The executed byte shows about 100 rows below the top.
    setTop((int64_t(offset) - 32000) / int64_t(kWidth));
    if (moved) moved();
  }
}

void TTraceVis::setMemoryAccessed(uint32_t offset, bool isWrite, uint32_t size) {
  if (outside(offset, "TTraceVis::setMemoryAccessed(): Illegal offset!")) return;
  if (isWrite)
    count(offset, size, kWriteMask, 0x01);
  else
    count(offset, size, kReadMask, 0x08);
}

bool TTraceVis::wasWrittenOrRead(uint32_t offset, uint32_t length, uint32_t mask) {
  if (uint64_t(offset) + length > memsize_) {
    host_.message(wsString("offs=%.8X memsize=%.8X", offset, memsize_),
                  "TTraceVis::wasWrittenOrRead(): Illegal offset!", MsgIcon::Warning);
    return false;
  }
  for (uint64_t o = offset; o < uint64_t(offset) + length; ++o)
    if (map_[cellOf(uint32_t(o))] & mask) return true;
  return false;
}

uint32_t TTraceVis::getSimpleByteState(uint32_t offset) {
  if (outside(offset, "TTraceVis::getSimpleByteState(): Illegal offset!")) return 0;
  return simpleState(offset);
}

uint32_t TTraceVis::simpleState(uint32_t offset) const {
  const uint8_t s = map_[cellOf(offset)];
  return (s & kWriteMask ? 1 : 0) | (s & kReadMask ? 2 : 0) | (s & kExecMask ? 4 : 0);
}

void TTraceVis::setTop(int64_t row) {
  if (row < 0) row = 0;
  if (row + int64_t(kShownRows - 1) > int64_t(rows_)) row = int64_t(rows_) - (kShownRows - 1);
  top_ = row < 0 ? 0 : uint32_t(row);
}

void TTraceVis::scroll(Scroll how, int thumb) {
  int64_t row = top_;
  switch (how) {
    case Scroll::LineUp: row -= 20; break;
    case Scroll::LineDown: row += 20; break;
    case Scroll::PageUp: row -= 160; break;
    case Scroll::PageDown: row += 160; break;
    case Scroll::Thumb: row = thumb; break;
  }
  setTop(row);
  if (moved) moved();
}

uint32_t TTraceVis::paletteColor(uint8_t i) {
  if (i == 0) return 0;
  const uint32_t red = 27 * (i & 7) + 66;
  const uint32_t green = 64 * ((i >> 3) & 3) + 63;
  const uint32_t blue = 27 * ((i >> 5) & 7) + 66;
  return red << 16 | green << 8 | blue;
}

void TTraceVis::render(std::vector<uint8_t>& rgb) const {
  const uint32_t height = shownHeight();
  rgb.assign(size_t(height) * kWidth * 3, 0);
  for (uint32_t y = 0; y < height && top_ + y < rows_; ++y) {
    const uint8_t* row = &map_[size_t(rows_ - 1 - (top_ + y)) * kWidth];
    for (uint32_t x = 0; x < kWidth; ++x) {
      const uint32_t c = paletteColor(row[x]);
      uint8_t* px = &rgb[(size_t(y) * kWidth + x) * 3];
      px[0] = uint8_t(c >> 16);
      px[1] = uint8_t(c >> 8);
      px[2] = uint8_t(c);
    }
  }
}
