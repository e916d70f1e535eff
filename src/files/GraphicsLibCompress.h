// The block compressor of the native file and the event stream, and its expander.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "files/GraphicsLibResult.h"

namespace tintara {

// Output buffer of the file form, and first buffer of the memory form.
inline constexpr size_t kCompressFileBuffer = 16 * 1024;
inline constexpr size_t kCompressMemoryStart = 64 * 1024;

// Like fwrite: writes `count` items of `size` bytes, returns the number of items written.
using CompressWriteFn = std::function<size_t(const uint8_t* buffer, size_t size, size_t count)>;
// Returns a buffer of at least `newSize` bytes that begins with the old buffer's contents, or
// nullptr when there is no memory.
using CompressGrowFn = std::function<uint8_t*(uint8_t* buffer, size_t newSize)>;

// Where the compressed bytes go: exactly one of write (file form) and grow (memory form).
struct CompressControl {
  CompressWriteFn write;
  CompressGrowFn grow;
  uint64_t outputLength = 0;  // set by Compress: the compressed length
};

// Compresses src[0..srcLen) into buffer[0..bufferSize). File form: each time the buffer is full
// (and once at the end) its contents go out through write, which must take them all. Memory
// form: when the buffer is full grow is asked for one twice as large; the compressed bytes are
// the first outputLength bytes of the last buffer grow returned (or of `buffer`).
GfxResult Compress(const uint8_t* src, size_t srcLen, uint8_t* buffer, size_t bufferSize,
                   CompressControl& control);
// The two forms with their usual buffers.
GfxResult CompressToWriter(const uint8_t* src, size_t srcLen, const CompressWriteFn& write,
                           uint64_t* outputLength);
GfxResult CompressToMemory(const uint8_t* src, size_t srcLen, std::vector<uint8_t>& out);

// Expands one compressed block read from src[0..srcLen) (the block may end before srcLen).
// Succeeds only when it produces exactly dstLen bytes; never writes outside dst[0..dstLen).
GfxResult Expand(const uint8_t* src, size_t srcLen, uint8_t* dst, size_t dstLen);

}  // namespace tintara
