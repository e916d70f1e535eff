// Event packet streams: any byte string must be walked, framed and decoded without
// touching memory it does not own, and every record a decoder accepts must encode and
// decode back to itself.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "events/EventRecords.h"
#include "events/Packets.h"
#include "platform/Notify.h"

namespace {

class SilentSink final : public tintara::INotifySink {
 public:
  void Warning(std::string_view) override {}
  tintara::ConfirmAnswer Confirm(std::string_view, tintara::ConfirmButtons) override {
    return tintara::ConfirmAnswer::Ok;
  }
};

// A decoded record survives another trip through the encoder and decoder unchanged.
void CheckRoundTrip(const tintara::AnyRecord& rec) {
  std::vector<uint8_t> bytes;
  if (!tintara::EncodeRecord(rec, bytes)) __builtin_trap();
  tintara::PacketView p;
  if (tintara::ReadPacketAt(bytes, 0, p) != tintara::FrameStatus::Ok || p.end() != bytes.size())
    __builtin_trap();
  tintara::AnyRecord again;
  if (tintara::DecodeRecord(p, again) != tintara::DecodeStatus::Ok || !(again == rec)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentSink sink;
  tintara::SetNotifySink(&sink);
  const std::span<const uint8_t> stream(data, size);

  // The walk, then every packet it framed, decoded.
  tintara::WalkFailure failure;
  const bool valid = tintara::ValidatePackets(stream, &failure);
  size_t offset = 0;
  tintara::PacketView p;
  while (offset < size && tintara::ReadPacketAt(stream, offset, p) == tintara::FrameStatus::Ok) {
    tintara::AnyRecord rec;
    if (tintara::DecodeRecord(p, rec) == tintara::DecodeStatus::Ok) CheckRoundTrip(rec);
    offset = p.end();
  }
  if (valid != (offset == size)) __builtin_trap();
  if (!valid && failure.codeOffset != offset) __builtin_trap();

  // The marks change nothing but (0,12) flag words, and only on a valid stream.
  std::vector<uint8_t> copy(data, data + size);
  const tintara::MarkResult marked = tintara::MarkStateRecords(copy, tintara::kProtectBit, true, false);
  if (marked.walked != valid) __builtin_trap();
  if (!valid && !std::equal(copy.begin(), copy.end(), data)) __builtin_trap();
  if (valid && !tintara::MarkStateRecords(copy, tintara::kProtectBit, true, true).found) {
    // No (0,12) record at all: nothing may have changed.
    if (!std::equal(copy.begin(), copy.end(), data)) __builtin_trap();
  }

  // Decoders handed payloads of any length, not only the table's.
  if (size >= 2) {
    tintara::PacketView raw;
    raw.code = {data[0], data[1]};
    raw.payload = data + 2;
    raw.length = size - 2;
    tintara::AnyRecord rec;
    (void)tintara::DecodeRecord(raw, rec);
  }
  tintara::SetNotifySink(nullptr);
  return 0;
}
