#include "app/Batch.h"

#include <chrono>
#include <thread>

#include "events/Render.h"

namespace tintara {

namespace {

void SleepFor(int32_t seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::seconds(seconds));
}

}  // namespace

BatchReport RunBatch(const StartupOptions& options, void (*sleepSeconds)(int32_t)) {
  BatchReport report;
  if (options.files.empty()) {
    report.code = 10;
    return report;
  }
  RenderRequest request;
  request.eventFile = options.files.front();
  request.outputDir = options.outputDir;
  request.viewOnly = options.viewer;
  const RenderResult r = RenderEventFile(request);
  report.code = int32_t(r.outcome);
  report.picture = r.picture;
  report.events = r.events;
  if (options.viewer) {
    (sleepSeconds ? sleepSeconds : SleepFor)(options.waitSeconds);
    // A viewer run that replayed reports that it finished; the open failures stay as they are.
    if (r.outcome == RenderOutcome::kSuccess) report.code = 13;
  }
  return report;
}

std::string BatchOutcomeText(int32_t code) {
  switch (code) {
    case 8:
      return "render run finished and its files were written";
    case 9:
      return "render run finished but writing its files failed";
    case 10:
      return "the file could not be opened or its events could not be loaded";
    case 11:
      return "the event data is protected and is not replayed in batch";
    case 12:
      return "the stream needs operations this build cannot replay";
    case 13:
      return "viewer run finished";
    default:
      return "unknown outcome";
  }
}

}  // namespace tintara
