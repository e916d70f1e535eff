#include "events/Render.h"

#include <cctype>
#include <filesystem>

#include "document/Paper.h"
#include "events/EventFile.h"
#include "events/OldPlayer.h"
#include "events/Player.h"
#include "events/StrokeReplay.h"
#include "files/ImageBlock.h"
#include "pixel/Bmp.h"
#include "pixel/ColorOps.h"
#include "platform/Debug.h"
#include "platform/FileIO.h"

namespace tintara {

namespace {

namespace fs = std::filesystem;

std::string OutputPath(const RenderRequest& r, const std::string& extension) {
  const fs::path in(r.eventFile);
  const fs::path dir = r.outputDir.empty() ? in.parent_path() : fs::path(r.outputDir);
  return (dir / (in.stem().string() + extension)).string();
}

// An output would replace the stream it was made from (no output folder, or the event
// file's own, and a name the run writes): the run writes nothing rather than lose the
// original. Links to the stream count as the stream.
bool OverwritesInput(const RenderRequest& request, const std::string& out) {
  std::error_code ec;
  return fs::equivalent(request.eventFile, out, ec);
}

// An empty file beside the outputs that says why there is no picture. It never replaces
// the stream it reports on (a stream may carry any name).
RenderResult Marked(const RenderRequest& r, RenderOutcome outcome, const char* extension) {
  const std::string path = OutputPath(r, extension);
  if (OverwritesInput(r, path))
    DebugOut("render: the marker file would replace the event file; it is not written");
  else if (!WriteFileAtomic(path, "", 0))
    DebugOut("render: the marker file could not be written");
  RenderResult result;
  result.outcome = outcome;
  return result;
}

// The picture as a saved file holds it; a render run's picture carries no resolution.
bool WritePicture(TPaper& paper, const RenderRequest& request, RenderResult& result) {
  const std::string path = OutputPath(request, ".bmp");
  if (OverwritesInput(request, path)) return false;
  TTC picture;
  if (!paper.FlatPicture(picture)) return false;
  result.picture = path;
  return WriteBmp24(picture, result.picture, 0);
}

bool IsOldEventFile(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".zov";
}

// A version-1 stream: replayed through its own player, written back as .zov with the
// protection markers.
RenderResult RenderOldEventFile(const RenderRequest& request) {
  TEventPacket packets;
  if (!packets.Load(request.eventFile)) return Marked(request, RenderOutcome::kUnreadable, ".bad");
  TPaper paper;
  TFlowImage flow(paper);
  CEventOldPlayer player(paper, flow, packets, request.oldStroke);
  const int32_t start = player.Start(fs::path(request.eventFile).stem().string(), true);
  if (start == 5) return Marked(request, RenderOutcome::kProtected, ".prt");
  if (start != 0) return Marked(request, RenderOutcome::kUnreadable, ".bad");
  const StepResult end = player.RunToEnd(request.stepBudget);
  RenderResult result;
  if (request.viewOnly) {
    result.outcome = end == StepResult::kEnded ? RenderOutcome::kSuccess : RenderOutcome::kFailure;
    return result;
  }
  // A packet that could not be replayed ends an old replay; the picture would not be the
  // stream's, so it is refused like operations this build does not have.
  if (player.Incomplete() || player.Failed()) return Marked(request, RenderOutcome::kIncomplete, ".him");
  if (end != StepResult::kEnded || OverwritesInput(request, OutputPath(request, ".zov"))) return result;
  if (!WritePicture(paper, request, result)) return result;
  result.events = OutputPath(request, ".zov");
  if (!packets.Save(result.events, true)) {
    DebugOut("render: the stream is too short to carry its protection markers, or could not be written");
    return result;
  }
  result.width = paper.width;
  result.height = paper.height;
  result.outcome = RenderOutcome::kSuccess;
  return result;
}

}  // namespace

RenderResult RenderEventFile(const RenderRequest& request) {
  if (IsOldEventFile(request.eventFile)) return RenderOldEventFile(request);
  CEventMngr events;
  if (LoadEventFile(request.eventFile, events) != 0)
    return Marked(request, RenderOutcome::kUnreadable, ".bad");
  TPaper paper;
  TFlowImage flow(paper);
  CReplayStrokeEngine strokes(paper, flow);
  CEventPlayer player(paper, flow, events, request.replayStrokes ? &strokes : nullptr);
  const std::string title = fs::path(request.eventFile).stem().string();
  const int32_t start = player.Start(title, true);
  if (start == 5) return Marked(request, RenderOutcome::kProtected, ".prt");
  if (start != 0) return Marked(request, RenderOutcome::kUnreadable, ".bad");
  const StepResult end = player.RunToEnd(request.stepBudget);
  RenderResult result;
  if (request.viewOnly) {
    result.outcome = end == StepResult::kEnded ? RenderOutcome::kSuccess : RenderOutcome::kFailure;
    return result;
  }
  // A picture that is not what the stream describes is never written.
  if (player.Incomplete()) return Marked(request, RenderOutcome::kIncomplete, ".him");
  if (end != StepResult::kEnded) return result;
  if (OverwritesInput(request, OutputPath(request, EventFileExtension(events.version)))) return result;
  // The stream again, protected, under the extension its version asks for. It is made
  // first: a stream that cannot be protected leaves no picture behind either.
  std::vector<uint8_t> file;
  if (EncodeThumbnailBlock(paper, EventThumbnailVersion(events.version), file) != kFileOk) file.clear();
  if (WritePackedEvents(events, paper.width, paper.height, true, file) != kEvOk) return result;
  if (!WritePicture(paper, request, result)) return result;
  result.events = OutputPath(request, EventFileExtension(events.version));
  if (!WriteFileAtomic(result.events, file.data(), file.size())) return result;
  result.width = paper.width;
  result.height = paper.height;
  result.outcome = RenderOutcome::kSuccess;
  return result;
}

}  // namespace tintara
