// The typed records of the packet catalogue, one struct per payload layout, with the
// codes each serves. Rows of the catalogue that share a layout share a struct; what the
// fields mean to replay belongs to the player.
//
// Encode writes kind, sub and the payload, zero-padded (or, where the length table is
// shorter than a layout's trailing zero bytes, cut) to the table's length. Decode reads
// the fields from the start of a framed payload and checks them before anyone uses them:
// inner sizes against the payload, picture sizes, finite floats; blend modes are clamped
// and point lists clipped. Framing never depends on a decoder.
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <new>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "events/Packets.h"
#include "events/RecordIO.h"
#include "platform/Clock.h"

namespace tintara {

// A contiguous run of subs of one kind.
struct CodeRange {
  uint8_t kind;
  uint8_t first;
  uint8_t last;
};

template <class R>
bool AcceptsCode(PacketCode c) {
  for (const CodeRange& r : R::kCodes)
    if (c.kind == r.kind && c.sub >= r.first && c.sub <= r.last) return true;
  return false;
}

inline constexpr uint8_t kMaxBlendMode = 21;
inline constexpr uint8_t kMaxPenKind = 4;  // the pen kinds 0..4 of the pen-kind switch
inline constexpr size_t kMaxColourStops = 2729;
inline constexpr size_t kColourStopBytes = 24;
inline constexpr size_t kPlacementBytes = 72;
inline constexpr int kMaxSamplesPerBlock = 16;

// ---------------------------------------------------------------------------------------
// Kind 0: state records.

// (0,0) the app version (major*100 + minor) and the extension flags.
struct AppVersionRecord {
  static constexpr CodeRange kCodes[] = {{0, 0, 0}};
  PacketCode code{0, 0};
  uint16_t major = 4;
  uint16_t minor = 6;
  uint16_t extFlags = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.major), f.u16(r.minor), f.u16(r.extFlags), f.zeros(6);
  }
  int Version() const { return major * 100 + minor; }
  bool operator==(const AppVersionRecord&) const = default;
};

// (0,2) paper colour (flags 0); (0,3) sub colour with the canvas display flags.
struct ColourRecord {
  static constexpr CodeRange kCodes[] = {{0, 2, 3}};
  PacketCode code{0, 2};
  uint32_t colour = 0;
  uint8_t flags = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.colour(r.colour), f.u8(r.flags);
  }
  bool operator==(const ColourRecord&) const = default;
};

// (0,4) gradation geometry: start and end point.
struct GradGeometryRecord {
  static constexpr CodeRange kCodes[] = {{0, 4, 4}};
  PacketCode code{0, 4};
  Point32 start, end;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.point(r.start), f.point(r.end);
  }
  bool operator==(const GradGeometryRecord&) const = default;
};

// (0,5) gradation mode bytes and parameter.
struct GradModeRecord {
  static constexpr CodeRange kCodes[] = {{0, 5, 5}};
  PacketCode code{0, 5};
  std::array<uint8_t, 4> modes{};
  uint16_t param = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.raw(r.modes), f.u16(r.param), f.zeros(6);
  }
  bool operator==(const GradModeRecord&) const = default;
};

// A uint16 index and a uint16 argument: (0,8) active layer and mask; (2,24)-(2,26)
// visibility; the 4-byte layer operations of kind 4 and selection operations of kind 10;
// the stroke starts of kinds 16, 20-24, 48 and 49 (target layer, active mask).
struct LayerArgRecord {
  static constexpr CodeRange kCodes[] = {
      {0, 8, 8},  {2, 24, 26},  {4, 1, 5},    {4, 8, 9},  {4, 24, 25}, {4, 32, 37},
      {10, 0, 6}, {10, 11, 11}, {10, 20, 21}, {16, 0, 0}, {20, 0, 0},  {21, 0, 0},
      {22, 0, 0}, {23, 0, 0},   {24, 0, 0},   {48, 0, 0}, {49, 0, 0},
  };
  PacketCode code{4, 1};
  uint16_t layer = 0;
  uint16_t arg = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.u16(r.arg);
  }
  bool operator==(const LayerArgRecord&) const = default;
};

// (0,12) switches (bit 15 protects the stream), (0,13) pressure switches, (0,58) the
// gradation and tone switches of the consistency check.
struct FlagWordRecord {
  static constexpr CodeRange kCodes[] = {{0, 12, 13}, {0, 58, 58}};
  PacketCode code{0, 12};
  uint16_t flags = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.flags);
  }
  bool operator==(const FlagWordRecord&) const = default;
};

// (0,16) main colour, pen kind and density. A pen kind above 4 is clamped to 4, as blend
// modes are, so the player's switch only sees kinds it has.
struct MainPenRecord {
  static constexpr CodeRange kCodes[] = {{0, 16, 16}};
  PacketCode code{0, 16};
  uint32_t colour = 0;
  uint8_t penKind = 0;
  float opaque = 1.0f;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.colour(r.colour), f.u8(r.penKind), f.f32(r.opaque);
  }
  bool Check() {
    if (penKind > kMaxPenKind) penKind = kMaxPenKind;
    return true;
  }
  bool operator==(const MainPenRecord&) const = default;
};

// (0,17) the stroke's size range.
struct PenSizeRecord {
  static constexpr CodeRange kCodes[] = {{0, 17, 17}};
  PacketCode code{0, 17};
  float width = 0;
  float min = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.f32(r.width), f.f32(r.min);
  }
  bool operator==(const PenSizeRecord&) const = default;
};

// (0,18) the remaining pen values.
struct PenValuesRecord {
  static constexpr CodeRange kCodes[] = {{0, 18, 18}};
  PacketCode code{0, 18};
  float effect = 0, env = 0, speed = 0, gamma = 0, spacing = 0;
  uint8_t airMap = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.f32(r.effect), f.f32(r.env), f.f32(r.speed), f.f32(r.gamma), f.f32(r.spacing);
    f.u8(r.airMap), f.zeros(1);
  }
  bool operator==(const PenValuesRecord&) const = default;
};

// (0,32) the text tool's 60-byte logical-font record and two values.
struct FontRecord {
  static constexpr CodeRange kCodes[] = {{0, 32, 32}};
  PacketCode code{0, 32};
  std::array<uint8_t, 60> font{};
  uint16_t a = 0, b = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.raw(r.font), f.u16(r.a), f.u16(r.b), f.zeros(4);
  }
  bool operator==(const FontRecord&) const = default;
};

// (0,33) the text of the next text drawing, as stored bytes.
struct TextRecord {
  static constexpr CodeRange kCodes[] = {{0, 33, 33}};
  PacketCode code{0, 33};
  std::string text;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.text16(r.text);
  }
  bool operator==(const TextRecord&) const = default;
};

// The 72-byte tone description inside a tone definition: the same fields, in the same
// order, as a tone item of the tone-set file.
struct ToneAttributes {
  uint16_t recordKind = 8;
  uint16_t patternKind = 0;  // 0 bitmap pattern, 1 generated tone
  uint16_t version = 1;
  uint32_t flags = 0;
  int32_t scale = 100;
  int32_t offsetX = 0, offsetY = 0;
  int32_t width = 0, height = 0;
  int32_t shape = 0;
  float dpi = 0, linesPerInch = 0;
  int32_t density = 0, angle = 0, softness = 0;
  bool operator==(const ToneAttributes&) const = default;
};

// (0,36) a tone definition with its compressed pattern channel.
struct ToneDefinitionRecord {
  static constexpr CodeRange kCodes[] = {{0, 36, 36}};
  static constexpr size_t kHeadBytes = 160;
  static constexpr size_t kNameBytes = 64;
  PacketCode code{0, 36};
  uint32_t toneId = 0;
  ToneAttributes attributes;
  std::string name;
  std::vector<uint8_t> compressed;  // the compressor's bytes; stored padded to even
  uint64_t RawSize() const { return uint64_t(int64_t(attributes.width) * attributes.height); }
  bool Write(ByteWriter& w) const;
  bool Read(ByteReader& r);
  bool operator==(const ToneDefinitionRecord&) const = default;
};

// (0,37) selects a defined tone and sets its parameters.
struct ToneSelectRecord {
  static constexpr CodeRange kCodes[] = {{0, 37, 37}};
  PacketCode code{0, 37};
  uint32_t toneId = 0;
  uint8_t flags = 0;  // bit 0
  uint16_t param10 = 0;
  uint32_t param12 = 0, param16 = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u32(r.toneId), f.zeros(4), f.u8(r.flags), f.zeros(1), f.u16(r.param10), f.u32(r.param12);
    f.u32(r.param16);
  }
  bool operator==(const ToneSelectRecord&) const = default;
};

// One 24-byte gradation colour stop.
struct ColourStop {
  uint8_t present = 0, enabled = 0, ownOpacity = 0, opacity = 0;
  int32_t id = 0;
  uint32_t colour = 0;
  int32_t weight = 0, start = 0, span = 0;
  bool operator==(const ColourStop&) const = default;
};

// (0,40) the gradation's colour stops.
struct GradStopsRecord {
  static constexpr CodeRange kCodes[] = {{0, 40, 40}};
  PacketCode code{0, 40};
  std::vector<ColourStop> stops;
  bool Write(ByteWriter& w) const;
  bool Read(ByteReader& r);
  bool operator==(const GradStopsRecord&) const = default;
};

// (0,44) a pen-shape definition with its compressed nib channel.
struct NibDefinitionRecord {
  static constexpr CodeRange kCodes[] = {{0, 44, 44}};
  static constexpr size_t kHeadBytes = 40;
  PacketCode code{0, 44};
  uint32_t shapeId = 0;
  uint16_t nibParam = 0;
  int32_t width = 0, height = 0;
  std::vector<uint8_t> compressed;
  uint64_t RawSize() const { return uint64_t(int64_t(width) * height); }
  bool Write(ByteWriter& w) const;
  bool Read(ByteReader& r);
  bool operator==(const NibDefinitionRecord&) const = default;
};

// (0,45) selects a defined pen shape.
struct NibSelectRecord {
  static constexpr CodeRange kCodes[] = {{0, 45, 45}};
  PacketCode code{0, 45};
  uint32_t shapeId = 0;
  uint16_t nibParam = 0;
  int32_t width = 0, height = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u32(r.shapeId), f.zeros(2), f.u16(r.nibParam), f.zeros(8), f.i32(r.width), f.i32(r.height);
  }
  bool operator==(const NibSelectRecord&) const = default;
};

// (0,48), (0,52), (0,53), (0,56), (0,57), (0,60): pen-renderer and stroke-manager
// parameter blocks, passed through as bytes (at most the table's length).
struct ParamBlockRecord {
  static constexpr CodeRange kCodes[] = {{0, 48, 48}, {0, 52, 53}, {0, 56, 57}, {0, 60, 60}};
  PacketCode code{0, 48};
  std::vector<uint8_t> bytes;
  bool Write(ByteWriter& w) const;
  bool Read(ByteReader& r);
  bool operator==(const ParamBlockRecord&) const = default;
};

// (0,50) main and sub colour words for the consistency check.
struct PenColoursRecord {
  static constexpr CodeRange kCodes[] = {{0, 50, 50}};
  PacketCode code{0, 50};
  uint32_t mainColour = 0, subColour = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u32(r.mainColour), f.u32(r.subColour);
  }
  bool operator==(const PenColoursRecord&) const = default;
};

// The body shared by image objects and pastes: an optional placement record (the 72-byte
// layer attribute record), an optional name and width x height raw 32-bit pixels.
struct ImageBody {
  int32_t width = 0, height = 0;
  bool hasPlacement = false;
  std::array<uint8_t, kPlacementBytes> placement{};
  std::string name;
  std::vector<uint32_t> pixels;
  bool operator==(const ImageBody&) const = default;
};

// (0,128), (0,129) the first and second texture of the next floor-render filter.
struct ImageObjectRecord {
  static constexpr CodeRange kCodes[] = {{0, 128, 129}};
  PacketCode code{0, 128};
  uint16_t arg = 0;
  uint8_t mode = 0;  // byte 10
  ImageBody image;
  bool Write(ByteWriter& w) const;
  bool Read(ByteReader& r);
  bool operator==(const ImageObjectRecord&) const = default;
};

struct ColourRangeEntry {
  uint32_t colour = 0;
  uint8_t add = 0;  // 1 add, 0 remove
  uint8_t range = 0;
  bool operator==(const ColourRangeEntry&) const = default;
};

// (0,136) colour-range settings for the next (13,32).
struct ColourRangeRecord {
  static constexpr CodeRange kCodes[] = {{0, 136, 136}};
  static constexpr size_t kHeadBytes = 20;
  PacketCode code{0, 136};
  std::array<uint8_t, kHeadBytes> settings{};
  std::vector<ColourRangeEntry> entries;
  bool Write(ByteWriter& w) const;
  bool Read(ByteReader& r);
  bool operator==(const ColourRangeRecord&) const = default;
};

// ---------------------------------------------------------------------------------------
// Kind 1: info records, skipped by readers that do not know the sub.

struct InfoRecord {
  static constexpr CodeRange kCodes[] = {{1, 0, 255}};
  static constexpr uint8_t kRecordingTimeSub = 17;
  PacketCode code{1, kRecordingTimeSub};
  std::vector<uint8_t> data;
  static InfoRecord RecordingTime(const SystemTime& t);
  // The recording start time, when this is a (1,17) record of exactly 16 bytes.
  bool GetRecordingTime(SystemTime& t) const;
  bool Write(ByteWriter& w) const;
  bool Read(ByteReader& r);
  bool operator==(const InfoRecord&) const = default;
};

// ---------------------------------------------------------------------------------------
// Kind 2: paper-wide operations.

// (2,0) paper creation of older streams.
struct PaperCreateOldRecord {
  static constexpr CodeRange kCodes[] = {{2, 0, 0}};
  PacketCode code{2, 0};
  int32_t width = 0, height = 0, a = 0, b = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.i32(r.width), f.i32(r.height), f.i32(r.a), f.i32(r.b);
  }
  bool Check() { return IsPictureSide(width) && IsPictureSide(height); }
  bool operator==(const PaperCreateOldRecord&) const = default;
};

// (2,8) paper creation: size, three values of the new-paper operation, two flags.
struct PaperCreateRecord {
  static constexpr CodeRange kCodes[] = {{2, 8, 8}};
  PacketCode code{2, 8};
  int32_t width = 0, height = 0, a = 0, b = 0, c = 0;
  uint8_t flag1 = 0, flag2 = 0;  // 0 or 0xFF
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.i32(r.width), f.i32(r.height), f.i32(r.a), f.i32(r.b), f.i32(r.c), f.u8(r.flag1), f.u8(r.flag2);
    f.zeros(6);
  }
  bool Check() { return IsPictureSide(width) && IsPictureSide(height); }
  bool operator==(const PaperCreateRecord&) const = default;
};

// (2,1) paper colour change.
struct PaperColourRecord {
  static constexpr CodeRange kCodes[] = {{2, 1, 1}};
  PacketCode code{2, 1};
  uint32_t colour = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u32(r.colour);
  }
  bool operator==(const PaperColourRecord&) const = default;
};

// (2,2) canvas resize: anchor bytes and the new size.
struct CanvasResizeRecord {
  static constexpr CodeRange kCodes[] = {{2, 2, 2}};
  PacketCode code{2, 2};
  uint8_t anchorX = 0, anchorY = 0;
  int32_t width = 0, height = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u8(r.anchorX), f.u8(r.anchorY), f.i32(r.width), f.i32(r.height);
  }
  bool Check() { return IsPictureSide(width) && IsPictureSide(height); }
  bool operator==(const CanvasResizeRecord&) const = default;
};

// (2,3) image resize (a new picture size); (2,9) resolution change.
struct ResizeRecord {
  static constexpr CodeRange kCodes[] = {{2, 3, 3}, {2, 9, 9}};
  PacketCode code{2, 3};
  uint16_t option = 0;
  int32_t a = 0, b = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.option), f.i32(r.a), f.i32(r.b);
  }
  bool Check() { return code.sub != 3 || (IsPictureSide(a) && IsPictureSide(b)); }
  bool operator==(const ResizeRecord&) const = default;
};

// Operations without a payload: rotations, flattening, flips and negative of all
// visible layers, start and end of recording.
struct EmptyRecord {
  static constexpr CodeRange kCodes[] = {{2, 4, 5}, {2, 7, 7}, {2, 16, 19}, {2, 254, 255}};
  PacketCode code{2, 4};
  template <class R, class F>
  static void Fields(R&, F&) {}
  bool operator==(const EmptyRecord&) const = default;
};

// (2,6) crop to a rectangle (left, top, right, bottom).
struct CropRecord {
  static constexpr CodeRange kCodes[] = {{2, 6, 6}};
  PacketCode code{2, 6};
  uint16_t layer = 0;
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.i32(r.left), f.i32(r.top), f.i32(r.right), f.i32(r.bottom);
  }
  bool Check() { return IsPictureSide(int64_t(right) - left) && IsPictureSide(int64_t(bottom) - top); }
  bool operator==(const CropRecord&) const = default;
};

// A uint16 index, a uint16 argument and two int32 values: (2,10) flatten; (4,6) layer
// position; (4,39) free scaling to a new store size; the group operations (5,8),
// (5,11)-(5,13); the 12-byte selection operations of kind 10. (10,14) keeps its enabled
// switch as a uint16 at offset 10, the high half of `b`: use EnabledFlag for it.
struct LayerArgsRecord {
  static constexpr CodeRange kCodes[] = {{2, 10, 10}, {4, 6, 6},    {4, 39, 39},  {5, 8, 8},   {5, 11, 13},
                                         {10, 7, 10}, {10, 13, 14}, {10, 22, 22}, {10, 24, 26}};
  PacketCode code{4, 6};
  uint16_t layer = 0;
  uint16_t arg = 0;
  int32_t a = 0, b = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.u16(r.arg), f.i32(r.a), f.i32(r.b);
  }
  bool Check() { return !(code == PacketCode{4, 39}) || (IsPictureSide(a) && IsPictureSide(b)); }
  // The uint16 at payload offset 10 ((10,14): selection enabled); bytes 8-9 stay as they are.
  uint16_t EnabledFlag() const { return uint16_t(uint32_t(b) >> 16); }
  void SetEnabledFlag(uint16_t v) { b = int32_t((uint32_t(b) & 0xFFFFu) | uint32_t(v) << 16); }
  bool operator==(const LayerArgsRecord&) const = default;
};

// ---------------------------------------------------------------------------------------
// Kind 4: layer operations.

// (4,0) adds a layer; the four values go to the add-layer operation unchanged.
struct AddLayerRecord {
  static constexpr CodeRange kCodes[] = {{4, 0, 0}};
  PacketCode code{4, 0};
  uint16_t index = 0;
  int32_t a = 0, b = 0;
  uint8_t c = 0, d = 0;
  uint16_t flags = 0;  // bit 0 passed on, bit 1 mask protection
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.index), f.i32(r.a), f.i32(r.b), f.u8(r.c), f.u8(r.d), f.u16(r.flags);
  }
  bool operator==(const AddLayerRecord&) const = default;
};

// (4,11) adds a named layer.
struct AddNamedLayerRecord {
  static constexpr CodeRange kCodes[] = {{4, 11, 11}};
  PacketCode code{4, 11};
  uint16_t index = 0;
  int32_t a = 0, b = 0;
  uint8_t c = 0, d = 0;
  uint16_t flags = 0;
  int32_t e = 0;
  std::string name;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.index), f.i32(r.a), f.i32(r.b), f.zeros(8), f.u8(r.c), f.u8(r.d), f.u16(r.flags);
    f.i32(r.e), f.zeros(14), f.text16(r.name);
  }
  bool operator==(const AddNamedLayerRecord&) const = default;
};

// (4,10) merge with a parameter; the table leaves 4 more bytes than the layout uses.
struct LayerArgValueRecord {
  static constexpr CodeRange kCodes[] = {{4, 10, 10}};
  PacketCode code{4, 10};
  uint16_t layer = 0, arg = 0;
  int32_t value = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.u16(r.arg), f.i32(r.value);
  }
  bool operator==(const LayerArgValueRecord&) const = default;
};

// (4,7) layer option change with two option bytes.
struct LayerOptionRecord {
  static constexpr CodeRange kCodes[] = {{4, 7, 7}};
  PacketCode code{4, 7};
  uint16_t layer = 0;
  uint8_t option1 = 0, option2 = 0;
  int32_t a = 0, b = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.u8(r.option1), f.u8(r.option2), f.i32(r.a), f.i32(r.b);
  }
  bool operator==(const LayerOptionRecord&) const = default;
};

// (4,38) free rotation by an angle in degrees.
struct LayerRotateRecord {
  static constexpr CodeRange kCodes[] = {{4, 38, 38}};
  PacketCode code{4, 38};
  uint16_t layer = 0, arg = 0;
  float angle = 0;
  int32_t value = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.u16(r.arg), f.f32(r.angle), f.i32(r.value);
  }
  bool operator==(const LayerRotateRecord&) const = default;
};

// (4,48)-(4,51) flips, rotation and negative with a flag.
struct LayerFlagOpRecord {
  static constexpr CodeRange kCodes[] = {{4, 48, 51}};
  PacketCode code{4, 48};
  uint16_t layer = 0, arg = 0;
  uint8_t flag = 0;
  int32_t value = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.u16(r.arg), f.u8(r.flag), f.zeros(3), f.i32(r.value);
  }
  bool operator==(const LayerFlagOpRecord&) const = default;
};

// (4,12) moves the layer contents by (x, y); (4,13) the same with flags; (5,9), (5,10)
// group option changes. (4,12) has no flags: its bytes 12-15 are written as zeros whatever
// `flags` holds, and read as 0.
struct LayerShiftRecord {
  static constexpr CodeRange kCodes[] = {{4, 12, 13}, {5, 9, 10}};
  PacketCode code{4, 12};
  uint16_t layer = 0, arg = 0;
  int32_t x = 0, y = 0;
  int32_t flags = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.u16(r.arg), f.i32(r.x), f.i32(r.y);
    if (r.code == PacketCode{4, 12})
      f.zeros(4);
    else
      f.i32(r.flags);
    f.zeros(4);
  }
  bool operator==(const LayerShiftRecord&) const = default;
};

// (4,16), (4,17), (4,18), (4,20) blend mode, opacity and flags of a layer.
struct LayerAttrRecord {
  static constexpr CodeRange kCodes[] = {{4, 16, 18}, {4, 20, 20}};
  PacketCode code{4, 16};
  uint16_t layer = 0;
  uint8_t blendMode = 0, opacity = 255, flags = 0;  // flags: bit 0 visible, 1 mask protection, 4 dither
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.u8(r.blendMode), f.u8(r.opacity), f.u8(r.flags), f.zeros(1);
  }
  bool Check() {
    if (blendMode > kMaxBlendMode) blendMode = kMaxBlendMode;
    return true;
  }
  bool operator==(const LayerAttrRecord&) const = default;
};

// (4,21) as (4,16) with the dither amount and a value. The table's 18 bytes end inside
// the layout's trailing zeros, which are cut.
struct LayerAttrDitherRecord {
  static constexpr CodeRange kCodes[] = {{4, 21, 21}};
  PacketCode code{4, 21};
  uint16_t layer = 0;
  uint8_t blendMode = 0, opacity = 255, flags = 0;
  uint8_t ditherAmount = 0;
  int32_t value = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.u8(r.blendMode), f.u8(r.opacity), f.u8(r.flags), f.zeros(1);
    f.u8(r.ditherAmount), f.zeros(1), f.i32(r.value), f.zeros(8);
  }
  bool Check() {
    if (blendMode > kMaxBlendMode) blendMode = kMaxBlendMode;
    return true;
  }
  bool operator==(const LayerAttrDitherRecord&) const = default;
};

// (4,19) renames a layer; (10,12) renames a mask.
struct IndexTextRecord {
  static constexpr CodeRange kCodes[] = {{4, 19, 19}, {10, 12, 12}};
  PacketCode code{4, 19};
  uint16_t index = 0;
  std::string text;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.index), f.text16(r.text);
  }
  bool operator==(const IndexTextRecord&) const = default;
};

// ---------------------------------------------------------------------------------------
// Kind 5: layer groups.

// (5,0) into a group, (5,1) out of it. The head must hold 1 at 6, 2 at 7 and count*2 at 12.
struct GroupMembershipRecord {
  static constexpr CodeRange kCodes[] = {{5, 0, 1}};
  static constexpr size_t kHeadBytes = 24;
  PacketCode code{5, 0};
  uint16_t layer = 0;
  std::vector<uint8_t> first, second;  // count bytes each
  bool Write(ByteWriter& w) const;
  bool Read(ByteReader& r);
  bool operator==(const GroupMembershipRecord&) const = default;
};

// (5,16) group display toggle.
struct GroupDisplayRecord {
  static constexpr CodeRange kCodes[] = {{5, 16, 16}};
  PacketCode code{5, 16};
  uint16_t layer = 0, arg = 0;
  uint8_t flag = 0, b = 0;
  uint16_t c = 0;
  int32_t value = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.u16(r.arg), f.u8(r.flag), f.u8(r.b), f.u16(r.c), f.i32(r.value);
  }
  bool operator==(const GroupDisplayRecord&) const = default;
};

// ---------------------------------------------------------------------------------------
// Kind 6: fills.

// (6,0)-(6,3), (6,5), (6,6): a value, a point and two floats.
struct FillRecord {
  static constexpr CodeRange kCodes[] = {{6, 0, 3}, {6, 5, 6}};
  PacketCode code{6, 0};
  uint16_t layer = 0;
  uint32_t value = 0;
  Point32 at;
  float a = 0, b = 0;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.u32(r.value), f.point(r.at), f.f32(r.a), f.f32(r.b);
  }
  bool Check() {
    at = {ClipCoordinate(at.x), ClipCoordinate(at.y)};
    return true;
  }
  bool operator==(const FillRecord&) const = default;
};

// (6,4) polygon fill.
struct PolygonFillRecord {
  static constexpr CodeRange kCodes[] = {{6, 4, 4}};
  PacketCode code{6, 4};
  uint16_t layer = 0;
  std::vector<Point32> points;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.points16(r.points);
  }
  bool Check() {
    for (Point32& p : points) p = {ClipCoordinate(p.x), ClipCoordinate(p.y)};
    return true;
  }
  bool operator==(const PolygonFillRecord&) const = default;
};

// ---------------------------------------------------------------------------------------
// Kind 10: selection shapes (the other selection operations are LayerArgRecord,
// LayerArgsRecord and IndexTextRecord).

// (10,16) rectangle, (10,17) and (10,19) ellipse selection with a combine mode.
struct ShapeSelectionRecord {
  static constexpr CodeRange kCodes[] = {{10, 16, 17}, {10, 19, 19}};
  PacketCode code{10, 16};
  uint16_t layer = 0, mask = 0;
  uint8_t mode = 0;
  Point32 from, to;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.u16(r.mask), f.u8(r.mode), f.zeros(1), f.point(r.from), f.point(r.to);
  }
  bool Check() {
    from = {ClipCoordinate(from.x), ClipCoordinate(from.y)};
    to = {ClipCoordinate(to.x), ClipCoordinate(to.y)};
    return true;
  }
  bool operator==(const ShapeSelectionRecord&) const = default;
};

// (10,18) polygon (lasso) selection.
struct LassoSelectionRecord {
  static constexpr CodeRange kCodes[] = {{10, 18, 18}};
  PacketCode code{10, 18};
  uint16_t layer = 0, mask = 0;
  uint8_t mode = 0;
  std::vector<Point32> points;
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.u16(r.mask), f.u8(r.mode), f.zeros(1), f.points16(r.points);
  }
  bool Check() {
    for (Point32& p : points) p = {ClipCoordinate(p.x), ClipCoordinate(p.y)};
    return true;
  }
  bool operator==(const LassoSelectionRecord&) const = default;
};

// ---------------------------------------------------------------------------------------
// Kinds 12 and 13: pastes and mask-channel drawings.

// (12,1) paste as a new layer, (12,2) paste into the layer.
struct PasteRecord {
  static constexpr CodeRange kCodes[] = {{12, 1, 2}};
  PacketCode code{12, 1};
  uint16_t layer = 0;
  uint8_t extra = 0;  // byte 11
  ImageBody image;
  bool Write(ByteWriter& w) const;
  bool Read(ByteReader& r);
  bool operator==(const PasteRecord&) const = default;
};

// Kind 13: a head (54 bytes, or 72 for subs 2 and 3) and the compressed 8-bit coverage
// channel. Typed: the layer at 0; the channel's bounding rectangle at 2 (left, top, right,
// bottom); and, ending the fixed part as in the tone and pen-shape definitions, the
// channel's uncompressed size (width x height), the compressed size and the stored size
// (the compressed size rounded up to even) at 34, 38 and 42 (52, 56, 60). The operation's
// parameters between the rectangle and the sizes (flag and mode bytes, the two points of
// subs 2 and 3) and the 8 bytes after the stored size are kept as bytes for the player.
// Decoding checks that the rectangle is 1..10000 wide and high within the coordinate
// limit and that the uncompressed size is its area, before the player allocates it.
struct MaskDrawingRecord {
  static constexpr CodeRange kCodes[] = {{13, 0, 3}, {13, 16, 17}, {13, 32, 32}};
  static constexpr size_t kParamsAt = 18;  // after the layer and the rectangle
  static constexpr size_t kTailBytes = 8;  // after the stored size
  PacketCode code{13, 0};
  uint16_t layer = 0;
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  std::vector<uint8_t> params;  // ParamBytes(sub) head bytes from kParamsAt
  std::array<uint8_t, kTailBytes> tail{};
  std::vector<uint8_t> compressed;  // the compressor's bytes; stored padded to even
  static size_t StoredSizeAt(uint8_t sub) { return sub == 2 || sub == 3 ? 60 : 42; }
  static size_t ParamBytes(uint8_t sub) { return StoredSizeAt(sub) - 8 - kParamsAt; }
  int64_t Width() const { return int64_t(right) - left; }
  int64_t Height() const { return int64_t(bottom) - top; }
  // Meaningful for a valid rectangle; unsigned, so a damaged one cannot overflow.
  uint64_t RawSize() const { return uint64_t(Width()) * uint64_t(Height()); }
  bool HasValidRect() const;
  bool Write(ByteWriter& w) const;
  bool Read(ByteReader& r);
  bool operator==(const MaskDrawingRecord&) const = default;
};

// ---------------------------------------------------------------------------------------
// Kinds 17 and 18: stroke samples; 17 more follow, 18 ends the stroke. sub = count.

struct PacketSample {
  float x = 0, y = 0, pressure = 0;
  bool operator==(const PacketSample&) const = default;
};

struct SampleBlockRecord {
  static constexpr CodeRange kCodes[] = {{17, 0, 255}, {18, 0, 255}};
  PacketCode code{17, 0};
  std::vector<PacketSample> samples;
  static SampleBlockRecord Make(bool last, std::vector<PacketSample> samples);
  bool IsLast() const { return code.kind == 18; }
  bool Write(ByteWriter& w) const;
  bool Read(ByteReader& r);
  bool operator==(const SampleBlockRecord&) const = default;
};

// ---------------------------------------------------------------------------------------
// Kinds 32-35 and 38: filters. sub is the filter's code.

// Kind 32: layer and mask only; 33, 34, 35: two, four, six 32-bit values whose types
// belong to the filter.
struct FilterRecord {
  static constexpr CodeRange kCodes[] = {
      {32, 0, 1},   {32, 8, 9},   {32, 12, 13}, {32, 20, 20}, {32, 52, 53}, {32, 56, 56}, {33, 2, 2},
      {33, 4, 4},   {33, 10, 10}, {33, 14, 14}, {33, 18, 18}, {33, 21, 23}, {33, 26, 27}, {33, 32, 32},
      {33, 34, 34}, {33, 49, 49}, {33, 55, 55}, {33, 58, 58}, {33, 63, 63}, {34, 3, 3},   {34, 17, 17},
      {34, 19, 19}, {34, 24, 25}, {34, 33, 33}, {34, 36, 36}, {34, 48, 48}, {34, 50, 50}, {34, 57, 57},
      {34, 59, 59}, {34, 61, 62}, {35, 16, 16}, {35, 35, 35}, {35, 37, 38}, {35, 60, 60},
  };
  PacketCode code{32, 0};
  uint16_t layer = 0, mask = 0;
  std::array<uint32_t, 6> values{};  // the first ValueCount() are stored
  static int ValueCount(uint8_t kind) { return kind >= 33 && kind <= 35 ? 2 * (kind - 32) : 0; }
  template <class R, class F>
  static void Fields(R& r, F& f) {
    f.u16(r.layer), f.u16(r.mask);
    for (int i = 0; i < ValueCount(r.code.kind); ++i) f.u32(r.values[size_t(i)]);
  }
  bool operator==(const FilterRecord&) const = default;
};

// Kind 38: a 50-byte head whose uint16 at 4 counts the bytes that follow.
struct FilterBlockRecord {
  static constexpr CodeRange kCodes[] = {{38, 0, 255}};
  static constexpr size_t kParamBytes = 44;  // head bytes 6..49
  PacketCode code{38, 0};
  uint16_t layer = 0, mask = 0;
  std::array<uint8_t, kParamBytes> params{};
  std::vector<uint8_t> data;
  bool Write(ByteWriter& w) const;
  bool Read(ByteReader& r);
  bool operator==(const FilterBlockRecord&) const = default;
};

// ---------------------------------------------------------------------------------------
// Encoding and decoding.

enum class DecodeStatus {
  Ok,
  WrongCode,    // the record type does not serve this code
  Truncated,    // the packet does not fit, or a field lies beyond its length
  Invalid,      // a field failed its check
  OutOfMemory,  // the claimed contents could not be held
};

namespace detail {
template <class R>
concept HasFieldList = requires(R& r, FieldReader& f) {
  R::Fields(r, f);
};
template <class R>
concept HasCheck = requires(R& r) {
  { r.Check() } -> std::same_as<bool>;
};
// Zero-pads the payload to the table's length or cuts trailing zeros that the table
// has no room for. False when the code is not in the table or real bytes would be cut.
bool FitPayloadToTable(PacketCode code, std::vector<uint8_t>& payload);
}  // namespace detail

// Appends kind, sub and the payload of `r` to `out`. False (out unchanged) when the
// record cannot be stored: a code it does not serve, or contents it cannot represent.
template <class R>
bool Encode(const R& r, std::vector<uint8_t>& out) {
  if (!AcceptsCode<R>(r.code)) return false;
  try {
    std::vector<uint8_t> payload;
    ByteWriter w(payload);
    bool ok;
    if constexpr (detail::HasFieldList<R>) {
      FieldWriter f(w);
      R::Fields(r, f);
      ok = f.ok();
    } else {
      ok = r.Write(w);
    }
    if (!ok || !detail::FitPayloadToTable(r.code, payload)) return false;
    out.push_back(r.code.kind);
    out.push_back(r.code.sub);
    out.insert(out.end(), payload.begin(), payload.end());
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// Decodes a framed payload of the given code.
template <class R>
DecodeStatus DecodePayload(PacketCode code, std::span<const uint8_t> payload, R& out) {
  if (!AcceptsCode<R>(code)) return DecodeStatus::WrongCode;
  try {
    R r;
    r.code = code;
    ByteReader br(payload.data(), payload.size());
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

template <class R>
DecodeStatus Decode(const PacketView& p, R& out) {
  return DecodePayload(p.code, std::span<const uint8_t>(p.payload, p.length), out);
}

// Frames the first packet of `bytes` and decodes it.
template <class R>
DecodeStatus Decode(std::span<const uint8_t> bytes, R& out) {
  PacketView p;
  switch (ReadPacketAt(bytes, 0, p)) {
    case FrameStatus::Ok:
      return Decode(p, out);
    case FrameStatus::UnknownCode:
      return DecodeStatus::WrongCode;
    case FrameStatus::Truncated:
      break;
  }
  return DecodeStatus::Truncated;
}

// Any record of the catalogue.
using AnyRecord =
    std::variant<AppVersionRecord, ColourRecord, GradGeometryRecord, GradModeRecord, LayerArgRecord,
                 FlagWordRecord, MainPenRecord, PenSizeRecord, PenValuesRecord, FontRecord, TextRecord,
                 ToneDefinitionRecord, ToneSelectRecord, GradStopsRecord, NibDefinitionRecord,
                 NibSelectRecord, ParamBlockRecord, PenColoursRecord, ImageObjectRecord, ColourRangeRecord,
                 InfoRecord, PaperCreateOldRecord, PaperCreateRecord, PaperColourRecord, CanvasResizeRecord,
                 ResizeRecord, EmptyRecord, CropRecord, LayerArgsRecord, AddLayerRecord, AddNamedLayerRecord,
                 LayerArgValueRecord, LayerOptionRecord, LayerRotateRecord, LayerFlagOpRecord,
                 LayerShiftRecord, LayerAttrRecord, LayerAttrDitherRecord, IndexTextRecord,
                 GroupMembershipRecord, GroupDisplayRecord, FillRecord, PolygonFillRecord,
                 ShapeSelectionRecord, LassoSelectionRecord, PasteRecord, MaskDrawingRecord,
                 SampleBlockRecord, FilterRecord, FilterBlockRecord>;

// How many record types serve the code (1 for every code of the length table).
int RecordTypesFor(PacketCode code);
// Decodes a framed packet into the record type that serves its code.
DecodeStatus DecodeRecord(const PacketView& p, AnyRecord& out);
bool EncodeRecord(const AnyRecord& r, std::vector<uint8_t>& out);
PacketCode CodeOf(const AnyRecord& r);

}  // namespace tintara
