#include "platform/Memory.h"

#include <cstdlib>
#include <cstring>

namespace tintara {
namespace {
// Negative: no injected failures. Otherwise the number of allocations that may still succeed.
long g_budget = -1;
long g_failed = 0;

bool TakeBudget() {
  if (g_budget < 0) return true;
  if (g_budget == 0) {
    ++g_failed;
    return false;
  }
  --g_budget;
  return true;
}
}  // namespace

void* MemAlloc(size_t bytes) {
  if (bytes == 0 || bytes > kMaxBlockBytes) return nullptr;
  if (!TakeBudget()) return nullptr;
  return std::calloc(1, bytes);
}

void* MemRealloc(void* block, size_t oldBytes, size_t newBytes) {
  if (!block) return MemAlloc(newBytes);
  if (newBytes == 0 || newBytes > kMaxBlockBytes) return nullptr;
  if (!TakeBudget()) return nullptr;
  void* p = std::realloc(block, newBytes);
  if (!p) return nullptr;
  if (newBytes > oldBytes) std::memset(static_cast<uint8_t*>(p) + oldBytes, 0, newBytes - oldBytes);
  return p;
}

void MemFree(void* block) { std::free(block); }

bool CheckedBytes(uint64_t a, uint64_t b, uint64_t limit, size_t* out) {
  unsigned __int128 p = (unsigned __int128)a * b;
  if (p > limit) return false;
  *out = size_t(p);
  return true;
}

bool CheckedBytes(uint64_t a, uint64_t b, uint64_t c, uint64_t limit, size_t* out) {
  unsigned __int128 p = (unsigned __int128)a * b;
  if (p > limit) return false;
  p *= c;
  if (p > limit) return false;
  *out = size_t(p);
  return true;
}

ScopedAllocFailure::ScopedAllocFailure(long allowed) : previousBudget_(g_budget), previousFailed_(g_failed) {
  g_budget = allowed;
  g_failed = 0;
}

ScopedAllocFailure::~ScopedAllocFailure() {
  g_budget = previousBudget_;
  g_failed = previousFailed_;
}

long ScopedAllocFailure::FailedCount() const { return g_failed; }

}  // namespace tintara
