// Every command of the menu bar, the tool bar and the listing's pop-up menus:
// its number, text, status-bar hint, frame key and the places it appears in.
// The desktop program's menus, tool bar, hints and keys and the command-line
// tool all read this one table; the numbers are what the items send.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

enum TCommandId : int {
  CM_NONE = 0,
  // "&File"
  CM_FILE_OPEN = 100,
  CM_FILE_SAVE = 101,
  CM_FILE_SAVE_AS = 102,
  CM_FILE_LOAD_PROJECT = 103,
  CM_FILE_SAVE_PROJECT = 104,
  CM_FILE_SAVE_PROJECT_AS = 105,
  CM_LOAD_MAP = 106,
  CM_RESCAN = 107,
  CM_PREFERENCES = 108,
  CM_EXIT = 109,
  CM_LOAD_DEF = 110,
  CM_SAVE_ENLARGED = 117,
  // "&View"
  CM_VIEW_32 = 111,
  CM_VIEW_16 = 112,
  CM_VIEW_HEX = 113,
  CM_AUTO_STRINGS = 114,
  CM_FILE_OFFSETS = 115,
  CM_PROGRAM_OFFSETS = 116,
  CM_MARK_RELOCATIONS = 118,
  // The bar's own items and the tool bar's entry-point button.
  CM_GOTO = 120,
  CM_GOTO_ENTRY = 121,
  CM_SEARCH = 125,
  // "&Tracing"
  CM_FIXED_REGS = 126,
  CM_FIXED_REGS_FROM_PROJECT = 127,  // no item: sent when a project shows fixed registers
  CM_TRACE_STEP = 140,
  CM_TRACE_CONTINUOUS = 141,
  CM_SHOW_EIP = 142,
  CM_RESET_TRACER = 143,
  CM_SETUP_ENTRY = 144,
  CM_TLS_CALLBACK_1 = 145,
  CM_TLS_CALLBACK_2 = 146,
  CM_TLS_CALLBACK_3 = 147,
  CM_TLS_CALLBACK_4 = 148,
  CM_TLS_MORE = 149,
  CM_CLEAR_BREAKPOINTS = 150,
  CM_VISUALIZE = 151,
  // Items that come and go with the file and the undo record.
  CM_IMAGE_PROPERTIES = 130,
  CM_SHOW_EXPORTS = 155,
  CM_SHOW_IMPORTS = 156,
  CM_SHOW_MENUS = 161,
  CM_SHOW_STRINGS = 162,
  CM_UNDO = 185,
  CM_REDO = 186,
  CM_ABOUT = 190,
  // The listing's pop-up menus.
  CM_SEARCH_VALUE = 138,
  CM_SEARCH_REF_VALUE = 139,
  CM_NAME = 191,
  CM_GOTO_CODE = 192,
  CM_GOTO_DATA = 193,
  CM_CODE_DUMP = 194,
  CM_DATA_DUMP = 195,
  CM_SEARCH_ADDRESS_REF = 196,
  CM_GOTO_FILE_OFFSET = 197,
  CM_GOTO_RVA = 198,
  CM_GOTO_MEMORY = 199,
  CM_TOGGLE_BREAKPOINT = 19001,
  CM_CODE_DUMP_RVA = 19002,
  CM_CODE_DUMP_MEMORY = 19003,
  CM_DATA_DUMP_RVA = 19004,
  CM_DATA_DUMP_MEMORY = 19005,
  CM_REMOVE_RELOCATION = 19006,
  CM_GOTO_RELOCATION = 19007,
};

// Where an item can stand.
enum class TPlace : uint8_t {
  None,
  MenuBar,       // an item of the bar itself, or one of its menus
  MenuBarRight,  // the bar's right edge
  FileMenu,
  ViewMenu,
  AssembleMenu,  // in "&View"
  TracingMenu,
  TlsMenu,        // "Setup tracer for TLS callback", in "&Tracing"
  ResourcesMenu,  // on the bar while the file has menu or string resources
  ToolBar,
  AddressPopup,  // right click on a code line's address
  BytePopup,     // right click on a byte
  HotspotPopup,  // right click on a reference
};

// Facts about the open document that decide whether an item is there or enabled.
enum class TWhen : uint8_t {
  Always,
  Never,
  PeFile,
  Exports,
  Imports,
  MenuResources,
  StringResources,
  UndoAvailable,
  RedoAvailable,
  Relocations,  // the image has base relocations
  TlsCallback,  // the file has the callback the item stands for (see buildTlsMenu)
};

// The facts that hold now.
class TConditions {
 public:
  TConditions& set(TWhen fact, bool holds = true);
  bool holds(TWhen fact) const;

 private:
  uint32_t bits_ = 0;
};

// One place a command (or a sub-menu) stands in.
struct TCommandSlot {
  TPlace place = TPlace::None;
  uint8_t position = 0;            // order within the place, from 1
  TWhen shown = TWhen::Always;     // there only while this holds
  TWhen separator = TWhen::Never;  // a separator stands before it while this holds
  const char* text = nullptr;      // this place's own text, when it differs

  constexpr TCommandSlot afterSeparator(TWhen fact = TWhen::Always) const {
    TCommandSlot s = *this;
    s.separator = fact;
    return s;
  }
  constexpr TCommandSlot shownWhen(TWhen fact) const {
    TCommandSlot s = *this;
    s.shown = fact;
    return s;
  }
  constexpr TCommandSlot titled(const char* own) const {
    TCommandSlot s = *this;
    s.text = own;
    return s;
  }
};

constexpr TCommandSlot at(TPlace place, uint8_t position) { return {place, position}; }

enum TCommandFlag : uint8_t {
  CF_CHECKABLE = 1,        // shows a mode as checked
  CF_WAITS_FOR_TRACE = 2,  // ignored while a continuous trace runs
};

struct TCommand {
  int id;
  const char* text;  // "&" before the mnemonic, "\t" before the key shown; nullptr: none
  const char* hint;  // status-bar text while highlighted; nullptr: none
  std::array<TCommandSlot, 3> places;
  const char* shortcut = nullptr;  // key the frame runs it by, before any window sees it
  uint8_t flags = 0;
  TWhen enabled = TWhen::Always;

  const TCommandSlot* slotIn(TPlace place) const;
  // The text the item shows in a place.
  const char* textIn(TPlace place) const;
  // An item of the menu bar that is there only while the loaded file has
  // some feature (the file's tool windows).
  bool comesWithFile() const;
};

// The bar, its right edge, or one of its menus.
bool inMenuBar(TPlace place);

// A menu of the bar or a sub-menu, and where it stands in its parent.
struct TSubmenu {
  TPlace menu;
  const char* text;
  TCommandSlot slot;
};

std::span<const TCommand> commandTable();
std::span<const TSubmenu> submenuTable();
// nullptr for an unknown id.
const TCommand* findCommand(int id);
const TSubmenu* findSubmenu(TPlace menu);

// One entry of a laid-out menu, tool bar or pop-up.
struct TLayoutItem {
  enum Kind : uint8_t { Command, Submenu, Separator } kind = Separator;
  int id = CM_NONE;               // Command
  TPlace submenu = TPlace::None;  // Submenu
  const char* text = nullptr;     // Command and Submenu
  friend bool operator==(const TLayoutItem&, const TLayoutItem&) = default;
};
// The items of a place in order, with the facts that hold now. A sub-menu is
// there while it holds an item; a separator never leads.
std::vector<TLayoutItem> commandLayout(TPlace place, const TConditions& facts);

// The command a frame key runs: key names a key as "F8" or "G"; a shortcut
// written with "Ctrl+" needs control held, the others run whatever is held.
// CM_NONE when the key runs none.
int commandForKey(std::string_view key, bool control);
