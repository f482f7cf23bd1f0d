// Where the settings file lives: beside the program when the program's folder
// can be written to, otherwise in the user's configuration folder.
#pragma once
#include <string>

inline constexpr const char* kSettingsFileName = "OXU-DASM.INI";

// The full path of the running program (from /proc/self/exe); empty when it
// cannot be found.
std::string executablePath();

// The folder part of a path ("." when it has none).
std::string pathDirectory(const std::string& path);

// The home folder: `home` when it is an absolute path, else the one the user
// database names; empty when there is none.
std::string homeDirectory(const char* home);

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
// path, else $HOME/.config (the home folder from the user database when HOME
// is unset or relative); empty when there is no home folder at all.
std::string userConfigDirectory(const char* xdgConfigHome, const char* home);

// The rule itself, without looking at the disk: `exeDirWritable` says whether
// the program's folder can be written to; `configDir` is the user's
// configuration folder. Falls back to the program's folder when there is no
// configuration folder.
std::string chooseSettingsPath(const std::string& exeDir, bool exeDirWritable,
                               const std::string& configDir);

// The settings path for a program in `exeDir`: checks whether the folder can
// be written to and, when the configuration folder is used, creates
// "oxu-dasm" in it (and the folders above it) when missing.
std::string settingsPath(const std::string& exeDir);

// Creates a folder and the folders above it; true when it exists afterwards.
bool makeDirectories(const std::string& dir, unsigned mode);
