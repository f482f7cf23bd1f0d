#include "document/trace_control.h"

#include "base/host.h"
#include "document/document.h"

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

TTraceEnvironment TDocument::traceEnvironment() {
  TTraceEnvironment env{tracedBuffer(), fileSize_, image_, history_, host_};
  env.vis = traceVis_.get();
  env.code16 = view_.bits16;
  env.tracePoint = tracePoint();
  return env;
}

void TDocument::showEip(bool scroll) {
  if (regsChanged) regsChanged();
  const uint32_t eip = image_.memoryToFileOffset(regs_.EIP);
  view_.cursorShown = eip < fileSize_;
  if (!view_.cursorShown) return;
  view_.cursor = eip;
  if (!scroll) return;
  // Stay put when EIP starts a shown line with at least three shown lines below.
  const TListingContext ctx = listingContext();
  const uint32_t rows = visibleRows_ > 0 ? visibleRows_ : 1;
  uint32_t line = view_.topOffset;
  for (uint32_t i = 0; i + 3 < rows && line < fileSize_; ++i) {
    if (line == eip) return;
    const uint32_t next = linesForward(view_, ctx, line, 1);
    if (next <= line) break;
    line = next;
  }
  gotoOffset(eip, 0);
}

int TDocument::traceStep() {
  if (tracePoint() == NOT_IN_FILE) {
    host_.message(kNoTracePoint, "", MsgIcon::None);
    return -1;
  }
  TTraceEnvironment env = traceEnvironment();
  const int status = regs_.traceOneCommand(env, true);
  if (status != 0 && status != 9 && status != 10 && regs_.hasExceptionHandler(image_) &&
      host_.message("Execute and trace exception handler?", traceStatusMessage(status),
                    MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes)
    regs_.enterExceptionHandler(env);
  image_.rereadRawSections();  // traced writes may have changed the headers
  showEip(true);
  host_.setStatusText(traceStatusMessage(status));
  return status;
}

int TDocument::traceContinuous(const std::function<void()>& processEvents) {
  if (tracePoint() == NOT_IN_FILE) {
    host_.message(kNoTracePoint, "", MsgIcon::None);
    return -1;
  }
  host_.setStatusText(kTraceAbortHint);
  tracing_ = true;
  abortTrace_ = false;
  bool first = true;
  while (!abortTrace_) {
    TTraceEnvironment env = traceEnvironment();
    // The first step runs even from a breakpoint, so F5 goes on from one.
    const int status = regs_.traceOneCommand(env, first);
    image_.rereadRawSections();
    if (status != 0) {
      if (status != 9 && status != 10 && regs_.hasExceptionHandler(image_) &&
          host_.message("Execute and trace exception handler?\n(The trace will stop at the begining of the handler)",
                        traceStatusMessage(status), MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes)
        regs_.enterExceptionHandler(env);
      image_.rereadRawSections();
      tracing_ = false;
      regs_.ignoreAlteredCode = 0;
      host_.setStatusText(traceStatusMessage(status));
      showEip(true);
      return status;
    }
    first = false;
    showEip(true);
    if (processEvents) processEvents();
  }
  tracing_ = false;
  regs_.ignoreAlteredCode = 0;
  host_.setStatusText("");
  return 0;
}

void TDocument::resetTracer(bool command) {
  regs_.setupDefault(image_, settings_.startTracerAtTlsCallback);
  traceVis_ = std::make_unique<TTraceVis>(host_, fileSize_);
  traceStates_ = std::make_unique<TTraceStates>(*traceVis_);
  regs_.traceVis = traceVis_.get();
  showEip(command || settings_.showEipOnLoad);
}

void TDocument::setupTracerEntryPoint() {
  regs_.setupEntryPoint(image_);
  showEip(true);
}

void TDocument::setupTracerTlsCallback(uint32_t k) {
  if (k >= image_.tlsCallbackCount()) return;
  regs_.setupTlsCallback(k, image_);
  showEip(true);
}

void TDocument::tlsCallbackMore() {
  host_.message(kTlsMoreText, kTlsMoreCaption, MsgIcon::Information);
}
