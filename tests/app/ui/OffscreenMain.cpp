// The main of the window tests that need nothing but a private, display-free session: the
// offscreen platform, a runtime folder (mode 0700) and a settings folder of the run's own, so
// no test touches the user's settings, and the pixel tables built once.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

#include <filesystem>
#include <string>

#include "OffscreenMain.h"
#include "pixel/Arith.h"

namespace {
std::string gRoot;
}  // namespace

const std::string& tintara::test::OffscreenRoot() { return gRoot; }

int main(int argc, char** argv) {
  char tmpl[] = "/tmp/tintara-gui-XXXXXX";
  const char* root = mkdtemp(tmpl);
  if (!root) return 1;
  gRoot = root;
  const std::string runtime = std::string(root) + "/run", config = std::string(root) + "/config";
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  std::filesystem::create_directories(config);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  tintara::InitPixelTables();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  std::filesystem::remove_all(root);
  return status;
}
