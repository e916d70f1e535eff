// Version-1 event streams: the check must refuse or accept any byte string without
// touching memory it does not own; an accepted stream decodes packet by packet (each record
// surviving another trip through the encoder and decoder), and saving it (with markers when
// it is long enough) gives a stream that checks again.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "events/OldPackets.h"
#include "platform/Clock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static tintara::ManualClock clock;  // marker order from a fixed seed: runs repeat
  tintara::TEventPacket ep;
  tintara::OldStreamInfo info;
  if (!ep.Check(std::span<const uint8_t>(data, size), &info)) return 0;

  const std::span<const uint8_t> stream = ep.Bytes();
  size_t offset = 0;
  tintara::OldPacketView p;
  while (offset < stream.size() && tintara::ReadOldPacketAt(stream, offset, p) == tintara::FrameStatus::Ok) {
    tintara::OldRecord rec;
    if (tintara::DecodeOldRecord(p, rec) == tintara::DecodeStatus::Ok) {
      // Blend modes and pen kinds come back clamped, so the packet's bytes may differ: the
      // record must re-encode to a packet of the same size that decodes to itself.
      std::vector<uint8_t> bytes;
      if (!tintara::EncodeOldRecord(rec, bytes) || bytes.size() != p.end() - p.offset) __builtin_trap();
      tintara::OldPacketView q;
      tintara::OldRecord again;
      if (tintara::ReadOldPacketAt(bytes, 0, q) != tintara::FrameStatus::Ok ||
          tintara::DecodeOldRecord(q, again) != tintara::DecodeStatus::Ok || !(again == rec))
        __builtin_trap();
    }
    offset = p.end();
  }
  if (offset != stream.size()) __builtin_trap();

  for (bool protect : {false, true}) {
    std::vector<uint8_t> saved;
    if (!ep.Serialize(protect, saved)) {
      if (!protect || info.packets >= tintara::TEventPacket::kMinProtectedPackets) __builtin_trap();
      continue;
    }
    tintara::TEventPacket back;
    tintara::OldStreamInfo again;
    if (!back.Check(saved, &again) || again.isProtected != protect || again.packets != info.packets)
      __builtin_trap();
  }
  clock.ms += 1;
  return 0;
}
