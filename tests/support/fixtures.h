// Access to the committed fixture files (tests/fixtures/bin) and temporary folders.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

std::string fixturePath(const std::string& name);
std::vector<uint8_t> readFixture(const std::string& name);
// The i686 DLLs of Debian's mingw-w64 packages that are installed (none on a
// machine without them).
std::vector<std::string> installedMingwDlls();

// A fresh empty directory under the system's temporary folder, removed by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::string& path);
