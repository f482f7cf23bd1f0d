// The check thread beside a user-interface thread that edits the document
// (ChangeMemory, undo, redo) and reads the stores whenever their flags are
// clear. Run it in a ThreadSanitizer build (ctest -L tsan): the scan works
// on its own copy of the bytes, and a store whose flag is clear is final.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <thread>

#include "analysis/scanner.h"
#include "analysis/scanner_images.h"
#include "base/text_format.h"
#include "document/document.h"
#include "support/fixtures.h"
#include "support/recording_host.h"

namespace {

constexpr TRefStoreKind kKinds[] = {TRefStoreKind::JumpCall, TRefStoreKind::Import,
                                    TRefStoreKind::String, TRefStoreKind::Menu};

std::vector<uint8_t> busyFile() {
  std::mt19937 rng(11);
  TScanImageLayout layout;
  for (int i = 0; i < 80; ++i) layout.imports.push_back(wsString("F%d", i));
  layout.code.resize(0x20000);
  for (auto& b : layout.code) b = uint8_t(rng());
  for (uint32_t at = 0; at + 8 < layout.code.size(); at += 61) {
    std::vector<uint8_t> use;
    switch (rng() % 3) {
      case 0:
        use = {0xFF, 0x15};
        pushLe32(use, TScanImageLayout::slot(rng() % 80));
        break;
      case 1:
        use = {0x68};
        pushLe32(use, (rng() & 1) ? 1000 : 200);
        break;
      default: use = {0x6A, 0x05}; break;
    }
    std::copy(use.begin(), use.end(), layout.code.begin() + at);
  }
  layout.stringBundles = {{1, {"", "", "", "", "", "five"}},
                          {63, {"", "", "", "", "", "", "", "", "k"}}};
  layout.menus = {menuTemplate({{0x80, 200, "x"}})};
  return layout.build();
}

// What a user-interface thread does with a store it may read: format it.
// Gives the store's record count.
uint32_t formatStore(const TReferenceStores& s, TRefStoreKind kind) {
  std::string text;
  switch (kind) {
    case TRefStoreKind::JumpCall:
      for (uint32_t i = 0; i < s.jumpCalls.count() && i < 200; ++i)
        text += wsString(" %.8X->%.8X", s.jumpCalls[i].source, s.jumpCalls[i].target);
      return s.jumpCalls.count();
    case TRefStoreKind::Import:
      for (uint32_t i = 0; i < s.imports.count(); ++i)
        for (const TMInt& m : s.imports[i].refs) text += wsString(" %.8X", uint32_t(m.value));
      return s.imports.count();
    case TRefStoreKind::String:
      for (uint32_t i = 0; i < s.strings.count(); ++i)
        for (const TMIntType& m : s.strings[i].refs)
          text += wsString(" %.8X/%u", uint32_t(m.value), unsigned(m.type));
      return s.strings.count();
    case TRefStoreKind::Menu:
      for (uint32_t i = 0; i < s.menus.count(); ++i)
        for (const TMIntType& m : s.menus[i].refs) text += wsString(" %.8X", uint32_t(m.value));
      return s.menus.count();
  }
  return 0;
}

class ScannerConcurrency : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(dir.file("busy.exe"), busyFile());
    doc.setPath(dir.file("busy.exe"));
    doc.settings().noScan = true;  // the scans here fill the test's own stores
    ASSERT_EQ(doc.LoadFile(true), LOAD_OK);
  }

  // Edits bytes of .text, undoes and redoes, and reads every store whose
  // flag is clear, until the scan ends. A store seen final must not change.
  void workWhileScanning(TCheckThread& thread) {
    uint32_t seenCount[4] = {};
    bool seen[4] = {false, false, false, false};
    uint8_t value = 0;
    while (thread.running()) {
      const uint8_t bytes[4] = {value, uint8_t(value + 1), 0xE8, 0};
      doc.ChangeMemory(0x800 + value, bytes, 4);
      doc.undo();
      doc.redo();
      ++value;
      for (int k = 0; k < 4; ++k) {  // by index: GCC 12 at -O3 misreads the range over kKinds
        const TRefStoreKind kind = kKinds[k];
        if (stores.locks.isLocked(kind)) {
          EXPECT_FALSE(seen[k]) << "flag set again after it was cleared";
          continue;
        }
        const uint32_t count = formatStore(stores, kind);
        if (!seen[k]) seenCount[k] = count;
        seen[k] = true;
        EXPECT_EQ(count, seenCount[k]);
      }
      std::this_thread::sleep_for(
          std::chrono::microseconds(200));  // a user interface idles between events
    }
  }

  std::unique_ptr<TReferenceStores> reference(const std::vector<uint8_t>& bytes) {
    auto s = std::make_unique<TReferenceStores>();
    RecordingHost quiet;
    TImageInfo image;
    std::vector<uint8_t> copy(bytes);
    copy.resize(bytes.size() + 16, 0);
    image.parseImage(copy.data(), uint32_t(bytes.size()), "busy.exe");
    scanReferencesNow(copy.data(), uint32_t(bytes.size()), image, *s, quiet);
    return s;
  }

  std::vector<uint8_t> currentBytes() const {
    return std::vector<uint8_t>(doc.buffer(), doc.buffer() + doc.fileSize());
  }

  TempDir dir;
  RecordingHost host;
  TDocument doc{host};
  TReferenceStores stores;
  std::atomic<int> notices{0};
  TScanNotify notify = [this](TRefStoreKind) { notices.fetch_add(1); };
};

TEST_F(ScannerConcurrency, EditsAndReadsWhileScanning) {
  for (bool indexed : {false, true}) {
    const auto before = currentBytes();
    TCheckThread thread;
    notices = 0;
    thread.startCheckThread(doc.buffer(), doc.fileSize(), doc.image(), stores, host,
                            {.indexed = indexed}, notify);
    workWhileScanning(thread);
    thread.waitCheckThread();
    EXPECT_EQ(notices.load(), 4);
    EXPECT_EQ(storeText(stores), storeText(*reference(before))) << (indexed ? "indexed" : "sweep");
  }
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ScannerConcurrency, RestartAndDestroyMidScan) {
  const TScanOptions slow{.indexed = false};
  {
    TCheckThread thread;
    thread.startCheckThread(doc.buffer(), doc.fileSize(), doc.image(), stores, host, slow, notify);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const uint8_t patch[2] = {0xEB, 0x00};
    doc.ChangeMemory(0x900, patch, 2);
    const auto atRestart = currentBytes();
    thread.startCheckThread(doc.buffer(), doc.fileSize(), doc.image(), stores, host, {}, notify);
    workWhileScanning(thread);
    thread.waitCheckThread();
    EXPECT_EQ(storeText(stores), storeText(*reference(atRestart)));

    thread.startCheckThread(doc.buffer(), doc.fileSize(), doc.image(), stores, host, slow, notify);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }  // destroyed while scanning
  for (TRefStoreKind kind : kKinds) {
    EXPECT_FALSE(stores.locks.isLocked(kind));
    formatStore(stores, kind);
  }
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
