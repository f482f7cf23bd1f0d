// Menu and string-table resources read straight from the file buffer: the
// menu list, a menu rendered as resource-script text, and the string list.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One line of a list control, with the number it stands for.
struct TListLine {
  std::string text;
  uint32_t data;
};

// List controls keep their lines sorted by text, without regard to case.
void sortLikeListControl(std::vector<TListLine>& lines);

enum class ResourceRootStatus { NotPe, WrongDirectory, NoResources, Ok };

struct TResourceRoot {
  ResourceRootStatus status = ResourceRootStatus::NotPe;
  uint32_t offset = 0;  // file offset of the root directory
};

TResourceRoot findResourceRoot(const uint8_t* buffer, uint32_t size);

// What a resource list shows: its lines (sorted), and the window title and
// message box that a failure sets (empty when none).
struct TResourceList {
  TResourceRoot root;
  std::vector<TListLine> lines;
  std::string title;
  bool noResourcesMessage = false;  // show "This programm doesn't have any resources!"
};

constexpr const char* kNoResourcesText = "This programm doesn't have any resources!";
constexpr const char* kNoResourcesCaption = "Unable to show menus";

// Menu resources: quoted names and decimal IDs; data = file offset of the
// first entry of the menu's language directory.
TResourceList listMenus(const uint8_t* buffer, uint32_t size);

constexpr uint16_t kNoMenuCommand = 0xFFFF;

struct TRenderedMenu {
  std::string text;               // lines ending in "\r\n"
  std::vector<uint16_t> lineIds;  // the command on each line, kNoMenuCommand for none
};

// The menu of a list line as a MENU block; "No data available!" when its
// data cannot be read.
TRenderedMenu renderMenu(const uint8_t* buffer, uint32_t size, const TResourceRoot& root,
                         const TListLine& menu);

// String-table strings: "ID 0x%.4X (%.5i): text"; data = the string ID.
// keep(id) decides whether a string is listed.
TResourceList listStrings(const uint8_t* buffer, uint32_t size,
                          const std::function<bool(uint32_t id)>& keep);

// The next line whose text, after its 19-character ID prefix, contains
// `text` (without regard to case), starting behind `selected` and wrapping
// once; -1 when none does. An empty text or list gives -2 (nothing to do).
int searchStringLines(const std::vector<TListLine>& lines, int selected, const std::string& text);
