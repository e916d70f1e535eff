#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "EventTestUtil.h"
#include "events/EventRecords.h"
#include "events/Packets.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

using test::Bytes;
using test::Packet;

template <class R>
R Rec(PacketCode code) {
  R r;
  r.code = code;
  return r;
}

std::vector<uint8_t> EncodeOrDie(const AnyRecord& r) {
  std::vector<uint8_t> out;
  EXPECT_TRUE(EncodeRecord(r, out));
  return out;
}

DecodeStatus DecodeBytes(std::span<const uint8_t> packet, AnyRecord& out) {
  PacketView p;
  if (ReadPacketAt(packet, 0, p) != FrameStatus::Ok) return DecodeStatus::Truncated;
  EXPECT_EQ(p.end(), packet.size());
  return DecodeRecord(p, out);
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// ---------------------------------------------------------------------------------------
// Byte layouts: each record against its payload written out by hand.

struct LayoutCase {
  const char* name;
  AnyRecord record;
  Bytes payload;
};

std::vector<LayoutCase> LayoutCases() {
  std::vector<LayoutCase> cases;
  auto add = [&](const char* name, AnyRecord r, Bytes b) {
    cases.push_back({name, std::move(r), std::move(b)});
  };

  add("(0,0) version", AppVersionRecord{{0, 0}, 4, 6, 0}, Bytes().u16(4).u16(6).u16(0).zeros(6));
  add("(0,3) colour low byte first", ColourRecord{{0, 3}, 0x123456, 3}, Bytes().bytes({0x56, 0x34, 0x12, 3}));
  {
    GradGeometryRecord r;
    r.start = {1, -2}, r.end = {300, 400};
    add("(0,4) two points", r, Bytes().i32(1).i32(-2).i32(300).i32(400));
  }
  {
    GradModeRecord r;
    r.modes = {1, 2, 3, 4}, r.param = 0x1234;
    add("(0,5) mode bytes", r, Bytes().bytes({1, 2, 3, 4}).u16(0x1234).zeros(6));
  }
  add("(0,8) layer and mask", LayerArgRecord{{0, 8}, 3, 0xFFFF}, Bytes().u16(3).u16(0xFFFF));
  add("(0,58) padded flag word", FlagWordRecord{{0, 58}, 2}, Bytes().u16(2).zeros(2));
  add("(0,16) main pen", MainPenRecord{{0, 16}, 0xABCDEF, 2, 0.5f},
      Bytes().bytes({0xEF, 0xCD, 0xAB, 2}).f32(0.5f));
  add("(0,17) size range", PenSizeRecord{{0, 17}, 12.5f, 0.25f}, Bytes().f32(12.5f).f32(0.25f));
  {
    PenValuesRecord r;
    r.effect = 1, r.env = 2, r.speed = 3, r.gamma = 4, r.spacing = 5, r.airMap = 9;
    add("(0,18) pen values", r, Bytes().f32(1).f32(2).f32(3).f32(4).f32(5).u8(9).u8(0));
  }
  {
    FontRecord r;
    for (size_t i = 0; i < r.font.size(); ++i) r.font[i] = uint8_t(i + 1);
    r.a = 7, r.b = 8;
    Bytes b;
    for (int i = 0; i < 60; ++i) b.u8(uint32_t(i + 1));
    add("(0,32) font record", r, b.u16(7).u16(8).zeros(4));
  }
  add("(0,33) text", TextRecord{{0, 33}, "abc"}, Bytes().u16(4).text("abc").u8(0));
  {
    ToneDefinitionRecord r;
    r.toneId = 0x01020304;
    ToneAttributes& a = r.attributes;
    a.patternKind = 1, a.flags = 0x101, a.scale = 90, a.offsetX = 3, a.offsetY = 4, a.width = 5, a.height = 6;
    a.shape = 2, a.dpi = 300, a.linesPerInch = 55, a.density = 10, a.angle = 45, a.softness = 2;
    r.name = "Dot";
    r.compressed = {0xAA, 0xBB, 0xCC};
    Bytes b;
    b.u32(0x01020304).zeros(8);
    b.u16(8).u16(1).u16(4).u16(1).u32(0x101).i32(90).i32(3).i32(4).i32(5).i32(6).zeros(8);  // 12..51
    b.i32(2).f32(300).f32(55).i32(10).i32(45).i32(2).zeros(8);                              // 52..83
    b.text("Dot").zeros(61);                                                                // 84..147
    b.u32(30).u32(3).u32(4).bytes({0xAA, 0xBB, 0xCC, 0});
    add("(0,36) tone definition", r, b);
  }
  add("(0,37) tone selection", ToneSelectRecord{{0, 37}, 7, 1, 0x1234, 5, 6},
      Bytes().u32(7).zeros(4).u8(1).u8(0).u16(0x1234).u32(5).u32(6));
  {
    GradStopsRecord r;
    r.stops = {{1, 1, 0, 255, 0, 0xFF0000FF, 32768, 0, 65536}, {1, 1, 1, 128, 1, 0xFFFF0000, 0, 65536, 0}};
    Bytes b;
    b.zeros(6).u16(48).zeros(4);
    b.bytes({1, 1, 0, 255}).i32(0).u32(0xFF0000FF).i32(32768).i32(0).i32(65536);
    b.bytes({1, 1, 1, 128}).i32(1).u32(0xFFFF0000).i32(0).i32(65536).i32(0);
    add("(0,40) colour stops", r, b);
  }
  {
    NibDefinitionRecord r;
    r.shapeId = 11, r.nibParam = 0x22, r.width = 4, r.height = 3;
    r.compressed = {1, 2};
    add("(0,44) pen shape", r,
        Bytes().u32(11).u16(0x22).zeros(14).i32(4).i32(3).u32(12).u32(2).u32(2).bytes({1, 2}));
  }
  add("(0,45) pen shape selection", NibSelectRecord{{0, 45}, 9, 0x55, 3, 4},
      Bytes().u32(9).zeros(2).u16(0x55).zeros(8).i32(3).i32(4));
  {
    ParamBlockRecord r;
    r.code = {0, 57};
    r.bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    add("(0,57) parameter block", r, Bytes().bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
  }
  add("(0,50) pen colours", PenColoursRecord{{0, 50}, 0x00112233, 0x00445566},
      Bytes().u32(0x00112233).u32(0x00445566));
  {
    ImageObjectRecord r;
    r.code = {0, 128};
    r.arg = 5, r.mode = 6;
    r.image.width = 1, r.image.height = 1, r.image.hasPlacement = true;
    r.image.placement[0] = 0x42;
    r.image.name = "tex";
    r.image.pixels = {0xFF102030};
    Bytes b;
    b.u16(5).i32(1).i32(1).u8(6).u8(1).u32(72 + 4 + 4).u16(4).u32(4);  // flag at 11
    b.u8(0x42).zeros(71).text("tex").u8(0).u32(0xFF102030);
    add("(0,128) image object", r, b);
  }
  {
    ColourRangeRecord r;
    r.settings[0] = 9;
    r.entries = {{0x00FF0000, 1, 40}, {0x0000FF00, 0, 0}};
    add("(0,136) colour range", r,
        Bytes().u32(36).u8(9).zeros(19).u32(0x00FF0000).bytes({1, 40, 0, 0}).u32(0x0000FF00).zeros(4));
  }
  add("(1,17) recording time", InfoRecord::RecordingTime({2026, 3, 2, 17, 9, 30, 5, 250}),
      Bytes().u32(16).u16(2026).u16(3).u16(2).u16(17).u16(9).u16(30).u16(5).u16(250));
  add("(2,0) old paper", PaperCreateOldRecord{{2, 0}, 640, 480, 1, 2},
      Bytes().i32(640).i32(480).i32(1).i32(2));
  add("(2,8) paper", PaperCreateRecord{{2, 8}, 640, 480, 1, 2, 3, 0xFF, 0},
      Bytes().i32(640).i32(480).i32(1).i32(2).i32(3).u8(0xFF).u8(0).zeros(6));
  add("(2,1) paper colour", PaperColourRecord{{2, 1}, 0x00FFEEDD}, Bytes().u32(0x00FFEEDD));
  add("(2,2) canvas", CanvasResizeRecord{{2, 2}, 1, 2, 800, 600}, Bytes().u8(1).u8(2).i32(800).i32(600));
  add("(2,9) resolution", ResizeRecord{{2, 9}, 1, 350, 350}, Bytes().u16(1).i32(350).i32(350));
  add("(2,6) crop", CropRecord{{2, 6}, 2, 10, 20, 110, 220},
      Bytes().u16(2).i32(10).i32(20).i32(110).i32(220));
  add("(2,10) flatten", LayerArgsRecord{{2, 10}, 1, 0, 0x30003, 0},
      Bytes().u16(1).u16(0).i32(0x30003).i32(0));
  add("(4,0) add layer", AddLayerRecord{{4, 0}, 2, -1, 7, 3, 4, 0x0002},
      Bytes().u16(2).i32(-1).i32(7).u8(3).u8(4).u16(2));
  add("(4,11) named layer", AddNamedLayerRecord{{4, 11}, 2, 5, 6, 7, 8, 3, 9, "ab"},
      Bytes().u16(2).i32(5).i32(6).zeros(8).u8(7).u8(8).u16(3).i32(9).zeros(14).u16(4).text("ab").zeros(2));
  add("(4,10) merge padded", LayerArgValueRecord{{4, 10}, 3, 4, -5}, Bytes().u16(3).u16(4).i32(-5).zeros(4));
  add("(4,7) layer options", LayerOptionRecord{{4, 7}, 1, 2, 3, 4, 5},
      Bytes().u16(1).u8(2).u8(3).i32(4).i32(5));
  add("(4,38) rotation", LayerRotateRecord{{4, 38}, 1, 0, 30.5f, 0}, Bytes().u16(1).u16(0).f32(30.5f).i32(0));
  add("(4,39) scaling", LayerArgsRecord{{4, 39}, 1, 0, 200, 100}, Bytes().u16(1).u16(0).i32(200).i32(100));
  add("(4,50) flip with flag", LayerFlagOpRecord{{4, 50}, 1, 2, 1, 7},
      Bytes().u16(1).u16(2).u8(1).zeros(3).i32(7));
  add("(4,13) shift with flags", LayerShiftRecord{{4, 13}, 1, 0, -3, 4, 5},
      Bytes().u16(1).u16(0).i32(-3).i32(4).i32(5).zeros(4));
  add("(4,12) shift, eight zero bytes", LayerShiftRecord{{4, 12}, 1, 0, -3, 4, 0},
      Bytes().u16(1).u16(0).i32(-3).i32(4).zeros(8));
  {
    LayerArgsRecord r{{10, 14}, 1, 2, 0, 0};
    r.SetEnabledFlag(1);
    add("(10,14) enabled flag at 10", r, Bytes().u16(1).u16(2).i32(0).u16(0).u16(1));
  }
  add("(4,17) attributes", LayerAttrRecord{{4, 17}, 2, 5, 128, 0x13},
      Bytes().u16(2).u8(5).u8(128).u8(0x13).u8(0));
  add("(4,21) attributes with dither, cut to 18", LayerAttrDitherRecord{{4, 21}, 2, 5, 128, 0x11, 77, -9},
      Bytes().u16(2).u8(5).u8(128).u8(0x11).u8(0).u8(77).u8(0).i32(-9).zeros(6));
  add("(4,19) rename", IndexTextRecord{{4, 19}, 4, "Ink"}, Bytes().u16(4).u16(4).text("Ink").u8(0));
  {
    GroupMembershipRecord r;
    r.code = {5, 1};
    r.layer = 3, r.first = {1, 2}, r.second = {3, 4};
    add("(5,1) group membership", r,
        Bytes().u16(3).u16(2).zeros(2).u8(1).u8(2).zeros(4).u32(4).zeros(8).bytes({1, 2, 3, 4}));
  }
  add("(5,16) group display", GroupDisplayRecord{{5, 16}, 1, 2, 1, 3, 0x44, 5},
      Bytes().u16(1).u16(2).u8(1).u8(3).u16(0x44).i32(5));
  add("(6,2) fill", FillRecord{{6, 2}, 1, 0xDEADBEEF, {10, 20}, 1.5f, 2.5f},
      Bytes().u16(1).u32(0xDEADBEEF).i32(10).i32(20).f32(1.5f).f32(2.5f));
  add("(6,4) polygon", PolygonFillRecord{{6, 4}, 1, {{1, 2}, {3, 4}}},
      Bytes().u16(1).u16(2).i32(1).i32(2).i32(3).i32(4));
  add("(10,17) ellipse", ShapeSelectionRecord{{10, 17}, 1, 2, 3, {4, 5}, {6, 7}},
      Bytes().u16(1).u16(2).u8(3).u8(0).i32(4).i32(5).i32(6).i32(7));
  add("(10,18) lasso", LassoSelectionRecord{{10, 18}, 1, 2, 3, {{4, 5}}},
      Bytes().u16(1).u16(2).u8(3).u8(0).u16(1).i32(4).i32(5));
  {
    PasteRecord r;
    r.code = {12, 1};
    r.layer = 2, r.extra = 9;
    r.image.width = 2, r.image.height = 1;
    r.image.pixels = {0x11223344, 0x55667788};
    add("(12,1) paste", r,
        Bytes().u16(2).i32(2).i32(1).u8(0).u8(9).u32(8).u16(0).u32(8).u32(0x11223344).u32(0x55667788));
  }
  {
    MaskDrawingRecord r;
    r.code = {13, 2};
    r.layer = 1;
    r.left = -3, r.top = 4, r.right = 2, r.bottom = 6;  // 5 x 2
    r.params.assign(34, 0x5A);
    r.tail = {1, 2, 3, 4, 5, 6, 7, 8};
    r.compressed = {9, 8, 7};
    Bytes b;
    b.u16(1).i32(-3).i32(4).i32(2).i32(6).fill(34, 0x5A);     // 0..51
    b.u32(10).u32(3).u32(4).bytes({1, 2, 3, 4, 5, 6, 7, 8});  // sizes at 52, 56, 60
    add("(13,2) drawing, odd block padded, stored size at 60", r, b.bytes({9, 8, 7, 0}));
  }
  {
    MaskDrawingRecord r;
    r.code = {13, 17};
    r.layer = 2;
    r.left = 10, r.top = 20, r.right = 13, r.bottom = 21;  // 3 x 1
    r.params.assign(16, 0x33);
    r.tail[7] = 0x44;
    r.compressed = {5, 6};
    Bytes b;
    b.u16(2).i32(10).i32(20).i32(13).i32(21).fill(16, 0x33);  // 0..33
    b.u32(3).u32(2).u32(2).zeros(7).u8(0x44);                 // sizes at 34, 38, 42
    add("(13,17) drawing, even block, stored size at 42", r, b.bytes({5, 6}));
  }
  add("(18,2) last samples", SampleBlockRecord::Make(true, {{1.5f, 2.5f, 0.25f}, {3, 4, 1}}),
      Bytes().f32(1.5f).f32(2.5f).f32(0.25f).f32(3).f32(4).f32(1));
  add("(34,33) filter values", FilterRecord{{34, 33}, 1, 2, {3, 4, 5, 6, 0, 0}},
      Bytes().u16(1).u16(2).u32(3).u32(4).u32(5).u32(6));
  {
    FilterBlockRecord r;
    r.code = {38, 39};
    r.layer = 1, r.mask = 2;
    r.params[0] = 0x77;
    r.data = {1, 2, 3};
    add("(38,39) filter block", r, Bytes().u16(1).u16(2).u16(3).u8(0x77).zeros(43).bytes({1, 2, 3}));
  }
  return cases;
}

TEST(RecordLayout, EncodesFieldByFieldAtTheirOffsets) {
  for (const LayoutCase& c : LayoutCases()) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> packet = EncodeOrDie(c.record);
    const PacketCode code = CodeOf(c.record);
    EXPECT_EQ(packet, Packet(code.kind, code.sub, c.payload));
  }
}

TEST(RecordLayout, DecodesTheHandWrittenBytes) {
  for (const LayoutCase& c : LayoutCases()) {
    SCOPED_TRACE(c.name);
    const PacketCode code = CodeOf(c.record);
    AnyRecord decoded;
    ASSERT_EQ(DecodeBytes(Packet(code.kind, code.sub, c.payload), decoded), DecodeStatus::Ok);
    EXPECT_TRUE(decoded == c.record);
  }
}

// ---------------------------------------------------------------------------------------
// Round trips over every record type and a spread of codes.

std::vector<AnyRecord> RoundTripCases() {
  std::vector<AnyRecord> v;
  for (const LayoutCase& c : LayoutCases()) v.push_back(c.record);
  v.push_back(AppVersionRecord{{0, 0}, 2, 0, 0});
  v.push_back(ColourRecord{{0, 2}, 0xFFFFFF, 0});
  v.push_back(FlagWordRecord{{0, 12}, 0x800B});
  v.push_back(TextRecord{{0, 33}, ""});
  v.push_back(TextRecord{{0, 33}, std::string("\x82\xa0\x82\xa2", 4)});  // stored bytes, not converted
  v.push_back(IndexTextRecord{{10, 12}, 2, "Selection 1"});
  for (uint8_t kind : {16, 20, 21, 22, 23, 24, 48, 49}) v.push_back(LayerArgRecord{{kind, 0}, 5, 1});
  for (uint8_t sub : {4, 5, 7, 16, 17, 18, 19, 254, 255}) v.push_back(Rec<EmptyRecord>({2, sub}));
  v.push_back(ResizeRecord{{2, 3}, 2, 1024, 768});
  v.push_back(LayerShiftRecord{{5, 10}, 1, 2, 3, 4, 5});
  v.push_back(FillRecord{{6, 5}, 3, 0, {-4, 7}, 0, 1});
  v.push_back(FilterRecord{{32, 20}, 1, 0xFFFF, {}});
  v.push_back(FilterRecord{{33, 2}, 1, 2, {0x3F800000, 9, 0, 0, 0, 0}});
  v.push_back(FilterRecord{{35, 37}, 1, 2, {1, 2, 3, 4, 5, 6}});
  {
    InfoRecord r;
    r.code = {1, 200};
    r.data = {9, 8, 7};
    v.push_back(r);
  }
  {
    std::vector<PacketSample> s(16);
    for (int i = 0; i < 16; ++i) s[size_t(i)] = {float(i), float(2 * i), float(i) / 16};
    v.push_back(SampleBlockRecord::Make(false, s));
  }
  {
    PasteRecord r;
    r.code = {12, 2};
    r.image.width = 3, r.image.height = 2, r.image.hasPlacement = true, r.image.name = "Layer 1";
    for (int i = 0; i < 72; ++i) r.image.placement[size_t(i)] = uint8_t(i);
    r.image.pixels = {1, 2, 3, 4, 5, 6};
    v.push_back(r);
  }
  {
    MaskDrawingRecord r;
    r.code = {13, 32};
    r.right = r.bottom = 1;
    r.params.assign(16, 1);
    v.push_back(r);  // an empty compressed block
  }
  {
    MaskDrawingRecord r;
    r.code = {13, 0};
    r.left = r.top = -65536;
    r.right = r.bottom = -55536;  // the largest channel, at the far corner
    r.params.assign(16, 2);
    r.compressed.assign(101, 7);
    v.push_back(r);
  }
  {
    GradStopsRecord r;
    r.stops.resize(kMaxColourStops);
    for (size_t i = 0; i < r.stops.size(); ++i) r.stops[i].id = int32_t(i);
    v.push_back(r);
  }
  return v;
}

TEST(RecordRoundTrip, EncodeThenDecodeGivesTheRecordBack) {
  for (const AnyRecord& rec : RoundTripCases()) {
    const PacketCode code = CodeOf(rec);
    SCOPED_TRACE(testing::Message() << int(code.kind) << "," << int(code.sub));
    const std::vector<uint8_t> packet = EncodeOrDie(rec);
    AnyRecord decoded;
    ASSERT_EQ(DecodeBytes(packet, decoded), DecodeStatus::Ok);
    EXPECT_TRUE(decoded == rec);
    EXPECT_EQ(decoded.index(), rec.index());
    EXPECT_EQ(EncodeOrDie(decoded), packet);
  }
}

TEST(RecordRoundTrip, EveryCodeOfTheTableHasExactlyOneRecordType) {
  for (int kind = 0; kind < 256; ++kind)
    for (int sub = 0; sub < 256; ++sub) {
      const PacketCode code{uint8_t(kind), uint8_t(sub)};
      EXPECT_EQ(RecordTypesFor(code), IsKnownPacketCode(code.kind, code.sub) ? 1 : 0) << kind << "," << sub;
    }
}

// ---------------------------------------------------------------------------------------
// Texts and sample blocks.

TEST(TextField, IsTerminatedAndPaddedToEvenLength) {
  struct Case {
    std::string text;
    Bytes payload;
  };
  const Case cases[] = {
      {"", Bytes().u16(0)},  // the length only
      {"a", Bytes().u16(2).text("a").u8(0)},
      {"ab", Bytes().u16(4).text("ab").zeros(2)},
      {"abc", Bytes().u16(4).text("abc").u8(0)},
      {"\x93\xfa\x96\x7b", Bytes().u16(6).bytes({0x93, 0xFA, 0x96, 0x7B}).zeros(2)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeOrDie(TextRecord{{0, 33}, c.text}), Packet(0, 33, c.payload)) << c.text;
  }
}

TEST(SampleBlock, SixteenSamplesAreOneHundredNinetyTwoBytes) {
  const std::vector<PacketSample> samples(16, {1, 2, 0.5f});
  const std::vector<uint8_t> packet = EncodeOrDie(SampleBlockRecord::Make(false, samples));
  ASSERT_EQ(packet.size(), 2u + 192u);
  EXPECT_EQ(packet[0], 17);
  EXPECT_EQ(packet[1], 16);
  EXPECT_EQ(PacketLength(17, 16, packet.data() + 2, packet.size() - 2), 192);
}

// ---------------------------------------------------------------------------------------
// What the encoders refuse.

TEST(RecordEncode, RefusesWhatCannotBeStored) {
  ImageBody image;
  image.width = 2, image.height = 2, image.pixels = {1, 2, 3};  // one pixel short
  PasteRecord paste;
  paste.image = image;
  ToneDefinitionRecord tone;
  tone.attributes.width = tone.attributes.height = 2;
  tone.name = std::string(63, 'n');  // 64 with its terminator: fits
  ToneDefinitionRecord longName = tone;
  longName.name += 'n';
  GradStopsRecord tooMany;
  tooMany.stops.resize(kMaxColourStops + 1);
  GroupMembershipRecord group;
  group.first = {1, 2}, group.second = {1};
  MaskDrawingRecord drawing;  // valid but for the head: 16 parameter bytes for sub 0
  drawing.right = drawing.bottom = 4;
  drawing.params.resize(39);
  MaskDrawingRecord flatDrawing;
  flatDrawing.params.resize(16);
  flatDrawing.right = 4;  // height 0
  MaskDrawingRecord wideDrawing = flatDrawing;
  wideDrawing.code = {13, 3};
  wideDrawing.params.resize(34);
  wideDrawing.bottom = 1, wideDrawing.right = 10001;
  MaskDrawingRecord farDrawing = flatDrawing;
  farDrawing.bottom = 1, farDrawing.left = 65536, farDrawing.right = 65537;
  ParamBlockRecord block;
  block.bytes.assign(9, 1);  // (0,48) holds 8
  NibDefinitionRecord nib;
  nib.width = 0, nib.height = 4;

  struct Case {
    const char* name;
    AnyRecord record;
    bool ok;
  };
  const Case cases[] = {
      {"code the type does not serve", LayerArgRecord{{4, 6}, 0, 0}, false},
      {"text with a zero inside", TextRecord{{0, 33}, std::string("a\0b", 3)}, false},
      {"pixels do not match the size", paste, false},
      {"tone name filling its area", tone, true},
      {"tone name too long", longName, false},
      {"no colour stops", Rec<GradStopsRecord>({0, 40}), false},
      {"too many colour stops", tooMany, false},
      {"group arrays differ", group, false},
      {"drawing head of the wrong size", drawing, false},
      {"drawing of height 0", flatDrawing, false},
      {"drawing wider than 10000", wideDrawing, false},
      {"drawing beyond the coordinate limit", farDrawing, false},
      {"parameter block longer than its packet", block, false},
      {"empty sample block", SampleBlockRecord::Make(true, {}), false},
      {"seventeen samples", SampleBlockRecord::Make(false, std::vector<PacketSample>(17)), false},
      {"sample count not the sub", SampleBlockRecord{{17, 2}, {{1, 2, 3}}}, false},
      {"nib of width 0", nib, false},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> out{0xEE};
    EXPECT_EQ(EncodeRecord(c.record, out), c.ok) << c.name;
    if (!c.ok) {
      EXPECT_EQ(out, std::vector<uint8_t>{0xEE}) << c.name;
    }
  }
}

// ---------------------------------------------------------------------------------------
// What the decoders refuse, clamp and clip.

Bytes ImageHeadBytes(int32_t w, int32_t h, uint8_t b10, uint8_t b11, uint32_t after, uint16_t nameLen,
                     uint32_t raw) {
  return Bytes().u16(0).i32(w).i32(h).u8(b10).u8(b11).u32(after).u16(nameLen).u32(raw);
}

Bytes ToneBytes(uint16_t patternKind, int32_t w, int32_t h, float dpi, uint16_t nameLen,
                const std::string& name, uint32_t raw, uint32_t compressed, uint32_t stored) {
  Bytes b;
  b.u32(1).zeros(8).u16(8).u16(patternKind).u16(nameLen).u16(1).u32(0).i32(100).i32(0).i32(0).i32(w).i32(h);
  b.zeros(8).i32(0).f32(dpi).f32(55).i32(10).i32(0).i32(0).zeros(8);
  b.text(name).zeros(64 - name.size());
  b.u32(raw).u32(compressed).u32(stored).zeros(stored);
  return b;
}

// A kind-13 packet: head of 54 bytes (72 for subs 2 and 3) and `stored` block bytes.
Bytes MaskBytes(uint8_t sub, int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t raw,
                uint32_t compressed, uint32_t stored) {
  const size_t params = sub == 2 || sub == 3 ? 34 : 16;
  Bytes b;
  b.u16(0).i32(left).i32(top).i32(right).i32(bottom).zeros(params);
  return b.u32(raw).u32(compressed).u32(stored).zeros(8).zeros(stored);
}

struct BadCase {
  const char* name;
  std::vector<uint8_t> packet;
  DecodeStatus expected;
};

std::vector<BadCase> BadCases() {
  std::vector<BadCase> v;
  auto add = [&](const char* name, uint8_t kind, uint8_t sub, Bytes b,
                 DecodeStatus s = DecodeStatus::Invalid) {
    v.push_back({name, Packet(kind, sub, b), s});
  };
  // Texts.
  add("text of odd length", 0, 33, Bytes().u16(3).text("ab").u8(0));
  add("text without its zero", 0, 33, Bytes().u16(2).text("ab"));
  add("layer name without its zero", 4, 19, Bytes().u16(0).u16(4).text("abcd"));
  add("mask name of odd length", 10, 12, Bytes().u16(0).u16(1).u8(0));
  add("named layer without its zero", 4, 11, Bytes().u16(0).zeros(38).u16(2).text("ab"));
  // Colour stops.
  add("stop bytes not a multiple of 24", 0, 40, Bytes().zeros(6).u16(25).zeros(4).zeros(25));
  add("no stops", 0, 40, Bytes().zeros(6).u16(0).zeros(4));
  add("2730 stops", 0, 40, Bytes().zeros(6).u16(2730 * 24).zeros(4).zeros(2730 * 24));
  // Image objects and pastes.
  add("image of width 0", 0, 128, ImageHeadBytes(0, 1, 0, 0, 0, 0, 0));
  add("image wider than 10000", 0, 129, ImageHeadBytes(10001, 1, 0, 0, 40004, 0, 40004).zeros(40004));
  add("image raw size not w*h*4", 0, 128, ImageHeadBytes(1, 1, 0, 0, 8, 0, 8).zeros(8));
  add("image bytes after the head do not add up", 0, 128, ImageHeadBytes(1, 1, 0, 0, 8, 2, 4).zeros(8));
  add("image placement flag 2", 0, 128, ImageHeadBytes(1, 1, 0, 2, 148, 0, 4).zeros(148));
  add("image name without its zero", 0, 128, ImageHeadBytes(1, 1, 0, 0, 6, 2, 4).text("ab").zeros(4));
  add("paste taller than 10000", 12, 1, ImageHeadBytes(1, 10001, 0, 0, 40004, 0, 40004).zeros(40004));
  add("paste placement flag 2", 12, 2, ImageHeadBytes(1, 1, 2, 0, 148, 0, 4).zeros(148));
  add("paste of negative height", 12, 2, ImageHeadBytes(1, -1, 0, 0, 0, 0, 0));
  // Colour ranges.
  add("colour range shorter than its head", 0, 136, Bytes().u32(19).zeros(19));
  add("colour range with a partial entry", 0, 136, Bytes().u32(21).zeros(21));
  // Picture sizes.
  add("paper of width 0", 2, 8, Bytes().i32(0).i32(100).zeros(20));
  add("paper taller than 10000", 2, 8, Bytes().i32(100).i32(10001).zeros(20));
  add("old paper of negative width", 2, 0, Bytes().i32(-5).i32(100).zeros(8));
  add("canvas wider than 10000", 2, 2, Bytes().u16(0).i32(10001).i32(10));
  add("image resize to height 0", 2, 3, Bytes().u16(0).i32(10).i32(0));
  add("empty crop rectangle", 2, 6, Bytes().u16(0).i32(10).i32(10).i32(10).i32(20));
  add("crop wider than 10000", 2, 6, Bytes().u16(0).i32(-1).i32(0).i32(10000).i32(20));
  add("layer scaled to width 0", 4, 39, Bytes().u16(0).u16(0).i32(0).i32(10));
  // Floats.
  add("density NaN", 0, 16, Bytes().zeros(4).f32(kNaN));
  add("pen width infinite", 0, 17, Bytes().f32(kInf).f32(1));
  add("pen gamma -infinite", 0, 18, Bytes().f32(1).f32(1).f32(1).f32(-kInf).f32(1).zeros(2));
  add("rotation angle NaN", 4, 38, Bytes().u16(0).u16(0).f32(kNaN).i32(0));
  add("fill float infinite", 6, 1, Bytes().u16(0).u32(0).i32(0).i32(0).f32(1).f32(kInf));
  add("sample pressure NaN", 17, 1, Bytes().f32(1).f32(1).f32(kNaN));
  add("sample x infinite", 18, 2, Bytes().f32(1).f32(1).f32(1).f32(kInf).f32(1).f32(1));
  add("tone DPI NaN", 0, 36, ToneBytes(1, 2, 2, kNaN, 0, "", 4, 0, 0));
  // Group membership heads.
  auto group = [](uint8_t six, uint8_t seven, uint32_t twelve, uint16_t count) {
    return Bytes().u16(0).u16(count).zeros(2).u8(six).u8(seven).zeros(4).u32(twelve).zeros(8).zeros(twelve);
  };
  add("group head without 1 at 6", 5, 0, group(0, 2, 4, 2));
  add("group head without 2 at 7", 5, 1, group(1, 3, 4, 2));
  add("group data length not count*2", 5, 0, group(1, 2, 6, 2));
  add("group data length odd", 5, 1, group(1, 2, 3, 2));
  // Sample blocks.
  add("empty sample block", 17, 0, Bytes());
  add("seventeen samples", 18, 17, Bytes().zeros(17 * 12));
  // Tone and pen-shape definitions.
  add("tone of width 0", 0, 36, ToneBytes(0, 0, 2, 0, 0, "", 0, 0, 0));
  add("tone raw size not w*h", 0, 36, ToneBytes(0, 2, 2, 0, 0, "", 5, 0, 0));
  add("tone compressed beyond stored", 0, 36, ToneBytes(0, 2, 2, 0, 0, "", 4, 3, 2));
  add("tone stored odd", 0, 36, ToneBytes(0, 2, 2, 0, 0, "", 4, 3, 3));
  add("tone name longer than its area", 0, 36, ToneBytes(0, 2, 2, 0, 66, "ab", 4, 0, 0));
  add("tone name without its zero", 0, 36, ToneBytes(0, 2, 2, 0, 2, "ab", 4, 0, 0));
  add("tone of pattern kind 2", 0, 36, ToneBytes(2, 2, 2, 0, 0, "", 4, 0, 0));
  add("pen shape wider than 10000", 0, 44,
      Bytes().u32(1).zeros(16).i32(10001).i32(1).u32(10001).u32(0).u32(0));
  add("pen shape raw size not w*h", 0, 44, Bytes().u32(1).zeros(16).i32(2).i32(2).u32(3).u32(0).u32(0));
  add("pen shape compressed beyond stored", 0, 44,
      Bytes().u32(1).zeros(16).i32(2).i32(2).u32(4).u32(5).u32(4).zeros(4));
  // Mask-channel drawings: the rectangle, its area and the block sizes.
  add("drawing of width 0", 13, 0, MaskBytes(0, 5, 5, 5, 10, 0, 0, 0));
  add("drawing of negative height", 13, 1, MaskBytes(1, 0, 10, 10, 0, 0, 0, 0));
  add("drawing wider than 10000", 13, 16, MaskBytes(16, 0, 0, 10001, 1, 10001, 2, 2));
  add("drawing taller than 10000", 13, 2, MaskBytes(2, 0, -1, 1, 10000, 10001, 2, 2));
  add("drawing side overflowing 32 bits", 13, 0, MaskBytes(0, INT32_MIN, 0, INT32_MAX, 1, 1, 0, 0));
  add("drawing beyond the coordinate limit", 13, 17, MaskBytes(17, -65537, 0, -65530, 1, 7, 2, 2));
  add("drawing uncompressed size not w*h", 13, 32, MaskBytes(32, 0, 0, 4, 4, 15, 2, 2));
  add("drawing uncompressed size not w*h, long head", 13, 3, MaskBytes(3, 0, 0, 4, 4, 17, 2, 2));
  add("drawing stored size odd", 13, 0, MaskBytes(0, 0, 0, 2, 2, 4, 3, 3));
  add("drawing compressed beyond stored", 13, 1, MaskBytes(1, 0, 0, 2, 2, 4, 5, 4));
  add("drawing stored two past compressed", 13, 2, MaskBytes(2, 0, 0, 2, 2, 4, 2, 4));
  return v;
}

TEST(RecordDecode, RefusesBadPayloads) {
  for (const BadCase& c : BadCases()) {
    AnyRecord decoded;
    EXPECT_EQ(DecodeBytes(c.packet, decoded), c.expected) << c.name;
  }
}

TEST(RecordDecode, ReportsTruncationAndWrongTypes) {
  const std::vector<uint8_t> full = Packet(4, 1, Bytes().u16(1).u16(2));
  LayerArgRecord arg;
  EXPECT_EQ(Decode(std::span<const uint8_t>(full), arg), DecodeStatus::Ok);
  EXPECT_EQ(Decode(std::span<const uint8_t>(full.data(), full.size() - 1), arg), DecodeStatus::Truncated);
  FillRecord fill;
  EXPECT_EQ(Decode(std::span<const uint8_t>(full), fill), DecodeStatus::WrongCode);
  const std::vector<uint8_t> unknown = Packet(3, 0, Bytes());
  EXPECT_EQ(Decode(std::span<const uint8_t>(unknown), arg), DecodeStatus::WrongCode);
  // A payload handed over shorter than its layout (not framed by the table).
  PenSizeRecord size;
  EXPECT_EQ(DecodePayload(PacketCode{0, 17}, std::span<const uint8_t>(full.data() + 2, 4), size),
            DecodeStatus::Truncated);
}

TEST(RecordDecode, ClampsBlendModesAndClipsPoints) {
  AnyRecord r;
  ASSERT_EQ(DecodeBytes(Packet(4, 16, Bytes().u16(1).u8(30).u8(255).u8(1).u8(0)), r), DecodeStatus::Ok);
  EXPECT_EQ(std::get<LayerAttrRecord>(r).blendMode, 21);
  ASSERT_EQ(DecodeBytes(Packet(4, 20, Bytes().u16(1).u8(21).u8(255).u8(1).u8(0)), r), DecodeStatus::Ok);
  EXPECT_EQ(std::get<LayerAttrRecord>(r).blendMode, 21);
  ASSERT_EQ(
      DecodeBytes(Packet(4, 21, Bytes().u16(1).u8(200).u8(255).u8(1).u8(0).u8(50).u8(0).i32(3).zeros(6)), r),
      DecodeStatus::Ok);
  EXPECT_EQ(std::get<LayerAttrDitherRecord>(r).blendMode, 21);
  EXPECT_EQ(std::get<LayerAttrDitherRecord>(r).ditherAmount, 50);

  ASSERT_EQ(
      DecodeBytes(Packet(6, 4, Bytes().u16(0).u16(2).i32(100000).i32(-100000).i32(-65536).i32(65536)), r),
      DecodeStatus::Ok);
  EXPECT_EQ(std::get<PolygonFillRecord>(r).points, (std::vector<Point32>{{65536, -65536}, {-65536, 65536}}));
  ASSERT_EQ(DecodeBytes(Packet(10, 18, Bytes().u16(0).u16(0).u8(1).u8(0).u16(1).i32(INT32_MIN).i32(5)), r),
            DecodeStatus::Ok);
  EXPECT_EQ(std::get<LassoSelectionRecord>(r).points, (std::vector<Point32>{{-65536, 5}}));
  ASSERT_EQ(
      DecodeBytes(Packet(10, 16, Bytes().u16(0).u16(0).u8(1).u8(0).i32(1).i32(2).i32(INT32_MAX).i32(3)), r),
      DecodeStatus::Ok);
  EXPECT_EQ(std::get<ShapeSelectionRecord>(r).to, (Point32{65536, 3}));
  ASSERT_EQ(DecodeBytes(Packet(6, 0, Bytes().u16(0).u32(0).i32(-70000).i32(7).f32(0).f32(0)), r),
            DecodeStatus::Ok);
  EXPECT_EQ(std::get<FillRecord>(r).at, (Point32{-65536, 7}));

  ASSERT_EQ(DecodeBytes(Packet(17, 2, Bytes().f32(1e9f).f32(-3).f32(1.5f).f32(4).f32(-1e9f).f32(-0.5f)), r),
            DecodeStatus::Ok);
  const auto& s = std::get<SampleBlockRecord>(r).samples;
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0], (PacketSample{65536, -3, 1}));
  EXPECT_EQ(s[1], (PacketSample{4, -65536, 0}));
}

TEST(RecordDecode, ClampsPenKindsToTheirTable) {
  struct Case {
    uint8_t stored, expected;
  };
  const Case cases[] = {{0, 0}, {3, 3}, {4, 4}, {5, 4}, {255, 4}};
  for (const Case c : cases) {
    AnyRecord r;
    ASSERT_EQ(DecodeBytes(Packet(0, 16, Bytes().bytes({1, 2, 3}).u8(c.stored).f32(0.5f)), r),
              DecodeStatus::Ok);
    const MainPenRecord& pen = std::get<MainPenRecord>(r);
    EXPECT_EQ(pen.penKind, c.expected) << int(c.stored);
    EXPECT_EQ(pen.colour, 0x030201u);
    EXPECT_EQ(pen.opaque, 0.5f);
  }
}

TEST(RecordLayout, SelectionEnabledFlagIsTheUint16AtOffsetTen) {
  struct Case {
    uint16_t at8, at10;  // the payload's uint16 at 8 and at 10
    uint16_t newFlag;
  };
  const Case cases[] = {{0, 1, 0}, {0x1234, 0, 1}, {0xFFFF, 1, 0}, {0, 0xFFFF, 0x8000}, {0x8000, 0x8000, 1}};
  for (const Case c : cases) {
    SCOPED_TRACE(testing::Message() << c.at8 << " " << c.at10);
    AnyRecord r;
    ASSERT_EQ(DecodeBytes(Packet(10, 14, Bytes().u16(3).u16(4).i32(-7).u16(c.at8).u16(c.at10)), r),
              DecodeStatus::Ok);
    LayerArgsRecord rec = std::get<LayerArgsRecord>(r);
    EXPECT_EQ(rec.EnabledFlag(), c.at10);
    rec.SetEnabledFlag(c.newFlag);
    EXPECT_EQ(rec.EnabledFlag(), c.newFlag);
    EXPECT_EQ(EncodeOrDie(rec), Packet(10, 14, Bytes().u16(3).u16(4).i32(-7).u16(c.at8).u16(c.newFlag)));
  }
}

TEST(RecordEncode, LayerShiftHasFlagsOnlyWhereItsLayoutHasThem) {
  struct Case {
    PacketCode code;
    Bytes flagBytes;  // payload bytes 12-15 for flags 0x01020304
  };
  const Case cases[] = {
      {{4, 12}, Bytes().zeros(4)},
      {{4, 13}, Bytes().u32(0x01020304)},
      {{5, 9}, Bytes().u32(0x01020304)},
      {{5, 10}, Bytes().u32(0x01020304)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.code.kind) << "," << int(c.code.sub));
    const LayerShiftRecord rec{c.code, 1, 2, 30, -40, 0x01020304};
    const Bytes head = Bytes().u16(1).u16(2).i32(30).i32(-40);
    EXPECT_EQ(EncodeOrDie(rec), Packet(c.code.kind, c.code.sub, Bytes(head).append(c.flagBytes.b).zeros(4)));
  }
  // Bytes 12-15 of a (4,12) are not flags, whatever they hold.
  AnyRecord r;
  ASSERT_EQ(DecodeBytes(Packet(4, 12, Bytes().u16(1).u16(2).i32(30).i32(-40).u32(0x01020304).zeros(4)), r),
            DecodeStatus::Ok);
  EXPECT_EQ(std::get<LayerShiftRecord>(r).flags, 0);
}

TEST(RecordEncode, PadsShortLayoutsToTheTablesLength) {
  ParamBlockRecord block;
  block.code = {0, 60};
  block.bytes = {1, 2, 3};
  EXPECT_EQ(EncodeOrDie(block), Packet(0, 60, Bytes().bytes({1, 2, 3}).zeros(13)));
  block.bytes.assign(20, 0);  // longer than the packet, but only by zero bytes
  EXPECT_EQ(EncodeOrDie(block), Packet(0, 60, Bytes().zeros(16)));
}

TEST(RecordDecode, ReadsOnlyTheFieldsThatTheTableFrames) {
  AnyRecord r;
  // (4,10): the four bytes after the layout are not part of any field.
  ASSERT_EQ(DecodeBytes(Packet(4, 10, Bytes().u16(1).u16(2).i32(3).u32(0xFFFFFFFF)), r), DecodeStatus::Ok);
  EXPECT_TRUE(r == AnyRecord(LayerArgValueRecord{{4, 10}, 1, 2, 3}));
  // A colour range with no entries is its head only.
  ASSERT_EQ(DecodeBytes(Packet(0, 136, Bytes().u32(20).zeros(20)), r), DecodeStatus::Ok);
  EXPECT_TRUE(std::get<ColourRangeRecord>(r).entries.empty());
}

TEST(InfoRecord, RecordingTimeNeedsSubSeventeenAndSixteenBytes) {
  const SystemTime t{2026, 12, 4, 10, 12, 30, 5, 999};
  SystemTime got;
  ASSERT_TRUE(InfoRecord::RecordingTime(t).GetRecordingTime(got));
  EXPECT_EQ(got.year, 2026);
  EXPECT_EQ(got.month, 12);
  EXPECT_EQ(got.dayOfWeek, 4);
  EXPECT_EQ(got.day, 10);
  EXPECT_EQ(got.milliseconds, 999);
  InfoRecord shortTime = InfoRecord::RecordingTime(t);
  shortTime.data.pop_back();
  EXPECT_FALSE(shortTime.GetRecordingTime(got));
  InfoRecord otherSub = InfoRecord::RecordingTime(t);
  otherSub.code.sub = 16;
  EXPECT_FALSE(otherSub.GetRecordingTime(got));
}

}  // namespace
}  // namespace tintara
