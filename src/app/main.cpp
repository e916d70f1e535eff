// Tintara's entry point: the program window, the unattended runs and the conversions.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/Batch.h"
#include "app/CommandLine.h"
#include "app/Export.h"
#include "app/SelfTest.h"
#include "pixel/Arith.h"
#include "platform/Notify.h"

#ifdef TINTARA_WITH_GUI
#include "app/AppProfile.h"
#include "app/ui/GuiMain.h"
#include "app/ui/QtSettingsStore.h"
#endif

namespace {
constexpr const char* kVersion = "Tintara 4.0.0";

constexpr const char* kHelp =
    "usage: tintara [FILE...]                      open the files in the running program, or start it\n"
    "       tintara -render EVENTFILE [-OFOLDER]   replay to the end unattended, write FOLDER/NAME.bmp\n"
    "                                              and a protected copy of the events; exit status 8..12\n"
    "       tintara -viewer EVENTFILE [-TSECONDS]  replay unattended, wait SECONDS, exit status 13\n"
    "               -WNUMBER                       (with -render or -viewer) tell the caller NUMBER the "
    "outcome\n"
    "       tintara -export OUT IN                 convert IN (.tci .bmp .jpg .png, or an event file\n"
    "                                              .tes .te3 .te4 .zov replayed to its end) into OUT\n"
    "                                              (.tci .bmp .jpg .png); exit status 0 on success\n"
    "       tintara --version                      print the version\n"
    "       tintara --selftest-image OUT.bmp       write the pixel-operations test picture\n"
    "       tintara --help                         this text\n";

// The JPEG quality of a conversion is the one the program's JPEG dialog would start with.
tintara::JpegOptions JpegSettings() {
#ifdef TINTARA_WITH_GUI
  tintara::CAppProfile profile;
  profile.LoadAll(tintara::CQtSettingsStore(tintara::CQtSettingsStore::DefaultPath()));
  return tintara::JpegOptionsFromProfile(profile.fileIO);
#else
  return {};
#endif
}

int Usage() {
  std::fputs(kHelp, stderr);
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  tintara::InitPixelTables();
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s\n", kVersion);
    return 0;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
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
  if (options.exportRun) {
    // A conversion never opens a window: whatever it has to say goes to stderr, and every
    // question takes its safe answer.
    tintara::CTerminalNotifySink terminal;
    tintara::SetNotifySink(&terminal);
    for (const std::string& w : warnings) tintara::ShowWarning(w);
    if (options.exportMissing) {
      std::fputs("tintara: -export needs an output and an input file: tintara -export OUT IN\n", stderr);
      tintara::SetNotifySink(nullptr);
      return Usage();
    }
    const tintara::ExportOutcome done =
        tintara::ExportFile(options.exportOut, options.exportIn, JpegSettings());
    if (done.exitStatus != 0) std::fprintf(stderr, "tintara: %s\n", done.message.c_str());
    tintara::SetNotifySink(nullptr);
    return done.exitStatus;
  }
#ifdef TINTARA_WITH_GUI
  if (!options.batch) return tintara::RunGui(argc, argv, options, warnings);
#endif
  for (const std::string& w : warnings) tintara::ShowWarning(w);
  if (!options.batch) return Usage();
  // The outcome code is also the exit status, so that a calling script can tell them apart.
  const tintara::BatchReport report = tintara::RunBatch(options);
  std::fprintf(report.code == 8 || report.code == 13 ? stdout : stderr, "tintara: %s (%d)\n",
               tintara::BatchOutcomeText(report.code).c_str(), report.code);
  if (!report.picture.empty() && report.code == 8)
    std::printf("wrote %s\nwrote %s\n", report.picture.c_str(), report.events.c_str());
  return report.code;
}
