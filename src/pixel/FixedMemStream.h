// A stream over a caller's buffer of fixed size. It never owns, grows or writes past
// the buffer: writes are cut at the end and report the short count.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tintara {

enum class SeekOrigin { Begin, Current, End };

class CFixedMemStream {
 public:
  CFixedMemStream(void* memory, size_t size)
      : memory_(static_cast<uint8_t*>(memory)), size_(memory ? size : 0) {}

  size_t Read(void* out, size_t count);
  size_t Write(const void* in, size_t count);
  // Returns the new position; positions are clamped to 0 .. size.
  size_t Seek(int64_t offset, SeekOrigin origin);

  size_t Position() const { return position_; }
  size_t Size() const { return size_; }
  uint8_t* Memory() const { return memory_; }
  // The size is fixed.
  void SetSize(size_t) {}
  // Hands the buffer back and leaves the stream empty.
  uint8_t* Detach();

 private:
  uint8_t* memory_;
  size_t size_;
  size_t position_ = 0;
};

}  // namespace tintara
