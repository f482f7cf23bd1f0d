// The parsed description of one loaded file: DOS MZ and PE headers, sections,
// the three address spaces (file offset, RVA, memory address) and the
// directories the rest of the program reads (imports, relocations, TLS).
// Re-parsed from the buffer after every change, so it always matches it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "image/imports.h"
#include "image/raw_convert.h"
#include "image/relocations.h"
#include "image/section_index.h"

class Host;

// The result of every failed address conversion; never a valid file offset.
constexpr uint32_t NOT_IN_FILE = 0xFFFFFFFFu;

struct SectionInfo {
  char name[9];  // always terminated
  uint32_t rva;
  uint32_t virtualSize;
  uint32_t rawOffset;
  uint32_t rawSize;
  uint32_t characteristics;

  bool containsRva(uint32_t r) const {
    return rva <= r && uint64_t(r) < uint64_t(rva) + virtualSize;
  }
  bool containsFileOffset(uint32_t o) const {
    return rawOffset <= o && uint64_t(o) < uint64_t(rawOffset) + rawSize;
  }
};

class TImageInfo {
 public:
  TImageInfo();

  // Re-reads everything from the buffer (which must carry 16 readable bytes
  // behind `size`). The import lists and their counters survive, pruned.
  void parseImage(const uint8_t* buffer, uint32_t size, const std::string& fileName);

  // Message box target for "Bad section number!"; may stay null.
  void setHost(Host* host) { host_ = host; }

  // Points at another copy of the same bytes (a worker's snapshot).
  void rebindBuffer(const uint8_t* buffer) { buffer_ = buffer; }

  // The raw section table of the buffer (raw_convert.h), read with every
  // parse. Traced code writes into the buffer without a parse: after it,
  // rereadRawSections() follows any change of the header bytes.
  const TRawSectionTable& rawSections() const { return rawSections_; }
  void rereadRawSections();
  // The raw section table when this image was parsed from buffer and size
  // (else null: the caller converts with the stand-alone functions).
  const TRawSectionTable* rawSectionsOf(const uint8_t* buffer, uint32_t size) const {
    return buffer && buffer == buffer_ && size == fileSize_ ? &rawSections_ : nullptr;
  }

  // Sections and conversions.
  const SectionInfo* getSection(uint32_t index) const;
  // Inline with a walk for a few sections: the tracer converts every memory
  // access, and a walk finds the same first section in table order.
  const SectionInfo* sectionByRva(uint32_t rva) const {
    if (sections_.size() > kWalkedSections) return indexedSectionByRva(rva);
    for (const auto& s : sections_)
      if (s.containsRva(rva)) return &s;
    return nullptr;
  }
  // pieceEnd, when given, receives the end of the stretch of file offsets
  // from offset on that the same section holds (or that no section holds).
  const SectionInfo* sectionByFileOffset(uint32_t offset, uint64_t* pieceEnd = nullptr) const;
  uint32_t rvaToFileOffset(uint32_t rva, bool allowHeader) const;
  uint32_t fileOffsetToRva(uint32_t offset) const;
  uint32_t fileOffsetToMemory(uint32_t offset) const;
  // RVA = address - image base (modulo 2^32), header bytes allowed.
  uint32_t memoryToFileOffset(uint32_t address) const {
    return rvaToFileOffset(address - imageBase_, true);
  }

  // Field access.
  const uint8_t* buffer() const { return buffer_; }
  uint32_t fileSize() const { return fileSize_; }
  uint32_t isMZ() const { return isMZ_; }
  uint32_t isPE() const { return isPE_; }
  uint32_t mzHeaderSize() const { return mzHeaderSize_; }
  uint32_t mzEntryOffset() const { return mzEntryOffset_; }
  uint16_t mzInitialCS() const { return mzInitialCS_; }
  uint32_t peHeaderOffset() const { return peHeaderOffset_; }
  uint32_t imageBase() const { return imageBase_; }
  uint32_t entryOffset() const { return entryOffset_; }
  uint32_t entryMemoryAddress() const { return entryMemoryAddress_; }
  uint32_t sectionCount() const { return static_cast<uint32_t>(sections_.size()); }
  const std::vector<SectionInfo>& sections() const { return sections_; }
  uint32_t lowestRawOffset() const { return lowestRawOffset_; }
  uint32_t lowestSectionRva() const { return lowestSectionRva_; }
  uint32_t highestSectionEnd() const { return highestSectionEnd_; }
  const std::string& fileName() const { return fileName_; }
  // NumberOfRvaAndSizes of the optional header (0 when not PE).
  uint32_t directoryCount() const { return directoryCount_; }
  // Data directory i as stored in the optional header; false when absent.
  bool dataDirectory(uint32_t index, uint32_t& rva, uint32_t& size) const;

  // Imports (see imports.h).
  uint32_t importsPresent() const { return importsPresent_; }
  uint32_t importDirectoryOffset() const { return importDirectoryOffset_; }
  uint32_t importSectionEnd() const { return importSectionEnd_; }
  TImportLists& imports() { return imports_; }
  const TImportLists& imports() const { return imports_; }
  uint32_t findOrAddModule(const std::string& name, uint32_t keep) {
    return imports_.findOrAddModule(name, keep);
  }
  uint32_t findOrAddFunction(uint32_t moduleId, const std::string& name) {
    return imports_.findOrAddFunction(moduleId, name);
  }
  bool lookupImportKey(uint32_t key, char* moduleOut, size_t moduleCap, char* functionOut,
                       size_t functionCap) const;
  bool lookupImportSlot(uint32_t address, char* moduleOut, size_t moduleCap, char* functionOut,
                        size_t functionCap) const;

  // Exports, resources.
  uint32_t exportsPresent() const { return exportsPresent_; }
  uint32_t menusPresent() const { return menusPresent_; }
  uint32_t stringsPresent() const { return stringsPresent_; }

  // Relocations (null when the file has no usable relocation directory).
  const TRelocationTable* relocationTable() const {
    return relocations_.present() ? &relocations_ : nullptr;
  }
  uint32_t relocationStateAt(uint32_t rva) const { return relocations_.stateAt(rva); }
  uint32_t relocationEntryOffsetAt(uint32_t rva) const { return relocations_.entryOffsetAt(rva); }

  // TLS callbacks.
  uint32_t tlsCallbackCount() const { return static_cast<uint32_t>(tlsCallbackOffsets_.size()); }
  uint32_t tlsCallbackOffset(uint32_t k) const { return tlsCallbackOffsets_[k]; }
  uint32_t tlsNextSlotOffset(uint32_t k) const { return tlsNextSlotOffsets_[k]; }
  int findTlsCallback(uint32_t fileOffset) const;

 private:
  static constexpr size_t kWalkedSections = 8;
  const SectionInfo* indexedSectionByRva(uint32_t rva) const;
  void indexSections();
  void readImportDirectory(uint32_t rva);
  void readResourceRoot(uint32_t rva);
  void readRelocations(uint32_t rva, uint32_t size);
  void readTlsCallbacks(uint32_t rva);
  uint32_t dword(uint64_t offset) const;  // 0 outside the file

  Host* host_ = nullptr;
  const uint8_t* buffer_ = nullptr;
  uint32_t fileSize_ = 0;
  uint32_t isMZ_ = 0;
  uint32_t isPE_ = 0;
  uint32_t mzHeaderSize_ = 0;
  uint32_t mzEntryOffset_ = NOT_IN_FILE;
  uint16_t mzInitialCS_ = 0;
  uint32_t peHeaderOffset_ = 0;
  uint32_t imageBase_ = 0;
  uint32_t entryOffset_ = NOT_IN_FILE;
  uint32_t entryMemoryAddress_ = 0xFFFFFFFFu;
  std::vector<SectionInfo> sections_;
  TSectionIndex sectionsByRva_;
  TSectionIndex sectionsByFileOffset_;
  TRawSectionTable rawSections_;
  uint32_t lowestRawOffset_ = 0xFFFFFFFFu;
  uint32_t lowestSectionRva_ = 0xFFFFFFFFu;
  uint32_t highestSectionEnd_ = 0;
  std::vector<uint32_t> tlsCallbackOffsets_;
  std::vector<uint32_t> tlsNextSlotOffsets_;
  std::string fileName_;
  uint32_t directoryCount_ = 0;
  TRelocationTable relocations_;
  uint32_t importsPresent_ = 0;
  uint32_t importDirectoryOffset_ = 0;
  uint32_t importSectionEnd_ = 0;
  TImportLists imports_;
  uint32_t exportsPresent_ = 0;
  uint32_t menusPresent_ = 0;
  uint32_t stringsPresent_ = 0;
};
