// Strokes between the brush engine and the event stream: the pen state a stroke depends on
// as state records, the stroke manager's recorder calls into the recorder, and the replay
// stroke that draws a recorded stroke with a pen of its own (never the live pen).
#pragma once

#include "events/Player.h"
#include "events/Recorder.h"
#include "paint/PenRender.h"
#include "paint/Stroke.h"
#include "paint/StrokeMngr.h"

namespace tintara {

// The pen values of the old pen kinds as the records (0,13), (0,16), (0,17) and (0,18); the
// sub colour and the tone and gradation switches for the base set.
class CStrokeToolState : public IToolStateSource {
 public:
  explicit CStrokeToolState(const TStroke& stroke) : stroke_(stroke) {}
  uint32_t SubColour() const override { return stroke_.Background() & 0x00FFFFFF; }
  bool UseTone() const override { return stroke_.UseTone(); }
  bool UseGradation() const override { return stroke_.UseGradation(); }
  bool WriteToolState(CEventMngr& events) override;

 private:
  const TStroke& stroke_;
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
// stroke manager. The old pen kinds replay from the recorded pen values; the brush engine's
// own settings are not in the stream yet, so its strokes are stepped over (the replay is then
// incomplete rather than wrong).
class CReplayStrokeEngine : public IReplayStroke {
 public:
  CReplayStrokeEngine(TPaper& paper, TFlowImage& flow);
  bool Replays(PacketCode start) const override;
  bool Begin(PacketCode start, int32_t layer, int32_t mask) override;
  bool Sample(const PacketSample& s) override;
  bool End() override;
  bool State(const PacketView& p) override;
  TStroke& Stroke() { return stroke_; }

 private:
  TStroke stroke_;
  CPenRender render_;
  CStrokeRenderer renderer_;
  CStrokeMngr mngr_;
  CStrokeReplay replay_;
};

}  // namespace tintara
