// The main window's command identifiers with their menu texts and status-bar
// hints. The menu, the tool bar and the frame keys all send these numbers.
#pragma once

enum TCommandId : int {
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
  CM_VIEW_32 = 111,
  CM_VIEW_16 = 112,
  CM_VIEW_HEX = 113,
  CM_AUTO_STRINGS = 114,
  CM_FILE_OFFSETS = 115,
  CM_PROGRAM_OFFSETS = 116,
  CM_SAVE_ENLARGED = 117,
  CM_MARK_RELOCATIONS = 118,
  CM_GOTO = 120,
  CM_GOTO_ENTRY = 121,
  CM_SEARCH = 125,
  CM_FIXED_REGS = 126,
  CM_FIXED_REGS_FROM_PROJECT = 127,
  CM_IMAGE_PROPERTIES = 130,
  CM_TRACE_STEP = 140,
  CM_TRACE_CONTINUOUS = 141,
  CM_SHOW_EIP = 142,
  CM_RESET_TRACER = 143,
  CM_SETUP_ENTRY = 144,
  CM_TLS_1 = 145,
  CM_TLS_4 = 148,
  CM_TLS_MORE_ITEM = 149,
  CM_CLEAR_BREAKPOINTS = 150,
  CM_VISUALIZE = 151,
  CM_SHOW_EXPORTS = 155,
  CM_SHOW_IMPORTS = 156,
  CM_SHOW_MENUS = 161,
  CM_SHOW_STRINGS = 162,
  CM_UNDO = 185,
  CM_REDO = 186,
  CM_ABOUT = 190,
};

struct TCommandText {
  int id;
  const char* text;  // menu text with its "&" mnemonic; nullptr for tool-bar-only commands
  const char* hint;  // status-bar hint; nullptr when the item has none
};

// Every command of the menu bar and the tool bar; nullptr for an unknown id.
const TCommandText* commandText(int id);
