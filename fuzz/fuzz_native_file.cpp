// Picture files: any bytes are loaded as a .tci into a fresh paper that records, so the header,
// the layer and mask runs, the thumbnail and the embedded events are all read; the preview
// reader goes over the same bytes. Every size in the file is checked before it is trusted:
// nothing may touch memory it does not own or allocate what a field asks for unchecked.
#include <cstddef>
#include <cstdint>
#include <span>

#include "document/Paper.h"
#include "events/PictureFile.h"
#include "events/Recorder.h"
#include "files/BlockFile.h"
#include "files/NativeFile.h"
#include "pixel/DibCore.h"
#include "platform/Notify.h"

namespace {

class SilentSink final : public tintara::INotifySink {
 public:
  void Warning(std::string_view) override {}
  tintara::ConfirmAnswer Confirm(std::string_view, tintara::ConfirmButtons) override {
    return tintara::ConfirmAnswer::Ok;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentSink sink;
  tintara::SetNotifySink(&sink);
  const std::span<const uint8_t> bytes(data, size);
  tintara::MemorySource source(bytes);
  tintara::TMTC thumb;
  int32_t w = 0, h = 0;
  tintara::ReadThumbnailFrom(source, thumb, w, h);
  // The picture's own size makes its composite: kept small so that one input stays fast (the
  // layer and mask stores inside may still announce anything up to the limit).
  if (size >= 16) {
    const int64_t pw = int32_t(uint32_t(data[8]) | uint32_t(data[9]) << 8 | uint32_t(data[10]) << 16 |
                               uint32_t(data[11]) << 24);
    const int64_t ph = int32_t(uint32_t(data[12]) | uint32_t(data[13]) << 8 | uint32_t(data[14]) << 16 |
                               uint32_t(data[15]) << 24);
    if (pw * ph > 512 * 512) return 0;
  }
  tintara::TPaper paper;
  tintara::TFlowImage flow(paper);
  tintara::CEventMngr events;
  tintara::CPaperRecorder recorder(paper, events);
  recorder.StartRecording(8);
  paper.SetJournal(&recorder);
  tintara::CPictureEvents glue(recorder, true, 8);
  tintara::ReadNativeFile(source, paper, flow, &glue, "fuzz");
  paper.SetJournal(nullptr);
  return 0;
}
