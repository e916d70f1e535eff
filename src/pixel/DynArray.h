// Dynamic arrays of fixed-size elements whose size is known only at run time: tile
// tables, level arrays, rectangle lists. Allocation failure returns false and leaves
// the array empty; element size times count is checked before anything is taken.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tintara {

class CDynArray {
 public:
  CDynArray() = default;
  ~CDynArray() { Free(); }
  CDynArray(const CDynArray&) = delete;
  CDynArray& operator=(const CDynArray&) = delete;

  // A different element size frees the old buffer first; the same count with a buffer
  // present does nothing; a count of 0 leaves the array empty; otherwise the buffer is
  // reallocated (content kept as far as it fits, new bytes zero). Any failure leaves the
  // array empty.
  bool Allocate(int32_t elementSize, int32_t count);
  // Like Allocate but always keeps the old bytes up to the smaller size.
  bool Resize(int32_t elementSize, int32_t count);
  void Free();
  // Hands the buffer over to the caller (free it with MemFree) and forgets it.
  void* Detach();
  // Takes the other's buffer when this one is empty; false otherwise.
  bool TakeOver(CDynArray& other);
  // Allocates and copies the other's bytes; an empty source empties this array.
  bool CopyFrom(const CDynArray& other);
  void FillBytes(uint8_t b);

  size_t ByteSize() const { return size_t(count_) * size_t(elementSize_); }
  bool IsAllocated() const { return buffer_ != nullptr; }
  int32_t Count() const { return count_; }
  int32_t ElementSize() const { return elementSize_; }
  uint8_t* Data() const { return buffer_; }
  template <class T>
  T* As() const {
    return reinterpret_cast<T*>(buffer_);
  }
  uint8_t* At(int32_t i) const { return buffer_ + size_t(i) * size_t(elementSize_); }

 private:
  int32_t count_ = 0;
  uint8_t* buffer_ = nullptr;
  int32_t elementSize_ = 0;
};

class CDynArray2D {
 public:
  CDynArray2D() = default;
  ~CDynArray2D() { Free(); }
  CDynArray2D(const CDynArray2D&) = delete;
  CDynArray2D& operator=(const CDynArray2D&) = delete;

  // Same element size, width and height with a buffer present: nothing to do.
  bool Allocate(int32_t elementSize, int32_t width, int32_t height);
  void FillBytes(uint8_t b);
  // Copies one record of ElementSize() bytes into every element.
  void FillWith(const void* record);
  void Free();

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int32_t Count() const { return count_; }
  int32_t ElementSize() const { return elementSize_; }
  uint8_t* Data() const { return buffer_; }
  uint8_t* At(int32_t x, int32_t y) const {
    return buffer_ + (size_t(y) * size_t(width_) + size_t(x)) * size_t(elementSize_);
  }

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t count_ = 0;
  int32_t elementSize_ = 0;
  uint8_t* buffer_ = nullptr;
};

// A list of 8-byte items.
class CRectArray {
 public:
  static constexpr int32_t kItemSize = 8;
  CRectArray() = default;
  ~CRectArray() { Free(); }
  CRectArray(const CRectArray&) = delete;
  CRectArray& operator=(const CRectArray&) = delete;

  // Reuses a buffer of the same count.
  bool Allocate(int32_t count);
  void Free();
  bool TakeOver(CRectArray& other);

  int32_t Count() const { return count_; }
  uint8_t* Data() const { return buffer_; }

 private:
  int32_t count_ = 0;
  uint8_t* buffer_ = nullptr;
};

}  // namespace tintara
