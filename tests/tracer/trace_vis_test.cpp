// The picture of traced bytes: counts, states, messages, follow mode,
// scrolling and the colours drawn.
#include <gtest/gtest.h>

#include "support/recording_host.h"
#include "tracer/trace_vis.h"

namespace {

TEST(TraceVis, CountsSaturateAndSummarise) {
  RecordingHost host;
  TTraceVis vis(host, 4096);
  for (int i = 0; i < 9; ++i) vis.incExecuted(10, 1);
  EXPECT_EQ(vis.byteState(10), 0xE0);
  vis.setMemoryAccessed(20, true, 1);
  vis.setMemoryAccessed(20, false, 1);
  EXPECT_EQ(vis.byteState(20), 0x09);
  EXPECT_EQ((std::vector<uint32_t>{vis.getSimpleByteState(20), vis.getSimpleByteState(10)}),
            (std::vector<uint32_t>{3, 4}));
  for (int i = 0; i < 5; ++i) vis.setMemoryAccessed(30, false, 4);
  EXPECT_EQ(vis.byteState(33), 0x18);
  EXPECT_TRUE(vis.wasWrittenOrRead(18, 4, 7));
  EXPECT_FALSE(vis.wasWrittenOrRead(30, 4, 7));
  // A range running over the end counts up to the end only.
  vis.setMemoryAccessed(4094, true, 4);
  EXPECT_EQ(vis.byteState(4095), 0x01);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(TTraceVis::paletteColor(0x09), (27u * 1 + 66) << 16 | (64u * 1 + 63) << 8 | 66u);
  EXPECT_EQ(TTraceVis::paletteColor(0xE0), 66u << 16 | 63u << 8 | (27u * 7 + 66));
}

TEST(TraceVis, IllegalOffsetsAreReported) {
  RecordingHost host;
  TTraceVis vis(host, 100);
  vis.incExecuted(100, 1);
  vis.setMemoryAccessed(200, true, 1);
  EXPECT_FALSE(vis.wasWrittenOrRead(98, 3, 7));
  EXPECT_FALSE(vis.wasWrittenOrRead(97, 3, 7));  // ends at the last byte: fine
  EXPECT_EQ(vis.getSimpleByteState(0xFFFFFFFF), 0u);
  EXPECT_EQ(
      host.messageLines(),
      (std::vector<std::string>{
          "TTraceVis::incExecuted(): Illegal offset!: offs=00000064 memsize=00000064",
          "TTraceVis::setMemoryAccessed(): Illegal offset!: offs=000000C8 memsize=00000064",
          "TTraceVis::wasWrittenOrRead(): Illegal offset!: offs=00000062 memsize=00000064",
          "TTraceVis::getSimpleByteState(): Illegal offset!: offs=FFFFFFFF memsize=00000064"}));
}

TEST(TraceVis, FollowModeAndScrolling) {
  RecordingHost host;
  TTraceVis vis(host, 1 << 20);
  EXPECT_EQ(vis.rows(), 3277u);
  vis.incExecuted(100, 1);
  EXPECT_EQ(vis.top(), 0u);
  vis.incExecuted(500000, 1);
  EXPECT_EQ(vis.top(), 1462u);
  vis.incExecuted((1 << 20) - 1, 1);
  EXPECT_EQ(vis.top(), 3277u - 179);  // clamped at the end
  vis.toggleFollowMode();
  vis.incExecuted(0, 1);
  EXPECT_EQ(vis.top(), 3277u - 179);

  struct Step {
    TTraceVis::Scroll how;
    int thumb;
    uint32_t top;
  } steps[] = {{TTraceVis::Scroll::Thumb, 100, 100},  {TTraceVis::Scroll::LineUp, 0, 80},
               {TTraceVis::Scroll::PageUp, 0, 0},     {TTraceVis::Scroll::LineDown, 0, 20},
               {TTraceVis::Scroll::PageDown, 0, 180}, {TTraceVis::Scroll::Thumb, 99999, 3098}};
  for (const auto& s : steps) {
    vis.scroll(s.how, s.thumb);
    EXPECT_EQ(vis.top(), s.top);
  }
  EXPECT_EQ(vis.scrollRange(), 3098u);

  // A thousand bytes: four rows, all shown, nothing to scroll.
  TTraceVis small(host, 1000);
  small.scroll(TTraceVis::Scroll::PageDown);
  EXPECT_EQ((std::vector<uint32_t>{small.top(), small.rows(), small.shownHeight(),
                                   small.hasScrollBar()}),
            (std::vector<uint32_t>{0, 4, 4, 0}));
  // The bitmap runs bottom-up: offset 0 is in its last row, the file's last row
  // comes first, and the cells past the file are white.
  small.incExecuted(0, 1);
  small.incExecuted(0, 1);
  small.setMemoryAccessed(0, false, 1);  // state 0x48 now
  ASSERT_EQ(small.bitmap().size(), 4u * 320);
  EXPECT_EQ((std::vector<int>{small.bitmap()[3 * 320], small.bitmap()[39], small.bitmap()[40]}),
            (std::vector<int>{0x48, 0, 255}));
  // The picture drawn runs top-down.
  std::vector<uint8_t> rgb;
  small.render(rgb);
  ASSERT_EQ(rgb.size(), 4u * 320 * 3);
  const size_t pastEnd = (3 * 320 + 40) * 3;  // offset 1000: row 3, column 40
  EXPECT_EQ((std::vector<int>{rgb[pastEnd], rgb[pastEnd + 1]}), (std::vector<int>{255, 255}));
  EXPECT_EQ(rgb[0] << 16 | rgb[1] << 8 | rgb[2], int(TTraceVis::paletteColor(0x48)));
  EXPECT_EQ(rgb[3], 0);  // offset 1 untouched: black
}

}  // namespace
