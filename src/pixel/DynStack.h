// A stack of fixed-size records with a capacity fixed at construction. A push on a full
// stack sets the overflow flag instead of growing (the flood fill reads it to tell that
// a fill was incomplete).
#pragma once

#include <cstdint>

#include "pixel/DynArray.h"

namespace tintara {

class CDynStack {
 public:
  // When the allocation fails the stack has capacity 0 and every push overflows.
  CDynStack(int32_t recordSize, int32_t capacity);

  bool Reset();
  bool Push(const void* record);
  bool Pop(void* out);

  int32_t Depth() const { return depth_; }
  int32_t Capacity() const { return capacity_; }
  bool Overflowed() const { return overflow_ != 0; }

 private:
  CDynArray records_;
  uint8_t overflow_ = 0;
  int32_t top_ = 0;  // byte offset of the next free record
  int32_t depth_ = 0;
  int32_t recordSize_ = 0;
  int32_t capacity_ = 0;
};

}  // namespace tintara
