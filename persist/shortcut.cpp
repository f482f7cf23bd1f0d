#include "persist/shortcut.h"

#include "base/host.h"
#include "image/file_save.h"
#include "persist/settings_path.h"

namespace {

// The program's path as one quoted argument of an Exec line: inside the
// quotes '"', '`', '$' and '\' take a backslash; then the value as a whole
// doubles every backslash and writes control characters as escapes, and a
// literal '%' is written "%%" so it is not taken for a field code.
std::string execArgument(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string out;
  for (char c : quoted) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '%': out += "%%"; break;
      default: out += c;
    }
  }
  return out;
}

std::string entryPath(const std::string& dir) {
  if (!dir.empty() && dir.back() == '/') return dir + kShortcutFileName;
  return dir + "/" + kShortcutFileName;
}

}  // namespace

std::string userApplicationsDirectory(const char* xdgDataHome, const char* home) {
  if (xdgDataHome && xdgDataHome[0] == '/') return std::string(xdgDataHome) + "/applications";
  const std::string homeDir = homeDirectory(home);
  if (homeDir.empty()) return {};
  return (homeDir.back() == '/' ? homeDir : homeDir + "/") + ".local/share/applications";
}

std::string desktopEntryText(const std::string& exePath) {
  return std::string(
             "[Desktop Entry]\n"
             "Type=Application\n"
             "Name=") +
         kShortcutName +
         "\n"
         "Comment=Open the file in OXU-Dasm\n"
         "Exec=" +
         execArgument(exePath) +
         " %f\n"
         "MimeType=application/x-ms-dos-executable;application/x-msdownload;"
         "application/vnd.microsoft.portable-executable;application/x-dosexec;"
         "application/x-ms-ne-executable;\n"
         "NoDisplay=true\n"
         "Terminal=false\n";
}

ShortcutResult addShortcutToAllFileTypes(Host& host, const std::string& exePath,
                                         const std::string& applicationsDir) {
  const std::string path = entryPath(applicationsDir);
  const std::string question =
      "This will add the following entry to your desktop allowing you to\n"
      "use OXU on every executable quick and easy with the file manager's popup menu:\n\n\t" +
      std::string(kShortcutName) + " (" + path + ")" +
      "\n\nThis will overwrite any entry previously installed by OXU.\nDo you wish to continue ?";
  if (host.message(question, kShortcutName, MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
    return ShortcutResult::Declined;

  bool ok = !exePath.empty() && !applicationsDir.empty() && makeDirectories(applicationsDir, 0755);
  if (ok) {
    const std::string text = desktopEntryText(exePath);
    ok = saveThroughTemporary(path, false, [&](const TWriter& write) {
           return write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
         }).error == SaveError::None;
  }
  if (!ok) {
    host.message("Unable to create the following desktop entry:\n" + path,
                 "TPrefDlg::EvAddToAllFileTypes()", MsgIcon::Warning);
    return ShortcutResult::Failed;
  }
  return ShortcutResult::Written;
}
