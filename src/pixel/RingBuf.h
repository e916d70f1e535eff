// A ring of fixed-size records with a back part (the current record and those before
// it, for undo) and a forward part (records stepped back over, for redo).
//
// The back count never exceeds the back capacity through Push; stepping back moves
// records to the forward part, so the forward capacity only adds storage. One spare
// slot keeps ReplaceCurrent from ever overwriting a forward record.
#pragma once

#include <cstdint>

#include "platform/Memory.h"

namespace tintara {

class CRingBuf {
 public:
  explicit CRingBuf(int32_t recordSize = 0) : recordSize_(recordSize) {}
  virtual ~CRingBuf() = default;
  CRingBuf(const CRingBuf&) = delete;
  CRingBuf& operator=(const CRingBuf&) = delete;

  // Needs backCapacity >= 1 and recordSize >= 1; drops everything held.
  bool Setup(int32_t recordSize, int32_t backCapacity, int32_t forwardCapacity);
  bool Valid() const { return buffer_ != nullptr && backCapacity_ > 0; }
  void Clear();
  bool Push(const void* record);
  bool ReplaceCurrent(const void* record);
  // Forgets the current record (nothing moves to the forward part).
  bool Drop();
  bool StepBack();
  bool StepForward();
  int32_t DiscardForward();
  bool Current(void* out) const;
  // k = 0: the current record; k < 0: |k| records back; k > 0: k records forward.
  bool Peek(int32_t k, void* out) const;
  // Keeps the newest back records and the nearest forward records that fit the new
  // capacities, in order; the cursor ends on the last kept back record.
  bool Reconfigure(int32_t backCapacity, int32_t forwardCapacity);

  int32_t RecordSize() const { return recordSize_; }
  int32_t BackCapacity() const { return backCapacity_; }
  int32_t ForwardCapacity() const { return forwardCapacity_; }
  int32_t BackCount() const { return backCount_; }
  int32_t ForwardCount() const { return forwardCount_; }

 protected:
  int32_t Slots() const { return backCapacity_ + forwardCapacity_ + 1; }
  int32_t Wrap(int64_t slot) const {
    const int64_t n = Slots();
    return int32_t(((slot % n) + n) % n);
  }
  uint8_t* SlotPtr(int32_t slot) const { return buffer_.get() + size_t(slot) * size_t(recordSize_); }

  int32_t byteSize_ = 0;
  MemPtr<uint8_t> buffer_;
  int32_t recordSize_ = 0;
  int32_t backCapacity_ = 0;
  int32_t forwardCapacity_ = 0;
  int32_t backCount_ = 0;
  int32_t forwardCount_ = 0;
  int32_t cursor_ = 0;  // slot of the current record
};

// The 32-bit specialisation used by the event recorder.
class CRingBufDWORD : public CRingBuf {
 public:
  CRingBufDWORD() : CRingBuf(4) {}
  bool Setup(int32_t backCapacity, int32_t forwardCapacity) {
    return CRingBuf::Setup(4, backCapacity, forwardCapacity);
  }
  // The value at the cursor without a count check; 0 for a ring that was never set up.
  uint32_t CurrentValue() const;
  bool Peek(int32_t k, uint32_t& out) const { return CRingBuf::Peek(k, &out); }
  bool ReplaceCurrent(uint32_t v) { return CRingBuf::ReplaceCurrent(&v); }
  bool Push(uint32_t v) { return CRingBuf::Push(&v); }
};

}  // namespace tintara
