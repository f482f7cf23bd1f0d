// What one traced step works on and reports to: the step results, the
// environment the document hands in, the visualisation sink and the time
// stamp counter. The step itself is TFixedRegs::traceOneCommand.
#pragma once
#include <cstdint>

class Host;
class TImageInfo;
class TReturnManager;

// Step results of traceOneCommand.
enum TraceStatus : int {
  TRACE_OK = 0,
  TRACE_EIP_NOT_IN_FILE = 1,
  TRACE_NOT_SUPPORTED = 2,
  TRACE_ILLEGAL_ADDRESS = 3,
  TRACE_ILLEGAL_STACK = 4,
  TRACE_EXCEPTION = 5,
  TRACE_ILLEGAL_COMMAND = 6,
  TRACE_OVERLAPS_END = 7,
  TRACE_TOO_LONG = 8,
  TRACE_RDTSC = 9,
  TRACE_SELF_MODIFIED = 10,
  TRACE_BREAKPOINT = 11,
};
constexpr int kTraceStatusCount = 12;

// The status-bar text of a step result ("" for 0 and for unknown values).
const char* traceStatusMessage(int status);

// Where traced code's execution and accesses to the file image are counted.
class TTraceVisSink {
 public:
  virtual ~TTraceVisSink() = default;
  virtual void incExecuted(uint32_t offset, uint32_t length) = 0;
  virtual void setMemoryAccessed(uint32_t offset, bool isWrite, uint32_t size) = 0;
  // True when a byte of the range has a state bit of mask set (7: written).
  virtual bool wasWrittenOrRead(uint32_t offset, uint32_t length, uint32_t mask) = 0;
};

// The time stamp counter that RDTSC reads: it advances by 0x1000 per read and
// is shared by every traced file of a run.
struct TTscCounter {
  uint32_t low = 0;
  uint32_t high = 0;
  void advance() {
    if (low == 0x0FFFF000u) {
      low = 0;
      ++high;
    } else {
      low += 0x1000u;
    }
  }
};
// The run's counter (starts at 0:0).
TTscCounter& processTscCounter();

// What one step works on: the document's parts.
struct TTraceEnvironment {
  uint8_t* fileBuffer;  // the file bytes, followed by 16 readable bytes
  uint32_t fileSize;
  TImageInfo& image;
  TReturnManager& history;
  Host& host;
  TTraceVisSink* vis = nullptr;       // when null, TFixedRegs::traceVis is used
  bool code16 = false;                // 16-bit listing mode: 16-bit default sizes
  uint32_t tracePoint = 0xFFFFFFFFu;  // file offset of the listing's trace point; -1: EIP's
  TTscCounter* tsc = nullptr;         // null: the run's counter
};
