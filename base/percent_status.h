// "... (n%)" in the status bar while a long job counts its way through,
// written again only when the whole percentage grows.
#pragma once
#include <cstdint>

#include "base/host.h"
#include "base/text_format.h"

class TPercentStatus {
 public:
  // format holds one %i for the percentage; it is shown at 0 right away.
  TPercentStatus(Host& host, const char* format, uint64_t total)
      : host_(host), format_(format), total_(total) {
    host_.setStatusText(wsString(format_, 0));
  }
  void at(uint64_t done) {
    if (total_ == 0) return;
    const int percent = static_cast<int>(done * 100 / total_);
    if (percent <= shown_) return;
    shown_ = percent;
    host_.setStatusText(wsString(format_, percent));
  }

 private:
  Host& host_;
  const char* format_;
  uint64_t total_;
  int shown_ = 0;
};
