#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/AppProfile.h"
#include "app/ModeMngr.h"
#include "app/ToolDispatch.h"
#include "document/Paper.h"

namespace tintara {
namespace {

using Log = std::vector<std::string>;

std::string Pt(TPoint p) { return std::to_string(p.x) + "," + std::to_string(p.y); }

// --- mode manager -----------------------------------------------------------------------------

TEST(ModeMngr, StartsWithThePenAndBucketFillRemembered) {
  CModeMngr m;
  EXPECT_EQ(m.Mode(), kToolModePen);
  EXPECT_EQ(m.SubMode(), 0u);
  for (uint8_t mode = 0; mode < kToolModeCount; ++mode)
    EXPECT_EQ(m.SubModeOf(mode), mode == kToolModeFill ? 2u : 0u) << int(mode);
  EXPECT_EQ(m.CurrentTool(), 0);
}

TEST(ModeMngr, OnlyTheViewToolsLeaveThePictureAlone) {
  const bool edits[kToolModeCount] = {true, false, false, false, true, true, true, true, true, true};
  for (uint8_t mode = 0; mode < kToolModeCount; ++mode)
    EXPECT_EQ(CModeMngr::ModeEdits(mode), edits[mode]) << int(mode);
  EXPECT_FALSE(CModeMngr::ModeEdits(10));
}

TEST(ModeMngr, SelectModeReportsOnlyChanges) {
  struct Step {
    uint8_t mode;
    uint32_t sub;
    bool changed;
    uint8_t modeAfter;
    uint32_t subAfter;
  };
  const Step steps[] = {
      {0, 255, false, 0, 0},  // the current mode with "keep"
      {0, 0, false, 0, 0},    // the current mode with its own sub-mode
      {0, 1, true, 0, 1},     // a new sub-mode of the current mode
      {3, 255, true, 3, 0},   // another mode, its stored sub-mode kept
      {3, 255, false, 3, 0},  //
      {4, 255, true, 4, 2},   // the fill mode remembers the bucket fill
      {3, 2, true, 3, 2},     //
      {4, 3, true, 4, 3},     //
      {3, 255, true, 3, 2},   // mode 3 kept sub-mode 2
      {10, 0, false, 3, 2},   // no such mode
  };
  CModeMngr m;
  int told = 0;
  m.onChanged = [&] { ++told; };
  int expectTold = 0;
  for (const Step& s : steps) {
    EXPECT_EQ(m.SelectMode(s.mode, s.sub), s.changed) << int(s.mode) << "/" << s.sub;
    expectTold += s.changed;
    EXPECT_EQ(m.Mode(), s.modeAfter);
    EXPECT_EQ(m.SubMode(), s.subAfter);
    EXPECT_EQ(told, expectTold);
  }
  EXPECT_EQ(m.SubModeOf(0), 1u);
}

TEST(ModeMngr, ToolTextsSplitAtTheBar) {
  EXPECT_EQ(ToolName(0), "筆で描画(B)");
  EXPECT_EQ(ToolHint(0), "アクティブレイヤに筆で描画します");
  EXPECT_EQ(ToolName(17), "選択範囲(L)");
  EXPECT_EQ(ToolHint(17), "自由形状・多角形の選択範囲を作成します");
  EXPECT_EQ(ToolName(18), "自動選択(W)");
  EXPECT_EQ(ToolHint(18), "クリック先の色に従って選択範囲を自動作成します");
  // Texts without a bar serve as both.
  for (int32_t tool : {3, 7, 13}) EXPECT_EQ(ToolName(tool), ToolHint(tool)) << tool;
  EXPECT_EQ(ToolHint(13), "囲んだ領域を塗りつぶします");
  EXPECT_EQ(ToolName(21), "");
  EXPECT_EQ(ToolName(-1), "");
}

TEST(ModeMngr, KeysNameTheirTools) {
  const std::pair<char, int32_t> keys[] = {{'B', 0},  {'K', 4},  {'V', 8},  {'I', 9},  {'O', 10}, {'P', 11},
                                           {'N', 12}, {'T', 14}, {'X', 15}, {'M', 16}, {'L', 17}, {'W', 18},
                                           {'J', 19}, {'C', 20}, {'c', 20}, {'A', -1}, {'Z', -1}, {0, -1}};
  for (auto [key, tool] : keys) EXPECT_EQ(CModeMngr::ToolOfKey(key), tool) << key;
  int32_t withKey = 0;
  for (const ToolInfo& t : kTools) withKey += t.key != 0;
  EXPECT_EQ(withKey, 14);
}

// A run of keys typed from a fresh manager, with the tool after each.
struct KeyRun {
  const char* name;
  std::vector<std::tuple<char, bool, uint8_t, uint32_t>> keys;  // key, changed, mode, sub-mode
};

TEST(ModeMngr, RepeatedKeysStepThroughSubModes) {
  const KeyRun runs[] = {
      {"shape draw", {{'O', true, 6, 0}, {'O', true, 6, 1}, {'O', true, 6, 2}, {'O', true, 6, 0}}},
      {"shape fill",
       {{'P', true, 7, 0}, {'P', true, 7, 1}, {'P', true, 7, 2}, {'P', true, 7, 3}, {'P', true, 7, 0}}},
      {"line", {{'N', true, 6, 3}, {'N', true, 6, 4}, {'N', true, 6, 3}}},
      {"rect selection", {{'M', true, 8, 0}, {'M', true, 8, 2}, {'M', true, 8, 0}}},
      {"free selection", {{'L', true, 8, 1}, {'L', true, 8, 3}, {'L', true, 8, 1}}},
      {"layer move", {{'V', true, 5, 0}, {'V', true, 5, 2}, {'V', true, 5, 0}}},
      // One sub-mode only: a second press changes nothing.
      {"pen", {{'B', false, 0, 0}}},
      {"bucket", {{'K', true, 4, 2}, {'K', false, 4, 2}, {'W', true, 4, 3}, {'W', false, 4, 3}}},
      {"text", {{'T', true, 9, 0}, {'X', true, 9, 1}, {'T', true, 9, 0}}},
      // The last sub-mode of a mode comes back with its key...
      {"remembered", {{'O', true, 6, 0}, {'O', true, 6, 1}, {'B', true, 0, 0}, {'O', true, 6, 1}}},
      // ...unless it belongs to the other tool of the same mode.
      {"shared mode 6", {{'O', true, 6, 0}, {'O', true, 6, 1}, {'N', true, 6, 3}, {'O', true, 6, 0}}},
      {"shared mode 8", {{'L', true, 8, 1}, {'M', true, 8, 0}, {'M', true, 8, 2}, {'L', true, 8, 1}}},
      {"gradation then layer move", {{'J', true, 5, 3}, {'V', true, 5, 0}, {'C', true, 5, 4}}},
      {"no tool", {{'A', false, 0, 0}, {'1', false, 0, 0}}},
  };
  for (const KeyRun& run : runs) {
    CModeMngr m;
    for (auto [key, changed, mode, sub] : run.keys) {
      EXPECT_EQ(m.ToolKey(key, false, false, false), changed) << run.name << " " << key;
      EXPECT_EQ(m.Current(), (ToolChoice{mode, sub})) << run.name << " " << key;
    }
  }
}

TEST(ModeMngr, ToolKeysIgnoredWithModifiersRepeatsAndReplay) {
  CModeMngr m;
  EXPECT_FALSE(m.ToolKey('O', true, false, false));
  EXPECT_FALSE(m.ToolKey('O', false, true, false));
  EXPECT_FALSE(m.ToolKey('O', false, false, true));
  EXPECT_EQ(m.Current(), (ToolChoice{0, 0}));
  ASSERT_TRUE(m.ToolKey('O', false, false, false));
  // A repeat does not step the shape either.
  EXPECT_FALSE(m.ToolKey('O', false, true, false));
  EXPECT_EQ(m.Current(), (ToolChoice{6, 0}));
}

TEST(ModeMngr, CurrentToolPrefersTheFixedButton) {
  CModeMngr m;
  const std::tuple<uint8_t, uint32_t, int32_t> cases[] = {
      {7, 3, 13},  // free-form fill has a button of its own besides the shape fill key
      {7, 1, 11}, {6, 4, 12}, {6, 2, 10},
      {8, 3, 17}, {8, 2, 16}, {5, 1, -1},  // moving the selection: no button
      {5, 5, 7},  {3, 2, -1},              // pen radius: no button
      {3, 0, 2},  {1, 1, 6},  {4, 1, 3},
  };
  for (auto [mode, sub, tool] : cases) {
    m.SelectMode(mode, sub);
    EXPECT_EQ(m.CurrentTool(), tool) << int(mode) << "/" << sub;
  }
  EXPECT_TRUE(m.SelectTool(5));
  EXPECT_EQ(m.Current(), (ToolChoice{1, 0}));
  EXPECT_FALSE(m.SelectTool(5));
  EXPECT_FALSE(m.SelectTool(21));
}

TEST(ModeMngr, MiddleButtonTable) {
  const ToolChoice expected[11] = {{3, 0}, {3, 1}, {3, 2}, {5, 0}, {5, 3}, {7, 0},
                                   {7, 3}, {4, 2}, {8, 0}, {8, 3}, {4, 3}};
  for (int32_t f = 0; f <= 10; ++f) EXPECT_EQ(MiddleButtonTool(f), expected[f]) << f;
  EXPECT_EQ(MiddleButtonTool(-1), (ToolChoice{3, 0}));
  EXPECT_EQ(MiddleButtonTool(12), (ToolChoice{4, 3}));
}

// --- temporary tools --------------------------------------------------------------------------

TEST(TemporaryTool, FirstMatchingRuleWins) {
  struct Case {
    const char* name;
    HeldKeys keys;  // shift, alt, ctrl, space
    ToolChoice current;
    bool selection, inside;
    std::optional<TemporaryTool> expected;
  };
  const ToolChoice pen{0, 0}, zoomIn{1, 0}, zoomOut{1, 1}, wand{4, 3}, bucket{4, 2}, rectSel{8, 0};
  const TemporaryTool eyedropper{{2, 0}, true};
  const Case cases[] = {
      {"ctrl in zoom in", {false, false, true, false}, zoomIn, false, false, TemporaryTool{{1, 1}}},
      {"ctrl in zoom out", {false, false, true, false}, zoomOut, false, false, TemporaryTool{{1, 0}}},
      {"ctrl+space in zoom", {false, false, true, true}, zoomIn, false, false, TemporaryTool{{1, 1}}},
      {"ctrl alone with the pen", {false, false, true, false}, pen, false, false, std::nullopt},
      {"shift", {true, false, false, false}, pen, false, false, eyedropper},
      {"shift+ctrl", {true, false, true, false}, pen, false, false, eyedropper},
      {"shift+space", {true, false, false, true}, pen, false, false, eyedropper},
      {"shift+alt", {true, true, false, false}, pen, false, false, TemporaryTool{{3, 1}}},
      {"shift in selection", {true, false, false, false}, rectSel, true, true, std::nullopt},
      {"shift in selection, none yet", {true, false, false, false}, rectSel, false, false, std::nullopt},
      {"shift with the wand and a selection", {true, false, false, false}, wand, true, false, std::nullopt},
      {"shift with the wand alone", {true, false, false, false}, wand, false, false, eyedropper},
      {"shift with the bucket and a selection", {true, false, false, false}, bucket, true, false, eyedropper},
      {"space", {false, false, false, true}, pen, false, false, TemporaryTool{{3, 0}}},
      {"space+alt", {false, true, false, true}, pen, false, false, TemporaryTool{{3, 0}}},
      {"space+ctrl", {false, false, true, true}, pen, false, false, TemporaryTool{{1, 0}}},
      {"space+ctrl+alt", {false, true, true, true}, pen, false, false, TemporaryTool{{1, 1}}},
      {"alt+ctrl", {false, true, true, false}, pen, false, false, TemporaryTool{{3, 2}}},
      {"alt", {false, true, false, false}, pen, false, false, TemporaryTool{{3, 1}}},
      {"in the selection", {}, rectSel, true, true, TemporaryTool{{5, 1}}},
      {"outside the selection", {}, rectSel, true, false, std::nullopt},
      {"free-form selection, inside", {}, ToolChoice{8, 3}, true, true, TemporaryTool{{5, 1}}},
      {"inside, but the bucket", {}, bucket, true, true, std::nullopt},
      {"nothing held", {}, pen, false, false, std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TemporaryToolFor(c.keys, c.current, c.selection, c.inside), c.expected) << c.name;
}

// --- pointer dispatch -------------------------------------------------------------------------

class FakeHost : public IToolHost {
 public:
  explicit FakeHost(Log& log) : log_(log) {}
  bool replaying = false;
  bool selectionExists = false, selectionEnabled = false;
  TRect selection{};  // where the mask is above 0
  bool canEdit = true, maySave = true, minimised = false;
  bool captured = false;
  ToolChoice cursor{99, 99};
  TPaper paper;  // the zoom steps are the paper's
  std::vector<TPoint> zoomPoints;
  std::vector<WindowAction> actions;
  std::vector<std::string> status;
  int fits = 0, modified = 0, optionRefreshes = 0;

  bool IsReplaying() const override { return replaying; }
  void Beep() override { log_.push_back("beep"); }
  void SetCapture(bool c) override { captured = c; }
  void SetToolCursor(ToolChoice t) override { cursor = t; }
  bool SelectionExists() const override { return selectionExists; }
  bool SelectionEnabled() const override { return selectionEnabled; }
  uint8_t SelectionValueAt(TPoint p) const override {
    return p.x >= selection.left && p.x < selection.right && p.y >= selection.top && p.y < selection.bottom
               ? 255
               : 0;
  }
  bool CanZoomIn() const override { return paper.CanZoomIn(); }
  bool CanZoomOut() const override { return paper.CanZoomOut(); }
  bool ZoomAbout(bool in, TPoint p) override {
    zoomPoints.push_back(p);
    return in ? paper.ZoomIn() : paper.ZoomOut();
  }
  TPoint ClientSize() const override { return {640, 481}; }
  bool IsMinimised() const override { return minimised; }
  void FitWindow() override { ++fits; }
  bool CanEditNow() const override { return canEdit; }
  bool MaySave() const override { return maySave; }
  void RunWindowAction(WindowAction a) override { actions.push_back(a); }
  void ShowStatus(std::string_view t) override { status.emplace_back(t); }
  void SetModified() override { ++modified; }
  void RefreshOptionWindow() override { ++optionRefreshes; }

 private:
  Log& log_;
};

// Every mode's handlers write what they were called with, as "m<mode> <slot> <point>".
ToolHandlers Recording(Log& log, int mode) {
  const std::string m = "m" + std::to_string(mode) + " ";
  auto at = [&log, m](const char* slot) {
    return [&log, m, slot](uint32_t, TPoint p) { log.push_back(m + slot + " " + Pt(p)); };
  };
  auto up = [&log, m](const char* slot) {
    return [&log, m, slot](uint32_t, std::optional<TPoint> p) {
      log.push_back(m + slot + " " + (p ? Pt(*p) : "-"));
    };
  };
  ToolHandlers h;
  h.leftDown = at("leftDown");
  h.leftMove = at("leftMove");
  h.leftUp = up("leftUp");
  h.leftDoubleClick = at("leftDouble");
  h.rightDown = at("rightDown");
  h.rightMove = at("rightMove");
  h.rightUp = up("rightUp");
  h.rightDoubleClick = at("rightDouble");
  h.moveNoButton = at("hover");
  h.key = [&log, m](const KeyInput& k) { log.push_back(m + "key " + std::to_string(k.key)); };
  h.finish = [&log, m] { log.push_back(m + "finish"); };
  h.cancelDrag = [&log, m] { log.push_back(m + "cancelDrag"); };
  return h;
}

class Dispatch : public testing::Test {
 protected:
  Dispatch() {
    for (uint8_t mode = 0; mode < kToolModeCount; ++mode) d.SetHandlers(mode, Recording(log, mode));
  }
  void Down(MouseButton b, TPoint p, uint32_t shift = 0) { d.PointerDown(b, shift, p, false); }
  void Double(MouseButton b, TPoint p, uint32_t shift = 0) { d.PointerDown(b, shift, p, true); }
  Log Take() { return std::exchange(log, {}); }

  Log log;
  FakeHost host{log};
  CModeMngr modes;
  ConfigSettings config;
  CToolDispatch d{host, modes, config};
};

TEST_F(Dispatch, LeftDragDownMoveUp) {
  Down(MouseButton::kLeft, {1, 2});
  EXPECT_EQ(d.State(), kStateLeftDrag | kStateButtonDown);
  EXPECT_TRUE(host.captured);
  EXPECT_EQ(d.PressPoint(), (TPoint{1, 2}));
  d.PointerMove(kShiftLeft, {3, 4});
  d.PointerMove(kShiftRight, {5, 6});  // not the button that drags
  d.PointerUp(MouseButton::kLeft, 0, {7, 8});
  d.PointerUp(MouseButton::kLeft, 0, {9, 9});  // no drag any more
  EXPECT_EQ(Take(), (Log{"m0 leftDown 1,2", "m0 leftMove 3,4", "m0 leftUp 7,8"}));
  EXPECT_EQ(d.State(), 0);
  EXPECT_FALSE(host.captured);
}

TEST_F(Dispatch, SecondPressEndsTheDragFirstAndBeeps) {
  Down(MouseButton::kLeft, {1, 2});
  Down(MouseButton::kRight, {3, 4});
  EXPECT_EQ(Take(), (Log{"m0 leftDown 1,2", "m0 leftUp -", "beep", "m0 rightDown 3,4"}));
  EXPECT_EQ(d.State(), kStateRightDrag | kStateButtonDown);
  d.PointerMove(kShiftLeft | kShiftRight, {5, 5});  // the left button is no longer dragging
  d.PointerMove(kShiftRight, {6, 6});
  Down(MouseButton::kLeft, {7, 7});
  EXPECT_EQ(Take(), (Log{"m0 rightMove 6,6", "m0 rightUp -", "beep", "m0 leftDown 7,7"}));
  EXPECT_EQ(d.State(), kStateLeftDrag | kStateButtonDown);
  // The right release belongs to the drag already ended.
  d.PointerUp(MouseButton::kRight, 0, {8, 8});
  EXPECT_EQ(Take(), Log{});
  EXPECT_EQ(d.State(), kStateLeftDrag | kStateButtonDown);
}

TEST_F(Dispatch, DoubleClickDoesNotEndADrag) {
  Down(MouseButton::kLeft, {1, 1});
  Double(MouseButton::kLeft, {1, 1});
  EXPECT_EQ(Take(), (Log{"m0 leftDown 1,1", "m0 leftDouble 1,1"}));
  EXPECT_EQ(d.State(), kStateLeftDrag | kStateButtonDown);
  d.PointerUp(MouseButton::kLeft, 0, {2, 2});
  Double(MouseButton::kRight, {3, 3});
  EXPECT_EQ(Take(), (Log{"m0 leftUp 2,2", "m0 rightDouble 3,3"}));
  // No drag starts with a double-click.
  EXPECT_EQ(d.State(), 0);
}

TEST_F(Dispatch, HoverIsSkippedOnceAfterADoubleClick) {
  d.PointerMove(0, {1, 1});
  Double(MouseButton::kLeft, {2, 2});
  d.PointerUp(MouseButton::kLeft, 0, {2, 2});
  d.PointerMove(0, {2, 2});
  d.PointerMove(0, {3, 3});
  EXPECT_EQ(Take(), (Log{"m0 hover 1,1", "m0 leftDouble 2,2", "m0 hover 3,3"}));
}

TEST_F(Dispatch, PointerEnabledFollowsReplayAndMode) {
  for (bool replaying : {false, true})
    for (uint8_t mode = 0; mode < kToolModeCount; ++mode) {
      host.replaying = replaying;
      modes.SelectMode(mode, kKeepSubMode);
      EXPECT_EQ(d.PointerEnabled(), !replaying || mode == 1 || mode == 2 || mode == 3)
          << replaying << " " << int(mode);
    }
}

TEST_F(Dispatch, ReplayCancelsEditingToolsAndKeepsViewTools) {
  host.replaying = true;
  Down(MouseButton::kLeft, {1, 1});
  EXPECT_EQ(Take(), (Log{"m0 leftUp -", "beep"}));
  EXPECT_EQ(d.State(), 0);
  EXPECT_FALSE(host.captured);
  Down(MouseButton::kRight, {2, 2});
  Double(MouseButton::kLeft, {3, 3});
  EXPECT_EQ(Take(), (Log{"m0 rightUp -", "beep", "beep"}));
  EXPECT_EQ(d.State(), 0);

  modes.SelectMode(kToolModeView, kSubViewPan);
  Down(MouseButton::kLeft, {4, 4});
  d.PointerMove(kShiftLeft, {5, 5});
  d.PointerUp(MouseButton::kLeft, 0, {6, 6});
  EXPECT_EQ(Take(), (Log{"m3 leftDown 4,4", "m3 leftMove 5,5", "m3 leftUp 6,6"}));
}

TEST_F(Dispatch, WheelZoomsAboutTheCentreAndStopsAtTheLastStep) {
  host.paper.SetZoomIndex(9);  // 8.0
  EXPECT_FALSE(d.Wheel(-120, 0));
  EXPECT_EQ(host.paper.zoomIndex, 9);
  EXPECT_TRUE(host.zoomPoints.empty());
  EXPECT_TRUE(d.Wheel(120, 0));
  EXPECT_EQ(host.paper.zoomIndex, 8);
  EXPECT_EQ(host.zoomPoints, (std::vector<TPoint>{{320, 240}}));
  EXPECT_TRUE(d.Wheel(-120, 0));
  EXPECT_EQ(host.paper.zoomIndex, 9);
  host.paper.SetZoomIndex(-8);
  EXPECT_FALSE(d.Wheel(120, 0));
  EXPECT_EQ(host.paper.zoomIndex, -8);
  EXPECT_FALSE(d.Wheel(0, 0));
  EXPECT_EQ(host.fits, 0);
  // With Alt the window follows the picture.
  EXPECT_TRUE(d.Wheel(-120, kShiftAlt));
  EXPECT_EQ(host.fits, 1);
}

TEST_F(Dispatch, SpaceHeldPansForOneDragOnly) {
  d.KeyDown({kKeySpace, 0, false});
  EXPECT_EQ(host.cursor, (ToolChoice{3, 0}));
  Down(MouseButton::kLeft, {1, 1});
  EXPECT_EQ(modes.Current(), (ToolChoice{3, 0}));
  EXPECT_EQ(d.State(), kStateLeftDrag | kStateButtonDown | kStateTempTool);
  EXPECT_FALSE(d.MayClose());
  d.PointerMove(kShiftLeft, {2, 2});
  d.PointerUp(MouseButton::kLeft, 0, {3, 3});
  EXPECT_EQ(modes.Current(), (ToolChoice{0, 0}));
  EXPECT_EQ(d.State(), 0);
  EXPECT_EQ(Take(), (Log{"m0 key 32", "m3 leftDown 1,1", "m3 leftMove 2,2", "m3 leftUp 3,3"}));
  // Space is still down: the cursor stays the pan's until it is let go, auto-repeats aside.
  EXPECT_EQ(host.cursor, (ToolChoice{3, 0}));
  d.KeyUp({kKeySpace, 0, true});
  EXPECT_EQ(host.cursor, (ToolChoice{3, 0}));
  d.KeyUp({kKeySpace, 0, false});
  EXPECT_EQ(host.cursor, (ToolChoice{0, 0}));
  Down(MouseButton::kLeft, {4, 4});
  EXPECT_EQ(Take(), (Log{"m0 leftDown 4,4"}));
}

TEST_F(Dispatch, ShiftPicksTheColourAndSwallowsTheGesture) {
  Down(MouseButton::kLeft, {1, 1}, kShiftShift);
  EXPECT_EQ(modes.Current(), (ToolChoice{0, 0}));
  EXPECT_TRUE(d.State() & kStateBlocked);
  d.PointerMove(kShiftLeft, {2, 2});
  Down(MouseButton::kRight, {3, 3});
  d.PointerUp(MouseButton::kRight, 0, {3, 3});
  d.PointerUp(MouseButton::kLeft, 0, {4, 4});
  EXPECT_EQ(d.State(), 0);
  EXPECT_FALSE(host.captured);
  Down(MouseButton::kLeft, {5, 5});
  EXPECT_EQ(Take(), (Log{"m2 leftDown 1,1", "m0 leftDown 5,5"}));
}

TEST_F(Dispatch, ShiftInTheSelectionToolStaysThatTools) {
  modes.SelectMode(kToolModeShapeSelect, 0);
  Down(MouseButton::kLeft, {1, 1}, kShiftShift);
  EXPECT_EQ(Take(), (Log{"m8 leftDown 1,1"}));
}

TEST_F(Dispatch, PressInsideTheSelectionMovesIt) {
  modes.SelectMode(kToolModeShapeSelect, 0);
  host.selectionExists = true;
  host.selection = {10, 10, 20, 20};
  Down(MouseButton::kLeft, {5, 5});
  d.PointerUp(MouseButton::kLeft, 0, {5, 5});
  Down(MouseButton::kLeft, {15, 15});
  EXPECT_EQ(modes.Current(), (ToolChoice{5, 1}));
  d.PointerUp(MouseButton::kLeft, 0, {16, 16});
  EXPECT_EQ(modes.Current(), (ToolChoice{8, 0}));
  EXPECT_EQ(Take(), (Log{"m8 leftDown 5,5", "m8 leftUp 5,5", "m5 leftDown 15,15", "m5 leftUp 16,16"}));
}

TEST_F(Dispatch, ReplayRefusesEditingTemporaryTools) {
  host.replaying = true;
  modes.SelectMode(kToolModeZoom, kSubZoomIn);
  // Alt rotates the view: allowed while replaying.
  Down(MouseButton::kLeft, {1, 1}, kShiftAlt);
  EXPECT_EQ(modes.Current(), (ToolChoice{3, 1}));
  d.PointerUp(MouseButton::kLeft, kShiftAlt, {1, 1});
  EXPECT_EQ(modes.Current(), (ToolChoice{1, 0}));
  // The middle button's gradation edits: refused, and the press with it.
  config.mouseMBtnFunc = 4;
  Down(MouseButton::kMiddle, {2, 2});
  EXPECT_EQ(modes.Current(), (ToolChoice{1, 0}));
  EXPECT_EQ(d.State(), 0);
  EXPECT_EQ(Take(), (Log{"m3 leftDown 1,1", "m3 leftUp 1,1", "m1 leftUp -", "beep"}));
}

TEST_F(Dispatch, MiddleButtonDrivesItsToolWithTheLeftProcedures) {
  config.mouseMBtnFunc = 4;  // gradation
  Down(MouseButton::kMiddle, {1, 1});
  EXPECT_EQ(modes.Current(), (ToolChoice{5, 3}));
  EXPECT_EQ(d.State(), kStateMiddleDrag | kStateButtonDown | kStateTempTool);
  d.PointerMove(kShiftMiddle, {2, 2});
  d.PointerUp(MouseButton::kMiddle, 0, {3, 3});
  EXPECT_EQ(modes.Current(), (ToolChoice{0, 0}));
  EXPECT_EQ(d.State(), 0);
  // A left press during a middle drag ends it as a left release first.
  config.mouseMBtnFunc = 0;
  Down(MouseButton::kMiddle, {4, 4});
  Down(MouseButton::kLeft, {5, 5});
  EXPECT_EQ(modes.Current(), (ToolChoice{0, 0}));
  EXPECT_EQ(Take(), (Log{"m5 leftDown 1,1", "m5 leftMove 2,2", "m5 leftUp 3,3", "m3 leftDown 4,4",
                         "m3 leftUp -", "beep", "m0 leftDown 5,5"}));
}

TEST_F(Dispatch, CancelDragTellsTheToolAndRestoresTheTool) {
  d.KeyDown({kKeySpace, 0, false});
  Down(MouseButton::kLeft, {1, 1});
  Take();
  d.CancelDrag();
  EXPECT_EQ(Take(), (Log{"m3 cancelDrag", "m3 leftUp -"}));
  EXPECT_EQ(modes.Current(), (ToolChoice{0, 0}));
  EXPECT_EQ(d.State(), 0);
  d.CancelDrag();  // nothing in progress
  EXPECT_EQ(Take(), Log{});
}

TEST_F(Dispatch, EmptySlotsDoNothing) {
  ToolHandlers sparse;
  sparse.leftDown = nullptr;
  sparse.leftUp = nullptr;
  sparse.finish = nullptr;
  sparse.rightDown = [this](uint32_t, TPoint p) { log.push_back("right " + Pt(p)); };
  d.SetHandlers(kToolModePen, sparse);
  Down(MouseButton::kLeft, {1, 1});
  d.PointerUp(MouseButton::kLeft, 0, {1, 1});
  d.Finish();
  Down(MouseButton::kRight, {2, 2});
  EXPECT_EQ(Take(), (Log{"right 2,2"}));
}

TEST_F(Dispatch, FocusLossForgetsSpace) {
  d.KeyDown({kKeySpace, 0, false});
  d.FocusLost();
  Down(MouseButton::kLeft, {1, 1});
  EXPECT_EQ(Take(), (Log{"m0 key 32", "m0 leftDown 1,1"}));
}

// --- keys -------------------------------------------------------------------------------------

TEST_F(Dispatch, WindowKeys) {
  struct Case {
    const char* name;
    int32_t key;
    uint32_t shift;
    bool selection, enabled, canEdit, replaying, maySave, minimised;
    std::optional<WindowAction> action;
    int zoom;  // +1 in, -1 out, 0 none
    bool toSlot;
  };
  using A = WindowAction;
  constexpr uint32_t cs = kShiftCtrl | kShiftShift;
  const Case cases[] = {
      {"delete in the selection", kKeyDelete, 0, true, true, true, false, true, false, A::kDeleteSelected, 0,
       false},
      {"backspace, selection off", kKeyBackspace, 0, true, false, true, false, true, false, A::kClearLayer, 0,
       false},
      {"delete in replay", kKeyDelete, 0, false, false, true, true, true, false, {}, 0, true},
      {"delete, busy", kKeyDelete, 0, false, false, false, false, true, false, {}, 0, true},
      {"insert", kKeyInsert, 0, false, false, true, false, true, false, A::kFillSelection, 0, false},
      {"insert, busy", kKeyInsert, 0, false, false, false, false, true, false, {}, 0, true},
      {"copy", 'C', cs, false, false, true, false, true, false, A::kCopyPicture, 0, false},
      {"ctrl+c", 'C', kShiftCtrl, false, false, true, false, true, false, {}, 0, true},
      {"enable", 'E', cs, false, false, true, false, true, false, A::kToggleSelectionEnabled, 0, false},
      {"show", 'H', cs, false, false, true, false, true, false, A::kToggleSelectionVisible, 0, false},
      {"invert", 'I', cs, false, false, true, false, true, false, A::kInvertSelection, 0, false},
      {"invert in replay", 'I', cs, false, false, true, true, true, false, {}, 0, true},
      {"save as", 'S', cs, false, false, true, false, true, false, A::kSaveAs, 0, false},
      {"save as, protected", 'S', cs, false, false, true, false, false, false, {}, 0, true},
      {"ctrl+numpad plus", kKeyNumPlus, kShiftCtrl, false, false, true, false, true, false, {}, 1, false},
      {"ctrl+=", kKeyEqual, kShiftCtrl, false, false, true, false, true, false, {}, 1, false},
      {"ctrl+=, minimised", kKeyEqual, kShiftCtrl, false, false, true, false, true, true, {}, 0, true},
      {"= alone", kKeyEqual, 0, false, false, true, false, true, false, {}, 0, true},
      {"F5", kKeyF5, 0, false, false, false, true, true, true, {}, 1, false},
      {"ctrl+numpad minus", kKeyNumMinus, kShiftCtrl, false, false, true, false, true, false, {}, -1, false},
      {"ctrl+-", kKeyMinus, kShiftCtrl, false, false, true, false, true, false, {}, -1, false},
      {"F6", kKeyF6, 0, false, false, true, false, true, false, {}, -1, false},
      {"ctrl+F6", kKeyF6, kShiftCtrl, false, false, true, false, true, false, A::kNextWindow, 0, false},
      {"ctrl+shift+F6", kKeyF6, cs, false, false, true, false, true, false, A::kPreviousWindow, 0, false},
  };
  for (const Case& c : cases) {
    host.selectionExists = c.selection, host.selectionEnabled = c.enabled, host.canEdit = c.canEdit;
    host.replaying = c.replaying, host.maySave = c.maySave, host.minimised = c.minimised;
    host.actions.clear(), host.zoomPoints.clear(), Take();
    host.paper.SetZoomIndex(0);
    d.KeyDown({c.key, c.shift, false});
    EXPECT_EQ(host.actions, c.action ? std::vector<WindowAction>{*c.action} : std::vector<WindowAction>{})
        << c.name;
    EXPECT_EQ(host.paper.zoomIndex, c.zoom) << c.name;
    const std::vector<TPoint> centre{{320, 240}};
    EXPECT_EQ(host.zoomPoints, c.zoom ? centre : std::vector<TPoint>{}) << c.name;
    EXPECT_EQ(Take(), c.toSlot ? Log{"m0 key " + std::to_string(c.key)} : Log{}) << c.name;
  }
}

TEST_F(Dispatch, RepeatedKeysSkipTheWindowKeys) {
  d.KeyDown({kKeyF5, 0, true});
  EXPECT_EQ(host.paper.zoomIndex, 0);
  EXPECT_EQ(Take(), (Log{"m0 key 116"}));
  // Zooming by key with Alt fits the window, not with Space also held.
  d.KeyDown({kKeyF5, kShiftAlt, false});
  EXPECT_EQ(host.fits, 1);
  d.KeyDown({kKeySpace, kShiftAlt, false});
  d.KeyDown({kKeyF5, kShiftAlt, false});
  EXPECT_EQ(host.paper.zoomIndex, 2);
  EXPECT_EQ(host.fits, 1);
}

TEST_F(Dispatch, CursorKeyMoveMode) {
  EXPECT_TRUE(d.EnterKeyMoveMode());
  EXPECT_FALSE(d.EnterKeyMoveMode());
  EXPECT_EQ(d.State(), kStateKeyMove);
  EXPECT_FALSE(d.MayClose());
  // While moving by keys the picture is not edited by the window's keys.
  host.selectionExists = true, host.selectionEnabled = true;
  d.KeyDown({kKeyDelete, 0, false});
  d.KeyDown({'O', 0, false});  // nor is the tool changed
  EXPECT_TRUE(host.actions.empty());
  EXPECT_EQ(modes.Mode(), kToolModePen);
  EXPECT_EQ(Take(), (Log{"m0 key 46", "m0 key 79"}));
  EXPECT_TRUE(d.LeaveKeyMoveMode(false));
  EXPECT_FALSE(d.LeaveKeyMoveMode(false));
  EXPECT_EQ(d.State(), 0);
  EXPECT_TRUE(d.MayClose());
  EXPECT_EQ(host.modified, 1);
  EXPECT_TRUE(d.EnterKeyMoveMode());
  EXPECT_TRUE(d.LeaveKeyMoveMode(true));
  EXPECT_EQ(host.modified, 1);
  EXPECT_EQ(host.optionRefreshes, 2);
  EXPECT_EQ(host.status, (std::vector<std::string>{
                             "カーソルキー移動モードに入りました", "カーソルキー移動モードを終了しました",
                             "カーソルキー移動モードに入りました", "カーソルキー移動モードを終了しました"}));
}

TEST_F(Dispatch, ToolKeysWaitForTheGestureToEnd) {
  Down(MouseButton::kLeft, {1, 1});
  d.KeyDown({'O', 0, false});
  EXPECT_EQ(modes.Mode(), kToolModePen);
  d.PointerUp(MouseButton::kLeft, 0, {1, 1});
  EXPECT_TRUE(d.KeyDown({'O', 0, false}));
  EXPECT_EQ(modes.Current(), (ToolChoice{6, 0}));
  EXPECT_EQ(host.cursor, (ToolChoice{6, 0}));
  host.replaying = true;
  EXPECT_FALSE(d.KeyDown({'B', 0, false}));
  EXPECT_EQ(Take(), (Log{"m0 leftDown 1,1", "m0 key 79", "m0 leftUp 1,1", "m6 key 66"}));
}

TEST_F(Dispatch, CursorFollowsHeldKeys) {
  d.KeyDown({kKeyShift, kShiftShift, false});
  EXPECT_EQ(host.cursor, (ToolChoice{2, 0}));
  d.KeyUp({kKeyShift, 0, false});
  EXPECT_EQ(host.cursor, (ToolChoice{0, 0}));
  d.KeyDown({kKeyAlt, kShiftAlt, false});
  EXPECT_EQ(host.cursor, (ToolChoice{3, 1}));
  d.KeyDown({kKeyCtrl, kShiftAlt | kShiftCtrl, false});
  EXPECT_EQ(host.cursor, (ToolChoice{3, 2}));
  // An editing temporary tool would be refused in replay: its cursor is not shown either.
  modes.SelectMode(kToolModeShapeSelect, 0);
  host.selectionExists = true;
  host.selection = {0, 0, 10, 10};
  d.PointerMove(0, {5, 5});
  d.KeyUp({kKeyCtrl, 0, false});
  EXPECT_EQ(host.cursor, (ToolChoice{5, 1}));
  host.replaying = true;
  d.KeyUp({kKeyAlt, 0, false});
  EXPECT_EQ(host.cursor, (ToolChoice{8, 0}));
}

}  // namespace
}  // namespace tintara
