#include "cli/json_writer.h"

#include <cstdio>

std::string jsonQuote(std::string_view s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else if (c >= 0x80) {  // Latin-1 byte as a two-byte UTF-8 sequence
          out += static_cast<char>(0xC0 | (c >> 6));
          out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

void TJsonWriter::separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) out_ += ',';
    first_.back() = false;
  }
}

TJsonWriter& TJsonWriter::beginObject() {
  separate();
  out_ += '{';
  first_.push_back(true);
  return *this;
}
TJsonWriter& TJsonWriter::endObject() {
  out_ += '}';
  first_.pop_back();
  return *this;
}
TJsonWriter& TJsonWriter::beginArray() {
  separate();
  out_ += '[';
  first_.push_back(true);
  return *this;
}
TJsonWriter& TJsonWriter::endArray() {
  out_ += ']';
  first_.pop_back();
  return *this;
}

TJsonWriter& TJsonWriter::key(std::string_view k) {
  separate();
  out_ += jsonQuote(k);
  out_ += ':';
  afterKey_ = true;
  return *this;
}

TJsonWriter& TJsonWriter::value(std::string_view s) {
  separate();
  out_ += jsonQuote(s);
  return *this;
}
TJsonWriter& TJsonWriter::value(uint64_t n) {
  separate();
  out_ += std::to_string(n);
  return *this;
}
TJsonWriter& TJsonWriter::value(int64_t n) {
  separate();
  out_ += std::to_string(n);
  return *this;
}
TJsonWriter& TJsonWriter::value(bool b) {
  separate();
  out_ += b ? "true" : "false";
  return *this;
}
TJsonWriter& TJsonWriter::null() {
  separate();
  out_ += "null";
  return *this;
}
