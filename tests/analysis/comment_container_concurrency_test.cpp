// One thread adds and looks up names while another reads them: every text
// read must be one that was stored whole for that address.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "analysis/comment_container.h"
#include "base/text_format.h"

namespace {

std::string textFor(uint32_t address, uint32_t round) {
  // Lengths vary so that texts move between pool records and blocks.
  return wsString("n%u_%u", address, round) + std::string((address * 7 + round) % 200, '#');
}

bool plausible(uint32_t address, const std::string& text) {
  const std::string prefix = wsString("n%u_", address);
  if (text.compare(0, prefix.size(), prefix) != 0) return false;
  size_t us = text.find('#');
  uint32_t round = std::stoul(
      text.substr(prefix.size(), us == std::string::npos ? std::string::npos : us - prefix.size()));
  return text == textFor(address, round);
}

TEST(CommentContainerConcurrency, WriterAndReaderSeeWholeTexts) {
  TCommentContainer names;
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};

  std::thread writer([&] {
    for (uint32_t round = 0; round < 60; ++round) {
      for (uint32_t a = 0; a < 400; ++a) {
        names.add(a, textFor(a, round), round % 2 ? REPLACE_ALWAYS : REPLACE_NEVER);
        if (auto t = names.lookup(a); !t || !plausible(a, *t)) ++bad;
      }
      for (uint32_t a = 0; a < 400; a += 3) {
        uint32_t i = names.find(a);
        if (i != NOT_FOUND) names.remove(i);
      }
      if (round % 20 == 19) names.clear();
    }
    done = true;
  });

  uint64_t reads = 0;
  while (!done) {
    char buf[256];
    for (uint32_t a = 0; a < 400; a += 7) {
      if (names.lookup(a, buf, sizeof buf) && !plausible(a, buf)) ++bad;
      if (auto e = names.entryAt(a % 50); e && !plausible(e->address, e->text)) ++bad;
      ++reads;
    }
    auto snap = names.snapshot();
    for (size_t i = 1; i < snap.size(); ++i)
      if (snap[i - 1].address >= snap[i].address) ++bad;
  }
  writer.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_GT(reads, 0u);
}

}  // namespace
