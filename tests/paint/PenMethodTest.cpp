// Brushes and pen settings: the default brush set, applying a brush, the brush list's slots,
// the old pen settings in the settings store and their conversion into brushes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "paint/PenMethod.h"
#include "paint/StrokeMngr.h"

namespace tintara {
namespace {

const std::string kRoot = kAppSettingsKey;

TEST(PenMethodParams, FortyFourBytesFieldByFieldAndClampedOnRead) {
  PenMethodParams p;
  p.head = {kBrushBurnDodge, 1, 1, 0, 50, 7, 3};
  p.useGradation = 1;
  p.stroke.pressureSize = 1;
  p.stroke.opacity = 200;
  p.stroke.gamma = 150;
  p.stroke.spacing = 250;
  p.stroke.fullDensity = 8;
  p.stroke.subdivision = 2;
  std::vector<uint8_t> bytes;
  ByteWriter w(bytes);
  p.Write(w);
  ASSERT_EQ(bytes.size(), PenMethodParams::kBytes);
  EXPECT_EQ(bytes[0], kBrushBurnDodge);
  EXPECT_EQ(bytes[4], 50);    // effect 1, little-endian
  EXPECT_EQ(bytes[16], 1);    // useGradation
  EXPECT_EQ(bytes[17], 0);    // useTone
  EXPECT_EQ(bytes[20], 1);    // pressure size
  EXPECT_EQ(bytes[24], 200);  // opacity, low byte
  PenMethodParams q;
  ByteReader r(bytes.data(), bytes.size());
  ASSERT_TRUE(q.Read(r));
  EXPECT_EQ(q, p);
  // A damaged record: mode, effects, spacing and gamma beyond their ranges.
  bytes[0] = 40;
  bytes[4] = 250;
  for (size_t i : {28u, 29u, 30u, 31u, 32u, 33u, 34u, 35u}) bytes[i] = 0;  // gamma 0, spacing 0
  ByteReader r2(bytes.data(), bytes.size());
  ASSERT_TRUE(q.Read(r2));
  EXPECT_EQ(q.head.mode, kBrushModeCount - 1);
  EXPECT_EQ(q.head.effect1, 100);
  EXPECT_EQ(q.stroke.gamma, StrokeParams::kMinGamma);
  EXPECT_EQ(q.stroke.spacing, StrokeParams::kMinSpacing);
  ByteReader shortRecord(bytes.data(), 43);
  EXPECT_FALSE(q.Read(shortRecord));
}

TEST(CPenMethodMngr, DefaultSetMatchesTheTable) {
  struct Row {
    int mode, variant, channel, e1, e2, e3, ps, po, opacity, spacing, tip;
    const char* name;
  };
  const Row rows[] = {
      {0, 0, 1, 0, 0, 0, 1, 1, 1000, 167, 0, "鉛筆"},
      {0, 0, 0, 0, 0, 0, 1, 1, 100, 150, 4, "エアーブラシ"},
      {1, 0, 0, 65, 40, 30, 1, 1, 1000, 83, 1, "透明水彩"},
      {2, 0, 0, 10, 0, 0, 0, 0, 1000, 250, 2, "ぼかし"},
      {3, 0, 0, 0, 0, 0, 0, 1, 1000, 250, 3, "消しゴム"},
      {4, 0, 0, 0, 0, 0, 0, 1, 600, 40, 5, "のばし"},
      {5, 0, 0, 0, 0, 0, 0, 1, 600, 40, 5, "指先"},
      {6, 0, 0, 50, 0, 0, 1, 1, 200, 150, 6, "焼き込み"},
      {6, 1, 0, 50, 0, 0, 1, 1, 200, 150, 6, "覆い焼き"},
  };
  const std::vector<PenTipRecord> tips = BuiltInTipRecords();
  CPenMethodMngr list;
  list.FillDefault();
  ASSERT_EQ(list.Count(), 9);
  EXPECT_EQ(list.CurrentIndex(), 0);
  for (int i = 0; i < 9; ++i) {
    const Row& w = rows[i];
    const CPenMethodObj& b = *list.At(i);
    const PenMethodParams& p = b.Record();
    EXPECT_EQ(p.head.mode, w.mode) << i;
    EXPECT_EQ(p.head.variant, w.variant) << i;
    EXPECT_EQ(p.head.channel, w.channel) << i;
    EXPECT_EQ(p.head.pixelAligned, 0) << i;
    EXPECT_EQ(p.head.effect1, w.e1) << i;
    EXPECT_EQ(p.head.effect2, w.e2) << i;
    EXPECT_EQ(p.head.effect3, w.e3) << i;
    EXPECT_EQ(p.stroke.pressureSize, w.ps) << i;
    EXPECT_EQ(p.stroke.pressureOpacity, w.po) << i;
    EXPECT_EQ(p.stroke.opacity, w.opacity) << i;
    EXPECT_EQ(p.stroke.spacing, w.spacing) << i;
    EXPECT_EQ(p.stroke.gamma, 100) << i;
    EXPECT_EQ(p.stroke.fullDensity, 0) << i;
    EXPECT_EQ(p.stroke.subdivision, 1) << i;
    EXPECT_EQ(p.useTone + p.useGradation, 0) << i;
    EXPECT_EQ(b.name, w.name) << i;
    ASSERT_NE(b.TipIfAny(), nullptr) << i;
    EXPECT_EQ(b.TipIfAny()->Record(), tips[size_t(w.tip)]) << i;
  }
  EXPECT_EQ(list.FindEraser(), 4);
}

TEST(CPenMethodMngr, SlotsFollowInsertAndDelete) {
  CPenMethodMngr list;
  for (int i = 0; i < 5; ++i) list.Add({}, nullptr, std::to_string(i));
  list.SetSlots({1, 2, 3, 0, 4});
  ASSERT_TRUE(list.Delete(2));
  EXPECT_EQ(list.Slot(0), 1);
  EXPECT_EQ(list.Slot(1), 2);  // the deleted brush's slot stays at its index
  EXPECT_EQ(list.Slot(2), 2);
  EXPECT_EQ(list.Slot(3), 0);
  EXPECT_EQ(list.Slot(4), 3);
  // Inserting at 2 moves every slot at 2 or later, so each still names the same brush.
  const std::string named = list.At(list.Slot(1))->name;
  ASSERT_EQ(list.Insert(2, std::make_unique<CPenMethodObj>()), 2);
  EXPECT_EQ(list.Slot(0), 1);
  EXPECT_EQ(list.Slot(1), 3);
  EXPECT_EQ(list.At(list.Slot(1))->name, named);
  EXPECT_EQ(list.Slot(4), 4);
  // Out of the list: refused.
  EXPECT_FALSE(list.Select(9));
  EXPECT_FALSE(list.Delete(-1));
  EXPECT_EQ(list.Insert(99, std::make_unique<CPenMethodObj>()), -1);
  EXPECT_FALSE(list.SelectEraser(12, false));
  EXPECT_TRUE(list.SelectEraser(12, true));
  EXPECT_EQ(list.EraserIndex(), list.Count() - 1);
  const int32_t serial = list.At(3)->Serial();
  EXPECT_EQ(list.FindSerial(serial), 3);
  EXPECT_EQ(list.FindSerial(-5), -1);
}

TEST(ApplyBrush, SetsTheRendererTheStrokeManagerAndTheStroke) {
  TPaper paper;
  TFlowImage flow{paper};
  TStroke stroke;
  CPenRender render;
  CStrokeRenderer renderer{render};
  CStrokeMngr mngr{paper, flow, stroke, renderer};
  CPenMethodMngr list;
  list.FillDefault();
  CPenMethodObj& brush = *list.At(2);  // watercolour, tip 1
  const uint8_t toneGrad[2] = {1, 1};
  brush.SetRecord(nullptr, toneGrad, nullptr);
  stroke.SetOpacity(0.3f);
  ApplyBrush(brush, render, stroke, &mngr, false);
  EXPECT_FLOAT_EQ(stroke.Opacity(), 0.3f);  // the old-pen engine keeps its opacity
  EXPECT_EQ(render.BrushHead(), brush.Record().head);
  EXPECT_EQ(mngr.Params(), brush.Record().stroke);
  EXPECT_TRUE(stroke.UseTone());
  EXPECT_TRUE(stroke.UseGradation());
  EXPECT_EQ(render.TipParams(), BuiltInTipRecords()[1].params);
  ApplyBrush(*list.At(7), render, stroke, &mngr, true);
  EXPECT_FLOAT_EQ(stroke.Opacity(), 0.2f);
  EXPECT_FALSE(stroke.UseTone());
  EXPECT_EQ(render.BrushHead().mode, kBrushBurnDodge);
  EXPECT_EQ(render.TipParams(), BuiltInTipRecords()[6].params);
  EXPECT_EQ(mngr.Params().opacity, 200);
}

// --- old pen settings ------------------------------------------------------------------------

TEST(PenSettings, KeyNamesAndTheRoundTrip) {
  EXPECT_EQ(PenSettingKey(kRoot, kPenWatercolour, 2), "Software\\Norvane\\Tintara4 Deva\\penSetting\\wc2");
  EXPECT_EQ(PenSettingKey(kRoot, kPenRub, 5), "Software\\Norvane\\Tintara4 Deva\\penSetting\\rubpen5");
  CMemorySettingsStore store;
  TStroke st;
  SetPenKindDefaults(st, kPenWatercolour);
  st.SetWidth(23.5f);
  st.SetGamma(2.25f);
  st.SetSpacing(1.5f);  // "wc" draws at its fixed spacing whatever is stored
  st.SetUseTone(true);
  st.SetAirMap(4);
  ASSERT_TRUE(SavePenSettings(store, kRoot, st, kPenWatercolour, 2));
  const auto* values = store.Values(PenSettingKey(kRoot, kPenWatercolour, 2));
  ASSERT_NE(values, nullptr);
  std::vector<std::string> names;
  for (const auto& [name, v] : *values) names.push_back(name);
  const std::vector<std::string> expected = {
      "EFFECT", "ENV",    "GAMMA",          "MIN",    "SPEED",      "WIDTH",        "airMap",
      "ifEDGE", "ifSIZE", "ifTRANSPARENCY", "opaque", "penSpacing", "useGradation", "useTone"};
  EXPECT_EQ(names, expected);
  float spacing = 0;
  ASSERT_TRUE(store.ReadFloat(PenSettingKey(kRoot, kPenWatercolour, 2), "penSpacing", spacing));
  EXPECT_FLOAT_EQ(spacing, 1.0f / 12.0f);
  TStroke back;
  ASSERT_TRUE(LoadPenSettings(store, kRoot, back, kPenWatercolour, 2, true));
  EXPECT_FLOAT_EQ(back.Width(), 23.5f);
  EXPECT_FLOAT_EQ(back.Gamma(), 2.25f);
  EXPECT_FLOAT_EQ(back.Min(), 33.3f);
  EXPECT_FLOAT_EQ(back.Effect(), 65);
  EXPECT_TRUE(back.UseTone());
  EXPECT_EQ(back.AirMap(), 4);
}

TEST(PenSettings, MissingAndInvalidValuesLeaveTheDefaults) {
  CMemorySettingsStore store;
  const std::string key = PenSettingKey(kRoot, kPenPencil, 1);
  store.WriteFloat(key, "WIDTH", 7.5f);
  store.WriteInt(key, "MIN", 12);                                           // wrong type
  store.WriteFloat(key, "GAMMA", std::numeric_limits<float>::quiet_NaN());  // not a number
  store.WriteFloat(key, "opaque", 40.0f);                                   // clamped to 1
  store.WriteInt(key, "airMap", 9);                                         // no such profile
  TStroke st;
  st.SetWidth(99);
  ASSERT_TRUE(LoadPenSettings(store, kRoot, st, kPenPencil, 1, true));
  // The "pen" defaults with that width.
  EXPECT_FLOAT_EQ(st.Width(), 7.5f);
  EXPECT_FLOAT_EQ(st.Min(), 75);
  EXPECT_FLOAT_EQ(st.Gamma(), 1.0f);
  EXPECT_FLOAT_EQ(st.Opacity(), 1.0f);
  EXPECT_EQ(st.AirMap(), 3);
  EXPECT_TRUE(st.IfSize());
  EXPECT_TRUE(st.IfTransparency());
  EXPECT_FALSE(st.IfEdge());
  // A missing key reads nothing; without reset the current values stay.
  TStroke other;
  other.SetWidth(42);
  EXPECT_FALSE(LoadPenSettings(store, kRoot, other, kPenPencil, 3, false));
  EXPECT_FLOAT_EQ(other.Width(), 42);
  // A kind or variant that does not exist is refused before anything changes, reset or not
  // (variants are 1..5: "pen0" and "pen6" are no keys of ours).
  store.WriteFloat(PenSettingKey(kRoot, kPenPencil, 0), "WIDTH", 3.0f);
  store.WriteFloat(PenSettingKey(kRoot, kPenPencil, 6), "WIDTH", 3.0f);
  const struct {
    int32_t kind, variant;
  } missing[] = {{kPenPencil, 0}, {kPenPencil, 6}, {-1, 1}, {kPenKindCount, 1}};
  for (const auto& m : missing) {
    EXPECT_FALSE(LoadPenSettings(store, kRoot, other, m.kind, m.variant, true)) << m.kind << "/" << m.variant;
    EXPECT_FLOAT_EQ(other.Width(), 42) << m.kind << "/" << m.variant;
    EXPECT_FLOAT_EQ(other.Min(), 0) << m.kind << "/" << m.variant;
  }
  // Huge and negative values go through the clamping setters.
  store.WriteFloat(key, "WIDTH", 1.0e9f);
  store.WriteFloat(key, "GAMMA", 0.0f);
  store.WriteFloat(key, "penSpacing", -3.0f);
  LoadPenSettings(store, kRoot, st, kPenPencil, 1, true);
  EXPECT_FLOAT_EQ(st.Width(), TStroke::kMaxWidth);
  EXPECT_FLOAT_EQ(st.Gamma(), TStroke::kMinGamma);
  EXPECT_FLOAT_EQ(st.StoredSpacing(), TStroke::kMinSpacing);
}

TEST(PenSettings, KindDefaults) {
  struct Row {
    int kind;
    float min, width, effect, env, speed;
    bool size, transparency, edge;
    float spacing, opacity;
    int airMap;
  };
  const Row rows[] = {
      {kPenPencil, 75, 1, 0, 0, 0, true, true, false, 0.5f, 1, 3},
      {kPenWatercolour, 33.3f, 16, 65, 40, 30, true, true, false, 0.5f, 1, 3},
      {kPenBlur, 100, 12, 10, 0, 0, false, false, false, 0.5f, 1, 3},
      {kPenEraser, 100, 12, 0, 0, 0, false, true, true, 0.5f, 1, 3},
      {kPenAirbrush, 60, 30, 0, 0, 0, true, true, false, 0.15f, 0.1f, 3},
      {kPenRub, 60, 15, 0, 0, 0, false, true, false, 0.04f, 0.6f, 3},
      {kPenDarken, 60, 25, 50, 0, 0, true, true, false, 0.15f, 0.2f, 1},
      {kPenLighten, 60, 25, 50, 0, 0, true, true, false, 0.15f, 0.2f, 1},
  };
  for (const Row& r : rows) {
    TStroke st;
    CPenRender render;
    SetPenKindDefaults(st, r.kind, &render);
    EXPECT_FLOAT_EQ(st.Min(), r.min) << r.kind;
    EXPECT_FLOAT_EQ(st.Width(), r.width) << r.kind;
    EXPECT_FLOAT_EQ(st.Effect(), r.effect) << r.kind;
    EXPECT_FLOAT_EQ(st.Env(), r.env) << r.kind;
    EXPECT_FLOAT_EQ(st.Speed(), r.speed) << r.kind;
    EXPECT_EQ(st.IfSize(), r.size) << r.kind;
    EXPECT_EQ(st.IfTransparency(), r.transparency) << r.kind;
    EXPECT_EQ(st.IfEdge(), r.edge) << r.kind;
    EXPECT_FLOAT_EQ(st.StoredSpacing(), r.spacing) << r.kind;
    EXPECT_FLOAT_EQ(st.Opacity(), r.opacity) << r.kind;
    EXPECT_EQ(st.AirMap(), r.airMap) << r.kind;
    EXPECT_EQ(render.AirMapIndex(), r.airMap) << r.kind;
    EXPECT_FLOAT_EQ(st.Gamma(), 1.0f) << r.kind;
  }
}

TEST(PenSettings, SlotsRoundTripAndInvalidSlotsKeepTheDefaults) {
  const std::string key = kRoot + "\\penSetting";
  CMemorySettingsStore store;
  PenSlots slots;
  slots.current = 3;
  const int32_t kinds[5] = {kPenRub, kPenPencil, kPenLighten, kPenEraser, kPenWatercolour};
  std::copy(std::begin(kinds), std::end(kinds), slots.kinds);
  ASSERT_TRUE(SavePenSlots(store, kRoot, slots));
  int32_t v = -1;
  ASSERT_TRUE(store.ReadInt(key, "penSlot2", v));
  EXPECT_EQ(v, kPenLighten);
  PenSlots back;
  TStroke st;
  ASSERT_TRUE(LoadPenSlots(store, kRoot, back, &st));
  EXPECT_EQ(back.current, 3);
  EXPECT_TRUE(std::equal(std::begin(kinds), std::end(kinds), back.kinds));
  EXPECT_EQ(st.Kind(), kPenEraser);  // the current slot's kind
  struct Bad {
    const char* name;
    int32_t value;
  };
  const Bad bad[] = {{"curSlot", 5}, {"penSlot1", kPenBlur2}, {"penSlot4", kPenRub}, {"penSlot0", 9}};
  for (const Bad& b : bad) {
    CMemorySettingsStore s = store;
    s.WriteInt(key, b.name, b.value);
    PenSlots got;
    TStroke untouched;
    untouched.SetKind(kPenDarken);
    EXPECT_FALSE(LoadPenSlots(s, kRoot, got, &untouched)) << b.name;
    EXPECT_EQ(untouched.Kind(), kPenDarken) << b.name;
    const PenSlots defaults;
    EXPECT_EQ(got.current, 0) << b.name;
    EXPECT_TRUE(std::equal(std::begin(defaults.kinds), std::end(defaults.kinds), got.kinds)) << b.name;
  }
}

TEST(PenSettings, ConversionMakesOneBrushPerFullRecord) {
  const std::string old = "Software\\Norvane\\Tintara3";
  CMemorySettingsStore store;
  auto write = [&](int kind, int n, float width, float opaque, float spacing, int airMap, bool edge) {
    const std::string key = PenSettingKey(old, kind, n);
    store.WriteFloat(key, "MIN", 37.9f);
    store.WriteFloat(key, "WIDTH", width);
    store.WriteFloat(key, "GAMMA", 1.5f);
    store.WriteFloat(key, "EFFECT", 12.7f);
    store.WriteFloat(key, "ENV", 250.0f);  // beyond the brush range
    store.WriteFloat(key, "SPEED", 3.2f);
    store.WriteBool(key, "ifSIZE", true);
    store.WriteBool(key, "ifTRANSPARENCY", false);
    store.WriteBool(key, "ifEDGE", edge);
    store.WriteBool(key, "useTone", true);
    store.WriteBool(key, "useGradation", false);
    store.WriteFloat(key, "opaque", opaque);
    store.WriteFloat(key, "penSpacing", spacing);
    store.WriteInt(key, "airMap", airMap);
  };
  write(kPenAirbrush, 3, 30, 0.1f, 0.15f, 0, false);
  CPenMethodMngr list;
  ASSERT_EQ(ConvertOldPenSettings(store, old, list), 1);
  const CPenMethodObj& b = *list.At(0);
  EXPECT_EQ(b.name, "エアーブラシ3");
  const PenMethodParams& p = b.Record();
  EXPECT_EQ(p.head.mode, kBrushAirbrush);
  EXPECT_EQ(p.head.channel, 0);
  EXPECT_EQ(p.head.effect1, 12);
  EXPECT_EQ(p.head.effect2, 100);
  EXPECT_EQ(p.head.effect3, 3);
  EXPECT_EQ(p.useTone, 1);
  EXPECT_EQ(p.useGradation, 0);
  EXPECT_EQ(p.stroke.pressureSize, 1);
  EXPECT_EQ(p.stroke.pressureOpacity, 0);
  EXPECT_EQ(p.stroke.opacity, 100);  // trunc(0.1 x 1000)
  EXPECT_EQ(p.stroke.gamma, 150);
  EXPECT_EQ(p.stroke.spacing, 150);  // trunc(0.15 x 100) x 10
  EXPECT_EQ(p.stroke.fullDensity, 0);
  EXPECT_EQ(p.stroke.subdivision, 1);
  const PenTipRecord tip = b.TipIfAny()->Record();
  EXPECT_EQ(tip.profile.curve, kCurveLinear);  // air map 0: linear, flattened to 90 %
  EXPECT_EQ(tip.profile.flattening, 900);
  EXPECT_EQ(tip.params.radius100, 3000);
  EXPECT_EQ(tip.params.minimum, 370);
  EXPECT_EQ(tip.params.aspect, 1000);

  // A partial record is skipped; an eraser with a soft edge and the pencil's sizes.
  write(kPenEraser, 1, 500, 0.0f, 0.0f, 1, true);
  write(kPenPencil, 5, 0.05f, 1, 0.25f, 2, false);
  store.Remove(PenSettingKey(old, kPenAirbrush, 3), "SPEED");
  write(kPenBlur2, 1, 4, 1, 1, 1, false);  // never converted
  CPenMethodMngr list2;
  ASSERT_EQ(ConvertOldPenSettings(store, old, list2), 2);
  const CPenMethodObj& pencil = *list2.At(0);
  EXPECT_EQ(pencil.name, "鉛筆5");
  EXPECT_EQ(pencil.Record().head.channel, 1);
  EXPECT_EQ(pencil.Record().stroke.fullDensity, 8);
  EXPECT_EQ(pencil.Record().stroke.subdivision, 2);
  EXPECT_EQ(pencil.TipIfAny()->Record().profile.flattening, 1000);
  EXPECT_EQ(pencil.TipIfAny()->Record().profile.curve, kCurveSmooth);
  EXPECT_EQ(pencil.TipIfAny()->Record().params.radius100, PenTipParams::kMinRadius100);
  const CPenMethodObj& eraser = *list2.At(1);
  EXPECT_EQ(eraser.name, "消しゴム1");
  EXPECT_EQ(eraser.Record().head.mode, kBrushEraser);
  EXPECT_EQ(eraser.Record().stroke.fullDensity, 4);
  EXPECT_EQ(eraser.Record().stroke.subdivision, 3);
  EXPECT_EQ(eraser.Record().stroke.opacity, 10);                         // into 1..100 %
  EXPECT_EQ(eraser.Record().stroke.spacing, StrokeParams::kMinSpacing);  // never 0
  EXPECT_EQ(eraser.TipIfAny()->Record().profile.flattening, 0);          // soft edge
  EXPECT_EQ(eraser.TipIfAny()->Record().profile.curve, kCurveCircle);
  EXPECT_EQ(eraser.TipIfAny()->Record().params.radius100, PenTipParams::kMaxRadius100);
}

}  // namespace
}  // namespace tintara
