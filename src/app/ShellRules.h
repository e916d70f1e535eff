// The shell's rules that the windows follow, without Qt: file kinds, message texts, dialog
// filters (in the "text|patterns" form), the command table and its enabling rules, the status
// panel texts and the window-fit arithmetic.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tintara::shell {

// "Tintara4.06 Deva" (+ " Render!").
std::string MainTitle(bool renderRun);

// --- files ------------------------------------------------------------------------------------
// The kinds by extension (compared without regard to case); 0 for anything else.
enum FileKind : int32_t {
  kKindNone = 0,
  kKindVud = 1,
  kKindZov = 2,
  kKindTci = 3,
  kKindTes = 4,
  kKindTe3 = 5,  // and .fm3
  kKindTe4 = 6,  // and .fm4
  kKindBmp = 7,
  kKindJpg = 8,
  kKindPng = 9,
  kKindPsd = 10,
};
int32_t FileKindOf(const std::string& path);
std::string NotFoundMessage(const std::string& path);
std::string ReloadQuestion(const std::string& title);
std::string UnsupportedMessage(const std::string& pathOrExt);
std::string ImageOpenFailedMessage(const std::string& path, int32_t status);
std::string DropOpenFailedMessage(const std::string& path);
std::string SavedAsMessage(const std::string& path);
std::string SavedFormatMessage(const std::string& format);
std::string SaveFailedMessage(const std::string& path);
std::string OverwriteQuestion(const std::string& path);
std::string OverwrittenMessage(const std::string& path);
std::string GuardQuestion();
inline constexpr const char* kStopRecordingQuestion =
    "イベント記録を終了します。\r一度終了すると、記録を再開することはできません!";
inline constexpr const char* kSaveEventsFirstQuestion = "今までのイベントを保存しますか?";
inline constexpr const char* kUnknownFormatText = "未知の形式です！";
inline constexpr const char* kNewWindowFailedText = "新規ウインドウの作成に失敗しました！";
inline constexpr const char* kNotEventFileText = "イベントファイルとして開くことができません!";
inline constexpr const char* kSavedBmpText = "画像をビットマップで保存しました";
inline constexpr const char* kSavedJpegText = "画像をJPEGで保存しました";
inline constexpr const char* kCannotSaveFormatText = "この形式での保存はサポートしていません!";
inline constexpr const char* kOverwriteFailedText = "上書き保存に失敗しました！";
inline constexpr const char* kLayerSavedText = "レイヤを保存しました";
inline constexpr const char* kLayerSaveFailedText = "レイヤの保存に失敗しました！";

// A first-generation picture begins with 'W', 'P', 'B' and then a space or '2'.
bool HasFirstGenerationHeader(const std::string& path);

// "<savePath>Y-M-D-n.bmp" with the first n for which `exists` is false (by default: no such
// file).
std::string AutoBmpPath(const std::string& folder, int year, int month, int day,
                        const std::function<bool(const std::string&)>& exists = {});
// "<title>_图层-<i>" or "图层-<i>" for an untitled picture ("" title).
std::string LayerSaveName(const std::string& titleStem, int32_t layer);

// The file dialogs' filters as "text|patterns|text|patterns" (patterns separated by ';').
std::string PictureOpenFilterText();
std::string PictureSaveFilterText();
std::string LayerSaveFilterText();
std::string EventOpenFilterText();
std::string EventSaveFilterText();

// --- status panels ----------------------------------------------------------------------------
std::string ZoomPanelText(double factor);
std::string RotationPanelText(float normalisedAngle);

// --- window fit -------------------------------------------------------------------------------
struct WindowFitInput {
  int32_t clientWidth = 0, clientHeight = 0;  // the MDI area
  int32_t frameWidth = 0, frameHeight = 0;    // window size minus its view's client size
  int32_t borderWidth = 0, borderHeight = 0;  // one sizing frame: the window keeps it clear of the edge
  int32_t pictureWidth = 0, pictureHeight = 0;
  double zoom = 1.0;
  int32_t x = 0, y = 0;
};
struct WindowFitResult {
  int32_t x = 0, y = 0, width = 0, height = 0;
};
WindowFitResult FitWindow(const WindowFitInput& in);

// --- commands ---------------------------------------------------------------------------------
struct CommandEntry {
  std::string name, caption, shortcut, hint;
  bool checkable = false;
  bool separatorBefore = false;
  std::string submenu;  // the caption of the sub-menu it sits in ("" for none)
};
struct MenuEntry {
  std::string caption;
  bool isFile = false, isWindow = false;
  std::vector<CommandEntry> commands;
};
const std::vector<MenuEntry>& Menus();
// The commands of the layer window's pop-up menu, in its order; those also on a main menu are
// the same command objects there.
const std::vector<CommandEntry>& LayerWindowCommands();
// The selection window's commands (its pop-up menu), in their order.
const std::vector<CommandEntry>& SelectWindowCommands();
using CommandHandlers = std::map<std::string, std::function<void()>>;

// What the enabling rules read of the main window and its active picture.
struct CommandContext {
  bool hasWindow = false;
  bool batch = false;
  bool initialised = false;
  bool replaying = false, replayPaused = false, oldReplay = false;
  bool fromProtected = false;
  bool hasFile = false, modified = false;
  bool canUndo = false, canRedo = false;
  bool eventsSavable = false;
  int32_t windowCount = 0;
  int32_t layerCount = 0, activeLayer = 0;
  bool canAddLayer = false, activeProtected = false;
  int32_t maskCount = 0;
  bool hasSelection = false;  // the active mask selects something
  bool antialiased = false, eventWait = false;
  bool recording = false, gridOn = false, paperColourOn = false, checkerOn = false;
};
bool CommandEnabled(const std::string& name, const CommandContext& c);
bool CommandChecked(const std::string& name, const CommandContext& c);

// --- the interface resource module ---------------------------------------------------------
// "<program>.enu" beside the executable: UTF-8 lines "key=text" ('#' starts a comment line,
// blank lines are passed over, "\r" in a text stands for a line break). Its texts take the
// place of the built-in ones: a command's caption under its name ("actFileNew=..."), its hint
// under the name and ".hint". A module that is present but cannot be read, or holds a line
// that is none of these, is refused as a whole.
enum class ResourceLoad { kAbsent, kLoaded, kUnreadable };
struct ResourceTable {
  std::map<std::string, std::string> texts;
};
ResourceLoad LoadResourceModule(const std::string& path, ResourceTable& out);
// "载入 \"%s\" 失败!" with the module's path.
std::string ResourceFailedMessage(const std::string& path);
// The module's text for a key, else `builtIn`. The table is installed once at start-up.
void SetResourceTable(ResourceTable table);
std::string Text(const std::string& key, const std::string& builtIn);

}  // namespace tintara::shell
