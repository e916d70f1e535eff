// The two directions of a packet record's field list. A fixed-layout record lists its
// fields once, in a static `Fields(record, io)`, and the same list writes it (FieldWriter)
// and reads it (FieldReader), so the two can never disagree about an offset.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "pixel/ByteIO.h"

namespace tintara {

// Limits applied to what packets claim, before anything is allocated or drawn.
inline constexpr int32_t kMaxPictureSide = 10000;
// Point lists and samples are clipped into this range on either side of the picture's
// origin; anything farther out cannot touch a picture and only risks overflow later.
inline constexpr int32_t kCoordinateLimit = 65536;

struct Point32 {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const Point32&) const = default;
};

inline bool IsPictureSide(int64_t v) { return v >= 1 && v <= kMaxPictureSide; }
inline int32_t ClipCoordinate(int32_t v) {
  return v < -kCoordinateLimit ? -kCoordinateLimit : (v > kCoordinateLimit ? kCoordinateLimit : v);
}
inline float ClipCoordinate(float v) {
  const float lim = float(kCoordinateLimit);
  return v < -lim ? -lim : (v > lim ? lim : v);
}

// A text field holds the string's bytes, a terminating zero and zero padding to an even
// length. The empty string is stored as length 0, with no bytes at all.
inline size_t StoredTextLength(const std::string& s) { return s.empty() ? 0 : (s.size() + 2) & ~size_t(1); }
// A string that can be stored in `limit` bytes: no zero inside, padded length within limit.
inline bool StorableText(const std::string& s, size_t limit) {
  return s.find('\0') == std::string::npos && StoredTextLength(s) <= limit;
}
inline void WriteTextBytes(ByteWriter& w, const std::string& s) {
  w.bytes(s.data(), s.size());
  w.zeros(StoredTextLength(s) - s.size());
}
// Reads an n-byte text field: n must be even and, unless 0, hold a terminating zero.
inline bool ReadTextBytes(ByteReader& r, size_t n, std::string& out) {
  out.clear();
  if (n % 2 != 0 || n > r.left()) return false;
  const auto* p = reinterpret_cast<const char*>(r.here());
  size_t len = 0;
  while (len < n && p[len] != '\0') ++len;
  if (n != 0 && len == n) return false;
  out.assign(p, len);
  r.skip(n);
  return r.ok();
}

// Colours in packets are the low 24 bits of the colour word in 3 bytes, low byte first.
inline uint32_t ColourFromBytes(uint8_t b0, uint8_t b1, uint8_t b2) {
  return uint32_t(b0) | uint32_t(b1) << 8 | uint32_t(b2) << 16;
}

class FieldWriter {
 public:
  explicit FieldWriter(ByteWriter& w) : w_(w) {}
  bool ok() const { return ok_; }
  void fail() { ok_ = false; }

  void u8(uint8_t v) { w_.u8(v); }
  void u16(uint16_t v) { w_.u16(v); }
  void u32(uint32_t v) { w_.u32(v); }
  void i16(int16_t v) { w_.i16(v); }
  void i32(int32_t v) { w_.i32(v); }
  void f32(float v) { w_.f32(v); }
  void point(const Point32& p) { w_.i32(p.x), w_.i32(p.y); }
  void colour(uint32_t c) { w_.u8(uint8_t(c)), w_.u8(uint8_t(c >> 8)), w_.u8(uint8_t(c >> 16)); }
  // The old packet stream stores colours high byte first: (b0 << 16) | (b1 << 8) | b2.
  void oldColour(uint32_t c) { w_.u8(uint8_t(c >> 16)), w_.u8(uint8_t(c >> 8)), w_.u8(uint8_t(c)); }
  void zeros(size_t n) { w_.zeros(n); }
  template <size_t N>
  void raw(const std::array<uint8_t, N>& a) {
    w_.bytes(a.data(), N);
  }
  // uint16 stored length, then the text.
  void text16(const std::string& s) {
    if (!StorableText(s, 0xFFFF)) return fail();
    w_.u16(uint16_t(StoredTextLength(s)));
    WriteTextBytes(w_, s);
  }
  // uint16 count, then the points.
  void points16(const std::vector<Point32>& pts) {
    if (pts.size() > 0xFFFF) return fail();
    w_.u16(uint16_t(pts.size()));
    for (const Point32& p : pts) point(p);
  }

 private:
  ByteWriter& w_;
  bool ok_ = true;
};

// Reads fields; a field past the end fails, except zero padding, which may be cut short
// where a packet's length is shorter than its layout. A non-finite float fails too.
class FieldReader {
 public:
  explicit FieldReader(ByteReader& r) : r_(r) {}
  bool ok() const { return ok_ && r_.ok(); }
  void fail() { ok_ = false; }

  void u8(uint8_t& v) { v = r_.u8(); }
  void u16(uint16_t& v) { v = r_.u16(); }
  void u32(uint32_t& v) { v = r_.u32(); }
  void i16(int16_t& v) { v = r_.i16(); }
  void i32(int32_t& v) { v = r_.i32(); }
  void f32(float& v) {
    v = r_.f32();
    if (!std::isfinite(v)) fail();
  }
  void point(Point32& p) { p.x = r_.i32(), p.y = r_.i32(); }
  void colour(uint32_t& c) {
    const uint8_t b0 = r_.u8(), b1 = r_.u8(), b2 = r_.u8();
    c = ColourFromBytes(b0, b1, b2);
  }
  void oldColour(uint32_t& c) {
    const uint8_t b0 = r_.u8(), b1 = r_.u8(), b2 = r_.u8();
    c = uint32_t(b0) << 16 | uint32_t(b1) << 8 | b2;
  }
  void zeros(size_t n) { r_.skip(n < r_.left() ? n : r_.left()); }
  template <size_t N>
  void raw(std::array<uint8_t, N>& a) {
    if (!r_.bytes(a.data(), N)) a.fill(0);
  }
  void text16(std::string& s) {
    const uint16_t n = r_.u16();
    if (!r_.ok() || !ReadTextBytes(r_, n, s)) fail();
  }
  void points16(std::vector<Point32>& pts) {
    const uint16_t n = r_.u16();
    pts.clear();
    if (!r_.ok() || uint64_t(n) * 8 > r_.left()) return fail();
    pts.resize(n);
    for (Point32& p : pts) point(p);
  }

 private:
  ByteReader& r_;
  bool ok_ = true;
};

}  // namespace tintara
