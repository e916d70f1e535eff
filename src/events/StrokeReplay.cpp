#include "events/StrokeReplay.h"

#include "events/EventRecords.h"

namespace tintara {

namespace {

bool WriteState(CEventMngr& events, const auto& record) {
  std::vector<uint8_t> bytes;
  return Encode(record, bytes) && events.WriteStateRecord(bytes);
}

bool IsShapeStart(PacketCode c) { return c.kind == 24 || c.kind == 49; }
bool IsBrushStart(PacketCode c) { return c.kind == 48 || c.kind == 49; }

constexpr uint8_t kPenSetSubs[6] = {48, 52, 53, 56, 57, 60};
constexpr size_t kPenSetLengths[6] = {8, 12, 12, 8, 16, 16};

int32_t PenSetSlot(uint8_t sub) {
  for (int32_t i = 0; i < 6; ++i)
    if (kPenSetSubs[i] == sub) return i;
  return -1;
}

}  // namespace

BrushPenSet BrushPenSet::Of(const CPenRender& render, const CStrokeMngr& mngr) {
  BrushPenSet s;
  s.head = render.BrushHead();
  s.interpolation = mngr.InterpolationMode();
  s.bitmapTip = render.HasBitmapTip();
  s.hardEdge = render.HardEdge();
  s.pressureOpacity = render.PressureOpacity();
  s.density = render.Density();
  s.tip = render.TipParams();
  s.stroke = mngr.Params();
  return s;
}

std::array<ParamBlockRecord, 6> BrushPenSet::Encode() const {
  std::array<std::vector<uint8_t>, 6> b;
  {
    ByteWriter w(b[0]);
    w.u8(head.mode), w.u8(head.variant), w.u8(head.pixelAligned), w.u8(head.channel);
    w.u8(interpolation);
    w.u8(uint8_t((bitmapTip ? 1 : 0) | (hardEdge ? 2 : 0) | (pressureOpacity ? 4 : 0)));
    w.u8(density.curve), w.u8(0);
  }
  {
    ByteWriter w(b[1]);
    w.u16(head.effect1), w.u16(head.effect2), w.u16(head.effect3), w.u16(0);
    w.i32(density.flattening);
  }
  {
    ByteWriter w(b[2]);
    w.i32(tip.radius100), w.i32(tip.aspect), w.i32(tip.angle);
  }
  {
    ByteWriter w(b[3]);
    w.i32(tip.minimum), w.i32(density.floor);
  }
  std::vector<uint8_t> settings;
  {
    ByteWriter w(settings);
    stroke.Write(w);
  }
  b[4].assign(settings.begin(), settings.begin() + 16);
  b[5].assign(settings.begin() + 16, settings.end());
  b[5].resize(16, 0);
  std::array<ParamBlockRecord, 6> out;
  for (size_t i = 0; i < 6; ++i) {
    out[i].code = {0, kPenSetSubs[i]};
    out[i].bytes = std::move(b[i]);
  }
  return out;
}

bool BrushPenSet::Take(const ParamBlockRecord& block) {
  const int32_t slot = block.code.kind == 0 ? PenSetSlot(block.code.sub) : -1;
  if (slot < 0 || block.bytes.size() < kPenSetLengths[size_t(slot)]) return false;
  ByteReader r(block.bytes.data(), block.bytes.size());
  switch (slot) {
    case 0: {
      head.mode = r.u8(), head.variant = r.u8(), head.pixelAligned = r.u8(), head.channel = r.u8();
      interpolation = r.u8();
      const uint8_t flags = r.u8();
      bitmapTip = flags & 1, hardEdge = flags & 2, pressureOpacity = flags & 4;
      density.curve = r.u8();
      head = SPenBrushHead::Clamped(head);
      break;
    }
    case 1:
      head.effect1 = r.u16(), head.effect2 = r.u16(), head.effect3 = r.u16();
      r.u16();
      density.flattening = r.i32();
      head = SPenBrushHead::Clamped(head);
      break;
    case 2:
      tip.radius100 = r.i32(), tip.aspect = r.i32(), tip.angle = r.i32();
      break;
    case 3:
      tip.minimum = r.i32(), density.floor = r.i32();
      break;
    case 4:
    case 5: {
      // The stroke settings are split over the last two blocks: rebuild them from both.
      std::vector<uint8_t> settings;
      {
        ByteWriter w(settings);
        stroke.Write(w);
      }
      const size_t at = slot == 4 ? 0 : 16, n = slot == 4 ? 16 : 8;
      std::copy(block.bytes.begin(), block.bytes.begin() + ptrdiff_t(n), settings.begin() + ptrdiff_t(at));
      ByteReader sr(settings.data(), settings.size());
      StrokeParams p;
      if (!p.Read(sr)) return false;
      stroke = p;
      break;
    }
    default:
      return false;
  }
  if (!r.ok()) return false;
  tip = PenTipParams::Clamped(tip);
  density = DensityProfile::Clamped(density);
  return true;
}

void BrushPenSet::ApplyTo(CPenRender& render, CStrokeMngr& mngr) const {
  render.SetBrushHead(head);
  render.SetTipParams(tip);
  render.SetDensityProfile(density);
  render.SetHardEdge(hardEdge);
  render.SetPressureOpacity(pressureOpacity);
  mngr.SetParams(stroke);
  mngr.SetInterpolationMode(interpolation);
}

bool CStrokeToolState::WriteToolState(CEventMngr& events) {
  FlagWordRecord switches;
  switches.code = {0, 13};
  switches.flags =
      uint16_t((stroke_.IfSize() ? 1 : 0) | (stroke_.IfTransparency() ? 2 : 0) | (stroke_.IfEdge() ? 4 : 0));
  MainPenRecord pen;
  pen.colour = stroke_.Colour() & 0x00FFFFFF;
  pen.penKind = uint8_t(stroke_.Kind());
  pen.opaque = stroke_.Opacity();
  PenSizeRecord size;
  size.width = stroke_.Width();
  size.min = stroke_.Min();
  PenValuesRecord values;
  values.effect = stroke_.Effect();
  values.env = stroke_.Env();
  values.speed = stroke_.Speed();
  values.gamma = stroke_.Gamma();
  values.spacing = stroke_.StoredSpacing();
  values.airMap = uint8_t(stroke_.AirMap());
  if (!(WriteState(events, switches) && WriteState(events, pen) && WriteState(events, size) &&
        WriteState(events, values)))
    return false;
  if (!render_ || !mngr_) return true;
  // The pen set, in its order: (0,48), (0,50), (0,52), (0,53), (0,56), (0,57), (0,58), (0,60).
  const std::array<ParamBlockRecord, 6> blocks = BrushPenSet::Of(*render_, *mngr_).Encode();
  PenColoursRecord colours;
  colours.mainColour = stroke_.Colour() & 0x00FFFFFF;
  colours.subColour = stroke_.Background() & 0x00FFFFFF;
  FlagWordRecord uses;
  uses.code = {0, 58};
  uses.flags = uint16_t((stroke_.UseGradation() ? 1 : 0) | (stroke_.UseTone() ? 2 : 0));
  return WriteState(events, blocks[0]) && WriteState(events, colours) && WriteState(events, blocks[1]) &&
         WriteState(events, blocks[2]) && WriteState(events, blocks[3]) && WriteState(events, blocks[4]) &&
         WriteState(events, uses) && WriteState(events, blocks[5]);
}

CReplayStrokeEngine::CReplayStrokeEngine(TPaper& paper, TFlowImage& flow)
    : renderer_(render_), mngr_(paper, flow, stroke_, renderer_), replay_(mngr_) {}

bool CReplayStrokeEngine::Replays(PacketCode start) const {
  // Screentones and gradations are not in the stream yet: a stroke that paints with them
  // would come out as plain colour.
  if (stroke_.UseTone() || stroke_.UseGradation()) return false;
  return !IsBrushStart(start) || (penSetBlocks_ == 0x3F && !penSet_.bitmapTip);
}

bool CReplayStrokeEngine::Begin(PacketCode start, int32_t layer, int32_t) {
  const StrokeEngine engine = IsBrushStart(start) ? StrokeEngine::kManager : StrokeEngine::kDabs;
  if (engine == StrokeEngine::kManager) penSet_.ApplyTo(render_, mngr_);
  return replay_.Start(engine, layer, IsShapeStart(start));
}

bool CReplayStrokeEngine::Sample(const PacketSample& s) { return replay_.Sample({s.x, s.y, s.pressure}); }

bool CReplayStrokeEngine::End() { return replay_.Finish(); }

bool CReplayStrokeEngine::State(const PacketView& p) {
  if (p.code.kind != 0) return true;
  switch (p.code.sub) {
    case 3: {
      ColourRecord r;
      if (Decode(p, r) != DecodeStatus::Ok) return false;
      stroke_.SetBackground(r.colour);
      return true;
    }
    case 12: {
      FlagWordRecord r;
      if (Decode(p, r) != DecodeStatus::Ok) return false;
      stroke_.SetUseTone((r.flags & 2) != 0);
      stroke_.SetUseGradation((r.flags & 8) != 0);
      return true;
    }
    case 13: {
      FlagWordRecord r;
      if (Decode(p, r) != DecodeStatus::Ok) return false;
      stroke_.SetIfSize((r.flags & 1) != 0);
      stroke_.SetIfTransparency((r.flags & 2) != 0);
      stroke_.SetIfEdge((r.flags & 4) != 0);
      return true;
    }
    case 16: {
      MainPenRecord r;
      if (Decode(p, r) != DecodeStatus::Ok) return false;
      stroke_.SetColour(r.colour);
      stroke_.SetKind(r.penKind);
      stroke_.SetOpacity(r.opaque);
      return true;
    }
    case 17: {
      PenSizeRecord r;
      if (Decode(p, r) != DecodeStatus::Ok) return false;
      stroke_.SetWidth(r.width);
      stroke_.SetMin(r.min);
      return true;
    }
    case 18: {
      PenValuesRecord r;
      if (Decode(p, r) != DecodeStatus::Ok) return false;
      stroke_.SetEffect(r.effect);
      stroke_.SetEnv(r.env);
      stroke_.SetSpeed(r.speed);
      stroke_.SetGamma(r.gamma);
      stroke_.SetSpacing(r.spacing);
      stroke_.SetAirMap(r.airMap);
      return true;
    }
    case 48:
    case 52:
    case 53:
    case 56:
    case 57:
    case 60: {
      ParamBlockRecord r;
      if (Decode(p, r) != DecodeStatus::Ok || !penSet_.Take(r)) return false;
      penSetBlocks_ |= uint8_t(1u << PenSetSlot(p.code.sub));
      return true;
    }
    default:
      return true;  // the rest belongs to the tools that use it
  }
}

}  // namespace tintara
