// Strokes: any pen settings and any samples (NaN, infinities and huge values included) drawn
// into a small paper by every engine must neither crash nor hang, must leave the other layer
// as it was, and must change the painted layer only inside the rectangle the stroke reports.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "paint/PenMethod.h"
#include "paint/StrokeMngr.h"

namespace {

using namespace tintara;

constexpr int32_t kW = 40, kH = 32;

struct Input {
  const uint8_t* p;
  size_t n;
  uint8_t u8() {
    if (!n) return 0;
    --n;
    return *p++;
  }
  int32_t i32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(u8()) << (8 * i);
    return int32_t(v);
  }
  float f32() {
    const uint32_t v = uint32_t(i32());
    float f;
    std::memcpy(&f, &v, sizeof f);
    return f;
  }
};

std::vector<uint32_t> Pixels(const CLayerData& l) {
  std::vector<uint32_t> out;
  for (int32_t y = 0; y < l.pixels->Height(); ++y)
    for (int32_t x = 0; x < l.pixels->Width(); ++x) out.push_back(l.pixels->GetPixel(x, y));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  TPaper paper;
  TFlowImage flow{paper};
  paper.SetLevel(in.u8() % 3);
  if (!paper.NewPaper("f", flow, false, false, 72, kH, kW)) return 0;
  if (paper.AddLayer(1, kW, true, 255, kModeNormal, kH) < 0) return 0;
  for (int32_t i = 0; i < 2; ++i) {
    CBlockVMTC& px = *paper.Layer(i)->pixels;
    for (int32_t y = 0; y < kH; ++y)
      for (int32_t x = 0; x < kW; ++x)
        px.SetPixel(x, y, uint32_t((x * 7 + y * 3 + i * 50) & 0xFF) << 24 | 0x406080u);
  }
  const int32_t active = in.u8() & 1;
  paper.ActivateLayer(flow, active);
  paper.Layer(active)->protectAlpha = in.u8() & 1;

  TStroke stroke;
  CPenRender render;
  CStrokeRenderer renderer{render};
  CStrokeMngr mngr{paper, flow, stroke, renderer};
  // The old pen settings through their setters, as the settings store hands them over.
  const int32_t kind = in.u8() % kPenKindCount;
  SetPenKindDefaults(stroke, kind, &render);
  stroke.SetKind(kind);
  const uint8_t flags = in.u8();
  stroke.SetIfSize(flags & 1);
  stroke.SetIfTransparency(flags & 2);
  stroke.SetIfEdge(flags & 4);
  stroke.noSmoothing = flags & 8;
  stroke.version = flags & 16 ? 0 : 2;
  stroke.SetWidth(in.f32());
  stroke.SetMin(in.f32());
  stroke.SetGamma(in.f32());
  stroke.SetEffect(in.f32());
  stroke.SetEnv(in.f32());
  stroke.SetSpeed(in.f32());
  stroke.SetSpacing(in.f32());
  stroke.SetOpacity(in.f32());
  stroke.SetAirMap(in.u8() % 5);
  stroke.SetColour(uint32_t(in.i32()));
  // A brush as a damaged record would carry it.
  PenMethodParams brush;
  brush.head.mode = in.u8();
  brush.head.variant = in.u8();
  brush.head.channel = in.u8() & 1;
  brush.head.pixelAligned = in.u8() & 1;
  brush.head.effect1 = uint16_t(in.i32());
  brush.stroke.pressureSize = in.u8();
  brush.stroke.pressureOpacity = in.u8();
  brush.stroke.opacity = in.i32();
  brush.stroke.gamma = in.i32();
  brush.stroke.spacing = in.i32();
  brush.stroke.fullDensity = in.i32() % 64;
  brush.stroke.subdivision = in.i32() % 64;
  brush = PenMethodParams::Clamped(brush);
  render.SetBrushHead(brush.head);
  render.SetPressureOpacity(brush.stroke.pressureOpacity != 0);
  mngr.SetParams(brush.stroke);
  PenTipParams tip;
  tip.radius100 = 10 + int32_t(in.u8()) * 20;  // up to about 51 pixels
  render.SetTipParams(tip);

  const std::vector<uint32_t> other = Pixels(*paper.Layer(1 - active));
  const std::vector<uint32_t> before = Pixels(*paper.Layer(active));
  const StrokeEngine engine = paper.Engine();
  std::vector<StrokeSample> samples;
  while (in.n >= 12 && samples.size() < 64) {
    StrokeSample s;
    s.x = in.f32();
    s.y = in.f32();
    s.pressure = in.f32();
    samples.push_back(s);
  }
  if (samples.empty()) return 0;
  if (!mngr.Begin(engine, samples[0], false)) return 0;
  for (size_t i = 1; i < samples.size(); ++i) mngr.Continue(samples[i], false);
  SPixRect r;
  const StrokeSample& last = samples.back();
  if (!mngr.PenUp(last.IsFinite() ? last.x : 0, last.IsFinite() ? last.y : 0, false, &r)) __builtin_trap();
  if (mngr.Running()) __builtin_trap();
  if (Pixels(*paper.Layer(1 - active)) != other) __builtin_trap();
  const std::vector<uint32_t> after = Pixels(*paper.Layer(active));
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x)
      if (after[size_t(y * kW + x)] != before[size_t(y * kW + x)] &&
          !(x >= r.x && x < r.Right() && y >= r.y && y < r.Bottom()))
        __builtin_trap();
  return 0;
}
