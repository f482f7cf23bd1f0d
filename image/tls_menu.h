// Contents of the "Setup tracer for TLS callback" submenu for a parsed image.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "base/command_table.h"

class TImageInfo;

struct TMenuItemState {
  int id;
  std::string text;
  bool enabled;
};

struct TTlsMenu {
  bool enabled;                         // the whole pop-up; grayed when the file has no callbacks
  std::array<TMenuItemState, 5> items;  // CM_TLS_CALLBACK_1..4, then CM_TLS_MORE
};

TTlsMenu buildTlsMenu(const TImageInfo& image);

// What "More..." says.
constexpr const char* kTlsMoreText =
    "To get to the next TLS callback manually\nyou can execute RET instructions...";
constexpr const char* kTlsMoreCaption = "Not implemented yet!";
