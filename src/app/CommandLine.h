// The start-up command line: switches for the unattended batch runs and the files to open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tintara {

struct StartupOptions {
  bool batch = false;   // "render" or "viewer": unattended, no single-instance check
  bool viewer = false;  // a batch run that only replays
  std::string outputDir;
  int64_t notifyWindow = 0;  // the caller that is told the outcome; 0 for none
  int32_t waitSeconds = 0;
  std::vector<std::string> files;
  // "-export OUT IN": converts IN into OUT without a window. `exportMissing` when the switch
  // lacks one of its two arguments.
  bool exportRun = false;
  bool exportMissing = false;
  std::string exportOut, exportIn;
  bool Render() const { return batch && !viewer; }
};

// Reads the arguments after the program name. An argument that begins with '-' is a switch
// (compared without regard to case); every other argument is a file to open. An unknown
// switch is reported through the warning sink and start-up goes on. "-export" takes the next
// two arguments as its output and input, whatever they begin with.
StartupOptions ParseCommandLine(const std::vector<std::string>& args);

}  // namespace tintara
