#include "pixel/MemSeg.h"

#include <cstring>

namespace tintara {

bool CMemSeg::Allocate(uint32_t size) {
  MemPtr<uint8_t> p(static_cast<uint8_t*>(MemAlloc(size)));
  if (!p) return false;
  memory_ = std::move(p);
  size_ = size;
  owns_ = 1;
  return true;
}

void CMemSeg::Free() {
  memory_.reset();
  size_ = 0;
  owns_ = 0;
}

uint32_t CMemSeg::Write(const void* data, uint32_t offset, uint32_t length) {
  if (!memory_ || offset >= size_) return 0;
  const uint32_t n = length < size_ - offset ? length : size_ - offset;
  std::memcpy(memory_.get() + offset, data, n);
  return n;
}

}  // namespace tintara
