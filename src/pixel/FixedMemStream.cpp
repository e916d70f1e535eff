#include "pixel/FixedMemStream.h"

#include <cstring>

namespace tintara {

size_t CFixedMemStream::Read(void* out, size_t count) {
  if (!memory_ || position_ >= size_) return 0;
  const size_t n = count < size_ - position_ ? count : size_ - position_;
  std::memcpy(out, memory_ + position_, n);
  position_ += n;
  return n;
}

size_t CFixedMemStream::Write(const void* in, size_t count) {
  if (!memory_ || position_ >= size_) return 0;
  const size_t n = count < size_ - position_ ? count : size_ - position_;
  std::memmove(memory_ + position_, in, n);
  position_ += n;
  return n;
}

size_t CFixedMemStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = origin == SeekOrigin::Begin     ? 0
                 : origin == SeekOrigin::Current ? int64_t(position_)
                                                 : int64_t(size_);
  int64_t p = base + offset;
  if (p < 0) p = 0;
  if (p > int64_t(size_)) p = int64_t(size_);
  position_ = size_t(p);
  return position_;
}

uint8_t* CFixedMemStream::Detach() {
  uint8_t* m = memory_;
  memory_ = nullptr;
  size_ = 0;
  position_ = 0;
  return m;
}

}  // namespace tintara
