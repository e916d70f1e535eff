// The recorder: the paper's journal, turning each operation into its packet group in the
// paper's event stream, writing the tool state an operation starts from, and keeping the
// stream's groups in step with the undo history.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "document/PaperHost.h"
#include "events/EventMngr.h"
#include "events/EventRecords.h"

namespace tintara {

class TPaper;

inline constexpr const char* kEventStateFixedText = "イベント状態の問題を修正しました!";
inline constexpr const char* kEventProblemText = "イベント記録に問題が検出されました!";
inline constexpr const char* kEventUndoFailedText = "撤消事件失败!";
inline constexpr const char* kEventRedoFailedText = "重做事件失败!";
inline constexpr const char* kEventRecordingEndedText =
    "イベントを記録できなかったため、以降のイベント記録は停止します...";

// What the recorder reads of the tools when it writes their state. The stroke, gradation and
// tone managers supply it once they exist; the defaults describe tools never touched.
class IToolStateSource {
 public:
  virtual ~IToolStateSource() = default;
  virtual uint32_t SubColour() const { return 0x00FFFFFF; }
  virtual GradGeometryRecord GradationGeometry() const { return {}; }
  virtual GradModeRecord GradationMode() const { return {}; }
  virtual bool UseTone() const { return false; }
  virtual bool UseGradation() const { return false; }
  // The rest of the state a stroke, fill or filter depends on (pen records, tone and
  // pen-shape definitions), written through `write` without commit; false when a write failed.
  virtual bool WriteToolState(CEventMngr& events) { return true; }
};

class CPaperRecorder : public IPaperJournal {
 public:
  CPaperRecorder(TPaper& paper, CEventMngr& events, IToolStateSource* tools = nullptr);

  // A fresh stream for a new picture: the ring for the undo depth, one segment, (0,0).
  bool StartRecording(int32_t undoMax);
  // The start marker group: the base state, the time recording started, (2,254).
  bool RecordStart();
  // The end marker (2,255); the stream then records nothing more. Refused while a stroke
  // is being recorded.
  bool RecordStop();
  // Ends recording: the stream is emptied and stays idle.
  void StopAndClear();

  // Strokes: the start packet and the samples, the last block closes the group. A packet
  // that cannot be written ends the recording (the stroke is drawn all the same).
  bool StrokeBegin(int32_t layer, bool path, float pressure, float x, float y);
  bool StrokeSample(float pressure, float x, float y);
  bool StrokeEnd();

  // --- IPaperJournal --------------------------------------------------------------------
  void BeginOperation() override;
  void Operation(PaperOp op, int32_t layer, std::span<const int32_t> values) override;
  void BeforeUndoStep(bool redo, int32_t undoCount, int32_t redoCount) override;
  void AfterUndoStep(bool redo) override;
  void DroppedUndoStep(bool redo) override;
  bool ResizeUndoWindow(int32_t depth) override;
  void ClearUndoWindow() override;
  void ClearRedoWindow() override;

  // Encodes the packet of an operation as the paper now shows it; false when the operation
  // has no packet.
  bool EncodeOperation(PaperOp op, int32_t layer, std::span<const int32_t> values,
                       std::vector<uint8_t>& out) const;

  CEventMngr& Events() { return events_; }
  bool InStroke() const { return inStroke_; }

 private:
  // The base state an operation starts from, taken as it begins and written with its packet,
  // so that an operation that then fails writes nothing.
  struct BaseState {
    uint32_t paperColour = 0, subColour = 0;
    uint8_t canvasFlags = 0;
    GradGeometryRecord geometry;
    GradModeRecord mode;
    uint16_t activeLayer = 0xFFFF, activeMask = 0xFFFF, switches = 0;
  };
  BaseState Capture() const;
  bool WriteBaseState(const BaseState& s);
  bool WriteBaseState() { return WriteBaseState(Capture()); }
  bool WriteRecord(const auto& record, bool commit);
  // An operation is in the picture and its undo record pushed, but its group is not in the
  // stream: recording ends rather than drift from the history.
  void Abort();

  TPaper& paper_;
  CEventMngr& events_;
  IToolStateSource defaults_;
  IToolStateSource* tools_;
  BaseState begun_;
  bool hasBegun_ = false;
  // The stroke being recorded.
  bool inStroke_ = false;
  std::vector<PacketSample> samples_;
};

}  // namespace tintara
