// The decoder's view of the annotation that follows addresses in listing text:
// import names, labels and comments, pointer and jump chains, string previews.
// The decoder knows nothing about the image or the name stores; the listing
// passes an implementation that does (or none, and the text stays bare).
#pragma once
#include <cstddef>
#include <cstdint>

class TAnnotator {
 public:
  // How a value is followed by annotateValue.
  enum Flavour : int {
    FlavourData = 0,        // pointer chain, then string preview
    FlavourJumpChain = 1,   // the value is a file offset holding code: jump chain
    FlavourCallTarget = 2,  // indirect call/jump target: as data, preview only behind a pointer
  };

  virtual ~TAnnotator() = default;

  // Annotation of a data address, an immediate or a register value.
  // Writes a zero-terminated text into out (emptied first), at most cap - 1
  // characters. memory: the value is the address of a bracketed memory operand.
  // noHops: follow at most one pointer. bias: file offset minus shown address of
  // the instruction (0 when the listing shows file offsets).
  virtual void annotateValue(uint32_t value, char* out, size_t cap, bool memory, bool noHops,
                             int flavour, uint32_t bias) const = 0;

  // Annotation of a branch target (followJumps, value is a file offset) or of a
  // direct memory offset (value is a memory address). Same output rules.
  virtual void annotateBranch(uint32_t value, char* out, size_t cap, bool memory, bool followJumps,
                              uint32_t bias) const = 0;

  // File offset of a memory address (header bytes allowed), or 0xFFFFFFFF
  // (NOT_IN_FILE) when the address maps to no byte of the file.
  virtual uint32_t memoryToFileOffset(uint32_t address) const = 0;
};
