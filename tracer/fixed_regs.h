// The state of the one traced thread: registers, flags, a private 16 KB
// stack above the image, the simulated thread block (exception list, stack
// limits), breakpoints and the last illegal access. The same register values
// double as the "fixed registers" the listing shows in place of register
// names. Stepping lives in trace_step.cpp.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "disasm/decoder.h"

class Host;
class TImageInfo;
class TReturnManager;

static_assert(std::endian::native == std::endian::little,
              "the traced machine's memory is little-endian and mapped byte for byte");

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
  uint8_t* fileBuffer;       // the file bytes, followed by 16 readable bytes
  uint32_t fileSize;
  TImageInfo& image;
  TReturnManager& history;
  Host& host;
  TTraceVisSink* vis = nullptr;   // when null, TFixedRegs::traceVis is used
  bool code16 = false;            // 16-bit listing mode: 16-bit default sizes
  uint32_t tracePoint = 0xFFFFFFFFu;  // file offset of the listing's trace point; -1: EIP's
  TTscCounter* tsc = nullptr;     // null: the run's counter
};

struct TBreakPoint {
  uint32_t offset;  // file offset of the instruction
  uint32_t unused;
};

class TFixedRegs {
 public:
  static constexpr uint32_t STACK_SIZE = 0x4000;
  // Four-byte accesses starting below this offset stay inside the stack.
  static constexpr uint32_t STACK_AREA = 0x3FFD;
  static constexpr uint32_t NO_EXCEPTION_LIST = 0xFFFFFFFFu;
  static constexpr uint32_t ENTRY_RETURN = 0x77E9893Du;
  static constexpr uint32_t TLS_RETURN = 0x778830E7u;
  static constexpr uint32_t HANDLER_RETURN = 0x77896BA7u;

  TFixedRegs();
  TFixedRegs(const TFixedRegs& other);
  TFixedRegs& operator=(const TFixedRegs& other);

  // ---- state ------------------------------------------------------------
  uint8_t fixed8 = 0;
  uint8_t fixed16 = 0;
  uint8_t fixed32 = 0;
  union {
    struct {
      uint32_t EAX, ECX, EDX, EBX, ESP, EBP, ESI, EDI;
    };
    uint32_t reg[8];  // by x86 register number
  };
  uint8_t fixedSegs = 0;
  union {
    struct {
      uint16_t ES, CS, SS, DS, FS, GS;
    };
    uint16_t sreg[6];  // by x86 segment register number
  };
  uint32_t EFLAGS = 0x246;
  uint8_t exceptionPending = 0;
  uint32_t EIP = 0;
  std::unique_ptr<uint8_t[]> stack;  // STACK_SIZE bytes
  uint32_t stackBase = 0;
  uint32_t exceptionList = NO_EXCEPTION_LIST;
  uint32_t ignoreAlteredCode = 0;
  uint32_t fsScratch = 0;
  int32_t tlsIndex = 0;
  TTraceVisSink* traceVis = nullptr;
  std::vector<TBreakPoint> breakPoints;
  uint32_t faultAddress = 0;
  uint32_t faultWrite = 0;

  // ---- set-up -------------------------------------------------------------
  void setupEntryPoint(const TImageInfo& image);
  void setupTlsCallback(uint32_t n, const TImageInfo& image);
  // startAtTlsCallback: the setting "Start tracer at 1. TLS callback".
  void setupDefault(const TImageInfo& image, bool startAtTlsCallback);

  // ---- stack ------------------------------------------------------------
  bool inStack(uint32_t address) const { return address - stackBase < STACK_AREA; }
  void push(uint32_t value) {
    ESP -= 4;
    writeStack(ESP - stackBase, value);
  }
  uint32_t pop() {
    const uint32_t v = readStack(ESP - stackBase);
    ESP += 4;
    return v;
  }
  uint32_t readStack(uint32_t offset) const;
  void writeStack(uint32_t offset, uint32_t value);

  // ---- fixed registers ------------------------------------------------------
  // 'c','d','e','f','g','s': the segment register when marked fixed, else 0.
  uint16_t fixedSegment(char letter) const;
  // What the decoder reads to show fixed registers by value.
  TFixedRegView fixedRegView() const;

  // ---- breakpoints ----------------------------------------------------------
  void toggleBreakPoint(uint32_t fileOffset);
  bool isBreakPoint(uint32_t fileOffset) const;
  void clearBreakPoints() { breakPoints.clear(); }

  void recordFault(uint32_t address, bool isWrite, const TImageInfo& image);

  // ---- project record ---------------------------------------------------------
  // Appends the FIXEDREGS record.
  bool save(std::vector<uint8_t>& out) const;
  // Reads the record of a project of the given version from data[0, size).
  // False on a short record (the fields read so far are kept); consumed is the
  // number of bytes taken.
  bool load(const uint8_t* data, size_t size, uint16_t projectVersion, size_t* consumed = nullptr);

  // ---- stepping (trace_step.cpp) ------------------------------------------------
  int traceOneCommand(TTraceEnvironment& env, bool manualStep);
  bool conditionTrue(uint32_t cc) const;
  // Reads the registration record through the image's own buffer.
  bool hasExceptionHandler(const TImageInfo& image) const;
  void enterExceptionHandler(TTraceEnvironment& env);
  void returnFromExceptionHandler(TTraceEnvironment& env);

 private:
  void resetStackArea(const TImageInfo& image);
  // Reads the handler field of the newest registration record; false when
  // there is none.
  bool exceptionHandler(const TImageInfo& image, uint32_t& handler) const;
};
