#include "pixel/RingBuf.h"

#include <cstring>

namespace tintara {

bool CRingBuf::Setup(int32_t recordSize, int32_t backCapacity, int32_t forwardCapacity) {
  if (backCapacity < 1 || recordSize < 1 || forwardCapacity < 0) return false;
  buffer_.reset();
  byteSize_ = 0;
  backCapacity_ = forwardCapacity_ = backCount_ = forwardCount_ = cursor_ = 0;
  size_t bytes;
  const uint64_t slots = uint64_t(backCapacity) + uint64_t(forwardCapacity) + 1;
  if (!CheckedBytes(uint64_t(recordSize), slots, 0x7FFFFFFFu, &bytes)) return false;
  buffer_.reset(static_cast<uint8_t*>(MemAlloc(bytes)));
  if (!buffer_) return false;
  byteSize_ = int32_t(bytes);
  recordSize_ = recordSize;
  backCapacity_ = backCapacity;
  forwardCapacity_ = forwardCapacity;
  return true;
}

void CRingBuf::Clear() {
  cursor_ = 0;
  backCount_ = forwardCount_ = 0;
}

bool CRingBuf::Push(const void* record) {
  if (!Valid()) return false;
  cursor_ = Wrap(int64_t(cursor_) + 1);
  std::memcpy(SlotPtr(cursor_), record, size_t(recordSize_));
  backCount_ = backCount_ + 1 < backCapacity_ ? backCount_ + 1 : backCapacity_;
  forwardCount_ = 0;
  return true;
}

bool CRingBuf::ReplaceCurrent(const void* record) {
  if (!Valid()) return false;
  std::memcpy(SlotPtr(cursor_), record, size_t(recordSize_));
  if (backCount_ == 0) {
    backCount_ = 1;
    // The record becomes part of the back count: the farthest forward records give way so
    // that both counts together stay within the back capacity (and never share a slot).
    if (forwardCount_ > backCapacity_ - 1) forwardCount_ = backCapacity_ - 1;
  }
  return true;
}

bool CRingBuf::Drop() {
  if (!Valid() || backCount_ <= 0) return false;
  cursor_ = Wrap(int64_t(cursor_) - 1);
  --backCount_;
  forwardCount_ = 0;
  return true;
}

bool CRingBuf::StepBack() {
  if (!Valid() || backCount_ <= 0) return false;
  cursor_ = Wrap(int64_t(cursor_) - 1);
  --backCount_;
  ++forwardCount_;
  return true;
}

bool CRingBuf::StepForward() {
  if (!Valid() || forwardCount_ <= 0) return false;
  cursor_ = Wrap(int64_t(cursor_) + 1);
  ++backCount_;
  --forwardCount_;
  return true;
}

int32_t CRingBuf::DiscardForward() {
  const int32_t old = forwardCount_;
  forwardCount_ = 0;
  return old;
}

bool CRingBuf::Current(void* out) const {
  if (!Valid() || backCount_ <= 0) return false;
  std::memcpy(out, SlotPtr(cursor_), size_t(recordSize_));
  return true;
}

bool CRingBuf::Peek(int32_t k, void* out) const {
  if (k == 0) return Current(out);
  if (!Valid()) return false;
  if (k < 0) {
    if (-int64_t(k) > int64_t(backCount_) - 1) return false;
  } else if (k > forwardCount_) {
    return false;
  }
  std::memcpy(out, SlotPtr(Wrap(int64_t(cursor_) + k)), size_t(recordSize_));
  return true;
}

bool CRingBuf::Reconfigure(int32_t backCapacity, int32_t forwardCapacity) {
  if (backCapacity == backCapacity_ && forwardCapacity == forwardCapacity_) return true;
  if (backCapacity <= 0 || recordSize_ <= 0 || forwardCapacity < 0) return false;
  const int32_t keepBack = backCount_ < backCapacity ? backCount_ : backCapacity;
  const int32_t keepForward = forwardCount_ < forwardCapacity ? forwardCount_ : forwardCapacity;
  if (keepBack == 0 && keepForward > 0) return false;
  size_t bytes;
  const uint64_t slots = uint64_t(backCapacity) + uint64_t(forwardCapacity) + 1;
  if (!CheckedBytes(uint64_t(recordSize_), slots, 0x7FFFFFFFu, &bytes)) return false;
  MemPtr<uint8_t> fresh(static_cast<uint8_t*>(MemAlloc(bytes)));
  if (!fresh) return false;
  // New layout: kept back records in slots 0 .. keepBack-1 (oldest first), then the
  // forward records in the order they would be stepped into.
  const size_t rs = size_t(recordSize_);
  int32_t slot = 0;
  if (buffer_) {
    for (int32_t i = keepBack - 1; i >= 0; --i)
      std::memcpy(fresh.get() + rs * size_t(slot++), SlotPtr(Wrap(int64_t(cursor_) - i)), rs);
    for (int32_t i = 1; i <= keepForward; ++i)
      std::memcpy(fresh.get() + rs * size_t(slot++), SlotPtr(Wrap(int64_t(cursor_) + i)), rs);
  }
  buffer_ = std::move(fresh);
  byteSize_ = int32_t(bytes);
  backCapacity_ = backCapacity;
  forwardCapacity_ = forwardCapacity;
  backCount_ = keepBack;
  forwardCount_ = keepForward;
  cursor_ = keepBack > 0 ? keepBack - 1 : 0;
  return true;
}

uint32_t CRingBufDWORD::CurrentValue() const {
  if (!buffer_) return 0;
  uint32_t v;
  std::memcpy(&v, SlotPtr(cursor_), 4);
  return v;
}

}  // namespace tintara
