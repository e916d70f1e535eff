// The interactive program: start-up, the message loop and shutdown.
#pragma once

#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace tintara {

// Runs the windows for a command line that is not a batch run. `warnings` are the command
// line's own, shown once the boxes can be. Returns the exit status.
int RunGui(int argc, char** argv, const StartupOptions& options,
           const std::vector<std::string>& warnings = {});

}  // namespace tintara
