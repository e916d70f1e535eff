#include "pixel/DynArray.h"

#include <cstring>

#include "platform/Memory.h"

namespace tintara {

bool CDynArray::Allocate(int32_t elementSize, int32_t count) {
  if (elementSize < 1 || count < 0) {
    Free();
    return false;
  }
  if (count == 0) {  // an empty array
    Free();
    return true;
  }
  if (elementSize != elementSize_) Free();
  if (buffer_ && count == count_) return true;
  size_t bytes;
  if (!CheckedBytes(uint64_t(elementSize), uint64_t(count), kMaxBlockBytes, &bytes)) {
    Free();
    return false;
  }
  void* p = MemRealloc(buffer_, ByteSize(), bytes);
  if (!p) {
    Free();
    return false;
  }
  buffer_ = static_cast<uint8_t*>(p);
  count_ = count;
  elementSize_ = elementSize;
  return true;
}

bool CDynArray::Resize(int32_t elementSize, int32_t count) {
  if (!buffer_ || count == 0) return Allocate(elementSize, count);
  size_t bytes;
  if (elementSize < 1 || count < 0 ||
      !CheckedBytes(uint64_t(elementSize), uint64_t(count), kMaxBlockBytes, &bytes)) {
    Free();
    return false;
  }
  void* p = MemAlloc(bytes);
  if (!p) {  // like every failed allocation, the array ends empty
    Free();
    return false;
  }
  const size_t keep = bytes < ByteSize() ? bytes : ByteSize();
  std::memcpy(p, buffer_, keep);
  MemFree(buffer_);
  buffer_ = static_cast<uint8_t*>(p);
  count_ = count;
  elementSize_ = elementSize;
  return true;
}

void CDynArray::Free() {
  MemFree(buffer_);
  buffer_ = nullptr;
  count_ = 0;
  elementSize_ = 0;
}

void* CDynArray::Detach() {
  void* p = buffer_;
  buffer_ = nullptr;
  count_ = 0;
  elementSize_ = 0;
  return p;
}

bool CDynArray::TakeOver(CDynArray& other) {
  if (buffer_ || &other == this) return false;
  buffer_ = other.buffer_;
  count_ = other.count_;
  elementSize_ = other.elementSize_;
  other.buffer_ = nullptr;
  other.count_ = 0;
  other.elementSize_ = 0;
  return true;
}

bool CDynArray::CopyFrom(const CDynArray& other) {
  if (&other == this) return true;
  if (!other.buffer_) {
    Free();
    return true;
  }
  if (!Allocate(other.elementSize_, other.count_)) return false;
  std::memcpy(buffer_, other.buffer_, ByteSize());
  return true;
}

void CDynArray::FillBytes(uint8_t b) {
  if (buffer_) std::memset(buffer_, b, ByteSize());
}

bool CDynArray2D::Allocate(int32_t elementSize, int32_t width, int32_t height) {
  if (buffer_ && elementSize == elementSize_ && width == width_ && height == height_) return true;
  Free();
  if (elementSize < 1 || width < 1 || height < 1) return false;
  size_t bytes;
  if (!CheckedBytes(uint64_t(elementSize), uint64_t(width), uint64_t(height), kMaxBlockBytes, &bytes))
    return false;
  buffer_ = static_cast<uint8_t*>(MemAlloc(bytes));
  if (!buffer_) return false;
  width_ = width;
  height_ = height;
  count_ = width * height;
  elementSize_ = elementSize;
  return true;
}

void CDynArray2D::FillBytes(uint8_t b) {
  if (buffer_) std::memset(buffer_, b, size_t(count_) * size_t(elementSize_));
}

void CDynArray2D::FillWith(const void* record) {
  if (!buffer_) return;
  for (int32_t i = 0; i < count_; ++i)
    std::memcpy(buffer_ + size_t(i) * size_t(elementSize_), record, size_t(elementSize_));
}

void CDynArray2D::Free() {
  MemFree(buffer_);
  buffer_ = nullptr;
  width_ = height_ = count_ = elementSize_ = 0;
}

bool CRectArray::Allocate(int32_t count) {
  if (buffer_ && count == count_) return true;
  Free();
  if (count < 1) return false;
  size_t bytes;
  if (!CheckedBytes(uint64_t(count), kItemSize, kMaxBlockBytes, &bytes)) return false;
  buffer_ = static_cast<uint8_t*>(MemAlloc(bytes));
  if (!buffer_) return false;
  count_ = count;
  return true;
}

void CRectArray::Free() {
  MemFree(buffer_);
  buffer_ = nullptr;
  count_ = 0;
}

bool CRectArray::TakeOver(CRectArray& other) {
  if (buffer_ || &other == this) return false;
  buffer_ = other.buffer_;
  count_ = other.count_;
  other.buffer_ = nullptr;
  other.count_ = 0;
  return true;
}

}  // namespace tintara
