// Per-byte counts of what traced code did to the file (executed, read,
// written), kept as a 320-pixel-wide picture of the whole file: one byte per
// pixel, rows stored bottom-up so the map is a ready 8-bit bitmap.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "tracer/fixed_regs.h"

class Host;

class TTraceVis : public TTraceVisSink {
 public:
  static constexpr uint32_t kWidth = 320;
  static constexpr uint32_t kShownRows = 180;
  static constexpr const char* kTitle = "Trace visualisation - <TAB> to switch follow mode";

  TTraceVis(Host& host, uint32_t memsize);

  // Bits 0-2 write count, 3-4 read count, 5-7 execution count; each stops
  // at its maximum. Cells past the end of the file hold 255.
  void incExecuted(uint32_t offset, uint32_t length) override;
  void setMemoryAccessed(uint32_t offset, bool isWrite, uint32_t size) override;
  bool wasWrittenOrRead(uint32_t offset, uint32_t length, uint32_t mask) override;
  // 0-7: bit 0 written, bit 1 read, bit 2 executed.
  uint32_t getSimpleByteState(uint32_t offset);

  uint8_t byteState(uint32_t offset) const { return map_[cellOf(offset)]; }
  // getSimpleByteState for an offset the caller knows to be inside the file.
  uint32_t simpleState(uint32_t offset) const;
  // Some byte was executed, read or written since the picture was made.
  bool anyCounted() const { return counted_; }
  uint32_t memsize() const { return memsize_; }
  uint32_t rows() const { return rows_; }
  // The bitmap, bottom-up: the row of offset 0 is the last row in memory.
  const std::vector<uint8_t>& bitmap() const { return map_; }

  // ---- the window ---------------------------------------------------------
  uint32_t top() const { return top_; }
  bool followMode() const { return followMode_; }
  void toggleFollowMode() { followMode_ = !followMode_; }  // TAB
  uint32_t shownHeight() const { return rows_ < kShownRows ? rows_ : kShownRows; }
  bool hasScrollBar() const { return rows_ > kShownRows; }
  uint32_t scrollRange() const { return rows_ > kShownRows - 1 ? rows_ - (kShownRows - 1) : 0; }
  enum class Scroll { LineUp, LineDown, PageUp, PageDown, Thumb };
  void scroll(Scroll how, int thumb = 0);

  // 0x00RRGGBB of a state.
  static uint32_t paletteColor(uint8_t state);
  // Rows top .. top + shownHeight() - 1 as RGB bytes, 320 pixels a row.
  void render(std::vector<uint8_t>& rgb) const;

  // Told while counting: one pixel changed (offset) when it is on screen, or
  // the whole picture moved (follow mode).
  std::function<void(uint32_t offset)> pixelChanged;
  std::function<void()> moved;

 private:
  size_t cellOf(uint32_t offset) const {
    return size_t(rows_ - 1 - offset / kWidth) * kWidth + offset % kWidth;
  }
  bool onScreen(uint32_t offset) const {
    const uint32_t row = offset / kWidth;
    return row >= top_ && row < top_ + kShownRows;
  }
  bool outside(uint32_t offset, const char* caption);
  void count(uint32_t offset, uint32_t length, uint8_t field, uint8_t step);
  void setTop(int64_t row);

  Host& host_;
  uint32_t memsize_;
  uint32_t rows_;
  std::vector<uint8_t> map_;
  bool counted_ = false;
  uint32_t top_ = 0;
  bool followMode_ = true;
};
