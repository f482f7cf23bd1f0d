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
#include "tracer/trace_step.h"

class TImageInfo;

static_assert(std::endian::native == std::endian::little,
              "the traced machine's memory is little-endian and mapped byte for byte");

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
