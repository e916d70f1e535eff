// Heap blocks for pixel stores, tables and streams.
//
// Every allocation of a large block goes through here, so that a failure is a null
// pointer at the place that asked (never an exception or an abort), every block is
// zero-filled, and tests can make allocations fail to walk the out-of-memory paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tintara {

// The largest single block handed out. Pixel stores address rows by 32-bit byte
// offsets and arrays count in 32-bit integers, so no block larger than this could be used.
inline constexpr size_t kMaxBlockBytes = 0x7FFFFFFF;

// A zero-filled block of `bytes` bytes, or nullptr (also for 0 bytes and for sizes
// above kMaxBlockBytes).
void* MemAlloc(size_t bytes);
// Grows or shrinks a block; bytes beyond the old size are zero. On failure returns
// nullptr and the old block is untouched.
void* MemRealloc(void* block, size_t oldBytes, size_t newBytes);
void MemFree(void* block);

// Multiplies counts and sizes without overflow; false when the product does not fit
// or exceeds `limit`.
bool CheckedBytes(uint64_t a, uint64_t b, uint64_t limit, size_t* out);
bool CheckedBytes(uint64_t a, uint64_t b, uint64_t c, uint64_t limit, size_t* out);

struct MemDeleter {
  void operator()(void* p) const { MemFree(p); }
};
template <class T>
using MemPtr = std::unique_ptr<T, MemDeleter>;

template <class T>
MemPtr<T> MemAllocArray(size_t count) {
  size_t bytes;
  if (!CheckedBytes(count, sizeof(T), kMaxBlockBytes, &bytes)) return MemPtr<T>();
  return MemPtr<T>(static_cast<T*>(MemAlloc(bytes)));
}

// While alive, lets `allowed` more allocations succeed and fails every one after
// that (for tests of the out-of-memory paths). Nests.
class ScopedAllocFailure {
 public:
  explicit ScopedAllocFailure(long allowed = 0);
  ~ScopedAllocFailure();
  ScopedAllocFailure(const ScopedAllocFailure&) = delete;
  ScopedAllocFailure& operator=(const ScopedAllocFailure&) = delete;
  long FailedCount() const;

 private:
  long previousBudget_;
  long previousFailed_;
};

}  // namespace tintara
