// The packet stream of version-1 event files (.zov), read for replay and written back
// only as a whole (with or without protection markers). A packet is a uint16 code and
// a payload whose size follows from the code; coordinates are int16 paper pixels,
// pressure int16 in 1/1024, pen values uint16 in 1/256, colours three bytes high first.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "events/EventRecords.h"
#include "events/Packets.h"
#include "events/RecordIO.h"
#include "platform/Memory.h"

namespace tintara {

inline constexpr uint16_t kOldEndCode = 0xFFFF;
inline constexpr uint16_t kOldProtectFirst = 768;  // the 16 protection markers
inline constexpr uint16_t kOldProtectLast = 783;
inline constexpr uint16_t kOldMarkerLast = 895;  // 784..895: markers without a meaning
inline constexpr int kOldProtectMarkers = kOldProtectLast - kOldProtectFirst + 1;

// The old stream knows four blend modes (0-3); a larger byte is clamped to the last, as the
// current format clamps its modes to 21.
inline constexpr uint8_t kMaxOldBlendMode = 3;

inline bool IsOldMarker(uint16_t code) { return code >= kOldProtectFirst && code <= kOldMarkerLast; }

// Whole size of the packet (code included) with this code whose payload starts at
// `payload`; -1 for an unknown code or a count field beyond `available`.
int64_t OldPacketSize(uint16_t code, const uint8_t* payload, size_t available);
bool IsKnownOldCode(uint16_t code);

struct OldPacketView {
  uint16_t code = 0;
  size_t offset = 0;  // of the code
  const uint8_t* payload = nullptr;
  size_t length = 0;  // payload bytes
  size_t end() const { return offset + 2 + length; }
};

FrameStatus ReadOldPacketAt(std::span<const uint8_t> stream, size_t offset, OldPacketView& out);

// ---------------------------------------------------------------------------------------
// Typed payloads of the old codes.

struct OldCodeRange {
  uint16_t first;
  uint16_t last;
};

template <class R>
bool AcceptsOldCode(uint16_t code) {
  for (const OldCodeRange& r : R::kCodes)
    if (code >= r.first && code <= r.last) return true;
  return false;
}

inline float OldPressure(int16_t v) { return float(v) / 1024.0f; }
inline float OldPenValue(uint16_t v) { return float(v) / 256.0f; }

// The 17-byte head of the old strokes.
struct OldStrokeHead {
  uint8_t layer = 0;
  uint32_t colour = 0;
  uint8_t flags = 0;  // bit 0 ifSIZE, bit 1 ifTRANSPARENCY, bit 2 ifEDGE
  uint16_t min = 0, width = 0, gamma = 0, effect = 0, env = 0, speed = 0;  // 1/256
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u8(r.layer), f.oldColour(r.colour), f.u8(r.flags), f.u16(r.min), f.u16(r.width), f.u16(r.gamma);
    f.u16(r.effect), f.u16(r.env), f.u16(r.speed);
  }
  bool operator==(const OldStrokeHead&) const = default;
};

struct OldSample {
  int16_t x = 0, y = 0, pressure = 0;
  bool operator==(const OldSample&) const = default;
};

struct OldPoint {
  int16_t x = 0, y = 0;
  bool operator==(const OldPoint&) const = default;
};

// 0-4: a stroke with pen kind = code; the first sample and the n that follow.
struct OldStrokeRecord {
  static constexpr OldCodeRange kCodes[] = {{0, 4}};
  uint16_t code = 0;
  OldStrokeHead head;
  std::vector<OldSample> samples;  // at least the first
  bool Write(ByteWriter& w) const;
  bool Read(ByteReader& r);
  bool operator==(const OldStrokeRecord&) const = default;
};

// 305: a straight line at pressure 1. The pen kind is clamped into 0..4.
struct OldLineRecord {
  static constexpr OldCodeRange kCodes[] = {{305, 305}};
  uint16_t code = 305;
  OldStrokeHead head;
  int16_t penKind = 0;
  OldPoint from, to;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    OldStrokeHead::Fields(r.head, f);
    f.i16(r.penKind), f.i16(r.from.x), f.i16(r.from.y), f.i16(r.to.x), f.i16(r.to.y);
  }
  bool Check() {
    penKind = penKind < 0 ? int16_t(0) : (penKind > kMaxPenKind ? int16_t(kMaxPenKind) : penKind);
    return true;
  }
  bool operator==(const OldLineRecord&) const = default;
};

// One byte: the layer (256: the new layer's blend mode, clamped to 0..3; 259: unused).
struct OldLayerRecord {
  static constexpr OldCodeRange kCodes[] = {{256, 257}, {259, 259}, {261, 261}, {272, 273},
                                            {277, 277}, {288, 292}, {519, 519}};
  uint16_t code = 257;
  uint8_t layer = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u8(r.layer);
  }
  bool Check() {
    if (code == 256 && layer > kMaxOldBlendMode) layer = kMaxOldBlendMode;
    return true;
  }
  bool operator==(const OldLayerRecord&) const = default;
};

// Layer and a byte: 260 move (target), 274 visibility, 275 opacity, 276 blend mode (clamped
// to 0..3).
struct OldLayerValueRecord {
  static constexpr OldCodeRange kCodes[] = {{260, 260}, {274, 276}};
  uint16_t code = 274;
  uint8_t layer = 0, value = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u8(r.layer), f.u8(r.value);
  }
  bool Check() {
    if (code == 276 && value > kMaxOldBlendMode) value = kMaxOldBlendMode;
    return true;
  }
  bool operator==(const OldLayerValueRecord&) const = default;
};

// 293: fills the layer with the colour.
struct OldLayerColourRecord {
  static constexpr OldCodeRange kCodes[] = {{293, 293}};
  uint16_t code = 293;
  uint8_t layer = 0;
  uint32_t colour = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u8(r.layer), f.oldColour(r.colour);
  }
  bool operator==(const OldLayerColourRecord&) const = default;
};

// 294: moves the layer contents by (x, y).
struct OldLayerOffsetRecord {
  static constexpr OldCodeRange kCodes[] = {{294, 294}};
  uint16_t code = 294;
  uint8_t layer = 0;
  OldPoint offset;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u8(r.layer), f.i16(r.offset.x), f.i16(r.offset.y);
  }
  bool operator==(const OldLayerOffsetRecord&) const = default;
};

// 295: a rectangle filled with the layer's neutral colour; 296: with the colour.
struct OldRectRecord {
  static constexpr OldCodeRange kCodes[] = {{295, 296}};
  uint16_t code = 295;
  uint8_t layer = 0;
  int16_t left = 0, top = 0, right = 0, bottom = 0;
  uint32_t colour = 0;  // 296 only
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u8(r.layer), f.i16(r.left), f.i16(r.top), f.i16(r.right), f.i16(r.bottom);
    if (r.code == 296) f.oldColour(r.colour);
  }
  bool operator==(const OldRectRecord&) const = default;
};

// 297: polygon selection; 304: polygon fill with the colour.
struct OldPolygonRecord {
  static constexpr OldCodeRange kCodes[] = {{297, 297}, {304, 304}};
  uint16_t code = 297;
  uint8_t layer = 0;
  uint32_t colour = 0;  // 304 only
  std::vector<OldPoint> points;
  bool Write(ByteWriter& w) const;
  bool Read(ByteReader& r);
  bool operator==(const OldPolygonRecord&) const = default;
};

// 512 paper creation, 514 canvas resize (with the anchor), 515 and 520 image resize.
struct OldPaperSizeRecord {
  static constexpr OldCodeRange kCodes[] = {{512, 512}, {514, 515}, {520, 520}};
  uint16_t code = 512;
  uint16_t width = 0, height = 0;
  uint8_t anchor = 0;  // 514 only
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.width), f.u16(r.height);
    if (r.code == 514) f.u8(r.anchor);
  }
  bool Check() { return IsPictureSide(width) && IsPictureSide(height); }
  bool operator==(const OldPaperSizeRecord&) const = default;
};

// 513: paper colour.
struct OldPaperColourRecord {
  static constexpr OldCodeRange kCodes[] = {{513, 513}};
  uint16_t code = 513;
  uint32_t colour = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.oldColour(r.colour);
  }
  bool operator==(const OldPaperColourRecord&) const = default;
};

// Codes without a payload: merges, rotations, undo-history clears, flips and negative of
// the visible layers, the markers and the end.
struct OldEmptyRecord {
  static constexpr OldCodeRange kCodes[] = {
      {258, 258}, {516, 518}, {528, 531}, {kOldProtectFirst, kOldMarkerLast}, {kOldEndCode, kOldEndCode}};
  uint16_t code = kOldEndCode;
  template <class R, class F>
  static void Fields(R&, F&) {}
  bool operator==(const OldEmptyRecord&) const = default;
};

using OldRecord = std::variant<OldStrokeRecord, OldLineRecord, OldLayerRecord, OldLayerValueRecord,
                               OldLayerColourRecord, OldLayerOffsetRecord, OldRectRecord, OldPolygonRecord,
                               OldPaperSizeRecord, OldPaperColourRecord, OldEmptyRecord>;

template <class R>
bool EncodeOld(const R& r, std::vector<uint8_t>& out) {
  if (!AcceptsOldCode<R>(r.code)) return false;
  std::vector<uint8_t> packet;
  ByteWriter w(packet);
  w.u16(r.code);
  bool ok;
  if constexpr (detail::HasFieldList<R>) {
    FieldWriter f(w);
    R::Fields(r, f);
    ok = f.ok();
  } else {
    ok = r.Write(w);
  }
  if (!ok || OldPacketSize(r.code, packet.data() + 2, packet.size() - 2) != int64_t(packet.size()))
    return false;
  out.insert(out.end(), packet.begin(), packet.end());
  return true;
}

template <class R>
DecodeStatus DecodeOld(const OldPacketView& p, R& out) {
  if (!AcceptsOldCode<R>(p.code)) return DecodeStatus::WrongCode;
  try {
    R r;
    r.code = p.code;
    ByteReader br(p.payload, p.length);
    bool ok;
    if constexpr (detail::HasFieldList<R>) {
      FieldReader f(br);
      R::Fields(r, f);
      ok = f.ok();
    } else {
      ok = r.Read(br);
    }
    if (!ok) return br.ok() ? DecodeStatus::Invalid : DecodeStatus::Truncated;
    if constexpr (detail::HasCheck<R>) {
      if (!r.Check()) return DecodeStatus::Invalid;
    }
    out = std::move(r);
    return DecodeStatus::Ok;
  } catch (const std::bad_alloc&) {
    return DecodeStatus::OutOfMemory;
  }
}

DecodeStatus DecodeOldRecord(const OldPacketView& p, OldRecord& out);
bool EncodeOldRecord(const OldRecord& r, std::vector<uint8_t>& out);

// ---------------------------------------------------------------------------------------

// A byte buffer that starts at a fixed capacity and grows by at least that much at a
// time, so that appending a long stream packet by packet reallocates rarely.
class TMyMemory {
 public:
  explicit TMyMemory(size_t initialCapacity);
  TMyMemory(const TMyMemory&) = delete;
  TMyMemory& operator=(const TMyMemory&) = delete;

  // Makes room for `bytes` in all, growing by at least the initial capacity; false (contents
  // and capacity unchanged) when the memory cannot be had.
  bool Reserve(size_t bytes);
  bool Append(const uint8_t* data, size_t n);
  void Clear() { size_ = 0; }
  const uint8_t* Data() const { return data_.get(); }
  size_t Size() const { return size_; }
  size_t Capacity() const { return capacity_; }

 private:
  MemPtr<uint8_t> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
  size_t step_;
};

// What a check found in an old stream.
struct OldStreamInfo {
  bool isProtected = false;  // all 16 protection markers are present
  int maxWidth = 0;          // the largest sizes named by 512, 514, 515 and 520
  int maxHeight = 0;
  int packets = 0;  // packets before the end code, markers not counted
};

class TEventPacket {
 public:
  static constexpr size_t kInitialCapacity = 256000;
  // Files are read whole; anything larger than this is not an event file of that age.
  static constexpr uint64_t kMaxFileBytes = uint64_t(256) << 20;
  static constexpr int kMinProtectedPackets = 48;

  TEventPacket() : buffer_(kInitialCapacity) {}

  // Empties the buffer.
  void Reset();
  // Walks and validates `stream`; on success copies it (up to its end code) into the
  // buffer and counts its packets. On failure, also for want of memory to hold it, the
  // buffer is left as it was.
  bool Check(std::span<const uint8_t> stream, OldStreamInfo* info = nullptr);
  // Reads a whole file (refused above maxBytes) and checks it.
  bool Load(const std::string& path, OldStreamInfo* info = nullptr, uint64_t maxBytes = kMaxFileBytes);
  // The stream as a file would hold it: the buffer's packets without its markers, and
  // with protection the 16 markers spread over it in shuffled order (needs at least
  // kMinProtectedPackets packets). Ends with the end code.
  bool Serialize(bool protect, std::vector<uint8_t>& out) const;
  bool Save(const std::string& path, bool protect) const;

  std::span<const uint8_t> Bytes() const { return {buffer_.Data(), buffer_.Size()}; }
  int PacketCount() const { return packetCount_; }
  bool StrokeInProgress() const { return strokeInProgress_; }
  void SetStrokeInProgress(bool on) { strokeInProgress_ = on; }

 private:
  TMyMemory buffer_;
  int packetCount_ = 0;
  bool strokeInProgress_ = false;
};

// Checks an old stream without keeping it: the walk behind TEventPacket::Check.
bool CheckOldStream(std::span<const uint8_t> stream, OldStreamInfo* info, size_t* streamEnd = nullptr);

}  // namespace tintara
