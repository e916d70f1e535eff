// Event packet framing: a kind byte, a sub byte and a payload whose length follows from
// the two (and, for variable packets, from a length field inside the payload), with no
// gaps between packets. Everything here works without knowing what a packet means, so a
// reader can step over packets it does not understand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tintara {

struct PacketCode {
  uint8_t kind = 0;
  uint8_t sub = 0;
  bool operator==(const PacketCode&) const = default;
};

// Payload length of a packet with this code whose payload starts at `payload`, of which
// `available` bytes can be read. -1 for a code that is not in the table and for a length
// field that lies beyond `available`. The result may exceed `available`; whether the
// packet fits is the caller's question.
int64_t PacketLength(uint8_t kind, uint8_t sub, const uint8_t* payload, size_t available);
inline int64_t PacketLength(PacketCode code, const uint8_t* payload, size_t available) {
  return PacketLength(code.kind, code.sub, payload, available);
}
// Whether the code appears in the length table at all.
bool IsKnownPacketCode(uint8_t kind, uint8_t sub);

// One packet located inside a stream.
struct PacketView {
  PacketCode code;
  size_t offset = 0;  // of the code
  const uint8_t* payload = nullptr;
  size_t length = 0;  // payload bytes
  size_t end() const { return offset + 2 + length; }
};

enum class FrameStatus {
  Ok,
  Truncated,    // the code, a length field or the payload runs past the end
  UnknownCode,  // not in the length table
};

// Frames the packet whose code starts at `offset` of `stream`.
FrameStatus ReadPacketAt(std::span<const uint8_t> stream, size_t offset, PacketView& out);

// Where a validation walk stopped. `message` is the text that was shown.
struct WalkFailure {
  size_t payloadOffset = 0;
  PacketCode code;  // as far as it could be read
  size_t codeOffset = 0;
  PacketCode previous;  // the packet before it; 0,0 for the first
  std::string message;
};

// Walks every packet from offset 0 to the end of `stream` (the write position). On the
// first packet that cannot be framed it shows the "unknown packet" warning, fills
// `failure` when given and returns false.
bool ValidatePackets(std::span<const uint8_t> stream, WalkFailure* failure = nullptr);

// The bit of the (0,12) flag word that marks a protected stream.
inline constexpr int kProtectBit = 15;

struct MarkResult {
  bool badBit = false;  // the bit lies outside 0..15: nothing was walked, shown or changed
  bool walked = false;  // false: the stream failed the validation walk (warning shown), or badBit
  bool found = false;   // some (0,12) record had the bit before the call
};

// Visits every (0,12) state record of the stream: tests the bit (testOnly), or sets or
// clears it in place. The stream is walked whole first, so a stream that fails the walk
// is left unchanged. A bit outside the 16-bit flag word is the caller's mistake, not the
// stream's: it is reported as badBit, without walking.
MarkResult MarkStateRecords(std::span<uint8_t> stream, int bit, bool set, bool testOnly);

}  // namespace tintara
