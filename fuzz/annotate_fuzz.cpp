// The listing annotation over random images, names and string references,
// with random values, flavours, biases and capacities; also behind decoded
// instructions. Checks: nothing is written at or behind the capacity, the text
// is terminated inside it, and every byte below 0x20 is the first byte of a
// whole mark (colour 4, 6, 7, 0xFF; reference 1, 3, or the decoder's kinds).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/comment_container.h"
#include "analysis/id_refs.h"
#include "analysis/store_locks.h"
#include "base/le_read.h"
#include "disasm/decoder.h"
#include "image/image_info.h"
#include "listing/annotate.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

struct TInput {
  const uint8_t* p;
  size_t n;
  uint8_t u8() {
    if (!n) return 0;
    --n;
    return *p++;
  }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(u8()) << (8 * i);
    return v;
  }
};

// A PE header with .text (RVA 0x1000, file 0x400) and .data (RVA 0x2000,
// file 0x800), image base 0x00400000, and a given import directory RVA:
// random bytes behind it then mostly parse as a PE image.
std::vector<uint8_t> peHeader(uint32_t importRva, uint32_t rawSize) {
  std::vector<uint8_t> h(0x400, 0);
  h[0] = 'M';
  h[1] = 'Z';
  writeLe32(&h[0x3C], 0x80);
  uint8_t* pe = &h[0x80];
  std::memcpy(pe, "PE\0\0", 4);
  writeLe16(pe + 6, 2);
  writeLe32(pe + 0x28, 0x1000);
  writeLe32(pe + 0x34, 0x00400000);
  writeLe32(pe + 0x74, 16);
  writeLe32(pe + 0x80, importRva);
  writeLe32(pe + 0x84, 0x100);
  uint8_t* s = pe + 0x78 + 8 * 16;
  const uint32_t rvas[2] = {0x1000, 0x2000}, raws[2] = {0x400, 0x800};
  for (int i = 0; i < 2; ++i, s += 40) {
    writeLe32(s + 8, 0x1000);
    writeLe32(s + 12, rvas[i]);
    writeLe32(s + 16, i == 0 ? 0x400 : rawSize);
    writeLe32(s + 20, raws[i]);
  }
  return h;
}

bool validMark(uint8_t lead, uint8_t code) {
  if (lead == 0x1E) return code == 4 || code == 6 || code == 7 || code == 0xFF;
  return code == 1 || code == 2 || code == 3 || code == 4 || code == 7 || code == 8;
}

// A decoded line may end in the first byte of a mark whose code was cut off.
void checkText(const std::vector<char>& out, size_t cap, bool cutMarkAtEnd = false) {
  for (size_t i = cap; i < out.size(); ++i) check(out[i] == 'G');
  if (cap == 0) return;
  const size_t n = strnlen(out.data(), cap);
  check(n < cap);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = uint8_t(out[i]);
    if (c >= 0x20) continue;
    check(c == 0x1E || c == 0x1F);
    if (i + 1 == n) {
      check(cutMarkAtEnd);
      break;
    }
    check(validMark(c, uint8_t(out[i + 1])));
    ++i;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TInput in{data, size};
  const uint8_t flags = in.u8();
  const int flavour = in.u8() % 3;
  const size_t cap = in.u8() | ((in.u8() & 1) << 8);
  uint32_t value = in.u32();
  const uint32_t bias = (flags & 0x40) ? in.u32() : 0;
  const uint32_t importRva = in.u32();

  TCommentContainer names;
  for (int k = in.u8() % 9; k > 0; --k) {
    uint32_t address = in.u32();
    if (flags & 0x20) address = 0x00400000 + (address & 0x3FFF);
    std::string text;
    for (int len = in.u8() % 40; len > 0; --len) text += char(in.u8());
    names.add(address, text, REPLACE_ALWAYS);
  }
  TStrRefStore strings;
  for (int k = in.u8() % 5; k > 0; --k) {
    TStrRef r(in.u32() & 0x8000FFFF, in.u32() & 0x1FFF);
    r.refs.add(TMIntType(0, 0));
    strings.add(std::move(r));
  }
  TStoreLocks locks;
  if (flags & 0x10) locks.lock(TRefStoreKind::String);

  // The file: a usable PE header or none, then the rest of the input.
  std::vector<uint8_t> buffer;
  if (flags & 0x80)
    buffer = peHeader(importRva, uint32_t(in.n > 0x400 ? in.n - 0x400 : 0) & ~0x1FFu);
  buffer.insert(buffer.end(), in.p, in.p + in.n);
  const uint32_t fileSize = uint32_t(buffer.size());
  buffer.resize(buffer.size() + 16, 0);
  TImageInfo image;
  image.parseImage(buffer.data(), fileSize, "fuzz.exe");
  if (flags & 0x08) value = 0x00400000 + (value & 0x3FFF);  // mostly inside the image
  if ((flags & 0x04) && fileSize) value %= fileSize;        // a file offset

  const TListingAnnotator annotator(image, buffer.data(), fileSize, names, &strings, &locks);
  std::vector<char> out(cap + 8, 'G');
  annotator.annotateValue(value, out.data(), cap, flags & 1, flags & 2, flavour, bias);
  checkText(out, cap);
  std::fill(out.begin(), out.end(), 'G');
  annotator.annotateBranch(value, out.data(), cap, flags & 1, flags & 2, bias);
  checkText(out, cap);

  // The decoder's listing text with the annotation behind it.
  if (fileSize > 0x400 && cap > 0) {
    const uint8_t* cursor = buffer.data() + 0x400;
    for (int k = 0; k < 16 && cursor < buffer.data() + fileSize; ++k) {
      std::fill(out.begin(), out.end(), 'G');
      out[0] = 0;
      decodeInstruction(cursor, DecodeListing, buffer.data(), bias, out.data(), cap, false, nullptr,
                        &annotator);
      checkText(out, cap, true);
    }
  }
  return 0;
}
