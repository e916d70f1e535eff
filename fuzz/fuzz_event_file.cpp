// Event files: any bytes are read as a stored stream (the reader cross-checks every size
// before it allocates), and a stream that is accepted is replayed into a small paper with a
// bounded number of steps. Nothing may touch memory it does not own; a replay may fail but
// never crash.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "document/Paper.h"
#include "events/EventFile.h"
#include "events/Player.h"
#include "platform/Notify.h"

namespace {

class SilentSink final : public tintara::INotifySink {
 public:
  void Warning(std::string_view) override {}
  tintara::ConfirmAnswer Confirm(std::string_view, tintara::ConfirmButtons) override {
    return tintara::ConfirmAnswer::Ok;
  }
};

// Pictures of the fuzzed streams stay small, so one input never asks for gigabytes.
bool SmallPictures(std::span<const uint8_t> stream) {
  size_t at = 0;
  tintara::PacketView p;
  while (at < stream.size() && tintara::ReadPacketAt(stream, at, p) == tintara::FrameStatus::Ok) {
    if (p.code.kind == 2 && (p.code.sub == 0 || p.code.sub == 8 || p.code.sub == 2 || p.code.sub == 3)) {
      const size_t off = p.code.sub == 2 ? 2 : p.code.sub == 3 ? 2 : 0;
      if (p.length < off + 8) return false;
      for (size_t k = 0; k < 2; ++k) {
        const uint8_t* v = p.payload + off + 4 * k;
        const uint32_t n = uint32_t(v[0]) | uint32_t(v[1]) << 8 | uint32_t(v[2]) << 16 | uint32_t(v[3]) << 24;
        if (n > 64) return false;
      }
    }
    if (p.code.kind == 4 && p.code.sub == 6 && p.length >= 12) {
      // Layer positions far off the paper make merges build huge stores.
      for (size_t k = 0; k < 2; ++k) {
        const uint8_t* v = p.payload + 4 + 4 * k;
        const int32_t n = int32_t(uint32_t(v[0]) | uint32_t(v[1]) << 8 | uint32_t(v[2]) << 16 | uint32_t(v[3]) << 24);
        if (n < -256 || n > 256) return false;
      }
    }
    at = p.end();
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentSink sink;
  tintara::SetNotifySink(&sink);
  tintara::CEventMngr events;
  size_t pos = 0;
  if (tintara::ReadEvents(std::span<const uint8_t>(data, size), pos, events) != tintara::kEvOk) return 0;
  std::vector<uint8_t> stream;
  if (!events.CopyOut(events.CommittedLength(), stream) || !SmallPictures(stream)) return 0;
  tintara::TPaper paper;
  tintara::TFlowImage flow(paper);
  tintara::CEventPlayer player(paper, flow, events);
  if (player.Start("fuzz", false) != 0) return 0;
  player.RunToEnd(200);
  return 0;
}
