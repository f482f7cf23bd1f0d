// A document loaded from bytes written to a temporary file, the set-up the
// document suites share.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/document.h"
#include "support/fixtures.h"
#include "support/recording_host.h"
#include "support/texts_of.h"

// A document loaded from `bytes`, written as `name` into its own directory.
struct TBytesDocument {
  TempDir dir;
  RecordingHost host;
  TDocument doc{host};
  std::string path;
  explicit TBytesDocument(const std::vector<uint8_t>& bytes, const std::string& name = "f.bin")
      : path(dir.file(name)) {
    writeFile(path, bytes);
    doc.setPath(path);
    EXPECT_EQ(doc.LoadFile(true), LOAD_OK) << name;
  }
  uint8_t at(uint32_t offset) const { return doc.buffer()[offset]; }
};
