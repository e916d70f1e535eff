#include "app/ui/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDate>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QImage>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabBar>
#include <QUrl>

#include <algorithm>
#include <filesystem>

#include "app/ui/BrushWindows.h"
#include "app/ui/ColorWindows.h"
#include "app/ui/DrawWindow.h"
#include "app/ui/LayerWindow.h"
#include "app/ui/MessageBoxes.h"
#include "app/ui/NewWindow.h"
#include "app/ui/OptWindow.h"
#include "app/ui/PenTipWindows.h"
#include "app/ui/PenWindow.h"
#include "app/ui/PreviewWindow.h"
#include "app/ui/SelectWindow.h"
#include "app/ui/ShellCore.h"
#include "app/ui/TabletInput.h"
#include "app/ui/ToolsWindow.h"
#include "document/BlendModes.h"
#include "events/EventFile.h"
#include "platform/Strings.h"

namespace tintara {

namespace {

namespace fs = std::filesystem;

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Q(const char* s) { return QString::fromUtf8(s); }

std::string FolderOf(const QString& path) { return QFileInfo(path).absolutePath().toStdString() + "/"; }

bool SamePath(const std::string& a, const std::string& b) {
  return QString::compare(Q(a), Q(b), Qt::CaseInsensitive) == 0;
}

constexpr int kTickMs = 30;

}  // namespace

QString TMainForm::MainTitle(bool renderRun) { return Q(shell::MainTitle(renderRun)); }

TMainForm::TMainForm(CAppProfile& profile, ISettingsStore* store, bool renderRun, QWidget* parent)
    : QMainWindow(parent), profile_(profile), store_(store), renderRun_(renderRun) {
  setWindowTitle(MainTitle(renderRun));
  setAcceptDrops(true);
  mdi_ = new QMdiArea(this);
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdi_);
  // The four panels: zoom, rotation, the picture window's own, messages.
  static constexpr int kWidths[3] = {50, 50, 100};
  for (int i = 0; i < 4; ++i) {
    panels_[i] = new QLabel(this);
    panels_[i]->setTextFormat(Qt::PlainText);
    if (i < 3) {
      panels_[i]->setMinimumWidth(kWidths[i]);
      panels_[i]->setAlignment(Qt::AlignCenter);
      if (i < 2) panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Raised);
      statusBar()->addWidget(panels_[i]);
    } else {
      panels_[i]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      statusBar()->addWidget(panels_[i], 1);
    }
  }
  panels_[0]->installEventFilter(this);
  panels_[1]->installEventFilter(this);
  mdi_->viewport()->installEventFilter(this);
  if (store_) recent_.Load(*store_);
  colours_.Create(pen_.stroke, profile_);
  // The pen starts as the first brush of the set.
  brushes_.FillDefault();
  tips_.FillBuiltIn();
  if (const CPenMethodObj* first = brushes_.Current()) ApplyBrushToPen(*this, *first);
  tablet_ = new TTabletInput(*this, profile_.config.ignoreTablet);
  modes_.toolAvailable = [](int32_t tool) {
    const std::vector<int32_t>& offered = TToolsWindow::OfferedTools();
    return std::find(offered.begin(), offered.end(), tool) != offered.end();
  };
  modes_.onChanged = [this] { ToolChanged(); };
  setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks | QMainWindow::AllowNestedDocks);
  CreatePalettes();
  BuildMenus();
  RebuildRecentMenu();
  connect(mdi_, &QMdiArea::subWindowActivated, this, [this] {
    RefreshStatus();
    UpdateCommands();
    TellPalettes(ActiveDrawWindow());
  });
  connect(&tick_, &QTimer::timeout, this, &TMainForm::Tick);
  tick_.start(kTickMs);
  RefreshStatus();
}

TMainForm::~TMainForm() {
  // The picture windows go with the MDI area after this body: nothing may call back meanwhile.
  tick_.stop();
  disconnect(mdi_, nullptr, this, nullptr);
  // They share the pen and the tool modes this window owns: they go while those still exist.
  for (TDrawWindow* w : DrawWindows()) delete w;
  // The palettes listen to the colour manager, a member that goes before the child widgets.
  for (PaletteEntry& p : palettes_) delete p.dock;
  palettes_.clear();
}

// --- commands ---------------------------------------------------------------------------------

QAction* TMainForm::Action(const std::string& name) const {
  auto it = actions_.find(name);
  return it == actions_.end() ? nullptr : it->second;
}

QAction* TMainForm::AddCommand(QMenu* menu, const std::string& name, const char* caption,
                               const QKeySequence& key, const char* hint, std::function<void()> run,
                               std::function<bool()> enabled, std::function<bool()> checked) {
  auto* a = new QAction(Q(caption), this);
  a->setObjectName(Q(name));
  if (!key.isEmpty()) a->setShortcut(key);
  if (hint && *hint) a->setStatusTip(Q(hint));
  if (checked) a->setCheckable(true);
  connect(a, &QAction::triggered, this, [run = std::move(run)] { run(); });
  // A command on no menu of the main window still takes its keys here.
  if (menu)
    menu->addAction(a);
  else
    addAction(a);
  actions_[name] = a;
  enabledRules_[a] = std::move(enabled);
  if (checked) checkedRules_[a] = std::move(checked);
  return a;
}

QAction* TMainForm::AddTableCommand(QMenu* menu, const shell::CommandEntry& c, std::function<void()> run) {
  // Captions and hints may come from the interface module; the rules from the command table.
  return AddCommand(
      menu, c.name, shell::Text(c.name, c.caption).c_str(), QKeySequence(Q(c.shortcut)),
      shell::Text(c.name + ".hint", c.hint).c_str(), std::move(run),
      [this, name = c.name] { return shell::CommandEnabled(name, shell::ContextOf(*this)); },
      c.checkable ? std::function<bool()>([this, name = c.name] {
        return shell::CommandChecked(name, shell::ContextOf(*this));
      })
                  : std::function<bool()>());
}

void TMainForm::AddCommandsTo(QMenu& menu, const std::vector<shell::CommandEntry>& commands) {
  UpdateCommands();
  for (const shell::CommandEntry& c : commands) {
    QAction* a = Action(c.name);
    if (!a) continue;  // its operation does not exist in this build
    if (c.separatorBefore && !menu.isEmpty()) menu.addSeparator();
    menu.addAction(a);
  }
}

void TMainForm::UpdateCommands() {
  for (auto& [a, rule] : enabledRules_) a->setEnabled(!rule || rule());
  for (auto& [a, rule] : checkedRules_) a->setChecked(rule());
}

void TMainForm::BuildMenus() {
  // Commands are listed, captioned and enabled by the shell's command table; the Qt side only
  // gives each its operation.
  shell::CommandHandlers run;
  auto active = [this] { return ActiveDrawWindow(); };
  auto with = [this](auto f) {
    return [this, f] {
      if (TDrawWindow* w = ActiveDrawWindow()) f(*w);
    };
  };
  run["actFileNew"] = [this] { RunNewPictureDialog(); };
  run["actFileOpen"] = [this] { RunOpenDialog(); };
  run["actFileReopen"] = with([this](TDrawWindow& w) { OpenFile(w.Doc().path); });
  run["actFileSave"] = with([this](TDrawWindow& w) { Save(w); });
  run["actFileSaveAs"] = with([this](TDrawWindow& w) { SaveAs(w); });
  run["actFileClose"] = with([](TDrawWindow& w) { w.close(); });
  run["actSaveAutoBmp"] = with([this](TDrawWindow& w) { SaveAutoBmp(w); });
  run["actCloseApp"] = [this] { close(); };
  run["actEditUndo"] = with([](TDrawWindow& w) {
    w.Paper().Undo(w.Doc().Flow());
    w.InvalidateView(false);
  });
  run["actEditRedo"] = with([](TDrawWindow& w) {
    w.Paper().Redo(w.Doc().Flow());
    w.InvalidateView(false);
  });
  run["actEditUndoClear"] = with([](TDrawWindow& w) { w.Paper().ClearUndoAsked(); });
  run["actLayerDuplicate"] = with([](TDrawWindow& w) {
    w.Paper().DuplicateLayer(w.Doc().Flow(), w.Paper().ActiveIndex());
    w.InvalidateView(false);
  });
  run["actLayerBindBelow"] = with([](TDrawWindow& w) {
    w.Paper().MergeDown(w.Doc().Flow(), w.Paper().ActiveIndex(), false);
    w.InvalidateView(false);
  });
  run["actLayerBindAll"] = with([](TDrawWindow& w) {
    w.Paper().FlattenVisible(w.Doc().Flow(), false);
    w.InvalidateView(false);
  });
  run["actLayerBindAllTP"] = with([](TDrawWindow& w) {
    w.Paper().FlattenVisible(w.Doc().Flow(), true);
    w.InvalidateView(false);
  });
  run["actLayerVisAll"] = with([](TDrawWindow& w) { w.Paper().ShowAll(true); });
  run["actLayerHideAll"] = with([](TDrawWindow& w) { w.Paper().ShowAll(false); });
  run["actLayerVisOnly"] = with([](TDrawWindow& w) { w.Paper().ShowOnly(w.Paper().ActiveIndex()); });
  run["actLayerVisFlip"] = with([](TDrawWindow& w) { w.Paper().InvertVisibility(); });
  run["actLayerMaskNega"] =
      with([](TDrawWindow& w) { w.Paper().InvertAlpha(w.Doc().Flow(), w.Paper().ActiveIndex()); });
  run["actLayerMaskFill"] =
      with([](TDrawWindow& w) { w.Paper().FillAlpha(w.Doc().Flow(), w.Paper().ActiveIndex()); });
  run["actLayerMaskClear"] =
      with([](TDrawWindow& w) { w.Paper().ClearAlpha(w.Doc().Flow(), w.Paper().ActiveIndex()); });
  run["actLayerCutOutside"] =
      with([](TDrawWindow& w) { w.Paper().RemoveOutsidePaper(w.Doc().Flow(), w.Paper().ActiveIndex()); });
  run["actLayerGroupIn"] =
      with([](TDrawWindow& w) { w.Paper().GroupIn(w.Doc().Flow(), w.Paper().ActiveIndex()); });
  run["actLayerGroupOut"] =
      with([](TDrawWindow& w) { w.Paper().GroupOut(w.Doc().Flow(), w.Paper().ActiveIndex()); });
  run["actLayerGroupBind"] =
      with([](TDrawWindow& w) { w.Paper().MergeGroup(w.Doc().Flow(), w.Paper().ActiveIndex()); });
  run["actLayerGroupDel"] =
      with([](TDrawWindow& w) { w.Paper().DeleteGroup(w.Doc().Flow(), w.Paper().ActiveIndex()); });
  run["actLayerSave"] = with([this](TDrawWindow& w) { SaveLayer(w); });
  // The layer window's own commands.
  const std::pair<const char*, int32_t> creates[] = {{"actCreateLayerStd", kModeNormal},
                                                     {"actCreateLayerMul", kModeMultiply},
                                                     {"actCreateLayerAdd", kModeAdd},
                                                     {"actCreateLayerSub", kModeSubtract}};
  for (const auto& [name, mode] : creates)
    run[name] = with([mode = mode](TDrawWindow& w) {
      // Filled with its mode's neutral colour, clear.
      w.Paper().NewLayer(w.Doc().Flow(), mode, NeutralColor(mode) & 0x00FFFFFF, std::string());
      w.InvalidateView(false);
    });
  run["actDeleteCurLayer"] = with([](TDrawWindow& w) {
    w.Paper().DeleteLayer(w.Doc().Flow(), w.Paper().ActiveIndex());
    w.InvalidateView(false);
  });
  run["actProtectLayerMask"] = with([](TDrawWindow& w) {
    if (const CLayerData* l = w.Paper().ActiveLayer())
      w.Paper().SetLayerProtectAlpha(w.Paper().ActiveIndex(), !l->protectAlpha);
  });
  run["actLayerBindLower"] = run["actLayerBindBelow"];
  run["actLayerCreate"] = [this] {
    if (auto* layers = dynamic_cast<TLayerWindow2*>(Palette("layer"))) layers->NewLayerAsked();
  };
  // The selection window's.
  run["actSelectInsert"] = with([](TDrawWindow& w) {
    w.Paper().NewSelectionMask(w.Paper().masks.ActiveIndex() + 1);
    w.InvalidateView(false);
  });
  run["actSelectRemove"] = with([](TDrawWindow& w) {
    w.Paper().RemoveSelectionMask(-1);
    w.InvalidateView(false);
  });
  run["actSelectDuplicate"] = with([](TDrawWindow& w) {
    w.Paper().DuplicateMask(w.Paper().masks.ActiveIndex());
    w.InvalidateView(false);
  });
  run["actSelectFromLayerValue"] = with([](TDrawWindow& w) {
    w.Paper().SelectionFromLayer(w.Paper().ActiveIndex(), true, false);
    w.InvalidateView(false);
  });
  run["actSelectFromLayerMask"] = with([](TDrawWindow& w) {
    w.Paper().SelectionFromLayer(w.Paper().ActiveIndex(), false, false);
    w.InvalidateView(false);
  });
  run["actLayerShowInfo"] = with([this](TDrawWindow& w) {
    if (auto* layers = dynamic_cast<TLayerWindow2*>(Palette("layer")))
      layers->SettingsAsked(w.Paper().ActiveIndex());
  });
  run["actFileOpenEvent"] = [this] { OpenEvent(); };
  run["actFileSaveEvent"] = with([this](TDrawWindow& w) { SaveEvent(w, false); });
  run["actFileSaveEventGuard"] = with([this](TDrawWindow& w) { SaveEvent(w, true); });
  run["actEventPlayPause"] = with([](TDrawWindow& w) { w.Doc().PauseReplay(); });
  run["actEventPlayResume"] = with([](TDrawWindow& w) { w.Doc().ResumeReplay(); });
  run["actEventPlayStop"] = with([](TDrawWindow& w) {
    w.Doc().StopReplay();
    w.RefreshCaption();
  });
  run["actEventRecStop"] = with([this](TDrawWindow& w) { StopRecording(w); });
  run["actEventWait"] = [this] { profile_.config.eventWait = !profile_.config.eventWait; };
  run["actShowGrid"] = with([this](TDrawWindow& w) {
    w.Paper().SetGrid(!w.Paper().gridOn, profile_.config.gridW, profile_.config.gridH, true);
  });
  run["actEditVisCanvasColor"] = with([](TDrawWindow& w) {
    w.Paper().SetPaperColorOn(!w.Paper().paperColorOn);
    w.InvalidateView(false);
  });
  run["actEditVisBGPattern"] = with([](TDrawWindow& w) {
    w.Paper().SetShowChecker(!w.Paper().showChecker);
    w.InvalidateView(false);
  });
  run["actViewZoomIn"] = with([](TDrawWindow& w) { w.ZoomIn(); });
  run["actViewZoomOut"] = with([](TDrawWindow& w) { w.ZoomOut(); });
  run["actViewZoomCancel"] = with([](TDrawWindow& w) { w.ZoomActual(); });
  run["actWindowSizeFit"] = with([this](TDrawWindow& w) { FitWindow(w, false); });
  run["actViewAntiAlias"] = with([](TDrawWindow& w) {
    w.Paper().settings.antialiasedDisplay = !w.Paper().settings.antialiasedDisplay;
    w.InvalidateView(false);
  });
  run["actWindowCascade"] = [this] { mdi_->cascadeSubWindows(); };
  run["actWindowTileVertical"] = [this] { TileWindows(true); };
  run["actWindowTileHorizontal"] = [this] { TileWindows(false); };
  run["actWindowMinimizeAll"] = [this] {
    for (TDrawWindow* w : DrawWindows()) w->showMinimized();
  };
  (void)active;
  for (const PaletteEntry& p : palettes_)
    run[p.spec.command] = [this, prefix = p.spec.prefix] { TogglePalette(prefix); };

  for (const shell::MenuEntry& menu : shell::Menus()) {
    QMenu* m = menuBar()->addMenu(Q(menu.caption));
    if (menu.isFile) fileMenu_ = m;
    if (menu.isWindow) windowMenu_ = m;
    std::map<std::string, QMenu*> submenus;
    for (const shell::CommandEntry& c : menu.commands) {
      auto it = run.find(c.name);
      if (it == run.end()) continue;  // its operation does not exist in this build
      QMenu* target = m;
      if (!c.submenu.empty()) {
        QMenu*& sub = submenus[c.submenu];
        if (!sub) {
          sub = m->addMenu(Q(c.submenu));
          connect(sub, &QMenu::aboutToShow, this, &TMainForm::UpdateCommands);
        }
        target = sub;
      }
      if (c.separatorBefore) target->addSeparator();
      if (c.name == "actCloseApp") exitSeparator_ = m->addSeparator();
      AddTableCommand(target, c, it->second);
    }
    // Menus refresh their commands as they open, besides the tick.
    connect(m, &QMenu::aboutToShow, this, &TMainForm::UpdateCommands);
  }
  // The layer and selection windows' commands that no main menu holds.
  std::vector<shell::CommandEntry> paletteCommands = shell::LayerWindowCommands();
  for (const shell::CommandEntry& c : shell::SelectWindowCommands()) paletteCommands.push_back(c);
  for (const shell::CommandEntry& c : paletteCommands) {
    auto it = run.find(c.name);
    if (Action(c.name) || it == run.end()) continue;
    AddTableCommand(nullptr, c, it->second);
  }
  // Palette toggles on no menu (the tool box's) are still commands of the window.
  for (const PaletteEntry& p : palettes_) {
    if (Action(p.spec.command)) continue;
    // On no menu: "ツールボックスの表示" for the tool box, else the palette's caption.
    auto* a =
        new QAction(p.spec.command == "actShowToolBox" ? Q("ツールボックスの表示") : p.spec.caption, this);
    a->setObjectName(Q(p.spec.command));
    connect(a, &QAction::triggered, this, [this, prefix = p.spec.prefix] { TogglePalette(prefix); });
    addAction(a);
    actions_[p.spec.command] = a;
  }
  if (windowMenu_) {
    windowMenu_->addSeparator();
    connect(windowMenu_, &QMenu::aboutToShow, this, &TMainForm::RebuildWindowMenu);
  }
}

// --- palettes -----------------------------------------------------------------------------------

namespace {
// Where each palette keeps its visibility in the profile's "window" section.
bool* VisibilityOf(WindowSettings& w, const std::string& prefix) {
  static const std::map<std::string, bool WindowSettings::*> keys = {
      {"ctrl", &WindowSettings::ctrlWinVis},
      {"pal", &WindowSettings::palWinVis},
      {"layer", &WindowSettings::layerWinVis},
      {"select", &WindowSettings::selectWinVis},
      {"preview", &WindowSettings::previewWinVis},
      {"gcol", &WindowSettings::gcolWinVis},
      {"rgb", &WindowSettings::rgbWinVis},
      {"hsv", &WindowSettings::hsvWinVis},
      {"grad", &WindowSettings::gradWinVis},
      {"tone", &WindowSettings::toneWinVis},
      {"pen", &WindowSettings::penWinVis},
      {"penShape", &WindowSettings::penShapeWinVis},
      {"penMethod", &WindowSettings::penMethodWinVis},
      {"penShapeList", &WindowSettings::penShapeListWinVis},
      {"penMethodList", &WindowSettings::penMethodListWinVis},
  };
  auto it = keys.find(prefix);
  return it == keys.end() ? nullptr : &(w.*(it->second));
}
// Where a floating palette keeps its place in the profile's "window" section.
struct PlaceKeys {
  int32_t WindowSettings::*x;
  int32_t WindowSettings::*y;
  int32_t WindowSettings::*w = nullptr;  // the windows that keep a size too
  int32_t WindowSettings::*h = nullptr;
};
const PlaceKeys* PlaceOf(const std::string& prefix) {
  static const std::map<std::string, PlaceKeys> keys = {
      {"tool", {&WindowSettings::toolWinX, &WindowSettings::toolWinY}},
      {"ctrl", {&WindowSettings::ctrlWinX, &WindowSettings::ctrlWinY}},
      {"pen", {&WindowSettings::penWinX, &WindowSettings::penWinY}},
      {"pal", {&WindowSettings::palWinX, &WindowSettings::palWinY}},
      {"gcol", {&WindowSettings::gcolWinX, &WindowSettings::gcolWinY}},
      {"rgb", {&WindowSettings::rgbWinX, &WindowSettings::rgbWinY}},
      {"hsv", {&WindowSettings::hsvWinX, &WindowSettings::hsvWinY}},
      {"layer",
       {&WindowSettings::layerWinX, &WindowSettings::layerWinY, &WindowSettings::layerWinW,
        &WindowSettings::layerWinH}},
      {"select",
       {&WindowSettings::selectWinX, &WindowSettings::selectWinY, &WindowSettings::selectWinW,
        &WindowSettings::selectWinH}},
      {"preview",
       {&WindowSettings::previewWinX, &WindowSettings::previewWinY, &WindowSettings::previewWinW,
        &WindowSettings::previewWinH}},
      {"penShape", {&WindowSettings::penShapeWinX, &WindowSettings::penShapeWinY}},
      {"penMethod", {&WindowSettings::penMethodWinX, &WindowSettings::penMethodWinY}},
      {"penShapeList",
       {&WindowSettings::penShapeListWinX, &WindowSettings::penShapeListWinY,
        &WindowSettings::penShapeListWinW, &WindowSettings::penShapeListWinH}},
      {"penMethodList",
       {&WindowSettings::penMethodListWinX, &WindowSettings::penMethodListWinY,
        &WindowSettings::penMethodListWinW, &WindowSettings::penMethodListWinH}},
  };
  auto it = keys.find(prefix);
  return it == keys.end() ? nullptr : &it->second;
}
constexpr const char* kDockStateKey = "docking";
constexpr const char* kDockStateName = "qtState";
}  // namespace

void TMainForm::CreatePalettes() {
  // Made in the program's fixed order (the later ones may look at the earlier), then docked in
  // the order of the designed arrangement.
  auto* tools = new TToolsWindow(*this);
  auto* pen = new TPenWindow2(*this);
  auto* preview = new TPreviewWindow(*this);
  auto* ctrl = new TOptWindow(*this);
  auto* pal = new TPalWindow(*this);
  auto* layer = new TLayerWindow2(*this);
  auto* select = new TSelectWindow(*this);
  auto* gcol = new TGColWindow(*this);
  auto* rgb = new TRgbWindow(*this);
  auto* hsv = new THsvWindow(*this);
  auto* penShape = new TPenShapeWin(*this);
  auto* penMethod = new TPenMethodWin(*this);
  auto* penShapeList = new TPenShpListWin(*this);
  auto* penMethodList = new TPenMtdListWin(*this);
  penMethodList->LoadShortcuts(profile_.brush);
  AddPalette({"actShowToolBox", "tool", Q("ツールボックス"), Qt::LeftDockWidgetArea}, tools);
  AddPalette({"actShowCtrlWindow", "ctrl", Q("コントロール"), Qt::LeftDockWidgetArea}, ctrl);
  AddPalette({"actShowPreviewWindow", "preview", Q("プレビュー"), Qt::RightDockWidgetArea}, preview);
  AddPalette({"actShowSelectWindow", "select", Q("選択範囲"), Qt::RightDockWidgetArea}, select);
  AddPalette({"actShowPenMtdList", "penMethodList", Q("ブラシリスト"), Qt::LeftDockWidgetArea},
             penMethodList);
  AddPalette({"actShowPenMethodWin", "penMethod", Q("ブラシ"), Qt::LeftDockWidgetArea}, penMethod);
  AddPalette({"actShowPenWindow", "pen", Q("旧ペン"), Qt::LeftDockWidgetArea}, pen);
  AddPalette({"actShowPenShpList", "penShapeList", Q("ペン先リスト"), Qt::LeftDockWidgetArea}, penShapeList);
  AddPalette({"actShowPenShapeWin", "penShape", Q("ペン形状"), Qt::LeftDockWidgetArea}, penShape);
  AddPalette({"actShowPalWindow", "pal", Q("カラーパレット"), Qt::RightDockWidgetArea}, pal);
  AddPalette({"actShowColorWindow", "gcol", Q("カラー"), Qt::RightDockWidgetArea}, gcol);
  AddPalette({"actShowRgbWindow", "rgb", Q("RGB"), Qt::RightDockWidgetArea}, rgb);
  AddPalette({"actShowHsvWindow", "hsv", Q("HSV"), Qt::RightDockWidgetArea}, hsv);
  AddPalette({"actShowLayerWindow", "layer", Q("レイヤ"), Qt::RightDockWidgetArea}, layer);
  // The designed arrangement: related palettes share a tabbed site, so that all of them fit
  // a common screen; a stored arrangement replaces it.
  const std::vector<std::vector<std::string>> sites = {
      {"penMethodList", "penShapeList"}, {"penMethod", "penShape", "pen"}, {"gcol", "rgb", "hsv", "pal"}};
  for (const std::vector<std::string>& site : sites) {
    QDockWidget* first = PaletteDock(site.front());
    if (!first) continue;
    for (size_t i = 1; i < site.size(); ++i)
      if (QDockWidget* other = PaletteDock(site[i])) tabifyDockWidget(first, other);
    first->raise();
  }
}

void TMainForm::AddPalette(const PaletteSpec& spec, TPaletteWindow* window) {
  auto* dock = new QDockWidget(spec.caption, this);
  dock->setObjectName(Q(spec.prefix));
  dock->setWidget(window);
  dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                    QDockWidget::DockWidgetFloatable);
  addDockWidget(spec.area, dock);
  // The tool box's command is on no menu: it is not closed from its title bar.
  if (spec.prefix == "tool")
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  palettes_.push_back({spec, window, dock});
  window->ActiveChanged(ActiveDrawWindow());
}

TPaletteWindow* TMainForm::Palette(const std::string& prefix) const {
  for (const PaletteEntry& p : palettes_)
    if (p.spec.prefix == prefix) return p.window;
  return nullptr;
}

QDockWidget* TMainForm::PaletteDock(const std::string& prefix) const {
  for (const PaletteEntry& p : palettes_)
    if (p.spec.prefix == prefix) return p.dock;
  return nullptr;
}

void TMainForm::TogglePalette(const std::string& prefix) {
  QDockWidget* dock = PaletteDock(prefix);
  if (!dock) return;
  // In a tabbed site its tab becomes the active one first; then it is shown or hidden.
  dock->raise();
  dock->setVisible(!dock->isVisible());
  if (dock->isVisible()) dock->raise();
}

int32_t TMainForm::PaletteNumber(const std::string& prefix) {
  static const std::map<std::string, int32_t> numbers = {
      {"tool", 0},      {"pen", 1},        {"layer", 2},         {"select", 3},
      {"ctrl", 4},      {"preview", 5},    {"gcol", 6},          {"rgb", 7},
      {"hsv", 8},       {"pal", 9},        {"tone", 10},         {"grad", 11},
      {"penShape", 12}, {"penMethod", 13}, {"penShapeList", 14}, {"penMethodList", 15}};
  auto it = numbers.find(prefix);
  return it == numbers.end() ? -1 : it->second;
}

std::vector<DockSiteRecord> TMainForm::DockingSites() const {
  const QList<QTabBar*> bars = findChildren<QTabBar*>(Qt::FindDirectChildrenOnly);
  std::vector<const PaletteEntry*> placed;
  auto entryOf = [this](const QDockWidget* dock) -> const PaletteEntry* {
    for (const PaletteEntry& p : palettes_)
      if (p.dock == dock) return &p;
    return nullptr;
  };
  std::vector<DockSiteRecord> sites;
  for (const PaletteEntry& p : palettes_) {
    if (std::find(placed.begin(), placed.end(), &p) != placed.end()) continue;
    std::vector<const PaletteEntry*> group = {&p};
    if (!p.dock->isFloating())
      for (const QDockWidget* other : tabifiedDockWidgets(p.dock))
        if (const PaletteEntry* e = entryOf(other)) group.push_back(e);
    // Tab order and the active tab come from the tab bar that holds the group: the one with
    // most of its members (at exit the window is closed and no bar is visible any more).
    // Hidden members are not on it and follow in their own order.
    std::vector<const PaletteEntry*> ordered;
    int32_t active = 0;
    if (group.size() > 1)
      for (const QTabBar* bar : bars) {
        std::vector<const PaletteEntry*> onBar;
        int32_t current = -1;
        for (int i = 0; i < bar->count(); ++i)
          for (const PaletteEntry* e : group)
            if (e->dock->windowTitle() == bar->tabText(i)) {
              if (i == bar->currentIndex()) current = int32_t(onBar.size());
              onBar.push_back(e);
            }
        if (onBar.size() <= ordered.size()) continue;
        ordered = onBar;
        active = std::max(current, 0);
      }
    for (const PaletteEntry* e : group)
      if (std::find(ordered.begin(), ordered.end(), e) == ordered.end()) ordered.push_back(e);
    DockSiteRecord site;
    const QDockWidget* shown = ordered[size_t(active)]->dock;
    QRect bounds =
        shown->isFloating() ? shown->frameGeometry() : QRect(shown->mapToGlobal(QPoint(0, 0)), shown->size());
    if (bounds.isEmpty()) bounds.setSize(shown->sizeHint().expandedTo(QSize(1, 1)));
    site.x = bounds.x();
    site.y = bounds.y();
    site.w = bounds.width();
    site.h = bounds.height();
    site.active = active;
    site.visible = false;
    for (const PaletteEntry* e : ordered) {
      site.clients.push_back(PaletteNumber(e->spec.prefix));
      site.visible = site.visible || !e->dock->isHidden();
      placed.push_back(e);
    }
    sites.push_back(std::move(site));
  }
  return sites;
}

void TMainForm::ApplyDockingSites(const std::vector<DockSiteRecord>& sites) {
  auto dockOf = [this](int32_t number) -> QDockWidget* {
    for (const PaletteEntry& p : palettes_)
      if (PaletteNumber(p.spec.prefix) == number) return p.dock;
    return nullptr;
  };
  for (const DockSiteRecord& site : NormalizeDockingLayout(sites)) {
    std::vector<QDockWidget*> docks;
    for (int32_t number : site.clients)
      if (QDockWidget* d = dockOf(number)) docks.push_back(d);
    if (docks.empty()) continue;
    for (size_t i = 1; i < docks.size(); ++i) {
      // A window that shared another site before leaves it for this one.
      if (dockWidgetArea(docks[i]) != dockWidgetArea(docks[0])) {
        removeDockWidget(docks[i]);
        addDockWidget(dockWidgetArea(docks[0]), docks[i]);
      }
      tabifyDockWidget(i == 1 ? docks[0] : docks[i - 1], docks[i]);
    }
    if (!site.visible)
      for (QDockWidget* d : docks) d->hide();
    const size_t active = std::min(size_t(site.active), docks.size() - 1);
    docks[active]->raise();
  }
}

void TMainForm::RestorePaletteLayout() {
  for (PaletteEntry& p : palettes_)
    if (const bool* visible = VisibilityOf(profile_.window, p.spec.prefix)) p.dock->setVisible(*visible);
  // Settings of an older generation start from the designed arrangement: the stored one is
  // not read at all.
  if (profile_.LayoutWasReset()) return;
  std::string state;
  const bool restored =
      store_ &&
      store_->ReadString(std::string(kAppSettingsKey) + "\\" + kDockStateKey, kDockStateName, state) &&
      restoreState(QByteArray::fromBase64(QByteArray::fromStdString(state)));
  // Without Qt's arrangement (written by another build, or damaged) the sites of the records
  // group the palettes, and the floating places of the profile put the rest.
  if (!restored) {
    if (store_) ApplyDockingSites(LoadDockingLayout(*store_));
    PlaceFloatingPalettes();
  }
  // The tool box's command is on no menu: hidden, nothing would bring it back.
  if (QDockWidget* tools = PaletteDock("tool")) tools->show();
  KeepFloatingPalettesOnScreen();
}

void TMainForm::PlaceFloatingPalettes() {
  for (PaletteEntry& p : palettes_) {
    const PlaceKeys* place = PlaceOf(p.spec.prefix);
    if (!place || profile_.window.*(place->x) < 0 || profile_.window.*(place->y) < 0) continue;
    p.dock->setFloating(true);
    if (place->w && profile_.window.*(place->w) > 0 && profile_.window.*(place->h) > 0)
      p.dock->resize(profile_.window.*(place->w), profile_.window.*(place->h));
    p.dock->move(profile_.window.*(place->x), profile_.window.*(place->y));
  }
}

void TMainForm::KeepFloatingPalettesOnScreen() {
  // A palette partly off its screen is moved fully onto it; one left on a screen that is gone
  // comes back onto the one the main window is on.
  const QScreen* home = this->screen();
  if (!home) return;
  const QList<QScreen*> screens = QGuiApplication::screens();
  for (PaletteEntry& p : palettes_) {
    if (!p.dock->isFloating()) continue;
    QRect g = p.dock->frameGeometry();
    // It stays on the screen it mostly stands on; only one on no screen at all comes to the
    // main window's.
    QRect room = home->availableGeometry();
    int64_t best = 0;
    for (const QScreen* sc : screens) {
      const QRect common = sc->geometry().intersected(g);
      const int64_t area = int64_t(common.width()) * common.height();
      if (!common.isEmpty() && area > best) {
        best = area;
        room = sc->availableGeometry();
      }
    }
    g.setSize(g.size().boundedTo(room.size()));
    g.moveLeft(std::clamp(g.left(), room.left(), room.right() - g.width() + 1));
    g.moveTop(std::clamp(g.top(), room.top(), room.bottom() - g.height() + 1));
    if (g.topLeft() != p.dock->frameGeometry().topLeft()) p.dock->move(g.topLeft());
  }
}

void TMainForm::SaveAtExit() {
  // The colours first, then the arrangement and what each palette keeps of its own.
  colours_.SaveToProfile(profile_);
  SavePaletteLayout();
  if (auto* list = dynamic_cast<TPenMtdListWin*>(Palette("penMethodList")))
    list->SaveShortcuts(profile_.brush);
}

void TMainForm::SavePaletteLayout() {
  for (PaletteEntry& p : palettes_) {
    if (bool* visible = VisibilityOf(profile_.window, p.spec.prefix)) *visible = !p.dock->isHidden();
    // A place is kept only for a floating palette; a docked one keeps none (-1).
    if (const PlaceKeys* place = PlaceOf(p.spec.prefix)) {
      const bool floating = p.dock->isFloating();
      profile_.window.*(place->x) = floating ? p.dock->x() : -1;
      profile_.window.*(place->y) = floating ? p.dock->y() : -1;
      if (place->w) profile_.window.*(place->w) = floating ? p.dock->width() : -1;
      if (place->h) profile_.window.*(place->h) = floating ? p.dock->height() : -1;
    }
    // The two lists also say whether they sit docked in the main window.
    if (p.spec.prefix == "penShapeList") profile_.window.penShapeListWinChild = !p.dock->isFloating();
    if (p.spec.prefix == "penMethodList") profile_.window.penMethodListWinChild = !p.dock->isFloating();
  }
  if (!store_) return;
  // The records first: writing them replaces the whole docking key, Qt's arrangement with it.
  const int32_t written = SaveDockingLayout(*store_, DockingSites());
  profile_.window.dockSiteCount = std::max(written, 0);
  store_->WriteString(std::string(kAppSettingsKey) + "\\" + kDockStateKey, kDockStateName,
                      saveState().toBase64().toStdString());
  for (PaletteEntry& p : palettes_) p.window->SaveSettings(*store_);
}

void TMainForm::TellPalettes(TDrawWindow* active) {
  for (PaletteEntry& p : palettes_) p.window->ActiveChanged(active);
}

void TMainForm::ToolChanged() {
  for (TDrawWindow* w : DrawWindows()) {
    // A cursor-key move belongs to the tool that began it.
    if (w->Tools().KeyMoving()) w->Tools().FinishKeyMove();
    w->Dispatch().RefreshCursor(0);
  }
  if (auto* tools = dynamic_cast<TToolsWindow*>(Palette("tool"))) tools->Follow();
}

// --- the tick and the status bar ---------------------------------------------------------------

void TMainForm::Tick() {
  for (TDrawWindow* w : DrawWindows()) w->Tick(EventWait());
  for (PaletteEntry& p : palettes_) p.window->Tick();
  UpdateCommands();
  RefreshStatus();
}

void TMainForm::RefreshStatus() {
  TDrawWindow* w = ActiveDrawWindow();
  const double factor = w ? w->Paper().ZoomFactor() : 1.0;
  const float angle = w ? w->Paper().normalisedAngle : 0.0f;
  const QString zoom = Q(shell::ZoomPanelText(factor));
  const QString rotation = Q(shell::RotationPanelText(angle));
  if (panels_[0]->text() != zoom) panels_[0]->setText(zoom);
  if (panels_[1]->text() != rotation) panels_[1]->setText(rotation);
}

void TMainForm::SetStatusMessage(const QString& text) { panels_[3]->setText(text); }

QMenu* TMainForm::ZoomMenu() {
  if (!zoomMenu_) {
    zoomMenu_ = new QMenu(this);
    for (int32_t step = 9; step >= -8; --step) {
      QAction* a = zoomMenu_->addAction(Q(shell::ZoomPanelText(ZoomFactorOf(step))));
      connect(a, &QAction::triggered, this, [this, step] {
        if (TDrawWindow* w = ActiveDrawWindow()) w->View().ZoomToStep(step);
        RefreshStatus();
      });
    }
  }
  return zoomMenu_;
}

QMenu* TMainForm::RotationMenu() {
  if (!rotationMenu_) {
    rotationMenu_ = new QMenu(this);
    // The angles as the panel shows them (the view turned the other way).
    for (int shown : {0, 15, 30, 45, 90, 135, 180, 225, 270, 315, 330, 345}) {
      QAction* a = rotationMenu_->addAction(Q(shell::RotationPanelText(float(-shown))));
      connect(a, &QAction::triggered, this, [this, shown] {
        if (TDrawWindow* w = ActiveDrawWindow()) w->View().RotateTo(-shown);
        RefreshStatus();
      });
    }
  }
  return rotationMenu_;
}

bool TMainForm::event(QEvent* e) {
  // Command hints go to the message panel, so the other panels stay in view.
  if (e->type() == QEvent::StatusTip) {
    panels_[3]->setText(static_cast<QStatusTipEvent*>(e)->tip());
    return true;
  }
  return QMainWindow::event(e);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
  // A double click on the empty frame is the open command.
  if (watched == mdi_->viewport() && e->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
    RunOpenDialog();
    return true;
  }
  if (watched == panels_[0] && e->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton && ActiveDrawWindow()) {
    ZoomMenu()->popup(panels_[0]->mapToGlobal(QPoint(0, 0)));
    return true;
  }
  if (watched == panels_[1] && e->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton && ActiveDrawWindow()) {
    RotationMenu()->popup(panels_[1]->mapToGlobal(QPoint(0, 0)));
    return true;
  }
  return QMainWindow::eventFilter(watched, e);
}

// --- windows ----------------------------------------------------------------------------------

TDrawWindow* TMainForm::ActiveDrawWindow() const {
  return qobject_cast<TDrawWindow*>(mdi_->activeSubWindow());
}

std::vector<TDrawWindow*> TMainForm::DrawWindows() const {
  std::vector<TDrawWindow*> v;
  for (QMdiSubWindow* s : mdi_->subWindowList(QMdiArea::CreationOrder))
    if (auto* w = qobject_cast<TDrawWindow*>(s)) v.push_back(w);
  return v;
}

void TMainForm::ActivateWindow(TDrawWindow* w) {
  if (!w) return;
  if (w->isMinimized()) w->showNormal();
  mdi_->setActiveSubWindow(w);
}

void TMainForm::BringToFront() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

TDrawWindow* TMainForm::CreateDrawWindow() {
  PaperSettings s;
  s.undoMax = profile_.config.undoMax;
  s.antialiasedDisplay = profile_.config.useZoomAntialias;
  DrawWindowContext context;
  context.modes = &modes_;
  context.config = &profile_.config;
  context.colours = &colours_;
  context.brushes = &brushes_;
  context.pen = &pen_;
  auto* w = new TDrawWindow(s, context);
  if (!w->Paper().Created()) {
    delete w;
    return nullptr;
  }
  w->saveAs = [this](TDrawWindow& d) { return SaveAs(d); };
  w->viewChanged = [this](TDrawWindow& d) {
    d.RefreshCaption();
    RefreshStatus();
  };
  w->showStatus = [this](int panel, const QString& text) {
    if (panel >= 0 && panel < 4) panels_[panel]->setText(text);
  };
  w->fitWindow = [this](TDrawWindow& d) { FitWindow(d, false); };
  w->showOption = [this](const QString& text, std::optional<uint32_t> colour) {
    if (auto* opt = dynamic_cast<TOptWindow*>(Palette("ctrl")))
      opt->ShowReadout(text, colour);
    else
      panels_[2]->setText(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')));
  };
  w->tabletDrives = [this] { return tablet_ && tablet_->PenNear(); };
  w->tabletFocusLost = [this] {
    if (tablet_) tablet_->Router().FocusLost();
  };
  w->cycleWindows = [this](bool next) {
    if (next)
      mdi_->activateNextSubWindow();
    else
      mdi_->activatePreviousSubWindow();
  };
  mdi_->addSubWindow(w);
  return w;
}

void TMainForm::FitWindow(TDrawWindow& w, bool placeNew) {
  if (w.isMaximized()) {
    w.View().viewport()->update();
    return;
  }
  if (w.isMinimized()) w.showNormal();
  const QSize client = mdi_->viewport()->size();
  // The frame around the view's contents (its scroll bars count as room for the picture).
  const QSize frame = w.size() - w.View().contentsRect().size();
  shell::WindowFitInput in;
  in.clientWidth = client.width();
  in.clientHeight = client.height();
  in.frameWidth = frame.width();
  in.frameHeight = frame.height();
  // Subwindow frames are as wide at the bottom as at the sides.
  in.borderWidth = in.borderHeight = frame.width() / 2;
  in.pictureWidth = w.Paper().width;
  in.pictureHeight = w.Paper().height;
  in.zoom = w.Paper().ZoomFactor();
  in.x = w.x();
  in.y = w.y();
  if (placeNew) {
    if (DrawWindows().size() <= 1 || placed_ > 6) placed_ = 0;
    in.x = in.y = 24 * placed_++;
  }
  const shell::WindowFitResult r = shell::FitWindow(in);
  w.setGeometry(r.x, r.y, r.width, r.height);
}

void TMainForm::TileWindows(bool sideBySide) {
  // Side by side: one column each, as tall as the area; otherwise one row each, as wide.
  std::vector<TDrawWindow*> shown;
  for (TDrawWindow* w : DrawWindows())
    if (!w->isMinimized()) shown.push_back(w);
  if (shown.empty()) return;
  const QSize area = mdi_->viewport()->size();
  const int n = int(shown.size());
  for (int i = 0; i < n; ++i) {
    TDrawWindow* w = shown[size_t(i)];
    if (w->isMaximized()) w->showNormal();
    if (sideBySide) {
      const int x0 = area.width() * i / n, x1 = area.width() * (i + 1) / n;
      w->setGeometry(x0, 0, x1 - x0, area.height());
    } else {
      const int y0 = area.height() * i / n, y1 = area.height() * (i + 1) / n;
      w->setGeometry(0, y0, area.width(), y1 - y0);
    }
  }
}

TDrawWindow* TMainForm::FindByPath(const std::string& path) const {
  for (TDrawWindow* w : DrawWindows())
    if (!w->Doc().path.empty() && SamePath(w->Doc().path, path)) return w;
  return nullptr;
}

void TMainForm::RebuildWindowMenu() {
  for (QAction* a : windowActions_) {
    windowMenu_->removeAction(a);
    a->deleteLater();
  }
  windowActions_.clear();
  TDrawWindow* active = ActiveDrawWindow();
  int n = 0;
  for (TDrawWindow* w : DrawWindows()) {
    if (n == 9) break;
    auto* a = new QAction(QStringLiteral("&%1 %2").arg(++n).arg(w->windowTitle()), windowMenu_);
    a->setCheckable(true);
    a->setChecked(w == active);
    connect(a, &QAction::triggered, this, [this, w] {
      for (TDrawWindow* open : DrawWindows())
        if (open == w) ActivateWindow(w);
    });
    windowMenu_->addAction(a);
    windowActions_.push_back(a);
  }
}

// --- recent files -----------------------------------------------------------------------------

void TMainForm::RebuildRecentMenu() {
  if (!fileMenu_) return;
  for (QAction* a : recentActions_) {
    fileMenu_->removeAction(a);
    a->deleteLater();
  }
  recentActions_.clear();
  int n = 0;
  for (const std::string& p : recent_.Paths()) {
    auto* a = new QAction(QStringLiteral("&%1 %2").arg(++n).arg(Q(p)), fileMenu_);
    a->setData(Q(p));
    connect(a, &QAction::triggered, this, [this, p] {
      // Keeping a changed window open instead of reloading it is no failure of the file.
      bool kept = false;
      if (!OpenFile(p, &kept) && !kept) RemoveRecent(p);
    });
    fileMenu_->insertAction(exitSeparator_, a);
    recentActions_.push_back(a);
  }
}

void TMainForm::SaveRecent() {
  if (store_) recent_.Save(*store_);
}

void TMainForm::AddRecent(const std::string& path) {
  recent_.Add(path);
  SaveRecent();
  RebuildRecentMenu();
}

void TMainForm::RemoveRecent(const std::string& path) {
  if (recent_.Remove(path)) {
    SaveRecent();
    RebuildRecentMenu();
  }
}

// --- dialogs ----------------------------------------------------------------------------------

FileDialogAnswer TMainForm::AskFile(const FileDialogRequest& r) {
  if (fileDialog) return fileDialog(r);
  FileDialogAnswer answer;
  QFileDialog dialog(this, r.caption, r.folder);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilters(r.filters);
  if (r.filterIndex >= 0 && r.filterIndex < r.filters.size())
    dialog.selectNameFilter(r.filters[r.filterIndex]);
  // The suffix is applied inside the dialog, so that its overwrite question sees the real name.
  dialog.setDefaultSuffix(r.defaultSuffix);
  // A name typed without extension takes the chosen filter's own (the default one for "*.*").
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &r](const QString& filter) {
    const qsizetype open = filter.lastIndexOf(QLatin1Char('('));
    const QString first = filter.mid(open + 1).section(QLatin1Char(' '), 0, 0).remove(QLatin1Char(')'));
    const QString ext = first.startsWith(QStringLiteral("*.")) ? first.mid(2) : QString();
    dialog.setDefaultSuffix(ext.isEmpty() || ext.contains(QLatin1Char('*')) ? r.defaultSuffix : ext);
  });
  if (!r.proposedName.isEmpty()) dialog.selectFile(r.proposedName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return answer;
  answer.path = dialog.selectedFiles().front();
  answer.filterIndex = int(r.filters.indexOf(dialog.selectedNameFilter()));
  return answer;
}

bool TMainForm::AskJpeg(JpegOptions& o) {
  if (jpegDialog) return jpegDialog(o);
  if (TDrawWindow::BatchRun()) return true;
  QDialog dialog(this);
  dialog.setWindowTitle(Q("JPEG"));
  auto* quality = new QSpinBox(&dialog);
  quality->setRange(kJpegValueMin, kJpegValueMax);
  quality->setValue(profile_.fileIO.jpegQuality);
  auto* form = new QFormLayout(&dialog);
  form->addRow(Q("品質"), quality);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return false;
  if (!CheckJpegOptionValues(quality->value(), 0)) return false;
  o.quality = quality->value();
  profile_.fileIO.jpegQuality = o.quality;
  return true;
}

void TMainForm::RunNewPictureDialog() {
  const QImage clip = QApplication::clipboard()->image();
  TNewWindow dialog(profile_, clip.isNull() ? QSize() : clip.size(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  const NewPictureValues& v = dialog.Values();
  NewPicture(v.width, v.height, v.dpi, dialog.Transparent());
}

void TMainForm::RunOpenDialog() {
  FileDialogRequest r;
  r.caption = Q("開く");
  r.folder = Q(profile_.fileIO.loadPath);
  r.defaultSuffix = Q("tci");
  r.filters = shell::PictureOpenFilters();
  r.filterIndex = profile_.fileIO.pictLoadExtIdx - 1;
  const FileDialogAnswer a = AskFile(r);
  if (a.path.isEmpty()) return;
  profile_.fileIO.loadPath = FolderOf(a.path);
  if (a.filterIndex >= 0) profile_.fileIO.pictLoadExtIdx = a.filterIndex + 1;
  OpenFile(a.path.toStdString());
}

// --- open ---------------------------------------------------------------------------------------

void TMainForm::Remembered(TDrawWindow& w, const std::string& path, const std::string& title) {
  w.Doc().path = path;
  w.Doc().titled = true;
  w.Paper().title = title;
  w.RefreshCaption();
  AddRecent(title);
}

TDrawWindow* TMainForm::NewPicture(int32_t width, int32_t height, int32_t dpi, bool transparent) {
  TDrawWindow* w = CreateDrawWindow();
  if (!w || !w->Doc().NewPicture(NextDefaultTitle(), width, height, dpi, transparent)) {
    delete w;
    ShowWarning(shell::kNewWindowFailedText);
    return nullptr;
  }
  w->RefreshCaption();
  if (DrawWindows().size() == 1 && profile_.window.childWinMax)
    w->showMaximized();
  else
    w->show();
  FitWindow(*w, true);
  ActivateWindow(w);
  return w;
}

TDrawWindow* TMainForm::OpenFile(const std::string& path, bool* kept) {
  if (kept) *kept = false;
  if (!fs::exists(fs::path(path))) {
    ShowWarning(shell::NotFoundMessage(path));
    return nullptr;
  }
  if (TDrawWindow* open = FindByPath(path)) {
    ActivateWindow(open);
    if (!open->Doc().modified) return open;
    if (AskConfirm(shell::ReloadQuestion(open->Paper().title), ConfirmButtons::YesNo) != ConfirmAnswer::Yes) {
      if (kept) *kept = true;
      return nullptr;
    }
    open->Doc().modified = false;
    open->close();
  }
  const int32_t kind = shell::FileKindOf(path);
  if (kind == 1 && !shell::HasFirstGenerationHeader(path)) {
    ShowWarning(shell::kUnknownFormatText);
    return nullptr;
  }
  // A well-formed first-generation picture has no reader in this build, nor has PSD.
  if (kind == 0 || kind == 1 || kind == 10) {
    ShowWarning(shell::UnsupportedMessage(path));
    return nullptr;
  }
  TDrawWindow* w = CreateDrawWindow();
  if (!w) {
    ShowWarning(shell::kNewWindowFailedText);
    return nullptr;
  }
  bool ok = false;
  if (kind == 3) {
    const NativeLoadResult r = w->Doc().OpenNative(path);
    ok = r.opened && r.status == 0;
    if (!ok) ShowWarning(OpenFailedMessage(path, r.status));
  } else if (kind >= 7 && kind <= 9) {
    const GfxResult r = w->Doc().OpenImage(path);
    ok = r == GfxResult::Ok;
    if (!ok) ShowWarning(shell::ImageOpenFailedMessage(path, ResultCode(r)));
  } else if (kind == 2) {
    ok = w->Doc().StartOldReplay(path, TDrawWindow::BatchRun()) == 0;
    if (!ok) ShowWarning(shell::kNotEventFileText);
  } else {
    ok = w->Doc().StartReplay(path, TDrawWindow::BatchRun()) == 0;
    if (!ok) ShowWarning(shell::kNotEventFileText);
  }
  if (!ok) {
    // Never shown: it goes at once, without a question.
    delete w;
    return nullptr;
  }
  w->replayEnded = [this](TDrawWindow& d) {
    d.View().Relayout();
    RefreshStatus();
  };
  w->show();
  // A first-generation event file is no file of this picture: the window does not keep its
  // path, but it is titled by it and remembered in the recent list like any other.
  Remembered(*w, kind == 2 ? std::string() : path, path);
  FitWindow(*w, true);
  ActivateWindow(w);
  return w;
}

void TMainForm::OpenDropped(const std::vector<std::string>& paths) {
  for (const std::string& p : paths) {
    if (!fs::exists(fs::path(p))) {
      ShowWarning(shell::NotFoundMessage(p));
      continue;
    }
    if (!OpenFile(p)) ShowWarning(shell::DropOpenFailedMessage(p));
  }
  BringToFront();
}

TDrawWindow* TMainForm::OpenEvent() {
  FileDialogRequest r;
  r.caption = Q("イベントファイルを開く");
  r.folder = Q(profile_.fileIO.eventPath);
  r.defaultSuffix = Q("te4");
  r.filters = shell::EventOpenFilters();
  r.filterIndex = profile_.fileIO.eventLoadExtIdx - 1;
  const FileDialogAnswer a = AskFile(r);
  if (a.path.isEmpty()) return nullptr;
  profile_.fileIO.eventPath = FolderOf(a.path);
  if (a.filterIndex >= 0) profile_.fileIO.eventLoadExtIdx = a.filterIndex + 1;
  const std::string path = a.path.toStdString();
  if (!fs::exists(fs::path(path))) {
    ShowWarning(shell::NotFoundMessage(path));
    return nullptr;
  }
  const int32_t kind = shell::FileKindOf(path);
  if (kind != 2 && (kind < 4 || kind > 6)) {
    ShowWarning(shell::kNotEventFileText);
    return nullptr;
  }
  return OpenFile(path);
}

// --- save ---------------------------------------------------------------------------------------

bool TMainForm::SaveByKind(TDrawWindow& w, const std::string& path, bool messages, std::string* done,
                           bool* cancelled) {
  if (cancelled) *cancelled = false;
  const int32_t kind = shell::FileKindOf(path);
  std::string success, failure;
  bool ok = false;
  switch (kind) {
    case 3: {
      const NativeSaveResult r = w.Doc().SaveNative(path);
      ok = r.saved;
      success = shell::SavedAsMessage(path);
      break;
    }
    case 7:
      ok = w.Doc().SaveFlat(path, 7, nullptr) == GfxResult::Ok;
      success = shell::kSavedBmpText;
      break;
    case 8: {
      JpegOptions o;
      o.quality = profile_.fileIO.jpegQuality;
      o.progressive = profile_.fileIO.jpegUseProgressive ? 1 : 0;
      if (!AskJpeg(o)) {  // a cancelled dialog shows nothing
        if (cancelled) *cancelled = true;
        return false;
      }
      ok = w.Doc().SaveFlat(path, 8, &o) == GfxResult::Ok;
      success = shell::kSavedJpegText;
      break;
    }
    case 9:
      ok = w.Doc().SaveFlat(path, 9, nullptr) == GfxResult::Ok;
      success = shell::SavedFormatMessage("PNG");
      break;
    case 1:
      failure = shell::kCannotSaveFormatText;
      break;
    default:
      failure = shell::UnsupportedMessage(path);
  }
  // Without messages the caller reports the outcome in its own words.
  if (messages) {
    if (ok)
      ShowInformation(success);
    else
      ShowWarning(failure.empty() ? shell::SaveFailedMessage(path) : failure);
  }
  if (ok) {
    if (kind == 3) w.Doc().modified = false;
    AddRecent(path);
    if (done) *done = success;
  }
  return ok;
}

bool TMainForm::Save(TDrawWindow& w) {
  const std::string path = w.Doc().path;
  if (path.empty()) return SaveAs(w);
  if (!profile_.fileIO.silentFileIO &&
      AskConfirm(shell::OverwriteQuestion(path), ConfirmButtons::YesNo) != ConfirmAnswer::Yes)
    return false;
  bool cancelled = false;
  if (!SaveByKind(w, path, false, nullptr, &cancelled)) {
    if (!cancelled) ShowWarning(shell::kOverwriteFailedText);
    return false;
  }
  const std::string done = shell::OverwrittenMessage(path);
  if (profile_.fileIO.silentFileIO)
    SetStatusMessage(Q(done));
  else
    ShowInformation(done);
  return true;
}

bool TMainForm::SaveAs(TDrawWindow& w) {
  FileDialogRequest r;
  r.save = true;
  r.caption = Q("名前を付けて保存");
  r.folder = Q(profile_.fileIO.savePath);
  r.defaultSuffix = Q("tci");
  r.filters = shell::PictureSaveFilters();
  r.filterIndex = 0;
  r.proposedName = Q(fs::path(w.Paper().title).stem().string());
  const FileDialogAnswer a = AskFile(r);
  bool ok = false;
  if (!a.path.isEmpty()) {
    profile_.fileIO.savePath = FolderOf(a.path);
    const std::string path = a.path.toStdString();
    ok = SaveByKind(w, path, true);
    if (ok) {
      w.Doc().path = path;
      w.Doc().titled = true;
      w.Paper().title = path;
    }
  }
  w.RefreshCaption();
  return ok;
}

bool TMainForm::SaveAutoBmp(TDrawWindow& w) {
  const QDate today = QDate::currentDate();
  const std::string path =
      shell::AutoBmpPath(profile_.fileIO.savePath, today.year(), today.month(), today.day());
  return SaveByKind(w, path, true);
}

bool TMainForm::SaveLayer(TDrawWindow& w) {
  FileDialogRequest r;
  r.save = true;
  r.caption = Q("レイヤの保存");
  r.folder = Q(profile_.fileIO.savePath);
  r.defaultSuffix = Q("png");
  r.filters = shell::LayerSaveFilters();
  r.proposedName = Q(shell::LayerSaveName(
      w.Doc().titled ? fs::path(w.Paper().title).stem().string() : std::string(), w.Paper().ActiveIndex()));
  const FileDialogAnswer a = AskFile(r);
  if (a.path.isEmpty()) return false;
  profile_.fileIO.savePath = FolderOf(a.path);
  const std::string path = a.path.toStdString();
  const int32_t kind = shell::FileKindOf(path);
  if (kind != 7 && kind != 9) {
    ShowWarning(shell::UnsupportedMessage(fs::path(path).extension().string()));
    return false;
  }
  const GfxResult g = w.Doc().SaveLayer(path, w.Paper().ActiveIndex(), kind == 9);
  if (g == GfxResult::Ok) {
    ShowInformation(shell::kLayerSavedText);
    return true;
  }
  ShowWarning(g == GfxResult::NoMemory ? std::string(kOutOfMemoryText)
                                       : std::string(shell::kLayerSaveFailedText));
  return false;
}

bool TMainForm::SaveEvent(TDrawWindow& w, bool guarded) {
  if (guarded && AskConfirm(shell::GuardQuestion(), ConfirmButtons::YesNo) != ConfirmAnswer::Yes)
    return false;
  FileDialogRequest r;
  r.save = true;
  r.caption = Q("イベントファイルの保存");
  r.folder = Q(profile_.fileIO.eventPath);
  r.defaultSuffix = Q("te4");
  r.filters = shell::EventSaveFilters();
  r.proposedName = Q(fs::path(w.Paper().title).stem().string() + ".te4");
  const FileDialogAnswer a = AskFile(r);
  if (a.path.isEmpty()) return false;
  profile_.fileIO.eventPath = FolderOf(a.path);
  const int32_t result = w.Doc().SaveEvents(a.path.toStdString(), guarded);
  // A refused protection has said why already.
  if (result == kEvProtectRefused) return false;
  if (result != kEvOk) {
    ShowWarning(shell::SaveFailedMessage(a.path.toStdString()));
    return false;
  }
  return true;
}

bool TMainForm::StopRecording(TDrawWindow& w) {
  if (AskConfirm(shell::kStopRecordingQuestion, ConfirmButtons::OkCancel) != ConfirmAnswer::Ok) return false;
  // The events go for good: when the user wants them kept, a save that does not happen
  // leaves the recording as it was.
  if (AskConfirm(shell::kSaveEventsFirstQuestion, ConfirmButtons::YesNo) == ConfirmAnswer::Yes &&
      !SaveEvent(w, false))
    return false;
  w.Doc().Recorder().StopAndClear();
  return true;
}

// --- frame events -------------------------------------------------------------------------------

void TMainForm::closeEvent(QCloseEvent* e) {
  // Each picture window asks about its own changes; one that stays open keeps the program.
  for (TDrawWindow* w : DrawWindows()) {
    if (!w->close()) {
      e->ignore();
      return;
    }
  }
  tick_.stop();
  QMainWindow::closeEvent(e);
}

void TMainForm::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  // The command line's files open at the first show, not at an activation that a session
  // without a window manager never brings.
  if (!startupOpened_) {
    startupOpened_ = true;
    QTimer::singleShot(0, this, &TMainForm::OpenStartupFiles);
  }
}

void TMainForm::OpenStartupFiles() {
  for (const std::string& f : startupFiles_) OpenFile(f);
  startupFiles_.clear();
  BringToFront();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* e) {
  std::vector<std::string> paths;
  for (const QUrl& u : e->mimeData()->urls())
    if (u.isLocalFile()) paths.push_back(u.toLocalFile().toStdString());
  e->acceptProposedAction();
  OpenDropped(paths);
}

}  // namespace tintara
