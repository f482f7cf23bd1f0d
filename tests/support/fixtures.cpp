#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

std::string fixturePath(const std::string& name) {
  return std::string(OXU_FIXTURE_DIR) + "/bin/" + name;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) ADD_FAILURE() << "cannot read " << path;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> readFixture(const std::string& name) { return readFile(fixturePath(name)); }

std::vector<std::string> installedMingwDlls() {
  std::vector<std::string> out;
  for (const char* root : {"/usr/lib/gcc/i686-w64-mingw32", "/usr/i686-w64-mingw32"}) {
    std::error_code ec;
    if (!std::filesystem::exists(root, ec)) continue;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (ec) break;
      if (it->is_regular_file(ec) && it->path().extension() == ".dll")
        out.push_back(it->path().string());
    }
  }
  return out;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "oxu-test-XXXXXX").string();
  char* made = mkdtemp(tmpl.data());
  if (!made) ADD_FAILURE() << "mkdtemp failed";
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}
