#include "support/mingw_files.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "support/process.h"

std::vector<std::string> i686MingwDlls() {
  std::vector<std::string> out;
  std::error_code ec;
  std::vector<std::filesystem::path> dirs = {"/usr/i686-w64-mingw32/lib"};
  for (const auto& e : std::filesystem::directory_iterator("/usr/lib/gcc/i686-w64-mingw32", ec))
    dirs.push_back(e.path());
  for (const auto& dir : dirs)
    for (const auto& e : std::filesystem::directory_iterator(dir, ec))
      if (e.path().extension() == ".dll") out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

std::string i686Objdump() {
  for (const char* tool : {"i686-w64-mingw32-objdump", "objdump"})
    if (!runCommand(std::string("command -v ") + tool).out.empty()) return tool;
  return {};
}

std::vector<TObjdumpSection> objdumpSections(const std::string& tool, const std::string& path) {
  // "  0 .text  0001db68  6eb41000  6eb41000  00000600  2**2"
  std::istringstream lines(runCommand(tool + " -h '" + path + "'").out);
  std::vector<TObjdumpSection> out;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream l(line);
    unsigned idx;
    std::string name, size, vma, lma, off;
    if (!(l >> idx >> name >> size >> vma >> lma >> off) || off.size() != 8 || idx != out.size())
      continue;
    out.push_back(
        {name, uint32_t(std::stoul(vma, nullptr, 16)), uint32_t(std::stoul(off, nullptr, 16))});
  }
  return out;
}
