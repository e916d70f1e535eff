#include "events/EventMngr.h"

#include <algorithm>
#include <cstring>

#include "platform/Debug.h"
#include "platform/Notify.h"

namespace tintara {

namespace {
constexpr uint32_t S = kEventSegmentSize;
}  // namespace

CEventMngr::CEventMngr(uint32_t sizeHint) {
  segments_.reserve(std::max<size_t>((size_t(sizeHint) + S - 1) / S, 10));
  toneIds_.Create(64);
  nibIds_.Create(64);
  Reset();
}

bool CEventMngr::EnsureCapacity(uint64_t end) {
  // The readers refuse a stream of kMaxEventStream bytes or more; nothing longer is written.
  if (end >= kMaxEventStream) return false;
  try {
    while (uint64_t(segments_.size()) * S < end) {
      CMemSeg seg(S);
      if (!seg.IsValid()) return false;
      segments_.push_back(std::move(seg));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool CEventMngr::Append(const uint8_t* data, size_t n) {
  if (n == 0) return true;
  if (!EnsureCapacity(uint64_t(write_) + n)) return false;
  size_t done = 0;
  while (done < n) {
    const uint32_t at = write_ + uint32_t(done);
    CMemSeg& seg = segments_[at / S];
    const uint32_t in = at % S;
    const uint32_t piece = uint32_t(std::min<size_t>(n - done, S - in));
    std::memcpy(seg.Memory() + in, data + done, piece);
    done += piece;
  }
  write_ += uint32_t(n);
  return true;
}

bool CEventMngr::ReadAt(uint32_t offset, void* out, uint32_t n) const {
  if (uint64_t(offset) + n > write_) return false;
  uint8_t* to = static_cast<uint8_t*>(out);
  uint32_t done = 0;
  while (done < n) {
    const uint32_t at = offset + done;
    const uint32_t in = at % S;
    const uint32_t piece = std::min(n - done, S - in);
    std::memcpy(to + done, segments_[at / S].Memory() + in, piece);
    done += piece;
  }
  return true;
}

bool CEventMngr::CopyOut(uint32_t length, std::vector<uint8_t>& out) const {
  if (length > write_) return false;
  try {
    out.resize(length);
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }
  return length == 0 || ReadAt(0, out.data(), length);
}

bool CEventMngr::Overwrite(uint32_t offset, std::span<const uint8_t> bytes) {
  if (uint64_t(offset) + bytes.size() > write_) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const uint32_t at = offset + uint32_t(done);
    const uint32_t in = at % S;
    const uint32_t piece = uint32_t(std::min<size_t>(bytes.size() - done, S - in));
    std::memcpy(segments_[at / S].Memory() + in, bytes.data() + done, piece);
    done += piece;
  }
  return true;
}

bool CEventMngr::Reset() {
  segments_.clear();
  write_ = committed_ = groups_ = 0;
  ring_.Clear();
  cacheBits_.reset();
  toneIds_.RemoveAll();
  nibIds_.RemoveAll();
  state_ = EventState::kIdle;
  version = kEventFormatVersion;
  headerFlags = 0;
  protectedStream = false;
  return EnsureCapacity(1);
}

bool CEventMngr::Load(std::span<const uint8_t> bytes, uint32_t groups) {
  if (!Reset() || !Append(bytes.data(), bytes.size())) {
    Reset();
    return false;
  }
  committed_ = write_;
  groups_ = groups;
  return true;
}

void CEventMngr::Truncate(uint32_t length, uint32_t groups) {
  if (length > write_) return;
  write_ = committed_ = length;
  groups_ = groups;
  const size_t keep = std::max<size_t>((size_t(length) + S - 1) / S, 1);
  if (segments_.size() > keep) segments_.resize(keep);
}

bool CEventMngr::WritePacket(std::span<const uint8_t> packet, bool commit) {
  const uint32_t start = write_;
  bool ok;
  try {
    ok = Append(packet.data(), packet.size());
  } catch (const std::exception&) {
    ShowWarning(kEventExceptionText);
    ok = false;
  }
  if (!ok) {
    write_ = start;
    return false;
  }
  if (commit) Commit();
  return true;
}

void CEventMngr::Commit() {
  const uint32_t start = committed_;
  committed_ = write_;
  ++groups_;
  NoteGroup(start);
}

void CEventMngr::NoteGroup(uint32_t start) {
  if (!ring_.Valid()) return;
  if (ring_.BackCount() == 0) {
    // The first group of a stream (or of a cleared window) takes the current slot.
    ring_.DiscardForward();
    ring_.ReplaceCurrent(start);
  } else {
    ring_.Push(start);
  }
}

void CEventMngr::ForgetRange(uint32_t from, uint32_t to) {
  if (to <= from) return;
  std::vector<uint8_t> bytes(to - from);
  if (!ReadAt(from, bytes.data(), uint32_t(bytes.size()))) return;
  size_t at = 0;
  PacketView p;
  while (at < bytes.size() && ReadPacketAt(bytes, at, p) == FrameStatus::Ok) {
    if (p.code.kind == 0) {
      cacheBits_.reset(p.code.sub);
      uint32_t id = 0;
      if (p.length >= 4)
        id = uint32_t(p.payload[0]) | uint32_t(p.payload[1]) << 8 | uint32_t(p.payload[2]) << 16 |
             uint32_t(p.payload[3]) << 24;
      if (p.code.sub == 36) toneIds_.RemoveKey(id);
      if (p.code.sub == 44) nibIds_.RemoveKey(id);
    }
    at = p.end();
  }
}

void CEventMngr::Rollback() {
  ForgetRange(committed_, write_);
  write_ = committed_;
}

bool CEventMngr::WriteStateRecord(std::span<const uint8_t> packet, bool* written) {
  if (written) *written = false;
  if (packet.size() < 2 || packet[0] != 0) return false;
  const uint8_t sub = packet[1];
  std::vector<uint8_t>& copy = cache_[sub];
  if (cacheBits_.test(sub) && copy.size() == packet.size() &&
      std::equal(copy.begin(), copy.end(), packet.begin()))
    return true;
  if (!WritePacket(packet, false)) return false;
  try {
    copy.assign(packet.begin(), packet.end());
  } catch (const std::bad_alloc&) {
    cacheBits_.reset(sub);
    return true;  // written; the next operation simply writes it again
  }
  cacheBits_.set(sub);
  if (written) *written = true;
  return true;
}

void CEventMngr::SetStateCopy(std::span<const uint8_t> packet) {
  if (packet.size() < 2 || packet[0] != 0) return;
  try {
    cache_[packet[1]].assign(packet.begin(), packet.end());
    cacheBits_.set(packet[1]);
  } catch (const std::bad_alloc&) {
    cacheBits_.reset(packet[1]);
  }
}

bool CEventMngr::SetupRing(int32_t capacity) { return ring_.Setup(capacity, capacity); }

bool CEventMngr::ResizeRing(int32_t capacity) {
  if (!ring_.Valid()) return SetupRing(capacity);
  return ring_.Reconfigure(capacity, capacity);
}

bool CEventMngr::UndoGroup() {
  if (groups_ == 0 || ring_.BackCount() <= 0) return false;
  // The end of the last group goes into the ring first, so that the group can be redone.
  if (ring_.ForwardCount() == 0) {
    if (!ring_.Push(committed_) || !ring_.StepBack()) return false;
  }
  uint32_t a = 0;
  if (!ring_.Current(&a) || a > committed_) return false;
  ForgetRange(a, committed_);
  ring_.StepBack();
  committed_ = write_ = a;
  --groups_;
  return true;
}

bool CEventMngr::RedoGroup() {
  if (ring_.ForwardCount() <= 1) return false;
  if (!ring_.StepForward()) return false;
  uint32_t end = 0;
  if (!ring_.Peek(1, end) || end < committed_ || end > uint32_t(segments_.size()) * S) {
    ring_.StepBack();
    return false;
  }
  committed_ = write_ = end;
  ++groups_;
  return true;
}

bool CEventMngr::DropLastGroup() {
  if (groups_ == 0 || ring_.BackCount() <= 0) return false;
  uint32_t a = 0;
  if (!ring_.Current(&a) || a > committed_) return false;
  ForgetRange(a, committed_);
  ring_.Drop();
  committed_ = write_ = a;
  --groups_;
  return true;
}

}  // namespace tintara
