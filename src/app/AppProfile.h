// The program's settings: facts about the machine gathered at start-up and the user's settings,
// read once from the settings store at start-up and written back once at exit.
//
// Every value read is checked: out-of-range numbers are clamped (or replaced by their default
// where a clamp makes no sense, such as a filter index past the end of its list), reals that are
// not finite take their default, colours keep their low 24 bits.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/SettingsStore.h"

namespace tintara {

// --- the machine ------------------------------------------------------------------------------

struct AppEnvironment {
  int32_t localeId = 1041;  // the user's locale as a Windows locale id
  int32_t codePage = 932;   // the code page of stored text
  int32_t languageGroup = 0;
  bool ntPlatform = true;
  int32_t osVersion = 0;       // major * 100 + minor
  double perfFrequency = 1e9;  // ticks per second of the high-resolution clock
  double processorSpeed = 0;   // operations per second, measured over 100 ms
  int32_t monitorCount = 1;    // at least 1
  int32_t screenWidth = 0;     // 0: not known (the shell fills these in)
  int32_t screenHeight = 0;
  std::string programDir;   // directory of the running executable, with a trailing '/'
  std::string programFile;  // the executable's full path
  std::string tempDir;      // with a trailing '/'
  std::string dataDir;      // the program's read-only data (set files), with a trailing '/'
  std::string picturesDir;  // the user's pictures folder, with a trailing '/'
};

// 0 for code page 932 or locale 1041 (Japanese), 1 for code page 949 or locale 1042 (Korean),
// 2 otherwise.
int32_t LanguageGroupOf(int32_t codePage, int32_t localeId);
// The Windows locale id of a POSIX locale name such as "ja_JP.UTF-8"; "C", "POSIX" and an empty
// name give 1033 (US English), an unknown language 1024 (the user default).
int32_t LocaleIdFromName(const std::string& name);
// The pictures folder named in `configHome`/user-dirs.dirs (XDG_PICTURES_DIR), else
// `home`/Pictures when it exists, else `home`; always with a trailing '/'.
std::string PicturesFolder(const std::string& home, const std::string& configHome);

// Gathers the environment from the running system. `measureSpeed` returns the processor speed;
// without one it is measured for 100 ms.
AppEnvironment GatherEnvironment(const std::function<double()>& measureSpeed = {});

// --- the settings -----------------------------------------------------------------------------

struct FileIOSettings {
  std::string loadPath, savePath, eventPath;
  std::string palPath, palFile, tonePath, toneFile, gradPath, gradFile, penPath, nibFile, brushFile;
  int32_t pictLoadExtIdx = 1;   // 1..8, the picture open dialog's filters
  int32_t eventLoadExtIdx = 1;  // 1..5, the event open dialog's filters
  bool silentFileIO = false;
  bool jpegUseProgressive = false;
  bool jpegUseSmooth = false;
  int32_t jpegValSmooth = 0;
  int32_t jpegQType = 1;
  int32_t jpegQuality = 90;
  int32_t jpegQVHigh = 100, jpegQHigh = 90, jpegQStd = 75, jpegQLow = 50;
  int32_t psdSaveVer = 6;
};

struct ConfigSettings {
  int32_t appVerID = 0;
  int32_t lastCP = 0, lastLCID = 0;
  int32_t gridW = 25, gridH = 25;
  int32_t undoMax = 8;
  int32_t fillLimit = 20, fillTarget = 0;
  int32_t wandLimit = 20, wandTarget = 0;
  bool fillAntiAlias = false, wandAntiAlias = false;
  int32_t gradType = 0, gradMap = 0, gradRep = 0, gradRepCnt = 1;
  bool ignoreTablet = false, eventWait = false;
  int32_t tabletType = 0;
  bool rgbPalBarFixed = false, useRBtnColPicker = false, zoomToolAsButton = false, useAutoScroll = false;
  bool useFilePreview = true, useZoomAntialias = false, useAutoPopup = true, showScrollBar = true;
  bool titleFullpath = true;
  int32_t mouseMBtnFunc = 0;
  float opaquePaint = 1, opaqueAreaFill = 1, opaqueSeedFill = 1, opaqueGradate = 1, opaqueDraw = 1,
        opaqueLine = 1, opaqueFont = 1;
};

struct ColorSettings {
  uint32_t fgCol = 0;         // 0x00RRGGBB
  uint32_t bgCol = 0xFFFFFF;  // 0x00RRGGBB
};

struct BrushSettings {
  std::string shortCut[5] = {"0", "1", "2", "3", "4"};
};

// One preset of the new-picture dialog.
struct PaperPreset {
  int32_t unit = 0;  // 0 pixel, 1 inch, 2 cm
  int32_t dpi = 72;
  float w = 640, h = 480;
  bool transparent = false;
};

// Positions and sizes of -1 mean "none stored": the window keeps its designed place.
struct WindowSettings {
  int32_t dockSiteCount = 0;
  int32_t mainWinX = -1, mainWinY = -1, mainWinW = -1, mainWinH = -1;
  bool mainWinMax = true, childWinMax = false;
  bool ctrlWinVis = true, palWinVis = true, layerWinVis = true, selectWinVis = true, previewWinVis = true,
       gcolWinVis = true, rgbWinVis = true, hsvWinVis = true, gradWinVis = true, gradWinPanelVis = true,
       toneWinVis = true, toneWinPanelVis = true, penShapeWinVis = true, penMethodWinVis = true,
       penShapeListWinVis = true, penMethodListWinVis = true;
  bool penWinVis = false, penShapeListWinChild = false, penMethodListWinChild = false;
  int32_t penShapeListWinIconType = 1, penMethodListWinIconType = 1;
  int32_t toolWinX = -1, toolWinY = -1, ctrlWinX = -1, ctrlWinY = -1, penWinX = -1, penWinY = -1,
          palWinX = -1, palWinY = -1, gcolWinX = -1, gcolWinY = -1, rgbWinX = -1, rgbWinY = -1, hsvWinX = -1,
          hsvWinY = -1;
  int32_t layerWinX = -1, layerWinY = -1, layerWinW = -1, layerWinH = -1;
  int32_t selectWinX = -1, selectWinY = -1, selectWinW = -1, selectWinH = -1;
  int32_t previewWinX = -1, previewWinY = -1, previewWinW = -1, previewWinH = -1;
  int32_t gradWinX = -1, gradWinY = -1, gradWinPanelH = -1, gradWinUnitX = -1, gradWinUnitY = -1,
          gradWinRepX = -1, gradWinRepY = -1;
  int32_t toneWinX = -1, toneWinY = -1, toneWinPanelH = -1, toneWinUnitX = -1, toneWinUnitY = -1,
          toneWinRepX = -1, toneWinRepY = -1;
  int32_t fontDlgX = -1, fontDlgY = -1, fontDlgW = -1, fontDlgH = -1;
  int32_t penShapeWinX = -1, penShapeWinY = -1, penMethodWinX = -1, penMethodWinY = -1;
  int32_t penShapeListWinX = -1, penShapeListWinY = -1, penShapeListWinW = -1, penShapeListWinH = -1;
  int32_t penMethodListWinX = -1, penMethodListWinY = -1, penMethodListWinW = -1, penMethodListWinH = -1;
};

struct FontSettings {
  std::string face;
  int32_t point = 0;
  int32_t charset = -1;
  int32_t spacing = 0, leading = 0;
  bool italic = false, bold = false, underline = false, strikeout = false;
  bool useFont = true, usePreview = true;
};

enum class ProfileType : uint8_t { kInt, kBool, kReal, kString };
using ProfileValue = std::variant<int32_t, bool, float, std::string>;

struct ProfileKey {
  std::string section;  // "fileIO", "config", ...
  std::string name;
  ProfileType type;
};

class CAppProfile {
 public:
  static constexpr int32_t kVersionId = 20;
  static constexpr int32_t kPaperPresets = 6;
  static constexpr int32_t kMaxUndo = 100;
  static constexpr int32_t kMaxDockSites = 16;
  static constexpr int32_t kMinMainWinSize = 200;

  // Every setting at its default for this environment.
  explicit CAppProfile(AppEnvironment env = {});

  const AppEnvironment& Env() const { return env_; }
  // For the start-up code: the screen size before loading (only the shell knows it), the
  // language group once the interface resources are loaded.
  AppEnvironment& Env() { return env_; }

  // Reads every section in the order fileIO, config, color, brush, paper, window, font (values
  // missing from the store take their defaults), then applies the start-up rules of appVerID.
  // Settings live under `root`\<section>.
  void LoadAll(const ISettingsStore& store, const std::string& root = kAppSettingsKey);
  // Writes the section "window", then fileIO, config, color, brush, paper, font. One value that
  // cannot be written does not stop the others; false when any failed.
  bool SaveAll(ISettingsStore& store, const std::string& root = kAppSettingsKey) const;

  // True when the last load found settings older than this program's layout: the palettes are
  // back at their designed places, all visible, and the stored docking layout is not to be used.
  bool LayoutWasReset() const { return layoutReset_; }

  // The opacity remembered for a tool mode; 1 for a tool that keeps none (the setter ignores it).
  float ToolOpacity(int32_t tool) const;
  void SetToolOpacity(int32_t tool, float opacity);

  // Every key the profile keeps, section by section in load order.
  static std::vector<ProfileKey> Keys();
  // The value held for a key, as it would be written; nothing for an unknown key.
  std::optional<ProfileValue> Value(const std::string& section, const std::string& name) const;

  FileIOSettings fileIO;
  ConfigSettings config;
  ColorSettings color;
  BrushSettings brush;
  PaperPreset paper[kPaperPresets];
  WindowSettings window;
  FontSettings font;

 private:
  void ResetWindowLayout();
  float* ToolOpacitySlot(int32_t tool);

  AppEnvironment env_;
  bool layoutReset_ = false;
};

// The middle-button functions in list order (mouseMBtnFunc 0..10).
inline constexpr const char* kMiddleButtonFunctions[11] = {
    "表示位置の移動", "表示の回転",       "ﾍﾟﾝ半径の変更",      "ﾚｲﾔの移動",
    "ｸﾞﾗﾃﾞｰｼｮﾝ",      "矩形塗りつぶし",   "自由形状塗りつぶし", "自動範囲塗りつぶし",
    "矩形選択範囲",   "自由形状選択範囲", "自動選択範囲"};

}  // namespace tintara
