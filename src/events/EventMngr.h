// The event stream of one picture: packets appended in 64 KiB segments, grouped so that
// every committed group is one operation, with a ring of group starts that lets the stream
// step back and forward with the picture's undo and redo. Beside the stream it keeps the
// last written copy of every tool-state record, so a state record is written only when
// its state changed, and the ids of the tone and pen-shape definitions already written.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <span>
#include <vector>

#include "events/Packets.h"
#include "files/GraphicsLibMap.h"
#include "pixel/MemSeg.h"
#include "pixel/RingBuf.h"

namespace tintara {

inline constexpr uint32_t kEventSegmentSize = 65536;
// Offsets are 32-bit in the files: the live stream stays below 2^31 - 65536.
inline constexpr uint32_t kMaxEventStream = 0x80000000u - 65536u;
inline constexpr uint8_t kEventFormatVersion = 35;

enum class EventState : uint8_t { kIdle = 0, kRecording = 1, kReplaying = 2, kStopped = 3 };

inline constexpr const char* kBadPacketsText = "イベントパケットが不正です!";
inline constexpr const char* kEventExceptionText =
    "イベント記録中に例外が発生しました!\r以降のイベント記録は停止します...";

class CEventMngr {
 public:
  explicit CEventMngr(uint32_t sizeHint = 1048576);
  CEventMngr(const CEventMngr&) = delete;
  CEventMngr& operator=(const CEventMngr&) = delete;

  bool Valid() const { return !segments_.empty() && segments_.front().IsValid(); }
  EventState State() const { return state_; }
  void SetState(EventState s) { state_ = s; }
  bool Recording() const { return state_ == EventState::kRecording; }

  // --- the stream ---------------------------------------------------------------------
  uint32_t WritePosition() const { return write_; }
  uint32_t CommittedLength() const { return committed_; }
  uint32_t GroupCount() const { return groups_; }
  uint32_t SegmentCount() const { return uint32_t(segments_.size()); }
  // Appends at the write position, growing by whole segments; false (nothing kept) when a
  // segment cannot be had or the stream would pass its limit.
  bool Append(const uint8_t* data, size_t n);
  // False when offset + n passes the write position.
  bool ReadAt(uint32_t offset, void* out, uint32_t n) const;
  // The bytes [0, length) as one contiguous copy (the walk and the files work on it).
  bool CopyOut(uint32_t length, std::vector<uint8_t>& out) const;
  // Writes `bytes` over the stream starting at `offset` (< write position).
  bool Overwrite(uint32_t offset, std::span<const uint8_t> bytes);
  // Empties the stream (one fresh segment), the ring, the caches and the id maps; state idle.
  bool Reset();
  // Replaces the whole stream by `bytes` holding `groups` committed groups.
  bool Load(std::span<const uint8_t> bytes, uint32_t groups);
  // Cuts the stream to `length` (a group boundary): write position and committed length
  // move there, later segments are freed.
  void Truncate(uint32_t length, uint32_t groups);

  // --- packets -------------------------------------------------------------------------
  // Writes one whole packet (code and payload). A packet written with commit closes the
  // group. On failure the write position returns to where the packet began.
  bool WritePacket(std::span<const uint8_t> packet, bool commit);
  void Commit();
  // Gives up the pending (uncommitted) part of the group: back to the committed length, and
  // the state copies and ids written in it are forgotten.
  void Rollback();
  // A state record goes into the stream only when its bytes differ from the last copy
  // written (or there is none). `written` tells whether it went in.
  bool WriteStateRecord(std::span<const uint8_t> packet, bool* written = nullptr);
  bool HasStateCopy(uint8_t sub) const { return cacheBits_.test(sub); }
  void ForgetStateCopies() { cacheBits_.reset(); }
  // Stores a copy as written without writing it (what replay leaves behind).
  void SetStateCopy(std::span<const uint8_t> packet);

  // --- the group ring --------------------------------------------------------------------
  // Capacity max(8, undoMax + 34) each way.
  static int32_t RingCapacityFor(int32_t undoMax) { return undoMax + 34 > 8 ? undoMax + 34 : 8; }
  bool SetupRing(int32_t capacity);
  bool ResizeRing(int32_t capacity);
  void ClearRing() { ring_.Clear(); }
  bool UndoGroup();
  bool RedoGroup();
  bool DropLastGroup();
  int32_t UndoDepth() const { return ring_.BackCount(); }
  int32_t RedoDepth() const { return ring_.ForwardCount() > 1 ? ring_.ForwardCount() - 1 : 0; }
  void ForgetRedo() { ring_.DiscardForward(); }
  // The last committed group joins the one before it on the ring (the stream is unchanged):
  // one undo step then takes both away. For groups no undo record stands for.
  bool JoinLastGroup() { return ring_.BackCount() > 0 && ring_.Drop(); }
  // Replay counts a group as done: its start goes into the ring as recording would have put it.
  void NoteGroup(uint32_t start);
  int32_t RingCapacity() const { return ring_.BackCapacity(); }

  // --- ids of the definitions in the stream ----------------------------------------------
  CMapDD& ToneIds() { return toneIds_; }
  CMapDD& NibIds() { return nibIds_; }

  // --- what was read with a stored stream ----------------------------------------------------
  uint8_t version = kEventFormatVersion;
  uint16_t headerFlags = 0;
  bool protectedStream = false;

 private:
  bool EnsureCapacity(uint64_t end);
  // Forgets the state copies and definition ids of the packets in [from, to).
  void ForgetRange(uint32_t from, uint32_t to);

  std::vector<CMemSeg> segments_;
  uint32_t write_ = 0, committed_ = 0, groups_ = 0;
  CRingBufDWORD ring_;
  EventState state_ = EventState::kIdle;
  std::array<std::vector<uint8_t>, 256> cache_;  // by kind-0 sub: the last packet written
  std::bitset<256> cacheBits_;
  CMapDD toneIds_, nibIds_;
};

}  // namespace tintara
