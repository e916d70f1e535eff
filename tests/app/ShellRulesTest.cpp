// The shell's rules without a window: file kinds, the texts of the file commands, the automatic
// and proposed names, the status panels, window fit and every command's enabling rule.
#include "app/ShellRules.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

namespace tintara::shell {
namespace {

TEST(FileKinds, ByExtensionWithoutRegardToCase) {
  const struct {
    const char* path;
    int32_t kind;
  } cases[] = {
      {"a.vud", 1},  {"a.ZOV", 2}, {"/x/y.tci", 3},  {"a.tes", 4},     {"a.te3", 5}, {"a.Fm3", 5},
      {"a.te4", 6},  {"a.FM4", 6}, {"a.bmp", 7},     {"a.JPG", 8},     {"a.png", 9}, {"a.psd", 10},
      {"a.jpeg", 0}, {"a", 0},     {"a.tci.txt", 0}, {"dir.tci/a", 0}, {".tci", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(FileKindOf(c.path), c.kind) << c.path;
}

TEST(FileTexts, AsTheUserReadsThem) {
  EXPECT_EQ(MainTitle(false), "Tintara4.06 Deva");
  EXPECT_EQ(MainTitle(true), "Tintara4.06 Deva Render!");
  EXPECT_EQ(NotFoundMessage("/p/a.tci"), "ファイルが見つかりません！\r\n    路径 = /p/a.tci");
  EXPECT_EQ(ReloadQuestion("t"), "t\rに加えられた変更を破棄して再読込していいですか?");
  EXPECT_EQ(UnsupportedMessage("a.xyz"), "a.xyz は未対応の形式です");
  EXPECT_EQ(ImageOpenFailedMessage("p", 3), "p\rのオープンに失敗しました!  (err=3)");
  EXPECT_EQ(DropOpenFailedMessage("p"), "画像ファイルを開くことができませんでした！\r    path = p");
  EXPECT_EQ(SavedAsMessage("p"), "p として保存しました");
  EXPECT_EQ(SavedFormatMessage("PNG"), "PNG形式で画像を保存しました");
  EXPECT_EQ(SaveFailedMessage("p"), "p\rの保存に失敗しました!");
  EXPECT_EQ(OverwriteQuestion("p"), "上書き保存してよろしいですか？\r    path = p");
  EXPECT_EQ(OverwrittenMessage("p"), "上書き保存しました (p)");
  // A path full of format characters is text, not a format.
  EXPECT_EQ(NotFoundMessage("%s%d%n"), "ファイルが見つかりません！\r\n    路径 = %s%d%n");
}

TEST(AutomaticBmpName, SkipsTheNumbersAlreadyUsed) {
  const std::set<std::string> present = {"/pics/2024-5-7-0.bmp", "/pics/2024-5-7-1.bmp"};
  auto exists = [&](const std::string& p) { return present.count(p) != 0; };
  EXPECT_EQ(AutoBmpPath("/pics/", 2024, 5, 7, exists), "/pics/2024-5-7-2.bmp");
  // The folder gets its separator; another day starts again at 0.
  EXPECT_EQ(AutoBmpPath("/pics", 2024, 5, 7, exists), "/pics/2024-5-7-2.bmp");
  EXPECT_EQ(AutoBmpPath("/pics/", 2024, 12, 31, exists), "/pics/2024-12-31-0.bmp");
}

TEST(LayerSaveName, WithAndWithoutATitle) {
  EXPECT_EQ(LayerSaveName("scene", 2), "scene_图层-2");
  EXPECT_EQ(LayerSaveName("", 0), "图层-0");
}

TEST(DialogFilters, InTheirOwnOrder) {
  EXPECT_EQ(LayerSaveFilterText(), "PNG 格式 (*.png)|*.png|Windows 位图 (*.bmp)|*.bmp");
  EXPECT_EQ(EventSaveFilterText(), "Tintara4 イベント形式 (*.te4)|*.te4");
  const std::string open = PictureOpenFilterText();
  EXPECT_EQ(
      open.rfind("图像文件 (*.tci/*.vud/*.bmp/*.jpg/*.png/*.psd)|*.tci;*.vud;*.bmp;*.jpg;*.png;*.psd|", 0),
      0u);
  EXPECT_NE(open.find("|Tintara 纸张图像 (*.tci)|*.tci|"), std::string::npos);
  const std::string last = "|所有文件 (*.*)|*.*";
  ASSERT_GT(open.size(), last.size());
  EXPECT_EQ(open.substr(open.size() - last.size()), last);
  EXPECT_EQ(PictureSaveFilterText().rfind("Tintara 纸张图像 (*.tci)|*.tci|Photoshop 格式 (*.psd)|*.psd", 0),
            0u);
  EXPECT_EQ(EventOpenFilterText().rfind("すべてのイベント形式 (*.te4/*.te3/*.fm3/*.tes/*.zov)|", 0), 0u);
}

TEST(StatusPanels, ZoomAndRotation) {
  EXPECT_EQ(ZoomPanelText(1.0), "100%");
  EXPECT_EQ(ZoomPanelText(8.0), "800%");
  EXPECT_EQ(ZoomPanelText(0.25), "25%");
  EXPECT_EQ(ZoomPanelText(0.06001), "6%");
  const struct {
    float angle;
    const char* text;
  } rotations[] = {
      {0.0f, "0.0°"},  // the negated zero must not print as "-0.0"
      {-0.0f, "0.0°"}, {-0.04f, "0.0°"}, {-90.0f, "90.0°"}, {-12.25f, "12.2°"}, {-359.5f, "359.5°"},
  };
  for (const auto& r : rotations) EXPECT_EQ(RotationPanelText(r.angle), r.text) << r.angle;
}

TEST(WindowFit, SizeForThePictureWithinTheFrame) {
  WindowFitInput in;
  in.clientWidth = 800;
  in.clientHeight = 600;
  in.frameWidth = 10;
  in.frameHeight = 30;
  in.borderWidth = 5;
  in.borderHeight = 4;
  in.pictureWidth = 100;
  in.pictureHeight = 50;
  in.zoom = 2.0;
  in.x = in.y = 24;
  WindowFitResult r = FitWindow(in);
  EXPECT_EQ(r.width, 10 + 200 + 80);
  EXPECT_EQ(r.height, 30 + 100 + 80);
  EXPECT_EQ(r.x, 24);
  EXPECT_EQ(r.y, 24);
  // Too large: the area less one sizing frame, moved back inside it but never past 0.
  in.pictureWidth = 2000;
  in.pictureHeight = 2000;
  in.x = 700;
  in.y = 500;
  r = FitWindow(in);
  EXPECT_EQ(r.width, 800 - 5);
  EXPECT_EQ(r.height, 600 - 4);
  EXPECT_EQ(r.x, 700 - (700 + 795 - 800));
  EXPECT_EQ(r.y, 500 - (500 + 596 - 600));
  // Fits but reaches past the right and bottom edges: moved left and up by the excess.
  in.pictureWidth = 200;
  in.pictureHeight = 100;
  in.zoom = 1.0;
  r = FitWindow(in);
  EXPECT_EQ(r.x, 800 - (10 + 200 + 80));
  EXPECT_EQ(r.y, 600 - (30 + 100 + 80));
  // A window whose right and bottom edges are inside stays where it is.
  in.x = in.y = 2;
  r = FitWindow(in);
  EXPECT_EQ(r.x, 2);
  EXPECT_EQ(r.y, 2);
}

// The contexts a command is judged in, and per command the expected state in each (x = on).
enum Ctx { kNone, kFresh, kChanged, kReplay, kPaused, kOldReplay, kProtected, kTwo, kBatch, kCount };

CommandContext Make(Ctx which) {
  CommandContext c;
  if (which == kNone) return c;
  c.hasWindow = true;
  c.initialised = true;
  c.windowCount = 1;
  c.layerCount = 1;
  c.recording = true;
  c.eventsSavable = true;
  switch (which) {
    case kChanged:
      c.hasFile = c.modified = c.canUndo = true;
      c.layerCount = 2;
      c.activeLayer = 1;
      break;
    case kReplay:
    case kPaused:
    case kOldReplay:
      c.replaying = true;
      c.replayPaused = which == kPaused;
      c.oldReplay = which == kOldReplay;
      c.recording = c.eventsSavable = false;
      break;
    case kProtected:
      c.fromProtected = true;
      c.recording = c.eventsSavable = false;
      c.hasFile = true;
      break;
    case kTwo:
      c.windowCount = 2;
      break;
    case kBatch:
      c.batch = true;
      break;
    default:
      break;
  }
  return c;
}

TEST(CommandRules, EveryCommandInEveryContext) {
  //                                        none fresh changed replay paused old prot two batch
  const std::map<std::string, std::string> expected = {
      {"actFileNew", "xxxxxxxxx"},
      {"actFileOpen", "xxxxxxxxx"},
      {"actFileOpenEvent", "xxxxxxxxx"},
      {"actCloseApp", "xxxxxxxxx"},
      {"actFileReopen", "..x......"},
      {"actFileSave", "..x......"},
      {"actFileSaveAs", ".xx....xx"},
      {"actSaveAutoBmp", ".xx....xx"},
      {"actFileClose", ".xxxxxxxx"},
      {"actEditUndo", "..x......"},
      {"actEditRedo", "........."},
      {"actEditUndoClear", "..x......"},
      {"actEditVisCanvasColor", ".xxxxxxxx"},
      {"actEditVisBGPattern", ".xxxxxxxx"},
      {"actLayerBindBelow", "..x......"},
      {"actLayerDuplicate", ".xx...xx."},
      {"actLayerBindAll", ".xx...xx."},
      {"actLayerBindAllTP", ".xx...xx."},
      {"actLayerVisAll", ".xx...xx."},
      {"actLayerHideAll", ".xx...xx."},
      {"actLayerVisOnly", ".xx...xx."},
      {"actLayerVisFlip", ".xx...xx."},
      {"actLayerMaskNega", ".xx...xx."},
      {"actLayerMaskFill", ".xx...xx."},
      {"actLayerMaskClear", ".xx...xx."},
      {"actLayerCutOutside", ".xx...xx."},
      {"actLayerGroupIn", ".xx...xx."},
      {"actLayerGroupOut", ".xx...xx."},
      {"actLayerGroupBind", ".xx...xx."},
      {"actLayerGroupDel", ".xx...xx."},
      {"actLayerSave", ".xx...xx."},
      {"actFileSaveEvent", ".xx....xx"},
      {"actFileSaveEventGuard", ".xx....xx"},
      {"actEventPlayPause", "...x....."},
      {"actEventPlayResume", "....x...."},
      {"actEventPlayStop", "...xxx..."},
      {"actEventRecStop", ".xx....xx"},
      {"actEventWait", "xxxxxxxxx"},
      {"actViewZoomIn", ".xxxxxxxx"},
      {"actViewZoomOut", ".xxxxxxxx"},
      {"actViewZoomCancel", ".xxxxxxxx"},
      {"actWindowSizeFit", ".xxxxxxxx"},
      {"actViewAntiAlias", ".xxxxxxxx"},
      {"actShowGrid", ".xxxxxxxx"},
      // The palette toggles: always.
      {"actShowPenMethodWin", "xxxxxxxxx"},
      {"actShowPenMtdList", "xxxxxxxxx"},
      {"actShowPenShapeWin", "xxxxxxxxx"},
      {"actShowPenShpList", "xxxxxxxxx"},
      {"actShowPenWindow", "xxxxxxxxx"},
      {"actShowCtrlWindow", "xxxxxxxxx"},
      {"actShowPreviewWindow", "xxxxxxxxx"},
      {"actShowLayerWindow", "xxxxxxxxx"},
      {"actShowSelectWindow", "xxxxxxxxx"},
      {"actShowColorWindow", "xxxxxxxxx"},
      {"actShowRgbWindow", "xxxxxxxxx"},
      {"actShowHsvWindow", "xxxxxxxxx"},
      {"actShowPalWindow", "xxxxxxxxx"},
      {"actShowGradWindow", "xxxxxxxxx"},
      {"actShowToneWindow", "xxxxxxxxx"},
      {"actWindowCascade", ".......x."},
      {"actWindowTileVertical", ".......x."},
      {"actWindowTileHorizontal", ".......x."},
      {"actWindowMinimizeAll", ".......x."},
  };
  std::set<std::string> built;
  for (const MenuEntry& m : Menus())
    for (const CommandEntry& c : m.commands) {
      ASSERT_TRUE(built.insert(c.name).second) << "listed twice: " << c.name;
      auto it = expected.find(c.name);
      ASSERT_NE(it, expected.end()) << "no expectation for " << c.name;
      for (int k = 0; k < kCount; ++k)
        EXPECT_EQ(CommandEnabled(c.name, Make(Ctx(k))), it->second[size_t(k)] == 'x')
            << c.name << " in context " << k;
    }
  EXPECT_EQ(built.size(), expected.size());
}

TEST(CommandRules, TheLayerWindowsOwnCommands) {
  struct Case {
    const char* name;
    int32_t layers;
    bool canAdd, replaying, enabled;
  };
  const Case cases[] = {
      {"actCreateLayerMul", 2, true, false, true},   {"actCreateLayerMul", 2, false, false, false},
      {"actCreateLayerStd", 2, true, true, false},   {"actLayerCreate", 2, false, false, false},
      {"actLayerCreate", 2, true, false, true},      {"actDeleteCurLayer", 2, true, false, true},
      {"actDeleteCurLayer", 1, true, false, false},  {"actDeleteCurLayer", 2, true, true, false},
      {"actProtectLayerMask", 1, true, false, true}, {"actProtectLayerMask", 1, true, true, false},
      {"actLayerShowInfo", 1, true, false, true},    {"actLayerShowInfo", 1, true, true, false},
      {"actLayerBindLower", 2, true, false, true},
  };
  for (const Case& k : cases) {
    CommandContext c;
    c.hasWindow = c.initialised = true;
    c.layerCount = k.layers;
    c.activeLayer = k.layers - 1;
    c.canAddLayer = k.canAdd;
    c.replaying = k.replaying;
    EXPECT_EQ(CommandEnabled(k.name, c), k.enabled)
        << k.name << " layers " << k.layers << " canAdd " << k.canAdd << " replay " << k.replaying;
  }
  // The merge with the layer below needs one below.
  CommandContext bottom;
  bottom.hasWindow = bottom.initialised = true;
  bottom.layerCount = 2;
  EXPECT_FALSE(CommandEnabled("actLayerBindLower", bottom));
  bottom.activeProtected = true;
  EXPECT_TRUE(CommandChecked("actProtectLayerMask", bottom));
  bottom.activeProtected = false;
  EXPECT_FALSE(CommandChecked("actProtectLayerMask", bottom));
  // The commands also on a main menu are one object: same caption and keys in both lists.
  std::map<std::string, CommandEntry> menus;
  for (const MenuEntry& m : Menus())
    for (const CommandEntry& c : m.commands) menus[c.name] = c;
  std::set<std::string> seen;
  for (const CommandEntry& c : LayerWindowCommands()) {
    EXPECT_TRUE(seen.insert(c.name).second) << "listed twice: " << c.name;
    EXPECT_FALSE(c.caption.empty()) << c.name;
    auto it = menus.find(c.name);
    if (it == menus.end()) continue;
    EXPECT_EQ(c.caption, it->second.caption) << c.name;
    EXPECT_EQ(c.shortcut, it->second.shortcut) << c.name;
  }
  EXPECT_EQ(seen.size(), 31u);
}

TEST(CommandRules, TheSelectionWindowsCommands) {
  struct Case {
    const char* name;
    int32_t masks;
    bool selects, replaying, enabled;
  };
  const Case cases[] = {
      {"actSelectInsert", 1, false, false, true},        {"actSelectInsert", 1, false, true, false},
      {"actSelectRemove", 1, true, false, false},        {"actSelectRemove", 2, false, false, true},
      {"actSelectDuplicate", 2, false, false, false},    {"actSelectDuplicate", 1, true, false, true},
      {"actSelectDuplicate", 1, true, true, false},      {"actSelectFromLayerValue", 1, false, false, true},
      {"actSelectFromLayerMask", 1, false, true, false}, {"actSelectCutOutside", 1, false, false, false},
  };
  for (const Case& k : cases) {
    CommandContext c;
    c.hasWindow = c.initialised = true;
    c.maskCount = k.masks;
    c.hasSelection = k.selects;
    c.replaying = k.replaying;
    EXPECT_EQ(CommandEnabled(k.name, c), k.enabled)
        << k.name << " masks " << k.masks << " selects " << k.selects << " replay " << k.replaying;
  }
  std::set<std::string> seen;
  for (const CommandEntry& c : SelectWindowCommands()) EXPECT_TRUE(seen.insert(c.name).second) << c.name;
  EXPECT_EQ(seen.size(), 7u);
}

TEST(CommandTable, CaptionsAndShortcuts) {
  std::map<std::string, CommandEntry> all;
  for (const MenuEntry& m : Menus())
    for (const CommandEntry& c : m.commands) all[c.name] = c;
  const struct {
    const char *name, *caption, *shortcut;
  } sample[] = {
      {"actFileNew", "新規作成(&N)...", "Ctrl+N"},
      {"actFileSave", "上書き保存(&S)", "Ctrl+S"},
      {"actFileClose", "閉じる(&C)", "Ctrl+F4"},
      {"actEditUndo", "取り消し(&Z)", "Ctrl+Z"},
      {"actEditRedo", "やり直し(&R)", "Ctrl+Y"},
      {"actLayerBindBelow", "下のレイヤと統合(&B)", "Ctrl+E"},
      {"actViewZoomCancel", "等倍表示(&N)", "F7"},
      {"actWindowSizeFit", "ウインドウサイズの調整(&F)", "F8"},
      {"actEventWait", "イベント再生にウエイトをかける(&W)", "Ctrl+W"},
      {"actCloseApp", "終了(&X)", ""},
  };
  for (const auto& s : sample) {
    ASSERT_TRUE(all.count(s.name)) << s.name;
    EXPECT_EQ(all[s.name].caption, s.caption) << s.name;
    EXPECT_EQ(all[s.name].shortcut, s.shortcut) << s.name;
  }
  // The File menu ends with the exit command: the recent list goes above it.
  const MenuEntry& file = Menus().front();
  EXPECT_EQ(file.caption, "ファイル(&F)");
  EXPECT_TRUE(file.isFile);
  EXPECT_EQ(file.commands.back().name, "actCloseApp");
}

class ResourceModule : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tintara-enu-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override {
    SetResourceTable({});
    std::filesystem::remove_all(dir_);
  }
  std::string Write(const std::string& bytes) {
    const std::string path = dir_ + "/tintara.enu";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
  }
  std::string dir_;
};

TEST_F(ResourceModule, ItsTextsTakeThePlaceOfTheBuiltInOnes) {
  ResourceTable t;
  ASSERT_EQ(LoadResourceModule(Write("# interface texts\r\n\r\nactFileNew=&New...\r\n"
                                     "actFileNew.hint=Makes a picture\\rof any size\n"
                                     "empty=\n"),
                               t),
            ResourceLoad::kLoaded);
  SetResourceTable(t);
  EXPECT_EQ(Text("actFileNew", "新規作成(&N)..."), "&New...");
  EXPECT_EQ(Text("actFileNew.hint", ""), "Makes a picture\rof any size");
  EXPECT_EQ(Text("empty", "x"), "");
  EXPECT_EQ(Text("actFileOpen", "開く(&O)..."), "開く(&O)...");
}

TEST_F(ResourceModule, AbsentOrRefusedAsAWhole) {
  ResourceTable t;
  t.texts["kept"] = "yes";
  EXPECT_EQ(LoadResourceModule(dir_ + "/none.enu", t), ResourceLoad::kAbsent);
  const struct {
    const char* what;
    std::string bytes;
  } bad[] = {
      {"a line without '='", "actFileNew=ok\njust words\n"},
      {"an empty key", "=text\n"},
      {"not UTF-8", "actFileNew=\x83\x74\x83\x40\x83\x43\x83\x8b\n"},
  };
  for (const auto& b : bad) {
    EXPECT_EQ(LoadResourceModule(Write(b.bytes), t), ResourceLoad::kUnreadable) << b.what;
    EXPECT_EQ(t.texts.at("kept"), "yes") << b.what;  // nothing of a refused module is taken
  }
  // A folder in the module's place cannot be read either.
  std::filesystem::create_directory(dir_ + "/dir.enu");
  EXPECT_EQ(LoadResourceModule(dir_ + "/dir.enu", t), ResourceLoad::kUnreadable);
  EXPECT_EQ(ResourceFailedMessage("/opt/tintara.enu"), "载入 \"/opt/tintara.enu\" 失败!");
}

}  // namespace
}  // namespace tintara::shell
