#include "events/EventFile.h"

#include <algorithm>
#include <cstring>

#include "document/Paper.h"
#include "events/Packets.h"
#include "events/Recorder.h"
#include "files/GraphicsLibCompress.h"
#include "files/ImageBlock.h"
#include "pixel/ByteIO.h"
#include "platform/Debug.h"
#include "platform/FileIO.h"
#include "platform/Notify.h"

namespace tintara {

namespace {

constexpr uint32_t S = kEventSegmentSize;
constexpr size_t kPackedHead = 56, kPlainHead = 40, kSegmentHead = 28;
// Files above this are not read whole (a stream is below 2 GiB, its compressed form too).
constexpr size_t kMaxEventFile = size_t(1) << 31;

void Id(ByteWriter& w, const char* id) { w.bytes(id, 4); }
bool IsId(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

uint16_t WrittenVersion(uint8_t v) { return v > kEventFormatVersion ? kEventFormatVersion : v; }

// The protect bit lives in the (0,12) switch records: a stream without one cannot carry it.
bool HasSwitchRecord(std::span<const uint8_t> bytes) {
  size_t at = 0;
  PacketView p;
  while (at < bytes.size() && ReadPacketAt(bytes, at, p) == FrameStatus::Ok) {
    if (p.code == PacketCode{0, 12}) return true;
    at = p.end();
  }
  return false;
}

// The committed stream as one buffer, validated (a stream that fails the walk is reported
// here); `protect` marks the copy, and a stream with nothing to mark is refused.
int32_t PreparedStream(const CEventMngr& events, bool protect, std::vector<uint8_t>& bytes) {
  if (events.SegmentCount() == 0 || events.CommittedLength() == 0) return kEvEmpty;
  if (!events.CopyOut(events.CommittedLength(), bytes)) return kEvNoMemory;
  if (!ValidatePackets(bytes)) {
    ShowWarning(kBadPacketsText);
    return kEvBadPackets;
  }
  if (protect && (!HasSwitchRecord(bytes) || !MarkStateRecords(bytes, kProtectBit, true, false).walked))
    return kEvBadPackets;
  return kEvOk;
}

}  // namespace

int32_t WritePackedEvents(const CEventMngr& events, int32_t width, int32_t height, bool protect,
                          std::vector<uint8_t>& out) {
  try {
    std::vector<uint8_t> bytes;
    const int32_t prepared = PreparedStream(events, protect, bytes);
    if (prepared != kEvOk) return prepared;
    const uint32_t length = uint32_t(bytes.size());
    const uint32_t segments = (length + S - 1) / S;
    ByteWriter w(out);
    Id(w, "TEVP");
    w.u32(48);
    w.i32(width);
    w.i32(height);
    w.u16(WrittenVersion(events.version));
    w.u16(events.headerFlags);
    w.u16(4);
    w.u16(6);
    w.u32(events.GroupCount());
    w.u32(length);
    w.zeros(8);
    w.u32(segments);
    w.u32(S);
    w.zeros(8);
    std::vector<uint8_t> packed;
    for (uint32_t k = 0; k < segments; ++k) {
      const uint32_t from = k * S, n = std::min(S, length - from);
      if (n > S) return kEvBadSegmentSize;
      packed.clear();
      if (CompressToMemory(bytes.data() + from, n, packed) != GfxResult::Ok) return kEvNoMemory;
      if (packed.empty()) return kEvShortSegment;
      Id(w, "TBEV");
      w.u32(20 + uint32_t(Padded4(packed.size())));
      w.u32(from);
      w.u32(n);
      w.u32(uint32_t(packed.size()));
      w.zeros(8);
      w.bytes(packed.data(), packed.size());
      w.zeros(uint32_t(Padded4(packed.size())) - packed.size());
    }
    return kEvOk;
  } catch (const std::bad_alloc&) {
    return kEvNoMemory;
  } catch (const std::exception&) {
    return kEvException;
  }
}

int32_t WritePlainEvents(const CEventMngr& events, int32_t width, int32_t height, std::vector<uint8_t>& out,
                         bool protect) {
  try {
    std::vector<uint8_t> bytes;
    const int32_t prepared = PreparedStream(events, protect, bytes);
    if (prepared != kEvOk) return prepared;
    ByteWriter w(out);
    Id(w, "TEVS");
    w.u32(32 + uint32_t(Padded4(bytes.size())));
    w.i32(width);
    w.i32(height);
    w.u16(kEventFormatVersion);
    w.u16(0);
    w.u16(4);
    w.u16(6);
    w.u32(events.GroupCount());
    w.u32(uint32_t(bytes.size()));
    w.zeros(8);
    w.bytes(bytes.data(), bytes.size());
    w.zeros(uint32_t(Padded4(bytes.size())) - bytes.size());
    return kEvOk;
  } catch (const std::bad_alloc&) {
    return kEvNoMemory;
  } catch (const std::exception&) {
    return kEvException;
  }
}

bool CountGroups(std::span<const uint8_t> stream, uint32_t& groups) {
  uint64_t n = 0;
  size_t at = 0;
  PacketView p;
  while (at < stream.size()) {
    if (ReadPacketAt(stream, at, p) != FrameStatus::Ok) return false;
    const uint8_t k = p.code.kind;
    // State records, info records, stroke starts and inner sample blocks belong to the group
    // that the next committing packet closes.
    const bool opens = k == 0 || k == 1 || k == 17 || k == 16 || (k >= 20 && k <= 24) || k == 48 || k == 49;
    if (!opens) ++n;
    at = p.end();
  }
  if (n > 0xFFFFFFFFu) return false;
  groups = uint32_t(n);
  return true;
}

namespace {

struct HeadValues {
  uint8_t version = 0;
  uint16_t flags = 0;
};

int32_t ReadPacked(std::span<const uint8_t> file, size_t pos, bool usable, size_t& end,
                   std::vector<uint8_t>& stream, HeadValues& head) {
  if (file.size() - pos < kPackedHead) return kEvShortRead;
  ByteReader h(file.data() + pos, kPackedHead);
  h.skip(16);
  const uint16_t version = h.u16(), flags = h.u16();
  h.skip(4);
  h.u32();  // the group count is recounted from the stream
  const uint32_t length = h.u32();
  h.skip(8);
  const uint32_t segments = h.u32(), segmentSize = h.u32();
  if (version > kEventFormatVersion) return kEvBadVersion;
  if (!usable) return kEvNoManager;
  if (segments == 0 || length == 0) return kEvEmpty;
  if (segmentSize != S) return kEvBadSegmentSize;
  // Everything is checked before anything is allocated.
  if (length >= kMaxEventStream || segments != (uint64_t(length) + S - 1) / S) return kEvBadSegment;
  size_t at = pos + kPackedHead;
  stream.assign(length, 0);
  uint32_t done = 0;
  for (uint32_t k = 0; k < segments; ++k) {
    if (file.size() - at < kSegmentHead) return kEvShortRead;
    const uint8_t* b = file.data() + at;
    if (!IsId(b, "TBEV")) return kEvBadMagic;
    ByteReader r(b + 4, kSegmentHead - 4);
    const uint32_t size = r.u32(), offset = r.u32(), raw = r.u32(), compressed = r.u32();
    if (offset != done || raw != std::min(S, length - done) || raw == 0) return kEvBadSegment;
    if (size < 20 || compressed > size - 20) return kEvBadSegment;
    // The stored bytes must all be in the file.
    if (uint64_t(size) + 8 > file.size() - at) return kEvShortRead;
    if (Expand(b + kSegmentHead, compressed, stream.data() + done, raw) != GfxResult::Ok)
      return kEvBadSegment;
    done += raw;
    at += 8 + size_t(size);
  }
  if (done != length) return kEvBadSegment;
  head = {uint8_t(version), flags};
  end = at;
  return kEvOk;
}

int32_t ReadPlain(std::span<const uint8_t> file, size_t pos, bool usable, size_t& end,
                  std::vector<uint8_t>& stream, HeadValues& head) {
  ByteReader h(file.data() + pos, kPlainHead);
  h.skip(4);
  const uint32_t size = h.u32();
  h.skip(8);
  const uint16_t version = h.u16(), flags = h.u16();
  h.skip(8);
  const uint32_t length = h.u32();
  if (version > kEventFormatVersion) return kEvBadVersion;
  if (flags != 0) return kEvBadFlags;
  if (uint64_t(size) < 32 + uint64_t(length)) return kEvBadSize;
  if (!usable) return kEvNoManager;
  if (length == 0) return kEvEmpty;
  if (length >= kMaxEventStream) return kEvBadSize;
  if (file.size() - pos - kPlainHead < length) return kEvShortStream;
  stream.assign(file.begin() + std::ptrdiff_t(pos + kPlainHead),
                file.begin() + std::ptrdiff_t(pos + kPlainHead + length));
  head = {uint8_t(version), 0};
  // The zero fill after the stream is skipped (as far as the file holds it).
  end = std::min<uint64_t>(file.size(), pos + 8 + uint64_t(size));
  return kEvOk;
}

}  // namespace

int32_t ReadEvents(std::span<const uint8_t> file, size_t& pos, CEventMngr& events) {
  try {
    size_t at = pos;
    if (at > file.size() || file.size() - at < kPlainHead) return kEvShortRead;
    if (IsId(file.data() + at, "TTNL")) {
      ByteReader r(file.data() + at + 4, 4);
      const uint64_t skip = 8 + uint64_t(r.u32());
      if (skip > file.size() - at) return kEvShortRead;
      at += size_t(skip);
      if (file.size() - at < kPlainHead) return kEvShortRead;
    }
    std::vector<uint8_t> stream;
    size_t end = at;
    HeadValues head;
    int32_t result;
    if (IsId(file.data() + at, "TEVP"))
      result = ReadPacked(file, at, events.Valid(), end, stream, head);
    else if (IsId(file.data() + at, "TEVS"))
      result = ReadPlain(file, at, events.Valid(), end, stream, head);
    else
      result = kEvBadMagic;
    uint32_t groups = 0;
    if (result == kEvOk && (!ValidatePackets(stream) || !CountGroups(stream, groups))) result = kEvBadPackets;
    if (result == kEvOk && !events.Load(stream, groups)) result = kEvNoMemory;
    if (result != kEvOk) {
      events.Reset();
      return result;
    }
    events.version = head.version;
    events.headerFlags = head.flags;
    pos = end;
    return kEvOk;
  } catch (const std::bad_alloc&) {
    events.Reset();
    return kEvNoMemory;
  } catch (const std::exception&) {
    events.Reset();
    return kEvException;
  }
}

const char* EventFileExtension(uint8_t version) {
  if (version >= 32) return ".te4";
  if (version >= 16) return ".te3";
  return ".tes";
}

int32_t SaveEventFile(const std::string& path, TPaper& paper, CPaperRecorder& recorder, bool plain,
                      bool guarded) {
  CEventMngr& events = recorder.Events();
  // A stroke being recorded holds the pending group; the save waits for its end.
  if (!events.Recording() || events.protectedStream || recorder.InStroke()) return kEvBadPackets;
  if (guarded) {
    // Everything that can refuse the protection is settled before the history is touched.
    std::vector<uint8_t> bytes;
    if (!events.CopyOut(events.CommittedLength(), bytes)) {
      ShowWarning(kProtectCheckFailedText);
      return kEvProtectRefused;
    }
    const MarkResult m = MarkStateRecords(bytes, kProtectBit, false, true);
    if (!m.walked) {
      ShowWarning(kProtectCheckFailedText);
      return kEvProtectRefused;
    }
    if (m.found) {
      ShowWarning(kAlreadyProtectedText);
      return kEvProtectRefused;
    }
    if (!HasSwitchRecord(bytes)) {
      ShowWarning(kProtectFailedText);
      return kEvProtectRefused;
    }
  }
  // The file holds no redo entries; the end marker goes in for the file only.
  paper.ClearRedo();
  if (!recorder.RecordStop()) return kEvNoMemory;
  // The picture's thumbnail leads the file; a file without one is still a good event file.
  std::vector<uint8_t> file;
  if (EncodeThumbnailBlock(paper, EventThumbnailVersion(events.version), file) != kFileOk) file.clear();
  int32_t result = plain ? WritePlainEvents(events, paper.width, paper.height, file, guarded)
                         : WritePackedEvents(events, paper.width, paper.height, guarded, file);
  if (result == kEvOk && !WriteFileAtomic(path, file.data(), file.size())) result = kEvWriteError;
  // Recording goes on after the save.
  if (!events.DropLastGroup()) ShowWarning(kEndMarkerRemoveFailedText);
  events.SetState(EventState::kRecording);
  return result;
}

int32_t LoadEventFile(const std::string& path, CEventMngr& events, int32_t* readResult) {
  std::vector<uint8_t> file;
  if (!ReadWholeFile(path, file) || file.size() > kMaxEventFile) {
    if (readResult) *readResult = kEvShortRead;
    return 2;
  }
  size_t pos = 0;
  const int32_t r = ReadEvents(file, pos, events);
  if (readResult) *readResult = r;
  if (r == kEvBadVersion) return 4;
  // A stream that was read but fails the packet walk is a packet-check failure, not a file one.
  if (r == kEvBadPackets) return 3;
  return r == kEvOk ? 0 : 2;
}

}  // namespace tintara
