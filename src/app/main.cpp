// Tintara's command-line entry point (until the interface is built).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/Batch.h"
#include "app/CommandLine.h"
#include "app/Export.h"
#include "app/SelfTest.h"
#include "pixel/Arith.h"

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
  const tintara::StartupOptions options =
      tintara::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (options.exportRun) {
    if (options.exportMissing) {
      std::fputs("tintara: -export needs an output and an input file: tintara -export OUT IN\n", stderr);
      return Usage();
    }
    const tintara::ExportOutcome done = tintara::ExportFile(options.exportOut, options.exportIn);
    if (done.exitStatus != 0) std::fprintf(stderr, "tintara: %s\n", done.message.c_str());
    return done.exitStatus;
  }
  if (!options.batch) return Usage();
  // The outcome code is also the exit status, so that a calling script can tell them apart.
  const tintara::BatchReport report = tintara::RunBatch(options);
  std::fprintf(report.code == 8 || report.code == 13 ? stdout : stderr, "tintara: %s (%d)\n",
               tintara::BatchOutcomeText(report.code).c_str(), report.code);
  if (!report.picture.empty() && report.code == 8)
    std::printf("wrote %s\nwrote %s\n", report.picture.c_str(), report.events.c_str());
  return report.code;
}
