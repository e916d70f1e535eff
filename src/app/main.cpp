// Tintara's command-line entry point (until the interface is built).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/Batch.h"
#include "app/CommandLine.h"
#include "app/SelfTest.h"
#include "pixel/Arith.h"
#include "platform/Notify.h"

#ifdef TINTARA_WITH_GUI
#include "app/ui/GuiMain.h"
#include "app/ui/SingleInstance.h"
#endif

namespace {
constexpr const char* kVersion = "Tintara 4.0.0";

int Usage() {
  std::fprintf(stderr,
               "usage: tintara --version\n"
               "       tintara --selftest-image OUT.bmp\n"
               "       tintara -render EVENTFILE [-OFOLDER]   replay to the end, write FOLDER/NAME.bmp\n"
               "       tintara -viewer EVENTFILE [-TSECONDS]  replay only\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  tintara::InitPixelTables();
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s\n", kVersion);
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--selftest-image") == 0) {
    const std::string out = argv[2];
    if (!tintara::WriteSelfTestImage(out)) {
      std::fprintf(stderr, "tintara: could not write %s\n", out.c_str());
      return 1;
    }
    std::printf("%s\n", out.c_str());
    return 0;
  }
  // The command line's warnings wait until it is known whether boxes or stderr show them.
  std::vector<std::string> warnings;
  tintara::StartupOptions options;
  {
    tintara::RecordingNotifySink held;
    options = tintara::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    warnings = held.warnings;
  }
#ifdef TINTARA_WITH_GUI
  if (!options.batch) return tintara::RunGui(argc, argv, options, warnings);
#endif
  for (const std::string& w : warnings) tintara::ShowWarning(w);
  if (!options.batch) return Usage();
  // The outcome code is also the exit status, so that a calling script can tell them apart.
  const tintara::BatchReport report = tintara::RunBatch(options);
#ifdef TINTARA_WITH_GUI
  // The caller named by -W hears the outcome once, besides the exit status.
  if (options.notifyWindow != 0) tintara::SendBatchOutcome(options.notifyWindow, report.code);
#endif
  std::fprintf(report.code == 8 || report.code == 13 ? stdout : stderr, "tintara: %s (%d)\n",
               tintara::BatchOutcomeText(report.code).c_str(), report.code);
  if (!report.picture.empty() && report.code == 8)
    std::printf("wrote %s\nwrote %s\n", report.picture.c_str(), report.events.c_str());
  return report.code;
}
