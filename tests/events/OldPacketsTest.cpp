#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "EventTestUtil.h"
#include "events/OldPackets.h"
#include "pixel/Random.h"
#include "platform/Clock.h"
#include "platform/FileIO.h"
#include "platform/Memory.h"

namespace tintara {
namespace {

using test::Bytes;

// Old streams built by hand: each packet a uint16 code and its payload.
struct OldStream {
  Bytes b;
  OldStream& paper(uint16_t w, uint16_t h, uint16_t code = 512) {
    b.u16(code).u16(w).u16(h);
    return *this;
  }
  OldStream& layer(uint16_t code, uint8_t layer) {
    b.u16(code).u8(layer);
    return *this;
  }
  OldStream& stroke(int extraSamples) {
    b.u16(1).u8(0).bytes({0x12, 0x34, 0x56}).u8(1).zeros(12);  // head
    b.i16(10).i16(20).i16(512).u16(uint32_t(extraSamples));
    for (int i = 0; i < extraSamples; ++i) b.i16(11 + i).i16(21).i16(1024);
    return *this;
  }
  OldStream& code(uint16_t c) {
    b.u16(c);
    return *this;
  }
  OldStream& markers(uint16_t first, uint16_t last) {
    for (uint32_t c = first; c <= last; ++c) b.u16(c);
    return *this;
  }
  OldStream& end() { return code(kOldEndCode); }
  std::span<const uint8_t> span() const { return b.b; }
};

// ---------------------------------------------------------------------------------------
// Sizes.

TEST(OldPacketSize, FollowsTheTable) {
  struct Range {
    uint16_t first, last, size;
  };
  // Fixed sizes, code included; strokes and polygons have counts (below).
  const Range fixed[] = {{256, 257, 3}, {258, 258, 2},  {259, 259, 3},  {260, 260, 4},      {261, 261, 3},
                         {272, 273, 3}, {274, 276, 4},  {277, 277, 3},  {288, 292, 3},      {293, 293, 6},
                         {294, 294, 7}, {295, 295, 11}, {296, 296, 14}, {305, 305, 29},     {512, 512, 6},
                         {513, 513, 5}, {514, 514, 7},  {515, 515, 6},  {516, 518, 2},      {519, 519, 3},
                         {520, 520, 6}, {528, 531, 2},  {768, 895, 2},  {0xFFFF, 0xFFFF, 2}};
  std::vector<uint8_t> payload(64, 0);
  payload[23] = 2;  // stroke count: 2 more samples
  payload[1] = 3;   // 297: 3 points
  payload[4] = 5;   // 304: 5 points
  for (uint32_t code = 0; code <= 0xFFFF; ++code) {
    int64_t expected = -1;
    for (const Range& r : fixed)
      if (code >= r.first && code <= r.last) expected = r.size;
    if (code <= 4) expected = 27 + 6 * 2;
    if (code == 297) expected = 5 + 4 * 3;
    if (code == 304) expected = 8 + 4 * 5;
    EXPECT_EQ(OldPacketSize(uint16_t(code), payload.data(), payload.size()), expected) << code;
    EXPECT_EQ(IsKnownOldCode(uint16_t(code)), expected >= 0) << code;
  }
}

TEST(OldPacketSize, CountFieldsMustBeReadable) {
  const std::vector<uint8_t> zeros(30, 0);
  EXPECT_EQ(OldPacketSize(0, zeros.data(), 24), -1);  // the count ends at 25
  EXPECT_EQ(OldPacketSize(0, zeros.data(), 25), 27);
  EXPECT_EQ(OldPacketSize(297, zeros.data(), 2), -1);
  EXPECT_EQ(OldPacketSize(304, zeros.data(), 5), -1);
  EXPECT_EQ(OldPacketSize(304, zeros.data(), 6), 8);
}

// ---------------------------------------------------------------------------------------
// Payloads.

struct OldLayoutCase {
  const char* name;
  OldRecord record;
  Bytes packet;
};

std::vector<OldLayoutCase> OldLayoutCases() {
  OldStrokeHead head{3, 0x112233, 5, 0x100, 0x200, 0x300, 0x400, 0x500, 0x600};
  Bytes headBytes = Bytes().u8(3).bytes({0x11, 0x22, 0x33}).u8(5).u16(0x100).u16(0x200).u16(0x300);
  headBytes.u16(0x400).u16(0x500).u16(0x600);
  auto with = [](uint16_t code, const Bytes& head) { return Bytes().u16(code).append(head.b); };

  std::vector<OldLayoutCase> v;
  v.push_back({"stroke", OldStrokeRecord{2, head, {{1, 2, 1024}, {3, -4, 512}}},
               with(2, headBytes).i16(1).i16(2).i16(1024).u16(1).i16(3).i16(-4).i16(512)});
  v.push_back({"stroke of one sample", OldStrokeRecord{4, head, {{-1, -2, 0}}},
               with(4, headBytes).i16(-1).i16(-2).i16(0).u16(0)});
  v.push_back({"line", OldLineRecord{305, head, 2, {1, 2}, {-3, 4}},
               with(305, headBytes).i16(2).i16(1).i16(2).i16(-3).i16(4)});
  v.push_back({"add layer", OldLayerRecord{256, 3}, Bytes().u16(256).u8(3)});
  v.push_back({"clear layer history", OldLayerRecord{519, 2}, Bytes().u16(519).u8(2)});
  v.push_back({"opacity", OldLayerValueRecord{275, 1, 128}, Bytes().u16(275).u8(1).u8(128)});
  v.push_back({"move layer", OldLayerValueRecord{260, 1, 0}, Bytes().u16(260).u8(1).u8(0)});
  v.push_back({"fill layer", OldLayerColourRecord{293, 1, 0xABCDEF},
               Bytes().u16(293).u8(1).bytes({0xAB, 0xCD, 0xEF})});
  v.push_back({"shift layer", OldLayerOffsetRecord{294, 1, {-5, 6}}, Bytes().u16(294).u8(1).i16(-5).i16(6)});
  v.push_back({"neutral rectangle", OldRectRecord{295, 1, 1, 2, 3, 4, 0},
               Bytes().u16(295).u8(1).i16(1).i16(2).i16(3).i16(4)});
  v.push_back({"colour rectangle", OldRectRecord{296, 1, 1, 2, 3, 4, 0x010203},
               Bytes().u16(296).u8(1).i16(1).i16(2).i16(3).i16(4).bytes({1, 2, 3})});
  v.push_back({"polygon selection", OldPolygonRecord{297, 2, 0, {{1, 2}, {3, 4}}},
               Bytes().u16(297).u8(2).u16(2).i16(1).i16(2).i16(3).i16(4)});
  v.push_back({"polygon fill", OldPolygonRecord{304, 2, 0x405060, {{-1, 2}}},
               Bytes().u16(304).u8(2).bytes({0x40, 0x50, 0x60}).u16(1).i16(-1).i16(2)});
  v.push_back({"paper", OldPaperSizeRecord{512, 640, 480, 0}, Bytes().u16(512).u16(640).u16(480)});
  v.push_back(
      {"canvas resize", OldPaperSizeRecord{514, 800, 600, 2}, Bytes().u16(514).u16(800).u16(600).u8(2)});
  v.push_back({"image resize", OldPaperSizeRecord{520, 100, 50, 0}, Bytes().u16(520).u16(100).u16(50)});
  v.push_back(
      {"paper colour", OldPaperColourRecord{513, 0xFFEEDD}, Bytes().u16(513).bytes({0xFF, 0xEE, 0xDD})});
  v.push_back({"merge visible", OldEmptyRecord{258}, Bytes().u16(258)});
  v.push_back({"negative of visible", OldEmptyRecord{531}, Bytes().u16(531)});
  v.push_back({"marker", OldEmptyRecord{790}, Bytes().u16(790)});
  v.push_back({"end", OldEmptyRecord{kOldEndCode}, Bytes().u16(0xFFFF)});
  return v;
}

TEST(OldPayloads, EncodeAndDecodeFieldByField) {
  for (const OldLayoutCase& c : OldLayoutCases()) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> encoded;
    ASSERT_TRUE(EncodeOldRecord(c.record, encoded));
    EXPECT_EQ(encoded, c.packet.b);
    OldPacketView p;
    ASSERT_EQ(ReadOldPacketAt(c.packet.b, 0, p), FrameStatus::Ok);
    EXPECT_EQ(p.end(), c.packet.size());
    OldRecord decoded;
    ASSERT_EQ(DecodeOldRecord(p, decoded), DecodeStatus::Ok);
    EXPECT_TRUE(decoded == c.record);
  }
}

TEST(OldPayloads, BlendModesAndPenKindsAreClampedIntoTheirTables) {
  OldStrokeHead head{0, 0x010203, 0, 0, 0, 0, 0, 0, 0};
  auto line = [](int16_t penKind) {
    return Bytes().u16(305).u8(0).bytes({1, 2, 3}).zeros(13).i16(penKind).i16(1).i16(2).i16(3).i16(4);
  };
  struct Case {
    const char* name;
    Bytes packet;
    OldRecord expected;
  };
  const Case cases[] = {
      {"new layer, mode 0", Bytes().u16(256).u8(0), OldLayerRecord{256, 0}},
      {"new layer, mode 3", Bytes().u16(256).u8(3), OldLayerRecord{256, 3}},
      {"new layer, mode 4", Bytes().u16(256).u8(4), OldLayerRecord{256, 3}},
      {"new layer, mode 255", Bytes().u16(256).u8(255), OldLayerRecord{256, 3}},
      {"delete layer 9: an index, not a mode", Bytes().u16(257).u8(9), OldLayerRecord{257, 9}},
      {"set mode 2", Bytes().u16(276).u8(1).u8(2), OldLayerValueRecord{276, 1, 2}},
      {"set mode 4", Bytes().u16(276).u8(1).u8(4), OldLayerValueRecord{276, 1, 3}},
      {"set mode 200", Bytes().u16(276).u8(200).u8(200), OldLayerValueRecord{276, 200, 3}},
      {"opacity 200: not a mode", Bytes().u16(275).u8(1).u8(200), OldLayerValueRecord{275, 1, 200}},
      {"line, pen kind 2", line(2), OldLineRecord{305, head, 2, {1, 2}, {3, 4}}},
      {"line, pen kind 4", line(4), OldLineRecord{305, head, 4, {1, 2}, {3, 4}}},
      {"line, pen kind 5", line(5), OldLineRecord{305, head, 4, {1, 2}, {3, 4}}},
      {"line, pen kind 32767", line(32767), OldLineRecord{305, head, 4, {1, 2}, {3, 4}}},
      {"line, pen kind -1", line(-1), OldLineRecord{305, head, 0, {1, 2}, {3, 4}}},
      {"line, pen kind -32768", line(-32768), OldLineRecord{305, head, 0, {1, 2}, {3, 4}}},
  };
  for (const Case& c : cases) {
    OldPacketView p;
    ASSERT_EQ(ReadOldPacketAt(c.packet.b, 0, p), FrameStatus::Ok) << c.name;
    ASSERT_EQ(p.end(), c.packet.size()) << c.name;
    OldRecord decoded;
    ASSERT_EQ(DecodeOldRecord(p, decoded), DecodeStatus::Ok) << c.name;
    EXPECT_TRUE(decoded == c.expected) << c.name;
  }
}

TEST(OldPayloads, UnitsOfTheOldStream) {
  EXPECT_EQ(OldPressure(1024), 1.0f);
  EXPECT_EQ(OldPressure(512), 0.5f);
  EXPECT_EQ(OldPressure(-256), -0.25f);
  EXPECT_EQ(OldPenValue(384), 1.5f);
  EXPECT_EQ(OldPenValue(0xFFFF), 65535.0f / 256.0f);
}

TEST(OldPayloads, PaperSizesMustBeOneToTenThousand) {
  for (uint16_t code : {512, 514, 515, 520}) {
    for (uint32_t w : {0u, 1u, 10000u, 10001u, 65535u}) {
      Bytes b = Bytes().u16(code).u16(w).u16(100);
      if (code == 514) b.u8(0);
      OldPacketView p;
      ASSERT_EQ(ReadOldPacketAt(b.b, 0, p), FrameStatus::Ok);
      OldPaperSizeRecord r;
      EXPECT_EQ(DecodeOld(p, r), w >= 1 && w <= 10000 ? DecodeStatus::Ok : DecodeStatus::Invalid)
          << code << " " << w;
    }
  }
}

TEST(OldPayloads, EncoderRefusesAStrokeWithoutSamples) {
  std::vector<uint8_t> out;
  EXPECT_FALSE(EncodeOld(OldStrokeRecord{0, {}, {}}, out));
  EXPECT_FALSE(EncodeOld(OldLayerRecord{258, 0}, out));  // 258 has no payload
  EXPECT_TRUE(out.empty());
}

// ---------------------------------------------------------------------------------------
// The check.

struct CheckCase {
  const char* name;
  OldStream stream;
  bool ok;
  bool isProtected;
  int packets;
};

std::vector<CheckCase> CheckCases() {
  std::vector<CheckCase> v;
  auto add = [&](const char* name, OldStream s, bool ok, bool prot = false, int packets = 0) {
    v.push_back({name, std::move(s), ok, prot, packets});
  };
  add("no markers", OldStream().paper(640, 480).layer(256, 0).stroke(3).end(), true, false, 3);
  add("all 16 markers",
      OldStream().paper(640, 480).markers(768, 775).stroke(2).markers(776, 783).layer(273, 0).end(), true,
      true, 3);
  add("15 of 16 markers", OldStream().paper(640, 480).markers(768, 782).layer(273, 0).end(), false);
  add("a marker twice, one missing",
      OldStream().paper(640, 480).markers(768, 782).code(768).layer(273, 0).end(), false);
  add("markers without a meaning", OldStream().code(784).paper(64, 64).code(895).layer(273, 0).end(), true,
      false, 2);
  add("markers before the paper", OldStream().markers(768, 783).paper(64, 64).end(), true, true, 1);
  add("image resize creates the paper", OldStream().paper(64, 64, 520).end(), true, false, 1);
  add("first packet a stroke", OldStream().stroke(1).paper(64, 64).end(), false);
  {
    OldStream s;
    s.b.u16(513).bytes({1, 2, 3});
    add("first packet the paper colour", s.paper(64, 64).end(), false);
  }
  add("first packet a canvas resize", OldStream().paper(64, 64, 515).end(), false);
  add("no end code", OldStream().paper(640, 480).layer(256, 0), false);
  add("only the end code", OldStream().end(), false);
  add("markers and the end code", OldStream().markers(768, 783).end(), false);
  add("empty", OldStream(), false);
  add("unknown code", OldStream().paper(64, 64).code(262).end(), false);
  add("stroke cut short", OldStream().paper(64, 64).stroke(3), false);
  add("paper wider than 10000", OldStream().paper(10001, 64).end(), false);
  add("paper of width 0", OldStream().paper(0, 64).end(), false);
  add("paper of 10000", OldStream().paper(10000, 10000).end(), true, false, 1);
  return v;
}

TEST(OldStreamCheck, Cases) {
  for (const CheckCase& c : CheckCases()) {
    TEventPacket ep;
    OldStreamInfo info;
    const bool ok = ep.Check(c.stream.span(), &info);
    EXPECT_EQ(ok, c.ok) << c.name;
    if (!ok || !c.ok) continue;
    EXPECT_EQ(info.isProtected, c.isProtected) << c.name;
    EXPECT_EQ(info.packets, c.packets) << c.name;
    EXPECT_EQ(ep.PacketCount(), c.packets) << c.name;
    EXPECT_TRUE(std::equal(ep.Bytes().begin(), ep.Bytes().end(), c.stream.b.b.begin(), c.stream.b.b.end()))
        << c.name;
  }
}

TEST(OldStreamCheck, SizesOverTenThousandFailInEverySizeCode) {
  const OldStream base = OldStream().paper(64, 64);
  for (uint16_t code : {514, 515, 520}) {
    for (bool wide : {true, false}) {
      OldStream s = base;
      s.b.u16(code).u16(wide ? 10001 : 64).u16(wide ? 64 : 10001);
      if (code == 514) s.b.u8(0);
      s.end();
      EXPECT_FALSE(TEventPacket().Check(s.span())) << code << (wide ? " wide" : " tall");
    }
  }
}

TEST(OldStreamCheck, ReportsTheLargestSizes) {
  OldStream s = OldStream().paper(640, 480);
  s.b.u16(514).u16(800).u16(300).u8(1);
  s.b.u16(515).u16(200).u16(900);
  s.b.u16(520).u16(100).u16(100);
  s.end();
  OldStreamInfo info;
  ASSERT_TRUE(TEventPacket().Check(s.span(), &info));
  EXPECT_EQ(info.maxWidth, 800);
  EXPECT_EQ(info.maxHeight, 900);
  EXPECT_EQ(info.packets, 4);
}

TEST(OldStreamCheck, KeepsTheStreamUpToItsEnd) {
  OldStream s = OldStream().paper(64, 64).end();
  const size_t end = s.b.size();
  s.b.bytes({0xDE, 0xAD});  // after the end: not part of the stream
  TEventPacket ep;
  ASSERT_TRUE(ep.Check(s.span()));
  EXPECT_EQ(ep.Bytes().size(), end);
}

TEST(OldStreamCheck, FailedCheckKeepsTheBufferAndResetEmptiesIt) {
  TEventPacket ep;
  const OldStream good = OldStream().paper(64, 64).layer(273, 0).end();
  ASSERT_TRUE(ep.Check(good.span()));
  EXPECT_FALSE(ep.Check(OldStream().stroke(1).end().span()));
  EXPECT_EQ(ep.Bytes().size(), good.b.size());
  EXPECT_EQ(ep.PacketCount(), 2);
  ep.SetStrokeInProgress(true);
  ep.Reset();
  EXPECT_TRUE(ep.Bytes().empty());
  EXPECT_EQ(ep.PacketCount(), 0);
  EXPECT_FALSE(ep.StrokeInProgress());
}

TEST(OldStreamCheck, StreamThatCannotBeHeldFailsAndKeepsTheBuffer) {
  TEventPacket ep;
  const OldStream good = OldStream().paper(64, 64).layer(273, 0).end();
  ASSERT_TRUE(ep.Check(good.span()));
  // A valid stream larger than the buffer's first block, so that taking it needs memory.
  OldStream big = OldStream().paper(64, 64);
  const int layers = int(TEventPacket::kInitialCapacity / 3) + 1;
  for (int i = 0; i < layers; ++i) big.layer(273, uint8_t(i));
  big.end();
  ASSERT_GT(big.b.size(), TEventPacket::kInitialCapacity);
  OldStreamInfo info;
  info.packets = -1;
  {
    ScopedAllocFailure fail;
    EXPECT_FALSE(ep.Check(big.span(), &info));
    EXPECT_EQ(fail.FailedCount(), 1);
  }
  EXPECT_EQ(info.packets, -1);
  EXPECT_TRUE(std::equal(ep.Bytes().begin(), ep.Bytes().end(), good.b.b.begin(), good.b.b.end()));
  EXPECT_EQ(ep.PacketCount(), 2);
  // With the memory there, the same stream is taken.
  ASSERT_TRUE(ep.Check(big.span(), &info));
  EXPECT_EQ(ep.PacketCount(), layers + 1);
  EXPECT_EQ(info.packets, layers + 1);
  EXPECT_EQ(ep.Bytes().size(), big.b.size());
}

TEST(TMyMemory, ReserveGrowsByAtLeastItsStepAndKeepsTheContents) {
  TMyMemory m(100);
  const uint8_t bytes[3] = {4, 5, 6};
  ASSERT_TRUE(m.Append(bytes, 3));
  struct Case {
    size_t reserve, capacity;
  };
  const Case cases[] = {{50, 100}, {100, 100}, {101, 200}, {150, 200}, {450, 450}};
  for (const Case c : cases) {
    ASSERT_TRUE(m.Reserve(c.reserve)) << c.reserve;
    EXPECT_EQ(m.Capacity(), c.capacity) << c.reserve;
    EXPECT_EQ(m.Size(), 3u);
    EXPECT_EQ(m.Data()[2], 6);
  }
  {
    ScopedAllocFailure fail;
    EXPECT_FALSE(m.Reserve(451));
  }
  EXPECT_EQ(m.Capacity(), 450u);
  EXPECT_FALSE(m.Reserve(kMaxBlockBytes + size_t(1)));
  EXPECT_EQ(m.Data()[0], 4);
}

// ---------------------------------------------------------------------------------------
// Saving with and without protection.

OldStream StreamOf(int packets) {
  OldStream s = OldStream().paper(320, 240);
  for (int i = 1; i < packets; ++i) {
    if (i % 3 == 0)
      s.stroke(i % 5);
    else
      s.layer(273, uint8_t(i));
  }
  return s.end();
}

// Packet numbers (1-based, markers not counted) that each marker stands in front of,
// and the markers in order.
void MarkerPositions(std::span<const uint8_t> stream, std::vector<int>& before,
                     std::vector<uint16_t>& order) {
  size_t offset = 0;
  int packet = 0;
  while (offset < stream.size()) {
    OldPacketView p;
    ASSERT_EQ(ReadOldPacketAt(stream, offset, p), FrameStatus::Ok);
    offset = p.end();
    if (p.code == kOldEndCode) break;
    if (IsOldMarker(p.code)) {
      before.push_back(packet + 1);
      order.push_back(p.code);
    } else {
      ++packet;
    }
  }
}

std::vector<uint8_t> WithoutMarkers(std::span<const uint8_t> stream) {
  std::vector<uint8_t> out;
  size_t offset = 0;
  while (offset < stream.size()) {
    OldPacketView p;
    if (ReadOldPacketAt(stream, offset, p) != FrameStatus::Ok) break;
    if (!IsOldMarker(p.code))
      out.insert(out.end(), stream.begin() + long(p.offset), stream.begin() + long(p.end()));
    offset = p.end();
  }
  return out;
}

TEST(OldStreamSave, ProtectionNeedsFortyEightPackets) {
  ManualClock clock;
  for (int packets : {47, 48}) {
    TEventPacket ep;
    ASSERT_TRUE(ep.Check(StreamOf(packets).span()));
    ASSERT_EQ(ep.PacketCount(), packets);
    std::vector<uint8_t> out;
    EXPECT_EQ(ep.Serialize(true, out), packets >= 48) << packets;
    EXPECT_TRUE(ep.Serialize(false, out)) << packets;
  }
}

TEST(OldStreamSave, MarkersStandBeforeEveryStepthPacketInShuffledOrder) {
  ManualClock clock;
  clock.ms = 123456;
  for (int packets : {48, 100, 400}) {
    TEventPacket ep;
    ASSERT_TRUE(ep.Check(StreamOf(packets).span()));
    std::vector<uint8_t> out;
    ASSERT_TRUE(ep.Serialize(true, out));

    std::vector<int> before;
    std::vector<uint16_t> order;
    MarkerPositions(out, before, order);
    const int step = packets / 18;
    ASSERT_EQ(before.size(), 16u) << packets;
    for (int k = 0; k < 16; ++k) EXPECT_EQ(before[size_t(k)], (k + 1) * step) << packets;

    // The order from the rule: the 16 codes, 65536 swaps from a generator seeded by the clock.
    std::vector<uint16_t> expected;
    for (uint16_t c = 768; c <= 783; ++c) expected.push_back(c);
    SRandomState rs;
    Seed(rs, 123456, 0, 16);
    for (int i = 0; i < 65536; ++i) {
      const uint32_t a = Draw(rs);
      const uint32_t b = Draw(rs);
      std::swap(expected[a], expected[b]);
    }
    EXPECT_EQ(order, expected);

    OldStreamInfo info;
    TEventPacket back;
    ASSERT_TRUE(back.Check(out, &info));
    EXPECT_TRUE(info.isProtected);
    EXPECT_EQ(info.packets, packets);
    EXPECT_EQ(WithoutMarkers(out), StreamOf(packets).b.b);
  }
}

TEST(OldStreamSave, UnprotectedSaveDropsTheMarkers) {
  ManualClock clock;
  TEventPacket ep;
  ASSERT_TRUE(ep.Check(StreamOf(60).span()));
  std::vector<uint8_t> guarded, plain;
  ASSERT_TRUE(ep.Serialize(true, guarded));
  TEventPacket loaded;
  OldStreamInfo info;
  ASSERT_TRUE(loaded.Check(guarded, &info));
  ASSERT_TRUE(info.isProtected);
  ASSERT_TRUE(loaded.Serialize(false, plain));
  EXPECT_EQ(plain, StreamOf(60).b.b);
  EXPECT_TRUE(TEventPacket().Serialize(false, plain) == false);  // nothing loaded
}

struct OldFileFixture : testing::Test {
  std::filesystem::path dir;
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("tintara-old-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(OldFileFixture, SaveAndLoadWithAndWithoutProtection) {
  ManualClock clock;
  TEventPacket ep;
  ASSERT_TRUE(ep.Check(StreamOf(50).span()));
  for (bool protect : {false, true}) {
    const std::string path = (dir / (protect ? "guarded.zov" : "plain.zov")).string();
    ASSERT_TRUE(ep.Save(path, protect));
    TEventPacket loaded;
    OldStreamInfo info;
    ASSERT_TRUE(loaded.Load(path, &info)) << protect;
    EXPECT_EQ(info.isProtected, protect);
    EXPECT_EQ(loaded.PacketCount(), 50);
    EXPECT_EQ(WithoutMarkers(loaded.Bytes()), StreamOf(50).b.b);
  }
}

TEST_F(OldFileFixture, LoadRefusesMissingOversizedAndBadFiles) {
  TEventPacket ep;
  ASSERT_TRUE(ep.Check(StreamOf(5).span()));
  const std::string path = (dir / "a.zov").string();
  EXPECT_FALSE(ep.Load((dir / "missing.zov").string()));
  ASSERT_TRUE(ep.Save(path, false));
  const uint64_t size = std::filesystem::file_size(path);
  TEventPacket small;
  EXPECT_FALSE(small.Load(path, nullptr, size - 1));
  EXPECT_TRUE(small.Load(path, nullptr, size));
  const OldStream bad = OldStream().stroke(1).end();
  ASSERT_TRUE(WriteFileAtomic(path, bad.b.b.data(), bad.b.size()));
  EXPECT_FALSE(small.Load(path));
  EXPECT_EQ(small.PacketCount(), 5);  // the earlier stream stays
  EXPECT_FALSE(ep.Save((dir / "no-such-dir" / "x.zov").string(), false));
}

// ---------------------------------------------------------------------------------------
// The buffer.

TEST(TMyMemory, StartsAtItsCapacityAndGrowsByAtLeastIt) {
  TMyMemory m(256000);
  EXPECT_EQ(m.Capacity(), 256000u);
  std::vector<uint8_t> chunk(256000, 7);
  ASSERT_TRUE(m.Append(chunk.data(), chunk.size()));
  EXPECT_EQ(m.Capacity(), 256000u);
  const uint8_t one = 9;
  ASSERT_TRUE(m.Append(&one, 1));
  EXPECT_EQ(m.Capacity(), 512000u);
  std::vector<uint8_t> big(1000000, 5);
  ASSERT_TRUE(m.Append(big.data(), big.size()));
  EXPECT_EQ(m.Size(), 1256001u);
  EXPECT_EQ(m.Capacity(), 1256001u);  // more than one step was needed: exactly what is needed
  EXPECT_EQ(m.Data()[255999], 7);
  EXPECT_EQ(m.Data()[256000], 9);
  EXPECT_EQ(m.Data()[1256000], 5);
}

TEST(TMyMemory, FailedGrowthKeepsTheContents) {
  TMyMemory m(16);
  const uint8_t bytes[20] = {1, 2, 3};
  ASSERT_TRUE(m.Append(bytes, 10));
  {
    ScopedAllocFailure fail;
    EXPECT_FALSE(m.Append(bytes, 20));
  }
  EXPECT_EQ(m.Size(), 10u);
  EXPECT_EQ(m.Capacity(), 16u);
  EXPECT_EQ(m.Data()[2], 3);
  m.Clear();
  EXPECT_EQ(m.Size(), 0u);
}

}  // namespace
}  // namespace tintara
