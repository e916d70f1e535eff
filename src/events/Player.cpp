#include "events/Player.h"

#include <cstdio>

#include "document/Paper.h"
#include "events/PasteReplay.h"
#include "events/Recorder.h"
#include "pixel/Random.h"
#include "platform/Debug.h"
#include "platform/Notify.h"

namespace tintara {

const char* ReplayStartMessage(int32_t code) {
  switch (code) {
    case 1:
      return "何らかのエラーによりイベント再生の開始に失敗しました!";
    case 2:
      return "ファイルエラーによりイベント再生の開始に失敗しました!";
    case 3:
      return "パケットチェックエラーによりイベント再生の開始に失敗しました!";
    case 4:
      return "バージョンエラーによりイベント再生の開始に失敗しました!";
    case 5:
      return "保護エラーによりイベント再生の開始に失敗しました!";
    default:
      return "";
  }
}

namespace {

bool IsStrokeStart(PacketCode c) {
  return (c.kind == 16 || (c.kind >= 20 && c.kind <= 24) || c.kind == 48 || c.kind == 49) && c.sub == 0;
}

void Skipped(PacketCode c) {
  char line[96];
  std::snprintf(line, sizeof line, "replay: no operation for packet (%d,%d) here; stepped over", c.kind,
                c.sub);
  DebugOut(line);
}

}  // namespace

CEventPlayer::CEventPlayer(TPaper& paper, TFlowImage& flow, CEventMngr& events, IReplayStroke* stroke)
    : paper_(paper), flow_(flow), events_(events), stroke_(stroke) {}

int32_t CEventPlayer::Start(const std::string& title, bool render) {
  title_ = title;
  if (events_.version > kEventFormatVersion) return 4;
  if (!events_.CopyOut(events_.CommittedLength(), stream_)) return 1;
  // The protect bit over the whole stream; a stream that cannot be walked is refused.
  const MarkResult mark = MarkStateRecords(stream_, kProtectBit, false, true);
  if (!mark.walked) return 3;
  if (mark.found && render) return 5;
  events_.protectedStream = events_.protectedStream || mark.found;
  // The ring follows the paper's undo depth, so that after append mode every undo step of
  // the replayed history has its group.
  if (!events_.SetupRing(CEventMngr::RingCapacityFor(paper_.settings.undoMax))) return 1;
  events_.ClearRing();
  events_.ToneIds().RemoveAll();
  events_.NibIds().RemoveAll();
  events_.SetState(EventState::kReplaying);
  cursor_ = groupStart_ = lastGroupEnd_ = 0;
  replayedGroups_ = 0;
  appVersion_ = 200;
  skipped_ = 0;
  paused_ = ended_ = failed_ = endMarker_ = inStroke_ = cutStroke_ = false;
  // The first step must create the paper.
  PacketView first;
  size_t at = 0;
  while (ReadPacketAt(stream_, at, first) == FrameStatus::Ok &&
         (first.code.kind == 0 || first.code.kind == 1))
    at = first.end();
  if (at >= stream_.size() || !(first.code == PacketCode{2, 8} || first.code == PacketCode{2, 0})) return 1;
  started_ = true;
  if (Step(false) != StepResult::kContinued && !ended_) return 1;
  return 0;
}

int32_t CEventPlayer::ProgressPercent() const {
  const uint32_t total = events_.GroupCount();
  return total == 0 ? 100 : int32_t(uint64_t(replayedGroups_) * 100 / total);
}

bool CEventPlayer::ReadNext(PacketView& p) {
  if (ReadPacketAt(stream_, cursor_, p) != FrameStatus::Ok) return false;
  cursor_ = p.end();
  return true;
}

void CEventPlayer::GroupDone() {
  // A replayed operation that left no undo record (a canvas change runs in place) cannot be
  // stepped back over: the history starts after it, in the lists and in the stream alike.
  const int32_t now = paper_.undo ? paper_.undo->UndoCount() : 0;
  if (paper_.undo && paper_.undo->CanUndo() && now == undoBefore_ && !endMarker_) {
    paper_.undo->ClearAll();
    events_.ClearRing();
  }
  events_.NoteGroup(uint32_t(groupStart_));
  ++replayedGroups_;
  groupStart_ = lastGroupEnd_ = cursor_;
}

StepResult CEventPlayer::Step(bool slowSampling) {
  if (!started_ || failed_) return StepResult::kFailed;
  if (ended_) return StepResult::kEnded;
  if (paused_) return StepResult::kIdle;
  const bool wasReplaying = paper_.replaying;
  IPaperJournal* journal = paper_.JournalSink();
  paper_.replaying = true;
  paper_.SetJournal(nullptr);
  StepResult result = StepResult::kContinued;
  auto done = [&](StepResult r) {
    paper_.replaying = wasReplaying;
    paper_.SetJournal(journal);
    if (r == StepResult::kFailed) failed_ = true;
    if (r == StepResult::kEnded) {
      ended_ = true;
      events_.SetState(EventState::kStopped);
    }
    return r;
  };
  if (inStroke_) {
    if (!StrokeStep(slowSampling)) return done(StepResult::kFailed);
    if (!inStroke_) GroupDone();
    return done(ended_ ? StepResult::kEnded : StepResult::kContinued);
  }
  undoBefore_ = paper_.undo ? paper_.undo->UndoCount() : 0;
  for (;;) {
    if (cursor_ >= stream_.size()) {
      // A stream without an end marker ends on its last packet boundary.
      return done(StepResult::kEnded);
    }
    PacketView p;
    if (!ReadNext(p)) return done(StepResult::kFailed);
    if (p.code.kind == 0 || p.code.kind == 1) {
      if (!ApplyState(p)) return done(StepResult::kFailed);
      continue;
    }
    if (IsStrokeStart(p.code)) {
      LayerArgRecord r;
      if (Decode(p, r) != DecodeStatus::Ok) return done(StepResult::kFailed);
      const bool replayable = stroke_ != nullptr && stroke_->Replays(p.code);
      strokeSkipped_ = !replayable || !stroke_->Begin(p.code, r.layer, r.arg);
      if (strokeSkipped_ && !replayable) {
        Skipped(p.code);
        ++skipped_;
      } else if (strokeSkipped_) {
        return done(StepResult::kFailed);
      }
      inStroke_ = true;
      lastBlock_ = false;
      samples_.clear();
      sampleAt_ = 0;
      if (!StrokeStep(slowSampling)) return done(StepResult::kFailed);
      if (!inStroke_) GroupDone();
      return done(ended_ ? StepResult::kEnded : result);
    }
    if (p.code == PacketCode{2, 255}) {
      endMarker_ = true;
      GroupDone();
      return done(StepResult::kEnded);
    }
    // Sample blocks belong to a stroke; one out of place means the stream lost its step.
    if (p.code.kind == 17 || p.code.kind == 18) return done(StepResult::kFailed);
    bool skipped = false;
    if (!ApplyOperation(p, skipped)) return done(StepResult::kFailed);
    if (skipped) {
      // An operation this build does not have is still checked: a packet that would not
      // replay anywhere fails here too.
      AnyRecord r;
      if (DecodeRecord(p, r) != DecodeStatus::Ok) return done(StepResult::kFailed);
      Skipped(p.code);
      ++skipped_;
    }
    GroupDone();
    return done(result);
  }
}

StepResult CEventPlayer::RunToEnd(int64_t stepBudget) {
  StepResult r = StepResult::kContinued;
  for (int64_t n = 0; stepBudget < 0 || n < stepBudget; ++n) {
    r = Step(false);
    if (r != StepResult::kContinued) break;
  }
  return r;
}

bool CEventPlayer::StrokeStep(bool slowSampling) {
  for (;;) {
    while (sampleAt_ < samples_.size()) {
      const PacketSample& s = samples_[sampleAt_++];
      if (!strokeSkipped_ && !stroke_->Sample(s)) return false;
      if (slowSampling && (sampleAt_ < samples_.size() || !lastBlock_)) return true;
    }
    if (lastBlock_) {
      inStroke_ = false;
      return strokeSkipped_ || stroke_->End();
    }
    PacketView p;
    if (!ReadNext(p)) return false;
    if (p.code == PacketCode{2, 255}) {
      // The recording stopped inside a stroke: it ends here. The stroke's group was never
      // closed, so the stream cannot be continued after it.
      inStroke_ = false;
      endMarker_ = true;
      ended_ = true;
      cutStroke_ = true;
      return strokeSkipped_ || stroke_->End();
    }
    if (p.code.kind != 17 && p.code.kind != 18) return false;
    SampleBlockRecord block;
    if (p.code.sub < 1 || p.code.sub > kMaxSamplesPerBlock || Decode(p, block) != DecodeStatus::Ok)
      return false;
    samples_ = std::move(block.samples);
    sampleAt_ = 0;
    lastBlock_ = p.code.kind == 18;
  }
}

bool CEventPlayer::FinishStroke() {
  while (inStroke_)
    if (!StrokeStep(false)) return false;
  GroupDone();
  return true;
}

// --- state records ----------------------------------------------------------------------------

bool CEventPlayer::ApplyState(const PacketView& p) {
  if (p.code.kind == 1) {
    InfoRecord info;
    return Decode(p, info) == DecodeStatus::Ok;  // the time record is kept by the file only
  }
  switch (p.code.sub) {
    case 0: {
      AppVersionRecord r;
      if (Decode(p, r) != DecodeStatus::Ok) return false;
      if (r.extFlags != 0) {
        DebugOut(kExtFlagsErrorText);
        return false;
      }
      appVersion_ = r.Version();
      return true;
    }
    case 2: {
      ColourRecord r;
      if (Decode(p, r) != DecodeStatus::Ok) return false;
      if ((paper_.paperColor & 0x00FFFFFF) != r.colour) paper_.SetPaperColor(r.colour, false);
      return true;
    }
    case 3: {
      ColourRecord r;
      if (Decode(p, r) != DecodeStatus::Ok) return false;
      const uint8_t colourOn = (r.flags & 1) ? 0 : 1, checker = (r.flags & 2) ? 1 : 0;
      if (paper_.paperColorOn != colourOn || paper_.showChecker != checker) {
        paper_.paperColorOn = colourOn;
        paper_.showChecker = checker;
        paper_.RecompositeAll(true);
      }
      return !stroke_ || stroke_->State(p);  // the sub colour is the stroke's
    }
    case 8: {
      LayerArgRecord r;
      if (Decode(p, r) != DecodeStatus::Ok) return false;
      if (r.layer != 0xFFFF) {
        if (!paper_.IsValidIndex(r.layer)) return false;
        if (r.layer != paper_.ActiveIndex()) paper_.ActivateLayer(flow_, r.layer);
      }
      if (r.arg != 0xFFFF) {
        if (!paper_.masks.At(r.arg)) return false;
        paper_.masks.Activate(r.arg);
      }
      return true;
    }
    case 12: {
      FlagWordRecord r;
      if (Decode(p, r) != DecodeStatus::Ok) return false;
      paper_.selectionEnabled = (r.flags & 1) ? 1 : 0;
      if (appVersion_ < 206)
        if (CLayerData* l = paper_.ActiveLayer()) l->protectAlpha = (r.flags & 4) ? 1 : 0;
      return !stroke_ || stroke_->State(p);
    }
    case 36:
    case 44: {
      // Definitions: the stroke re-creates them; the id map names what is defined.
      AnyRecord r;
      if (DecodeRecord(p, r) != DecodeStatus::Ok) return false;
      const uint32_t id = uint32_t(p.payload[0]) | uint32_t(p.payload[1]) << 8 |
                          uint32_t(p.payload[2]) << 16 | uint32_t(p.payload[3]) << 24;
      (p.code.sub == 36 ? events_.ToneIds() : events_.NibIds()).SetAt(id, uint32_t(p.offset));
      return !stroke_ || stroke_->State(p);
    }
    case 37:
    case 45: {
      AnyRecord r;
      if (DecodeRecord(p, r) != DecodeStatus::Ok) return false;
      const uint32_t id = uint32_t(p.payload[0]) | uint32_t(p.payload[1]) << 8 |
                          uint32_t(p.payload[2]) << 16 | uint32_t(p.payload[3]) << 24;
      // A selection naming a definition the stream never gave fails the packet.
      if (!(p.code.sub == 37 ? events_.ToneIds() : events_.NibIds()).Lookup(id, nullptr)) return false;
      return !stroke_ || stroke_->State(p);
    }
    default: {
      AnyRecord r;
      if (DecodeRecord(p, r) != DecodeStatus::Ok) return false;
      return !stroke_ || stroke_->State(p);
    }
  }
}

// --- operations --------------------------------------------------------------------------------

bool CEventPlayer::ApplyOperation(const PacketView& p, bool& skipped) {
  TPaper& P = paper_;
  TFlowImage& F = flow_;
  auto layerOk = [&](int32_t i) { return P.IsValidIndex(i); };
  auto maskOk = [&](int32_t i) { return P.masks.At(i) != nullptr; };
  const PacketCode c = p.code;
  switch (c.kind) {
    case 2: {
      switch (c.sub) {
        case 0: {
          PaperCreateOldRecord r;
          if (Decode(p, r) != DecodeStatus::Ok) return false;
          return P.NewPaper(title_, F, true, false, r.a > 0 ? r.a : 72, r.height, r.width);
        }
        case 8: {
          PaperCreateRecord r;
          if (Decode(p, r) != DecodeStatus::Ok) return false;
          return P.NewPaper(title_, F, r.flag1 != 0, r.flag2 != 0, r.a, r.height, r.width);
        }
        case 1: {
          PaperColourRecord r;
          if (Decode(p, r) != DecodeStatus::Ok) return false;
          P.SetPaperColor(r.colour & 0x00FFFFFF, true);
          return true;
        }
        case 2: {
          CanvasResizeRecord r;
          if (Decode(p, r) != DecodeStatus::Ok) return false;
          return P.ResizeCanvas(F, r.width, r.height, true, r.anchorY != 0, r.anchorX);
        }
        case 3: {
          ResizeRecord r;
          if (Decode(p, r) != DecodeStatus::Ok) return false;
          return P.ResampleImage(F, r.a, r.b, r.option);
        }
        case 6: {
          CropRecord r;
          if (Decode(p, r) != DecodeStatus::Ok || !layerOk(r.layer)) return false;
          return P.Crop(F, r.layer, true, {r.left, r.top, r.right - r.left, r.bottom - r.top});
        }
        case 7:  // older recordings: the flatten that drops transparency
          return P.FlattenVisible(F, false);
        case 10: {
          LayerArgsRecord r;
          if (Decode(p, r) != DecodeStatus::Ok) return false;
          return P.FlattenVisible(F, r.layer != 0);
        }
        case 16:
        case 17:
        case 18:
        case 19: {
          static constexpr int32_t kKind[] = {12, 13, 15, 14};
          return P.TransformVisible(F, kKind[c.sub - 16]);
        }
        case 24:
        case 25:
        case 26: {
          LayerArgRecord r;
          if (Decode(p, r) != DecodeStatus::Ok) return false;
          if (c.sub == 24) {
            P.ShowAll(r.layer != 0);
          } else if (c.sub == 25) {
            if (!layerOk(r.layer)) return false;
            P.ShowOnly(r.layer);
          } else {
            P.InvertVisibility();
          }
          return true;
        }
        case 254:
          events_.ToneIds().RemoveAll();
          events_.NibIds().RemoveAll();
          return true;
        default:
          skipped = true;
          return true;
      }
    }
    case 4: {
      switch (c.sub) {
        case 0: {
          AddLayerRecord r;
          if (Decode(p, r) != DecodeStatus::Ok) return false;
          const int32_t at = P.NewLayer(F, r.a, uint32_t(r.b), "");
          if (at < 0 || at != r.index) return false;
          if (r.flags & 2) P.Layer(at)->protectAlpha = 1;
          return true;
        }
        case 11: {
          AddNamedLayerRecord r;
          if (Decode(p, r) != DecodeStatus::Ok) return false;
          if (r.name.empty()) return false;
          const int32_t at = P.NewLayer(F, r.a, uint32_t(r.b), r.name);
          if (at < 0 || at != r.index) return false;
          if (r.flags & 2) P.Layer(at)->protectAlpha = 1;
          return true;
        }
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 24:
        case 25:
        case 32:
        case 33:
        case 34:
        case 35: {
          LayerArgRecord r;
          if (Decode(p, r) != DecodeStatus::Ok || !layerOk(r.layer)) return false;
          switch (c.sub) {
            case 1:
              return P.DeleteLayer(F, r.layer);
            case 2:
              return P.ClearLayer(F, r.layer);
            case 3:
              return P.DuplicateLayer(F, r.layer) >= 0;
            case 4:
              return P.MoveLayer(F, r.arg, r.layer) >= 0;
            case 5:
              return P.MergeDown(F, r.layer, false);
            case 24:
              return r.arg ? P.FillAlpha(F, r.layer) : P.ClearAlpha(F, r.layer);
            case 25:
              return P.InvertAlpha(F, r.layer);
            default: {
              static constexpr int32_t kKind[] = {7, 8, 10, 9};
              return P.TransformLayer(F, r.layer, kKind[c.sub - 32]);
            }
          }
        }
        case 10: {
          LayerArgValueRecord r;
          if (Decode(p, r) != DecodeStatus::Ok || !layerOk(r.layer)) return false;
          return P.MergeDown(F, r.layer, true);
        }
        case 6: {
          LayerArgsRecord r;
          if (Decode(p, r) != DecodeStatus::Ok || !layerOk(r.layer)) return false;
          return P.SetLayerPosition(F, r.layer, r.a, r.b);
        }
        case 7: {
          LayerOptionRecord r;
          if (Decode(p, r) != DecodeStatus::Ok || !layerOk(r.layer)) return false;
          if (r.option1 == 0) {
            skipped = true;
            return true;
          }
          return P.RemoveOutsidePaper(F, r.layer);
        }
        case 16:
        case 17:
        case 18:
        case 20: {
          LayerAttrRecord r;
          if (Decode(p, r) != DecodeStatus::Ok || !layerOk(r.layer)) return false;
          switch (c.sub) {
            case 16:
              return P.SetLayerMode(r.layer, r.blendMode);
            case 17:
              return P.SetLayerOpacity(r.layer, r.opacity);
            case 18:
              return P.SetLayerVisible(r.layer, (r.flags & 1) != 0);
            default:
              return P.SetLayerProtectAlpha(r.layer, (r.flags & 2) != 0);
          }
        }
        case 21: {
          LayerAttrDitherRecord r;
          if (Decode(p, r) != DecodeStatus::Ok || !layerOk(r.layer)) return false;
          Seed(P.Layer(r.layer)->random, uint32_t(r.value), 0, 255);
          return P.SetLayerDither(r.layer, (r.flags & 0x10) != 0, r.ditherAmount);
        }
        case 19: {
          IndexTextRecord r;
          if (Decode(p, r) != DecodeStatus::Ok || !layerOk(r.index)) return false;
          return P.SetLayerName(r.index, r.text);
        }
        default:
          skipped = true;
          return true;
      }
    }
    case 5: {
      if (c.sub == 0 || c.sub == 1) {
        GroupMembershipRecord r;
        if (Decode(p, r) != DecodeStatus::Ok || !layerOk(r.layer)) return false;
        return c.sub == 0 ? P.GroupIn(F, r.layer) : P.GroupOut(F, r.layer);
      }
      if (c.sub == 8 || (c.sub >= 11 && c.sub <= 13)) {
        LayerArgsRecord r;
        if (Decode(p, r) != DecodeStatus::Ok || !layerOk(r.layer)) return false;
        switch (c.sub) {
          case 8:
            return P.DeleteGroup(F, r.layer);
          case 11:
            return P.MoveGroup(F, r.arg, r.layer) >= 0;
          case 12:
            return P.MergeGroup(F, r.layer);
          default:
            return P.DissolveGroup(F, r.layer);
        }
      }
      skipped = true;
      return true;
    }
    case 6: {
      // The selection fills; the shape, gradation and polygon fills belong to the tools.
      if (c.sub != 0 && c.sub != 5) {
        skipped = true;
        return true;
      }
      FillRecord r;
      if (Decode(p, r) != DecodeStatus::Ok || !layerOk(r.layer)) return false;
      const uint32_t colour = r.value & 0x00FFFFFF;
      return c.sub == 0 ? P.FillSelection(F, r.layer, colour) : P.DeleteSelection(F, r.layer, colour);
    }
    case 10: {
      switch (c.sub) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
        case 5: {
          LayerArgRecord r;
          if (Decode(p, r) != DecodeStatus::Ok) return false;
          if (c.sub == 0) return P.NewSelectionMask(r.arg) >= 0;
          if (c.sub == 4) return maskOk(r.arg) && P.DuplicateMask(r.arg) >= 0;
          if (!maskOk(r.arg)) return false;
          switch (c.sub) {
            case 1:
              return P.RemoveSelectionMask(r.arg);
            case 2:
              return P.ClearSelection(r.arg);
            case 3:
              return P.InvertSelection(r.arg);
            default:
              return P.ActivateMask(r.arg);
          }
        }
        case 7:
        case 8:
        case 9:
        case 13:
        case 14:
        case 22: {
          LayerArgsRecord r;
          if (Decode(p, r) != DecodeStatus::Ok) return false;
          switch (c.sub) {
            case 7:
              return maskOk(r.arg) && P.MoveMask(r.arg, r.a);
            case 8:
              return maskOk(r.arg) && P.MoveSelection(r.arg, r.a, r.b);
            case 9:
              return maskOk(r.arg) && maskOk(r.a) && r.b >= 0 && r.b <= 3 &&
                     P.CombineMasks(r.arg, r.a, CombineMode(r.b));
            case 13:
              return P.SetSelectionVisible(r.b != 0);
            case 14:
              return P.SetSelectionEnabled((uint32_t(r.b) >> 16) != 0);
            default:
              return layerOk(r.layer) && P.SelectionFromLayer(r.layer, r.a != 0, r.b != 0) >= 0;
          }
        }
        case 12: {
          IndexTextRecord r;
          if (Decode(p, r) != DecodeStatus::Ok || !maskOk(r.index)) return false;
          return P.RenameMask(r.index, r.text);
        }
        case 16: {
          ShapeSelectionRecord r;
          if (Decode(p, r) != DecodeStatus::Ok || !maskOk(r.mask) || r.mode > 3) return false;
          return P.SelectRect(r.mask, {r.from.x, r.from.y, r.to.x - r.from.x, r.to.y - r.from.y},
                              CombineMode(r.mode));
        }
        default:
          skipped = true;
          return true;
      }
    }
    case 12: {
      // Pastes carry their own pixels.
      PasteRecord r;
      if (Decode(p, r) != DecodeStatus::Ok) return false;
      return ReplayPaste(P, F, r);
    }
    default:
      // Mask drawings, filters: validated by the walk, stepped over here.
      skipped = true;
      return true;
  }
}

// --- append mode ---------------------------------------------------------------------------------

bool CEventPlayer::EnterAppendMode(CPaperRecorder& recorder) {
  const bool can = !events_.protectedStream && !Incomplete() && !failed_ && !cutStroke_ &&
                   (events_.State() == EventState::kReplaying || events_.State() == EventState::kStopped);
  if (!can) {
    if (!events_.protectedStream) ShowWarning(kAppendFailedText);
    recorder.StopAndClear();
    return false;
  }
  if (inStroke_) FinishStroke();
  // Everything after the point where replay ended is dropped.
  events_.Truncate(uint32_t(lastGroupEnd_), replayedGroups_);
  if (endMarker_) events_.DropLastGroup();
  events_.ForgetStateCopies();
  events_.ToneIds().RemoveAll();
  events_.NibIds().RemoveAll();
  events_.SetState(EventState::kRecording);
  started_ = false;
  if (!recorder.RecordStart()) return false;
  // The new start marker is no step of the replayed undo history: undoing the last replayed
  // operation takes the marker with it, so the stream stays one group per undo record.
  events_.JoinLastGroup();
  return true;
}

}  // namespace tintara
