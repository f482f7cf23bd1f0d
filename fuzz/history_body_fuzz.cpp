// Random bytes as a navigation-history project body, and as a sequence of
// name-store operations checked against a std::map model.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "analysis/comment_container.h"
#include "analysis/return_manager.h"
#include "base/host.h"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

void fuzzHistory(const uint8_t* data, size_t size) {
  SilentHost host;
  TReturnManager rm(host);
  THistoryReadResult r = rm.readBody(data, size);
  check(r.consumed <= size);
  check(rm.count() <= 64 && rm.first() < 64);
  // Whatever was read survives a write and a second read unchanged.
  std::vector<uint8_t> body = rm.writeBody();
  TReturnManager again(host);
  check(again.readBody(body.data(), body.size()).ok);
  check(again.count() == rm.count());
  for (uint32_t i = 0; i < rm.count(); ++i) check(again.getReturn(i) == rm.getReturn(i));
  char text[25];
  rm.getLastRetString(text, sizeof text);
  rm.listLines();
  if (size > 2) {
    rm.popReturnsTo(data[2]);
    if (rm.count()) rm.removeReturnsDownto(data[size - 1] % rm.count());
  }
}

// Two bytes give a text: its length (up to 298, so long texts fill pool
// blocks quickly) and its letters, sometimes with a zero inside.
std::string textOf(const uint8_t*& p, const uint8_t* end) {
  const uint8_t lengthByte = p < end ? *p++ : 0;
  const uint8_t pattern = p < end ? *p++ : 0;
  const size_t n = lengthByte * 2u % 300u;
  std::string s(n, 'a');
  for (size_t k = 0; k < n; ++k) s[k] = char('a' + (pattern + k * (pattern & 3)) % 3);
  if (n && pattern % 17 == 0) s[pattern % n] = 0;
  return s;
}

void fuzzNames(const uint8_t* data, size_t size) {
  TCommentContainer store;
  std::map<uint32_t, std::string> model;
  auto effective = [](const std::string& t) { return t.substr(0, t.find('\0')).substr(0, 254); };
  const uint8_t* p = data;
  const uint8_t* end = data + size;
  while (p < end) {
    const uint8_t op = *p++;
    const uint32_t address = p < end ? uint32_t(*p++) * 0x01010101u % 0x1FF : 0;
    switch (op % 6) {
      case 0:
      case 1: {
        int mode = op / 6 % 3;
        std::string text = textOf(p, end);
        std::string t = effective(text);
        uint32_t want = 0;
        if (!t.empty()) {
          auto it = model.find(address);
          if (it == model.end()) {
            model[address] = t;
          } else if (it->second != t) {
            if (mode == REPLACE_ASK) want = uint32_t(std::distance(model.begin(), it)) + 1;
            if (mode == REPLACE_ALWAYS) it->second = t;
          }
        }
        check(store.add(address, text, mode) == want);
        break;
      }
      case 2: {
        std::string text = textOf(p, end);
        store.append(address, text);
        if (!effective(text).empty()) model[address] = effective(text);
        break;
      }
      case 3: {
        uint32_t index = address % (model.size() + 2);
        store.remove(index);
        if (index < model.size()) model.erase(std::next(model.begin(), index));
        break;
      }
      case 4: {
        auto it = model.find(address);
        check(store.find(address) ==
              (it == model.end() ? NOT_FOUND : uint32_t(std::distance(model.begin(), it))));
        auto t = store.lookup(address);
        check(t.has_value() == (it != model.end()));
        if (t) check(*t == it->second);
        break;
      }
      default:
        if (op % 64 == 5) {
          store.clear();
          model.clear();
        } else {
          store.reserve(address);
        }
    }
  }
  auto snap = store.snapshot();
  check(snap.size() == model.size());
  size_t i = 0;
  for (auto& [a, t] : model) {
    check(snap[i].address == a && snap[i].text == t);
    ++i;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1)
    fuzzHistory(data + 1, size - 1);
  else
    fuzzNames(data + 1, size - 1);
  return 0;
}
