#pragma once
// Where the fields of the MZ and PE headers and of the directories stand.
// PE header offsets count from the "PE" signature, whose file offset every
// reader holds; the others count from the start of their structure. The
// readers take the section table to follow a standard optional header's
// data directories, so no offset here depends on SizeOfOptionalHeader.

#include <cstdint>

namespace mz_header {
inline constexpr uint16_t kSignature = 0x5A4D;       // "MZ"
inline constexpr uint32_t kHeaderParagraphs = 0x08;  // header size in 16-byte units
inline constexpr uint32_t kInitialIp = 0x14;
inline constexpr uint32_t kInitialCs = 0x16;
inline constexpr uint32_t kPeHeaderOffset = 0x3C;  // e_lfanew
inline constexpr uint32_t kSize = 0x40;
}  // namespace mz_header

namespace pe_header {
inline constexpr uint16_t kSignature =
    0x4550;  // "PE"; the two zero bytes after it are not compared
// File header.
inline constexpr uint32_t kNumberOfSections = 0x06;
inline constexpr uint32_t kPointerToSymbolTable = 0x0C;
// Optional header.
inline constexpr uint32_t kAddressOfEntryPoint = 0x28;
inline constexpr uint32_t kImageBase = 0x34;
inline constexpr uint32_t kSectionAlignment = 0x38;
inline constexpr uint32_t kFileAlignment = 0x3C;
inline constexpr uint32_t kNumberOfRvaAndSizes = 0x74;
inline constexpr uint32_t kDataDirectories = 0x78;
inline constexpr uint32_t kDataDirectorySize = 8;  // RVA, then size

// Indexes into the data directories.
inline constexpr uint32_t kExportDirectory = 0;
inline constexpr uint32_t kImportDirectory = 1;
inline constexpr uint32_t kResourceDirectory = 2;
inline constexpr uint32_t kRelocationDirectory = 5;
inline constexpr uint32_t kTlsDirectory = 9;

// The RVA field of data directory `index`.
constexpr uint64_t dataDirectory(uint32_t index) {
  return kDataDirectories + uint64_t(kDataDirectorySize) * index;
}
// The first section header, after `directoryCount` data directories.
constexpr uint64_t sectionTable(uint32_t directoryCount) { return dataDirectory(directoryCount); }
// A standard optional header (0xE0 bytes, 16 directories) behind the file header.
static_assert(sectionTable(16) == 0x18 + 0xE0);
}  // namespace pe_header

namespace pe_section {
inline constexpr uint32_t kName = 0x00;
inline constexpr uint32_t kNameSize = 8;
inline constexpr uint32_t kVirtualSize = 0x08;
inline constexpr uint32_t kVirtualAddress = 0x0C;
inline constexpr uint32_t kSizeOfRawData = 0x10;
inline constexpr uint32_t kPointerToRawData = 0x14;
inline constexpr uint32_t kCharacteristics = 0x24;
inline constexpr uint32_t kHeaderSize = 40;

// Characteristics bits.
inline constexpr uint32_t kCode = 0x00000020u;
inline constexpr uint32_t kExecute = 0x20000000u;
}  // namespace pe_section

namespace pe_import {
// One import descriptor.
inline constexpr uint32_t kOriginalFirstThunk = 0x00;
inline constexpr uint32_t kName = 0x0C;
inline constexpr uint32_t kFirstThunk = 0x10;
inline constexpr uint32_t kDescriptorSize = 20;
}  // namespace pe_import

namespace pe_export {
inline constexpr uint32_t kOrdinalBase = 0x10;
inline constexpr uint32_t kNumberOfFunctions = 0x14;
inline constexpr uint32_t kNumberOfNames = 0x18;
inline constexpr uint32_t kAddressOfFunctions = 0x1C;
inline constexpr uint32_t kAddressOfNames = 0x20;
inline constexpr uint32_t kAddressOfNameOrdinals = 0x24;
inline constexpr uint32_t kDirectorySize = 40;
}  // namespace pe_export

namespace pe_resource {
// A directory: its header, then named entries, then id entries.
inline constexpr uint32_t kNamedEntries = 0x0C;
inline constexpr uint32_t kIdEntries = 0x0E;
inline constexpr uint32_t kDirectoryHeaderSize = 16;
inline constexpr uint32_t kEntrySize = 8;  // name or id, then the offset of what it points to
inline constexpr uint32_t kEntryOffset = 4;
inline constexpr uint32_t kSubdirectoryBit = 0x80000000u;
// Resource types in the root directory.
inline constexpr uint32_t kMenuType = 4;
inline constexpr uint32_t kStringTableType = 6;
// A data entry: the data's RVA, then its size.
inline constexpr uint32_t kDataSize = 4;
}  // namespace pe_resource

namespace pe_relocation {
// One block: the page's RVA and the block's size, then 16-bit entries.
inline constexpr uint32_t kPageRva = 0x00;
inline constexpr uint32_t kBlockSize = 0x04;
inline constexpr uint32_t kBlockHeaderSize = 8;
}  // namespace pe_relocation

namespace pe_tls {
inline constexpr uint32_t kAddressOfCallbacks = 0x0C;
}  // namespace pe_tls
