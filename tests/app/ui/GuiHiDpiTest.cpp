// The picture window on a display of two device pixels per point: the view works in device
// pixels, so at 100 % one picture pixel is one device pixel.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QImage>

#include <filesystem>

#include "app/AppProfile.h"
#include "app/ui/DrawWindow.h"
#include "app/ui/MainForm.h"
#include "pixel/Arith.h"
#include "pixel/ColorOps.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

TEST(HiDpi, ViewBufferIsInDevicePixels) {
  RecordingNotifySink notes;
  CAppProfile profile;
  TMainForm form(profile, nullptr);
  form.resize(800, 600);
  form.show();
  TDrawWindow* w = form.NewPicture(64, 64, 72, false);
  ASSERT_NE(w, nullptr);
  ASSERT_GE(w->Paper().NewLayer(w->Doc().Flow(), kModeNormal, 0xFFFF0000u, ""), 0);
  w->showMaximized();
  QCoreApplication::processEvents();
  ASSERT_DOUBLE_EQ(w->View().devicePixelRatioF(), 2.0);
  const QSize logical = w->View().viewport()->size();
  EXPECT_EQ(w->View().DeviceClient(), logical * 2);
  // Zoomed out the paper fills its view buffer for the whole device-sized client.
  w->ZoomOut();
  QCoreApplication::processEvents();
  EXPECT_EQ(w->Paper().viewBuffer.Width(), logical.width() * 2);
  EXPECT_EQ(w->Paper().viewBuffer.Height(), logical.height() * 2);
  w->ZoomActual();
  QCoreApplication::processEvents();
  // The red picture is 64 device pixels wide: 32 points.
  const QImage shot = w->View().viewport()->grab().toImage();
  ASSERT_EQ(shot.width(), logical.width() * 2);
  const int cy = shot.height() / 2;
  int red = 0;
  for (int x = 0; x < shot.width(); ++x) red += QColor(shot.pixel(x, cy)) == QColor(255, 0, 0) ? 1 : 0;
  EXPECT_EQ(red, 64);
  w->Doc().modified = false;
}

}  // namespace
}  // namespace tintara

int main(int argc, char** argv) {
  char tmpl[] = "/tmp/tintara-hidpi-XXXXXX";
  const char* root = mkdtemp(tmpl);
  if (!root) return 1;
  const std::string runtime = std::string(root) + "/run";
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("QT_SCALE_FACTOR", "2", 1);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  setenv("XDG_CONFIG_HOME", root, 1);
  tintara::InitPixelTables();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  std::filesystem::remove_all(root);
  return status;
}
