#include "app/ShellRules.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tintara::shell {

namespace {

namespace fs = std::filesystem;

template <typename... A>
std::string Format(const char* fmt, A... a) {
  const int n = std::snprintf(nullptr, 0, fmt, a...);
  std::string s(size_t(n > 0 ? n : 0), '\0');
  std::snprintf(s.data(), s.size() + 1, fmt, a...);
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

constexpr const char* kEventWord = "イベント形式";

}  // namespace

std::string MainTitle(bool renderRun) {
  return Format("%s%d.%2.2d", "Tintara", 4, 6) + " Deva" + (renderRun ? " Render!" : "");
}

int32_t FileKindOf(const std::string& path) {
  const std::string ext = Lower(fs::path(path).extension().string());
  if (ext == ".vud") return 1;
  if (ext == ".zov") return 2;
  if (ext == ".tci") return 3;
  if (ext == ".tes") return 4;
  if (ext == ".te3" || ext == ".fm3") return 5;
  if (ext == ".te4" || ext == ".fm4") return 6;
  if (ext == ".bmp") return 7;
  if (ext == ".jpg") return 8;
  if (ext == ".png") return 9;
  if (ext == ".psd") return 10;
  return 0;
}

bool HasFirstGenerationHeader(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char head[4] = {};
  if (!in.read(head, 4)) return false;
  return head[0] == 'W' && head[1] == 'P' && head[2] == 'B' && (head[3] == ' ' || head[3] == '2');
}

std::string NotFoundMessage(const std::string& path) {
  return Format("%s\r\n    路径 = %s", "ファイルが見つかりません！", path.c_str());
}
std::string ReloadQuestion(const std::string& title) {
  return Format("%s\rに加えられた変更を破棄して再読込していいですか?", title.c_str());
}
std::string UnsupportedMessage(const std::string& p) { return Format("%s は未対応の形式です", p.c_str()); }
std::string ImageOpenFailedMessage(const std::string& path, int32_t status) {
  return Format("%s\rのオープンに失敗しました!  (err=%d)", path.c_str(), status);
}
std::string DropOpenFailedMessage(const std::string& path) {
  return Format("画像ファイルを開くことができませんでした！\r    path = %s", path.c_str());
}
std::string SavedAsMessage(const std::string& path) { return Format("%s として保存しました", path.c_str()); }
std::string SavedFormatMessage(const std::string& f) {
  return Format("%s形式で画像を保存しました", f.c_str());
}
std::string SaveFailedMessage(const std::string& path) {
  return Format("%s\rの保存に失敗しました!", path.c_str());
}
std::string OverwriteQuestion(const std::string& path) {
  return Format("上書き保存してよろしいですか？\r    path = %s", path.c_str());
}
std::string OverwrittenMessage(const std::string& path) {
  return Format("上書き保存しました (%s)", path.c_str());
}
std::string GuardQuestion() {
  return Format(
      "保護をすると後でイベントに追記できなくなります。\rまた %s "
      "にアップロードする事もできません。\rよろしいですか?",
      "Tintara Gallery");
}

std::string AutoBmpPath(const std::string& folder, int year, int month, int day,
                        const std::function<bool(const std::string&)>& exists) {
  std::string base = folder;
  if (!base.empty() && base.back() != '/') base += '/';
  base += Format("%d-%d-%d-", year, month, day);
  for (int n = 0;; ++n) {
    const std::string p = Format("%s%d.bmp", base.c_str(), n);
    std::error_code ec;
    if (!(exists ? exists(p) : fs::exists(fs::path(p), ec))) return p;
  }
}

std::string LayerSaveName(const std::string& titleStem, int32_t layer) {
  if (titleStem.empty()) return Format("图层-%d", layer);
  return Format("%s_图层-%d", titleStem.c_str(), layer);
}

std::string PictureOpenFilterText() {
  return std::string(
      std::string("图像文件 (*.tci/*.vud/*.bmp/*.jpg/*.png/*.psd)|*.tci;*.vud;*.bmp;*.jpg;*.png;*.psd") +
      Format("|%s 纸张图像 (*.tci)|*.tci", "Tintara") + "|Tintara 1.1 图像 (*.vud)|*.vud" +
      "|Windows 位图 (*.bmp)|*.bmp" + "|JPEG 格式 (*.jpg)|*.jpg" + "|PNG 格式 (*.png)|*.png" +
      "|PSD 格式 (*.psd)|*.psd" + "|所有文件 (*.*)|*.*");
}

std::string PictureSaveFilterText() {
  return std::string(Format("%s 纸张图像 (*.tci)|*.tci", "Tintara") + "|Photoshop 格式 (*.psd)|*.psd" +
                     "|Windows 位图 (*.bmp)|*.bmp" + "|JPEG 格式 (*.jpg)|*.jpg" + "|PNG 格式 (*.png)|*.png");
}

std::string LayerSaveFilterText() { return std::string("PNG 格式 (*.png)|*.png|Windows 位图 (*.bmp)|*.bmp"); }

std::string EventOpenFilterText() {
  return std::string(std::string("すべてのイベント形式") +
                     " (*.te4/*.te3/*.fm3/*.tes/*.zov)|*.te4;*.te3;*.fm3;*.tes;*.zov" +
                     Format("|%s4 %s (*.te4)|*.te4", "Tintara", kEventWord) +
                     Format("|%s3 %s (*.te3/*.fm3)|*.te3;*.fm3", "Tintara", kEventWord) +
                     Format("|%s2.1 %s (*.tes)|*.tes", "Tintara", kEventWord) + "|Tintara1.1 " + kEventWord +
                     " (*.zov)|*.zov");
}

std::string EventSaveFilterText() {
  return std::string(Format("%s4 %s (*.te4)|*.te4", "Tintara", kEventWord));
}

std::string ZoomPanelText(double factor) { return Format("%d%%", int(std::lround(factor * 100.0))); }

std::string RotationPanelText(float normalisedAngle) {
  double shown = -double(normalisedAngle);
  // Never "-0.0": a value that rounds to zero shows as zero.
  if (std::fabs(shown) < 0.05) shown = 0.0;
  return Format("%3.1f%s", shown, "°");
}

WindowFitResult FitWindow(const WindowFitInput& in) {
  WindowFitResult r;
  const int32_t pw = int32_t(std::lround(in.pictureWidth * in.zoom));
  const int32_t ph = int32_t(std::lround(in.pictureHeight * in.zoom));
  r.width = std::min(in.frameWidth + pw + 80, in.clientWidth - in.borderWidth);
  r.height = std::min(in.frameHeight + ph + 80, in.clientHeight - in.borderHeight);
  r.x = in.x;
  r.y = in.y;
  if (r.x + r.width > in.clientWidth) r.x = std::max(0, in.clientWidth - r.width);
  if (r.y + r.height > in.clientHeight) r.y = std::max(0, in.clientHeight - r.height);
  return r;
}

namespace {
CommandEntry C(const char* name, const char* caption, const char* shortcut, bool checkable = false,
               bool separatorBefore = false, const char* submenu = "") {
  CommandEntry c;
  c.name = name;
  c.caption = caption;
  c.shortcut = shortcut;
  c.checkable = checkable;
  c.separatorBefore = separatorBefore;
  c.submenu = submenu;
  return c;
}
}  // namespace

const std::vector<MenuEntry>& Menus() {
  static const std::vector<MenuEntry> menus = {
      {"ファイル(&F)",
       true,
       false,
       {C("actFileNew", "新規作成(&N)...", "Ctrl+N"), C("actFileOpen", "開く(&O)...", "Ctrl+O"),
        C("actFileReopen", "復帰(&L)", ""), C("actFileSave", "上書き保存(&S)", "Ctrl+S"),
        C("actFileSaveAs", "名前を付けて保存(&A)...", ""), C("actFileClose", "閉じる(&C)", "Ctrl+F4"),
        C("actSaveAutoBmp", "年月日番号でBMP保存(&B)", ""), C("actCloseApp", "終了(&X)", "")}},
      {"編集(&E)",
       false,
       false,
       {C("actEditUndo", "取り消し(&Z)", "Ctrl+Z"), C("actEditRedo", "やり直し(&R)", "Ctrl+Y"),
        C("actEditUndoClear", "メモリの解放(&F)", ""),
        C("actEditVisCanvasColor", "用紙色を有効にする(&C)", "", true, true, "用紙色(&B)"),
        C("actEditVisBGPattern", "用紙透明部分を表示(&P)", "", true, false, "用紙色(&B)")}},
      {"レイヤ(&L)",
       false,
       false,
       {C("actLayerDuplicate", "レイヤの複製(&C)", ""),
        C("actLayerBindBelow", "下のレイヤと統合(&B)", "Ctrl+E"),
        C("actLayerBindAll", "表示レイヤの統合(&A)", ""),
        C("actLayerBindAllTP", "表示レイヤの統合(透明度維持)(&T)", ""),
        C("actLayerVisAll", "すべて表示(&V)", "", false, true), C("actLayerHideAll", "すべて隠す(&H)", ""),
        C("actLayerVisOnly", "選択レイヤ以外隠す(&O)", ""),
        C("actLayerVisFlip", "すべての表示を反転(&I)", ""),
        C("actLayerMaskNega", "レイヤマスクの反転(&N)", "", false, true),
        C("actLayerMaskFill", "レイヤマスクの全不透明化(&F)", ""),
        C("actLayerMaskClear", "レイヤマスクの完全透明化(&D)", ""),
        C("actLayerCutOutside", "非表示領域の削除(&O)", ""),
        C("actLayerGroupIn", "グループ化(&G)", "Ctrl+G", false, true),
        C("actLayerGroupOut", "グループ解除(&E)", ""), C("actLayerGroupBind", "グループの統合(&I)", ""),
        C("actLayerGroupDel", "グループの削除(&D)", ""),
        C("actLayerSave", "レイヤの保存(&S)...", "", false, true)}},
      {"イベント(&N)",
       false,
       false,
       {C("actFileOpenEvent", "イベントファイルを開く(&O)...", ""),
        C("actFileSaveEvent", "イベントファイルの保存(&S)...", ""),
        C("actFileSaveEventGuard", "保護付きイベントデータの保存(&G)...", ""),
        C("actEventPlayPause", "イベント再生の一時停止(&P)", "", false, true),
        C("actEventPlayResume", "イベント再生の再開(&R)", ""),
        C("actEventPlayStop", "イベント再生の終了(&E)", ""),
        C("actEventRecStop", "イベント記録の中止(&X)", "", false, true),
        C("actEventWait", "イベント再生にウエイトをかける(&W)", "Ctrl+W", true)}},
      {"表示(&V)",
       false,
       false,
       {C("actViewZoomIn", "拡大表示(&I)", ""),
        C("actViewZoomOut", "縮小表示(&O)", ""),
        C("actViewZoomCancel", "等倍表示(&N)", "F7"),
        C("actWindowSizeFit", "ウインドウサイズの調整(&F)", "F8"),
        C("actViewAntiAlias", "アンチエイリアス表示(&A)", "F9", true),
        C("actShowGrid", "グリッドの表示(&G)", "", true),
        C("actShowPenMethodWin", "ブラシウインドウの表示", "", false, true),
        C("actShowPenMtdList", "ブラシリストの表示", ""),
        C("actShowPenShapeWin", "ペン形状ウインドウの表示", ""),
        C("actShowPenShpList", "ペン先リストの表示", ""),
        C("actShowPenWindow", "旧ペンウインドウの表示", ""),
        C("actShowCtrlWindow", "コントロールウインドウの表示", ""),
        C("actShowPreviewWindow", "プレビューウインドウの表示", ""),
        C("actShowLayerWindow", "レイヤウインドウの表示", ""),
        C("actShowSelectWindow", "選択範囲ウインドウの表示", ""),
        C("actShowColorWindow", "カラーウインドウの表示", ""),
        C("actShowRgbWindow", "RGBウインドウの表示(&R)", ""),
        C("actShowHsvWindow", "HSVウインドウの表示(&H)", ""),
        C("actShowPalWindow", "カラーパレットの表示", ""),
        C("actShowGradWindow", "グラデーションウインドウの表示", ""),
        C("actShowToneWindow", "トーンウインドウの表示", "")}},
      {"ウインドウ(&W)",
       false,
       true,
       {C("actWindowCascade", "重ねて表示(&C)", ""), C("actWindowTileVertical", "左右に並べて表示(&T)", ""),
        C("actWindowTileHorizontal", "上下に並べて表示(&H)", ""),
        C("actWindowMinimizeAll", "すべてを最小化(&M)", "")}},
  };
  return menus;
}

const std::vector<CommandEntry>& LayerWindowCommands() {
  static const std::vector<CommandEntry> commands = {
      C("actCreateLayerStd", "通常レイヤの新規作成(&N)", ""),
      C("actCreateLayerMul", "乗算レイヤの新規作成(&M)", ""),
      C("actCreateLayerAdd", "加算レイヤの新規作成(&A)", ""),
      C("actCreateLayerSub", "減算レイヤの新規作成(&S)", ""),
      C("actDeleteCurLayer", "アクティブレイヤの削除(&D)", ""),
      C("actProtectLayerMask", "レイヤマスクを保護する(&P)", "", true, true),
      C("actLayerMaskNega", "レイヤマスクの反転(&N)", ""),
      C("actLayerMaskFill", "レイヤマスクの全不透明化(&F)", ""),
      C("actLayerMaskClear", "レイヤマスクの完全透明化(&D)", ""),
      C("actLayerBindAll", "表示レイヤの統合(&A)", "", false, true),
      C("actLayerPaste", "貼り付け(&P)", ""),
      C("actLayerBindLower", "下のレイヤと結合(&B)旧", ""),
      C("actLayerDuplicate", "レイヤの複製(&C)", ""),
      C("actLayerCutOutside", "非表示領域の削除(&O)", ""),
      C("actLayerVisAll", "すべて表示(&V)", "", false, true),
      C("actLayerHideAll", "すべて隠す(&H)", ""),
      C("actLayerVisOnly", "選択レイヤ以外隠す(&O)", ""),
      C("actLayerVisFlip", "すべての表示を反転(&I)", ""),
      C("actLayerRot90", "90度回転(時計回り)(&0)", "", false, true),
      C("actLayerRot270", "90度回転(反時計回り)(&2)", ""),
      C("actLayerRotate", "回転(&R)...", ""),
      C("actLayerZoom", "拡大縮小(&Z)...", ""),
      C("actLayerBindBelow", "下のレイヤと統合(&B)", "Ctrl+E", false, true),
      C("actLayerCreate", "レイヤの新規作成(&I)...", ""),
      C("actLayerSave", "レイヤの保存(&S)...", ""),
      C("actLayerBindAllTP", "表示レイヤの統合(透明度維持)(&T)", ""),
      C("actLayerGroupIn", "グループ化(&G)", "Ctrl+G", false, true),
      C("actLayerGroupOut", "グループ解除(&E)", ""),
      C("actLayerGroupBind", "グループの統合(&I)", ""),
      C("actLayerGroupDel", "グループの削除(&D)", ""),
      C("actLayerShowInfo", "アクティブレイヤ設定(&O)...", "", false, true),
  };
  return commands;
}

const std::vector<CommandEntry>& SelectWindowCommands() {
  static const std::vector<CommandEntry> commands = {
      C("actSelectInsert", "選択範囲の新規作成(&N)", ""),
      C("actSelectRemove", "選択範囲の削除(&D)", ""),
      C("actSelectDuplicate", "選択範囲の複製(&U)", ""),
      C("actSelectFromLayerValue", "レイヤの明度から新規作成(&L)", "", false, true),
      C("actSelectFromLayerMask", "レイヤマスクから新規作成(&M)", ""),
      C("actSelectCopyLayerMask", "選択範囲をレイヤマスクにコピー(&X)", ""),
      C("actSelectCutOutside", "非表示領域の削除(&O)", "", false, true),
  };
  return commands;
}

bool CommandEnabled(const std::string& n, const CommandContext& c) {
  const bool window = c.hasWindow;
  const bool edit = window && !c.batch && c.initialised && !c.replaying;
  const bool save = window && !c.replaying && !c.fromProtected;
  const bool replay = c.hasWindow && c.replaying;
  if (n == "actFileNew" || n == "actFileOpen" || n == "actFileOpenEvent" || n == "actCloseApp") return true;
  if (n == "actFileReopen") return save && c.hasFile && c.modified;
  if (n == "actFileSave") return save && c.hasFile;
  if (n == "actFileSaveAs" || n == "actSaveAutoBmp") return save;
  if (n == "actFileClose") return window;
  if (n == "actEditUndo") return edit && c.canUndo;
  if (n == "actEditRedo") return edit && c.canRedo;
  if (n == "actEditUndoClear") return edit && (c.canUndo || c.canRedo);
  if (n == "actLayerBindBelow" || n == "actLayerBindLower") return edit && c.activeLayer > 0;
  if (n.rfind("actCreateLayer", 0) == 0 || n == "actLayerCreate") return edit && c.canAddLayer;
  if (n == "actDeleteCurLayer") return edit && c.layerCount > 1;
  if (n == "actProtectLayerMask") return edit;
  if (n == "actSelectRemove") return edit && c.maskCount > 1;
  if (n == "actSelectDuplicate" || n == "actSelectCutOutside") return edit && c.hasSelection;
  if (n.rfind("actSelect", 0) == 0) return edit;
  if (n.rfind("actLayer", 0) == 0) return edit;
  if (n == "actFileSaveEvent" || n == "actFileSaveEventGuard") return window && c.eventsSavable;
  // Pause and resume only for current-format streams.
  if (n == "actEventPlayStop") return replay;
  if (n == "actEventPlayPause") return replay && !c.oldReplay && !c.replayPaused;
  if (n == "actEventPlayResume") return replay && !c.oldReplay && c.replayPaused;
  if (n == "actEventRecStop") return window && !c.replaying && c.recording;
  if (n == "actEventWait") return true;
  // The palette toggles.
  if (n.rfind("actShow", 0) == 0 && n != "actShowGrid") return true;
  if (n.rfind("actView", 0) == 0 || n == "actWindowSizeFit" || n == "actShowGrid" ||
      n == "actEditVisCanvasColor" || n == "actEditVisBGPattern")
    return window;
  if (n.rfind("actWindow", 0) == 0) return c.windowCount > 1;
  return false;
}

bool CommandChecked(const std::string& n, const CommandContext& c) {
  if (n == "actViewAntiAlias") return c.antialiased;
  if (n == "actShowGrid") return c.gridOn;
  if (n == "actEditVisCanvasColor") return c.paperColourOn;
  if (n == "actEditVisBGPattern") return c.checkerOn;
  if (n == "actEventWait") return c.eventWait;
  if (n == "actProtectLayerMask") return c.activeProtected;
  return false;
}

namespace {

ResourceTable& Resources() {
  static ResourceTable table;
  return table;
}

// Whole UTF-8 sequences only: a module in another encoding is refused, not shown garbled.
bool IsUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    i += n;
  }
  return true;
}

}  // namespace

ResourceLoad LoadResourceModule(const std::string& path, ResourceTable& out) {
  std::error_code ec;
  if (!fs::exists(fs::path(path), ec)) return ResourceLoad::kAbsent;
  if (!fs::is_regular_file(fs::path(path), ec)) return ResourceLoad::kUnreadable;
  std::ifstream in(path, std::ios::binary);
  if (!in) return ResourceLoad::kUnreadable;
  std::stringstream all;
  all << in.rdbuf();
  if (in.bad() || !IsUtf8(all.str())) return ResourceLoad::kUnreadable;
  ResourceTable table;
  std::string line;
  std::istringstream lines(all.str());
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == 0 || eq == std::string::npos) return ResourceLoad::kUnreadable;
    std::string text = line.substr(eq + 1);
    for (size_t at = text.find("\\r"); at != std::string::npos; at = text.find("\\r", at + 1))
      text.replace(at, 2, "\r");
    table.texts[line.substr(0, eq)] = text;
  }
  out = std::move(table);
  return ResourceLoad::kLoaded;
}

std::string ResourceFailedMessage(const std::string& path) {
  return Format("载入 \"%s\" 失败!", path.c_str());
}

void SetResourceTable(ResourceTable table) { Resources() = std::move(table); }

std::string Text(const std::string& key, const std::string& builtIn) {
  const auto it = Resources().texts.find(key);
  return it == Resources().texts.end() ? builtIn : it->second;
}

}  // namespace tintara::shell
