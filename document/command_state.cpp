#include "document/command_state.h"

#include "document/document.h"

TConditions commandConditions(const TDocument& doc) {
  TConditions facts;
  if (!doc.isLoaded()) return facts;
  const TImageInfo& im = doc.image();
  facts.set(TWhen::PeFile, im.isPE() != 0)
      .set(TWhen::Exports, im.exportsPresent() != 0)
      .set(TWhen::Imports, im.importsPresent() != 0)
      .set(TWhen::MenuResources, im.menusPresent() != 0)
      .set(TWhen::StringResources, im.stringsPresent() != 0)
      .set(TWhen::UndoAvailable, doc.undoAvailable())
      .set(TWhen::RedoAvailable, doc.redoAvailable())
      .set(TWhen::Relocations, im.relocationTable() != nullptr);
  return facts;
}

namespace {

bool modeChecked(const TViewState& v, int id) {
  switch (id) {
    case CM_VIEW_32: return !v.hexDump && !v.bits16;
    case CM_VIEW_16: return !v.hexDump && v.bits16;
    case CM_VIEW_HEX: return v.hexDump;
    case CM_FILE_OFFSETS: return v.fileOffsets;
    case CM_PROGRAM_OFFSETS: return !v.fileOffsets;
    case CM_AUTO_STRINGS: return v.detectStrings;
    case CM_MARK_RELOCATIONS: return v.markRelocations;
    default: return false;
  }
}

}  // namespace

TCommandState commandState(const TDocument& doc, int id) {
  TCommandState state;
  const TCommand* c = findCommand(id);
  if (!c) return state;
  const TConditions facts = commandConditions(doc);
  for (const TCommandSlot& s : c->places)
    state.shown = state.shown || (s.place != TPlace::None && facts.holds(s.shown));
  state.text = c->text ? c->text : "";
  if (c->enabled == TWhen::TlsCallback) {
    // Without a file every callback item is grayed and keeps its plain text.
    if (doc.isLoaded()) {
      const TTlsMenu menu = buildTlsMenu(doc.image());
      const TMenuItemState& item = menu.items[size_t(id - CM_TLS_CALLBACK_1)];
      state.enabled = item.enabled;
      state.text = item.text;
    }
  } else {
    state.enabled = facts.holds(c->enabled);
  }
  if (c->flags & CF_CHECKABLE) state.checked = modeChecked(doc.view(), id);
  return state;
}

std::vector<int> fileToolCommands(const TDocument& doc) {
  std::vector<int> ids;
  for (const TCommand& c : commandTable())
    if (c.comesWithFile() && commandState(doc, c.id).shown) ids.push_back(c.id);
  return ids;
}
