// A plain block of memory that knows its size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Memory.h"

namespace tintara {

class CMemSeg {
 public:
  CMemSeg() = default;
  explicit CMemSeg(uint32_t size) { Allocate(size); }

  // Replaces the memory only when the new block could be taken.
  bool Allocate(uint32_t size);
  void Free();
  bool IsValid() const { return memory_ != nullptr; }
  // Copies min(length, size - offset) bytes when offset < size; returns the count.
  uint32_t Write(const void* data, uint32_t offset, uint32_t length);

  uint8_t* Memory() const { return memory_.get(); }
  uint32_t Size() const { return size_; }
  bool Owns() const { return owns_ != 0; }

 private:
  MemPtr<uint8_t> memory_;
  uint32_t size_ = 0;
  int32_t owns_ = 0;
};

}  // namespace tintara
