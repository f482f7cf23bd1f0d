// Real-world inputs from Debian's i686 mingw-w64 packages, where installed.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Every i686 DLL of the mingw-w64 runtime packages (both thread models).
std::vector<std::string> i686MingwDlls();

// The objdump that reads PE32 files; empty when none is installed.
std::string i686Objdump();

// The section list `objdump -h` prints for a file, in its order.
struct TObjdumpSection {
  std::string name;
  uint32_t vma;
  uint32_t fileOffset;
};
std::vector<TObjdumpSection> objdumpSections(const std::string& tool, const std::string& path);
