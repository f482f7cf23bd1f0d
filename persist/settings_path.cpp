#include "persist/settings_path.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

std::string executablePath() {
  std::vector<char> buf(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    buf.resize(buf.size() * 2);
  }
}

std::string pathDirectory(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

std::string joinPath(const std::string& dir, const std::string& name) {
  if (!dir.empty() && dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

}  // namespace

std::string homeDirectory(const char* home) {
  if (home && home[0] == '/') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
    return pw->pw_dir;
  return {};
}

std::string userConfigDirectory(const char* xdgConfigHome, const char* home) {
  // Relative values are to be ignored, as the base directory rules say.
  if (xdgConfigHome && xdgConfigHome[0] == '/') return xdgConfigHome;
  const std::string homeDir = homeDirectory(home);
  if (homeDir.empty()) return {};
  return joinPath(homeDir, ".config");
}

std::string chooseSettingsPath(const std::string& exeDir, bool exeDirWritable,
                               const std::string& configDir) {
  if (exeDirWritable || configDir.empty()) return joinPath(exeDir, kSettingsFileName);
  return joinPath(joinPath(configDir, "oxu-dasm"), kSettingsFileName);
}

bool makeDirectories(const std::string& dir, unsigned mode) {
  struct stat st {};
  if (dir.empty()) return false;
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const std::string parent = pathDirectory(dir);
  if (parent != dir && parent != "." && !makeDirectories(parent, mode)) return false;
  if (::mkdir(dir.c_str(), mode) == 0) return true;
  return errno == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string settingsPath(const std::string& exeDir) {
  const bool writable = ::access(exeDir.c_str(), W_OK) == 0;
  const std::string configDir = userConfigDirectory(std::getenv("XDG_CONFIG_HOME"),
                                                    std::getenv("HOME"));
  const std::string path = chooseSettingsPath(exeDir, writable, configDir);
  // Failing to create the folder is not an error: reads then give the
  // defaults and writes fail quietly, as with any unwritable settings file.
  if (!writable && !configDir.empty()) makeDirectories(pathDirectory(path), 0700);
  return path;
}
