// The listing's navigation and view commands as operations on the document:
// which history entry a move records, where the move leads and what the
// listing shows afterwards. The frame's menus and the listing's clicks and
// pop-up menus call them with what was clicked.
#pragma once
#include <cstdint>

#include "analysis/return_manager.h"
#include "image/user_address.h"

class TDocument;

// "&32-bit", "&16-bit", "&Hex dump", "Show &file offsets", "Show &programm
// offsets" (PE files only), "Auto &string search", "Mark based &relocations".
void CmViewMode(TDocument& doc, int id);

// The tool bar's entry-point button: the file's entry, in 16-bit mode of a PE
// file its DOS part's. A GOTO entry is recorded unless the newest one already
// holds the entry.
void CmGotoEntryPoint(TDocument& doc);

// The history kind a followed reference records: CALL for call targets,
// JUMP for jump targets and possible references, GOTO for anything else.
ReturnKind followedReturnKind(uint16_t hotspotType);

// A click on a code reference: its CALL or JUMP entry, then the move. Other
// types are reported and nothing moves; false then.
bool followReference(TDocument& doc, uint16_t type, uint32_t source, uint32_t target);
// "Goto code" and "Goto data" on a reference (the latter shows the hex dump).
void CmGotoCode(TDocument& doc, uint16_t type, uint32_t source, uint32_t target);
void CmGotoData(TDocument& doc, uint16_t type, uint32_t source, uint32_t target);

// Moves to an address the user gave (the goto dialog, the dword commands):
// a GOTO entry with source, then the move. An address outside the file is
// refused with its message and records nothing; false then.
bool gotoUserAddress(TDocument& doc, uint32_t value, UserAddressKind kind,
                     uint32_t source = TReturnManager::CURRENT_POSITION);
// "Goto file offset", "Goto RVA", "Goto memory address": the dword stored at `at`.
bool CmGotoFileOffset(TDocument& doc, uint32_t at, uint32_t source, UserAddressKind kind);
// Where "Open code/data dump at RVA" / "at memory address" opens: the dword
// stored at `at` converted, or NOT_IN_FILE after the message.
uint32_t dumpTargetThroughDword(TDocument& doc, uint32_t at, UserAddressKind kind);

// "Goto base relocation": to the relocation entry that covers the dword at
// `at` (its word inside the block). "Remove base relocation": that entry
// becomes an absolute one. False when no entry covers it.
bool CmGotoRelocation(TDocument& doc, uint32_t at, uint32_t source);
bool CmRemoveRelocation(TDocument& doc, uint32_t at);

// The name collision dialog's "Show &address": a name's address as a file
// offset (NOT_IN_FILE when it is in no loaded file), and the move there.
uint32_t namedAddressOffset(const TDocument& doc, uint32_t address);
void showNamedAddress(TDocument& doc, uint32_t address);
