// An image parsed from test bytes, with the 16 zero bytes a file buffer has.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "image/image_info.h"

class TParsedImage {
 public:
  explicit TParsedImage(const std::vector<uint8_t>& bytes, const std::string& name = "test.exe")
      : buffer_(bytes) {
    buffer_.resize(bytes.size() + 16, 0);
    image.parseImage(buffer_.data(), static_cast<uint32_t>(bytes.size()), name);
  }
  TParsedImage(const TParsedImage&) = delete;
  TParsedImage& operator=(const TParsedImage&) = delete;

  // Changes bytes and parses again, as an edit does.
  void patch32(uint32_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) buffer_[offset + i] = uint8_t(value >> (8 * i));
    reparse();
  }
  void reparse() {
    image.parseImage(buffer_.data(), static_cast<uint32_t>(buffer_.size() - 16), image.fileName());
  }
  uint8_t* bytes() { return buffer_.data(); }

  TImageInfo image;

 private:
  std::vector<uint8_t> buffer_;
};
