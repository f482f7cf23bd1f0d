// Random bytes as a project file, loaded into a document over a small
// fixture. Half of the inputs are taken as they are; the other half patch a
// real project of the fixture (byte changes and a cut), so that the deeper
// sections are reached too. Loads must end in one of their results without
// reading outside the file, and the stores must stay usable.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/host.h"
#include "base/le_read.h"
#include "document/document.h"
#include "document/project_commands.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

// The fixture beside this source in the tree.
std::string fixtureSource() {
  std::string here = __FILE__;
  const size_t cut = here.rfind("fuzz/");
  return (cut == std::string::npos ? std::string() : here.substr(0, cut)) +
         "tests/fixtures/bin/gui.exe";
}

// The fixture's bytes, in a file of this process's own.
std::string fixtureCopy() {
  static const std::string path = [] {
    std::vector<uint8_t> bytes;
    if (std::FILE* f = std::fopen(fixtureSource().c_str(), "rb")) {
      uint8_t chunk[4096];
      for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + n);
      std::fclose(f);
    }
    if (bytes.empty()) bytes.assign(512, 0x90);  // run without the source tree
    char templ[] = "/tmp/oxu-project-fuzz-XXXXXX";
    const int fd = ::mkstemp(templ);
    check(fd >= 0);
    check(::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()));
    ::close(fd);
    return std::string(templ);
  }();
  return path;
}

struct TFuzzDoc {
  SilentHost host;
  TDocument doc{host};
  TProjectState state;
  std::vector<uint8_t> project;  // a real project of the fixture

  TFuzzDoc() {
    doc.settings().noScan = true;
    doc.setPath(fixtureCopy());
    check(doc.LoadFile(true) == LOAD_OK);
    doc.workers().startReferenceScan();
    doc.workers().waitReferenceScan();
    doc.names().add(0x401000, "fuzz_name", REPLACE_ALWAYS);
    doc.trace().toggleBreakpoint(0x400);
    doc.history().pushReturn(RK_CALL, 0x10);
    state.path = doc.path() + ".oxu";
    check(SaveProject(doc, state) == 1);
    std::FILE* f = std::fopen(state.path.c_str(), "rb");
    check(f != nullptr);
    uint8_t chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
      project.insert(project.end(), chunk, chunk + n);
    std::fclose(f);
    ::unlink(state.path.c_str());
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TFuzzDoc* fuzz = new TFuzzDoc;
  TDocument& doc = fuzz->doc;

  std::vector<uint8_t> input;
  if (size > 0 && (data[0] & 1)) {
    // Patch the real project: 5-byte edits (u32 position, value), the last
    // 4 bytes (if left over) a cut.
    input = fuzz->project;
    size_t i = 1;
    for (; i + 5 <= size; i += 5) {
      const uint32_t at = readLe32(data + i) % uint32_t(input.size());
      input[at] = data[i + 4];
    }
    if (size - i >= 2) input.resize(readLe16(data + i) % (input.size() + 1));
  } else {
    input.assign(data, data + size);
  }

  const int rc = LoadProject(doc, fuzz->state, input.data(), input.size());
  check(rc == PROJECT_LOADED || rc == PROJECT_CANNOT_OPEN || rc == PROJECT_READ_ERROR ||
        rc == PROJECT_CANCELLED || rc == PROJECT_WRONG_SECTION);
  // A load that chose another file must not leave the fixture behind for good.
  if (doc.path() != fixtureCopy()) {
    doc.setPath(fixtureCopy());
    check(doc.LoadFile(true) == LOAD_OK);
  }
  // The loaded stores keep their order and answer lookups.
  const TJCRefContainer& jc = doc.stores().jumpCalls;
  for (uint32_t i = 1; i < jc.count(); ++i)
    check(int32_t(jc[i - 1].target) <= int32_t(jc[i].target));
  if (jc.count()) check(jc.findFirst(jc[jc.count() / 2].target) != NOT_FOUND);
  const std::vector<TComment> names = doc.names().snapshot();
  for (size_t i = 1; i < names.size(); ++i) check(names[i - 1].address < names[i].address);
  check(doc.history().count() <= 64);
  doc.history().listLines();
  // And whatever was loaded can be written again.
  const std::vector<uint8_t> again =
      buildProjectFile(TProjectHeader{}, doc.path(),
                       {names, doc.trace().regs(), doc.stores(), doc.history()});
  check(again.size() >= 16553);
  return 0;
}
