// The layer window in the main window under the offscreen platform: its rows, switches, mode
// and opacity controls, buttons, drags and dialogs change the picture through the paper, are
// recorded in the event stream and undo.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AppProfile.h"
#include "app/ui/DrawWindow.h"
#include "app/ui/LayerWindow.h"
#include "app/ui/MainForm.h"
#include "document/BlendModes.h"
#include "pixel/Arith.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

constexpr uint32_t kBase = 0x4080C0, kGrey = 0x808080, kWhite = 0xFFFFFF;

// A white picture with two opaque layers over it: "base" (kBase) and, on top and active,
// "top" (kGrey).
class GuiLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<TMainForm>(profile_, nullptr);
    form_->resize(900, 700);
    form_->show();
    QApplication::setActiveWindow(form_.get());
    w_ = form_->NewPicture(40, 30, 72, false);
    ASSERT_NE(w_, nullptr);
    TPaper& p = w_->Paper();
    ASSERT_EQ(p.NewLayer(w_->Doc().Flow(), kModeNormal, 0xFF000000 | kBase, "base"), 1);
    ASSERT_EQ(p.NewLayer(w_->Doc().Flow(), kModeNormal, 0xFF000000 | kGrey, "top"), 2);
    QCoreApplication::processEvents();
    win_ = dynamic_cast<TLayerWindow2*>(form_->Palette("layer"));
    ASSERT_NE(win_, nullptr);
    win_->Tick();
    ASSERT_EQ(Composite(), kGrey);
  }
  void TearDown() override {
    for (TDrawWindow* w : form_->DrawWindows()) w->Doc().modified = false;
    form_.reset();
  }
  uint32_t Composite(int32_t x = 5, int32_t y = 5) const {
    return w_->Paper().composite.Row32(y)[x] & 0x00FFFFFF;
  }
  uint32_t Events() const { return w_->Doc().Events().CommittedLength(); }
  void Undo() {
    w_->Paper().Undo(w_->Doc().Flow());
    win_->Tick();
  }
  // The layer names from the top row down.
  std::vector<std::string> RowNames() const {
    std::vector<std::string> names;
    for (const LayerRow& r : win_->Rows()) names.push_back(w_->Paper().Layer(r.layer)->name);
    return names;
  }
  int RowOf(const std::string& name) const {
    for (int i = 0; i < int(win_->Rows().size()); ++i)
      if (w_->Paper().Layer(win_->Rows()[size_t(i)].layer)->name == name) return i;
    return -1;
  }
  void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    QWidget* list = win_->List();
    const Qt::MouseButton b = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(at), QPointF(list->mapToGlobal(at)), b, held, Qt::NoModifier);
    QApplication::sendEvent(list, &e);
  }
  void Click(QPoint at) {
    Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
  }
  void Drag(QPoint from, QPoint to) {
    Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
    for (int k = 1; k <= 4; ++k) Mouse(QEvent::MouseMove, from + (to - from) * k / 4, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
  }
  // A point on the row's name, away from its switches.
  QPoint NameOf(int row) const {
    const QRect t = win_->List()->ThumbRect(row);
    return {t.right() + 20, t.center().y()};
  }
  int GapY(int gap) const { return gap * TLayerList::kRowHeight; }

  RecordingNotifySink notes_;
  CAppProfile profile_;
  std::unique_ptr<TMainForm> form_;
  TDrawWindow* w_ = nullptr;
  TLayerWindow2* win_ = nullptr;
};

TEST_F(GuiLayer, RowsShowTheNewestLayerOnTopAndTheActiveLayerInTheControls) {
  EXPECT_EQ(RowNames(), (std::vector<std::string>{"top", "base", w_->Paper().Layer(0)->name}));
  ASSERT_EQ(w_->Paper().SetLayerOpacity(1, 130), true);
  ASSERT_TRUE(w_->Paper().SetLayerMode(1, kModeScreen));
  win_->Tick();
  Click(NameOf(RowOf("base")));
  EXPECT_EQ(w_->Paper().ActiveIndex(), 1);
  EXPECT_EQ(win_->OpacitySpin()->value(), 50);
  EXPECT_EQ(win_->OpacitySlider()->value(), 50);
  EXPECT_EQ(win_->ModeBox()->currentText(), QStringLiteral("スクリーン"));
  // Only the top layer has a layer below at its own level: the bottom one cannot merge down.
  Click(NameOf(RowOf(w_->Paper().Layer(0)->name)));
  EXPECT_EQ(w_->Paper().ActiveIndex(), 0);
  EXPECT_FALSE(win_->Button("mergeDown")->isEnabled());
  EXPECT_FALSE(win_->Button("groupIn")->isEnabled());
}

TEST_F(GuiLayer, ModeListFollowsThePresentationOrder) {
  const char* expected[kModeCount] = {
      "標準",         "乗算",         "加算",         "減算",         "減算(ネガ)",     "スクリーン",
      "オーバーレイ", "ハードライト", "ソフトライト", "リニアライト", "ビビッドライト", "ピンライト",
      "差の絶対値",   "除外",         "比較(暗)",     "比較(明)",     "焼き込み",       "覆い焼き",
      "色相",         "彩度",         "カラー",       "輝度"};
  ASSERT_EQ(win_->ModeBox()->count(), kModeCount);
  for (int i = 0; i < kModeCount; ++i)
    EXPECT_EQ(win_->ModeBox()->itemText(i), QString::fromUtf8(expected[i])) << i;
}

// The top layer (grey 128) over the base (64, 128, 192), each channel by the mode's rule.
struct ModeCase {
  int position;
  int32_t code;
  uint32_t composite;
};
constexpr ModeCase kModeCases[] = {
    {1, kModeMultiply, 0x204060},     // d * 128 / 255
    {2, kModeAdd, 0xC0FFFF},          // d + 128, clamped
    {5, kModeScreen, 0xA0C0E0},       // d + s - d * s / 255
    {12, kModeDifference, 0x400040},  // |d - s|
    {14, kModeDarken, 0x408080},      // min
    {15, kModeLighten, 0x8080C0},     // max
};

TEST_F(GuiLayer, ModeComboChangesTheCompositeIsRecordedAndUndoes) {
  for (const ModeCase& c : kModeCases) {
    const uint32_t before = Events();
    win_->ModeBox()->setCurrentIndex(c.position);
    EXPECT_EQ(w_->Paper().Layer(2)->Mode(), c.code) << c.position;
    EXPECT_EQ(Composite(), c.composite) << c.position;
    EXPECT_GT(Events(), before) << c.position;
    Undo();
    EXPECT_EQ(w_->Paper().Layer(2)->Mode(), kModeNormal) << c.position;
    EXPECT_EQ(Composite(), kGrey) << c.position;
    EXPECT_EQ(win_->ModeBox()->currentIndex(), 0) << c.position;
  }
}

TEST_F(GuiLayer, OpacityControlsWriteTheLargestByteOfThePercent) {
  struct {
    int percent;
    uint8_t byte;
  } cases[] = {{50, 130}, {0, 2}, {75, 193}, {1, 5}};
  for (const auto& c : cases) {
    const uint32_t before = Events();
    win_->OpacitySpin()->setValue(c.percent);
    EXPECT_EQ(w_->Paper().Layer(2)->opacity, c.byte) << c.percent;
    EXPECT_EQ(win_->OpacitySlider()->value(), c.percent);
    EXPECT_GT(Events(), before);
    EXPECT_NE(Composite(), kGrey) << c.percent;
    Undo();
    EXPECT_EQ(w_->Paper().Layer(2)->opacity, 255);
    EXPECT_EQ(win_->OpacitySpin()->value(), 100);
    EXPECT_EQ(Composite(), kGrey);
  }
}

TEST_F(GuiLayer, ASliderDragIsOneChange) {
  const uint32_t before = Events();
  QSlider* s = win_->OpacitySlider();
  s->setSliderDown(true);
  for (int v : {90, 60, 40}) s->setValue(v);
  // While the drag lasts only the number follows.
  EXPECT_EQ(win_->OpacitySpin()->value(), 40);
  EXPECT_EQ(w_->Paper().Layer(2)->opacity, 255);
  EXPECT_EQ(Events(), before);
  s->setSliderDown(false);
  EXPECT_EQ(w_->Paper().Layer(2)->opacity, ByteOfPercent(40));
  EXPECT_GT(Events(), before);
  Undo();
  EXPECT_EQ(w_->Paper().Layer(2)->opacity, 255);
  EXPECT_EQ(s->value(), 100);
}

TEST_F(GuiLayer, TheSwitchesHideAndProtectAndUndo) {
  const int row = RowOf("top");
  uint32_t before = Events();
  Click(win_->List()->EyeRect(row).center());
  EXPECT_EQ(w_->Paper().Layer(2)->visible, 0);
  EXPECT_EQ(Composite(), kBase);
  EXPECT_GT(Events(), before);
  Click(win_->List()->EyeRect(RowOf("base")).center());
  EXPECT_EQ(Composite(), kWhite);
  Undo();
  EXPECT_EQ(Composite(), kBase);
  Undo();
  EXPECT_EQ(Composite(), kGrey);

  before = Events();
  Click(win_->List()->LockRect(row).center());
  EXPECT_EQ(w_->Paper().Layer(2)->protectAlpha, 1);
  EXPECT_GT(Events(), before);
  // The switches do not change which layer is active.
  EXPECT_EQ(w_->Paper().ActiveIndex(), 2);
  Undo();
  EXPECT_EQ(w_->Paper().Layer(2)->protectAlpha, 0);
}

struct ButtonCase {
  const char* button;
  int32_t count;
  uint32_t composite;
};
constexpr ButtonCase kButtonCases[] = {
    {"new", 4, kGrey},        // a clear layer over the top
    {"duplicate", 4, kGrey},  // the grey again
    {"delete", 2, kBase},     // the top goes
    {"mergeDown", 2, kGrey},  // the grey is now part of the base
    {"flatten", 1, kGrey},    // one layer holds the picture
};

TEST_F(GuiLayer, ButtonsRunTheLayerOperationsRecordedAndUndone) {
  for (const ButtonCase& c : kButtonCases) {
    const uint32_t before = Events();
    QToolButton* b = win_->Button(c.button);
    ASSERT_NE(b, nullptr) << c.button;
    ASSERT_TRUE(b->isEnabled()) << c.button;
    b->click();
    EXPECT_EQ(w_->Paper().LayerCount(), c.count) << c.button;
    EXPECT_EQ(int(win_->Rows().size()), c.count) << c.button;
    EXPECT_EQ(Composite(), c.composite) << c.button;
    EXPECT_GT(Events(), before) << c.button;
    Undo();
    EXPECT_EQ(w_->Paper().LayerCount(), 3) << c.button;
    EXPECT_EQ(RowNames()[0], "top") << c.button;
    EXPECT_EQ(Composite(), kGrey) << c.button;
  }
}

// Layer 0 is the paper's bottom layer, 1 "base", 2 "top".
struct FlattenCase {
  const char* what;
  bool visible[3];
  int32_t mode0;
  bool enabled;
};
constexpr FlattenCase kFlattenCases[] = {
    {"all visible", {true, true, true}, kModeNormal, true},
    {"layer 0 hidden, two others visible", {false, true, true}, kModeNormal, false},
    {"layer 0 in screen mode", {true, true, true}, kModeScreen, false},
    {"layer 0 in multiply mode", {true, true, true}, kModeMultiply, true},
    {"only layer 0 visible", {true, false, false}, kModeNormal, false},
    {"layer 0 and the top visible", {true, false, true}, kModeNormal, true},
    {"layer 0 in add mode with one more", {true, true, false}, kModeAdd, false},
};

TEST_F(GuiLayer, FlattenButtonIsEnabledExactlyWhenTheFlattenWouldRun) {
  TPaper& p = w_->Paper();
  for (const FlattenCase& c : kFlattenCases) {
    for (int32_t i = 0; i < 3; ++i) {
      p.SetLayerVisible(i, c.visible[i]);
      ASSERT_EQ(p.Layer(i)->visible != 0, c.visible[i]) << c.what << " " << i;
    }
    p.SetLayerMode(0, c.mode0);
    ASSERT_EQ(p.Layer(0)->Mode(), c.mode0) << c.what;
    win_->Tick();
    EXPECT_EQ(win_->Button("flatten")->isEnabled(), c.enabled) << c.what;
    // The button's rule is the operation's: it runs exactly when enabled.
    const bool ran = p.FlattenVisible(w_->Doc().Flow(), false);
    EXPECT_EQ(ran, c.enabled) << c.what;
    if (ran) Undo();
    EXPECT_EQ(p.LayerCount(), 3) << c.what;
  }
}

TEST_F(GuiLayer, NothingCanBeChangedWhileThePictureReplays) {
  TDrawWindow* replay = form_->OpenFile(TINTARA_EXAMPLES_DIR "/first.te4");
  ASSERT_NE(replay, nullptr);
  ASSERT_TRUE(replay->ReplayRunning());
  win_->ActiveChanged(replay);
  win_->Tick();
  EXPECT_FALSE(win_->ModeBox()->isEnabled());
  EXPECT_FALSE(win_->OpacitySpin()->isEnabled());
  for (const char* name : {"new", "duplicate", "delete", "mergeDown", "flatten"})
    EXPECT_FALSE(win_->Button(name)->isEnabled()) << name;
  // Its replay over, the picture is the user's again.
  QElapsedTimer t;
  t.start();
  while (replay->ReplayRunning() && t.elapsed() < 20000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  ASSERT_FALSE(replay->ReplayRunning());
  win_->Tick();
  EXPECT_TRUE(win_->ModeBox()->isEnabled());
  EXPECT_TRUE(win_->Button("new")->isEnabled());
  // A change refused while a stroke runs leaves the box showing the layer's mode, not the
  // one picked.
  TPaper& paper = replay->Paper();
  const int32_t mode = paper.ActiveLayer()->Mode();
  const int shown = win_->ModeBox()->currentIndex();
  paper.strokeRunning = true;
  win_->ModeBox()->setCurrentIndex(shown + 1);
  EXPECT_EQ(win_->ModeBox()->currentIndex(), shown);
  EXPECT_EQ(paper.ActiveLayer()->Mode(), mode);
  paper.strokeRunning = false;
  win_->ModeBox()->setCurrentIndex(shown + 1);
  EXPECT_NE(paper.ActiveLayer()->Mode(), mode);
}

TEST_F(GuiLayer, ThePopUpMenuHoldsTheLayerWindowsCommands) {
  QMenu menu;
  win_->FillMenu(menu);
  auto find = [&menu](const char* caption) -> QAction* {
    for (QAction* a : menu.actions())
      if (a->text() == QString::fromUtf8(caption)) return a;
    return nullptr;
  };
  for (const char* caption :
       {"通常レイヤの新規作成(&N)", "乗算レイヤの新規作成(&M)", "アクティブレイヤの削除(&D)",
        "レイヤマスクを保護する(&P)", "下のレイヤと統合(&B)", "レイヤの新規作成(&I)...",
        "アクティブレイヤ設定(&O)...", "グループ化(&G)"})
    EXPECT_NE(find(caption), nullptr) << caption;
  // The same objects as the main menu's.
  EXPECT_EQ(find("下のレイヤと統合(&B)"), form_->Action("actLayerBindBelow"));
  // A multiply layer, clear and white, over the active one: recorded, one undo step.
  const uint32_t events = Events();
  find("乗算レイヤの新規作成(&M)")->trigger();
  ASSERT_EQ(w_->Paper().LayerCount(), 4);
  const CLayerData* added = w_->Paper().ActiveLayer();
  EXPECT_EQ(added->Mode(), kModeMultiply);
  EXPECT_EQ(added->pixels->GetPixel(3, 3), NeutralColor(kModeMultiply) & 0x00FFFFFF);
  EXPECT_GT(Events(), events);
  EXPECT_EQ(Composite(), kGrey);
  Undo();
  EXPECT_EQ(w_->Paper().LayerCount(), 3);
  // The active layer deleted: the one below shows.
  find("アクティブレイヤの削除(&D)")->trigger();
  EXPECT_EQ(w_->Paper().LayerCount(), 2);
  EXPECT_EQ(Composite(), kBase);
  Undo();
  EXPECT_EQ(Composite(), kGrey);
  // The protect switch, checked as the active layer is.
  QAction* protect = find("レイヤマスクを保護する(&P)");
  protect->trigger();
  EXPECT_TRUE(w_->Paper().ActiveLayer()->protectAlpha);
  form_->UpdateCommands();
  EXPECT_TRUE(protect->isChecked());
  win_->Tick();
  EXPECT_EQ(win_->Rows().front().layer, w_->Paper().ActiveIndex());
}

TEST_F(GuiLayer, NewLayerLandsAboveTheActiveOneWithTheNextNumber) {
  Click(NameOf(RowOf("base")));
  const std::string next = w_->Paper().layers.DefaultName(1);
  win_->Button("new")->click();
  ASSERT_EQ(w_->Paper().LayerCount(), 4);
  EXPECT_EQ(w_->Paper().ActiveIndex(), 2);
  EXPECT_EQ(RowNames()[1], next);
  EXPECT_EQ(w_->Paper().Layer(2)->pixels->GetPixel(3, 3) >> 24, 0u);
}

// Dragging a row to a gap between rows: 0 above the top, 3 below the bottom.
struct DragCase {
  std::string layer;
  int gap;
  std::vector<std::string> order;  // from the top
  uint32_t composite;
};

TEST_F(GuiLayer, DraggingARowReordersTheLayersRecordedAndUndone) {
  const std::string bg = w_->Paper().Layer(0)->name;
  const DragCase cases[] = {
      {"base", 0, {"base", "top", bg}, kBase},
      {"top", 3, {"base", bg, "top"}, kBase},
      {"top", 2, {"base", "top", bg}, kBase},
      {bg, 0, {bg, "top", "base"}, kWhite},
  };
  for (const DragCase& c : cases) {
    const uint32_t before = Events();
    const int row = RowOf(c.layer);
    Drag(NameOf(row), QPoint(NameOf(row).x(), GapY(c.gap)));
    EXPECT_EQ(RowNames(), c.order) << c.layer << " to " << c.gap;
    EXPECT_EQ(Composite(), c.composite) << c.layer << " to " << c.gap;
    EXPECT_GT(Events(), before);
    Undo();
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"top", "base", bg}));
    EXPECT_EQ(Composite(), kGrey);
  }
  // Dropping a row back where it was moves nothing and records nothing.
  const uint32_t before = Events();
  const int row = RowOf("base");
  Drag(NameOf(row), QPoint(NameOf(row).x(), GapY(2) - 2));
  EXPECT_EQ(RowNames(), (std::vector<std::string>{"top", "base", bg}));
  EXPECT_EQ(Events(), before);
}

TEST_F(GuiLayer, GroupsIndentCloseAndMoveWithTheirChildren) {
  const std::string bg = w_->Paper().Layer(0)->name;
  uint32_t before = Events();
  win_->Button("groupIn")->click();
  EXPECT_GT(Events(), before);
  ASSERT_EQ(w_->Paper().Layer(2)->groupLevel, 1);
  ASSERT_EQ(win_->Rows()[0].level, 1);
  ASSERT_EQ(win_->Rows()[1].children, 1);
  EXPECT_GT(win_->List()->ThumbRect(0).left(), win_->List()->ThumbRect(1).left());
  // Closing the head hides its child in the list only: the picture is as it was.
  before = Events();
  Click(win_->List()->ExpanderRect(1).center());
  EXPECT_EQ(RowNames(), (std::vector<std::string>{"base", bg}));
  EXPECT_FALSE(win_->Rows()[0].open);
  EXPECT_EQ(Events(), before);
  EXPECT_EQ(Composite(), kGrey);
  // The closed group dragged below the background takes its child along.
  Drag(NameOf(0), QPoint(NameOf(0).x(), GapY(2)));
  EXPECT_EQ(w_->Paper().Layer(0)->name, "base");
  EXPECT_EQ(w_->Paper().Layer(1)->name, "top");
  EXPECT_EQ(w_->Paper().Layer(1)->groupLevel, 1);
  EXPECT_EQ(w_->Paper().Layer(2)->name, bg);
  EXPECT_EQ(Composite(), kWhite);
  EXPECT_GT(Events(), before);
  // Opened again, the child shows over its head.
  Click(win_->List()->ExpanderRect(RowOf("base")).center());
  EXPECT_EQ(RowNames(), (std::vector<std::string>{bg, "top", "base"}));
  Undo();
  EXPECT_EQ(RowNames(), (std::vector<std::string>{"top", "base", bg}));
  EXPECT_EQ(Composite(), kGrey);
  Click(NameOf(RowOf("top")));
  win_->Button("groupOut")->click();
  EXPECT_EQ(w_->Paper().Layer(2)->groupLevel, 0);
}

TEST_F(GuiLayer, MemoryReadOutsInTheDockTitleAndStatus) {
  const TPaper::Memory m = w_->Paper().MemoryUsage();
  ASSERT_GT(m.layers, 0);
  win_->Tick();
  QDockWidget* dock = form_->PaletteDock("layer");
  ASSERT_NE(dock, nullptr);
  // Alone in its site (it starts tabbed with the selection window).
  form_->removeDockWidget(dock);
  form_->addDockWidget(Qt::RightDockWidgetArea, dock);
  dock->show();
  win_->Tick();
  EXPECT_EQ(dock->windowTitle(), QStringLiteral("レイヤ  (全使用メモリ %1KB)").arg(m.total >> 10));
  EXPECT_EQ(win_->Status()->text(),
            QStringLiteral("レイヤ: %1KB, アンドゥ: %2KB").arg(m.layers >> 10).arg(m.undo >> 10));
  // Tabbed with another palette, the tab shows the short name and the memory moves to its tip.
  form_->tabifyDockWidget(form_->PaletteDock("preview"), dock);
  win_->Tick();
  EXPECT_EQ(dock->windowTitle(), QStringLiteral("ﾚｲﾔ"));
  EXPECT_EQ(dock->toolTip(), QStringLiteral("レイヤ  (全使用メモリ %1KB)").arg(m.total >> 10));
  // Its partner closed, no tab bar is left: the full caption comes back.
  form_->PaletteDock("preview")->hide();
  win_->Tick();
  EXPECT_EQ(dock->windowTitle(), QStringLiteral("レイヤ  (全使用メモリ %1KB)").arg(m.total >> 10));
  form_->PaletteDock("preview")->show();
  form_->addDockWidget(Qt::LeftDockWidgetArea, dock);
  win_->Tick();
  EXPECT_EQ(dock->windowTitle(), QStringLiteral("レイヤ  (全使用メモリ %1KB)").arg(m.total >> 10));
  // With no picture open, all read 0.
  w_->Doc().modified = false;
  ASSERT_TRUE(w_->close());
  w_ = nullptr;
  // The window deletes itself later.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
  ASSERT_TRUE(form_->DrawWindows().empty());
  win_->Tick();
  EXPECT_TRUE(win_->Rows().empty());
  EXPECT_EQ(dock->windowTitle(), QStringLiteral("レイヤ  (全使用メモリ 0KB)"));
  EXPECT_EQ(win_->Status()->text(), QStringLiteral("レイヤ: 0KB, アンドゥ: 0KB"));
  EXPECT_FALSE(win_->ModeBox()->isEnabled());
}

// Fills the next modal dialog when it opens.
void WhenModal(std::function<void(QWidget*)> fill) {
  QTimer::singleShot(0, [fill] {
    QWidget* d = QApplication::activeModalWidget();
    ASSERT_NE(d, nullptr);
    fill(d);
  });
}

TEST_F(GuiLayer, NewLayerDialogMakesTheChosenLayerAndRemembersTheMode) {
  WhenModal([](QWidget* d) {
    auto* dialog = qobject_cast<TNewLayerDialog*>(d);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("レイヤの新規作成"));
    dialog->ModeBox()->setCurrentIndex(1);  // multiply
    dialog->ColourBox()->setCurrentIndex(0);
    EXPECT_EQ(dialog->ColourBox()->itemText(0), QStringLiteral("黒"));
    dialog->TransparentBox()->setChecked(false);
    dialog->NameEdit()->setText(QStringLiteral("ink"));
    dialog->accept();
  });
  const uint32_t before = Events();
  win_->NewLayerAsked();
  ASSERT_EQ(w_->Paper().LayerCount(), 4);
  const CLayerData& l = *w_->Paper().Layer(3);
  EXPECT_EQ(l.name, "ink");
  EXPECT_EQ(l.Mode(), kModeMultiply);
  EXPECT_EQ(l.pixels->GetPixel(2, 2), 0xFF000000u);
  EXPECT_EQ(Composite(), 0x000000u);  // black multiplied over anything
  EXPECT_GT(Events(), before);
  // The choices come back next time; a transparent white normal layer is 0x00FFFFFF.
  WhenModal([](QWidget* d) {
    auto* dialog = qobject_cast<TNewLayerDialog*>(d);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->ModeBox()->currentIndex(), 1);
    EXPECT_FALSE(dialog->TransparentBox()->isChecked());
    dialog->ModeBox()->setCurrentIndex(0);
    dialog->ColourBox()->setCurrentIndex(1);
    dialog->TransparentBox()->setChecked(true);
    dialog->accept();
  });
  win_->NewLayerAsked();
  ASSERT_EQ(w_->Paper().LayerCount(), 5);
  EXPECT_EQ(w_->Paper().Layer(4)->pixels->GetPixel(2, 2), 0x00FFFFFFu);
  EXPECT_EQ(w_->Paper().Layer(4)->Mode(), kModeNormal);
  Undo();
  Undo();
  EXPECT_EQ(w_->Paper().LayerCount(), 3);
  EXPECT_EQ(Composite(), kGrey);
}

TEST_F(GuiLayer, SettingsDialogAppliesItsChangesOneByOne) {
  WhenModal([](QWidget* d) {
    d->findChild<QLineEdit*>("name")->setText(QStringLiteral("renamed"));
    d->findChild<QComboBox*>("mode")->setCurrentIndex(14);  // darken
    d->findChild<QSpinBox*>("opacity")->setValue(100);
    qobject_cast<QDialog*>(d)->accept();
  });
  Mouse(QEvent::MouseButtonPress, NameOf(0), Qt::LeftButton);
  Mouse(QEvent::MouseButtonRelease, NameOf(0), Qt::NoButton);
  QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(NameOf(0)),
                  QPointF(win_->List()->mapToGlobal(NameOf(0))), Qt::LeftButton, Qt::LeftButton,
                  Qt::NoModifier);
  QApplication::sendEvent(win_->List(), &dbl);
  EXPECT_EQ(w_->Paper().Layer(2)->name, "renamed");
  EXPECT_EQ(w_->Paper().Layer(2)->Mode(), kModeDarken);
  EXPECT_EQ(Composite(), 0x408080u);
  Undo();  // the mode
  EXPECT_EQ(Composite(), kGrey);
  EXPECT_EQ(w_->Paper().Layer(2)->name, "renamed");
  Undo();  // the name
  EXPECT_EQ(w_->Paper().Layer(2)->name, "top");
  // Opened and confirmed without a change, the dialog leaves nothing behind.
  ASSERT_TRUE(w_->Paper().SetLayerOpacity(2, 128));
  const uint32_t before = Events();
  WhenModal([](QWidget* d) { qobject_cast<QDialog*>(d)->accept(); });
  win_->SettingsAsked(2);
  EXPECT_EQ(w_->Paper().Layer(2)->opacity, 128);
  EXPECT_EQ(Events(), before);
}

}  // namespace
}  // namespace tintara
