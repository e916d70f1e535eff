#include "app/RecentFiles.h"

#include <algorithm>

namespace tintara {

namespace {
std::string EntryName(int32_t i) { return "path" + std::to_string(i); }
}  // namespace

void CRecentFiles::Add(const std::string& path) {
  if (path.empty()) return;
  Remove(path);
  paths_.insert(paths_.begin(), path);
  if (paths_.size() > size_t(kMaxEntries)) paths_.resize(size_t(kMaxEntries));
}

bool CRecentFiles::Remove(const std::string& path) {
  const auto it = std::find(paths_.begin(), paths_.end(), path);
  if (it == paths_.end()) return false;
  paths_.erase(it);
  return true;
}

void CRecentFiles::Load(const ISettingsStore& store, const std::string& root) {
  paths_.clear();
  const std::string key = root + "\\" + kKey;
  for (int32_t i = 0; i < kMaxEntries; ++i) {
    std::string path;
    if (!store.ReadString(key, EntryName(i), path) || path.empty()) continue;
    if (std::find(paths_.begin(), paths_.end(), path) == paths_.end()) paths_.push_back(path);
  }
}

bool CRecentFiles::Save(ISettingsStore& store, const std::string& root) const {
  const std::string key = root + "\\" + kKey;
  bool ok = true;
  for (int32_t i = 0; i < kMaxEntries; ++i)
    ok &= i < int32_t(paths_.size()) ? store.WriteString(key, EntryName(i), paths_[size_t(i)])
                                     : store.DeleteValue(key, EntryName(i));
  return ok;
}

}  // namespace tintara
