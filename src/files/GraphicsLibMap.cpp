// The 32-bit map.
#include <new>
#include <stdexcept>

#include "files/GraphicsLibMap.h"

namespace tintara {

int32_t CMapDD::Create(uint32_t initialSize) {
  map_.clear();
  if (initialSize > kMaxInitialSize) return 1;
  try {
    map_.reserve(initialSize);
  } catch (const std::bad_alloc&) {
    return 1;
  } catch (const std::length_error&) {
    return 1;
  }
  return 0;
}

bool CMapDD::SetAt(uint32_t key, uint32_t value) {
  try {
    map_.insert_or_assign(key, value);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool CMapDD::Lookup(uint32_t key, uint32_t* value) const {
  const auto it = map_.find(key);
  if (it == map_.end()) return false;
  if (value) *value = it->second;
  return true;
}

bool CMapDD::RemoveKey(uint32_t key) { return map_.erase(key) != 0; }

}  // namespace tintara
