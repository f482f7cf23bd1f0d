// A document with its project state over one fixture, and project files
// taken apart into sections and put together again (other versions,
// other paths).
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "base/le_read.h"
#include "document/document.h"
#include "document/project_commands.h"
#include "support/fixtures.h"
#include "support/recording_host.h"

struct TProjectDoc {
  RecordingHost host;
  TDocument doc{host};
  TProjectState state;

  TProjectDoc() { doc.settings().noScan = true; }
  // Opens a fixture as the user would (exports named); scan on request.
  explicit TProjectDoc(const std::string& fixture, bool scan = false) : TProjectDoc() {
    doc.setPath(fixturePath(fixture));
    EXPECT_EQ(doc.LoadFile(true), LOAD_OK);
    if (scan) {
      doc.workers().startReferenceScan();
      doc.workers().waitReferenceScan();
    }
  }
  int save(const std::string& path) {
    state.path = path;
    return SaveProject(doc, state);
  }
  int load(const std::string& path) {
    state.path = path;
    return LoadProject(doc, state);
  }
  int load(const std::vector<uint8_t>& bytes) {
    return LoadProject(doc, state, bytes.data(), bytes.size());
  }
  // Every store, the tracer's breakpoints and EIP and the history emptied, so
  // that what a load brings back can be told from what was there.
  void forget() {
    doc.names().clear();
    doc.stores().jumpCalls.clear();
    doc.stores().imports.flush();
    doc.stores().strings.flush();
    doc.stores().menus.flush();
    doc.trace().regs().clearBreakPoints();
    doc.trace().regs().EIP = 0;
    doc.trace().regs().faultAddress = 0;
    doc.history().clear();
  }
};

// A project file as its header (20 bytes) and its eight sections, each with
// its marker byte.
struct TProjectParts8 {
  std::vector<uint8_t> header;
  std::array<std::vector<uint8_t>, PROJECT_SECTION_COUNT> sections;
};

inline uint32_t tableEntry(const std::vector<uint8_t>& file, int k) {
  return readLe32(file.data() + PROJECT_HEADER_SIZE + 4 * k);
}

inline TProjectParts8 splitProject(const std::vector<uint8_t>& file) {
  TProjectParts8 p;
  p.header.assign(file.begin(), file.begin() + PROJECT_HEADER_SIZE);
  for (int k = 0; k < PROJECT_SECTION_COUNT; ++k) {
    const uint32_t from = tableEntry(file, k);
    const uint32_t to = k + 1 < PROJECT_SECTION_COUNT ? tableEntry(file, k + 1)
                                                      : uint32_t(file.size());
    p.sections[k].assign(file.begin() + from, file.begin() + to);
  }
  return p;
}

inline std::vector<uint8_t> joinProject(const TProjectParts8& p) {
  std::vector<uint8_t> out = p.header;
  out.resize(PROJECT_SECTIONS_START, 0);
  for (int k = 0; k < PROJECT_SECTION_COUNT; ++k) {
    writeLe32(out.data() + PROJECT_HEADER_SIZE + 4 * k, uint32_t(out.size()));
    out.insert(out.end(), p.sections[k].begin(), p.sections[k].end());
  }
  return out;
}

inline void setVersion(TProjectParts8& p, uint16_t version) { writeLe16(p.header.data(), version); }

// A FILENAME section for a path of n bytes with its zero (n given explicitly
// so that over-long ones can be written).
inline std::vector<uint8_t> fileNameSection(const std::string& path) {
  std::vector<uint8_t> s(3 + path.size() + 1, 0);
  writeLe16(s.data() + 1, uint16_t(path.size() + 1));
  std::memcpy(s.data() + 3, path.data(), path.size());
  return s;
}
