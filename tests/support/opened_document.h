// A document loaded from a file, with the host that records what it said.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "document/document.h"
#include "support/recording_host.h"

struct TOpenedDocument {
  RecordingHost host;
  TDocument doc{host};
  // fullReset false keeps the previous file's settings, as a reload does.
  explicit TOpenedDocument(const std::string& path, bool fullReset = true) {
    doc.setPath(path);
    EXPECT_EQ(doc.LoadFile(fullReset), LOAD_OK) << path;
  }
};
