// The user's preferences: the keys of the settings file, the values the
// program reads once at start-up, the version stamp with its greetings, and
// the model of the preferences dialog.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "persist/profile_file.h"

class Host;

// One key of the settings file with the value a missing key stands for.
struct TSettingKey {
  const char* section;
  const char* key;
  int32_t def;
};

// Keys read and written on demand by the windows and dialogs that own them.
inline constexpr TSettingKey kOpenFileOnStartup{"General", "OpenFileOnStartup", 1};
inline constexpr TSettingKey kKeepUndoAfterSave{"General", "KeepUndoAfterSave", 1};
inline constexpr TSettingKey kShowCodeReferences{"General", "ShowCodeReferences", 1};
inline constexpr TSettingKey kScanMode{"General", "ScanMode", 0};  // 1: extreme coderef scan
inline constexpr TSettingKey kMarkBasedRelocations{"General", "MarkBasedRelocations", 0};
inline constexpr TSettingKey kVersion{"General", "Version", 0};
inline constexpr TSettingKey kSearchType{"Dialogs", "SearchType", 0};
inline constexpr TSettingKey kSearchDir{"Dialogs", "SearchDir", 0};
inline constexpr TSettingKey kSearchCase{"Dialogs", "SearchCase", 0};
inline constexpr TSettingKey kKeepOrigImport{"Dialogs", "KeepOrigImport", 1};
// "Autocheck included FixRegs" is read under one key and written under
// another; a stored file relies on both, so they stay apart.
inline constexpr TSettingKey kFixedRegsAutoModeRead{"FixedRegs", "Auto_mode", 0};
inline constexpr TSettingKey kFixedRegsAutoModeWritten{"FixedRegs", "AutoMode", 0};

int32_t readKey(const TProfileFile& profile, const TSettingKey& key);
// Writes the value as decimal text; false when the file could not be written.
bool writeKey(TProfileFile& profile, const TSettingKey& key, int32_t value);

// The values read once at start-up; the listing, the dump windows, the
// tracer and the save read them. Colours are 0x00BBGGRR.
struct TSettings {
  uint32_t memoryRef = 0xFF0000;
  uint32_t callRef = 0x85E047;
  uint32_t jumpRef = 0xCCDE49;
  uint32_t importRef = 0x69A0FC;
  uint32_t textRef = 0x0000FF;
  uint32_t background = 0xFFFFFF;
  uint32_t text = 0x000000;
  uint32_t cursor = 0x4040C0;
  uint32_t cursorHint = 0xC0C0FF;
  uint32_t hilight = 0xD5FFD5;
  uint32_t label = 0x0785F5;  // "User1"
  uint32_t user2 = 0xFFFFFF;
  uint32_t possibleRefText = 0xAFAF23;
  uint32_t possibleRefValue = 0x00B700;
  uint32_t endLines = 0xB70000;

  int32_t minStringLength = 4;
  int32_t fontSize = 15;
  int32_t dumpRows = 6;

  bool createBackups = true;
  bool startTracerAtTlsCallback = true;
  bool showEipOnLoad = true;
  bool cursorFollowView = false;
  bool markBasedRelocations = false;
  bool fixedRegsAutoMode = false;
};

// The main window's own copies, read when it is set up.
struct TMainWindowSettings {
  bool openFileOnStartup = true;
  bool showCodeReferences = true;
  bool extremeScan = false;  // ScanMode 1
};

// The colour swatches of the preferences dialog, in their order.
inline constexpr int kSwatchCount = 14;
const char* swatchKey(int swatch);    // key under "Colors"
const char* swatchLabel(int swatch);  // "Memory :", ...

// The start-up keys; a missing key or one that is not a number gives its
// default. Numbers the program cannot work with (below 1, or a font height
// or dump row count above 1000) give the default as well; other values out
// of the preferences dialog's ranges are used as they are.
TSettings readSettings(const TProfileFile& profile);
TMainWindowSettings readMainWindowSettings(const TProfileFile& profile);

// The version this program stamps into the settings file.
inline constexpr int32_t kVersionStamp = 2350;
// The address the greetings and the about box point to.
inline constexpr const char* kWebAddress = "https://oxu-dasm.example.org/";

// Greets a first run (no stamp) or an update (an older stamp), then writes
// the stamp.
void runVersionStamp(TProfileFile& profile, Host& host);

// Start-up: readSettings, then the version stamp.
TSettings loadSettings(TProfileFile& profile, Host& host);

// The listing font for a font size: "Fixedsys" at exactly 15 pixels,
// "Courier New" otherwise; normal weight, fixed pitch.
struct TListingFont {
  const char* face;
  int height;
  int weight;
};
TListingFont listingFontFor(int32_t fontSize);

// The colour chooser's custom colours, made once per run by the program and
// kept with the user's changes until it ends.
struct TCustomColors {
  std::array<uint32_t, 16> colors{0xFF0000, 0x00B700, 0xAFAF23, 0x69A0FC, 0x0000FF, 0xFFFFFF};
};

// What the main window does after the preferences were confirmed.
struct TPrefOutcome {
  bool accepted = false;  // false: a value was refused and the dialog stays open
  bool rebuildFont =
      false;  // the font size changed: make `font` the listing font, re-measure the cell
  TListingFont font{};
  bool repaint = false;  // repaint the listing (every OK: colours and reference lines may differ)
  bool rescan = false;   // the scan mode changed: restart the reference scan
  bool saved = false;    // the settings file was written
};

// The preferences dialog's values, from opening to OK. Works on copies; only
// confirm() changes anything outside it.
class TPrefModel {
 public:
  TPrefModel(const TSettings& settings, const TProfileFile& profile);

  // Edit fields 701, 702, 703.
  std::string minStringLength, fontSize, dumpRows;
  bool openFileOnStartup = true;
  bool keepUndoAfterSave = true;  // only written here; the save reads kKeepUndoAfterSave
  bool showCodeReferences = true;
  bool extremeScan = false;        // "Use extreme coderef scan"
  bool fixedRegsAutoMode = false;  // "Autocheck included FixRegs"
  bool startTracerAtTlsCallback = true;
  bool showEipOnLoad = true;
  bool cursorFollowView = false;
  std::array<uint32_t, kSwatchCount> colors{};

  // A click on a swatch: the colour chooser on its colour. True when the
  // user chose one (the swatch is repainted).
  bool chooseColor(int swatch, Host& host, TCustomColors& custom);

  // OK: validates the three numbers (the first refused one is reported with
  // "Invalid value" and nothing changes), then stores the values in
  // `settings` and `window`, writes them to the file and says what the
  // main window must do.
  TPrefOutcome confirm(TSettings& settings, TMainWindowSettings& window, TProfileFile& profile,
                       Host& host) const;

  // The writes of a confirmed dialog, in their order.
  std::vector<TProfileWrite> writes() const;
};

// An edit field's number: optional sign and decimal digits between blanks,
// within 32 bits; nullopt otherwise (refused like a value out of range).
std::optional<int32_t> parseFieldNumber(std::string_view text);
