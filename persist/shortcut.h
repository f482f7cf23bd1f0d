// "Add shortcut to all file types...": a desktop entry that offers
// "Disassemble with OXU" in the file manager's menu for executable files.
#pragma once
#include <string>

class Host;

inline constexpr const char* kShortcutName = "Disassemble with OXU";
inline constexpr const char* kShortcutFileName = "oxu-dasm-disassemble.desktop";

// Where the user's own desktop entries live: $XDG_DATA_HOME/applications when
// XDG_DATA_HOME is an absolute path, else $HOME/.local/share/applications;
// empty when there is no home folder.
std::string userApplicationsDirectory(const char* xdgDataHome, const char* home);

// The entry's text, starting the program at `exePath` on one file.
std::string desktopEntryText(const std::string& exePath);

enum class ShortcutResult { Declined, Written, Failed };

// Asks first; on "Yes" writes the entry into `applicationsDir` (created when
// missing), replacing an earlier one. A failure is reported to the user.
ShortcutResult addShortcutToAllFileTypes(Host& host, const std::string& exePath,
                                         const std::string& applicationsDir);
