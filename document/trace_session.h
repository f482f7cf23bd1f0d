// The document's trace session: the tracer's machine state, the single step
// and the continuous trace, the set-ups, breakpoints and the visualisation
// of what traced code did. Every action ends by putting the listing's cursor
// (the trace point) on EIP.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "listing/listing_lines.h"
#include "tracer/fixed_regs.h"
#include "tracer/trace_vis.h"

class TDocument;
class TDocumentObservers;

constexpr const char* kTraceAbortHint = "Press <ESC> to abort tracing...";
constexpr const char* kNoTracePoint = "No trace point given!";

class TTraceSession {
 public:
  TTraceSession(TDocument& doc, const TDocumentObservers& observers);
  ~TTraceSession();
  TTraceSession(const TTraceSession&) = delete;
  TTraceSession& operator=(const TTraceSession&) = delete;

  TFixedRegs& regs() { return regs_; }
  const TFixedRegs& regs() const { return regs_; }
  // The visualisation of the current trace (made anew by every reset).
  TTraceVis* traceVis() { return traceVis_.get(); }
  // The listing's cursor when shown, else NOT_IN_FILE.
  uint32_t tracePoint() const;
  // F8: one step at EIP; the status message goes to the status bar.
  int traceStep();
  // F5: steps until a step is refused or abortTrace(); processEvents runs
  // after every step so the window stays live (ESC arrives through it).
  int traceContinuous(const std::function<void()>& processEvents);
  void abortTrace() { abortTrace_ = true; }
  bool tracing() const { return tracing_; }
  // SPACE and after every tracer action: the cursor goes to EIP; with scroll
  // the listing moves there unless EIP is well inside the shown lines.
  void showEip(bool scroll);
  // "&Reset tracer" (command) and the reset after every load.
  void resetTracer(bool command);
  void setupTracerEntryPoint();
  void setupTracerTlsCallback(uint32_t k);
  // "More..." of the TLS callback submenu.
  void tlsCallbackMore();
  void clearBreakpoints() { regs_.clearBreakPoints(); }
  void toggleBreakpoint(uint32_t offset) { regs_.toggleBreakPoint(offset); }
  // The "Fixed registers" view of the listing (CM_FIXED_REGS_FROM_PROJECT / the dialog).
  bool fixedRegistersShown() const { return fixedRegistersShown_; }
  void setFixedRegistersShown(bool shown) { fixedRegistersShown_ = shown; }
  // What the listing's lines show of the trace: byte states, fixed
  // registers when shown, segment registers. Valid until the next call.
  void describe(TLineSource& lines) const;

 private:
  TTraceEnvironment traceEnvironment();

  TDocument& doc_;
  const TDocumentObservers& observers_;
  TFixedRegs regs_;
  std::unique_ptr<TTraceVis> traceVis_;
  std::unique_ptr<TByteStateSource> traceStates_;  // the listing's view of traceVis_
  mutable TFixedRegView fixedView_{};
  mutable TSegmentView segmentView_{};
  bool tracing_ = false;
  bool abortTrace_ = false;
  bool fixedRegistersShown_ = false;
};
