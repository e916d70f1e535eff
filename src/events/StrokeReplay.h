// Strokes between the brush engine and the event stream: the pen state a stroke depends on
// as state records, the stroke manager's recorder calls into the recorder, and the replay
// stroke that draws a recorded stroke with a pen of its own (never the live pen).
#pragma once

#include <array>

#include "events/EventRecords.h"
#include "events/Player.h"
#include "events/Recorder.h"
#include "paint/PenRender.h"
#include "paint/Stroke.h"
#include "paint/StrokeMngr.h"

namespace tintara {

// The brush engine's settings as the six parameter blocks of the pen set:
//   (0,48)  8 bytes: brush mode, variant, pixel-aligned, channel, interpolation mode, flags
//                    (bit 0 a bitmap tip, bit 1 hard edge, bit 2 pressure changes opacity),
//                    density curve, 0
//   (0,52) 12 bytes: the three effects (uint16), 0 (uint16), density flattening (int32)
//   (0,53) 12 bytes: tip radius x 100, aspect, angle (int32)
//   (0,56)  8 bytes: tip minimum, density floor (int32)
//   (0,57) 16 bytes: the stroke settings' first 16 bytes
//   (0,60) 16 bytes: the stroke settings' last 8 bytes, 8 zero bytes
struct BrushPenSet {
  SPenBrushHead head;
  uint8_t interpolation = 1;
  bool bitmapTip = false, hardEdge = false, pressureOpacity = false;
  DensityProfile density;
  PenTipParams tip;
  StrokeParams stroke;

  static BrushPenSet Of(const CPenRender& render, const CStrokeMngr& mngr);
  std::array<ParamBlockRecord, 6> Encode() const;
  // Takes one block; false when the bytes are not one of the six.
  bool Take(const ParamBlockRecord& block);
  void ApplyTo(CPenRender& render, CStrokeMngr& mngr) const;
};

// The pen values a stroke depends on: the old pen kinds' records (0,13), (0,16), (0,17) and
// (0,18), then, with a renderer and a stroke manager, the brush engine's pen set ((0,48),
// (0,50), (0,52), (0,53), (0,56), (0,57), (0,58), (0,60)); the sub colour and the tone and
// gradation switches for the base set.
class CStrokeToolState : public IToolStateSource {
 public:
  explicit CStrokeToolState(const TStroke& stroke, const CPenRender* render = nullptr,
                            const CStrokeMngr* mngr = nullptr)
      : stroke_(stroke), render_(render), mngr_(mngr) {}
  uint32_t SubColour() const override { return stroke_.Background() & 0x00FFFFFF; }
  bool UseTone() const override { return stroke_.UseTone(); }
  bool UseGradation() const override { return stroke_.UseGradation(); }
  bool WriteToolState(CEventMngr& events) override;

 private:
  const TStroke& stroke_;
  const CPenRender* render_;
  const CStrokeMngr* mngr_;
};

// The stroke manager's recorder: every begin, sample and end goes to the paper's recorder.
class CStrokeRecorderLink : public IStrokeRecorder {
 public:
  explicit CStrokeRecorderLink(CPaperRecorder& recorder) : recorder_(recorder) {}
  bool Begin(int32_t layer, bool shape, StrokeEngine, float pressure, float x, float y) override {
    return recorder_.StrokeBegin(layer, shape, pressure, x, y);
  }
  bool Sample(float pressure, float x, float y) override { return recorder_.StrokeSample(pressure, x, y); }
  bool End() override { return recorder_.StrokeEnd(); }

 private:
  CPaperRecorder& recorder_;
};

// Replays the strokes of a stream onto the player's paper with its own stroke, renderer and
// stroke manager, from the recorded pen values. A brush-engine stroke needs the brush pen set
// before it; bitmap tips, screentones and gradations are not in the stream yet: such strokes
// are stepped over, so the replay is incomplete rather than wrong.
class CReplayStrokeEngine : public IReplayStroke {
 public:
  CReplayStrokeEngine(TPaper& paper, TFlowImage& flow);
  bool Replays(PacketCode start) const override;
  bool Begin(PacketCode start, int32_t layer, int32_t mask) override;
  bool Sample(const PacketSample& s) override;
  bool End() override;
  bool State(const PacketView& p) override;
  TStroke& Stroke() { return stroke_; }
  CPenRender& Render() { return render_; }

 private:
  TStroke stroke_;
  CPenRender render_;
  CStrokeRenderer renderer_;
  CStrokeMngr mngr_;
  CStrokeReplay replay_;
  BrushPenSet penSet_;
  uint8_t penSetBlocks_ = 0;  // one bit per block seen
};

}  // namespace tintara
