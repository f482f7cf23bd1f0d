#include "base/text_format.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Rewrites a wsprintf format for the host's vsnprintf: drops "l" and "h"
// length modifiers so that 32-bit arguments are read as ints.
void hostFormat(const char* in, char* out, size_t cap) {
  size_t o = 0;
  bool inConversion = false;
  for (const char* p = in; *p && o + 1 < cap; ++p) {
    char c = *p;
    if (!inConversion) {
      if (c == '%') inConversion = true;
      out[o++] = c;
      continue;
    }
    if (c == '%' && p[-1] == '%') {
      out[o++] = c;
      inConversion = false;
      continue;
    }
    if (c == 'l' || c == 'h') continue;
    out[o++] = c;
    if (std::strchr("diouxXcsSp", c)) inConversion = false;
  }
  out[o] = 0;
}

size_t vFormat(char* out, size_t cap, const char* format, va_list ap) {
  if (cap == 0) return 0;
  char fmt[512];
  hostFormat(format, fmt, sizeof fmt);
  int n = std::vsnprintf(out, cap, fmt, ap);
  if (n < 0) {
    out[0] = 0;
    return 0;
  }
  return static_cast<size_t>(n) < cap ? static_cast<size_t>(n) : cap - 1;
}

}  // namespace

size_t wsFormat(char* out, size_t cap, const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  size_t n = vFormat(out, cap, format, ap);
  va_end(ap);
  return n;
}

std::string wsString(const char* format, ...) {
  char buf[1024];  // wsprintf's own output limit
  va_list ap;
  va_start(ap, format);
  size_t n = vFormat(buf, sizeof buf, format, ap);
  va_end(ap);
  return std::string(buf, n);
}

size_t appendText(char* out, size_t cap, const char* src) {
  if (cap == 0) return 0;
  size_t len = strnlen(out, cap - 1);
  while (*src && len + 1 < cap) out[len++] = *src++;
  out[len] = 0;
  return len;
}
