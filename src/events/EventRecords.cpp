#include "events/EventRecords.h"

#include <cmath>
#include <utility>

namespace tintara {

namespace detail {

bool FitPayloadToTable(PacketCode code, std::vector<uint8_t>& payload) {
  const int64_t n = PacketLength(code, payload.data(), payload.size());
  if (n < 0) return false;
  if (uint64_t(n) < payload.size()) {
    for (size_t i = size_t(n); i < payload.size(); ++i)
      if (payload[i] != 0) return false;
  }
  payload.resize(size_t(n), 0);
  return true;
}

}  // namespace detail

namespace {

// Stored bytes of a compressed block: its bytes padded to an even count.
size_t StoredBlockLength(size_t compressed) { return (compressed + 1) & ~size_t(1); }
bool IsStoredBlockLength(uint64_t compressed, uint64_t stored) {
  return compressed <= stored && stored - compressed <= 1 && stored % 2 == 0;
}

void WriteBlock(ByteWriter& w, const std::vector<uint8_t>& bytes) {
  w.bytes(bytes.data(), bytes.size());
  w.zeros(StoredBlockLength(bytes.size()) - bytes.size());
}

bool ReadBytes(ByteReader& r, uint64_t n, std::vector<uint8_t>& out) {
  if (n > r.left()) return false;
  out.assign(r.here(), r.here() + size_t(n));
  r.skip(size_t(n));
  return true;
}

template <class F, class A>
void ToneAttributeFields(A& a, uint16_t& nameLength, F& f) {
  f.u16(a.recordKind), f.u16(a.patternKind), f.u16(nameLength), f.u16(a.version), f.u32(a.flags);
  f.i32(a.scale), f.i32(a.offsetX), f.i32(a.offsetY), f.i32(a.width), f.i32(a.height), f.zeros(8);
  f.i32(a.shape), f.f32(a.dpi), f.f32(a.linesPerInch), f.i32(a.density), f.i32(a.angle), f.i32(a.softness);
  f.zeros(8);
}

// The 22-byte head shared by image objects and pastes, and the body after it.
// `flagFirst`: the placement flag is byte 10 (pastes) rather than byte 11 (image objects).
struct ImageHead {
  uint16_t first = 0;
  uint8_t other = 0;
};

bool WriteImage(ByteWriter& w, const ImageHead& h, const ImageBody& img, bool flagFirst) {
  if (!IsPictureSide(img.width) || !IsPictureSide(img.height)) return false;
  const uint64_t pixelCount = uint64_t(img.width) * uint64_t(img.height);
  if (img.pixels.size() != pixelCount || !StorableText(img.name, 0xFFFF)) return false;
  const uint64_t raw = pixelCount * 4;
  const uint64_t nameBytes = StoredTextLength(img.name);
  const uint64_t after = (img.hasPlacement ? kPlacementBytes : 0) + nameBytes + raw;
  if (after > 0xFFFFFFFFu - 22) return false;
  const uint8_t flag = img.hasPlacement ? 1 : 0;
  w.u16(h.first);
  w.i32(img.width);
  w.i32(img.height);
  w.u8(flagFirst ? flag : h.other);
  w.u8(flagFirst ? h.other : flag);
  w.u32(uint32_t(after));
  w.u16(uint16_t(nameBytes));
  w.u32(uint32_t(raw));
  if (img.hasPlacement) w.bytes(img.placement.data(), kPlacementBytes);
  WriteTextBytes(w, img.name);
  for (uint32_t px : img.pixels) w.u32(px);
  return true;
}

bool ReadImage(ByteReader& r, ImageHead& h, ImageBody& img, bool flagFirst) {
  h.first = r.u16();
  img.width = r.i32();
  img.height = r.i32();
  const uint8_t b10 = r.u8(), b11 = r.u8();
  const uint32_t after = r.u32();
  const uint16_t nameBytes = r.u16();
  const uint32_t raw = r.u32();
  if (!r.ok()) return false;
  const uint8_t flag = flagFirst ? b10 : b11;
  h.other = flagFirst ? b11 : b10;
  if (flag > 1 || !IsPictureSide(img.width) || !IsPictureSide(img.height)) return false;
  const uint64_t pixelCount = uint64_t(img.width) * uint64_t(img.height);
  if (uint64_t(raw) != pixelCount * 4) return false;
  if (uint64_t(after) != uint64_t(flag) * kPlacementBytes + nameBytes + raw || after != r.left())
    return false;
  img.hasPlacement = flag == 1;
  img.placement.fill(0);
  if (img.hasPlacement && !r.bytes(img.placement.data(), kPlacementBytes)) return false;
  if (!ReadTextBytes(r, nameBytes, img.name)) return false;
  img.pixels.resize(size_t(pixelCount));
  for (uint32_t& px : img.pixels) px = r.u32();
  return r.ok();
}

}  // namespace

// ---- (0,36) tone definition

bool ToneDefinitionRecord::Write(ByteWriter& w) const {
  const ToneAttributes& a = attributes;
  if (a.patternKind > 1 || !IsPictureSide(a.width) || !IsPictureSide(a.height)) return false;
  if (!StorableText(name, kNameBytes) || compressed.size() >= 0xFFFFFFF0u) return false;
  uint16_t nameLength = uint16_t(StoredTextLength(name));
  w.u32(toneId);
  w.zeros(8);
  FieldWriter f(w);
  ToneAttributeFields(a, nameLength, f);
  WriteTextBytes(w, name);
  w.zeros(kNameBytes - nameLength);
  w.u32(uint32_t(RawSize()));
  w.u32(uint32_t(compressed.size()));
  w.u32(uint32_t(StoredBlockLength(compressed.size())));
  WriteBlock(w, compressed);
  return f.ok();
}

bool ToneDefinitionRecord::Read(ByteReader& r) {
  toneId = r.u32();
  r.skip(8);
  uint16_t nameLength = 0;
  FieldReader f(r);
  ToneAttributeFields(attributes, nameLength, f);
  if (!f.ok() || nameLength > kNameBytes) return false;
  const size_t nameAt = r.pos();
  if (!ReadTextBytes(r, nameLength, name)) return false;
  r.seek(nameAt + kNameBytes);
  const uint32_t raw = r.u32(), compressedSize = r.u32(), stored = r.u32();
  if (!r.ok()) return false;
  const ToneAttributes& a = attributes;
  if (a.patternKind > 1 || !IsPictureSide(a.width) || !IsPictureSide(a.height)) return false;
  if (raw != RawSize() || !IsStoredBlockLength(compressedSize, stored) || stored != r.left()) return false;
  return ReadBytes(r, compressedSize, compressed);
}

// ---- (0,40) colour stops

bool GradStopsRecord::Write(ByteWriter& w) const {
  if (stops.empty() || stops.size() > kMaxColourStops) return false;
  w.zeros(6);
  w.u16(uint16_t(stops.size() * kColourStopBytes));
  w.zeros(4);
  for (const ColourStop& s : stops) {
    w.u8(s.present), w.u8(s.enabled), w.u8(s.ownOpacity), w.u8(s.opacity);
    w.i32(s.id), w.u32(s.colour), w.i32(s.weight), w.i32(s.start), w.i32(s.span);
  }
  return true;
}

bool GradStopsRecord::Read(ByteReader& r) {
  r.skip(6);
  const uint16_t bytes = r.u16();
  r.skip(4);
  if (!r.ok() || bytes % kColourStopBytes != 0 || bytes > r.left()) return false;
  const size_t count = bytes / kColourStopBytes;
  if (count < 1 || count > kMaxColourStops) return false;
  stops.resize(count);
  for (ColourStop& s : stops) {
    s.present = r.u8(), s.enabled = r.u8(), s.ownOpacity = r.u8(), s.opacity = r.u8();
    s.id = r.i32(), s.colour = r.u32(), s.weight = r.i32(), s.start = r.i32(), s.span = r.i32();
  }
  return r.ok();
}

// ---- (0,44) pen-shape definition

bool NibDefinitionRecord::Write(ByteWriter& w) const {
  if (!IsPictureSide(width) || !IsPictureSide(height) || compressed.size() >= 0xFFFFFFF0u) return false;
  w.u32(shapeId);
  w.u16(nibParam);
  w.zeros(14);
  w.i32(width);
  w.i32(height);
  w.u32(uint32_t(RawSize()));
  w.u32(uint32_t(compressed.size()));
  w.u32(uint32_t(StoredBlockLength(compressed.size())));
  WriteBlock(w, compressed);
  return true;
}

bool NibDefinitionRecord::Read(ByteReader& r) {
  shapeId = r.u32();
  nibParam = r.u16();
  r.skip(14);
  width = r.i32();
  height = r.i32();
  const uint32_t raw = r.u32(), compressedSize = r.u32(), stored = r.u32();
  if (!r.ok() || !IsPictureSide(width) || !IsPictureSide(height) || raw != RawSize()) return false;
  if (!IsStoredBlockLength(compressedSize, stored) || stored != r.left()) return false;
  return ReadBytes(r, compressedSize, compressed);
}

// ---- parameter blocks

bool ParamBlockRecord::Write(ByteWriter& w) const {
  w.bytes(bytes.data(), bytes.size());
  return true;
}

bool ParamBlockRecord::Read(ByteReader& r) { return ReadBytes(r, r.left(), bytes); }

// ---- (0,128), (0,129) image objects and (12,1), (12,2) pastes

bool ImageObjectRecord::Write(ByteWriter& w) const { return WriteImage(w, {arg, mode}, image, false); }

bool ImageObjectRecord::Read(ByteReader& r) {
  ImageHead h;
  if (!ReadImage(r, h, image, false)) return false;
  arg = h.first;
  mode = h.other;
  return true;
}

bool PasteRecord::Write(ByteWriter& w) const { return WriteImage(w, {layer, extra}, image, true); }

bool PasteRecord::Read(ByteReader& r) {
  ImageHead h;
  if (!ReadImage(r, h, image, true)) return false;
  layer = h.first;
  extra = h.other;
  return true;
}

// ---- (0,136) colour range

bool ColourRangeRecord::Write(ByteWriter& w) const {
  const uint64_t n = kHeadBytes + uint64_t(entries.size()) * 8;
  if (n > 0xFFFFFFF0u) return false;
  w.u32(uint32_t(n));
  w.bytes(settings.data(), kHeadBytes);
  for (const ColourRangeEntry& e : entries) {
    w.u32(e.colour), w.u8(e.add), w.u8(e.range);
    w.zeros(2);
  }
  return true;
}

bool ColourRangeRecord::Read(ByteReader& r) {
  const uint32_t n = r.u32();
  if (!r.ok() || n < kHeadBytes || (n - kHeadBytes) % 8 != 0 || n != r.left()) return false;
  r.bytes(settings.data(), kHeadBytes);
  entries.resize((n - kHeadBytes) / 8);
  for (ColourRangeEntry& e : entries) {
    e.colour = r.u32(), e.add = r.u8(), e.range = r.u8();
    r.skip(2);
  }
  return r.ok();
}

// ---- kind 1

InfoRecord InfoRecord::RecordingTime(const SystemTime& t) {
  InfoRecord rec;
  rec.code = {1, kRecordingTimeSub};
  ByteWriter w(rec.data);
  for (uint16_t v : {t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second, t.milliseconds})
    w.u16(v);
  return rec;
}

bool InfoRecord::GetRecordingTime(SystemTime& t) const {
  if (code.sub != kRecordingTimeSub || data.size() != 16) return false;
  ByteReader r(data.data(), data.size());
  for (uint16_t* v :
       {&t.year, &t.month, &t.dayOfWeek, &t.day, &t.hour, &t.minute, &t.second, &t.milliseconds})
    *v = r.u16();
  return r.ok();
}

bool InfoRecord::Write(ByteWriter& w) const {
  if (data.size() > 0xFFFFFFF0u) return false;
  w.u32(uint32_t(data.size()));
  w.bytes(data.data(), data.size());
  return true;
}

bool InfoRecord::Read(ByteReader& r) {
  const uint32_t n = r.u32();
  return r.ok() && n == r.left() && ReadBytes(r, n, data);
}

// ---- (5,0), (5,1) group membership

bool GroupMembershipRecord::Write(ByteWriter& w) const {
  if (first.size() != second.size() || first.size() > 0xFFFF) return false;
  const uint16_t count = uint16_t(first.size());
  w.u16(layer);
  w.u16(count);
  w.zeros(2);
  w.u8(1);
  w.u8(2);
  w.zeros(4);
  w.u32(uint32_t(count) * 2);
  w.zeros(8);
  w.bytes(first.data(), count);
  w.bytes(second.data(), count);
  return true;
}

bool GroupMembershipRecord::Read(ByteReader& r) {
  layer = r.u16();
  const uint16_t count = r.u16();
  r.skip(2);
  const uint8_t one = r.u8(), two = r.u8();
  r.skip(4);
  const uint32_t dataBytes = r.u32();
  r.skip(8);
  if (!r.ok() || one != 1 || two != 2 || dataBytes != uint32_t(count) * 2 || dataBytes != r.left())
    return false;
  return ReadBytes(r, count, first) && ReadBytes(r, count, second);
}

// ---- kind 13

bool MaskDrawingRecord::HasValidRect() const {
  auto inLimit = [](int32_t v) { return v >= -kCoordinateLimit && v <= kCoordinateLimit; };
  return IsPictureSide(Width()) && IsPictureSide(Height()) && inLimit(left) && inLimit(top) &&
         inLimit(right) && inLimit(bottom);
}

bool MaskDrawingRecord::Write(ByteWriter& w) const {
  if (params.size() != ParamBytes(code.sub) || !HasValidRect() || compressed.size() >= 0xFFFFFFF0u)
    return false;
  w.u16(layer);
  w.i32(left), w.i32(top), w.i32(right), w.i32(bottom);
  w.bytes(params.data(), params.size());
  w.u32(uint32_t(RawSize()));
  w.u32(uint32_t(compressed.size()));
  w.u32(uint32_t(StoredBlockLength(compressed.size())));
  w.bytes(tail.data(), tail.size());
  WriteBlock(w, compressed);
  return true;
}

bool MaskDrawingRecord::Read(ByteReader& r) {
  layer = r.u16();
  left = r.i32(), top = r.i32(), right = r.i32(), bottom = r.i32();
  if (!ReadBytes(r, ParamBytes(code.sub), params)) return false;
  const uint32_t raw = r.u32(), compressedSize = r.u32(), stored = r.u32();
  r.bytes(tail.data(), tail.size());
  if (!r.ok() || !HasValidRect() || raw != RawSize()) return false;
  if (!IsStoredBlockLength(compressedSize, stored) || stored != r.left()) return false;
  return ReadBytes(r, compressedSize, compressed);
}

// ---- kinds 17 and 18

SampleBlockRecord SampleBlockRecord::Make(bool last, std::vector<PacketSample> samples) {
  SampleBlockRecord rec;
  rec.code = {uint8_t(last ? 18 : 17), uint8_t(samples.size())};
  rec.samples = std::move(samples);
  return rec;
}

bool SampleBlockRecord::Write(ByteWriter& w) const {
  if (samples.size() != code.sub || samples.empty() || samples.size() > kMaxSamplesPerBlock) return false;
  for (const PacketSample& s : samples) w.f32(s.x), w.f32(s.y), w.f32(s.pressure);
  return true;
}

bool SampleBlockRecord::Read(ByteReader& r) {
  // The length rule allows any count; a recorder writes 1 to 16.
  if (code.sub < 1 || code.sub > kMaxSamplesPerBlock || r.left() != size_t(code.sub) * 12) return false;
  samples.resize(code.sub);
  for (PacketSample& s : samples) {
    s.x = r.f32(), s.y = r.f32(), s.pressure = r.f32();
    if (!std::isfinite(s.x) || !std::isfinite(s.y) || !std::isfinite(s.pressure)) return false;
    s.x = ClipCoordinate(s.x);
    s.y = ClipCoordinate(s.y);
    s.pressure = s.pressure < 0 ? 0.0f : (s.pressure > 1 ? 1.0f : s.pressure);
  }
  return r.ok();
}

// ---- kind 38

bool FilterBlockRecord::Write(ByteWriter& w) const {
  if (data.size() > 0xFFFF) return false;
  w.u16(layer);
  w.u16(mask);
  w.u16(uint16_t(data.size()));
  w.bytes(params.data(), params.size());
  w.bytes(data.data(), data.size());
  return true;
}

bool FilterBlockRecord::Read(ByteReader& r) {
  layer = r.u16();
  mask = r.u16();
  const uint16_t n = r.u16();
  r.bytes(params.data(), params.size());
  return r.ok() && n == r.left() && ReadBytes(r, n, data);
}

// ---- any record

namespace {

template <size_t I = 0>
DecodeStatus DecodeAlternative(const PacketView& p, AnyRecord& out) {
  if constexpr (I == std::variant_size_v<AnyRecord>) {
    return DecodeStatus::WrongCode;
  } else {
    using R = std::variant_alternative_t<I, AnyRecord>;
    if (!AcceptsCode<R>(p.code)) return DecodeAlternative<I + 1>(p, out);
    R r;
    const DecodeStatus s = Decode(p, r);
    if (s == DecodeStatus::Ok) out = std::move(r);
    return s;
  }
}

template <size_t... I>
int CountAccepting(PacketCode code, std::index_sequence<I...>) {
  return (int(AcceptsCode<std::variant_alternative_t<I, AnyRecord>>(code)) + ...);
}

}  // namespace

int RecordTypesFor(PacketCode code) {
  return CountAccepting(code, std::make_index_sequence<std::variant_size_v<AnyRecord>>());
}

DecodeStatus DecodeRecord(const PacketView& p, AnyRecord& out) { return DecodeAlternative(p, out); }

bool EncodeRecord(const AnyRecord& r, std::vector<uint8_t>& out) {
  return std::visit([&](const auto& rec) { return Encode(rec, out); }, r);
}

PacketCode CodeOf(const AnyRecord& r) {
  return std::visit([](const auto& rec) { return rec.code; }, r);
}

}  // namespace tintara
