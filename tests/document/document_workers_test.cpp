// Every worker at once: the reference scan and a map file load run while the
// user-interface thread changes bytes, undoes and redoes, paints listing rows
// and reads names. Run it in a ThreadSanitizer build (ctest -L tsan).
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "document/document.h"
#include "support/fixtures.h"
#include "support/recording_host.h"

namespace {

// Counts what the workers tell, from their own threads.
struct TWorkerEvents : TDocumentObserver {
  std::atomic<unsigned> filledKinds{0};
  std::atomic<int> symbolLoads{0};
  void storeFilled(TRefStoreKind kind) override { filledKinds |= 1u << unsigned(kind); }
  void symbolsLoaded(int) override { ++symbolLoads; }
};

TEST(Workers, ScanAndMapLoadBesideEdits) {
  TempDir dir;
  std::string map = "  Address   Publics by Value\n\n";
  for (int i = 0; i < 20000; ++i)
    map += " 0001:" + std::to_string(10000000 + i) + "  sym" + std::to_string(i) + "\n";
  writeFile(dir.file("big.map"), std::vector<uint8_t>(map.begin(), map.end()));

  RecordingHost host;
  TWorkerEvents events;  // outlives the document and its threads
  TDocument doc(host);
  doc.addObserver(events);
  doc.setPath(fixturePath("gui.exe"));
  ASSERT_EQ(doc.LoadFile(true), LOAD_OK);  // starts the scan
  doc.workers().startSymbolLoad(SymbolFileKind::Map, dir.file("big.map"));

  TListingPaint paint;
  for (int round = 0; round < 200; ++round) {
    const uint8_t b = uint8_t(round);
    doc.ChangeMemory(0x700 + round % 64, &b, 1);
    if (round % 3 == 0) doc.undo();
    if (round % 5 == 0) doc.redo();
    doc.view().topOffset = 0x400 + uint32_t(round) * 7 % 0x600;
    paintRows(doc.view(), doc.listingContext(), 40, 120, paint);
    doc.names().lookup(0x401225);
  }
  doc.workers().waitReferenceScan();
  doc.workers().stopSymbolLoaders();
  EXPECT_FALSE(doc.workers().scanning());
  EXPECT_FALSE(doc.workers().symbolLoaderRunning());
  unsigned allKinds = 0;
  for (auto kind : {TRefStoreKind::JumpCall, TRefStoreKind::Import, TRefStoreKind::String,
                    TRefStoreKind::Menu}) {
    EXPECT_FALSE(doc.stores().locks.isLocked(kind));
    allKinds |= 1u << unsigned(kind);
  }
  EXPECT_GT(doc.stores().jumpCalls.count(), 0u);
  EXPECT_EQ(events.filledKinds.load(), allKinds);
  EXPECT_EQ(events.symbolLoads.load(), 1);

  // Loading a new file while both run leaves no thread behind.
  doc.workers().startReferenceScan();
  doc.workers().startSymbolLoad(SymbolFileKind::Map, dir.file("big.map"));
  ASSERT_EQ(doc.LoadFile(true), LOAD_OK);
  EXPECT_FALSE(doc.workers().symbolLoaderRunning());
}

}  // namespace
