#include "image/user_address.h"

#include "base/host.h"
#include "image/image_info.h"

uint32_t userAddressToFileOffset(const TImageInfo& image, uint32_t value, UserAddressKind kind,
                                 Host& host) {
  switch (kind) {
    case UserAddressKind::FileOffset: return value;
    case UserAddressKind::Rva: {
      uint32_t o = image.rvaToFileOffset(value, true);
      if (o == NOT_IN_FILE)
        host.message("Sorry, address is not in file!", "Invalid RVA address!", MsgIcon::Warning);
      return o;
    }
    case UserAddressKind::Memory: {
      uint32_t o = image.memoryToFileOffset(value);
      if (o == NOT_IN_FILE)
        host.message("Sorry, address is not in file!", "Invalid memory address!", MsgIcon::Warning);
      return o;
    }
  }
  return NOT_IN_FILE;
}
