// Random sequences of name-store operations against a std::map model.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "analysis/comment_container.h"

namespace {

std::string modelText(const std::string& t) {
  std::string s = t.substr(0, t.find('\0'));
  return s.substr(0, 254);
}

class NameStoreModel {
 public:
  uint32_t add(uint32_t address, const std::string& raw, int mode) {
    std::string text = modelText(raw);
    if (text.empty()) return 0;
    auto it = names.find(address);
    if (it == names.end()) {
      names[address] = text;
      return 0;
    }
    if (it->second == text) return 0;
    if (mode == REPLACE_ASK) return uint32_t(std::distance(names.begin(), it)) + 1;
    if (mode == REPLACE_ALWAYS) it->second = text;
    return 0;
  }
  std::map<uint32_t, std::string> names;
};

std::string randomText(std::mt19937& rng) {
  static const size_t lengths[] = {0, 1, 2, 3, 7, 20, 60, 120, 200, 253, 254, 255, 300};
  size_t n = lengths[rng() % std::size(lengths)];
  std::string s(n, 'a');
  for (auto& ch : s) ch = char('a' + rng() % 4);  // few letters: equal texts happen
  if (n > 2 && rng() % 16 == 0) s[rng() % n] = '\0';
  return s;
}

TEST(CommentContainerProperty, RandomOperationsMatchMapModel) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    TCommentContainer store;
    NameStoreModel model;
    // Small address range for collisions, plus the extremes.
    auto randomAddress = [&]() -> uint32_t {
      switch (rng() % 8) {
        case 0: return 0;
        case 1: return 0xFFFFFFFFu;
        case 2: return 0x80000000u + rng() % 4;
        default: return rng() % 300;
      }
    };
    for (int step = 0; step < 3000; ++step) {
      const size_t namesBefore = model.names.size();
      const uint32_t changesBefore = store.changeCount();
      const uint32_t op = rng() % 100;
      const uint32_t address = randomAddress();
      if (op < 45) {
        int mode = int(rng() % 3);
        std::string text = randomText(rng);
        ASSERT_EQ(store.add(address, text, mode), model.add(address, text, mode))
            << "seed " << seed << " step " << step;
      } else if (op < 55) {
        // Append: in order when above the last address, else an ordered insert
        // that gives a repeated address the new text.
        std::string text = randomText(rng);
        store.append(address, text);
        if (!modelText(text).empty()) model.names[address] = modelText(text);
      } else if (op < 75) {
        uint32_t index = rng() % (model.names.size() + 3);
        store.remove(index);
        if (index < model.names.size()) model.names.erase(std::next(model.names.begin(), index));
      } else if (op < 99) {
        auto it = model.names.find(address);
        uint32_t want = it == model.names.end() ? NOT_FOUND
                                                : uint32_t(std::distance(model.names.begin(), it));
        ASSERT_EQ(store.find(address), want) << "seed " << seed << " step " << step;
        // The lowest named address at or above: readers skip the addresses below it.
        auto above = model.names.lower_bound(address);
        uint32_t next = 0;
        ASSERT_EQ(store.nextNamed(address, next), above != model.names.end());
        if (above != model.names.end()) {
          ASSERT_EQ(next, above->first) << "seed " << seed << " step " << step;
        }
      } else {
        store.clear();
        model.names.clear();
      }
      // Whole contents compared after every step.
      std::vector<TComment> want;
      for (auto& [a, t] : model.names) want.push_back({a, t});
      ASSERT_EQ(store.snapshot(), want) << "seed " << seed << " step " << step;
      // A name added or removed must be seen by readers that cache by the change count.
      if (model.names.size() != namesBefore) {
        ASSERT_NE(store.changeCount(), changesBefore) << "seed " << seed << " step " << step;
      }
    }
  }
}

}  // namespace
