// What the document tells the windows that show it. An observer overrides
// the events it cares about; the others do nothing. Some events come from
// worker threads (said at each): an observer marshals them to its own thread,
// and is removed only after the workers have stopped.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "analysis/reference_stores.h"

class TDocumentObserver {
 public:
  virtual ~TDocumentObserver() = default;
  // After every change, undo and redo step, with the changed offset.
  virtual void changed(uint32_t /*offset*/) {}
  // On the scanning thread: a reference store's lock flag has cleared.
  virtual void storeFilled(TRefStoreKind /*kind*/) {}
  // On the loader thread: a map or definition file load has ended.
  virtual void symbolsLoaded(int /*loaded*/) {}
  // The tracer's registers or their fixed values may have changed.
  virtual void regsChanged() {}
  // On the thread loading a project: another part of it is in (repaint).
  virtual void projectProgress() {}
  // On the thread loading a project: it marks fixed registers, so the
  // fixed-register window should show.
  virtual void fixedRegistersRequested() {}
};

// The document's observers. Adding, removing and telling may happen on any
// thread; an observer may remove itself or another one while being told.
class TDocumentObservers {
 public:
  void add(TDocumentObserver& observer);
  void remove(TDocumentObserver& observer);
  // An observer of changes only, kept here; the id removes it.
  int addChangeListener(std::function<void(uint32_t offset)> listener);
  void remove(int id);

  void changed(uint32_t offset) const {
    tell([&](TDocumentObserver& o) { o.changed(offset); });
  }
  void storeFilled(TRefStoreKind kind) const {
    tell([&](TDocumentObserver& o) { o.storeFilled(kind); });
  }
  void symbolsLoaded(int loaded) const {
    tell([&](TDocumentObserver& o) { o.symbolsLoaded(loaded); });
  }
  void regsChanged() const {
    tell([](TDocumentObserver& o) { o.regsChanged(); });
  }
  void projectProgress() const {
    tell([](TDocumentObserver& o) { o.projectProgress(); });
  }
  void fixedRegistersRequested() const {
    tell([](TDocumentObserver& o) { o.fixedRegistersRequested(); });
  }

 private:
  struct Entry {
    TDocumentObserver* observer = nullptr;
    std::shared_ptr<TDocumentObserver> owned;  // change listeners added as functions
  };
  void tell(const std::function<void(TDocumentObserver&)>& event) const;

  mutable std::mutex mutex_;
  std::map<int, Entry> entries_;
  int nextId_ = 1;
};
