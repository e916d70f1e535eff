// The player of version-1 streams (.zov): one packet per step, or one sample of the stroke
// in progress. Old streams are replayed onto a level-0 paper and never continued.
#pragma once

#include <cstdint>
#include <string>

#include "events/OldPackets.h"
#include "events/Player.h"
#include "pixel/PixelTypes.h"

namespace tintara {

class TFlowImage;
class TPaper;

// Draws the strokes of old streams; the legacy pen engine provides it. Without one, strokes
// are stepped over and the replay counts as incomplete.
class IOldReplayStroke {
 public:
  virtual ~IOldReplayStroke() = default;
  virtual bool Begin(const OldStrokeHead& head, int32_t penKind, const OldSample& first) = 0;
  virtual bool Sample(const OldSample& s) = 0;
  virtual bool End() = 0;
  // A straight line at pressure 1.
  virtual bool Line(const OldStrokeHead& head, int32_t penKind, OldPoint from, OldPoint to) = 0;
};

class CEventOldPlayer {
 public:
  CEventOldPlayer(TPaper& paper, TFlowImage& flow, TEventPacket& packets, IOldReplayStroke* stroke = nullptr);

  // Replays the first packet, which creates the paper. 0 on success; 1 when the stream
  // does not start a picture; 5 for a protected stream in a render run.
  int32_t Start(const std::string& title, bool render);
  StepResult Step();
  StepResult RunToEnd(int64_t stepBudget = -1);
  // Ends at once: the buffer is cut at the read position.
  void Stop();

  bool Ended() const { return ended_; }
  bool Failed() const { return failed_; }
  bool Protected() const { return protected_; }
  int32_t SkippedOperations() const { return skipped_; }
  bool Incomplete() const { return skipped_ > 0; }
  // Bytes read * 100 / the stream's length.
  int32_t ProgressPercent() const;

 private:
  // False: the packet could not be replayed; `skipped`: its operation does not exist here.
  bool Apply(const OldPacketView& p, bool& skipped);
  bool ApplyLayer(uint16_t code, int32_t layer);
  bool FillRect(int32_t layer, const SPixRect& paperRect, bool neutral, uint32_t colour);
  StepResult Finish(bool failed);

  TPaper& paper_;
  TFlowImage& flow_;
  TEventPacket& packets_;
  IOldReplayStroke* stroke_;
  size_t cursor_ = 0;
  int32_t skipped_ = 0;
  bool started_ = false, ended_ = false, failed_ = false, protected_ = false;
  // The stroke in progress: its samples after the first, one per step.
  bool inStroke_ = false, strokeSkipped_ = false;
  OldStrokeRecord strokeRecord_;
  size_t sampleAt_ = 0;
};

}  // namespace tintara
