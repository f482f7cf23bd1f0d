// The command table: every menu, the tool bar and the pop-ups laid out in
// their order for the facts that hold, the frame keys, and what the items
// show for loaded files (checked modes, callbacks, the file's tool windows).
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/command_table.h"
#include "document/command_state.h"
#include "document/view_commands.h"
#include "support/fixtures.h"
#include "support/opened_document.h"

namespace {

// A layout as text: command ids, "[menu]" for a sub-menu, "|" for a separator.
std::string layoutText(TPlace place, const TConditions& facts) {
  std::string out;
  for (const TLayoutItem& item : commandLayout(place, facts)) {
    if (!out.empty()) out += ' ';
    if (item.kind == TLayoutItem::Separator)
      out += '|';
    else if (item.kind == TLayoutItem::Submenu)
      out += std::string("[") + item.text + "]";
    else
      out += std::to_string(item.id);
  }
  return out;
}

TConditions facts(std::initializer_list<TWhen> hold) {
  TConditions c;
  for (TWhen w : hold) c.set(w);
  return c;
}

TEST(CommandTable, EveryPlaceInItsOrder) {
  const TConditions none;
  const TConditions all = facts({TWhen::PeFile, TWhen::Exports, TWhen::Imports,
                                 TWhen::MenuResources, TWhen::StringResources, TWhen::UndoAvailable,
                                 TWhen::RedoAvailable, TWhen::Relocations});
  struct Case {
    TPlace place;
    TConditions facts;
    const char* layout;
  } cases[] = {
      {TPlace::MenuBar, all, "[&File] [&View] 120 125 [&Tracing] 130 155 156 [&Resources] 185 186"},
      {TPlace::MenuBar, facts({TWhen::StringResources, TWhen::RedoAvailable}),
       "[&File] [&View] 120 125 [&Tracing] [&Resources] 186"},
      {TPlace::ResourcesMenu, facts({TWhen::StringResources}), "162"},
      {TPlace::MenuBarRight, none, "190"},
      {TPlace::FileMenu, none, "100 101 102 117 | 103 104 105 | 106 110 | 107 | 108 | 109"},
      {TPlace::ViewMenu, none, "[&Assemble] 113 | 115 116 | 114 118"},
      {TPlace::AssembleMenu, none, "111 112"},
      {TPlace::TracingMenu, none,
       "140 141 142 | 143 [Setup tracer for TLS callback] 144 150 | 126 151"},
      {TPlace::TlsMenu, none, "145 146 147 148 149"},
      {TPlace::ToolBar, none, "100 101 | 112 111 113 | 115 116 | 114 118 | 121"},
      {TPlace::AddressPopup, all, "196 | 194 195 | 19001 191"},
      {TPlace::BytePopup, none, "196 138 | 197 | 194 195 | 191"},
      {TPlace::BytePopup, facts({TWhen::PeFile}),
       "196 138 | 197 198 199 | 194 19002 19003 | 195 19004 19005 | 191"},
      {TPlace::BytePopup, facts({TWhen::Relocations}),
       "196 138 | 197 | 194 195 | 19007 19006 | 191"},
      {TPlace::HotspotPopup, none, "139 | 192 193 | 194 195 | 191"},
  };
  for (const Case& c : cases) EXPECT_EQ(layoutText(c.place, c.facts), c.layout);
  // The byte menu names its dumps by where they open.
  EXPECT_STREQ(findCommand(CM_CODE_DUMP)->textIn(TPlace::BytePopup), "Open code dump here");
  EXPECT_STREQ(findCommand(CM_DATA_DUMP)->textIn(TPlace::HotspotPopup), "Open data dump");
}

TEST(CommandTable, FrameKeys) {
  struct Case {
    const char* key;
    bool control;
    int id;
  } cases[] = {
      {"F5", false, CM_TRACE_CONTINUOUS},
      {"F8", true, CM_TRACE_STEP},
      {"F11", false, CM_FIXED_REGS},
      {"F12", false, CM_VISUALIZE},
      {"F", true, CM_SEARCH},
      {"G", true, CM_GOTO},
      {"G", false, CM_NONE},
      {"Space", false, CM_NONE},
      {"", true, CM_NONE},
  };
  for (const Case& c : cases)
    EXPECT_EQ(commandForKey(c.key, c.control), c.id) << c.key << c.control;
}

TEST(CommandTable, ViewModesAreCheckedAsTheyAreSet) {
  // The checked mode items after each command, from a PE file's first view.
  struct Step {
    int id;
    std::set<int> checked;
  } steps[] = {
      {CM_VIEW_HEX, {113, 116, 114}},     {CM_VIEW_16, {112, 116, 114}},
      {CM_FILE_OFFSETS, {112, 115, 114}}, {CM_PROGRAM_OFFSETS, {112, 116, 114}},
      {CM_AUTO_STRINGS, {112, 116}},      {CM_MARK_RELOCATIONS, {112, 116, 118}},
      {CM_VIEW_32, {111, 116, 118}},
  };
  auto checked = [](const TDocument& doc) {
    std::set<int> ids;
    for (const TCommand& c : commandTable())
      if (commandState(doc, c.id).checked) ids.insert(c.id);
    return ids;
  };
  TOpenedDocument pe(fixturePath("gui.exe"));
  EXPECT_EQ(checked(pe.doc), (std::set<int>{111, 116, 114}));
  for (const Step& s : steps) {
    CmViewMode(pe.doc, s.id);
    EXPECT_EQ(checked(pe.doc), s.checked) << s.id;
  }
  // A DOS program has no memory addresses to show.
  TOpenedDocument dos(fixturePath("dos.exe"));
  CmViewMode(dos.doc, CM_PROGRAM_OFFSETS);
  EXPECT_EQ(checked(dos.doc), (std::set<int>{112, 115, 114}));
}

}  // namespace
