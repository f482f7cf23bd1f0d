// Any bytes as a settings file: the text survives parsing unchanged, every
// key the program knows reads, and writes change only what they name.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/host.h"
#include "persist/profile_file.h"
#include "persist/settings.h"

namespace {

// Lines without their line breaks; a carriage return before a break (or at
// the very end) is part of the break.
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(pos, nl - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    pos = nl + 1;
  }
  return lines;
}

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

// One write: either one line changed in place, or lines added with all the
// old ones kept in order; the written value reads back.
void writeAndCheck(TProfileText& t, const std::string& section, const std::string& key,
                   const std::string& value,
                   const std::vector<std::pair<std::string, std::string>>& probes) {
  const std::string before = t.text();
  std::vector<std::optional<std::string>> probed;
  for (const auto& [s, k] : probes) probed.push_back(t.get(s, k));
  if (!t.set(section, key, value)) {
    check(t.text() == before, "a refused write changed the text");
    return;
  }
  const std::string after = t.text();
  check(TProfileText(after).text() == after, "written text does not read back");
  check(t.get(section, key) == value, "written value does not read back");
  const auto oldLines = linesOf(before), newLines = linesOf(after);
  if (newLines.size() == oldLines.size()) {
    size_t differ = 0;
    for (size_t i = 0; i < oldLines.size(); ++i) differ += oldLines[i] != newLines[i];
    check(differ <= 1, "more than one line changed in place");
  } else {
    check(newLines.size() > oldLines.size() && newLines.size() <= oldLines.size() + 3,
          "unexpected number of added lines");
    size_t j = 0;
    for (const std::string& line : oldLines) {
      while (j < newLines.size() && newLines[j] != line) ++j;
      check(j < newLines.size(), "an old line was lost");
      ++j;
    }
  }
  for (size_t i = 0; i < probes.size(); ++i) {
    const auto& [s, k] = probes[i];
    if (TProfileText("[" + s + "]\n" + k + "=1\n").get(section, key)) continue;  // the same key
    check(t.get(s, k) == probed[i], "another key's value changed");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TProfileText t(text);
  check(t.text() == text, "parsing changed the text");

  // Keys named by the input's own lines, plus the program's.
  std::vector<std::pair<std::string, std::string>> probes = {
      {"General", "Version"},     {"General", "Font_size"},  {"Colors", "Memory_ref"},
      {"FixedRegs", "Auto_mode"}, {"FixedRegs", "AutoMode"}, {"Dialogs", "SearchType"}};
  std::string section = "General";
  for (const std::string& line : linesOf(text)) {
    if (probes.size() > 40) break;
    const size_t eq = line.find('=');
    if (!line.empty() && line[0] == '[')
      section = line.substr(1, line.find(']') == std::string::npos ? std::string::npos
                                                                   : line.find(']') - 1);
    else if (eq != std::string::npos)
      probes.emplace_back(section, line.substr(0, eq));
  }
  for (const auto& [s, k] : probes) {
    t.get(s, k);
    t.getInt(s, k, 7);
  }

  writeAndCheck(t, "General", "Version", "2350", probes);
  writeAndCheck(t, "FixedRegs", "AutoMode", "1", probes);
  writeAndCheck(t, "Colors", "Memory_ref", "-16711680", probes);
  writeAndCheck(t, "Brand new", "Key", "0", probes);
  if (probes.size() > 6) writeAndCheck(t, probes[6].first, probes[6].second, "42", probes);
  if (probes.size() > 7) writeAndCheck(t, probes.back().first, probes.back().second, "", probes);

  // The same bytes as the file on disk: start-up and the preferences dialog.
  // Every write is flushed to the disk, so only a share of the inputs go
  // there, in memory-backed storage where there is some.
  static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/oxu-profile-fuzz-" + std::to_string(getpid()) + ".ini";
  if (size % 4 != 0) return 0;
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    TProfileFile profile(path);
    SilentHost host;
    TSettings settings = loadSettings(profile, host);
    check(profile.readInt("General", "Version", 0) == kVersionStamp, "stamp not written");
    TMainWindowSettings window = readMainWindowSettings(profile);
    TPrefModel model(settings, profile);
    model.confirm(settings, window, profile, host);
    model.fontSize = "12";
    model.dumpRows = "8";
    if (model.confirm(settings, window, profile, host).accepted)
      check(readSettings(profile).fontSize == 12, "preferences did not read back");
  }
  return 0;
}
