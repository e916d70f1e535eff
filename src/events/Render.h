// The render run: an event file replayed to its end without a window, the picture saved as
// a BMP beside a protected copy of the stream, and the outcome reported as a code (it is
// also the process's exit status and what the calling program is told).
#pragma once

#include <string>

namespace tintara {

class IOldReplayStroke;

enum class RenderOutcome : int32_t {
  kSuccess = 8,
  kFailure = 9,
  kUnreadable = 10,  // the file could not be opened as events; "<name>.bad" marks it
  kProtected = 11,   // a protected stream is not rendered; "<name>.prt" marks it
  kIncomplete = 12,  // the stream needs operations this build cannot replay; "<name>.him"
};

struct RenderRequest {
  std::string eventFile;                  // .zov: a version-1 stream; anything else the current format
  std::string outputDir;                  // empty: the event file's folder
  bool replayStrokes = true;              // false: streams with strokes are not replayed
  IOldReplayStroke* oldStroke = nullptr;  // the legacy engine, for version-1 streams (.zov)
  int64_t stepBudget = -1;
  bool viewOnly = false;  // replay only: nothing is written but a marker
};

struct RenderResult {
  RenderOutcome outcome = RenderOutcome::kFailure;
  std::string picture;  // the BMP written (on success)
  std::string events;   // the protected copy of the stream
  int32_t width = 0, height = 0;
};

RenderResult RenderEventFile(const RenderRequest& request);

}  // namespace tintara
