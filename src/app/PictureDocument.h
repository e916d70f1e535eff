// One open picture as a drawing window holds it, without the window: the paper and its flow
// image, the event stream with its recorder, and the replay of an event file. The Qt window
// (TDrawWindow) owns one and shows its paper; everything here runs without a display.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "document/Paper.h"
#include "events/EventMngr.h"
#include "events/OldPackets.h"
#include "events/OldPlayer.h"
#include "events/Player.h"
#include "events/Recorder.h"
#include "events/StrokeReplay.h"
#include "files/GraphicsLib.h"
#include "files/NativeFile.h"
#include "paint/Stroke.h"

namespace tintara {

// The user's pen: the stroke settings and colours, the brush engine's renderer, and the stroke
// manager settings every picture draws with. The main window keeps one for all its pictures;
// a document made without one has a pen of its own.
struct CLivePen {
  TStroke stroke;
  CPenRender render;
  CStrokeRenderer renderer{render};
  StrokeParams params;
  uint8_t interpolation = 1;
};

// What a replay step came to, for the window's timer.
enum class ReplayTick { kIdle, kRunning, kEnded, kFailed };

class CPictureDocument {
 public:
  CPictureDocument(IPaperHost* host, const PaperSettings& settings, CLivePen* pen = nullptr);
  ~CPictureDocument();
  CPictureDocument(const CPictureDocument&) = delete;
  CPictureDocument& operator=(const CPictureDocument&) = delete;

  TPaper& Paper() { return paper_; }
  const TPaper& Paper() const { return paper_; }
  TFlowImage& Flow() { return flow_; }
  CPaperRecorder& Recorder() { return recorder_; }
  CEventMngr& Events() { return events_; }
  TStroke& Stroke() { return pen_.stroke; }
  CLivePen& Pen() { return pen_; }
  // The live strokes of this picture, recorded through its recorder.
  CStrokeMngr& Strokes() { return strokes_; }

  // --- live strokes (paper coordinates) ------------------------------------------------------
  // A pointer sample of the pen: begins a stroke when none runs, else continues it (samples
  // too close to the last one are dropped). Nothing happens while replaying.
  PointerResult StrokeSample(const StrokeSample& s, double zoomFactor, int32_t zoomStep);
  // Pen-up at (x, y): the last sample and the end of the stroke. False when none ran.
  bool StrokeUp(float x, float y);
  bool StrokeRunning() const { return strokes_.Running(); }

  // --- setting up (each on a fresh document, once) ---------------------------------------
  // A blank picture that records from its first operation.
  bool NewPicture(const std::string& title, int32_t width, int32_t height, int32_t dpi, bool transparent);
  // A picture file; it records on after its events when it carries them.
  NativeLoadResult OpenNative(const std::string& path);
  // A flat image read through the graphics library into layer 0. A picture made this way
  // does not record: no replay could draw its pixels.
  GfxResult OpenImage(const std::string& path);
  // Loads an event file and replays its first step: 0, or the start failure code (1..5).
  int32_t StartReplay(const std::string& path, bool batch);
  // A first-generation event file (.zov): replayed through its own player; the picture does
  // not record afterwards. 0, 2 (unreadable), or the player's start code.
  int32_t StartOldReplay(const std::string& path, bool batch);
  bool OldReplay() const { return oldPlayer_ != nullptr; }
  // Loads an event file (a first-generation one when `old`) and replays all of it at once:
  // 0, the start failure code, 6 when a step failed, or -1 when the stream needs operations
  // this build cannot replay.
  int32_t ReplayToEnd(const std::string& path, bool old);

  // --- the replay --------------------------------------------------------------------------
  bool Replaying() const { return (player_ != nullptr || oldPlayer_ != nullptr) && !replayDone_; }
  bool ReplayPaused() const { return player_ && player_->Paused(); }
  void PauseReplay();
  void ResumeReplay();
  // Ends the replay where it stands; the picture goes on recording from there when it can.
  void StopReplay();
  // Runs replay steps for about `budgetMs` milliseconds (at least one step).
  ReplayTick StepReplay(int32_t budgetMs);
  // After the replay: whether the picture went on recording after the replayed stream.
  bool Appending() const { return appending_; }
  int32_t ReplayProgress() const { return player_ ? player_->ProgressPercent() : 100; }

  // --- saving ------------------------------------------------------------------------------
  NativeSaveResult SaveNative(const std::string& path);
  // The composite as the window shows it, over white where the paper is transparent, with
  // the picture's resolution; the paper and its grid are as before afterwards.
  GfxResult SaveFlat(const std::string& path, int32_t kind, const JpegOptions* jpeg);
  // One layer copied out of its store at the paper's size.
  GfxResult SaveLayer(const std::string& path, int32_t layer, bool png);
  int32_t SaveEvents(const std::string& path, bool guarded);

  // --- state the window and the commands read ------------------------------------------------
  bool modified = false;
  std::string path;     // the file the picture came from or was saved to ("" when untitled)
  bool titled = false;  // the title is a file's path, not the untitled name
  bool FromProtectedStream() const { return paper_.protectedReplay != 0 || events_.protectedStream; }
  // The recorder records and holds something to save.
  bool HasEvents() const;

 private:
  // The recorder as the paper's journal, marking the picture modified by every operation.
  class Journal : public IPaperJournal {
   public:
    explicit Journal(CPictureDocument& doc) : doc_(doc) {}
    void BeginOperation() override { doc_.recorder_.BeginOperation(); }
    void Operation(PaperOp op, int32_t layer, std::span<const int32_t> values) override {
      doc_.modified = true;
      doc_.recorder_.Operation(op, layer, values);
    }
    void BeforeUndoStep(bool redo, int32_t u, int32_t r) override {
      doc_.recorder_.BeforeUndoStep(redo, u, r);
    }
    void AfterUndoStep(bool redo) override {
      doc_.modified = true;
      doc_.recorder_.AfterUndoStep(redo);
    }
    void DroppedUndoStep(bool redo) override { doc_.recorder_.DroppedUndoStep(redo); }
    bool ResizeUndoWindow(int32_t depth) override { return doc_.recorder_.ResizeUndoWindow(depth); }
    void ClearUndoWindow() override { doc_.recorder_.ClearUndoWindow(); }
    void ClearRedoWindow() override { doc_.recorder_.ClearRedoWindow(); }

   private:
    CPictureDocument& doc_;
  };

  void FinishReplay();

  TPaper paper_;
  TFlowImage flow_{paper_};
  CEventMngr events_;
  std::unique_ptr<CLivePen> ownPen_;
  CLivePen& pen_;
  CStrokeMngr strokes_{paper_, flow_, pen_.stroke, pen_.renderer};
  CStrokeToolState tools_{pen_.stroke, &pen_.render, &strokes_};
  CPaperRecorder recorder_{paper_, events_, &tools_};
  CStrokeRecorderLink strokeLink_{recorder_};
  Journal journal_{*this};
  std::unique_ptr<CReplayStrokeEngine> replayStrokes_;
  std::unique_ptr<CEventPlayer> player_;
  TEventPacket oldPackets_;
  std::unique_ptr<CEventOldPlayer> oldPlayer_;
  bool replayDone_ = false;
  bool appending_ = false;
};

}  // namespace tintara
