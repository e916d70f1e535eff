// Builds packet bytes by hand, field by field, independently of the encoders under test.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "document/PaperHost.h"

namespace tintara::test {

// Paper settings with an undo depth, as the recording tests' pictures take them.
inline PaperSettings WithUndo(int32_t undoMax) {
  PaperSettings s;
  s.undoMax = undoMax;
  return s;
}

struct Bytes {
  std::vector<uint8_t> b;

  Bytes& u8(uint32_t v) {
    b.push_back(uint8_t(v));
    return *this;
  }
  Bytes& u16(uint32_t v) { return u8(v).u8(v >> 8); }
  Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Bytes& i16(int32_t v) { return u16(uint32_t(v) & 0xFFFF); }
  Bytes& i32(int32_t v) { return u32(uint32_t(v)); }
  Bytes& f32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return u32(v);
  }
  Bytes& zeros(size_t n) {
    b.insert(b.end(), n, 0);
    return *this;
  }
  Bytes& fill(size_t n, uint8_t v) {
    b.insert(b.end(), n, v);
    return *this;
  }
  Bytes& text(const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& bytes(std::initializer_list<uint8_t> v) {
    b.insert(b.end(), v.begin(), v.end());
    return *this;
  }
  Bytes& append(const std::vector<uint8_t>& v) {
    b.insert(b.end(), v.begin(), v.end());
    return *this;
  }
  size_t size() const { return b.size(); }
  operator std::span<const uint8_t>() const { return b; }
};

// A packet: kind, sub and the payload bytes.
inline std::vector<uint8_t> Packet(uint8_t kind, uint8_t sub, const Bytes& payload) {
  std::vector<uint8_t> p{kind, sub};
  p.insert(p.end(), payload.b.begin(), payload.b.end());
  return p;
}

inline std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace tintara::test
