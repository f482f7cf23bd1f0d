// Builds small PE32 (and MZ) images in memory for tests, including malformed
// ones: every header field can be set freely and the result cut anywhere.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

class TPeBuilder {
 public:
  struct Section {
    std::string name;
    uint32_t rva;
    uint32_t virtualSize;
    uint32_t rawOffset;
    uint32_t rawSize;
    uint32_t characteristics;
  };

  uint32_t peOffset = 0x80;
  uint32_t imageBase = 0x00400000;
  uint32_t entryRva = 0x1000;
  uint32_t directoryCount = 16;
  uint32_t headerSize = 0x400;  // where the first section's raw data goes by default
  int numberOfSections = -1;    // -1: the number of sections added
  uint16_t mzHeaderParagraphs = 4;
  uint16_t mzCs = 0, mzIp = 0;
  std::array<std::pair<uint32_t, uint32_t>, 16> directories{};

  // Adds a section whose raw data follows the previous one (0x200 aligned).
  Section& addSection(const std::string& name, uint32_t rva, uint32_t virtualSize, uint32_t rawSize,
                      uint32_t characteristics = 0x60000020);
  std::vector<Section>& sections() { return sections_; }
  void setDirectory(int index, uint32_t rva, uint32_t size) { directories[index] = {rva, size}; }

  // Writes into the built file at the raw position of an RVA (which must lie
  // in a section's raw data or in the header region).
  void put8(uint32_t rva, uint8_t v);
  void put16(uint32_t rva, uint16_t v);
  void put32(uint32_t rva, uint32_t v);
  void putBytes(uint32_t rva, const std::vector<uint8_t>& bytes);
  void putString(uint32_t rva, const std::string& text);  // with its terminating zero

  std::vector<uint8_t> build() const;

 private:
  uint32_t fileOffsetOf(uint32_t rva) const;
  std::vector<Section> sections_;
  std::vector<std::pair<uint32_t, uint8_t>> patches_;  // (file offset, byte)
};

// A plain DOS MZ image: header paragraphs, CS:IP and a total size.
std::vector<uint8_t> buildMz(uint16_t headerParagraphs, uint16_t cs, uint16_t ip, uint32_t size);
