// The stored forms of an event stream: the packed form (a "TEVP" head and one compressed
// "TBEV" block per 64 KiB segment) and the plain form (one "TEVS" block), and the event
// file (.tes, .te3, .te4) that holds one of them after an optional thumbnail block.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "events/EventMngr.h"

namespace tintara {

class TPaper;
class CPaperRecorder;

// Result codes of the writers and readers.
enum EventFileResult : int32_t {
  kEvOk = 0,
  kEvNoMemory = 1,
  kEvException = 3,
  kEvWriteError = 8,
  kEvShortRead = 9,
  kEvBadVersion = 12,
  kEvBadFlags = 15,
  kEvBadMagic = 16,
  kEvBadSize = 17,
  kEvNoManager = 40,
  kEvShortStream = 41,
  kEvEmpty = 42,
  kEvShortSegment = 43,
  kEvBadSegmentSize = 44,
  kEvBadSegment = 45,
  kEvBadPackets = 47,
  kEvProtectRefused = 48,  // the protected save was refused; its own warning has been shown
};

inline constexpr const char* kEventReadFailedText =
    "イベントデータ部の読み込みに失敗しました!\rイベントは破棄されました。";
inline constexpr const char* kProtectCheckFailedText = "イベントファイルの保護状態の確認に失敗しました!";
inline constexpr const char* kAlreadyProtectedText =
    "このイベントファイルはすでに保護されているため保存できません!";
inline constexpr const char* kProtectFailedText = "イベントファイルの保護に失敗しました!";
inline constexpr const char* kEndMarkerRemoveFailedText = "Alert: failed to remove EventFin!";

// The committed stream in the packed form, appended to `out`. `protect`: the protect bit
// is set in every (0,12) record of the written copy (the live stream is not touched); a
// stream without one cannot be protected and fails with kEvBadPackets (no warning: the
// caller names the protection failure). A stream that fails the walk is warned about.
int32_t WritePackedEvents(const CEventMngr& events, int32_t width, int32_t height, bool protect,
                          std::vector<uint8_t>& out);
// The plain form; `protect` as above.
int32_t WritePlainEvents(const CEventMngr& events, int32_t width, int32_t height, std::vector<uint8_t>& out,
                         bool protect = false);

// Reads a "TEVS" or "TEVP" block (after an optional "TTNL" block) at `pos` into the
// manager. On success `pos` is past the block; on failure it is unchanged and the manager
// holds an empty stream. The stream is walked before it is accepted and its groups counted.
int32_t ReadEvents(std::span<const uint8_t> file, size_t& pos, CEventMngr& events);

// Counts the committed groups of a stream: the packets that close a group.
bool CountGroups(std::span<const uint8_t> stream, uint32_t& groups);

// The extension a stream of this version is offered under: ".te4", ".te3" or ".tes".
const char* EventFileExtension(uint8_t version);

// Saves the recording stream as an event file: the redo history goes, the end marker is
// written for the file and taken out of the live stream again, recording goes on. `guarded`
// (already confirmed by the user) writes the file protected, in either form; a stream that
// is protected already, or has no switch record to carry the mark, is refused before
// anything (the redo history included) is touched.
int32_t SaveEventFile(const std::string& path, TPaper& paper, CPaperRecorder& recorder, bool plain,
                      bool guarded);
// Loads an event file into the manager for replay: 0, or the replay's start failure code:
// 2 (missing or unreadable file, damaged block), 3 (a stream that fails the packet walk) or
// 4 (a newer version than this program reads).
int32_t LoadEventFile(const std::string& path, CEventMngr& events, int32_t* readResult = nullptr);

}  // namespace tintara
