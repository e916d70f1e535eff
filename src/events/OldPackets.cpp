#include "events/OldPackets.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>
#include <utility>

#include "pixel/Random.h"
#include "platform/Clock.h"
#include "platform/FileIO.h"

namespace tintara {
namespace {

// Whole packet size = size + per * (uint16 count at payload offset countAt).
struct OldSizeRow {
  uint16_t first, last;
  uint16_t size;
  int8_t countAt;  // -1: fixed size
  uint8_t per;
};

constexpr OldSizeRow kOldSizes[] = {
    {0, 4, 27, 23, 6},  // head 17, first sample 6, then the count
    {256, 257, 3, -1, 0},
    {258, 258, 2, -1, 0},
    {259, 259, 3, -1, 0},
    {260, 260, 4, -1, 0},
    {261, 261, 3, -1, 0},
    {272, 273, 3, -1, 0},
    {274, 276, 4, -1, 0},
    {277, 277, 3, -1, 0},
    {288, 292, 3, -1, 0},
    {293, 293, 6, -1, 0},
    {294, 294, 7, -1, 0},
    {295, 295, 11, -1, 0},
    {296, 296, 14, -1, 0},
    {297, 297, 5, 1, 4},
    {304, 304, 8, 4, 4},
    {305, 305, 29, -1, 0},
    {512, 512, 6, -1, 0},
    {513, 513, 5, -1, 0},
    {514, 514, 7, -1, 0},
    {515, 515, 6, -1, 0},
    {516, 518, 2, -1, 0},
    {519, 519, 3, -1, 0},
    {520, 520, 6, -1, 0},
    {528, 531, 2, -1, 0},
    {kOldProtectFirst, kOldMarkerLast, 2, -1, 0},
    {kOldEndCode, kOldEndCode, 2, -1, 0},
};

const OldSizeRow* FindOldRow(uint16_t code) {
  for (const OldSizeRow& row : kOldSizes)
    if (code >= row.first && code <= row.last) return &row;
  return nullptr;
}

bool IsSizeCode(uint16_t code) { return code == 512 || code == 514 || code == 515 || code == 520; }

}  // namespace

bool IsKnownOldCode(uint16_t code) { return FindOldRow(code) != nullptr; }

int64_t OldPacketSize(uint16_t code, const uint8_t* payload, size_t available) {
  const OldSizeRow* row = FindOldRow(code);
  if (!row) return -1;
  if (row->countAt < 0) return row->size;
  ByteReader r(payload, available);
  r.skip(size_t(row->countAt));
  const uint16_t n = r.u16();
  if (!r.ok()) return -1;
  return int64_t(row->size) + int64_t(row->per) * n;
}

FrameStatus ReadOldPacketAt(std::span<const uint8_t> stream, size_t offset, OldPacketView& out) {
  out = OldPacketView{};
  out.offset = offset;
  if (offset > stream.size() || stream.size() - offset < 2) return FrameStatus::Truncated;
  ByteReader r(stream.data() + offset, 2);
  out.code = r.u16();
  out.payload = stream.data() + offset + 2;
  const size_t available = stream.size() - offset - 2;
  if (!IsKnownOldCode(out.code)) return FrameStatus::UnknownCode;
  const int64_t size = OldPacketSize(out.code, out.payload, available);
  if (size < 0) return FrameStatus::Truncated;  // its count field is cut off
  if (uint64_t(size) - 2 > available) return FrameStatus::Truncated;
  out.length = size_t(size) - 2;
  return FrameStatus::Ok;
}

// ---- payloads with counts

bool OldStrokeRecord::Write(ByteWriter& w) const {
  if (samples.empty() || samples.size() - 1 > 0xFFFF) return false;
  FieldWriter f(w);
  OldStrokeHead::Fields(head, f);
  auto sample = [&](const OldSample& s) { w.i16(s.x), w.i16(s.y), w.i16(s.pressure); };
  sample(samples[0]);
  w.u16(uint16_t(samples.size() - 1));
  for (size_t i = 1; i < samples.size(); ++i) sample(samples[i]);
  return f.ok();
}

bool OldStrokeRecord::Read(ByteReader& r) {
  FieldReader f(r);
  OldStrokeHead::Fields(head, f);
  auto sample = [&]() { return OldSample{r.i16(), r.i16(), r.i16()}; };
  OldSample first = sample();
  const uint16_t n = r.u16();
  if (!f.ok() || uint64_t(n) * 6 != r.left()) return false;
  samples.clear();
  samples.reserve(size_t(n) + 1);
  samples.push_back(first);
  for (uint16_t i = 0; i < n; ++i) samples.push_back(sample());
  return r.ok();
}

bool OldPolygonRecord::Write(ByteWriter& w) const {
  if (points.size() > 0xFFFF) return false;
  FieldWriter f(w);
  f.u8(layer);
  if (code == 304) f.oldColour(colour);
  f.u16(uint16_t(points.size()));
  for (const OldPoint& p : points) f.i16(p.x), f.i16(p.y);
  return f.ok();
}

bool OldPolygonRecord::Read(ByteReader& r) {
  FieldReader f(r);
  f.u8(layer);
  if (code == 304) f.oldColour(colour);
  uint16_t n = 0;
  f.u16(n);
  if (!f.ok() || uint64_t(n) * 4 != r.left()) return false;
  points.resize(n);
  for (OldPoint& p : points) f.i16(p.x), f.i16(p.y);
  return f.ok();
}

// ---- any old record

namespace {

template <size_t I = 0>
DecodeStatus DecodeOldAlternative(const OldPacketView& p, OldRecord& out) {
  if constexpr (I == std::variant_size_v<OldRecord>) {
    return DecodeStatus::WrongCode;
  } else {
    using R = std::variant_alternative_t<I, OldRecord>;
    if (!AcceptsOldCode<R>(p.code)) return DecodeOldAlternative<I + 1>(p, out);
    R r;
    const DecodeStatus s = DecodeOld(p, r);
    if (s == DecodeStatus::Ok) out = std::move(r);
    return s;
  }
}

}  // namespace

DecodeStatus DecodeOldRecord(const OldPacketView& p, OldRecord& out) { return DecodeOldAlternative(p, out); }

bool EncodeOldRecord(const OldRecord& r, std::vector<uint8_t>& out) {
  return std::visit([&](const auto& rec) { return EncodeOld(rec, out); }, r);
}

// ---- the buffer

TMyMemory::TMyMemory(size_t initialCapacity) : step_(initialCapacity ? initialCapacity : 1) {
  data_.reset(static_cast<uint8_t*>(MemAlloc(step_)));
  if (data_) capacity_ = step_;
}

bool TMyMemory::Reserve(size_t need) {
  if (need <= capacity_) return true;
  if (need > kMaxBlockBytes) return false;
  size_t grown = capacity_ + std::max(step_, need - capacity_);
  if (grown > kMaxBlockBytes) grown = need;
  void* p = MemRealloc(data_.get(), capacity_, grown);
  if (!p) return false;
  (void)data_.release();  // realloc took the old block over
  data_.reset(static_cast<uint8_t*>(p));
  capacity_ = grown;
  return true;
}

bool TMyMemory::Append(const uint8_t* data, size_t n) {
  if (n == 0) return true;
  if (n > kMaxBlockBytes - size_ || !Reserve(size_ + n)) return false;
  std::copy(data, data + n, data_.get() + size_);
  size_ += n;
  return true;
}

// ---- the check

bool CheckOldStream(std::span<const uint8_t> stream, OldStreamInfo* info, size_t* streamEnd) {
  OldStreamInfo found;
  std::array<bool, kOldProtectMarkers> seen{};
  int markers = 0;
  bool created = false;  // the first packet other than a marker was seen (and is 512 or 520)
  size_t offset = 0;
  for (;;) {
    OldPacketView p;
    if (ReadOldPacketAt(stream, offset, p) != FrameStatus::Ok) return false;  // includes: no end code
    offset = p.end();
    if (IsOldMarker(p.code)) {
      if (p.code <= kOldProtectLast && !seen[p.code - kOldProtectFirst]) {
        seen[p.code - kOldProtectFirst] = true;
        ++markers;
      }
      continue;
    }
    if (!created) {
      if (p.code != 512 && p.code != 520) return false;  // also a stream of only the end code
      created = true;
    }
    if (p.code == kOldEndCode) break;
    if (IsSizeCode(p.code)) {
      OldPaperSizeRecord size;
      if (DecodeOld(p, size) != DecodeStatus::Ok) return false;
      found.maxWidth = std::max(found.maxWidth, int(size.width));
      found.maxHeight = std::max(found.maxHeight, int(size.height));
    }
    ++found.packets;
  }
  if (markers != 0 && markers != kOldProtectMarkers) return false;
  found.isProtected = markers == kOldProtectMarkers;
  if (info) *info = found;
  if (streamEnd) *streamEnd = offset;
  return true;
}

void TEventPacket::Reset() {
  buffer_.Clear();
  packetCount_ = 0;
  strokeInProgress_ = false;
}

bool TEventPacket::Check(std::span<const uint8_t> stream, OldStreamInfo* info) {
  OldStreamInfo found;
  size_t end = 0;
  if (!CheckOldStream(stream, &found, &end)) return false;
  // Room first, so that a stream that cannot be held leaves the old one in place.
  if (!buffer_.Reserve(end)) return false;
  Reset();
  if (!buffer_.Append(stream.data(), end)) return false;  // cannot fail after the reserve
  packetCount_ = found.packets;
  if (info) *info = found;
  return true;
}

bool TEventPacket::Load(const std::string& path, OldStreamInfo* info, uint64_t maxBytes) {
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size > maxBytes) return false;
  std::vector<uint8_t> bytes;
  // The file may have grown since it was measured.
  if (!ReadWholeFile(path, bytes) || bytes.size() > maxBytes) return false;
  return Check(bytes, info);
}

bool TEventPacket::Serialize(bool protect, std::vector<uint8_t>& out) const {
  out.clear();
  if (protect && packetCount_ < kMinProtectedPackets) return false;
  std::array<uint16_t, kOldProtectMarkers> order;
  for (int i = 0; i < kOldProtectMarkers; ++i) order[size_t(i)] = uint16_t(kOldProtectFirst + i);
  if (protect) {
    SRandomState rs;
    Seed(rs, TimeGetTime(), 0, kOldProtectMarkers);
    for (int i = 0; i < 65536; ++i) {
      const uint32_t a = Draw(rs), b = Draw(rs);
      std::swap(order[a], order[b]);
    }
  }
  // One marker before every step-th packet; 16 * step < count, so all are placed.
  const int step = packetCount_ / 18;
  int placed = 0, packet = 0;
  try {
    ByteWriter w(out);
    const std::span<const uint8_t> stream = Bytes();
    size_t offset = 0;
    while (offset < stream.size()) {
      OldPacketView p;
      if (ReadOldPacketAt(stream, offset, p) != FrameStatus::Ok) return false;
      offset = p.end();
      if (IsOldMarker(p.code)) continue;
      if (p.code == kOldEndCode) break;
      ++packet;
      if (protect && placed < kOldProtectMarkers && packet % step == 0) w.u16(order[size_t(placed++)]);
      w.bytes(stream.data() + p.offset, p.end() - p.offset);
    }
    if (protect && placed != kOldProtectMarkers) return false;
    w.u16(kOldEndCode);
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }
  return packet > 0;
}

bool TEventPacket::Save(const std::string& path, bool protect) const {
  std::vector<uint8_t> bytes;
  return Serialize(protect, bytes) && WriteFileAtomic(path, bytes.data(), bytes.size());
}

}  // namespace tintara
