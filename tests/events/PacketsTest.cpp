#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "EventTestUtil.h"
#include "events/EventRecords.h"
#include "events/Packets.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

using test::Bytes;
using test::Concat;
using test::Packet;

// ---------------------------------------------------------------------------------------
// The length rule, one encoded packet per row of the table.

template <class R>
R Rec(PacketCode code) {
  R r;
  r.code = code;
  return r;
}

struct RowCase {
  const char* row;
  AnyRecord record;
  size_t payload;  // worked out from the row's rule
};

std::vector<RowCase> RowCases() {
  ToneDefinitionRecord tone;
  tone.attributes.width = 2, tone.attributes.height = 3;
  tone.compressed = {1, 2, 3, 4, 5};  // stored as 6
  GradStopsRecord stops;
  stops.stops.resize(2);
  NibDefinitionRecord nib;
  nib.width = nib.height = 2;
  nib.compressed = {9, 9, 9, 9};
  ImageObjectRecord image;
  image.code = {0, 129};
  image.image.width = 2, image.image.height = 1;
  image.image.pixels = {1, 2};
  ColourRangeRecord range;
  range.entries.resize(2);
  InfoRecord info;
  info.code = {1, 3};
  info.data = {1, 2, 3, 4, 5};
  PaperCreateOldRecord oldPaper;
  oldPaper.width = oldPaper.height = 100;
  PaperCreateRecord paper;
  paper.width = paper.height = 100;
  CanvasResizeRecord canvas;
  canvas.width = canvas.height = 50;
  CropRecord crop;
  crop.right = crop.bottom = 10;
  AddNamedLayerRecord named;
  named.name = "Layer 2";  // 7 bytes, stored as 8
  GroupMembershipRecord group;
  group.first = {1, 2, 3}, group.second = {4, 5, 6};
  PolygonFillRecord polygon;
  polygon.points = {{1, 2}, {3, 4}, {5, 6}};
  LassoSelectionRecord lasso;
  lasso.points = {{1, 2}, {3, 4}};
  PasteRecord paste;
  paste.code = {12, 2};
  paste.image.width = 1, paste.image.height = 2;
  paste.image.hasPlacement = true;
  paste.image.name = "x";
  paste.image.pixels = {7, 8};
  MaskDrawingRecord text;
  text.code = {13, 16};
  text.right = 3, text.bottom = 2;
  text.params.resize(16);
  text.compressed = {1, 2, 3, 4, 5};  // stored as 6
  MaskDrawingRecord shape;
  shape.code = {13, 3};
  shape.left = -2, shape.right = 2, shape.bottom = 4;
  shape.params.resize(34);
  shape.compressed = {1, 2, 3, 4};
  FilterBlockRecord filterBlock;
  filterBlock.code = {38, 40};
  filterBlock.data.resize(7);
  ParamBlockRecord block;
  block.code = {0, 52};
  block.bytes.resize(12, 3);

  return {
      {"0: 0,5,52,53", AppVersionRecord{}, 12},
      {"0: 52", block, 12},
      {"0: 2,3,8,58", ColourRecord{{0, 3}, 0x123456, 1}, 4},
      {"0: 4,57,60", GradGeometryRecord{}, 16},
      {"0: 12,13", FlagWordRecord{{0, 13}, 7}, 2},
      {"0: 16,17,48,50,56", MainPenRecord{}, 8},
      {"0: 18", PenValuesRecord{}, 22},
      {"0: 32", FontRecord{}, 68},
      {"0: 33", TextRecord{{0, 33}, "hello"}, 2 + 6},
      {"0: 36", tone, 160 + 6},
      {"0: 37", ToneSelectRecord{}, 20},
      {"0: 40", stops, 12 + 48},
      {"0: 44", nib, 40 + 4},
      {"0: 45", NibSelectRecord{}, 24},
      {"0: 128,129", image, 22 + 8},
      {"0: 136", range, 4 + 20 + 16},
      {"1: any", info, 4 + 5},
      {"2: 0", oldPaper, 16},
      {"2: 1,24,25,26", PaperColourRecord{}, 4},
      {"2: 2,3,9", canvas, 10},
      {"2: 4,5,7,16-19,254,255", Rec<EmptyRecord>({2, 255}), 0},
      {"2: 6", crop, 18},
      {"2: 8", paper, 28},
      {"2: 10", Rec<LayerArgsRecord>({2, 10}), 12},
      {"4: 0", AddLayerRecord{}, 14},
      {"4: 1-5,8,9,24,25,32-37", Rec<LayerArgRecord>({4, 33}), 4},
      {"4: 6,7,10,38,39,48-51", LayerArgValueRecord{}, 12},
      {"4: 11", named, 42 + 8},
      {"4: 12,13", Rec<LayerShiftRecord>({4, 13}), 20},
      {"4: 16,17,18,20", Rec<LayerAttrRecord>({4, 18}), 6},
      {"4: 19", IndexTextRecord{{4, 19}, 3, "ab"}, 4 + 4},
      {"4: 21", LayerAttrDitherRecord{}, 18},
      {"5: 0,1", group, 24 + 6},
      {"5: 8,11,12,13,16", GroupDisplayRecord{}, 12},
      {"5: 9,10", Rec<LayerShiftRecord>({5, 9}), 20},
      {"6: 0-3,5,6", Rec<FillRecord>({6, 6}), 22},
      {"6: 4", polygon, 4 + 24},
      {"10: 0-6,11,20,21", Rec<LayerArgRecord>({10, 20}), 4},
      {"10: 7-10,13,14,22,24-26", Rec<LayerArgsRecord>({10, 9}), 12},
      {"10: 12", IndexTextRecord{{10, 12}, 1, "mask"}, 4 + 6},
      {"10: 16,17,19", Rec<ShapeSelectionRecord>({10, 19}), 22},
      {"10: 18", lasso, 8 + 16},
      {"12: 1,2", paste, 22 + 72 + 2 + 8},
      {"13: 0,1,16,17,32", text, 54 + 6},
      {"13: 2,3", shape, 72 + 4},
      {"16,20-24,48,49: 0", Rec<LayerArgRecord>({48, 0}), 4},
      {"17,18: any", SampleBlockRecord::Make(false, {{1, 2, 0.5f}, {2, 3, 0.5f}, {3, 4, 0.5f}}), 36},
      {"32", Rec<FilterRecord>({32, 52}), 4},
      {"33", Rec<FilterRecord>({33, 63}), 12},
      {"34", Rec<FilterRecord>({34, 3}), 20},
      {"35", Rec<FilterRecord>({35, 60}), 28},
      {"38: any", filterBlock, 50 + 7},
  };
}

TEST(LengthRule, EveryRowEncodesToItsLengthAndWalks) {
  RecordingNotifySink sink;
  std::vector<uint8_t> all;
  for (const RowCase& c : RowCases()) {
    SCOPED_TRACE(c.row);
    std::vector<uint8_t> packet;
    ASSERT_TRUE(EncodeRecord(c.record, packet));
    ASSERT_EQ(packet.size(), 2 + c.payload);
    EXPECT_EQ(PacketLength(packet[0], packet[1], packet.data() + 2, packet.size() - 2), int64_t(c.payload));
    EXPECT_TRUE(ValidatePackets(packet));
    all.insert(all.end(), packet.begin(), packet.end());
  }
  EXPECT_TRUE(ValidatePackets(all));
  EXPECT_TRUE(sink.warnings.empty());
}

// The table again, as plain sets of subs, to hold the implementation's table against.
struct TableRow {
  std::vector<int> kinds;
  std::vector<int> subs;  // empty: any sub
  int base;
  int fieldAt;     // -1: fixed; -2: the sub is the count
  int fieldWidth;  // 2 or 4
  int times;
};

std::vector<int> Range(int a, int b) {
  std::vector<int> v;
  for (int i = a; i <= b; ++i) v.push_back(i);
  return v;
}
std::vector<int> Join(std::initializer_list<std::vector<int>> parts) {
  std::vector<int> v;
  for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
  return v;
}

const std::vector<TableRow>& Table() {
  static const std::vector<TableRow> rows = {
      {{0}, {0, 5, 52, 53}, 12, -1, 0, 0},
      {{0}, {2, 3, 8, 58}, 4, -1, 0, 0},
      {{0}, {4, 57, 60}, 16, -1, 0, 0},
      {{0}, {12, 13}, 2, -1, 0, 0},
      {{0}, {16, 17, 48, 50, 56}, 8, -1, 0, 0},
      {{0}, {18}, 22, -1, 0, 0},
      {{0}, {32}, 68, -1, 0, 0},
      {{0}, {33}, 2, 0, 2, 1},
      {{0}, {36}, 160, 156, 4, 1},
      {{0}, {37}, 20, -1, 0, 0},
      {{0}, {40}, 12, 6, 2, 1},
      {{0}, {44}, 40, 36, 4, 1},
      {{0}, {45}, 24, -1, 0, 0},
      {{0}, {128, 129}, 22, 12, 4, 1},
      {{0}, {136}, 4, 0, 4, 1},
      {{1}, {}, 4, 0, 4, 1},
      {{2}, {0}, 16, -1, 0, 0},
      {{2}, {1, 24, 25, 26}, 4, -1, 0, 0},
      {{2}, {2, 3, 9}, 10, -1, 0, 0},
      {{2}, {4, 5, 7, 16, 17, 18, 19, 254, 255}, 0, -1, 0, 0},
      {{2}, {6}, 18, -1, 0, 0},
      {{2}, {8}, 28, -1, 0, 0},
      {{2}, {10}, 12, -1, 0, 0},
      {{4}, {0}, 14, -1, 0, 0},
      {{4}, Join({Range(1, 5), {8, 9, 24, 25}, Range(32, 37)}), 4, -1, 0, 0},
      {{4}, Join({{6, 7, 10, 38, 39}, Range(48, 51)}), 12, -1, 0, 0},
      {{4}, {11}, 42, 40, 2, 1},
      {{4}, {12, 13}, 20, -1, 0, 0},
      {{4}, {16, 17, 18, 20}, 6, -1, 0, 0},
      {{4}, {19}, 4, 2, 2, 1},
      {{4}, {21}, 18, -1, 0, 0},
      {{5}, {0, 1}, 24, 12, 4, 1},
      {{5}, {8, 11, 12, 13, 16}, 12, -1, 0, 0},
      {{5}, {9, 10}, 20, -1, 0, 0},
      {{6}, {0, 1, 2, 3, 5, 6}, 22, -1, 0, 0},
      {{6}, {4}, 4, 2, 2, 8},
      {{10}, Join({Range(0, 6), {11, 20, 21}}), 4, -1, 0, 0},
      {{10}, {7, 8, 9, 10, 13, 14, 22, 24, 25, 26}, 12, -1, 0, 0},
      {{10}, {12}, 4, 2, 2, 1},
      {{10}, {16, 17, 19}, 22, -1, 0, 0},
      {{10}, {18}, 8, 6, 2, 8},
      {{12}, {1, 2}, 22, 12, 4, 1},
      {{13}, {0, 1, 16, 17, 32}, 54, 42, 4, 1},
      {{13}, {2, 3}, 72, 60, 4, 1},
      {{16, 20, 21, 22, 23, 24, 48, 49}, {0}, 4, -1, 0, 0},
      {{17, 18}, {}, 0, -2, 0, 12},
      {{32}, {0, 1, 8, 9, 12, 13, 20, 52, 53, 56}, 4, -1, 0, 0},
      {{33}, {2, 4, 10, 14, 18, 21, 22, 23, 26, 27, 32, 34, 49, 55, 58, 63}, 12, -1, 0, 0},
      {{34}, {3, 17, 19, 24, 25, 33, 36, 48, 50, 57, 59, 61, 62}, 20, -1, 0, 0},
      {{35}, {16, 35, 37, 38, 60}, 28, -1, 0, 0},
      {{38}, {}, 50, 4, 2, 1},
  };
  return rows;
}

const TableRow* RowOf(int kind, int sub) {
  for (const TableRow& r : Table()) {
    bool kindIn = false, subIn = r.subs.empty();
    for (int k : r.kinds) kindIn |= k == kind;
    for (int s : r.subs) subIn |= s == sub;
    if (kindIn && subIn) return &r;
  }
  return nullptr;
}

TEST(LengthRule, EveryCodeHasTheTablesLengthOrIsInvalid) {
  // A payload whose length field, wherever it lies, holds 3 (and 0x0300 or 3 in the
  // high half of a uint32 field would show up as a wrong length).
  for (int kind = 0; kind < 256; ++kind) {
    for (int sub = 0; sub < 256; ++sub) {
      SCOPED_TRACE(testing::Message() << kind << "," << sub);
      const TableRow* row = RowOf(kind, sub);
      std::vector<uint8_t> payload(200, 0);
      int64_t expected = -1;
      if (row) {
        expected = row->base;
        if (row->fieldAt >= 0) {
          payload[size_t(row->fieldAt)] = 3;
          expected += 3 * row->times;
        } else if (row->fieldAt == -2) {
          expected += int64_t(sub) * row->times;
        }
      }
      EXPECT_EQ(PacketLength(uint8_t(kind), uint8_t(sub), payload.data(), payload.size()), expected);
      EXPECT_EQ(IsKnownPacketCode(uint8_t(kind), uint8_t(sub)), row != nullptr);
    }
  }
}

TEST(LengthRule, InvalidCodesFailTheWalk) {
  RecordingNotifySink sink;
  int invalid = 0;
  for (int kind = 0; kind < 256; ++kind) {
    for (int sub = 0; sub < 256; ++sub) {
      if (RowOf(kind, sub)) continue;
      ++invalid;
      const std::vector<uint8_t> stream = Packet(uint8_t(kind), uint8_t(sub), Bytes().zeros(60));
      WalkFailure f;
      ASSERT_FALSE(ValidatePackets(stream, &f)) << kind << "," << sub;
      EXPECT_EQ(f.code, (PacketCode{uint8_t(kind), uint8_t(sub)}));
    }
  }
  EXPECT_EQ(sink.warnings.size(), size_t(invalid));
}

TEST(LengthRule, LengthFieldsBeyondTheAvailableBytesAreUnreadable) {
  struct Case {
    uint8_t kind, sub;
    size_t available;  // one byte short of the field's end
  };
  const Case cases[] = {{0, 33, 1},  {0, 36, 159}, {0, 40, 7},  {0, 44, 39}, {0, 128, 15}, {0, 136, 3},
                        {1, 9, 3},   {4, 11, 41},  {4, 19, 3},  {5, 1, 15},  {6, 4, 3},    {10, 12, 3},
                        {10, 18, 7}, {12, 1, 15},  {13, 0, 45}, {13, 2, 63}, {38, 0, 5}};
  const std::vector<uint8_t> zeros(200, 0);
  for (const Case& c : cases) {
    EXPECT_EQ(PacketLength(c.kind, c.sub, zeros.data(), c.available), -1) << int(c.kind) << "," << int(c.sub);
    EXPECT_GE(PacketLength(c.kind, c.sub, zeros.data(), c.available + 1), 0)
        << int(c.kind) << "," << int(c.sub);
  }
}

TEST(LengthRule, LengthsAreComputedWithoutWrapping) {
  // The largest uint32 field plus the fixed part exceeds 32 bits.
  const std::vector<uint8_t> payload = Bytes().zeros(156).u32(0xFFFFFFFF).b;
  EXPECT_EQ(PacketLength(0, 36, payload.data(), payload.size()), int64_t(160) + 0xFFFFFFFFll);
  const std::vector<uint8_t> points = Bytes().u16(0).u16(0xFFFF).b;
  EXPECT_EQ(PacketLength(6, 4, points.data(), points.size()), 4 + 8 * 65535);
}

// ---------------------------------------------------------------------------------------
// The validation walk.

TEST(ValidationWalk, BadFirstPacketReportsNoPreviousCode) {
  RecordingNotifySink sink;
  WalkFailure f;
  EXPECT_FALSE(ValidatePackets(Packet(3, 0, Bytes().zeros(4)), &f));
  ASSERT_EQ(sink.warnings.size(), 1u);
  EXPECT_EQ(sink.warnings[0], "unknown packet at 0x2(0x3,0x0)\rlast code at 0x0(0x0,0x0)");
  EXPECT_EQ(f.message, sink.warnings[0]);
  EXPECT_EQ(f.payloadOffset, 2u);
  EXPECT_EQ(f.codeOffset, 0u);
  EXPECT_EQ(f.previous, (PacketCode{0, 0}));
}

TEST(ValidationWalk, BadPacketReportsThePacketBeforeIt) {
  RecordingNotifySink sink;
  // (0,8) takes 6 bytes, (4,33) another 6; the bad (7,1) code starts at 12.
  const auto stream = Concat({Packet(0, 8, Bytes().u16(1).u16(2)), Packet(4, 33, Bytes().u16(0).u16(0)),
                              Packet(7, 1, Bytes().zeros(8))});
  EXPECT_FALSE(ValidatePackets(stream));
  ASSERT_EQ(sink.warnings.size(), 1u);
  EXPECT_EQ(sink.warnings[0], "unknown packet at 0xe(0x7,0x1)\rlast code at 0xc(0x4,0x21)");
}

std::vector<uint8_t> ThreePackets() {
  return Concat({Packet(0, 0, Bytes().u16(4).u16(6).zeros(8)),
                 Packet(0, 33, Bytes().u16(4).text("abc").u8(0)),
                 Packet(2, 8, Bytes().i32(640).i32(480).zeros(20))});
}

TEST(ValidationWalk, StreamEndingExactlyAfterAPacketValidates) {
  RecordingNotifySink sink;
  const auto stream = ThreePackets();
  ASSERT_EQ(stream.size(), 14u + 8u + 30u);
  EXPECT_TRUE(ValidatePackets(stream));
  EXPECT_TRUE(ValidatePackets(std::span<const uint8_t>()));  // nothing written yet
  EXPECT_TRUE(sink.warnings.empty());
}

TEST(ValidationWalk, StreamEndingInsideAPacketFailsAtThatPacket) {
  const auto stream = ThreePackets();
  const size_t starts[] = {0, 14, 22, 52};
  for (size_t cut = 1; cut < stream.size(); ++cut) {
    RecordingNotifySink sink;
    size_t packet = 0;
    while (starts[packet + 1] <= cut) ++packet;
    WalkFailure f;
    const bool ok = ValidatePackets(std::span<const uint8_t>(stream.data(), cut), &f);
    if (cut == starts[packet]) {
      EXPECT_TRUE(ok) << cut;
      continue;
    }
    ASSERT_FALSE(ok) << cut;
    EXPECT_EQ(f.codeOffset, starts[packet]) << cut;
    EXPECT_EQ(f.payloadOffset, starts[packet] + 2) << cut;
    const PacketCode previous =
        packet == 0 ? PacketCode{} : PacketCode{stream[starts[packet - 1]], stream[starts[packet - 1] + 1]};
    EXPECT_EQ(f.previous, previous) << cut;
    EXPECT_EQ(sink.warnings.size(), 1u);
  }
}

TEST(ValidationWalk, HugeFinalExtensionPacketIsRejectedNotWrapped) {
  RecordingNotifySink sink;
  const auto stream =
      Concat({Packet(0, 12, Bytes().u16(0)), Packet(1, 5, Bytes().u32(0xFFFFFFF0).zeros(12))});
  WalkFailure f;
  EXPECT_FALSE(ValidatePackets(stream, &f));
  EXPECT_EQ(f.codeOffset, 4u);
  EXPECT_EQ(f.code, (PacketCode{1, 5}));
  EXPECT_EQ(sink.warnings.size(), 1u);
}

// ---------------------------------------------------------------------------------------
// Marks on the (0,12) state records.

struct MarkFixture : testing::Test {
  // Two (0,12) records, flag words at offsets 16 and 26.
  std::vector<uint8_t> stream = Concat({
      Packet(0, 0, Bytes().u16(4).u16(6).zeros(8)),   // 0..13
      Packet(0, 12, Bytes().u16(0x0003)),             // 14..17
      Packet(4, 1, Bytes().u16(0x000C).u16(0x8000)),  // 18..23: bytes that look like the bit
      Packet(0, 12, Bytes().u16(0x8001)),             // 24..27
      Packet(2, 255, Bytes()),                        // 28..29
  });
  uint16_t FlagAt(size_t at) const { return uint16_t(stream[at] | stream[at + 1] << 8); }
  RecordingNotifySink sink;
};

TEST_F(MarkFixture, TestOnlyFindsTheBitAndChangesNothing) {
  const auto before = stream;
  MarkResult r = MarkStateRecords(stream, kProtectBit, true, true);
  EXPECT_TRUE(r.walked);
  EXPECT_TRUE(r.found);
  EXPECT_EQ(stream, before);
  r = MarkStateRecords(stream, 2, true, true);
  EXPECT_TRUE(r.walked);
  EXPECT_FALSE(r.found);
}

TEST_F(MarkFixture, SetAndClearTouchOnlyTheFlagWords) {
  auto expected = stream;
  ASSERT_TRUE(MarkStateRecords(stream, kProtectBit, true, false).walked);
  expected[17] = 0x80;  // 0x0003 -> 0x8003
  EXPECT_EQ(stream, expected);
  EXPECT_EQ(FlagAt(26), 0x8001);

  MarkResult r = MarkStateRecords(stream, kProtectBit, false, false);
  EXPECT_TRUE(r.walked);
  EXPECT_TRUE(r.found);
  EXPECT_EQ(FlagAt(16), 0x0003);
  EXPECT_EQ(FlagAt(26), 0x0001);
  EXPECT_EQ(FlagAt(22), 0x8000);  // the (4,1) payload is not a state record
  EXPECT_FALSE(MarkStateRecords(stream, kProtectBit, false, true).found);
  EXPECT_TRUE(sink.warnings.empty());
}

TEST_F(MarkFixture, FailedWalkLeavesTheStreamAlone) {
  struct Case {
    const char* name;
    std::vector<uint8_t> tail;
  };
  const Case cases[] = {
      {"a packet of kind 7, which no code uses", {0x07, 0x00}},
      {"a code with its sub missing", {0x00}},
      {"a known code whose payload is cut short", {0x00, 0x0C, 0x00}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> s = stream;
    s.insert(s.end(), c.tail.begin(), c.tail.end());
    const auto before = s;
    sink.warnings.clear();
    const MarkResult r = MarkStateRecords(s, kProtectBit, false, false);
    EXPECT_FALSE(r.walked) << c.name;
    EXPECT_FALSE(r.badBit) << c.name;
    EXPECT_EQ(s, before) << c.name;
    EXPECT_EQ(sink.warnings.size(), 1u) << c.name;
  }
}

TEST_F(MarkFixture, BitOutsideTheFlagWordIsTheCallersMistakeNotTheStreams) {
  const auto before = stream;
  for (int bit : {-1, 16, 31, INT32_MIN}) {
    for (bool testOnly : {true, false}) {
      const MarkResult r = MarkStateRecords(stream, bit, true, testOnly);
      EXPECT_TRUE(r.badBit) << bit;
      EXPECT_FALSE(r.walked) << bit;
      EXPECT_FALSE(r.found) << bit;
    }
  }
  EXPECT_EQ(stream, before);
  EXPECT_TRUE(sink.warnings.empty());  // the stream is fine: no "unknown packet" message
  for (int bit : {0, 15}) EXPECT_FALSE(MarkStateRecords(stream, bit, true, true).badBit) << bit;
}

}  // namespace
}  // namespace tintara
