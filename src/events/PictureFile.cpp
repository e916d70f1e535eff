#include "events/PictureFile.h"

#include <new>

#include "document/Paper.h"
#include "events/EventFile.h"
#include "events/Packets.h"
#include "events/Player.h"
#include "events/Recorder.h"
#include "platform/Notify.h"

namespace tintara {

CPictureEvents::CPictureEvents(CPaperRecorder& recorder, bool record, int32_t undoMax)
    : recorder_(recorder), record_(record), undoMax_(undoMax) {}

int32_t CPictureEvents::SaveEvents(int32_t width, int32_t height, std::vector<uint8_t>& out) {
  return WritePackedEvents(recorder_.Events(), width, height, false, out);
}

int32_t CPictureEvents::LoadEvents(std::span<const uint8_t> blocks, size_t& used) {
  size_t pos = 0;
  const int32_t r = ReadEvents(blocks, pos, recorder_.Events());
  used = r == kEvOk ? pos : 0;
  return r;
}

void CPictureEvents::DiscardEvents() { recorder_.StopAndClear(); }

int32_t CPictureEvents::SaveSteps() const { return int32_t(recorder_.Events().SegmentCount()); }

void CPictureEvents::LoadFinished(bool eventsRead) {
  appending_ = false;
  if (!eventsRead || !record_) {
    // Without its history the picture cannot be replayed: it records nothing.
    recorder_.StopAndClear();
    return;
  }
  appending_ = EnterAppendModeWhole(recorder_, undoMax_);
}

namespace {

// The start of the last packet of the committed stream, when that packet is the end marker.
bool TrailingEndMarker(const CEventMngr& events, uint32_t& at) {
  std::vector<uint8_t> bytes;
  if (!events.CopyOut(events.CommittedLength(), bytes)) return false;
  size_t pos = 0, last = 0;
  PacketView p;
  bool any = false;
  while (pos < bytes.size() && ReadPacketAt(bytes, pos, p) == FrameStatus::Ok) {
    last = pos;
    any = true;
    pos = p.end();
  }
  if (!any || pos != bytes.size() || !(p.code == PacketCode{2, 255})) return false;
  at = uint32_t(last);
  return true;
}

}  // namespace

namespace {

// A stream that was protected when it was written refuses to be continued.
bool IsProtected(const CEventMngr& events) {
  if (events.protectedStream) return true;
  std::vector<uint8_t> bytes;
  if (!events.CopyOut(events.CommittedLength(), bytes)) return false;
  return MarkStateRecords(bytes, kProtectBit, false, true).found;
}

}  // namespace

bool EnterAppendModeWhole(CPaperRecorder& recorder, int32_t undoMax) {
  CEventMngr& events = recorder.Events();
  if (IsProtected(events)) {
    events.protectedStream = true;
    recorder.StopAndClear();
    return false;
  }
  bool ok = events.State() == EventState::kIdle || events.State() == EventState::kStopped ||
            events.State() == EventState::kReplaying;
  try {
    if (ok && events.RingCapacity() == 0) ok = events.SetupRing(CEventMngr::RingCapacityFor(undoMax));
    // Recording after an end marker would never be replayed.
    uint32_t marker = 0;
    if (ok && TrailingEndMarker(events, marker) && events.GroupCount() > 0)
      events.Truncate(marker, events.GroupCount() - 1);
    if (ok) {
      events.ClearRing();
      events.ForgetStateCopies();
      events.ToneIds().RemoveAll();
      events.NibIds().RemoveAll();
      events.SetState(EventState::kRecording);
      ok = recorder.RecordStart();
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (!ok) {
    ShowWarning(kAppendFailedText);
    recorder.StopAndClear();
  }
  return ok;
}

bool HasEventsToSave(CPaperRecorder* recorder) {
  return recorder && recorder->Events().Recording() && recorder->Events().CommittedLength() > 0;
}

NativeSaveResult SavePicture(const std::string& path, TPaper& paper, CPaperRecorder* recorder,
                             INativeProgress* progress) {
  const bool events = HasEventsToSave(recorder);
  const uint32_t contents = DefaultNativeContents(paper, events);
  if (!events) return SaveNativeFile(path, paper, contents, nullptr, progress);
  CPictureEvents glue(*recorder);
  return SaveNativeFile(path, paper, contents, &glue, progress);
}

NativeLoadResult LoadPicture(const std::string& path, TPaper& paper, TFlowImage& flow,
                             CPaperRecorder& recorder, bool record, bool* appending,
                             INativeProgress* progress) {
  CPictureEvents glue(recorder, record, paper.settings.undoMax);
  const NativeLoadResult r = LoadNativeFile(path, paper, flow, &glue, progress);
  if (appending) *appending = glue.Appending();
  return r;
}

}  // namespace tintara
