// Listing lines and rows over arbitrary files, view states and reference
// stores. The buffer is exactly the file plus its 16 zero bytes, so any read
// beyond them is caught. Checks: lines fit their capacity, the cursor always
// moves forward inside the file, rows and hotspots stay within their rooms,
// the line table never decreases and the top never leaves the file.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "analysis/comment_container.h"
#include "analysis/jc_refs.h"
#include "base/host.h"
#include "image/image_info.h"
#include "listing/annotate.h"
#include "listing/listing_lines.h"
#include "listing/listing_rows.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

struct TFuzzTrace : TByteStateSource {
  uint8_t byteState(uint32_t offset) const override {
    return uint8_t((offset * 2654435761u) >> 29);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  const uint8_t flags = data[0];
  const uint8_t rows = data[1] % 70;
  const uint8_t width = data[2];
  const uint8_t seed = data[3];
  const uint8_t* file = data + 8;
  const uint32_t fileSize = static_cast<uint32_t>(size - 8);

  std::vector<uint8_t> buffer(file, file + fileSize);
  buffer.resize(size_t(fileSize) + 16, 0);
  const uint8_t* b = buffer.data();

  SilentHost host;
  TImageInfo image;
  image.parseImage(b, fileSize, "fuzz.exe");
  TCommentContainer names;
  TJCRefContainer jumpCalls;
  for (uint32_t i = 0; i < fileSize && i < 64; i += 4) {
    const uint32_t target = (uint32_t(data[4 + (i & 3)]) * 131 + i * seed) % (fileSize + 2);
    jumpCalls.append(target, (i * 977u) % (fileSize + 1), 1);
    if (i % 8 == 0) names.add(shownAddress(target, b, fileSize, true), "name", REPLACE_ALWAYS);
  }
  jumpCalls.sort();
  TListingAnnotator annotator(image, b, fileSize, names);
  TFuzzTrace trace;
  TSegmentView segments{{seed, 1, 2, uint16_t(seed * 7), 4, 5}};

  TListingContext ctx;
  ctx.lines.buffer = b;
  ctx.lines.size = fileSize;
  ctx.lines.image = &image;
  ctx.lines.annotator = (flags & 1) ? &annotator : nullptr;
  ctx.lines.trace = (flags & 2) ? &trace : nullptr;
  ctx.lines.segments = (flags & 4) ? &segments : nullptr;
  ctx.lines.host = &host;
  ctx.lines.minStringLength = 1 + (seed & 7);
  ctx.names = &names;
  ctx.jumpCalls = &jumpCalls;
  ctx.host = &host;
  ctx.cursorFollowsView = flags & 8;

  TListingState state;
  state.bits16 = flags & 16;
  state.fileOffsets = flags & 32;
  state.detectStrings = flags & 64;
  state.markRelocations = flags & 128;
  state.topOffset = fileSize ? (uint32_t(data[4]) * 257 + data[5]) % fileSize : 0;

  // Lines one after another over the whole file.
  TLineSource src = ctx.lines;
  src.markRelocations = state.markRelocations;
  char text[RENDERED_LINE_CAPACITY];
  Hotspot hotspots[16];
  uint8_t stringState = 0;
  for (const uint8_t* p = b; p < b + fileSize;) {
    const uint8_t* before = p;
    char line[CODE_LINE_CAPACITY];
    const uint8_t* q = p;
    uint8_t s2 = stringState;
    Disassembly(q, src, seed % 12, state.detectStrings, line, sizeof line, state.memory(),
                state.bits16, s2);
    check(std::strlen(line) < sizeof line);
    const uint32_t n = renderCodeLine(p, src, state.memory(), state.bits16, state.detectStrings,
                                      stringState, text, sizeof text, hotspots, 16, 0);
    check(n <= 16);
    check(std::strlen(text) < sizeof text);
    check(p > before && p <= b + fileSize);
    for (uint32_t i = 0; i < n; ++i) check(hotspots[i].target < fileSize);
    char hex[HEX_LINE_CAPACITY];
    HexDump(src, uint32_t(before - b), 16, hex, sizeof hex, state.memory());
    check(std::strlen(hex) < sizeof hex);
  }
  // Arbitrary text through the mark resolution.
  {
    std::vector<char> in(data + 8, data + size);
    in.push_back(0);
    for (char& c : in)
      if (c == 0) c = REF_MARK;
    in.back() = 0;
    const uint32_t n = resolveMarks(in.data(), 0, src, state.memory(), state.bits16, text,
                                    sizeof text, hotspots, 16, 0);
    check(n <= 16 && std::strlen(text) < sizeof text);
  }

  // Paints, stepping, scrolling and keys.
  TListingPaint paint;
  for (int round = 0; round < 2; ++round) {
    state.hexDump = round == 1;
    paintRows(state, ctx, rows, width, paint);
    check(paint.rows.size() == rows && paint.lineTable.size() == size_t(rows) + 1);
    check(paint.hotspotCount <= LISTING_HOTSPOTS);
    for (uint32_t i = 0; i < rows; ++i) {
      check(std::strlen(paint.rows[i].text) < RENDERED_LINE_CAPACITY);
      check(paint.lineTable[i] <= paint.lineTable[i + 1]);
    }
    check(paint.lineTable[rows] <= fileSize);
    if (fileSize) {
      const uint32_t o = state.topOffset;
      const uint32_t back = linesBack(state, ctx, o, 1 + seed % 3);
      check(o == 0 ? back == 0 : back < o);
      check(linesForward(state, ctx, o, 1 + seed % 3) <= fileSize);
      check(lineStartOf(state, ctx, o) <= o);
    }
    state.cursorShown = flags & 8;
    for (size_t k = 8; k < size && k < 48; ++k) {
      const uint8_t v = data[k];
      if (v & 0x80) {
        EvVScroll(state, ctx, static_cast<TScrollCode>(v % 8), int64_t(v) * 977 - 3000, rows,
                  v & 0x40);
      } else {
        keyDown(state, ctx, paint, static_cast<TListingKey>(v % 14), rows, width);
      }
      check(fileSize == 0 || state.topOffset < fileSize);
      check(fileSize == 0 || state.cursor < fileSize);
    }
    gotoOffset(state, ctx, uint32_t(data[6]) * 31, data[7] % 4);
  }
  return 0;
}
