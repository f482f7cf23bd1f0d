// What the command table's items show for the open document: which are
// there, enabled and checked, and the texts that follow the file.
#pragma once
#include <string>
#include <vector>

#include "base/command_table.h"

class TDocument;

// The facts about the document that the items follow.
TConditions commandConditions(const TDocument& doc);

struct TCommandState {
  bool shown = false;  // in at least one of its places now
  bool enabled = false;
  bool checked = false;  // checkable commands: the mode is on
  std::string text;      // the text of its menu place (the TLS items name their callbacks)
};
TCommandState commandState(const TDocument& doc, int id);

// The commands for the loaded file's tool windows that its menu bar offers, in table order.
std::vector<int> fileToolCommands(const TDocument& doc);
