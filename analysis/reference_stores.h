// The four reference stores of one opened file and their lock flags. The
// scanner fills them on its worker thread; every other reader looks at a
// store only while its flag is clear.
#pragma once
#include "analysis/id_refs.h"
#include "analysis/jc_refs.h"
#include "analysis/store_locks.h"

struct TReferenceStores {
  TJCRefContainer jumpCalls{TJCRefContainer::DOCUMENT_INITIAL_CAPACITY,
                            TJCRefContainer::DOCUMENT_DELTA};
  TImpRefStore imports;
  TStrRefStore strings;
  TMenuRefStore menus;
  TStoreLocks locks;
};
