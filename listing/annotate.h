// The annotation the listing puts behind addresses: import names, jump and
// pointer chains, string previews, string-table texts and the user's labels.
// It reads the parsed image, the file buffer, the name store and (when it is
// not being filled) the string reference store; it never writes to any of them
// and allocates nothing per call.
//
// Text written here uses the marks of disasm/marks.h: colour marks around
// import names, strings and labels, and reference marks (REF_ADDRESS for a
// pointer, REF_JUMP for a jump target) in front of eight hex digits. Every
// other byte is 0x20 or above: texts copied from the file or the stores have
// their control bytes printed as ".", so that they cannot forge a mark.
#pragma once
#include <cstddef>
#include <cstdint>

#include "disasm/annotation.h"

class TImageInfo;
class TCommentContainer;
class TStrRefStore;
class TStoreLocks;

class TListingAnnotator : public TAnnotator {
 public:
  // buffer/size: the file buffer the image was parsed from (the image reads
  // import slots from its own view of the same bytes). strings may be null (no
  // string references); locks may be null when no worker ever fills strings.
  // Everything is borrowed and must outlive the annotator.
  TListingAnnotator(const TImageInfo& image, const uint8_t* buffer, uint32_t size,
                    const TCommentContainer& names, const TStrRefStore* strings = nullptr,
                    const TStoreLocks* locks = nullptr);

  // Only PE images are annotated; for any other file out is left empty.
  // A capacity below 6 leaves out empty as well.
  void annotateValue(uint32_t value, char* out, size_t cap, bool memory, bool noHops, int flavour,
                     uint32_t bias) const override;
  void annotateBranch(uint32_t value, char* out, size_t cap, bool memory, bool followJumps,
                      uint32_t bias) const override;
  uint32_t memoryToFileOffset(uint32_t address) const override;

 private:
  struct TNote;  // out, its capacity and its length while a note is written
  // What follows a piece: the string reference, the label, nothing (out is
  // full), or for the import name, no import behind the value.
  enum class Next { Strings, Label, Stop, Absent };

  Next importName(TNote& t, uint32_t value, bool memory) const;
  Next jumpChain(TNote& t, uint32_t offset, bool noHops, uint32_t bias) const;
  Next pointerChain(TNote& t, uint32_t value, bool noHops, int& flavour) const;
  Next preview(TNote& t, uint32_t offset) const;
  bool stringReference(TNote& t, uint32_t value) const;  // false: out is full
  bool labelKey(uint32_t value, bool fileOffset, uint32_t& key) const;
  void label(TNote& t, uint32_t key) const;
  bool findStringText(uint32_t id, uint32_t& textOffset) const;

  const TImageInfo& image_;
  const uint8_t* buffer_;
  uint32_t size_;
  const TCommentContainer& names_;
  const TStrRefStore* strings_;
  const TStoreLocks* locks_;
};
