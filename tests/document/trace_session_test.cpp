// The trace session: set-ups, single steps, the continuous trace,
// breakpoints and the trace point.
#include <gtest/gtest.h>

#include "document/document.h"
#include "document/trace_session.h"
#include "support/fixtures.h"
#include "support/recording_host.h"

namespace {

struct Traced {
  RecordingHost host;
  TDocument doc{host};
  TTraceSession& trace{doc.trace()};
  explicit Traced(bool startAtTls = true) {
    doc.settings().startTracerAtTlsCallback = startAtTls;
    doc.settings().noScan = true;
    doc.setPath(fixturePath("gui.exe"));
    EXPECT_EQ(doc.LoadFile(true), LOAD_OK);
  }
};

TEST(TraceSession, LoadSetsUpAtTheFirstTlsCallbackOrTheEntryPoint) {
  Traced tls;
  EXPECT_EQ(tls.trace.regs().EIP, 0x4011E3u);
  EXPECT_EQ(tls.trace.tracePoint(), 0x5E3u);
  ASSERT_NE(tls.trace.traceVis(), nullptr);
  EXPECT_EQ(tls.trace.traceVis()->memsize(), 7168u);

  Traced entry(false);
  EXPECT_EQ(entry.trace.regs().EIP, 0x401225u);
  EXPECT_EQ(entry.trace.tracePoint(), 0x625u);
  entry.trace.setupTracerTlsCallback(2);  // there is no third callback
  EXPECT_EQ(entry.trace.tracePoint(), 0x625u);
}

TEST(TraceSession, StepsUntilAResetThenAContinuousTrace) {
  Traced t(false);
  struct : TDocumentObserver {
    int told = 0;
    void regsChanged() override { ++told; }
  } regs;
  t.doc.addObserver(regs);
  // push ebp; mov ebp,esp; push edi
  for (uint32_t expected : {0x626u, 0x628u, 0x629u}) {
    EXPECT_EQ(t.trace.traceStep(), 0);
    EXPECT_EQ(t.trace.tracePoint(), expected);
  }
  EXPECT_EQ(t.trace.traceVis()->getSimpleByteState(0x625), 4u);
  EXPECT_EQ(t.host.statusTexts.back(), "");

  t.doc.view().cursorShown = false;
  EXPECT_EQ(t.trace.traceStep(), -1);
  EXPECT_EQ(t.host.messages.back().text, kNoTracePoint);
  EXPECT_EQ(t.trace.regs().EIP, 0x401229u);  // nothing stepped
  EXPECT_EQ(regs.told, 3);                   // by each step, not the refused one
  // A reset starts over with a fresh picture.
  t.doc.view().cursorShown = true;
  t.trace.resetTracer(true);
  EXPECT_EQ(t.trace.tracePoint(), 0x625u);
  EXPECT_EQ(t.trace.traceVis()->getSimpleByteState(0x625), 0u);

  // From the start again, F5 runs to the breakpoint.
  t.trace.toggleBreakpoint(0x62B);  // sub esp,0xa8
  int events = 0;
  EXPECT_EQ(t.trace.traceContinuous([&] { ++events; }), 11);
  EXPECT_EQ(t.trace.tracePoint(), 0x62Bu);
  EXPECT_EQ(t.host.statusTexts.back(), "Breakpoint reached!");
  EXPECT_FALSE(t.trace.tracing());
  EXPECT_EQ(events, 5);  // after each of the five pushes and moves that ran

  // F5 from the breakpoint goes on; ESC stops after the current step.
  int steps = 0;
  EXPECT_EQ(t.trace.traceContinuous([&] {
    if (++steps == 2) t.trace.abortTrace();
  }),
            0);
  EXPECT_EQ(t.trace.tracePoint(), 0x633u);  // sub; push 0
  EXPECT_EQ(t.host.statusTexts.back(), "");
  t.trace.clearBreakpoints();
  EXPECT_FALSE(t.trace.regs().isBreakPoint(0x62B));
}

TEST(TraceSession, ShownAddressesFollowTracedWritesToTheSectionTable) {
  Traced t(false);
  const uint8_t movToEax[] = {0x89, 0x08};  // mov [eax],ecx
  t.doc.ChangeMemory(0x625, movToEax, sizeof movToEax);
  EXPECT_EQ(t.doc.shownAddress(0x500), 0x401100u);
  t.trace.regs().EAX = 0x400000 + 0x178 + 20;  // .text's PointerToRawData
  t.trace.regs().ECX = 0x500;
  EXPECT_EQ(t.trace.traceStep(), 0);
  EXPECT_EQ(t.doc.shownAddress(0x500), 0x401000u);
}

}  // namespace
