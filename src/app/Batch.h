// The unattended runs: a render run replays an event file and writes its picture; a viewer
// run only replays it. The outcome code is what the caller is told and the exit status.
#pragma once

#include <cstdint>
#include <string>

#include "app/CommandLine.h"

namespace tintara {

struct BatchReport {
  int32_t code = 9;             // 8..13
  std::string picture, events;  // what a render run wrote
};

// Runs the first file of the command line; the first outcome ends the run, so later files
// are not opened.
// `sleepSeconds` waits in a viewer run (injectable so tests need not wait).
BatchReport RunBatch(const StartupOptions& options, void (*sleepSeconds)(int32_t) = nullptr);

// "render ..." text for the outcome, for the terminal.
std::string BatchOutcomeText(int32_t code);

}  // namespace tintara
