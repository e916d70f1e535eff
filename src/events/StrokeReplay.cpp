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

}  // namespace

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
  return WriteState(events, switches) && WriteState(events, pen) && WriteState(events, size) &&
         WriteState(events, values);
}

CReplayStrokeEngine::CReplayStrokeEngine(TPaper& paper, TFlowImage& flow)
    : renderer_(render_), mngr_(paper, flow, stroke_, renderer_), replay_(mngr_) {}

bool CReplayStrokeEngine::Replays(PacketCode start) const { return !IsBrushStart(start); }

bool CReplayStrokeEngine::Begin(PacketCode start, int32_t layer, int32_t) {
  const StrokeEngine engine = IsBrushStart(start) ? StrokeEngine::kManager : StrokeEngine::kDabs;
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
    default:
      return true;  // the rest belongs to the tools that use it
  }
}

}  // namespace tintara
