// Any bytes as a loaded file: the image properties model opened on it, every
// listed section shown, flags toggled and applied, then undone and redone.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/host.h"
#include "document/document.h"
#include "document/image_props.h"

namespace {

// The document loads files only: one scratch file per fuzzing process,
// removed when the process ends normally.
struct TScratchFile {
  std::string path = "/tmp/oxu_image_props_fuzz_" + std::to_string(static_cast<long>(::getpid())) +
                     ".bin";
  ~TScratchFile() { ::unlink(path.c_str()); }
};

const std::string& scratchPath() {
  static const TScratchFile file;
  return file.path;
}

bool writeScratch(const uint8_t* data, size_t size) {
  FILE* f = std::fopen(scratchPath().c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

std::vector<uint8_t> snapshot(const TDocument& doc) {
  return std::vector<uint8_t>(doc.buffer(), doc.buffer() + doc.fileSize());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!writeScratch(data, size)) return 0;
  SilentHost host;
  TDocument doc(host);
  doc.setPath(scratchPath());
  if (doc.LoadFile(true) != LOAD_OK) return 0;

  TImagePropsModel model(doc);
  model.open();
  const size_t count = model.sections().size();
  if (!model.headersValid() && count != 0) __builtin_trap();
  for (size_t i = 0; i < count && i < 64; ++i) {
    model.chooseSection(static_cast<int>(i));
    if (model.selection() != static_cast<int>(i)) __builtin_trap();
    if (model.sections()[i].headerOffset >= doc.fileSize()) __builtin_trap();

    const std::vector<uint8_t> before = snapshot(doc);
    const TImageFlagBox& box = kImageFlagBoxes[(i + (size ? data[i % size] : 0)) % 6];
    model.setChecked(box.control, !model.checked(box.control));
    const bool shown = model.sectionShown();
    const bool written = model.apply();
    if (written != shown) __builtin_trap();  // a flipped box on a shown section always writes
    if (written) {
      // The change came back through the listener: the new dword is shown.
      if (model.rememberedCharacteristics() != model.characteristicsFromBoxes()) __builtin_trap();
      for (int step = 0; step < 4; ++step) doc.undo();
      if (snapshot(doc) != before) __builtin_trap();
      for (int step = 0; step < 4; ++step) doc.redo();
      for (int step = 0; step < 4; ++step) doc.undo();
    }
    model.gotoSection();
  }
  model.refresh();
  model.close();
  return 0;
}
