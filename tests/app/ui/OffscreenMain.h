// The private folder of a window-test run (its runtime and settings folders lie inside), made
// by the shared offscreen main before any test runs.
#pragma once

#include <string>

namespace tintara::test {
const std::string& OffscreenRoot();
}  // namespace tintara::test
