// A small streaming JSON writer for the command-line tool's --json output.
// Byte strings from files are written as Latin-1 (each byte one code point),
// so any name yields valid JSON.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TJsonWriter {
 public:
  TJsonWriter& beginObject();
  TJsonWriter& endObject();
  TJsonWriter& beginArray();
  TJsonWriter& endArray();
  TJsonWriter& key(std::string_view k);
  TJsonWriter& value(std::string_view s);
  TJsonWriter& value(const char* s) { return value(std::string_view(s)); }
  TJsonWriter& value(uint64_t n);
  TJsonWriter& value(int64_t n);
  TJsonWriter& value(uint32_t n) { return value(uint64_t(n)); }
  TJsonWriter& value(int n) { return value(int64_t(n)); }
  TJsonWriter& value(bool b);
  TJsonWriter& null();

  template <class T>
  TJsonWriter& field(std::string_view k, const T& v) {
    key(k);
    return value(v);
  }

  const std::string& text() const { return out_; }

 private:
  void separate();
  std::string out_;
  std::vector<bool> first_;  // per open container: nothing written yet
  bool afterKey_ = false;
};

std::string jsonQuote(std::string_view s);
