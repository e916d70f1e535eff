// Block expander: any byte string expanded into a run of 16 tiles must fail or fill exactly
// that run, never touching memory outside it; what it accepts must survive another trip
// through the compressor.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "files/GraphicsLibCompress.h"

namespace {
constexpr size_t kRunBytes = 16 * 32 * 32 * 4;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly the run's size on the heap, so that the sanitizer sees any write past it.
  std::vector<uint8_t> run(kRunBytes);
  if (tintara::Expand(data, size, run.data(), run.size()) != tintara::GfxResult::Ok) return 0;
  std::vector<uint8_t> packed;
  if (tintara::CompressToMemory(run.data(), run.size(), packed) != tintara::GfxResult::Ok) __builtin_trap();
  std::vector<uint8_t> again(kRunBytes);
  if (tintara::Expand(packed.data(), packed.size(), again.data(), again.size()) != tintara::GfxResult::Ok)
    __builtin_trap();
  if (again != run) __builtin_trap();
  return 0;
}
