// The listing's three context menus (on an address, on a byte, on a
// reference) with their items and enabled states, and the name command's
// change of the name store. What a byte's menu offers depends on the open
// document: the dword stored there, the image kind and its relocations.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/command_table.h"

class TDocument;

// Context-menu items: id 0 is a separator.
struct TMenuItem {
  std::string text;
  int id = 0;
  bool enabled = true;
  friend bool operator==(const TMenuItem&, const TMenuItem&) = default;
};
std::vector<TMenuItem> addressMenu();
// Empty when fewer than four bytes remain from offset.
std::vector<TMenuItem> byteMenu(const TDocument& doc, uint32_t offset);
std::vector<TMenuItem> hotspotMenu();

// The key under which a name is kept for a file offset (its address as a
// memory address would show it).
uint32_t nameKey(const TDocument& doc, uint32_t offset);
// Stores the name the dialog returned; oldText: the name it showed, empty
// for a new one. Returns true when the store changed (project changed).
bool applyName(TDocument& doc, uint32_t key, const std::string& oldText, const std::string& text);
