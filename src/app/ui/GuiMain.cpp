#include "app/ui/GuiMain.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/AppProfile.h"
#include "app/ShellRules.h"
#include "app/ui/DrawWindow.h"
#include "app/ui/MainForm.h"
#include "app/ui/MessageBoxes.h"
#include "app/ui/QtSettingsStore.h"
#include "app/ui/SingleInstance.h"

namespace tintara {

namespace {

// A session that ends (SIGTERM, SIGHUP) closes the windows as the user would, so the
// settings are saved; the handler only raises a flag that the event loop looks at.
std::atomic<bool> gEndRequested{false};
extern "C" void RequestEnd(int) { gEndRequested = true; }

}  // namespace

int RunGui(int argc, char** argv, const StartupOptions& options, const std::vector<std::string>& warnings) {
  // Without any display Qt would abort; say what can be done instead.
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    for (const std::string& w : warnings) std::fprintf(stderr, "tintara: %s\n", w.c_str());
    std::fputs(
        "tintara: no display to open the windows on (DISPLAY and WAYLAND_DISPLAY are unset);\n"
        "         -render or -viewer replay an event file without one, -export converts a picture\n",
        stderr);
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tintara4.0"));
  CQtNotifySink boxes;
  INotifySink* previousSink = SetNotifySink(&boxes);
  // A palette display shows pictures badly; the user may still go on.
  if (const QScreen* screen = QGuiApplication::primaryScreen(); screen && screen->depth() < 15) {
    const std::string question =
        std::string(kProductName) +
        " はパレットモードでの動作には対応していません!\r16bit カラー以上でご使用ください "
        "(** 32bit カラーが最適です **)\r\rそれでも起動しますか?";
    if (AskConfirm(question, ConfirmButtons::YesNo) != ConfirmAnswer::Yes) {
      SetNotifySink(previousSink);
      return 0;
    }
  }
  for (const std::string& w : warnings) ShowWarning(w);

  // One interactive instance per user: a later start hands its files over and ends.
  const InstanceStart instance = StartSingleInstance(options.files, &app);
  if (instance.handedOver) {
    SetNotifySink(previousSink);
    return 0;
  }

  AppEnvironment env = GatherEnvironment();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    env.screenWidth = screen->geometry().width();
    env.screenHeight = screen->geometry().height();
  }
  CAppProfile profile(env);
  CQtSettingsStore store(CQtSettingsStore::DefaultPath());
  profile.LoadAll(store);

  // The interface texts of the companion module beside the program, when there is one.
  const QFileInfo program(QCoreApplication::applicationFilePath());
  const std::string module =
      (program.absolutePath() + QLatin1Char('/') + program.completeBaseName() + QStringLiteral(".enu"))
          .toStdString();
  shell::ResourceTable texts;
  switch (shell::LoadResourceModule(module, texts)) {
    case shell::ResourceLoad::kUnreadable:
      ShowWarning(shell::ResourceFailedMessage(module));
      SetNotifySink(previousSink);
      return 1;
    case shell::ResourceLoad::kLoaded:
      shell::SetResourceTable(std::move(texts));
      profile.Env().languageGroup = 2;
      break;
    case shell::ResourceLoad::kAbsent:
      break;
  }

  int status = 0;
  {
    TMainForm form(profile, &store, options.Render());
    boxes.SetMainWindow(&form);
    const WindowSettings& ws = profile.window;
    if (ws.mainWinW >= CAppProfile::kMinMainWinSize && ws.mainWinH >= CAppProfile::kMinMainWinSize)
      form.setGeometry(ws.mainWinX, ws.mainWinY, ws.mainWinW, ws.mainWinH);
    else
      form.resize(1024, 720);
    if (instance.server) {
      instance.server->openFile = [&form](const std::string& path) { return form.OpenFile(path) != nullptr; };
      instance.server->activate = [&form] { form.BringToFront(); };
    }
    // Made absolute, so that the recent list and the windows name them from anywhere.
    std::vector<std::string> files;
    for (const std::string& f : options.files)
      files.push_back(QFileInfo(QString::fromStdString(f)).absoluteFilePath().toStdString());
    form.SetStartupFiles(files);
    std::signal(SIGTERM, RequestEnd);
    std::signal(SIGHUP, RequestEnd);
    QTimer endWatch;
    QObject::connect(&endWatch, &QTimer::timeout, &form, [&form] {
      if (gEndRequested.exchange(false)) form.close();
    });
    endWatch.start(100);
    form.RestorePaletteLayout();
    if (ws.mainWinMax) {
      // Without a window manager nobody maximises: the window takes the screen itself.
      if (const QScreen* screen = QGuiApplication::primaryScreen())
        form.setGeometry(screen->availableGeometry());
      form.showMaximized();
    } else
      form.show();
    status = app.exec();
    form.SaveAtExit();
    // The main window's place for the next start.
    profile.window.mainWinMax = form.isMaximized();
    if (!form.isMaximized() && !form.isMinimized()) {
      const QRect g = form.geometry();
      profile.window.mainWinX = g.x();
      profile.window.mainWinY = g.y();
      profile.window.mainWinW = g.width();
      profile.window.mainWinH = g.height();
    }
    boxes.SetMainWindow(nullptr);
  }
  profile.SaveAll(store);
  store.Sync();
  SetNotifySink(previousSink);
  return status;
}

}  // namespace tintara
