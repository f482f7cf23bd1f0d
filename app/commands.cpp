#include "app/commands.h"

namespace {

constexpr TCommandText kCommands[] = {
    {100, "&Open...", "Open a file to disassemble"},
    {101, "&Save", "Save changes to the file"},
    {102, "Save &as...", "Save current file image to another file"},
    {117, "Save as section &enlarged file...",
     "Enlarges the file so that all sections have the raw space they need"},
    {103, "&Load project...", "Load a project file containing scanned references, comments etc."},
    {104, "Save pro&ject", "Save project changes to the project file"},
    {105, "Sa&ve project as...", "Save scanned references, comments etc. to another project file"},
    {106, "Load &map file...", "Load symbols from mapfile"},
    {110, "Load &definition file...", "Load symbols from DEF-file"},
    {107, "&Rescan references", nullptr},
    {108, "&Preferences...", "Set preferences for OXU"},
    {109, "E&xit", "Run away and leave me alone ;("},
    {111, "&32-bit", "View file in 32-bit assembler mode"},
    {112, "&16-bit", "View file in 16-bit assembler mode"},
    {113, "&Hex dump", "View file as a hex dump"},
    {115, "Show &file offsets", "Show the offsets as offsets in file"},
    {116, "Show &programm offsets", "Show the offsets as offsets in programm memory"},
    {114, "Auto &string search", "Automatically search for strings in the assembler code"},
    {118, "Mark based &relocations",
     "Mark the bytes which have a corresponding based relocation entry"},
    {120, "&Goto", "Go to a address"},
    {121, nullptr, "Go to programm entry point"},
    {125, "&Search", "Search for something in this file"},
    {140, "&Trace one step\tF8", "Virtually execute the currently highlighted command"},
    {141, "&Continous trace\tF5", "Trace automatically until you or me say stop ;)"},
    {142, "Show &next instruction\tSPACE", "Scrolls to EIP"},
    {143, "&Reset tracer",
     "Resets the tracer to start with the first TLS callback if available or the entrypoint"},
    {144, "Setup tracer for &entrypoint",
     "Initializes stack and registers and moves to the entrypoint"},
    {150, "Clear all &breakpoints", "Clears all breakpoints"},
    {126, "&Fixed registers\tF11", "Replace registers dynamically by given values"},
    {151, "&Visualize traced code\tF12",
     "Show some kind of graphical representation of the traced code"},
    {130, "Show image &properties", "Show the PE's image properties"},
    {155, "Show &exports", "Show the PE's exported functions"},
    {156, "Show &imports", "Show the PE's imported functions"},
    {161, "Show &menus", "Show ressource menu data"},
    {162, "Show &strings", "Show ressource string data"},
    {185, "&Undo", "Undo last changes step by step"},
    {186, "Re&do", "Redo undoed changes step by step"},
    {190, "&About", "Have a look at information about this programm"},
};

}  // namespace

const TCommandText* commandText(int id) {
  for (const auto& c : kCommands)
    if (c.id == id) return &c;
  return nullptr;
}
