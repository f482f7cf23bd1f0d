#include "analysis/store_locks.h"

#include <gtest/gtest.h>

#include "support/recording_host.h"

namespace {

TEST(StoreLocks, StillLockedMessagesInStoreOrder) {
  using K = TRefStoreKind;
  struct Case {
    std::vector<K> locked;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {{}, {}},
      {{K::JumpCall}, {"Error:: jcrefs is still locked!!!"}},
      {{K::Menu, K::Import},
       {"Error:: imprefs is still locked!!!", "Error:: menurefs is still locked!!!"}},
      {{K::String, K::Menu, K::JumpCall, K::Import},
       {"Error:: jcrefs is still locked!!!", "Error:: imprefs is still locked!!!",
        "Error:: strrefs is still locked!!!", "Error:: menurefs is still locked!!!"}},
  };
  for (const auto& c : cases) {
    TStoreLocks locks;
    RecordingHost host;
    for (K k : c.locked) locks.lock(k);
    EXPECT_EQ(locks.reportStillLocked(host), int(c.lines.size()));
    EXPECT_EQ(host.messageLines(), c.lines);
    for (auto& m : host.messages) EXPECT_EQ(m.buttons, MsgButtons::Ok);
    // Reporting does not clear: the scan's own clearing of the stores does.
    for (K k : c.locked) EXPECT_TRUE(locks.isLocked(k));
    locks.unlockAll();
    EXPECT_EQ(locks.reportStillLocked(host), 0);
  }
}

}  // namespace
