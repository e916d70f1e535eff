// The recent-file list of the File menu: at most nine paths, newest first, kept in the settings
// store under "<root>\fileMRU" as the strings "path0", "path1", ...
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/SettingsStore.h"

namespace tintara {

class CRecentFiles {
 public:
  static constexpr int32_t kMaxEntries = 9;
  static constexpr const char* kKey = "fileMRU";

  // Puts a path opened or saved at the top; a path already listed moves there, and the oldest
  // entry drops off a full list. An empty path is not listed.
  void Add(const std::string& path);
  // Takes an entry out, as when its file can no longer be opened. False when it was not listed.
  bool Remove(const std::string& path);
  const std::vector<std::string>& Paths() const { return paths_; }

  // Replaces the list with the stored one; empty and repeated entries are left out.
  void Load(const ISettingsStore& store, const std::string& root = kAppSettingsKey);
  // Writes the list and removes the entries of a longer list written before.
  bool Save(ISettingsStore& store, const std::string& root = kAppSettingsKey) const;

 private:
  std::vector<std::string> paths_;
};

}  // namespace tintara
