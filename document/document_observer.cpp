#include "document/document_observer.h"

#include <vector>

namespace {

class TChangeListener : public TDocumentObserver {
 public:
  explicit TChangeListener(std::function<void(uint32_t)> listener)
      : listener_(std::move(listener)) {}
  void changed(uint32_t offset) override {
    if (listener_) listener_(offset);
  }

 private:
  std::function<void(uint32_t)> listener_;
};

}  // namespace

void TDocumentObservers::add(TDocumentObserver& observer) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.emplace(nextId_++, Entry{&observer, nullptr});
}

void TDocumentObservers::remove(TDocumentObserver& observer) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(entries_, [&](const auto& e) { return e.second.observer == &observer; });
}

int TDocumentObservers::addChangeListener(std::function<void(uint32_t offset)> listener) {
  auto owned = std::make_shared<TChangeListener>(std::move(listener));
  std::lock_guard<std::mutex> lock(mutex_);
  const int id = nextId_++;
  entries_.emplace(id, Entry{owned.get(), owned});
  return id;
}

void TDocumentObservers::remove(int id) {
  std::shared_ptr<TDocumentObserver> owned;  // destroyed after the lock is let go
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = entries_.find(id);
  if (it == entries_.end()) return;
  owned = std::move(it->second.owned);
  entries_.erase(it);
}

void TDocumentObservers::tell(const std::function<void(TDocumentObserver&)>& event) const {
  std::vector<int> ids;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& e : entries_) ids.push_back(e.first);
  }
  // Each is looked up again before it is told: an earlier one may have
  // removed it. The copy keeps a listener alive through its own removal.
  for (int id : ids) {
    Entry entry;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = entries_.find(id);
      if (it == entries_.end()) continue;
      entry = it->second;
    }
    event(*entry.observer);
  }
}
