#include "events/Packets.h"

#include <array>
#include <cstdio>
#include <string_view>
#include <vector>

#include "pixel/ByteIO.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

// n = base + times * (the length field), the field being absent, a little-endian uint16
// or uint32 at payload offset `at`, or the sub byte itself.
enum class LengthField : uint8_t { None, U16, U32, Sub };

struct LengthRule {
  uint32_t base = 0;
  LengthField field = LengthField::None;
  uint8_t at = 0;
  uint8_t times = 1;
};

constexpr LengthRule Fixed(uint32_t n) { return {n, LengthField::None, 0, 1}; }
constexpr LengthRule PlusU16(uint32_t base, uint8_t at, uint8_t times = 1) {
  return {base, LengthField::U16, at, times};
}
constexpr LengthRule PlusU32(uint32_t base, uint8_t at) { return {base, LengthField::U32, at, 1}; }
constexpr LengthRule TimesSub(uint8_t times) { return {0, LengthField::Sub, 0, times}; }

// The length table, written the way it is read: a kind, its subs ("*" for any, ranges
// with "-") and the rule. Codes not listed are invalid.
struct LengthRow {
  uint8_t kind;
  std::string_view subs;
  LengthRule rule;
};

constexpr LengthRow kLengthRows[] = {
    {0, "0,5,52,53", Fixed(12)},
    {0, "2,3,8,58", Fixed(4)},
    {0, "4,57,60", Fixed(16)},
    {0, "12,13", Fixed(2)},
    {0, "16,17,48,50,56", Fixed(8)},
    {0, "18", Fixed(22)},
    {0, "32", Fixed(68)},
    {0, "33", PlusU16(2, 0)},
    {0, "36", PlusU32(160, 156)},
    {0, "37", Fixed(20)},
    {0, "40", PlusU16(12, 6)},
    {0, "44", PlusU32(40, 36)},
    {0, "45", Fixed(24)},
    {0, "128,129", PlusU32(22, 12)},
    {0, "136", PlusU32(4, 0)},
    {1, "*", PlusU32(4, 0)},
    {2, "0", Fixed(16)},
    {2, "1,24,25,26", Fixed(4)},
    {2, "2,3,9", Fixed(10)},
    {2, "4,5,7,16-19,254,255", Fixed(0)},
    {2, "6", Fixed(18)},
    {2, "8", Fixed(28)},
    {2, "10", Fixed(12)},
    {4, "0", Fixed(14)},
    {4, "1-5,8,9,24,25,32-37", Fixed(4)},
    {4, "6,7,10,38,39,48-51", Fixed(12)},
    {4, "11", PlusU16(42, 40)},
    {4, "12,13", Fixed(20)},
    {4, "16,17,18,20", Fixed(6)},
    {4, "19", PlusU16(4, 2)},
    {4, "21", Fixed(18)},
    {5, "0,1", PlusU32(24, 12)},
    {5, "8,11,12,13,16", Fixed(12)},
    {5, "9,10", Fixed(20)},
    {6, "0-3,5,6", Fixed(22)},
    {6, "4", PlusU16(4, 2, 8)},
    {10, "0-6,11,20,21", Fixed(4)},
    {10, "7-10,13,14,22,24,25,26", Fixed(12)},
    {10, "12", PlusU16(4, 2)},
    {10, "16,17,19", Fixed(22)},
    {10, "18", PlusU16(8, 6, 8)},
    {12, "1,2", PlusU32(22, 12)},
    {13, "0,1,16,17,32", PlusU32(54, 42)},
    {13, "2,3", PlusU32(72, 60)},
    {16, "0", Fixed(4)},
    {20, "0", Fixed(4)},
    {21, "0", Fixed(4)},
    {22, "0", Fixed(4)},
    {23, "0", Fixed(4)},
    {24, "0", Fixed(4)},
    {48, "0", Fixed(4)},
    {49, "0", Fixed(4)},
    {17, "*", TimesSub(12)},
    {18, "*", TimesSub(12)},
    {32, "0,1,8,9,12,13,20,52,53,56", Fixed(4)},
    {33, "2,4,10,14,18,21,22,23,26,27,32,34,49,55,58,63", Fixed(12)},
    {34, "3,17,19,24,25,33,36,48,50,57,59,61,62", Fixed(20)},
    {35, "16,35,37,38,60", Fixed(28)},
    {38, "*", PlusU16(50, 4)},
};

constexpr uint8_t kNoRule = 0xFF;
static_assert(std::size(kLengthRows) < kNoRule);

// kind << 8 | sub -> index into kLengthRows, built once from the rows.
struct LengthIndex {
  std::array<uint8_t, 65536> row;

  LengthIndex() {
    row.fill(kNoRule);
    for (size_t r = 0; r < std::size(kLengthRows); ++r) {
      const LengthRow& lr = kLengthRows[r];
      ForEachSub(lr.subs, [&](int sub) { row[size_t(lr.kind) << 8 | size_t(sub)] = uint8_t(r); });
    }
  }

  template <class F>
  static void ForEachSub(std::string_view subs, F&& f) {
    if (subs == "*") {
      for (int s = 0; s < 256; ++s) f(s);
      return;
    }
    size_t i = 0;
    while (i < subs.size()) {
      int first = 0;
      while (i < subs.size() && subs[i] >= '0' && subs[i] <= '9') first = first * 10 + (subs[i++] - '0');
      int last = first;
      if (i < subs.size() && subs[i] == '-') {
        ++i;
        last = 0;
        while (i < subs.size() && subs[i] >= '0' && subs[i] <= '9') last = last * 10 + (subs[i++] - '0');
      }
      for (int s = first; s <= last && s < 256; ++s) f(s);
      if (i < subs.size() && subs[i] == ',') ++i;
    }
  }
};

const LengthRow* FindRow(uint8_t kind, uint8_t sub) {
  static const LengthIndex index;
  const uint8_t r = index.row[size_t(kind) << 8 | sub];
  return r == kNoRule ? nullptr : &kLengthRows[r];
}

std::string UnknownPacketText(const WalkFailure& f) {
  char text[160];
  std::snprintf(text, sizeof text, "unknown packet at 0x%zx(0x%x,0x%x)\rlast code at 0x%zx(0x%x,0x%x)",
                f.payloadOffset, unsigned(f.code.kind), unsigned(f.code.sub), f.codeOffset,
                unsigned(f.previous.kind), unsigned(f.previous.sub));
  return text;
}

}  // namespace

int64_t PacketLength(uint8_t kind, uint8_t sub, const uint8_t* payload, size_t available) {
  const LengthRow* row = FindRow(kind, sub);
  if (!row) return -1;
  const LengthRule& rule = row->rule;
  uint64_t field = 0;
  switch (rule.field) {
    case LengthField::None:
      break;
    case LengthField::Sub:
      field = sub;
      break;
    case LengthField::U16:
    case LengthField::U32: {
      ByteReader r(payload, available);
      r.skip(rule.at);
      field = rule.field == LengthField::U16 ? r.u16() : r.u32();
      if (!r.ok()) return -1;
      break;
    }
  }
  return int64_t(uint64_t(rule.base) + uint64_t(rule.times) * field);
}

bool IsKnownPacketCode(uint8_t kind, uint8_t sub) { return FindRow(kind, sub) != nullptr; }

FrameStatus ReadPacketAt(std::span<const uint8_t> stream, size_t offset, PacketView& out) {
  out = PacketView{};
  out.offset = offset;
  if (offset > stream.size() || stream.size() - offset < 2) {
    if (offset < stream.size()) out.code.kind = stream[offset];
    return FrameStatus::Truncated;
  }
  out.code = {stream[offset], stream[offset + 1]};
  const size_t payloadAt = offset + 2;
  out.payload = stream.data() + payloadAt;
  const size_t available = stream.size() - payloadAt;
  if (!IsKnownPacketCode(out.code.kind, out.code.sub)) return FrameStatus::UnknownCode;
  const int64_t n = PacketLength(out.code, out.payload, available);
  // Compared in 64 bits: a huge length field must not wrap around to a small end.
  if (n < 0 || uint64_t(n) > uint64_t(available)) return FrameStatus::Truncated;
  out.length = size_t(n);
  return FrameStatus::Ok;
}

namespace {

// The one walk behind validation and the state-record marks. `visit` sees every packet
// that was framed.
template <class Visit>
bool WalkPackets(std::span<const uint8_t> stream, WalkFailure* failure, Visit&& visit) {
  size_t offset = 0;
  PacketCode previous;
  while (offset < stream.size()) {
    PacketView p;
    if (ReadPacketAt(stream, offset, p) != FrameStatus::Ok) {
      WalkFailure f;
      f.payloadOffset = offset + 2;
      f.code = p.code;
      f.codeOffset = offset;
      f.previous = previous;
      f.message = UnknownPacketText(f);
      ShowWarning(f.message);
      if (failure) *failure = std::move(f);
      return false;
    }
    visit(p);
    previous = p.code;
    offset = p.end();
  }
  return true;
}

}  // namespace

bool ValidatePackets(std::span<const uint8_t> stream, WalkFailure* failure) {
  return WalkPackets(stream, failure, [](const PacketView&) {});
}

MarkResult MarkStateRecords(std::span<uint8_t> stream, int bit, bool set, bool testOnly) {
  MarkResult result;
  if (bit < 0 || bit > 15) {
    result.badBit = true;
    return result;
  }
  const uint16_t mask = uint16_t(1u << bit);
  std::vector<size_t> flagWords;  // stream offsets of the (0,12) flag words
  result.walked = WalkPackets(stream, nullptr, [&](const PacketView& p) {
    if (p.code == PacketCode{0, 12}) flagWords.push_back(p.offset + 2);
  });
  if (!result.walked) return result;
  for (size_t at : flagWords) {
    ByteReader r(stream.data() + at, 2);
    const uint16_t flags = r.u16();
    if (flags & mask) result.found = true;
    if (testOnly) continue;
    BytePatcher(stream.data() + at, 2).u16(0, set ? uint16_t(flags | mask) : uint16_t(flags & ~mask));
  }
  return result;
}

}  // namespace tintara
