#include "support/mingw_files.h"

#include <algorithm>
#include <filesystem>

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
