// The frame window: the menus and their commands, the picture windows in an MDI area, the
// status bar's four panels, the recent-file list, the window list, the 30 ms tick, dropped
// files, and the open and save operations every file command goes through.
#pragma once

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/AppProfile.h"
#include "app/ColorMngr.h"
#include "app/DockingRecord.h"
#include "app/ModeMngr.h"
#include "app/PictureDocument.h"
#include "app/RecentFiles.h"
#include "app/ui/Palette.h"
#include "files/GraphicsLib.h"
#include "paint/PenMethod.h"

class QAction;
class QDockWidget;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace tintara {

namespace shell {
struct CommandEntry;
}  // namespace shell

class TDrawWindow;
class ISettingsStore;
class TTabletInput;

// What a file dialog is asked for; tests answer it through TMainForm::fileDialog.
struct FileDialogRequest {
  bool save = false;
  QString caption, folder, proposedName, defaultSuffix;
  QStringList filters;  // in Qt's form
  int filterIndex = 0;  // 0-based
};
struct FileDialogAnswer {
  QString path;  // empty: cancelled
  int filterIndex = 0;
};

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  // `store` keeps the recent-file list (may be null: the list is not kept).
  TMainForm(CAppProfile& profile, ISettingsStore* store, bool renderRun = false, QWidget* parent = nullptr);
  ~TMainForm() override;

  // "Tintara4.06 Deva", with " Render!" in a render run.
  static QString MainTitle(bool renderRun);

  // --- the operations of the file commands ---------------------------------------------------
  // The general open operation: the window that shows the file, or null.
  // `kept` (when given) says that the path was open with changes and the user kept them.
  TDrawWindow* OpenFile(const std::string& path, bool* kept = nullptr);
  TDrawWindow* NewPicture(int32_t width, int32_t height, int32_t dpi, bool transparent);
  bool Save(TDrawWindow& w);
  bool SaveAs(TDrawWindow& w);
  // Saves under `path` by its kind; `messages` shows success and failure boxes. `cancelled`
  // (when given) says that the user cancelled an options dialog, which is no failure.
  bool SaveByKind(TDrawWindow& w, const std::string& path, bool messages, std::string* done = nullptr,
                  bool* cancelled = nullptr);
  bool SaveAutoBmp(TDrawWindow& w);
  bool SaveLayer(TDrawWindow& w);
  TDrawWindow* OpenEvent();
  bool SaveEvent(TDrawWindow& w, bool guarded);
  // The user's end of recording: asks, offers to save the events, then empties the stream.
  bool StopRecording(TDrawWindow& w);
  void RunNewPictureDialog();
  void RunOpenDialog();
  // Opens each path of a drop (or the command line) that exists; warns for the others.
  void OpenDropped(const std::vector<std::string>& paths);

  // --- windows -------------------------------------------------------------------------------
  TDrawWindow* ActiveDrawWindow() const;
  std::vector<TDrawWindow*> DrawWindows() const;
  QMdiArea* Mdi() const { return mdi_; }
  void ActivateWindow(TDrawWindow* w);
  // The size and place of a picture window for its picture at the current zoom.
  void FitWindow(TDrawWindow& w, bool placeNew);
  // Brings the main window to the front (a second start handed files over).
  void BringToFront();

  // --- state for the tests and the shell ------------------------------------------------------
  QAction* Action(const std::string& name) const;
  const std::map<std::string, QAction*>& Actions() const { return actions_; }
  QLabel* Panel(int i) const { return panels_[i]; }
  CRecentFiles& Recent() { return recent_; }
  // The one tool-mode manager, the user's pen and colours that every picture window shares.
  CModeMngr& Modes() { return modes_; }
  CLivePen& Pen() { return pen_; }
  CColorMngr& Colours() { return colours_; }
  // The settings store (null when nothing is kept, as in some tests).
  ISettingsStore* Store() const { return store_; }
  // The user's brushes (the default set to begin with).
  CPenMethodMngr& Brushes() { return brushes_; }
  // The pen tips (the built-in set to begin with); the current one is the pen's when it is in the list.
  CPenShapeMngr& Tips() { return tips_; }
  TTabletInput* Tablet() const { return tablet_; }

  // --- palette windows -------------------------------------------------------------------------
  // Docks a palette (owned by its dock from then on) and gives its actShow… command an operation.
  // Palettes are added before the menus are built.
  void AddPalette(const PaletteSpec& spec, TPaletteWindow* window);
  TPaletteWindow* Palette(const std::string& prefix) const;
  QDockWidget* PaletteDock(const std::string& prefix) const;
  // The actShow… command: a palette in a tabbed site comes to the front of it first; then it is
  // shown if hidden and hidden if shown.
  void TogglePalette(const std::string& prefix);
  // The docking layout: each palette's visibility in the profile, and the docks' arrangement in
  // the settings store. Restore runs once every palette exists.
  void RestorePaletteLayout();
  void SavePaletteLayout();
  // The main window's part of the exit: the colours into the profile, then the layout.
  void SaveAtExit();
  // The tabbed sites as the profile's docking records: each group of docks that share a place,
  // its clients by palette number in tab order, the active tab, the site's bounds on the screen.
  std::vector<DockSiteRecord> DockingSites() const;
  // Groups the docks as the records say (used when Qt's own arrangement is not stored).
  void ApplyDockingSites(const std::vector<DockSiteRecord>& sites);
  // The palette window number of a profile prefix (-1 for none).
  static int32_t PaletteNumber(const std::string& prefix);
  // A tool was chosen outside a picture window (the tool box): the windows' cursors follow.
  void ToolChanged();
  QMenu* FileMenu() const { return fileMenu_; }
  QMenu* WindowMenu() const { return windowMenu_; }
  // Runs the 30 ms tick's work once (the timer calls it).
  void Tick();
  // Recomputes every command's enabled and checked state.
  void UpdateCommands();
  // The commands of a palette's pop-up menu that exist in this build, in their order, with
  // their separators and enabled as now.
  void AddCommandsTo(QMenu& menu, const std::vector<shell::CommandEntry>& commands);
  void RefreshStatus();
  // Replays step once per tick instead of as much as the tick allows.
  bool EventWait() const { return profile_.config.eventWait; }
  // The settings the windows and tools read while they work (the tool options change some).
  ConfigSettings& Config() { return profile_.config; }
  // The files of the command line, opened at the first show.
  void SetStartupFiles(std::vector<std::string> files) { startupFiles_ = std::move(files); }
  bool StartupFilesOpened() const { return startupOpened_; }
  // Rebuilds the recent entries of the File menu and the window list.
  void RebuildRecentMenu();
  void RebuildWindowMenu();
  // The zoom steps offered by a click on the zoom panel.
  QMenu* ZoomMenu();
  // The rotation angles offered by a click on the rotation panel.
  QMenu* RotationMenu();
  // The window commands' tiling: side by side (columns) or one above the other (rows).
  void TileWindows(bool sideBySide);
  void SetStatusMessage(const QString& text);

  // Tests answer file dialogs here; without it the program's dialog runs.
  std::function<FileDialogAnswer(const FileDialogRequest&)> fileDialog;
  // The JPEG quality; without it the program's dialog runs. False: cancelled.
  std::function<bool(JpegOptions&)> jpegDialog;

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void BuildMenus();
  QAction* AddCommand(QMenu* menu, const std::string& name, const char* caption, const QKeySequence& key,
                      const char* hint, std::function<void()> run, std::function<bool()> enabled,
                      std::function<bool()> checked = {});
  // A command of the table with its operation, enabled and checked by the table's rules.
  QAction* AddTableCommand(QMenu* menu, const shell::CommandEntry& c, std::function<void()> run);
  TDrawWindow* CreateDrawWindow();
  TDrawWindow* FindByPath(const std::string& path) const;
  void AddRecent(const std::string& path);
  void RemoveRecent(const std::string& path);
  void SaveRecent();
  FileDialogAnswer AskFile(const FileDialogRequest& r);
  bool AskJpeg(JpegOptions& o);
  void OpenStartupFiles();
  // The window keeps `path` ("" for none) and is titled and remembered by `title`.
  void Remembered(TDrawWindow& w, const std::string& path, const std::string& title);

  CAppProfile& profile_;
  ISettingsStore* store_;
  bool renderRun_;
  QMdiArea* mdi_;
  QLabel* panels_[4] = {};
  QMenu *fileMenu_ = nullptr, *windowMenu_ = nullptr;
  QAction* exitSeparator_ = nullptr;
  std::vector<QAction*> recentActions_;
  std::vector<QAction*> windowActions_;
  QMenu* zoomMenu_ = nullptr;
  QMenu* rotationMenu_ = nullptr;
  std::map<std::string, QAction*> actions_;
  std::map<QAction*, std::function<bool()>> enabledRules_, checkedRules_;
  CRecentFiles recent_;
  CModeMngr modes_;
  CLivePen pen_;
  CColorMngr colours_;
  CPenMethodMngr brushes_;
  CPenShapeMngr tips_;
  TTabletInput* tablet_ = nullptr;
  struct PaletteEntry {
    PaletteSpec spec;
    TPaletteWindow* window = nullptr;
    QDockWidget* dock = nullptr;
  };
  std::vector<PaletteEntry> palettes_;
  void CreatePalettes();
  void TellPalettes(TDrawWindow* active);
  void KeepFloatingPalettesOnScreen();
  // The floating places of the profile's "window" section.
  void PlaceFloatingPalettes();
  QTimer tick_;
  int placed_ = 0;  // the diagonal place of the next new window
  std::vector<std::string> startupFiles_;
  bool startupOpened_ = false;
};

}  // namespace tintara
