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
#include "app/ui/SingleInstance.h"
#endif

namespace {
constexpr const char* kVersion = "Tintara 4.0.0";

constexpr const char* kHelp =
    "usage: tintara [FILE...]             open the files (in the running program, if there is one)\n"
    "  -render EVENTFILE                  replay unattended and write NAME.bmp and NAME.te4; exit 8..12\n"
    "  -viewer EVENTFILE                  replay unattended without writing; exit 13\n"
    "  -O<FOLDER>                         the folder a render run writes to (default: the file's own)\n"
    "  -T<SECONDS>                        how long a viewer run waits before it reports\n"
    "  -W<NUMBER>                         also send a batch outcome to the caller listening on NUMBER\n"
    "  -export OUT IN                     convert IN (.tci .bmp .jpg .png .tes .te3 .te4 .zov) to OUT\n"
    "  --version                          print the version\n"
    "  --selftest-image OUT.bmp           write the pixel-operations test picture\n"
    "  --help                             this text\n";

// The JPEG settings of a conversion are the profile's, read without touching the file.
tintara::JpegOptions JpegSettings() {
#ifdef TINTARA_WITH_GUI
  tintara::CAppProfile profile;
  profile.LoadAll(
      tintara::CQtSettingsStore(tintara::CQtSettingsStore::DefaultPath(), tintara::kAppSettingsKey, true));
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
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
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
    if (options.exportMissing || options.batch || !options.files.empty()) {
      std::fputs("tintara: -export takes exactly an output and an input file: tintara -export OUT IN\n",
                 stderr);
      tintara::SetNotifySink(nullptr);
      return Usage();
    }
    const tintara::ExportOutcome done =
        tintara::ExportFile(options.exportOut, options.exportIn, JpegSettings);
    if (done.exitStatus != 0) std::fprintf(stderr, "tintara: %s\n", done.message.c_str());
    tintara::SetNotifySink(nullptr);
    return done.exitStatus;
  }
#ifdef TINTARA_WITH_GUI
  if (!options.batch) return tintara::RunGui(argc, argv, options, warnings);
#endif
  // Unattended: nothing may wait for a person, so texts go to stderr and questions take
  // their safe answer.
  tintara::CTerminalNotifySink terminal;
  tintara::SetNotifySink(&terminal);
  for (const std::string& w : warnings) tintara::ShowWarning(w);
  if (!options.batch) return Usage();
  // The outcome code is also the exit status, so that a calling script can tell them apart.
  const tintara::BatchReport report = tintara::RunBatch(options);
  tintara::SetNotifySink(nullptr);
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
