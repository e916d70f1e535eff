#include "app/ModeMngr.h"

#include <algorithm>

namespace tintara {

// clang-format off
const std::array<ToolInfo, kToolCount> kTools = {{
    {'B', 0, 0, "筆で描画(B)|アクティブレイヤに筆で描画します"},  // 0
    {0, 3, 1, "表示回転|表示部分を回転させます"},  // 1
    {0, 3, 0, "表示移動|表示位置を移動させます"},  // 2
    {0, 4, 1, "アクティブレイヤをクリアします"},  // 3
    {'K', 4, 2, "塗りつぶし(K)|アクティブレイヤを塗り潰します"},  // 4
    {0, 1, 0, "拡大表示|表示を拡大します"},  // 5
    {0, 1, 1, "縮小表示|表示を縮小します"},  // 6
    {0, 5, 5, "イメージの一部をカットします"},  // 7
    {'V', 5, -1, "レイヤ移動(V)|アクティブレイヤを平行移動します"},  // 8
    {'I', 2, 0, "スポイト(I)|画面の色をスポイトで取り込みます"},  // 9
    {'O', 6, -1, "図形描画(O)|図形に沿って筆で描画します"},  // 10
    {'P', 7, -1, "図形塗りつぶし(P)|図形内の領域を塗りつぶします"},  // 11
    {'N', 6, -1, "直線描画(N)|直線を描きます"},  // 12
    {0, 7, 3, "囲んだ領域を塗りつぶします"},  // 13
    {'T', 9, 0, "文字描画(T)|アクティブレイヤに文字を描画します"},  // 14
    {'X', 9, 1, "文字選択(X)|選択範囲に文字を描画します"},  // 15
    {'M', 8, -1, "選択範囲(M)|矩形・楕円形の選択範囲を作成します"},  // 16
    {'L', 8, -1, "選択範囲(L)|自由形状・多角形の選択範囲を作成します"},  // 17
    {'W', 4, 3, "自動選択(W)|クリック先の色に従って選択範囲を自動作成します"},  // 18
    {'J', 5, 3, "グラデーション(J)|ドラッグ方向にグラデーションを作成します"},  // 19
    {'C', 5, 4, "トリミング(C)|矩形範囲に画像をトリミングします"},  // 20
}};
// clang-format on

namespace {

constexpr uint8_t kModeEditsTable[kToolModeCount] = {1, 0, 0, 0, 1, 1, 1, 1, 1, 1};

constexpr ToolChoice kMiddleButtonTools[11] = {
    {3, 0}, {3, 1}, {3, 2}, {5, 0}, {5, 3}, {7, 0}, {7, 3}, {4, 2}, {8, 0}, {8, 3}, {4, 3},
};

bool ValidTool(int32_t tool) { return tool >= 0 && tool < kToolCount; }

}  // namespace

std::string_view ToolName(int32_t tool) {
  if (!ValidTool(tool)) return {};
  const std::string_view t = kTools[size_t(tool)].text;
  const size_t bar = t.find('|');
  return bar == std::string_view::npos ? t : t.substr(0, bar);
}

std::string_view ToolHint(int32_t tool) {
  if (!ValidTool(tool)) return {};
  const std::string_view t = kTools[size_t(tool)].text;
  const size_t bar = t.find('|');
  return bar == std::string_view::npos ? t : t.substr(bar + 1);
}

bool SubModeCycle::Contains(uint32_t s) const {
  return std::find(subModes.begin(), subModes.begin() + count, s) != subModes.begin() + count;
}

uint32_t SubModeCycle::After(uint32_t s) const {
  for (uint8_t i = 0; i < count; ++i)
    if (subModes[i] == s) return subModes[(i + 1) % count];
  return s;
}

SubModeCycle CycleOf(int32_t tool) {
  switch (tool) {
    case 8:  // layer move
      return {{0, 2}, 2};
    case 10:  // shape draw
      return {{0, 1, 2}, 3};
    case 11:  // shape fill
      return {{0, 1, 2, 3}, 4};
    case 12:  // straight line
      return {{3, 4}, 2};
    case 16:  // rectangle and ellipse selection
      return {{0, 2}, 2};
    case 17:  // free-form and polygon selection
      return {{1, 3}, 2};
    default:
      return {};
  }
}

ToolChoice MiddleButtonTool(int32_t mouseMBtnFunc) {
  return kMiddleButtonTools[std::clamp(mouseMBtnFunc, 0, 10)];
}

CModeMngr::CModeMngr() { subModes_[kToolModeFill] = kSubBucketFill; }

bool CModeMngr::ModeEdits(uint8_t mode) { return mode < kToolModeCount && kModeEditsTable[mode] != 0; }

bool CModeMngr::SelectMode(uint8_t mode, uint32_t subMode) {
  if (mode >= kToolModeCount) return false;
  if (mode_ == mode && (subMode == kKeepSubMode || subMode == subModes_[mode])) return false;
  mode_ = mode;
  if (subMode != kKeepSubMode) subModes_[mode] = subMode;
  if (onChanged) onChanged();
  return true;
}

bool CModeMngr::IsToolCurrent(int32_t tool) const {
  const ToolInfo& t = kTools[size_t(tool)];
  if (t.mode != mode_) return false;
  if (t.subMode >= 0) return uint32_t(t.subMode) == SubMode();
  return CycleOf(tool).Contains(SubMode());
}

int32_t CModeMngr::CurrentTool() const {
  int32_t stepping = -1;
  for (int32_t i = 0; i < kToolCount; ++i) {
    if (!IsToolCurrent(i)) continue;
    if (kTools[size_t(i)].subMode >= 0) return i;
    if (stepping < 0) stepping = i;
  }
  return stepping;
}

uint32_t CModeMngr::EntrySubMode(int32_t tool) const {
  const ToolInfo& t = kTools[size_t(tool)];
  if (t.subMode >= 0) return uint32_t(t.subMode);
  // Two tools share modes 6 and 8: the one remembered must be one of this tool's own, or the
  // line key would bring back a rectangle.
  const SubModeCycle cycle = CycleOf(tool);
  const uint32_t stored = subModes_[t.mode];
  return cycle.Contains(stored) ? stored : cycle.subModes[0];
}

bool CModeMngr::SelectTool(int32_t tool) {
  if (!ValidTool(tool) || (toolAvailable && !toolAvailable(tool))) return false;
  return SelectMode(kTools[size_t(tool)].mode, EntrySubMode(tool));
}

int32_t CModeMngr::ToolOfKey(char key) {
  if (key >= 'a' && key <= 'z') key = char(key - 'a' + 'A');
  if (key == 0) return -1;
  for (int32_t i = 0; i < kToolCount; ++i)
    if (kTools[size_t(i)].key == key) return i;
  return -1;
}

bool CModeMngr::ToolKey(char key, bool ctrlOrAlt, bool autoRepeat, bool replaying) {
  if (ctrlOrAlt || autoRepeat || replaying) return false;
  const int32_t tool = ToolOfKey(key);
  if (tool < 0 || (toolAvailable && !toolAvailable(tool))) return false;
  if (IsToolCurrent(tool)) {
    const SubModeCycle cycle = CycleOf(tool);
    if (cycle.count == 0) return false;
    return SelectMode(mode_, cycle.After(SubMode()));
  }
  return SelectTool(tool);
}

}  // namespace tintara
