// The open document: one file's bytes, their parsed image and the state that
// belongs to them. The desktop program's listing window and the command-line
// tool both work through it; it never touches a toolkit.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "image/image_info.h"
#include "image/tls_menu.h"

class Host;

// Results of TDocument::LoadFile.
enum LoadResult : int {
  LOAD_OK = 0,
  LOAD_CANNOT_OPEN = 1,
  LOAD_NO_SIZE = 2,
  LOAD_NO_MEMORY = 3,
  LOAD_NO_ACCESS = 4,
  LOAD_SHORT_READ = 5,
};

enum class ViewMode { Code32, Code16, HexDump };

struct TViewState {
  ViewMode mode = ViewMode::Code32;
  bool fileOffsets = true;  // address column: file offsets, else memory addresses
  uint32_t topOffset = 0;
};

// Menu-bar commands whose presence depends on the loaded file.
struct TFileCommands {
  bool imageProperties = false;  // 130, PE files
  bool exports = false;          // 155
  bool imports = false;          // 156
  bool menus = false;            // 161, in the "&Resources" submenu
  bool strings = false;          // 162, same submenu
  bool resourcesSubmenu() const { return menus || strings; }
  TTlsMenu tls{};
};

constexpr int kVersionMajor = 2;
constexpr int kVersionMinor = 35;

class TDocument {
 public:
  explicit TDocument(Host& host);

  void setPath(const std::string& path) { path_ = path; }
  const std::string& path() const { return path_; }

  // Reads the file named by path() and parses it. fullReset: a file the user
  // opened (history cleared, own exports named, scan started); false when a
  // project brings its own names, references and history.
  int LoadFile(bool fullReset);

  bool isLoaded() const { return loaded_; }
  // The file's bytes followed by 16 zero bytes.
  const uint8_t* buffer() const { return buffer_.data(); }
  uint32_t fileSize() const { return fileSize_; }
  const TImageInfo& image() const { return image_; }
  TImageInfo& image() { return image_; }

  bool fileChanged() const { return fileChanged_; }
  bool projectChanged() const { return projectChanged_; }

  TViewState& view() { return view_; }
  const TViewState& view() const { return view_; }

  TFileCommands fileCommands() const;
  std::string titleText() const;
  Host& host() const { return host_; }

 private:
  void closeFile();

  Host& host_;
  std::string path_;
  std::vector<uint8_t> buffer_;
  uint32_t fileSize_ = 0;
  bool loaded_ = false;
  bool fileChanged_ = false;
  bool projectChanged_ = false;
  TImageInfo image_;
  TViewState view_;
};

// "OXU-Dasm - 32/16-bit disassembler v2.35 ALPHA - [path]", or the short
// form with its trailing blank when no file is named.
std::string windowTitle(const std::string& path);
