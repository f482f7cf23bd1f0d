#include "document/trace_session.h"

#include "base/host.h"
#include "document/document.h"
#include "document/document_observer.h"

namespace {

// The listing's byte cells show what traced code did to each byte.
class TTraceStates : public TByteStateSource {
 public:
  explicit TTraceStates(const TTraceVis& vis) : vis_(vis) {}
  uint8_t byteState(uint32_t offset) const override {
    return offset < vis_.memsize() ? uint8_t(vis_.simpleState(offset)) : 0;
  }
  bool anyByteState() const override { return vis_.anyCounted(); }

 private:
  const TTraceVis& vis_;
};

}  // namespace

TTraceSession::TTraceSession(TDocument& doc, const TDocumentObservers& observers)
    : doc_(doc), observers_(observers) {}

TTraceSession::~TTraceSession() = default;

uint32_t TTraceSession::tracePoint() const {
  const TViewState& view = doc_.view();
  return view.cursorShown ? view.cursor : NOT_IN_FILE;
}

TTraceEnvironment TTraceSession::traceEnvironment() {
  TTraceEnvironment env{doc_.tracedBuffer(), doc_.fileSize(), doc_.image(), doc_.history(),
                        doc_.host()};
  env.vis = traceVis_.get();
  env.code16 = doc_.view().bits16;
  env.tracePoint = tracePoint();
  return env;
}

void TTraceSession::describe(TLineSource& lines) const {
  lines.trace = traceStates_.get();
  if (fixedRegistersShown_) {
    fixedView_ = regs_.fixedRegView();
    lines.fixed = &fixedView_;
  }
  for (int i = 0; i < 6; ++i) segmentView_.value[i] = regs_.sreg[i];
  lines.segments = &segmentView_;
}

void TTraceSession::showEip(bool scroll) {
  observers_.regsChanged();
  TViewState& view = doc_.view();
  const uint32_t size = doc_.fileSize();
  const uint32_t eip = doc_.image().memoryToFileOffset(regs_.EIP);
  view.cursorShown = eip < size;
  if (!view.cursorShown) return;
  view.cursor = eip;
  if (!scroll) return;
  // Stay put when EIP starts a shown line with at least three shown lines below.
  const TListingContext ctx = doc_.listingContext();
  const uint32_t rows = doc_.visibleRows() > 0 ? doc_.visibleRows() : 1;
  uint32_t line = view.topOffset;
  for (uint32_t i = 0; i + 3 < rows && line < size; ++i) {
    if (line == eip) return;
    const uint32_t next = linesForward(view, ctx, line, 1);
    if (next <= line) break;
    line = next;
  }
  doc_.gotoOffset(eip, 0);
}

int TTraceSession::traceStep() {
  if (tracePoint() == NOT_IN_FILE) {
    doc_.host().message(kNoTracePoint, "", MsgIcon::None);
    return -1;
  }
  TTraceEnvironment env = traceEnvironment();
  const int status = regs_.traceOneCommand(env, true);
  if (status != 0 && status != 9 && status != 10 && regs_.hasExceptionHandler(doc_.image()) &&
      doc_.host().message("Execute and trace exception handler?", traceStatusMessage(status),
                          MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes)
    regs_.enterExceptionHandler(env);
  doc_.image().rereadRawSections();  // traced writes may have changed the headers
  showEip(true);
  doc_.host().setStatusText(traceStatusMessage(status));
  return status;
}

int TTraceSession::traceContinuous(const std::function<void()>& processEvents) {
  if (tracePoint() == NOT_IN_FILE) {
    doc_.host().message(kNoTracePoint, "", MsgIcon::None);
    return -1;
  }
  doc_.host().setStatusText(kTraceAbortHint);
  tracing_ = true;
  abortTrace_ = false;
  bool first = true;
  while (!abortTrace_) {
    TTraceEnvironment env = traceEnvironment();
    // The first step runs even from a breakpoint, so F5 goes on from one.
    const int status = regs_.traceOneCommand(env, first);
    doc_.image().rereadRawSections();
    if (status != 0) {
      if (status != 9 && status != 10 && regs_.hasExceptionHandler(doc_.image()) &&
          doc_.host().message(
              "Execute and trace exception handler?\n(The trace will stop at the begining of the handler)",
              traceStatusMessage(status), MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes)
        regs_.enterExceptionHandler(env);
      doc_.image().rereadRawSections();
      tracing_ = false;
      regs_.ignoreAlteredCode = 0;
      doc_.host().setStatusText(traceStatusMessage(status));
      showEip(true);
      return status;
    }
    first = false;
    showEip(true);
    if (processEvents) processEvents();
  }
  tracing_ = false;
  regs_.ignoreAlteredCode = 0;
  doc_.host().setStatusText("");
  return 0;
}

void TTraceSession::resetTracer(bool command) {
  regs_.setupDefault(doc_.image(), doc_.settings().startTracerAtTlsCallback);
  traceVis_ = std::make_unique<TTraceVis>(doc_.host(), doc_.fileSize());
  traceStates_ = std::make_unique<TTraceStates>(*traceVis_);
  regs_.traceVis = traceVis_.get();
  showEip(command || doc_.settings().showEipOnLoad);
}

void TTraceSession::setupTracerEntryPoint() {
  regs_.setupEntryPoint(doc_.image());
  showEip(true);
}

void TTraceSession::setupTracerTlsCallback(uint32_t k) {
  if (k >= doc_.image().tlsCallbackCount()) return;
  regs_.setupTlsCallback(k, doc_.image());
  showEip(true);
}

void TTraceSession::tlsCallbackMore() {
  doc_.host().message(kTlsMoreText, kTlsMoreCaption, MsgIcon::Information);
}
