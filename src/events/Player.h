// The player: replays a picture's event stream onto a fresh paper, one operation per step,
// by calling the same paper operations the recording came from with recording off. At the
// end the paper can go on recording where the replayed stream ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "events/EventMngr.h"
#include "events/EventRecords.h"

namespace tintara {

class TPaper;
class TFlowImage;
class CPaperRecorder;

inline constexpr const char* kExtFlagsErrorText = "eventMngr::readAppStat: extFlags version error!";
inline constexpr const char* kAppendFailedText =
    "イベント追記モードに移行できませんでした!\r以降のイベントは記録されません...";
// The start failures by code 1..5.
const char* ReplayStartMessage(int32_t code);

enum class StepResult : int32_t { kContinued = 0, kIdle = 1, kEnded = 2, kFailed = 3 };

// Replays the strokes of a stream; the brush engine provides it. Without one, strokes are
// stepped over and the replay counts as incomplete.
class IReplayStroke {
 public:
  virtual ~IReplayStroke() = default;
  // False when strokes of this start code cannot be replayed by it: they are stepped over
  // and the replay counts as incomplete.
  virtual bool Replays(PacketCode start) const { return true; }
  virtual bool Begin(PacketCode start, int32_t layer, int32_t mask) = 0;
  virtual bool Sample(const PacketSample& s) = 0;
  virtual bool End() = 0;
  // A tool-state record the stroke keeps (pens, tones, gradation); false when it is bad.
  virtual bool State(const PacketView& p) { return true; }
};

class CEventPlayer {
 public:
  CEventPlayer(TPaper& paper, TFlowImage& flow, CEventMngr& events, IReplayStroke* stroke = nullptr);

  // Prepares the replay of the stream the manager holds and replays its first step, which
  // must create the paper. 0 on success, else the start failure code (1..5). `render`:
  // a protected stream is refused (5). Messages are the caller's (see ReplayStartMessage).
  int32_t Start(const std::string& title, bool render);
  // One step: the state records up to the next operation and that operation (a whole
  // stroke unless `slowSampling`, then one sample).
  StepResult Step(bool slowSampling = false);
  // Steps until the end, a failure or the step budget; returns the last result.
  StepResult RunToEnd(int64_t stepBudget = -1);
  void Pause() { paused_ = true; }
  void Resume() { paused_ = false; }
  bool Paused() const { return paused_; }
  bool Ended() const { return ended_; }
  bool Failed() const { return failed_; }
  bool InStroke() const { return inStroke_; }
  // Finishes the stroke in progress at once (a stop in the middle of a stroke).
  bool FinishStroke();

  // Operations the replay could not perform yet (their packets were stepped over).
  int32_t SkippedOperations() const { return skipped_; }
  bool Incomplete() const { return skipped_ > 0; }
  uint32_t ReplayedGroups() const { return replayedGroups_; }
  int32_t ProgressPercent() const;
  int32_t AppVersion() const { return appVersion_; }

  // Turns the replayed paper into a recording one: the stream is cut where replay ended,
  // a trailing end marker goes, recording continues through `recorder` (which writes a new
  // start marker). False (and the stream cleared) when the stream cannot be continued:
  // protected, incomplete, stalled, or ended by a marker inside a stroke.
  bool EnterAppendMode(CPaperRecorder& recorder);

 private:
  bool ApplyState(const PacketView& p);
  // False: the packet failed; `skipped`: its operation does not exist here.
  bool ApplyOperation(const PacketView& p, bool& skipped);
  bool StrokeStep(bool slowSampling);
  void GroupDone();
  bool ReadNext(PacketView& p);

  TPaper& paper_;
  TFlowImage& flow_;
  CEventMngr& events_;
  IReplayStroke* stroke_;
  std::vector<uint8_t> stream_;
  std::string title_;
  size_t cursor_ = 0, groupStart_ = 0, lastGroupEnd_ = 0;
  uint32_t replayedGroups_ = 0;
  int32_t appVersion_ = 200;
  int32_t skipped_ = 0;
  int32_t undoBefore_ = 0;
  bool paused_ = false, ended_ = false, failed_ = false, started_ = false, endMarker_ = false;
  // The end marker came inside a stroke (the stroke's group has no last block).
  bool cutStroke_ = false;
  // The stroke in progress.
  bool inStroke_ = false, strokeSkipped_ = false, lastBlock_ = false;
  std::vector<PacketSample> samples_;
  size_t sampleAt_ = 0;
};

}  // namespace tintara
