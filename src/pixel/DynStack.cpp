#include "pixel/DynStack.h"

#include <cstring>

namespace tintara {

CDynStack::CDynStack(int32_t recordSize, int32_t capacity) {
  if (recordSize > 0 && capacity > 0 && records_.Allocate(recordSize, capacity)) {
    recordSize_ = recordSize;
    capacity_ = capacity;
  }
}

bool CDynStack::Reset() {
  depth_ = 0;
  overflow_ = 0;
  top_ = 0;
  return records_.IsAllocated();
}

bool CDynStack::Push(const void* record) {
  if (depth_ >= capacity_) {
    overflow_ = 1;
    return false;
  }
  std::memcpy(records_.At(depth_), record, size_t(recordSize_));
  ++depth_;
  top_ = depth_ * recordSize_;
  return true;
}

bool CDynStack::Pop(void* out) {
  if (depth_ <= 0) return false;
  --depth_;
  top_ = depth_ * recordSize_;
  std::memcpy(out, records_.At(depth_), size_t(recordSize_));
  return true;
}

}  // namespace tintara
