// Small helpers for pixel tests: buffers from literal grids and back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pixel/DibCore.h"

namespace tintara::test {

using Grid = std::vector<std::vector<uint32_t>>;

inline void Load(CDibCore& b, const Grid& g) {
  for (int32_t y = 0; y < int32_t(g.size()); ++y)
    for (int32_t x = 0; x < int32_t(g[y].size()); ++x) b.Row32(y)[x] = g[y][x];
}

inline Grid Dump(const CDibCore& b) {
  Grid g(size_t(b.Height()), std::vector<uint32_t>(size_t(b.Width())));
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) g[y][x] = b.Row32(y)[x];
  return g;
}

inline Grid Dump8(const CDibCore& b) {
  Grid g(size_t(b.Height()), std::vector<uint32_t>(size_t(b.Width())));
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) g[y][x] = b.Row8(y)[x];
  return g;
}

inline std::string Show(const Grid& g) {
  std::string s;
  for (auto& row : g) {
    for (auto v : row) s += std::to_string(v) + " ";
    s += "\n";
  }
  return s;
}

// A primitive that stores the weight it was called with, to see what a raster does.
inline void RecordWeight(uint32_t* p, uint32_t, uint8_t t) { *p = t; }

}  // namespace tintara::test
