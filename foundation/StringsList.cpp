#include "foundation/StringsList.h"

CStringsList::~CStringsList() {
  Release(true);
  handlers_.clear();
  for (void* row : items_) delete static_cast<TStrings*>(row);
}

void CStringsList::DeleteAll() {
  Release(false);
  // Detached first, so that nothing reached from a row's destructor sees a half-deleted list.
  std::vector<void*> rows;
  rows.swap(items_);
  for (void* row : rows) delete static_cast<TStrings*>(row);
}

void CStringsList::SetReleaseHandler(const void* key, ReleaseHandler handler) {
  for (auto it = handlers_.begin(); it != handlers_.end(); ++it) {
    if (it->first != key) continue;
    if (handler) it->second = std::move(handler);
    else handlers_.erase(it);
    return;
  }
  if (handler) handlers_.emplace_back(key, std::move(handler));
}

void CStringsList::Release(bool gone) {
  // By key, looked up afresh: a handler may remove itself or another one while it runs.
  std::vector<const void*> keys;
  for (const auto& h : handlers_) keys.push_back(h.first);
  for (const void* key : keys) {
    for (const auto& h : handlers_) {
      if (h.first != key) continue;
      const ReleaseHandler handler = h.second;
      handler(gone);
      break;
    }
  }
}
