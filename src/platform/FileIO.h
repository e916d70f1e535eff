// Whole-file reads and atomic whole-file writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tintara {

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out);

// Writes `size` bytes to `path` through a temporary file in the same folder that is
// renamed over the target only when every byte is on disk, so a failed write never
// leaves half a file behind.
bool WriteFileAtomic(const std::string& path, const void* data, size_t size);

}  // namespace tintara
