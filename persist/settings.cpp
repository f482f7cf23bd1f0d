#include "persist/settings.h"

#include <string>

#include "base/host.h"

namespace {

struct TColorKey {
  const char* key;
  uint32_t TSettings::*member;
  const char* label;
};

// The swatch order first; "User2" is read but has no swatch.
constexpr TColorKey kColorKeys[] = {
    {"Memory_ref", &TSettings::memoryRef, "Memory :"},
    {"Call_ref", &TSettings::callRef, "Call :"},
    {"Jump_ref", &TSettings::jumpRef, "Jump :"},
    {"Import_ref", &TSettings::importRef, "Import :"},
    {"Text_ref", &TSettings::textRef, "Text :"},
    {"Background", &TSettings::background, "Background color:"},
    {"Text", &TSettings::text, "Text color:"},
    {"Cursor", &TSettings::cursor, "Cursor color:"},
    {"Cursor_hint", &TSettings::cursorHint, "Cursor hint color:"},
    {"Hilight", &TSettings::hilight, "Hilight color:"},
    {"User1", &TSettings::label, "Label color:"},
    {"PRefT_ref", &TSettings::possibleRefText, "Possible Ref Text:"},
    {"PRef_ref", &TSettings::possibleRefValue, "Possible Ref Value:"},
    {"Endlines", &TSettings::endLines, "End line:"},
    {"User2", &TSettings::user2, nullptr},
};
static_assert(sizeof kColorKeys / sizeof kColorKeys[0] == kSwatchCount + 1);

constexpr const char* kColors = "Colors";
constexpr const char* kGeneral = "General";

constexpr TSettingKey kMinStringLength{kGeneral, "Min_string_length", 4};
constexpr TSettingKey kFontSize{kGeneral, "Font_size", 15};
constexpr TSettingKey kDumpRows{kGeneral, "Dump_rows", 6};
constexpr TSettingKey kCreateBackups{kGeneral, "Create_backups", 1};
constexpr TSettingKey kStartTracerAtTls{kGeneral, "Start_tracer_at_TLS_callback", 1};
constexpr TSettingKey kShowEipOnLoad{kGeneral, "Show_EIP_on_load", 1};
constexpr TSettingKey kCursorFollowView{kGeneral, "Cursor_follow_view", 0};

constexpr int32_t kLargestUsableCount = 1000;

std::string greeting(const char* opening) {
  return std::string(opening) + "\n\nPlease visit " + kWebAddress +
         "\nand leave a message in our guest book, we would be glad to hear from you!" +
         "\n\nThanks ;D";
}

TProfileWrite keyWrite(const TSettingKey& key, int32_t value) {
  return {key.section, key.key, std::to_string(value)};
}

}  // namespace

const char* swatchKey(int swatch) {
  return swatch >= 0 && swatch < kSwatchCount ? kColorKeys[swatch].key : "";
}

const char* swatchLabel(int swatch) {
  return swatch >= 0 && swatch < kSwatchCount ? kColorKeys[swatch].label : "";
}

int32_t readKey(const TProfileFile& profile, const TSettingKey& key) {
  return profile.readInt(key.section, key.key, key.def);
}

bool writeKey(TProfileFile& profile, const TSettingKey& key, int32_t value) {
  return profile.writeInt(key.section, key.key, value);
}

TSettings readSettings(const TProfileFile& profile) {
  const TProfileText file = profile.snapshot();
  const auto read = [&](const TSettingKey& key) {
    return file.getInt(key.section, key.key, key.def);
  };
  const auto count = [&](const TSettingKey& key, int32_t upper) {
    const int32_t v = read(key);
    return v < 1 || v > upper ? key.def : v;
  };
  TSettings s;
  for (const TColorKey& c : kColorKeys) {
    const int32_t def = static_cast<int32_t>(s.*c.member);
    // Only the colour word's 24 bits mean anything.
    s.*c.member = static_cast<uint32_t>(file.getInt(kColors, c.key, def)) & 0xFFFFFFu;
  }
  s.minStringLength = count(kMinStringLength, INT32_MAX);
  s.fontSize = count(kFontSize, kLargestUsableCount);
  s.dumpRows = count(kDumpRows, kLargestUsableCount);
  s.createBackups = read(kCreateBackups) != 0;
  s.startTracerAtTlsCallback = read(kStartTracerAtTls) != 0;
  s.showEipOnLoad = read(kShowEipOnLoad) != 0;
  s.cursorFollowView = read(kCursorFollowView) != 0;
  s.markBasedRelocations = read(kMarkBasedRelocations) != 0;
  s.fixedRegsAutoMode = read(kFixedRegsAutoModeRead) != 0;
  return s;
}

TMainWindowSettings readMainWindowSettings(const TProfileFile& profile) {
  const TProfileText file = profile.snapshot();
  const auto on = [&](const TSettingKey& key) {
    return file.getInt(key.section, key.key, key.def) != 0;
  };
  return {on(kOpenFileOnStartup), on(kShowCodeReferences), on(kScanMode)};
}

void runVersionStamp(TProfileFile& profile, Host& host) {
  const int32_t stored = readKey(profile, kVersion);
  if (stored == 0)
    host.message(greeting("Thank you for having downloaded OXU-Dasm ;D"), "Welcome to OXU-Dasm ;D",
                 MsgIcon::Information);
  else if (stored < kVersionStamp)
    host.message(greeting("Thank you for having updated OXU-Dasm ;D"),
                 "Welcome to a new version of OXU-Dasm ;D", MsgIcon::Information);
  writeKey(profile, kVersion, kVersionStamp);
}

TSettings loadSettings(TProfileFile& profile, Host& host) {
  TSettings s = readSettings(profile);
  runVersionStamp(profile, host);
  return s;
}

TListingFont listingFontFor(int32_t fontSize) {
  return {fontSize == 15 ? "Fixedsys" : "Courier New", fontSize, 400};
}

std::optional<int32_t> parseFieldNumber(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > int64_t(INT32_MAX) + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

// ---- the preferences dialog -----------------------------------------------------

TPrefModel::TPrefModel(const TSettings& settings, const TProfileFile& profile)
    : minStringLength(std::to_string(settings.minStringLength)),
      fontSize(std::to_string(settings.fontSize)),
      dumpRows(std::to_string(settings.dumpRows)) {
  const TMainWindowSettings file = readMainWindowSettings(profile);
  openFileOnStartup = file.openFileOnStartup;
  keepUndoAfterSave = readKey(profile, kKeepUndoAfterSave) != 0;
  showCodeReferences = file.showCodeReferences;
  extremeScan = file.extremeScan;
  fixedRegsAutoMode = settings.fixedRegsAutoMode;
  startTracerAtTlsCallback = settings.startTracerAtTlsCallback;
  showEipOnLoad = settings.showEipOnLoad;
  cursorFollowView = settings.cursorFollowView;
  for (int i = 0; i < kSwatchCount; ++i) colors[i] = settings.*kColorKeys[i].member;
}

bool TPrefModel::chooseColor(int swatch, Host& host, TCustomColors& custom) {
  if (swatch < 0 || swatch >= kSwatchCount) return false;
  const auto chosen = host.chooseColor(colors[swatch], custom.colors);
  if (!chosen) return false;
  colors[swatch] = *chosen & 0xFFFFFFu;
  return true;
}

std::vector<TProfileWrite> TPrefModel::writes() const {
  std::vector<TProfileWrite> w;
  for (int i = 0; i < kSwatchCount; ++i)
    w.push_back({kColors, kColorKeys[i].key, std::to_string(colors[i] & 0xFFFFFFu)});
  w.push_back(keyWrite(kMinStringLength, parseFieldNumber(minStringLength).value_or(0)));
  w.push_back(keyWrite(kFontSize, parseFieldNumber(fontSize).value_or(0)));
  w.push_back(keyWrite(kDumpRows, parseFieldNumber(dumpRows).value_or(0)));
  w.push_back(keyWrite(kOpenFileOnStartup, openFileOnStartup));
  w.push_back(keyWrite(kKeepUndoAfterSave, keepUndoAfterSave));
  w.push_back(keyWrite(kShowCodeReferences, showCodeReferences));
  w.push_back(keyWrite(kScanMode, extremeScan));
  w.push_back(keyWrite(kFixedRegsAutoModeWritten, fixedRegsAutoMode));
  w.push_back(keyWrite(kStartTracerAtTls, startTracerAtTlsCallback));
  w.push_back(keyWrite(kShowEipOnLoad, showEipOnLoad));
  w.push_back(keyWrite(kCursorFollowView, cursorFollowView));
  return w;
}

TPrefOutcome TPrefModel::confirm(TSettings& settings, TMainWindowSettings& window,
                                 TProfileFile& profile, Host& host) const {
  TPrefOutcome out;
  const auto minLength = parseFieldNumber(minStringLength);
  const auto height = parseFieldNumber(fontSize);
  const auto rows = parseFieldNumber(dumpRows);
  const char* refusal = nullptr;
  if (!minLength || *minLength < 2)
    refusal =
        "The minimum of characters that will be needed\nto be noticed as strings has to be greater than 1!";
  else if (!height || *height < 6 || *height > 18)
    refusal = "The font size (height) has to be between 6 and 18 pixel!";
  else if (!rows || *rows < 3 || *rows > 30)
    refusal = "The number of dump window rows has to be between 3 and 30 rows!";
  if (refusal) {
    host.message(refusal, "Invalid value", MsgIcon::Warning);
    return out;
  }

  out.accepted = true;
  out.rebuildFont = *height != settings.fontSize;
  out.font = listingFontFor(*height);
  for (int i = 0; i < kSwatchCount; ++i) settings.*kColorKeys[i].member = colors[i] & 0xFFFFFFu;
  settings.minStringLength = *minLength;
  settings.fontSize = *height;
  settings.dumpRows = *rows;
  settings.fixedRegsAutoMode = fixedRegsAutoMode;
  settings.startTracerAtTlsCallback = startTracerAtTlsCallback;
  settings.showEipOnLoad = showEipOnLoad;
  settings.cursorFollowView = cursorFollowView;

  out.saved = profile.writeAll(writes());
  // The preferences hold for this run either way; say that they will not
  // come back at the next start.
  if (!out.saved)
    host.message("Unable to write the settings file:\n" + profile.path(), "File error",
                 MsgIcon::Warning);

  // Colours may have changed as well as the code reference lines, so the
  // listing is repainted after every OK.
  out.repaint = true;
  window.openFileOnStartup = openFileOnStartup;
  window.showCodeReferences = showCodeReferences;
  if (window.extremeScan != extremeScan) {
    window.extremeScan = extremeScan;
    out.rescan = true;
  }
  return out;
}
