#include "image/tls_menu.h"

#include "base/text_format.h"
#include "image/image_info.h"

TTlsMenu buildTlsMenu(const TImageInfo& image) {
  const uint32_t count = image.tlsCallbackCount();
  TTlsMenu menu{count > 0, {}};
  for (uint32_t k = 1; k <= 4; ++k) {
    TMenuItemState& item = menu.items[k - 1];
    item.id = CM_TLS_CALLBACK_1 + static_cast<int>(k) - 1;
    item.enabled = count >= k;
    item.text = item.enabled ? wsString("Callback %i (:%.8X)", k,
                                        image.fileOffsetToMemory(image.tlsCallbackOffset(k - 1)))
                             : wsString("Callback %i", k);
  }
  menu.items[4] = TMenuItemState{CM_TLS_MORE, findCommand(CM_TLS_MORE)->text, count >= 5};
  return menu;
}
