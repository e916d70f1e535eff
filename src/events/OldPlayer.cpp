#include "events/OldPlayer.h"

#include <algorithm>

#include "document/BlendModes.h"
#include "document/Paper.h"
#include "platform/Debug.h"

namespace tintara {

namespace {

// The whole-layer transforms of the old codes, as the paper numbers them.
int32_t LayerTransformKind(uint16_t code) {
  switch (code) {
    case 288:
      return 8;  // top to bottom
    case 289:
      return 7;  // left to right
    case 290:
      return 10;  // half a turn
    default:
      return 9;  // 291: negative
  }
}

int32_t VisibleTransformKind(uint16_t code) {
  switch (code) {
    case 528:
      return 13;
    case 529:
      return 12;
    case 530:
      return 15;
    default:
      return 14;  // 531
  }
}

}  // namespace

CEventOldPlayer::CEventOldPlayer(TPaper& paper, TFlowImage& flow, TEventPacket& packets,
                                 IOldReplayStroke* stroke)
    : paper_(paper), flow_(flow), packets_(packets), stroke_(stroke) {}

int32_t CEventOldPlayer::Start(const std::string& title, bool render) {
  // The buffer holds a checked stream; checking it again tells whether it is protected.
  OldStreamInfo info;
  if (!CheckOldStream(packets_.Bytes(), &info)) return 1;
  protected_ = info.isProtected;
  if (protected_ && render) return 5;
  // Old streams cannot be continued: the paper replays them unrecorded, at level 0.
  paper_.SetJournal(nullptr);
  paper_.SetLevel(0);
  paper_.title = title;
  cursor_ = 0;
  skipped_ = 0;
  ended_ = failed_ = inStroke_ = false;
  started_ = true;
  const StepResult first = Step();
  if (first == StepResult::kFailed || paper_.LayerCount() == 0) return 1;
  return 0;
}

int32_t CEventOldPlayer::ProgressPercent() const {
  const size_t total = packets_.Bytes().size();
  return total == 0 ? 100 : int32_t(uint64_t(std::min(cursor_, total)) * 100 / total);
}

StepResult CEventOldPlayer::Finish(bool failed) {
  if (inStroke_ && !strokeSkipped_ && stroke_) stroke_->End();
  inStroke_ = false;
  ended_ = true;
  failed_ = failed;
  paper_.replaying = false;
  return failed ? StepResult::kFailed : StepResult::kEnded;
}

void CEventOldPlayer::Stop() {
  if (ended_ || !started_) return;
  // What comes after the read position is dropped with the replay.
  std::vector<uint8_t> kept(packets_.Bytes().begin(),
                            packets_.Bytes().begin() + std::min(cursor_, packets_.Bytes().size()));
  kept.push_back(uint8_t(kOldEndCode & 0xFF));
  kept.push_back(uint8_t(kOldEndCode >> 8));
  if (!packets_.Check(kept)) packets_.Reset();
  Finish(false);
}

StepResult CEventOldPlayer::Step() {
  if (!started_ || ended_) return failed_ ? StepResult::kFailed : StepResult::kEnded;
  paper_.replaying = true;
  // One sample of the stroke in progress.
  if (inStroke_) {
    if (sampleAt_ < strokeRecord_.samples.size()) {
      if (!strokeSkipped_ && stroke_ && !stroke_->Sample(strokeRecord_.samples[sampleAt_]))
        return Finish(true);
      ++sampleAt_;
      return StepResult::kContinued;
    }
    inStroke_ = false;
    if (!strokeSkipped_ && stroke_ && !stroke_->End()) return Finish(true);
  }
  const std::span<const uint8_t> bytes = packets_.Bytes();
  OldPacketView p;
  // Markers carry no operation: a step always replays something.
  do {
    if (cursor_ >= bytes.size()) return Finish(false);
    if (ReadOldPacketAt(bytes, cursor_, p) != FrameStatus::Ok) return Finish(true);
    cursor_ = p.end();
  } while (IsOldMarker(p.code));
  if (p.code == kOldEndCode) return Finish(false);
  bool skipped = false;
  if (!Apply(p, skipped)) {
    DebugOutF("old replay: code %u at %zu could not be replayed", unsigned(p.code), p.offset);
    return Finish(true);
  }
  if (skipped) {
    ++skipped_;
    DebugOutF("old replay: code %u is not replayed by this build", unsigned(p.code));
  }
  return StepResult::kContinued;
}

StepResult CEventOldPlayer::RunToEnd(int64_t stepBudget) {
  StepResult r = StepResult::kContinued;
  for (int64_t n = 0; stepBudget < 0 || n < stepBudget; ++n) {
    r = Step();
    if (r != StepResult::kContinued) break;
  }
  return r;
}

bool CEventOldPlayer::FillRect(int32_t layer, const SPixRect& paperRect, bool neutral, uint32_t colour) {
  CLayerData* l = paper_.Layer(layer);
  if (!l || !l->pixels) return false;
  const SPixRect store = Intersect(paper_.ToLayer(layer, paperRect), l->pixels->Bounds());
  if (store.IsEmpty()) return true;
  paper_.BeginEdit(layer, ToTRect(store));
  const uint32_t value = 0xFF000000u | ((neutral ? NeutralColor(l->Mode()) : colour) & 0x00FFFFFFu);
  if (!l->pixels->MaskedSet(store, 0xFFFFFFFFu, value)) return false;
  paper_.FinishWholeLayerEdit(flow_, layer);
  return true;
}

bool CEventOldPlayer::ApplyLayer(uint16_t code, int32_t layer) {
  TPaper& p = paper_;
  switch (code) {
    case 257:
      return p.DeleteLayer(flow_, layer);
    case 259: {
      const int32_t copy = p.DuplicateLayer(flow_, p.ActiveIndex());
      if (copy < 0) return false;
      if (copy != p.TopIndex() && p.MoveLayer(flow_, p.TopIndex(), copy) < 0) return false;
      return p.ActivateLayer(flow_, p.TopIndex());
    }
    case 261:
      return p.MergeDown(flow_, layer, true);
    case 272:
      return p.UndoLayerStep(flow_, layer) || p.IsValidIndex(layer);  // nothing to undo is no fault
    case 273:
      return p.ActivateLayer(flow_, layer);
    case 277: {
      if (!p.IsValidIndex(layer)) return false;
      const bool visible = p.Layer(layer)->visible;
      for (int32_t i = 0; i < p.LayerCount(); ++i)
        if (i != layer) p.SetLayerVisible(i, visible);
      p.SetLayerVisible(layer, !visible);
      p.RecompositeAll(true);
      return true;
    }
    case 288:
    case 289:
    case 290:
    case 291:
      return p.TransformLayer(flow_, layer, LayerTransformKind(code));
    case 292:
      return FillRect(layer, {0, 0, p.width, p.height}, true, 0);
    case 519:
      return p.ClearLayerUndo(layer);
    default:
      return false;
  }
}

bool CEventOldPlayer::Apply(const OldPacketView& packet, bool& skipped) {
  OldRecord record;
  if (DecodeOldRecord(packet, record) != DecodeStatus::Ok) return false;
  TPaper& p = paper_;
  const uint16_t code = packet.code;
  // The first packet creates the paper; on a picture that exists it is passed over.
  if (code == 512 || (code == 520 && p.LayerCount() == 0)) {
    if (p.LayerCount() > 0) return true;
    const auto& r = std::get<OldPaperSizeRecord>(record);
    return p.NewPaper(p.title, flow_, false, false, 96, r.height, r.width);
  }
  if (p.LayerCount() == 0) return false;
  if (auto* r = std::get_if<OldStrokeRecord>(&record)) {
    strokeRecord_ = std::move(*r);
    sampleAt_ = 1;
    inStroke_ = true;
    strokeSkipped_ = stroke_ == nullptr;
    if (strokeSkipped_) {
      skipped = true;
      return true;
    }
    return stroke_->Begin(strokeRecord_.head, strokeRecord_.code, strokeRecord_.samples.front());
  }
  if (auto* r = std::get_if<OldLineRecord>(&record)) {
    if (!stroke_) {
      skipped = true;
      return true;
    }
    return stroke_->Line(r->head, r->penKind, r->from, r->to);
  }
  if (auto* r = std::get_if<OldLayerRecord>(&record)) {
    if (code == 256) {
      if (!p.ActivateLayer(flow_, p.TopIndex())) return false;
      return p.NewLayer(flow_, r->layer, NeutralColor(r->layer), "") >= 0;
    }
    return ApplyLayer(code, r->layer);
  }
  if (auto* r = std::get_if<OldLayerValueRecord>(&record)) {
    if (!p.IsValidIndex(r->layer)) return false;
    switch (code) {
      case 260:
        return r->value == r->layer || p.MoveLayer(flow_, r->value, r->layer) >= 0;
      case 274:
        p.SetLayerVisible(r->layer, r->value == 1);
        break;
      case 275:
        p.SetLayerOpacity(r->layer, r->value);
        break;
      default:
        p.SetLayerMode(r->layer, r->value);
        break;
    }
    // An attribute that already had the value changes nothing, and that is no fault.
    p.RecompositeAll(true);
    return true;
  }
  if (auto* r = std::get_if<OldLayerColourRecord>(&record))
    return FillRect(r->layer, {0, 0, p.width, p.height}, false, r->colour);
  if (auto* r = std::get_if<OldRectRecord>(&record)) {
    const SPixRect rect{std::min(r->left, r->right), std::min(r->top, r->bottom),
                        std::abs(int32_t(r->right) - r->left), std::abs(int32_t(r->bottom) - r->top)};
    return FillRect(r->layer, rect, code == 295, r->colour);
  }
  if (auto* r = std::get_if<OldPaperSizeRecord>(&record)) {
    if (code == 514) return p.ResizeCanvas(flow_, r->width, r->height, false, false, r->anchor);
    return p.ResampleImage(flow_, r->width, r->height, 0);
  }
  if (auto* r = std::get_if<OldPaperColourRecord>(&record)) {
    p.SetPaperColor(r->colour, false);
    return true;
  }
  switch (code) {
    case 518:
      p.ClearUndo();
      return true;
    case 528:
    case 529:
    case 530:
    case 531:
      return p.TransformVisible(flow_, VisibleTransformKind(code));
    default:
      break;
  }
  // Moving a layer's contents, merging the visible layers, the polygon tools and turning
  // the whole picture are not replayed by this build.
  skipped = true;
  return true;
}

}  // namespace tintara
