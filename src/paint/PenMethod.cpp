#include "paint/PenMethod.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <new>

#include "paint/StrokeMngr.h"
#include "pixel/ColorOps.h"

namespace tintara {
namespace {

int32_t Trunc(double v, int32_t lo, int32_t hi) {
  if (!std::isfinite(v)) return lo;
  return int32_t(std::clamp(std::trunc(v), double(lo), double(hi)));
}

}  // namespace

// --- the record ---------------------------------------------------------------------------------

void PenMethodParams::Write(ByteWriter& w) const {
  w.u8(head.mode);
  w.u8(head.variant);
  w.u8(head.pixelAligned);
  w.u8(head.channel);
  w.u16(head.effect1);
  w.u16(head.effect2);
  w.u16(head.effect3);
  w.zeros(6);
  w.u8(useGradation);
  w.u8(useTone);
  w.zeros(2);
  stroke.Write(w);
}

bool PenMethodParams::Read(ByteReader& r) {
  PenMethodParams raw;
  raw.head.mode = r.u8();
  raw.head.variant = r.u8();
  raw.head.pixelAligned = r.u8();
  raw.head.channel = r.u8();
  raw.head.effect1 = r.u16();
  raw.head.effect2 = r.u16();
  raw.head.effect3 = r.u16();
  r.skip(6);
  raw.useGradation = r.u8();
  raw.useTone = r.u8();
  r.skip(2);
  if (!raw.stroke.Read(r) || !r.ok()) return false;
  *this = Clamped(raw);
  return true;
}

PenMethodParams PenMethodParams::Clamped(const PenMethodParams& raw) {
  PenMethodParams p;
  p.head = SPenBrushHead::Clamped(raw.head);
  p.useGradation = raw.useGradation ? 1 : 0;
  p.useTone = raw.useTone ? 1 : 0;
  p.stroke = StrokeParams::Clamped(raw.stroke);
  return p;
}

const char* BrushModeCaption(const SPenBrushHead& h) {
  if (h.channel) return "鉛筆";
  switch (h.mode) {
    case kBrushAirbrush:
      return "エアーブラシ";
    case kBrushWatercolour:
      return "透明水彩";
    case kBrushBlur:
      return "ぼかし";
    case kBrushEraser:
      return "消しゴム";
    case kBrushSmudge:
      return "のばし";
    case kBrushFinger:
      return "指先";
    case kBrushBurnDodge:
      return h.variant == 1 ? "覆い焼き" : "焼き込み";
    default:
      return kBrushErrorCaption;
  }
}

// --- a brush ---------------------------------------------------------------------------------------

int32_t CPenMethodObj::NextSerial() {
  static std::atomic<int32_t> counter{0};
  return ++counter;
}

CPenMethodObj::CPenMethodObj() : serial_(NextSerial()) {}

void CPenMethodObj::Reset() {
  serial_ = NextSerial();
  params_ = {};
  tip_.reset();
  icon_.reset();
  display_.reset();
}

void CPenMethodObj::SetRecord(const SPenBrushHead* head, const uint8_t* toneAndGradation,
                              const StrokeParams* stroke) {
  if (head) params_.head = SPenBrushHead::Clamped(*head);
  if (toneAndGradation) {
    params_.useGradation = toneAndGradation[0] ? 1 : 0;
    params_.useTone = toneAndGradation[1] ? 1 : 0;
  }
  if (stroke) params_.stroke = StrokeParams::Clamped(*stroke);
}

void CPenMethodObj::SetRecord(const PenMethodParams& p) {
  const uint8_t tg[2] = {p.useGradation, p.useTone};
  SetRecord(&p.head, tg, &p.stroke);
}

CPenShapeObj& CPenMethodObj::Tip() {
  if (!tip_) tip_ = std::make_unique<CPenShapeObj>();
  return *tip_;
}

bool CPenMethodObj::SetTip(const CPenShapeObj& tip) { return Tip().CopyFrom(tip); }

void CPenMethodObj::SetTipRecord(const PenTipRecord& record) {
  Tip().SetRecord(record);
  tip_->valid = true;
}

bool CPenMethodObj::SetIcon(const TMTC& icon) {
  if (!icon.IsValid()) return false;
  try {
    auto copy = std::make_unique<TMTC>(icon.Width(), icon.Height());
    auto shown = std::make_unique<TMTC>(icon.Width(), icon.Height());
    if (!copy->IsValid() || !shown->IsValid()) return false;
    CopyRect(*copy, {0, 0}, icon, icon.Bounds());
    // The display copy shows the icon over white, as the list draws it.
    for (int32_t y = 0; y < icon.Height(); ++y)
      for (int32_t x = 0; x < icon.Width(); ++x) {
        const uint32_t p = icon.Row32(y)[x];
        shown->Row32(y)[x] = BlendKeepAlphaPixel(0xFFFFFFFFu, p, p >> 24) | 0xFF000000u;
      }
    icon_ = std::move(copy);
    display_ = std::move(shown);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool CPenMethodObj::CopyFrom(const CPenMethodObj& o) {
  if (&o == this) return true;
  if (o.tip_ && !Tip().CopyFrom(*o.tip_)) return false;
  if (!o.tip_) tip_.reset();
  if (o.icon_) {
    if (!SetIcon(*o.icon_)) return false;
  } else {
    icon_.reset();
    display_.reset();
  }
  name = o.name;
  params_ = o.params_;
  valid = o.valid;
  return true;
}

// --- the list ---------------------------------------------------------------------------------

int32_t CPenMethodMngr::Add(const PenMethodParams& record, const PenTipRecord* tip, const std::string& name) {
  try {
    auto item = std::make_unique<CPenMethodObj>();
    item->SetRecord(record);
    if (tip) item->SetTipRecord(*tip);
    item->name = name;
    return Insert(Count(), std::move(item));
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

int32_t CPenMethodMngr::Insert(int32_t index, std::unique_ptr<CPenMethodObj> item) {
  if (!item || index < 0 || index > Count()) return -1;
  try {
    items_.insert(items_.begin() + index, std::move(item));
  } catch (const std::bad_alloc&) {
    return -1;
  }
  // Every slot at or after the new brush keeps pointing at the brush it pointed at.
  if (slotsValid_)
    for (int32_t& s : slots_)
      if (s >= index) ++s;
  if (current_ >= index) ++current_;
  if (eraser_ >= index) ++eraser_;
  if (current_ < 0) current_ = 0;
  ClampSlots();
  return index;
}

int32_t CPenMethodMngr::AppendCopy(const CPenMethodObj& item) {
  try {
    auto copy = std::make_unique<CPenMethodObj>();
    if (!copy->CopyFrom(item)) return -1;
    return Insert(Count(), std::move(copy));
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

bool CPenMethodMngr::Delete(int32_t index) {
  if (!IsValidIndex(index)) return false;
  items_.erase(items_.begin() + index);
  if (slotsValid_)
    for (int32_t& s : slots_)
      if (s > index) --s;
  if (current_ > index || current_ >= Count()) --current_;
  if (eraser_ == index)
    eraser_ = -1;
  else if (eraser_ > index)
    --eraser_;
  if (Count() > 0 && current_ < 0) current_ = 0;
  ClampSlots();
  return true;
}

void CPenMethodMngr::Clear() {
  items_.clear();
  current_ = eraser_ = -1;
}

bool CPenMethodMngr::Select(int32_t index) {
  if (!IsValidIndex(index)) return false;
  current_ = index;
  return true;
}

bool CPenMethodMngr::SelectEraser(int32_t index, bool clamp) {
  if (Count() == 0) return false;
  if (clamp) index = std::clamp(index, 0, Count() - 1);
  if (!IsValidIndex(index)) return false;
  eraser_ = index;
  return true;
}

int32_t CPenMethodMngr::FindSerial(int32_t serial) const {
  for (int32_t i = 0; i < Count(); ++i)
    if (items_[size_t(i)]->Serial() == serial) return i;
  return -1;
}

int32_t CPenMethodMngr::FindEraser() const {
  if (IsValidIndex(eraser_)) return eraser_;
  for (int32_t i = 0; i < Count(); ++i)
    if (items_[size_t(i)]->Record().head.mode == kBrushEraser) return i;
  return -1;
}

void CPenMethodMngr::SetSlots(const int32_t (&slots)[kSlots]) {
  std::copy(std::begin(slots), std::end(slots), slots_);
  slotsValid_ = true;
  ClampSlots();
}

void CPenMethodMngr::ClampSlots() {
  if (!slotsValid_) return;
  for (int32_t& s : slots_) s = std::clamp(s, 0, std::max(0, Count() - 1));
}

std::vector<DefaultBrush> DefaultBrushRecords() {
  struct Row {
    uint8_t mode, variant, channel;
    uint16_t e1, e2, e3;
    uint8_t pressureSize, pressureOpacity;
    int32_t opacity, spacing, tip;
  };
  static constexpr Row kRows[] = {
      {0, 0, 1, 0, 0, 0, 1, 1, 1000, 167, 0},   {0, 0, 0, 0, 0, 0, 1, 1, 100, 150, 4},
      {1, 0, 0, 65, 40, 30, 1, 1, 1000, 83, 1}, {2, 0, 0, 10, 0, 0, 0, 0, 1000, 250, 2},
      {3, 0, 0, 0, 0, 0, 0, 1, 1000, 250, 3},   {4, 0, 0, 0, 0, 0, 0, 1, 600, 40, 5},
      {5, 0, 0, 0, 0, 0, 0, 1, 600, 40, 5},     {6, 0, 0, 50, 0, 0, 1, 1, 200, 150, 6},
      {6, 1, 0, 50, 0, 0, 1, 1, 200, 150, 6},
  };
  std::vector<DefaultBrush> out;
  for (const Row& r : kRows) {
    DefaultBrush b;
    b.params.head.mode = r.mode;
    b.params.head.variant = r.variant;
    b.params.head.channel = r.channel;
    b.params.head.effect1 = r.e1;
    b.params.head.effect2 = r.e2;
    b.params.head.effect3 = r.e3;
    b.params.stroke.pressureSize = r.pressureSize;
    b.params.stroke.pressureOpacity = r.pressureOpacity;
    b.params.stroke.opacity = r.opacity;
    b.params.stroke.gamma = 100;
    b.params.stroke.spacing = r.spacing;
    b.params.stroke.fullDensity = 0;
    b.params.stroke.subdivision = 1;
    b.tip = r.tip;
    out.push_back(b);
  }
  return out;
}

void CPenMethodMngr::FillDefault() {
  Clear();
  const std::vector<PenTipRecord> tips = BuiltInTipRecords();
  for (const DefaultBrush& b : DefaultBrushRecords()) {
    const PenTipRecord* tip = b.tip >= 0 && size_t(b.tip) < tips.size() ? &tips[size_t(b.tip)] : nullptr;
    Add(b.params, tip, BrushModeCaption(b.params.head));
  }
  current_ = Count() > 0 ? 0 : -1;
}

void ApplyBrush(const CPenMethodObj& brush, CPenRender& render, TStroke& stroke, CStrokeMngr* mngr,
                bool brushEngine) {
  const PenMethodParams& p = brush.Record();
  if (brushEngine) stroke.SetOpacity(float(p.stroke.opacity / 1000.0));
  stroke.SetUseGradation(p.useGradation != 0);
  stroke.SetUseTone(p.useTone != 0);
  render.SetBrushHead(p.head);
  render.SetPressureOpacity(p.stroke.pressureOpacity != 0);
  if (mngr) mngr->SetParams(p.stroke);
  if (const CPenShapeObj* tip = brush.TipIfAny()) render.SelectTip(tip, true);
}

// --- old pen settings -----------------------------------------------------------------------------

std::string PenSettingKey(const std::string& root, int32_t kind, int32_t variant) {
  char name[600];
  std::snprintf(name, sizeof name, "%s\\%s\\%s%d", root.c_str(), kPenSettingKey, PenKindOf(kind).stem,
                variant);
  return name;
}

void SetPenKindDefaults(TStroke& st, int32_t kind, CPenRender* render) {
  st.SetMin(0);
  st.SetWidth(0.1f);
  st.SetEffect(0);
  st.SetEnv(0);
  st.SetSpeed(0);
  st.SetIfSize(false);
  st.SetIfTransparency(false);
  st.SetIfEdge(false);
  st.SetGamma(1.0f);
  st.SetUseTone(false);
  st.SetUseGradation(false);
  st.SetOpacity(1.0f);
  st.SetSpacing(0.5f);
  int32_t airMap = -1;
  switch (kind) {
    case kPenPencil:
      st.SetMin(75), st.SetWidth(1), st.SetIfSize(true), st.SetIfTransparency(true);
      break;
    case kPenWatercolour:
      st.SetMin(33.3f), st.SetWidth(16), st.SetEffect(65), st.SetEnv(40), st.SetSpeed(30);
      st.SetIfSize(true), st.SetIfTransparency(true);
      break;
    case kPenBlur:
      st.SetMin(100), st.SetWidth(12), st.SetEffect(10);
      break;
    case kPenEraser:
      st.SetMin(100), st.SetWidth(12), st.SetIfTransparency(true), st.SetIfEdge(true);
      break;
    case kPenAirbrush:
      st.SetMin(60), st.SetWidth(30), st.SetIfSize(true), st.SetIfTransparency(true);
      st.SetSpacing(0.15f), st.SetOpacity(0.1f);
      airMap = 3;
      break;
    case kPenRub:
      st.SetMin(60), st.SetWidth(15), st.SetIfTransparency(true), st.SetSpacing(0.04f), st.SetOpacity(0.6f);
      airMap = 3;
      break;
    case kPenDarken:
    case kPenLighten:
      st.SetMin(60), st.SetWidth(25), st.SetEffect(50), st.SetIfSize(true), st.SetIfTransparency(true);
      st.SetSpacing(0.15f), st.SetOpacity(0.2f);
      airMap = 1;
      break;
    default:
      break;
  }
  if (airMap >= 0) {
    st.SetAirMap(airMap);
    if (render) render->SelectAirMap(airMap);
  }
}

bool LoadPenSettings(const ISettingsStore& store, const std::string& root, TStroke& st, int32_t kind,
                     int32_t variant, bool reset, CPenRender* render) {
  // A kind or variant that does not exist names no key and changes nothing.
  if (kind < 0 || kind >= kPenKindCount || variant < 1 || variant > kPenVariants) return false;
  if (reset) SetPenKindDefaults(st, kind, render);
  const std::string key = PenSettingKey(root, kind, variant);
  if (!store.HasKey(key)) return false;
  float f;
  bool b;
  int32_t i;
  if (store.ReadFloat(key, "MIN", f)) st.SetMin(f);
  if (store.ReadFloat(key, "WIDTH", f)) st.SetWidth(f);
  if (store.ReadFloat(key, "GAMMA", f)) st.SetGamma(f);
  if (store.ReadFloat(key, "EFFECT", f)) st.SetEffect(f);
  if (store.ReadFloat(key, "ENV", f)) st.SetEnv(f);
  if (store.ReadFloat(key, "SPEED", f)) st.SetSpeed(f);
  if (store.ReadFloat(key, "opaque", f)) st.SetOpacity(f);
  if (store.ReadFloat(key, "penSpacing", f)) st.SetSpacing(f);
  if (store.ReadBool(key, "ifSIZE", b)) st.SetIfSize(b);
  if (store.ReadBool(key, "ifTRANSPARENCY", b)) st.SetIfTransparency(b);
  if (store.ReadBool(key, "ifEDGE", b)) st.SetIfEdge(b);
  if (store.ReadBool(key, "useTone", b)) st.SetUseTone(b);
  if (store.ReadBool(key, "useGradation", b)) st.SetUseGradation(b);
  if (store.ReadInt(key, "airMap", i) && i >= 0 && i < CPenRender::kAirMapCount) {
    st.SetAirMap(i);
    if (render && reset) render->SelectAirMap(i);
  }
  return true;
}

bool SavePenSettings(ISettingsStore& store, const std::string& root, const TStroke& st, int32_t kind,
                     int32_t variant) {
  if (kind < 0 || kind >= kPenKindCount || variant < 1 || variant > kPenVariants) return false;
  const std::string key = PenSettingKey(root, kind, variant);
  // The spacing written is the one the kind draws with.
  const float fixed = PenKindOf(kind).fixedSpacing;
  const float spacing = std::max(fixed > 0 ? fixed : st.StoredSpacing(), TStroke::kMinSpacing);
  bool ok = store.WriteFloat(key, "MIN", st.Min());
  ok &= store.WriteFloat(key, "WIDTH", st.Width());
  ok &= store.WriteFloat(key, "GAMMA", st.Gamma());
  ok &= store.WriteFloat(key, "EFFECT", st.Effect());
  ok &= store.WriteFloat(key, "ENV", st.Env());
  ok &= store.WriteFloat(key, "SPEED", st.Speed());
  ok &= store.WriteFloat(key, "opaque", st.EffectiveOpacity(false));
  ok &= store.WriteFloat(key, "penSpacing", spacing);
  ok &= store.WriteBool(key, "ifSIZE", st.IfSize());
  ok &= store.WriteBool(key, "ifTRANSPARENCY", st.IfTransparency());
  ok &= store.WriteBool(key, "ifEDGE", st.IfEdge());
  ok &= store.WriteBool(key, "useTone", st.UseTone());
  ok &= store.WriteBool(key, "useGradation", st.UseGradation());
  ok &= store.WriteInt(key, "airMap", st.AirMap());
  return ok;
}

bool ReadFullPenRecord(const ISettingsStore& s, const std::string& key, OldPenValues& v) {
  OldPenValues r;
  const bool ok = s.ReadFloat(key, "MIN", r.min) && s.ReadFloat(key, "WIDTH", r.width) &&
                  s.ReadFloat(key, "GAMMA", r.gamma) && s.ReadFloat(key, "EFFECT", r.effect) &&
                  s.ReadFloat(key, "ENV", r.env) && s.ReadFloat(key, "SPEED", r.speed) &&
                  s.ReadBool(key, "ifSIZE", r.ifSize) &&
                  s.ReadBool(key, "ifTRANSPARENCY", r.ifTransparency) &&
                  s.ReadBool(key, "ifEDGE", r.ifEdge) && s.ReadBool(key, "useTone", r.useTone) &&
                  s.ReadBool(key, "useGradation", r.useGradation) && s.ReadFloat(key, "opaque", r.opaque) &&
                  s.ReadFloat(key, "penSpacing", r.penSpacing) && s.ReadInt(key, "airMap", r.airMap);
  if (ok) v = r;
  return ok;
}

bool LoadPenSlots(const ISettingsStore& store, const std::string& root, PenSlots& slots, TStroke* stroke) {
  const std::string key = root + "\\" + kPenSettingKey;
  PenSlots read = slots;
  if (!store.ReadInt(key, "curSlot", read.current) || read.current < 0 || read.current > 4) return false;
  for (int32_t i = 0; i < 5; ++i) {
    char name[24];
    std::snprintf(name, sizeof name, "penSlot%d", i);
    int32_t k;
    if (!store.ReadInt(key, name, k) || k < 0 || k >= kPenKindCount || k == kPenBlur2) return false;
    for (int32_t j = 0; j < i; ++j)
      if (read.kinds[j] == k) return false;
    read.kinds[i] = k;
  }
  slots = read;
  if (stroke) stroke->SetKind(slots.kinds[slots.current]);
  return true;
}

bool SavePenSlots(ISettingsStore& store, const std::string& root, const PenSlots& slots) {
  const std::string key = root + "\\" + kPenSettingKey;
  bool ok = store.WriteInt(key, "curSlot", slots.current);
  for (int32_t i = 0; i < 5; ++i) {
    char name[24];
    std::snprintf(name, sizeof name, "penSlot%d", i);
    ok &= store.WriteInt(key, name, slots.kinds[i]);
  }
  return ok;
}

void OldPenToBrush(int32_t kind, const OldPenValues& v, PenMethodParams& brush, PenTipRecord& tip) {
  brush = {};
  SPenBrushHead& h = brush.head;
  switch (kind) {
    case kPenPencil:
      h.mode = kBrushAirbrush, h.channel = 1;
      break;
    case kPenWatercolour:
      h.mode = kBrushWatercolour;
      break;
    case kPenBlur:
      h.mode = kBrushBlur;
      break;
    case kPenEraser:
      h.mode = kBrushEraser;
      break;
    case kPenRub:
      h.mode = kBrushFinger;
      break;
    case kPenDarken:
      h.mode = kBrushBurnDodge, h.variant = 0;
      break;
    case kPenLighten:
      h.mode = kBrushBurnDodge, h.variant = 1;
      break;
    default:  // the airbrush
      h.mode = kBrushAirbrush;
      break;
  }
  h.effect1 = uint16_t(Trunc(v.effect, 0, 100));
  h.effect2 = uint16_t(Trunc(v.env, 0, 100));
  h.effect3 = uint16_t(Trunc(v.speed, 0, 100));
  brush.useGradation = v.useGradation ? 1 : 0;
  brush.useTone = v.useTone ? 1 : 0;
  StrokeParams& s = brush.stroke;
  s.pressureSize = v.ifSize ? 1 : 0;
  s.pressureOpacity = v.ifTransparency ? 1 : 0;
  s.fullDensity = kind == kPenPencil ? 8 : kind == kPenEraser ? 4 : 0;
  s.subdivision = kind == kPenPencil ? 2 : kind == kPenEraser ? 3 : 1;
  // Opacity within the brush window's 1..100 %.
  s.SetOpacity(Trunc(v.opaque * 1000.0, 10, StrokeParams::kMaxOpacity));
  s.SetGamma(Trunc(v.gamma * 100.0, StrokeParams::kMinGamma, StrokeParams::kMaxGamma));
  s.SetSpacing(Trunc(v.penSpacing * 100.0, 1, 200) * 10);

  tip = {};
  static constexpr uint8_t kCurves[5] = {kCurveLinear, kCurveCircle, kCurveSmooth, kCurveLinear,
                                         kCurveHollow};
  const int32_t airMap = std::clamp(v.airMap, 0, 4);
  tip.profile.curve = kCurves[airMap];
  tip.profile.flattening = airMap == 0 ? 900 : 0;
  tip.profile.floor = 0;
  if (kind == kPenWatercolour || kind == kPenEraser) tip.profile.flattening = v.ifEdge ? 0 : 1000;
  if (kind == kPenPencil || kind == kPenBlur) tip.profile.flattening = 1000;
  tip.params.radius100 =
      Trunc((double(v.width) + 0.0001) * 100.0, PenTipParams::kMinRadius100, PenTipParams::kMaxRadius100);
  tip.params.minimum =
      Trunc(std::trunc(double(v.min) + 0.0001) * 10.0, PenTipParams::kMinMinimum, PenTipParams::kMaxMinimum);
  tip.params.aspect = 1000;
  tip.params.angle = 0;
  tip.hardEdge = 0;
}

int32_t ConvertOldPenSettings(const ISettingsStore& store, const std::string& oldRoot, CPenMethodMngr& out) {
  int32_t made = 0;
  for (int32_t kind = 0; kind < kPenKindCount; ++kind) {
    if (kind == kPenBlur2) continue;
    for (int32_t n = 1; n <= kPenVariants; ++n) {
      OldPenValues v;
      if (!ReadFullPenRecord(store, PenSettingKey(oldRoot, kind, n), v)) continue;
      PenMethodParams brush;
      PenTipRecord tip;
      OldPenToBrush(kind, v, brush, tip);
      char name[64];
      std::snprintf(name, sizeof name, "%s%d", PenKindOf(kind).caption, n);
      if (out.Add(brush, &tip, name) >= 0) ++made;
    }
  }
  return made;
}

}  // namespace tintara
