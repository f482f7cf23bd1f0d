#include "base/command_table.h"

#include <algorithm>
#include <string>

namespace {

using enum TPlace;
constexpr TWhen kPe = TWhen::PeFile;
constexpr uint8_t kModes = CF_CHECKABLE;

constexpr TCommand kCommands[] = {
    // "&File"
    {CM_FILE_OPEN, "&Open...", "Open a file to disassemble", {at(FileMenu, 1), at(ToolBar, 1)}},
    {CM_FILE_SAVE, "&Save", "Save changes to the file", {at(FileMenu, 2), at(ToolBar, 2)}},
    {CM_FILE_SAVE_AS, "Save &as...", "Save current file image to another file", {at(FileMenu, 3)}},
    {CM_SAVE_ENLARGED,
     "Save as section &enlarged file...",
     "Enlarges the file so that all sections have the raw space they need",
     {at(FileMenu, 4)}},
    {CM_FILE_LOAD_PROJECT,
     "&Load project...",
     "Load a project file containing scanned references, comments etc.",
     {at(FileMenu, 5).afterSeparator()}},
    {CM_FILE_SAVE_PROJECT,
     "Save pro&ject",
     "Save project changes to the project file",
     {at(FileMenu, 6)}},
    {CM_FILE_SAVE_PROJECT_AS,
     "Sa&ve project as...",
     "Save scanned references, comments etc. to another project file",
     {at(FileMenu, 7)}},
    {CM_LOAD_MAP,
     "Load &map file...",
     "Load symbols from mapfile",
     {at(FileMenu, 8).afterSeparator()}},
    {CM_LOAD_DEF, "Load &definition file...", "Load symbols from DEF-file", {at(FileMenu, 9)}},
    {CM_RESCAN, "&Rescan references", nullptr, {at(FileMenu, 10).afterSeparator()}},
    {CM_PREFERENCES,
     "&Preferences...",
     "Set preferences for OXU",
     {at(FileMenu, 11).afterSeparator()}},
    {CM_EXIT, "E&xit", "Run away and leave me alone ;(", {at(FileMenu, 12).afterSeparator()}},

    // "&View"; the tool bar shows 16-bit before 32-bit.
    {CM_VIEW_32,
     "&32-bit",
     "View file in 32-bit assembler mode",
     {at(AssembleMenu, 1), at(ToolBar, 4)},
     nullptr,
     kModes},
    {CM_VIEW_16,
     "&16-bit",
     "View file in 16-bit assembler mode",
     {at(AssembleMenu, 2), at(ToolBar, 3).afterSeparator()},
     nullptr,
     kModes},
    {CM_VIEW_HEX,
     "&Hex dump",
     "View file as a hex dump",
     {at(ViewMenu, 2), at(ToolBar, 5)},
     nullptr,
     kModes},
    {CM_FILE_OFFSETS,
     "Show &file offsets",
     "Show the offsets as offsets in file",
     {at(ViewMenu, 3).afterSeparator(), at(ToolBar, 6).afterSeparator()},
     nullptr,
     kModes},
    // Memory addresses exist for PE files only.
    {CM_PROGRAM_OFFSETS,
     "Show &programm offsets",
     "Show the offsets as offsets in programm memory",
     {at(ViewMenu, 4), at(ToolBar, 7)},
     nullptr,
     kModes,
     kPe},
    {CM_AUTO_STRINGS,
     "Auto &string search",
     "Automatically search for strings in the assembler code",
     {at(ViewMenu, 5).afterSeparator(), at(ToolBar, 8).afterSeparator()},
     nullptr,
     kModes},
    {CM_MARK_RELOCATIONS,
     "Mark based &relocations",
     "Mark the bytes which have a corresponding based relocation entry",
     {at(ViewMenu, 6), at(ToolBar, 9)},
     nullptr,
     kModes},

    // Command items of the bar itself, and the tool bar's entry-point button.
    {CM_GOTO, "&Goto", "Go to a address", {at(MenuBar, 3)}, "Ctrl+G"},
    {CM_SEARCH, "&Search", "Search for something in this file", {at(MenuBar, 4)}, "Ctrl+F"},
    {CM_GOTO_ENTRY, nullptr, "Go to programm entry point", {at(ToolBar, 10).afterSeparator()}},

    // "&Tracing"
    {CM_TRACE_STEP,
     "&Trace one step\tF8",
     "Virtually execute the currently highlighted command",
     {at(TracingMenu, 1)},
     "F8",
     CF_WAITS_FOR_TRACE},
    {CM_TRACE_CONTINUOUS,
     "&Continous trace\tF5",
     "Trace automatically until you or me say stop ;)",
     {at(TracingMenu, 2)},
     "F5",
     CF_WAITS_FOR_TRACE},
    // SPACE is the listing's own key.
    {CM_SHOW_EIP,
     "Show &next instruction\tSPACE",
     "Scrolls to EIP",
     {at(TracingMenu, 3)},
     nullptr,
     CF_WAITS_FOR_TRACE},
    {CM_RESET_TRACER,
     "&Reset tracer",
     "Resets the tracer to start with the first TLS callback if available or the entrypoint",
     {at(TracingMenu, 4).afterSeparator()},
     nullptr,
     CF_WAITS_FOR_TRACE},
    {CM_TLS_CALLBACK_1,
     "Callback 1",
     nullptr,
     {at(TlsMenu, 1)},
     nullptr,
     CF_WAITS_FOR_TRACE,
     TWhen::TlsCallback},
    {CM_TLS_CALLBACK_2,
     "Callback 2",
     nullptr,
     {at(TlsMenu, 2)},
     nullptr,
     CF_WAITS_FOR_TRACE,
     TWhen::TlsCallback},
    {CM_TLS_CALLBACK_3,
     "Callback 3",
     nullptr,
     {at(TlsMenu, 3)},
     nullptr,
     CF_WAITS_FOR_TRACE,
     TWhen::TlsCallback},
    {CM_TLS_CALLBACK_4,
     "Callback 4",
     nullptr,
     {at(TlsMenu, 4)},
     nullptr,
     CF_WAITS_FOR_TRACE,
     TWhen::TlsCallback},
    {CM_TLS_MORE,
     "More...",
     nullptr,
     {at(TlsMenu, 5)},
     nullptr,
     CF_WAITS_FOR_TRACE,
     TWhen::TlsCallback},
    {CM_SETUP_ENTRY,
     "Setup tracer for &entrypoint",
     "Initializes stack and registers and moves to the entrypoint",
     {at(TracingMenu, 6)},
     nullptr,
     CF_WAITS_FOR_TRACE},
    {CM_CLEAR_BREAKPOINTS,
     "Clear all &breakpoints",
     "Clears all breakpoints",
     {at(TracingMenu, 7)},
     nullptr,
     CF_WAITS_FOR_TRACE},
    {CM_FIXED_REGS,
     "&Fixed registers\tF11",
     "Replace registers dynamically by given values",
     {at(TracingMenu, 8).afterSeparator()},
     "F11"},
    {CM_VISUALIZE,
     "&Visualize traced code\tF12",
     "Show some kind of graphical representation of the traced code",
     {at(TracingMenu, 9)},
     "F12"},  // the picture is watched while a trace runs
    {CM_FIXED_REGS_FROM_PROJECT, nullptr, nullptr, {}},

    // Inserted after a load for what the file has, and while undo or redo can act.
    {CM_IMAGE_PROPERTIES,
     "Show image &properties",
     "Show the PE's image properties",
     {at(MenuBar, 6).shownWhen(kPe)}},
    {CM_SHOW_EXPORTS,
     "Show &exports",
     "Show the PE's exported functions",
     {at(MenuBar, 7).shownWhen(TWhen::Exports)}},
    {CM_SHOW_IMPORTS,
     "Show &imports",
     "Show the PE's imported functions",
     {at(MenuBar, 8).shownWhen(TWhen::Imports)}},
    {CM_SHOW_MENUS,
     "Show &menus",
     "Show ressource menu data",
     {at(ResourcesMenu, 1).shownWhen(TWhen::MenuResources)}},
    {CM_SHOW_STRINGS,
     "Show &strings",
     "Show ressource string data",
     {at(ResourcesMenu, 2).shownWhen(TWhen::StringResources)}},
    {CM_UNDO,
     "&Undo",
     "Undo last changes step by step",
     {at(MenuBar, 10).shownWhen(TWhen::UndoAvailable)},
     nullptr,
     CF_WAITS_FOR_TRACE},
    {CM_REDO,
     "Re&do",
     "Redo undoed changes step by step",
     {at(MenuBar, 11).shownWhen(TWhen::RedoAvailable)},
     nullptr,
     CF_WAITS_FOR_TRACE},
    {CM_ABOUT, "&About", "Have a look at information about this programm", {at(MenuBarRight, 1)}},

    // The listing's three pop-up menus; their items carry no hint.
    {CM_SEARCH_ADDRESS_REF,
     "Search for address reference",
     nullptr,
     {at(AddressPopup, 1), at(BytePopup, 1)}},
    {CM_SEARCH_VALUE, "Search for 32-bit value", nullptr, {at(BytePopup, 2)}},
    {CM_SEARCH_REF_VALUE, "Search for reference value", nullptr, {at(HotspotPopup, 1)}},
    {CM_GOTO_FILE_OFFSET, "Goto file offset", nullptr, {at(BytePopup, 3).afterSeparator()}},
    {CM_GOTO_RVA, "Goto RVA", nullptr, {at(BytePopup, 4).shownWhen(kPe)}},
    {CM_GOTO_MEMORY, "Goto memory address", nullptr, {at(BytePopup, 5).shownWhen(kPe)}},
    {CM_GOTO_CODE, "Goto code", nullptr, {at(HotspotPopup, 2).afterSeparator()}},
    {CM_GOTO_DATA, "Goto data", nullptr, {at(HotspotPopup, 3)}},
    {CM_CODE_DUMP,
     "Open code dump",
     nullptr,
     {at(AddressPopup, 2).afterSeparator(),
      at(BytePopup, 6).afterSeparator().titled("Open code dump here"),
      at(HotspotPopup, 4).afterSeparator()}},
    {CM_CODE_DUMP_RVA, "Open code dump at RVA", nullptr, {at(BytePopup, 7).shownWhen(kPe)}},
    {CM_CODE_DUMP_MEMORY,
     "Open code dump at memory address",
     nullptr,
     {at(BytePopup, 8).shownWhen(kPe)}},
    {CM_DATA_DUMP,
     "Open data dump",
     nullptr,
     {at(AddressPopup, 3), at(BytePopup, 9).afterSeparator(kPe).titled("Open data dump here"),
      at(HotspotPopup, 5)}},
    {CM_DATA_DUMP_RVA, "Open data dump at RVA", nullptr, {at(BytePopup, 10).shownWhen(kPe)}},
    {CM_DATA_DUMP_MEMORY,
     "Open data dump at memory address",
     nullptr,
     {at(BytePopup, 11).shownWhen(kPe)}},
    {CM_GOTO_RELOCATION,
     "Goto base relocation",
     nullptr,
     {at(BytePopup, 12).shownWhen(TWhen::Relocations).afterSeparator()}},
    {CM_REMOVE_RELOCATION,
     "Remove base relocation",
     nullptr,
     {at(BytePopup, 13).shownWhen(TWhen::Relocations)}},
    {CM_TOGGLE_BREAKPOINT, "Toggle breakpoint", nullptr, {at(AddressPopup, 4).afterSeparator()}},
    {CM_NAME,
     "Set comment/label name...",
     nullptr,
     {at(AddressPopup, 5), at(BytePopup, 14).afterSeparator(),
      at(HotspotPopup, 6).afterSeparator()}},
};

constexpr TSubmenu kSubmenus[] = {
    {FileMenu, "&File", at(MenuBar, 1)},
    {ViewMenu, "&View", at(MenuBar, 2)},
    {AssembleMenu, "&Assemble", at(ViewMenu, 1)},
    {TracingMenu, "&Tracing", at(MenuBar, 5)},
    {TlsMenu, "Setup tracer for TLS callback", at(TracingMenu, 5)},
    {ResourcesMenu, "&Resources", at(MenuBar, 9)},
};

constexpr bool isFileFeature(TWhen fact) {
  switch (fact) {
    case TWhen::PeFile:
    case TWhen::Exports:
    case TWhen::Imports:
    case TWhen::MenuResources:
    case TWhen::StringResources: return true;
    default: return false;
  }
}

}  // namespace

TConditions& TConditions::set(TWhen fact, bool holds) {
  const uint32_t bit = 1u << unsigned(fact);
  bits_ = holds ? bits_ | bit : bits_ & ~bit;
  return *this;
}

bool TConditions::holds(TWhen fact) const {
  if (fact == TWhen::Always) return true;
  if (fact == TWhen::Never) return false;
  return (bits_ >> unsigned(fact)) & 1u;
}

const TCommandSlot* TCommand::slotIn(TPlace place) const {
  for (const TCommandSlot& s : places)
    if (s.place == place && place != TPlace::None) return &s;
  return nullptr;
}

const char* TCommand::textIn(TPlace place) const {
  const TCommandSlot* s = slotIn(place);
  return s && s->text ? s->text : text;
}

bool TCommand::comesWithFile() const {
  for (const TCommandSlot& s : places)
    if (inMenuBar(s.place) && isFileFeature(s.shown)) return true;
  return false;
}

bool inMenuBar(TPlace place) { return place >= TPlace::MenuBar && place <= TPlace::ResourcesMenu; }

std::span<const TCommand> commandTable() { return kCommands; }
std::span<const TSubmenu> submenuTable() { return kSubmenus; }

const TCommand* findCommand(int id) {
  for (const TCommand& c : kCommands)
    if (c.id == id) return &c;
  return nullptr;
}

const TSubmenu* findSubmenu(TPlace menu) {
  for (const TSubmenu& m : kSubmenus)
    if (m.menu == menu) return &m;
  return nullptr;
}

std::vector<TLayoutItem> commandLayout(TPlace place, const TConditions& facts) {
  struct Entry {
    const TCommandSlot* slot;
    TLayoutItem item;
  };
  std::vector<Entry> entries;
  for (const TCommand& c : kCommands) {
    const TCommandSlot* s = c.slotIn(place);
    if (s && facts.holds(s->shown))
      entries.push_back({s, {TLayoutItem::Command, c.id, TPlace::None, c.textIn(place)}});
  }
  for (const TSubmenu& m : kSubmenus) {
    if (m.slot.place != place || !facts.holds(m.slot.shown)) continue;
    if (commandLayout(m.menu, facts).empty()) continue;
    entries.push_back({&m.slot, {TLayoutItem::Submenu, CM_NONE, m.menu, m.text}});
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.slot->position < b.slot->position;
  });
  std::vector<TLayoutItem> out;
  for (const Entry& e : entries) {
    if (!out.empty() && facts.holds(e.slot->separator)) out.push_back(TLayoutItem{});
    out.push_back(e.item);
  }
  return out;
}

int commandForKey(std::string_view key, bool control) {
  if (key.empty()) return CM_NONE;
  for (const TCommand& c : kCommands) {
    if (!c.shortcut) continue;
    const std::string_view s = c.shortcut;
    if (s == key || (control && s.starts_with("Ctrl+") && s.substr(5) == key)) return c.id;
  }
  return CM_NONE;
}
