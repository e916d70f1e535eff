// The 32-bit map: ids to offsets or list indices, for the event recorder and player.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace tintara {

// Maps 32-bit keys to 32-bit values (ids to offsets or list indices).
class CMapDD {
 public:
  // Largest initial size asked of the table; the map still grows past it.
  static constexpr uint32_t kMaxInitialSize = 1u << 24;

  // 0 on success; nonzero when the table cannot be made (no memory, or an initial size above
  // kMaxInitialSize). Any earlier contents are dropped.
  int32_t Create(uint32_t initialSize);
  // False when there is no memory for a new entry (the map is unchanged).
  bool SetAt(uint32_t key, uint32_t value);
  // True when the key is there; its value goes to `value` (which may be null).
  bool Lookup(uint32_t key, uint32_t* value) const;
  // True when the key was there.
  bool RemoveKey(uint32_t key);
  void RemoveAll() { map_.clear(); }
  size_t Count() const { return map_.size(); }

 private:
  std::unordered_map<uint32_t, uint32_t> map_;
};

}  // namespace tintara
