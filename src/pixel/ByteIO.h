// Little-endian readers and writers over byte buffers. Every record that goes to disk,
// to the clipboard or into an event packet is read and written field by field with
// these, never by copying a struct.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace tintara {

// Reads from a fixed span; any read past the end sets the failure flag and yields 0,
// so a sequence of reads can be checked once with ok().
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  size_t size() const { return size_; }
  size_t left() const { return ok_ ? size_ - pos_ : 0; }
  const uint8_t* here() const { return data_ + pos_; }

  void seek(size_t p) {
    if (p > size_) {
      ok_ = false;
      return;
    }
    pos_ = p;
  }
  void skip(size_t n) {
    if (n > left()) {
      ok_ = false;
      pos_ = size_;
      return;
    }
    pos_ += n;
  }
  uint8_t u8() { return uint8_t(take(1)); }
  uint16_t u16() { return uint16_t(take(2)); }
  uint32_t u32() { return uint32_t(take(4)); }
  uint64_t u64() { return take(8); }
  int8_t i8() { return int8_t(u8()); }
  int16_t i16() { return int16_t(u16()); }
  int32_t i32() { return int32_t(u32()); }
  int64_t i64() { return int64_t(u64()); }
  float f32() {
    uint32_t v = u32();
    float f;
    std::memcpy(&f, &v, 4);
    return f;
  }
  double f64() {
    uint64_t v = u64();
    double d;
    std::memcpy(&d, &v, 8);
    return d;
  }
  // Copies n bytes out; false (and nothing copied) when they are not there.
  bool bytes(void* out, size_t n) {
    if (n > left()) {
      ok_ = false;
      pos_ = size_;
      return false;
    }
    if (n) std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
  }

 private:
  uint64_t take(int n) {
    if (size_t(n) > left()) {
      ok_ = false;
      pos_ = size_;
      return 0;
    }
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= uint64_t(data_[pos_ + i]) << (8 * i);
    pos_ += size_t(n);
    return v;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Appends to a growing byte vector.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

  void u8(uint8_t v) { out_.push_back(v); }
  void u16(uint16_t v) { put(v, 2); }
  void u32(uint32_t v) { put(v, 4); }
  void u64(uint64_t v) { put(v, 8); }
  void i8(int8_t v) { u8(uint8_t(v)); }
  void i16(int16_t v) { u16(uint16_t(v)); }
  void i32(int32_t v) { u32(uint32_t(v)); }
  void i64(int64_t v) { u64(uint64_t(v)); }
  void f32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    u32(v);
  }
  void f64(double d) {
    uint64_t v;
    std::memcpy(&v, &d, 8);
    u64(v);
  }
  void bytes(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    out_.insert(out_.end(), b, b + n);
  }
  void zeros(size_t n) { out_.insert(out_.end(), n, 0); }
  size_t size() const { return out_.size(); }
  // Overwrites a 32-bit value written earlier (sizes known only afterwards).
  void patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out_[at + size_t(i)] = uint8_t(v >> (8 * i));
  }

 private:
  void put(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out_.push_back(uint8_t(v >> (8 * i)));
  }
  std::vector<uint8_t>& out_;
};

// Overwrites little-endian values inside a fixed span, for records edited in place in a
// stored stream. A value that would not fit is not written and the call returns false.
class BytePatcher {
 public:
  BytePatcher(uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool u8(size_t at, uint8_t v) { return put(at, v, 1); }
  bool u16(size_t at, uint16_t v) { return put(at, v, 2); }
  bool u32(size_t at, uint32_t v) { return put(at, v, 4); }

 private:
  bool put(size_t at, uint64_t v, size_t n) {
    if (at > size_ || size_ - at < n) return false;
    for (size_t i = 0; i < n; ++i) data_[at + i] = uint8_t(v >> (8 * i));
    return true;
  }
  uint8_t* data_;
  size_t size_;
};

}  // namespace tintara
