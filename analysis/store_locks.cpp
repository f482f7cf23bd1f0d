#include "analysis/store_locks.h"

#include "base/host.h"

void TStoreLocks::unlockAll() {
  for (auto& f : flags_) f.store(false, std::memory_order_release);
}

const char* TStoreLocks::stillLockedText(TRefStoreKind kind) {
  switch (kind) {
    case TRefStoreKind::JumpCall: return "jcrefs is still locked!!!";
    case TRefStoreKind::Import: return "imprefs is still locked!!!";
    case TRefStoreKind::String: return "strrefs is still locked!!!";
    case TRefStoreKind::Menu: return "menurefs is still locked!!!";
  }
  return "";
}

int TStoreLocks::reportStillLocked(Host& host) const {
  int shown = 0;
  for (auto kind : {TRefStoreKind::JumpCall, TRefStoreKind::Import, TRefStoreKind::String,
                    TRefStoreKind::Menu}) {
    if (!isLocked(kind)) continue;
    host.message(stillLockedText(kind), "Error:", MsgIcon::Error, MsgButtons::Ok);
    ++shown;
  }
  return shown;
}
