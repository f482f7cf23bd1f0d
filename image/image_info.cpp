#include "image/image_info.h"

#include <algorithm>
#include <cstring>

#include "base/host.h"
#include "base/le_read.h"
#include "base/text_format.h"
#include "image/pe_layout.h"
#include "image/thunk_allowance.h"

namespace {

constexpr uint32_t kMaxImportNameChars = 80;

// The low `digits` hex digits of v, upper case, as "%.*X" writes them.
void putHexDigits(char* at, uint32_t v, int digits) {
  for (int i = digits - 1; i >= 0; --i, v >>= 4) at[i] = "0123456789ABCDEF"[v & 0xF];
}

}  // namespace

TImageInfo::TImageInfo() = default;

uint32_t TImageInfo::dword(uint64_t offset) const {
  return boundedLe32(buffer_, fileSize_, offset);
}

void TImageInfo::parseImage(const uint8_t* buffer, uint32_t size, const std::string& fileName) {
  buffer_ = buffer;
  fileSize_ = size;
  isMZ_ = isPE_ = mzHeaderSize_ = peHeaderOffset_ = imageBase_ = 0;
  mzInitialCS_ = 0;
  mzEntryOffset_ = entryOffset_ = NOT_IN_FILE;
  entryMemoryAddress_ = 0xFFFFFFFFu;
  sections_.clear();
  indexSections();
  rereadRawSections();
  tlsCallbackOffsets_.clear();
  tlsNextSlotOffsets_.clear();
  relocations_.clear();
  lowestRawOffset_ = lowestSectionRva_ = 0xFFFFFFFFu;
  highestSectionEnd_ = 0;
  importsPresent_ = exportsPresent_ = menusPresent_ = stringsPresent_ = 0;
  directoryCount_ = 0;
  fileName_ = fileName;

  if (size < mz_header::kSize || readLe16(buffer) != mz_header::kSignature) return;

  // DOS part.
  mzHeaderSize_ = 16u * readLe16(buffer + mz_header::kHeaderParagraphs);
  mzInitialCS_ = readLe16(buffer + mz_header::kInitialCs);
  const uint32_t ip = readLe16(buffer + mz_header::kInitialIp);
  const uint64_t dosEntry = uint64_t(mzHeaderSize_) + uint64_t(mzInitialCS_) * 16 + ip;
  if (mzHeaderSize_ < size && dosEntry < size) {
    isMZ_ = 1;
    mzEntryOffset_ = entryOffset_ = static_cast<uint32_t>(dosEntry);
    entryMemoryAddress_ = uint32_t(mzInitialCS_) * 16 + ip;
    imageBase_ = 0u - mzHeaderSize_;
  }

  // PE signature; only the two letters are compared.
  const uint32_t p = readLe32(buffer + mz_header::kPeHeaderOffset);
  if (p == 0 || uint64_t(p) + 0x8C >= size || readLe16(buffer + p) != pe_header::kSignature) return;

  const uint32_t wantedSections = buffer[p + pe_header::kNumberOfSections];
  const uint32_t n = readLe32(buffer + p + pe_header::kNumberOfRvaAndSizes);
  directoryCount_ = n;
  // The table follows the data directories of a standard optional header;
  // SizeOfOptionalHeader is not trusted.
  uint64_t at = uint64_t(p) + pe_header::sectionTable(n);
  while (sections_.size() < wantedSections && at + pe_section::kHeaderSize <= size) {
    const uint8_t* h = buffer + at;
    SectionInfo s{};
    std::memcpy(s.name, h + pe_section::kName, pe_section::kNameSize);
    s.name[pe_section::kNameSize] = 0;
    s.virtualSize = readLe32(h + pe_section::kVirtualSize);
    s.rva = readLe32(h + pe_section::kVirtualAddress);
    s.rawSize = readLe32(h + pe_section::kSizeOfRawData);
    s.rawOffset = readLe32(h + pe_section::kPointerToRawData);
    s.characteristics = readLe32(h + pe_section::kCharacteristics);
    // A section without raw data (.bss) usually says raw offset 0; the loader
    // ignores it, and so must the header region, or no header byte of such a
    // file would have an RVA.
    if (s.rawSize != 0) lowestRawOffset_ = std::min(lowestRawOffset_, s.rawOffset);
    lowestSectionRva_ = std::min(lowestSectionRva_, s.rva);
    highestSectionEnd_ = std::max(highestSectionEnd_, s.rva + s.virtualSize);
    sections_.push_back(s);
    at += pe_section::kHeaderSize;
  }
  indexSections();

  isPE_ = 1;
  peHeaderOffset_ = p;
  imageBase_ = readLe32(buffer + p + pe_header::kImageBase);

  const uint32_t entryRva = readLe32(buffer + p + pe_header::kAddressOfEntryPoint);
  const uint32_t e = rvaToFileOffset(entryRva, true);
  if (e < size) {
    entryOffset_ = e;
    entryMemoryAddress_ = entryRva + imageBase_;
  }

  uint32_t rva, dirSize;
  if (dataDirectory(pe_header::kExportDirectory, rva, dirSize)) {
    uint32_t off = rvaToFileOffset(rva, false);
    if (off != NOT_IN_FILE && uint64_t(off) + pe_export::kDirectorySize <= size)
      exportsPresent_ = 1;
  }
  if (dataDirectory(pe_header::kImportDirectory, rva, dirSize)) readImportDirectory(rva);
  if (dataDirectory(pe_header::kResourceDirectory, rva, dirSize)) readResourceRoot(rva);
  if (dataDirectory(pe_header::kRelocationDirectory, rva, dirSize)) readRelocations(rva, dirSize);
  if (dataDirectory(pe_header::kTlsDirectory, rva, dirSize)) readTlsCallbacks(rva);
}

bool TImageInfo::dataDirectory(uint32_t index, uint32_t& rva, uint32_t& size) const {
  if (!isPE_ || directoryCount_ <= index) return false;
  // A directory entry the file does not hold is absent.
  const uint64_t at = uint64_t(peHeaderOffset_) + pe_header::dataDirectory(index);
  if (!fitsIn(fileSize_, at, pe_header::kDataDirectorySize)) return false;
  rva = readLe32(buffer_ + at);
  size = readLe32(buffer_ + at + 4);
  return true;
}

void TImageInfo::readImportDirectory(uint32_t rva) {
  const uint32_t off = rvaToFileOffset(rva, false);
  if (off == NOT_IN_FILE || uint64_t(off) + pe_import::kDescriptorSize > fileSize_) return;
  importsPresent_ = 1;
  importDirectoryOffset_ = off;
  const SectionInfo* s = sectionByFileOffset(off);
  importSectionEnd_ = s ? s->rawOffset + s->rawSize : 0;
  imports_.pruneFileEntries();

  // The holding section may claim more raw bytes than the file has.
  const uint64_t end = std::min<uint64_t>(uint64_t(s ? s->rawOffset : 0) + (s ? s->rawSize : 0),
                                          fileSize_);
  char name[kMaxImportNameChars + 1];
  char ordinal[] = "ORD: 0000";
  char illegal[] = "Illegal function name address: 00000000";
  TFileFunctionBatch found;
  TThunkAllowance allowance(fileSize_);
  for (uint64_t d = off; d + pe_import::kDescriptorSize - 1 < end;
       d += pe_import::kDescriptorSize) {
    const uint32_t nameRva = readLe32(buffer_ + d + pe_import::kName);
    if (nameRva == 0) break;
    const uint32_t nameOff = rvaToFileOffset(nameRva, true);
    if (nameOff == NOT_IN_FILE || nameOff == 0) continue;
    copyBoundedText(buffer_, fileSize_, nameOff, name, sizeof name, kMaxImportNameChars);
    const uint32_t id = imports_.addFileModule(name);

    const uint32_t original = readLe32(buffer_ + d + pe_import::kOriginalFirstThunk);
    const uint32_t thunkRva = original != 0 ? original
                                            : readLe32(buffer_ + d + pe_import::kFirstThunk);
    const uint32_t t = rvaToFileOffset(thunkRva, true);
    if (t == NOT_IN_FILE || t == 0) continue;
    allowance.addDescriptor();
    for (uint64_t a = t; a + 3 < end; a += 4) {
      const uint32_t v = readLe32(buffer_ + a);
      if (v == 0 || !allowance.take()) break;
      // The texts are "ORD: %.4X" and "Illegal function name address: %.8X",
      // written without a formatter: a directory may hold very many.
      if (v & 0x80000000u) {
        putHexDigits(ordinal + 5, v, 4);
        found.add(v, id, ordinal);
        continue;
      }
      const uint32_t h = rvaToFileOffset(v, true);
      if (h == NOT_IN_FILE || h == 0) {
        putHexDigits(illegal + 31, v, 8);
        found.add(v, id, illegal);
      } else {
        copyBoundedText(buffer_, fileSize_, uint64_t(h) + 2, name, sizeof name,
                        kMaxImportNameChars);
        found.add(v, id, name);
      }
    }
  }
  imports_.addFileFunctions(found);
}

void TImageInfo::readResourceRoot(uint32_t rva) {
  const uint32_t off = rvaToFileOffset(rva, false);
  if (off == NOT_IN_FILE || uint64_t(off) + 0x15 >= fileSize_) return;
  const uint32_t named = readLe16(buffer_ + off + pe_resource::kNamedEntries);
  const uint32_t ids = readLe16(buffer_ + off + pe_resource::kIdEntries);
  const uint32_t total = named + ids;
  for (uint32_t k = 0; k < total; ++k) {
    const uint64_t e = uint64_t(off) + pe_resource::kDirectoryHeaderSize +
                       uint64_t(pe_resource::kEntrySize) * k;
    if (e + 7 >= fileSize_) break;
    const uint32_t type = readLe32(buffer_ + e);
    const uint32_t data = readLe32(buffer_ + e + pe_resource::kEntryOffset) &
                          ~pe_resource::kSubdirectoryBit;
    if (uint64_t(data) + off + 0x19 >= fileSize_) continue;
    if (type == pe_resource::kMenuType) menusPresent_ = 1;
    if (type == pe_resource::kStringTableType) stringsPresent_ = 1;
  }
}

void TImageInfo::readRelocations(uint32_t rva, uint32_t size) {
  const uint32_t off = rvaToFileOffset(rva, false);
  if (off == NOT_IN_FILE || uint64_t(off) + size > fileSize_) return;
  relocations_.read(buffer_, off, size);
}

void TImageInfo::readTlsCallbacks(uint32_t rva) {
  const uint32_t t = rvaToFileOffset(rva, false);
  if (t == NOT_IN_FILE || uint64_t(t) + 16 >= fileSize_) return;
  const uint32_t a = memoryToFileOffset(readLe32(buffer_ + t + pe_tls::kAddressOfCallbacks));
  if (a == NOT_IN_FILE || uint64_t(a) + 4 >= fileSize_) return;
  // Count slots while the slot after the current one still begins inside the file.
  for (uint64_t slot = a; slot + 4 < fileSize_; slot += 4) {
    const uint32_t v = readLe32(buffer_ + slot);
    if (v == 0) break;
    tlsCallbackOffsets_.push_back(memoryToFileOffset(v));
    tlsNextSlotOffsets_.push_back(static_cast<uint32_t>(slot + 4));
  }
}

int TImageInfo::findTlsCallback(uint32_t fileOffset) const {
  for (size_t k = 0; k < tlsCallbackOffsets_.size(); ++k)
    if (tlsCallbackOffsets_[k] == fileOffset) return static_cast<int>(k);
  return -1;
}

const SectionInfo* TImageInfo::getSection(uint32_t index) const {
  if (index >= sections_.size()) {
    if (host_) host_->message("Bad section number!", "TImageInfo::getSection()", MsgIcon::Warning);
    return nullptr;
  }
  return &sections_[index];
}

void TImageInfo::indexSections() {
  std::vector<TSectionIndex::TRange> rvas, offsets;
  rvas.reserve(sections_.size());
  offsets.reserve(sections_.size());
  for (const SectionInfo& s : sections_) {
    rvas.push_back({s.rva, uint64_t(s.rva) + s.virtualSize});
    offsets.push_back({s.rawOffset, uint64_t(s.rawOffset) + s.rawSize});
  }
  sectionsByRva_.build(rvas);
  sectionsByFileOffset_.build(offsets);
}

void TImageInfo::rereadRawSections() {
  // Most changes leave the headers alone; comparing is cheaper than a new index.
  if (!rawSections_.matches(buffer_, fileSize_)) rawSections_.read(buffer_, fileSize_);
}

const SectionInfo* TImageInfo::indexedSectionByRva(uint32_t rva) const {
  const uint32_t i = sectionsByRva_.find(rva);
  return i == TSectionIndex::NONE ? nullptr : &sections_[i];
}

const SectionInfo* TImageInfo::sectionByFileOffset(uint32_t offset, uint64_t* pieceEnd) const {
  if (!pieceEnd && sections_.size() <= kWalkedSections) {  // as in sectionByRva
    for (const auto& s : sections_)
      if (s.containsFileOffset(offset)) return &s;
    return nullptr;
  }
  const uint32_t i = sectionsByFileOffset_.find(offset, pieceEnd);
  return i == TSectionIndex::NONE ? nullptr : &sections_[i];
}

uint32_t TImageInfo::rvaToFileOffset(uint32_t rva, bool allowHeader) const {
  if (const SectionInfo* s = sectionByRva(rva)) {
    if (s->rawSize == 0) return NOT_IN_FILE;
    const uint64_t o = uint64_t(rva) - s->rva + s->rawOffset;
    if (o < fileSize_ && s->containsFileOffset(static_cast<uint32_t>(o)))
      return static_cast<uint32_t>(o);
    return NOT_IN_FILE;
  }
  if (allowHeader && rva < lowestSectionRva_ && rva < lowestRawOffset_ && rva < fileSize_)
    return rva;
  return NOT_IN_FILE;
}

uint32_t TImageInfo::fileOffsetToRva(uint32_t offset) const {
  if (const SectionInfo* s = sectionByFileOffset(offset)) return offset - s->rawOffset + s->rva;
  if (offset < lowestRawOffset_ && offset < lowestSectionRva_ && offset < fileSize_) return offset;
  return NOT_IN_FILE;
}

uint32_t TImageInfo::fileOffsetToMemory(uint32_t offset) const {
  const uint32_t rva = fileOffsetToRva(offset);
  return rva == NOT_IN_FILE ? NOT_IN_FILE : rva + imageBase_;
}

bool TImageInfo::lookupImportKey(uint32_t key, char* moduleOut, size_t moduleCap, char* functionOut,
                                 size_t functionCap) const {
  if (!isPE_ || !importsPresent_) return false;
  const TImportedFunction* f = imports_.functionByKey(key);
  if (!f) return false;
  const TImportedModule* m = imports_.moduleById(f->moduleId);
  if (!m) return false;
  if (moduleCap) {
    moduleOut[0] = 0;
    appendText(moduleOut, moduleCap, m->name.c_str());
  }
  if (functionCap) {
    functionOut[0] = 0;
    appendText(functionOut, functionCap, f->name.c_str());
  }
  return true;
}

bool TImageInfo::lookupImportSlot(uint32_t address, char* moduleOut, size_t moduleCap,
                                  char* functionOut, size_t functionCap) const {
  if (!isPE_ || !importsPresent_) return false;
  const uint32_t off = memoryToFileOffset(address);
  if (off == NOT_IN_FILE || uint64_t(off) + 3 >= fileSize_) return false;
  return lookupImportKey(readLe32(buffer_ + off), moduleOut, moduleCap, functionOut, functionCap);
}
