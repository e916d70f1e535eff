// The windows under the offscreen platform: start-up, the file commands, picture windows, the
// window and recent lists, drops, and the single-instance hand-over with real second processes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QStatusTipEvent>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include "OffscreenMain.h"
#include "app/AppProfile.h"
#include "app/PictureDocument.h"
#include "app/ShellRules.h"
#include "app/ui/DrawWindow.h"
#include "app/ui/MainForm.h"
#include "app/ui/MessageBoxes.h"
#include "app/ui/NewWindow.h"
#include "app/ui/SingleInstance.h"
#include "events/EventFile.h"
#include "events/EventMngr.h"
#include "events/OldPackets.h"
#include "events/Packets.h"
#include "files/GraphicsLib.h"
#include "pixel/Arith.h"
#include "pixel/ColorOps.h"
#include "platform/FileIO.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

namespace fs = std::filesystem;

// Runs the event loop until `done` or the time is up.
template <typename F>
bool WaitFor(F done, int ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Fixtures through the engine.
void MakeTci(const std::string& path, int32_t w, int32_t h, uint32_t layerColour) {
  CPictureDocument doc(nullptr, PaperSettings{});
  ASSERT_TRUE(doc.NewPicture("fixture", w, h, 72, false));
  ASSERT_GE(doc.Paper().NewLayer(doc.Flow(), kModeNormal, layerColour, "fill"), 0);
  ASSERT_TRUE(doc.SaveNative(path).saved);
}

// A PNG whose upper half is red and lower half blue: a flipped display shows it upside down.
void MakeTwoBandPng(const std::string& path, int32_t w, int32_t h) {
  TMTC px(w, h);
  FillRect(px, {0, 0, w, h / 2}, 0xFFFF0000u);
  FillRect(px, {0, h / 2, w, h - h / 2}, 0xFF0000FFu);
  ASSERT_EQ(pngSaveImage(path, MakeDibHeader(w, h, 72), px), GfxResult::Ok);
}

class Gui : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::OffscreenRoot() + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    SetInformationHook([this](std::string_view t) { infos_.emplace_back(t); });
    form_ = std::make_unique<TMainForm>(profile_, nullptr);
    form_->resize(900, 700);
    form_->jpegDialog = [](JpegOptions&) { return true; };
  }
  void TearDown() override {
    // Nothing may ask any more: the windows go without questions.
    for (TDrawWindow* w : form_->DrawWindows()) w->Doc().modified = false;
    form_.reset();
    SetInformationHook({});
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // The next file dialog answers with `path`.
  void AnswerDialog(const std::string& path) {
    form_->fileDialog = [this, path](const FileDialogRequest& r) {
      requests_.push_back(r);
      return FileDialogAnswer{QString::fromStdString(path), 0};
    };
  }

  std::string dir_;
  CAppProfile profile_;
  RecordingNotifySink notes_;
  std::vector<std::string> infos_;
  std::vector<FileDialogRequest> requests_;
  std::unique_ptr<TMainForm> form_;
};

// --- start-up ----------------------------------------------------------------------------------

TEST_F(Gui, StartsWithItsTitleAndPanels) {
  EXPECT_EQ(form_->windowTitle(), QString::fromUtf8("Tintara4.06 Deva"));
  EXPECT_EQ(TMainForm::MainTitle(true), QString::fromUtf8("Tintara4.06 Deva Render!"));
  form_->show();
  EXPECT_EQ(form_->Panel(0)->text(), QStringLiteral("100%"));
  EXPECT_EQ(form_->Panel(1)->text(), QString::fromUtf8("0.0°"));
  QStringList menus;
  for (QAction* a : form_->menuBar()->actions()) menus << a->text();
  EXPECT_TRUE(menus.contains(QString::fromUtf8("ファイル(&F)")));
  EXPECT_TRUE(menus.contains(QString::fromUtf8("ウインドウ(&W)")));
  ASSERT_NE(form_->Action("actFileNew"), nullptr);
  EXPECT_EQ(form_->Action("actFileNew")->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
  EXPECT_EQ(form_->Action("actFileSave")->text(), QString::fromUtf8("上書き保存(&S)"));
}

TEST_F(Gui, CommandLineFilesOpenAtTheFirstShow) {
  const std::string a = Path("a.tci"), b = Path("b.png");
  MakeTci(a, 16, 16, 0xFF000000u);
  MakeTwoBandPng(b, 8, 8);
  form_->SetStartupFiles({a, b});
  QCoreApplication::processEvents();
  EXPECT_TRUE(form_->DrawWindows().empty());  // not before the window is shown
  form_->show();
  ASSERT_TRUE(WaitFor([&] { return form_->DrawWindows().size() == 2; }));
  EXPECT_EQ(form_->DrawWindows()[0]->Doc().path, a);
  EXPECT_EQ(form_->DrawWindows()[1]->Doc().path, b);
  // Showing it again opens nothing more.
  form_->hide();
  form_->show();
  QCoreApplication::processEvents();
  EXPECT_EQ(form_->DrawWindows().size(), 2u);
}

TEST(ResourceTexts, CaptionsAndHintsOfTheCommands) {
  shell::ResourceTable t;
  t.texts["actFileOpen"] = "&Open...";
  t.texts["actFileOpen.hint"] = "Opens a picture";
  shell::SetResourceTable(t);
  CAppProfile profile;
  RecordingNotifySink notes;
  {
    TMainForm form(profile, nullptr);
    EXPECT_EQ(form.Action("actFileOpen")->text(), QStringLiteral("&Open..."));
    EXPECT_EQ(form.Action("actFileOpen")->statusTip(), QStringLiteral("Opens a picture"));
    EXPECT_EQ(form.Action("actFileNew")->text(), QString::fromUtf8("新規作成(&N)..."));
  }
  shell::SetResourceTable({});
}

TEST_F(Gui, CommandsFollowTheActivePicture) {
  form_->show();
  form_->UpdateCommands();
  // Without a picture only the commands that need none are on.
  EXPECT_TRUE(form_->Action("actFileNew")->isEnabled());
  EXPECT_FALSE(form_->Action("actFileSaveAs")->isEnabled());
  EXPECT_FALSE(form_->Action("actViewZoomIn")->isEnabled());
  TDrawWindow* w = form_->NewPicture(64, 64, 72, false);
  ASSERT_NE(w, nullptr);
  form_->UpdateCommands();
  // An untitled picture: Save As is the way to give it a file.
  EXPECT_FALSE(form_->Action("actFileSave")->isEnabled());
  EXPECT_TRUE(form_->Action("actFileSaveAs")->isEnabled());
  EXPECT_FALSE(form_->Action("actEditUndo")->isEnabled());
  ASSERT_GE(w->Paper().NewLayer(w->Doc().Flow(), kModeNormal, 0xFF102030u, ""), 0);
  form_->UpdateCommands();
  EXPECT_TRUE(form_->Action("actEditUndo")->isEnabled());
  EXPECT_TRUE(form_->Action("actFileSaveEvent")->isEnabled());
  // The zoom commands and the panel.
  form_->Action("actViewZoomIn")->trigger();
  form_->RefreshStatus();
  EXPECT_EQ(form_->Panel(0)->text(), QStringLiteral("125%"));
  form_->Action("actViewZoomCancel")->trigger();
  form_->RefreshStatus();
  EXPECT_EQ(form_->Panel(0)->text(), QStringLiteral("100%"));
}

TEST_F(Gui, ZoomPanelOffersTheStepsAndHintsKeepThePanels) {
  form_->show();
  TDrawWindow* w = form_->NewPicture(64, 64, 72, false);
  ASSERT_NE(w, nullptr);
  QMenu* steps = form_->ZoomMenu();
  ASSERT_EQ(steps->actions().size(), 18);
  EXPECT_EQ(steps->actions().front()->text(), QStringLiteral("800%"));
  EXPECT_EQ(steps->actions().back()->text(), QStringLiteral("6%"));
  steps->actions()[3]->trigger();  // 300 %
  EXPECT_EQ(w->Paper().zoomIndex, 6);
  EXPECT_EQ(form_->Panel(0)->text(), QStringLiteral("300%"));
  QStatusTipEvent tip(QStringLiteral("a hint"));
  QApplication::sendEvent(form_.get(), &tip);
  EXPECT_EQ(form_->Panel(3)->text(), QStringLiteral("a hint"));
  EXPECT_TRUE(form_->Panel(0)->isVisible());
}

// --- new picture ---------------------------------------------------------------------------------

TEST_F(Gui, NewPictureDialogChecksItsValues) {
  TNewWindow dialog(profile_, QSize());
  struct Case {
    const char *w, *h, *dpi;
    bool accepted;
  } cases[] = {
      {"", "64", "72", false},    // a box left empty
      {"7", "64", "72", false},   // below 8 pixels
      {"64", "64", "50", false},  // resolution below 72
      {"64", "48", "96", true},
  };
  for (const Case& c : cases) {
    notes_.warnings.clear();
    dialog.setResult(QDialog::Rejected);
    dialog.WidthEdit()->setText(QString::fromUtf8(c.w));
    dialog.HeightEdit()->setText(QString::fromUtf8(c.h));
    dialog.ResolutionEdit()->setText(QString::fromUtf8(c.dpi));
    dialog.accept();
    EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted) << c.w << "x" << c.h << "@" << c.dpi;
    EXPECT_EQ(notes_.warnings.empty(), c.accepted) << c.w;
  }
  EXPECT_EQ(dialog.Values().width, 64);
  EXPECT_EQ(dialog.Values().height, 48);
  EXPECT_EQ(dialog.Values().dpi, 96);
  // A change of unit converts the sizes shown: 64 px at 96 dpi = 0.67 in.
  dialog.UnitBox()->setCurrentIndex(1);
  EXPECT_EQ(dialog.WidthEdit()->text(), QStringLiteral("0.67"));
  // The typed-value check speaks while typing.
  dialog.WidthEdit()->setText(QStringLiteral("abc"));
  emit dialog.WidthEdit()->textEdited(QStringLiteral("abc"));
  EXPECT_EQ(dialog.TypingNote()->text(), QString::fromUtf8("不正な文字により数値を読みとれません！"));

  TDrawWindow* w =
      form_->NewPicture(dialog.Values().width, dialog.Values().height, dialog.Values().dpi, true);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->Paper().width, 64);
  EXPECT_EQ(w->Paper().height, 48);
  EXPECT_FALSE(w->Doc().modified);
}

// --- open and save ---------------------------------------------------------------------------------

TEST_F(Gui, OpensAPictureFileAndListsItFirst) {
  const std::string file = Path("pic.tci");
  MakeTci(file, 64, 64, 0xFF2040C0u);
  form_->show();
  TDrawWindow* w = form_->OpenFile(file);
  ASSERT_NE(w, nullptr) << (notes_.warnings.empty() ? "" : notes_.warnings.front());
  EXPECT_EQ(w->Paper().width, 64);
  EXPECT_EQ(w->Paper().LayerCount(), 2);
  EXPECT_EQ(w->windowTitle(), QString::fromStdString(file));
  ASSERT_FALSE(form_->Recent().Paths().empty());
  EXPECT_EQ(form_->Recent().Paths().front(), file);
  // The same path again activates the open window rather than opening a second one.
  EXPECT_EQ(form_->OpenFile(file), w);
  EXPECT_EQ(form_->DrawWindows().size(), 1u);
}

TEST_F(Gui, OpenDialogRemembersItsFolderAndFilter) {
  const std::string file = Path("dlg.tci");
  MakeTci(file, 16, 16, 0xFF000000u);
  profile_.fileIO.pictLoadExtIdx = 2;
  form_->fileDialog = [&](const FileDialogRequest& r) {
    requests_.push_back(r);
    return FileDialogAnswer{QString::fromStdString(file), 4};
  };
  form_->show();
  // A double click on the empty frame opens the dialog.
  QWidget* frame = form_->Mdi()->viewport();
  QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(5, 5), frame->mapToGlobal(QPointF(5, 5)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(frame, &click);
  ASSERT_EQ(requests_.size(), 1u);
  EXPECT_EQ(requests_[0].filterIndex, 1);
  EXPECT_EQ(requests_[0].filters.size(), 8);
  EXPECT_EQ(requests_[0].filters[1], QString::fromUtf8("Tintara 纸张图像 (*.tci) (*.tci)"));
  EXPECT_EQ(requests_[0].defaultSuffix, QStringLiteral("tci"));
  ASSERT_EQ(form_->DrawWindows().size(), 1u);
  EXPECT_EQ(profile_.fileIO.loadPath, dir_ + "/");
  EXPECT_EQ(profile_.fileIO.pictLoadExtIdx, 5);
}

TEST_F(Gui, OpenFailuresSayWhy) {
  struct Case {
    std::string name, content, warning;
  } cases[] = {
      {"missing.tci", "", "ファイルが見つかりません！\r\n    路径 = " + Path("missing.tci")},
      {"notes.txt", "x", Path("notes.txt") + " は未対応の形式です"},
      {"broken.te4", "not events", "イベントファイルとして開くことができません!"},
      // First-generation pictures are told apart by their first four bytes; this build has no
      // reader for the well-formed ones.
      {"other.vud", "WPB3....", "未知の形式です！"},
      {"short.vud", "WP", "未知の形式です！"},
      {"old.vud", "WPB2....", Path("old.vud") + " は未対応の形式です"},
      {"older.vud", "WPB ....", Path("older.vud") + " は未対応の形式です"},
  };
  for (const Case& c : cases) {
    notes_.warnings.clear();
    if (!c.content.empty()) {
      FILE* f = std::fopen(Path(c.name).c_str(), "wb");
      std::fputs(c.content.c_str(), f);
      std::fclose(f);
    }
    EXPECT_EQ(form_->OpenFile(Path(c.name)), nullptr) << c.name;
    ASSERT_FALSE(notes_.warnings.empty()) << c.name;
    EXPECT_EQ(notes_.warnings.back(), c.warning);
    EXPECT_TRUE(form_->DrawWindows().empty()) << c.name;
  }
}

TEST_F(Gui, ShowsTheImageTheRightWayUp) {
  const std::string file = Path("bands.png");
  MakeTwoBandPng(file, 64, 64);
  form_->show();
  TDrawWindow* w = form_->OpenFile(file);
  ASSERT_NE(w, nullptr);
  w->showMaximized();
  QCoreApplication::processEvents();
  const QImage shot = w->View().viewport()->grab().toImage();
  // The picture sits centred in the view at 100 %.
  const int cx = shot.width() / 2, cy = shot.height() / 2;
  EXPECT_EQ(QColor(shot.pixel(cx, cy - 16)), QColor(255, 0, 0));
  EXPECT_EQ(QColor(shot.pixel(cx, cy + 16)), QColor(0, 0, 255));
  // Zoomed in, the composite is stretched; zoomed out, the paper's own view buffer is drawn.
  // Both stay upright.
  for (bool in : {true, false}) {
    w->ZoomActual();
    in ? w->ZoomIn() : w->ZoomOut();
    QCoreApplication::processEvents();
    const QImage zoomed = w->View().viewport()->grab().toImage();
    EXPECT_EQ(QColor(zoomed.pixel(cx, cy - 12)), QColor(255, 0, 0)) << in;
    EXPECT_EQ(QColor(zoomed.pixel(cx, cy + 12)), QColor(0, 0, 255)) << in;
  }
}

TEST_F(Gui, SavesAndReopens) {
  form_->show();
  TDrawWindow* w = form_->NewPicture(64, 64, 72, false);
  ASSERT_NE(w, nullptr);
  ASSERT_GE(w->Paper().NewLayer(w->Doc().Flow(), kModeNormal, 0xFF30A050u, "green"), 0);
  EXPECT_TRUE(w->Doc().modified);
  const std::string file = Path("saved.tci");
  AnswerDialog(file);
  ASSERT_TRUE(form_->SaveAs(*w));
  ASSERT_EQ(requests_.size(), 1u);
  EXPECT_EQ(requests_[0].defaultSuffix, QStringLiteral("tci"));
  EXPECT_TRUE(requests_[0].filters.front().endsWith(QStringLiteral("(*.tci)")));
  EXPECT_FALSE(w->Doc().modified);
  EXPECT_EQ(infos_.back(), file + " として保存しました");
  // Overwriting asks first; No leaves the file as it is.
  notes_.answers = {ConfirmAnswer::No};
  EXPECT_FALSE(form_->Save(*w));
  EXPECT_EQ(notes_.questions.back(), "上書き保存してよろしいですか？\r    path = " + file);
  notes_.answers = {ConfirmAnswer::Yes};
  EXPECT_TRUE(form_->Save(*w));
  EXPECT_EQ(infos_.back(), "上書き保存しました (" + file + ")");
  w->close();
  ASSERT_TRUE(WaitFor([&] { return form_->DrawWindows().empty(); }));
  TDrawWindow* again = form_->OpenFile(file);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Paper().LayerCount(), 2);
  EXPECT_EQ(again->Paper().Layer(1)->name, "green");
}

TEST_F(Gui, TheProgramsSaveDialogAddsTheSuffix) {
  form_->show();
  TDrawWindow* w = form_->NewPicture(16, 16, 72, false);
  ASSERT_NE(w, nullptr);
  profile_.fileIO.savePath = dir_ + "/";
  QString folder;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    folder = dialog->directory().absolutePath();
    dialog->selectFile(QString::fromStdString(Path("typed")));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  ASSERT_TRUE(form_->SaveAs(*w));
  EXPECT_EQ(folder.toStdString(), dir_);
  EXPECT_EQ(w->Doc().path, Path("typed.tci"));
  EXPECT_TRUE(fs::exists(Path("typed.tci")));
}

TEST_F(Gui, FlatSavesOfATransparentPictureAreOverWhite) {
  form_->show();
  TDrawWindow* w = form_->NewPicture(16, 16, 72, false);
  ASSERT_NE(w, nullptr);
  w->Paper().SetPaperColorOn(false);
  const std::string bmp = Path("flat.bmp");
  ASSERT_TRUE(form_->SaveByKind(*w, bmp, true));
  EXPECT_EQ(infos_.back(), "画像をビットマップで保存しました");
  EXPECT_EQ(w->Paper().paperColorOn, 0);  // the picture itself stays transparent
  GraphicsImage img;
  ASSERT_EQ(bmpGetImage(bmp, img), GfxResult::Ok);
  EXPECT_EQ(*img.pixels.Pixel(3, 3) & 0x00FFFFFFu, 0x00FFFFFFu);
  // PNG and JPEG the same way; an unknown extension is refused with its message.
  EXPECT_TRUE(form_->SaveByKind(*w, Path("flat.png"), true));
  EXPECT_EQ(infos_.back(), "PNG形式で画像を保存しました");
  EXPECT_TRUE(form_->SaveByKind(*w, Path("flat.jpg"), true));
  EXPECT_EQ(infos_.back(), "画像をJPEGで保存しました");
  EXPECT_FALSE(form_->SaveByKind(*w, Path("flat.gif"), true));
  EXPECT_EQ(notes_.warnings.back(), Path("flat.gif") + " は未対応の形式です");
}

TEST_F(Gui, AutomaticBmpNamesSkipUsedNumbers) {
  form_->show();
  TDrawWindow* w = form_->NewPicture(16, 16, 72, false);
  ASSERT_NE(w, nullptr);
  profile_.fileIO.savePath = dir_ + "/";
  const QDate d = QDate::currentDate();
  const std::string stem = dir_ + "/" + std::to_string(d.year()) + "-" + std::to_string(d.month()) + "-" +
                           std::to_string(d.day()) + "-";
  for (int i = 0; i < 2; ++i) {
    FILE* f = std::fopen((stem + std::to_string(i) + ".bmp").c_str(), "wb");
    std::fclose(f);
  }
  ASSERT_TRUE(form_->SaveAutoBmp(*w));
  EXPECT_TRUE(fs::file_size(stem + "2.bmp") > 0);
}

// --- event files -------------------------------------------------------------------------------------

TEST_F(Gui, ReplaysAnEventFileOnTheTick) {
  form_->show();
  TDrawWindow* w = form_->OpenFile(TINTARA_EXAMPLES_DIR "/first.te4");
  ASSERT_NE(w, nullptr) << (notes_.warnings.empty() ? "" : notes_.warnings.front());
  ASSERT_TRUE(WaitFor([&] { return !w->ReplayRunning(); }, 20000));
  EXPECT_TRUE(w->Doc().Appending()) << (notes_.warnings.empty() ? "" : notes_.warnings.front());
  EXPECT_EQ(w->Paper().width, 320);
  EXPECT_EQ(w->Paper().height, 240);
  EXPECT_GE(w->Paper().LayerCount(), 5);
  // After the replay the picture records on: its events can be saved again.
  form_->UpdateCommands();
  EXPECT_TRUE(form_->Action("actFileSaveEvent")->isEnabled());
  AnswerDialog(Path("again.te4"));
  ASSERT_TRUE(form_->SaveEvent(*w, false));
  TDrawWindow* replay = form_->OpenFile(Path("again.te4"));
  ASSERT_NE(replay, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !replay->ReplayRunning(); }, 20000));
  EXPECT_EQ(replay->Paper().LayerCount(), w->Paper().LayerCount());
}

TEST_F(Gui, ReplaysAFirstGenerationEventFileWithoutTakingItsName) {
  // Paper 8 x 6 with a paper colour and one filled rectangle, then the end.
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(EncodeOld(OldPaperSizeRecord{512, 8, 6}, bytes));
  ASSERT_TRUE(EncodeOld(OldPaperColourRecord{513, 0x00102030}, bytes));
  ASSERT_TRUE(EncodeOld(OldRectRecord{296, 0, 1, 1, 4, 3, 0x00112233}, bytes));
  ASSERT_TRUE(EncodeOld(OldEmptyRecord{kOldEndCode}, bytes));
  const std::string file = Path("old.zov");
  ASSERT_TRUE(WriteFileAtomic(file, bytes.data(), bytes.size()));
  form_->show();
  TDrawWindow* w = form_->OpenFile(file);
  ASSERT_NE(w, nullptr) << (notes_.warnings.empty() ? "" : notes_.warnings.front());
  form_->UpdateCommands();
  if (w->ReplayRunning()) {
    EXPECT_FALSE(form_->Action("actEventPlayPause")->isEnabled());
  }
  ASSERT_TRUE(WaitFor([&] { return !w->ReplayRunning(); }));
  EXPECT_EQ(w->Paper().width, 8);
  EXPECT_EQ(w->Paper().height, 6);
  // The window keeps no path (Save goes to Save As), but the picture is titled by the file,
  // which is remembered among the recent ones.
  EXPECT_TRUE(w->Doc().path.empty());
  EXPECT_EQ(w->Paper().title, file);
  EXPECT_EQ(form_->Recent().Paths(), (std::vector<std::string>{file}));
  form_->UpdateCommands();
  EXPECT_FALSE(form_->Action("actFileSave")->isEnabled());
  AnswerDialog(Path("layer.png"));
  ASSERT_TRUE(form_->SaveLayer(*w));
  EXPECT_EQ(requests_.back().proposedName, QString::fromUtf8("old_图层-0"));
}

TEST_F(Gui, ReplayingWindowsPauseAndStop) {
  form_->show();
  TDrawWindow* w = form_->OpenFile(TINTARA_EXAMPLES_DIR "/first.te4");
  ASSERT_NE(w, nullptr);
  ASSERT_TRUE(w->ReplayRunning());
  form_->UpdateCommands();
  // While it replays the picture is not edited or saved.
  EXPECT_FALSE(form_->Action("actFileSaveAs")->isEnabled());
  EXPECT_FALSE(form_->Action("actLayerDuplicate")->isEnabled());
  EXPECT_TRUE(form_->Action("actViewZoomIn")->isEnabled());
  EXPECT_FALSE(form_->Action("actEventPlayResume")->isEnabled());
  form_->Action("actEventPlayPause")->trigger();
  EXPECT_TRUE(w->Doc().ReplayPaused());
  const int before = w->Doc().ReplayProgress();
  for (int i = 0; i < 5; ++i) form_->Tick();
  EXPECT_EQ(w->Doc().ReplayProgress(), before);
  form_->UpdateCommands();
  EXPECT_TRUE(form_->Action("actEventPlayResume")->isEnabled());
  form_->Action("actEventPlayStop")->trigger();
  EXPECT_FALSE(w->ReplayRunning());
}

TEST_F(Gui, ReplayWithWaitsTakesOneStepPerTick) {
  form_->show();
  form_->Action("actEventWait")->trigger();
  form_->UpdateCommands();
  EXPECT_TRUE(profile_.config.eventWait);
  EXPECT_TRUE(form_->Action("actEventWait")->isChecked());
  TDrawWindow* w = form_->OpenFile(TINTARA_EXAMPLES_DIR "/first.te4");
  ASSERT_NE(w, nullptr);
  form_->Tick();
  form_->Tick();
  form_->Tick();
  EXPECT_TRUE(w->ReplayRunning());
  form_->Action("actEventWait")->trigger();
  ASSERT_TRUE(WaitFor([&] { return !w->ReplayRunning(); }));
}

TEST_F(Gui, DisplaySwitchesAreCheckedWhileOn) {
  form_->show();
  TDrawWindow* w = form_->NewPicture(32, 32, 72, false);
  ASSERT_NE(w, nullptr);
  struct Case {
    const char* action;
    std::function<bool()> on;
  } cases[] = {
      {"actShowGrid", [&] { return w->Paper().gridOn != 0; }},
      {"actEditVisCanvasColor", [&] { return w->Paper().paperColorOn != 0; }},
      {"actEditVisBGPattern", [&] { return w->Paper().showChecker != 0; }},
      {"actViewAntiAlias", [&] { return w->Paper().settings.antialiasedDisplay; }},
  };
  for (const Case& c : cases) {
    QAction* a = form_->Action(c.action);
    ASSERT_NE(a, nullptr) << c.action;
    const bool before = c.on();
    a->trigger();
    form_->UpdateCommands();
    EXPECT_NE(c.on(), before) << c.action;
    EXPECT_EQ(a->isChecked(), c.on()) << c.action;
  }
  // Recording stops on request: the events can no longer be saved from this picture.
  form_->UpdateCommands();
  ASSERT_TRUE(form_->Action("actEventRecStop")->isEnabled());
  form_->Action("actEventRecStop")->trigger();
  form_->UpdateCommands();
  EXPECT_FALSE(form_->Action("actFileSaveEvent")->isEnabled());
}

// --- closing --------------------------------------------------------------------------------------

TEST_F(Gui, ClosingAChangedPictureAsks) {
  form_->show();
  TDrawWindow* w = form_->NewPicture(64, 64, 72, false);
  ASSERT_NE(w, nullptr);
  ASSERT_GE(w->Paper().NewLayer(w->Doc().Flow(), kModeNormal, 0xFF102030u, ""), 0);
  const std::string question = "\"" + w->Paper().title + "\" は変更されています。\r保存しますか？";
  notes_.answers = {ConfirmAnswer::Cancel};
  EXPECT_FALSE(w->close());
  ASSERT_EQ(notes_.questions.size(), 1u);
  EXPECT_EQ(notes_.questions[0], question);
  // Yes with a cancelled Save As keeps the window too.
  notes_.answers = {ConfirmAnswer::Yes};
  form_->fileDialog = [](const FileDialogRequest&) { return FileDialogAnswer{}; };
  EXPECT_FALSE(w->close());
  // The main window's close asks the same and stays when told to.
  notes_.answers = {ConfirmAnswer::Cancel};
  EXPECT_FALSE(form_->close());
  EXPECT_EQ(form_->DrawWindows().size(), 1u);
  notes_.answers = {ConfirmAnswer::No};
  EXPECT_TRUE(w->close());
  EXPECT_EQ(notes_.questions.size(), 4u);
  // An unchanged picture closes without a question.
  TDrawWindow* clean = form_->NewPicture(64, 64, 72, false);
  ASSERT_NE(clean, nullptr);
  EXPECT_TRUE(clean->close());
  EXPECT_EQ(notes_.questions.size(), 4u);
}

TEST_F(Gui, ReopeningAChangedPictureAsksBeforeDiscarding) {
  const std::string file = Path("re.tci");
  MakeTci(file, 32, 32, 0xFF000000u);
  form_->show();
  TDrawWindow* w = form_->OpenFile(file);
  ASSERT_NE(w, nullptr);
  ASSERT_GE(w->Paper().NewLayer(w->Doc().Flow(), kModeNormal, 0xFF102030u, ""), 0);
  notes_.answers = {ConfirmAnswer::No};
  EXPECT_EQ(form_->OpenFile(file), nullptr);
  EXPECT_EQ(w->Paper().LayerCount(), 3);  // the changes stay
  EXPECT_EQ(notes_.questions.back(), w->Paper().title + "\rに加えられた変更を破棄して再読込していいですか?");
  // The same answer through the recent list keeps the entry: the file itself is fine.
  QAction* entry = nullptr;
  for (QAction* a : form_->FileMenu()->actions())
    if (a->data().toString() == QString::fromStdString(file)) entry = a;
  ASSERT_NE(entry, nullptr);
  notes_.answers = {ConfirmAnswer::No};
  entry->trigger();
  EXPECT_EQ(form_->Recent().Paths(), (std::vector<std::string>{file}));
  EXPECT_EQ(w->Paper().LayerCount(), 3);
  notes_.answers = {ConfirmAnswer::Yes};
  TDrawWindow* fresh = form_->OpenFile(file);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->Paper().LayerCount(), 2);
  ASSERT_TRUE(WaitFor([&] { return form_->DrawWindows().size() == 1; }));
}

// --- lists and drops -------------------------------------------------------------------------------

TEST_F(Gui, WindowListShowsEveryPictureAndChecksTheActiveOne) {
  form_->show();
  TDrawWindow* a = form_->NewPicture(32, 32, 72, false);
  TDrawWindow* b = form_->NewPicture(32, 32, 72, false);
  ASSERT_TRUE(a && b);
  form_->RebuildWindowMenu();
  std::vector<QAction*> entries;
  for (QAction* x : form_->WindowMenu()->actions())
    if (x->isCheckable() && x->objectName().isEmpty()) entries.push_back(x);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries[0]->text().endsWith(a->windowTitle()));
  EXPECT_FALSE(entries[0]->isChecked());
  EXPECT_TRUE(entries[1]->isChecked());
  entries[0]->trigger();
  EXPECT_EQ(form_->ActiveDrawWindow(), a);
  form_->UpdateCommands();
  EXPECT_TRUE(form_->Action("actWindowCascade")->isEnabled());
}

TEST_F(Gui, RecentEntryOfADeletedFileGoesWithItsWarning) {
  const std::string keep = Path("keep.tci"), gone = Path("gone.tci");
  MakeTci(keep, 16, 16, 0xFF000000u);
  MakeTci(gone, 16, 16, 0xFF000000u);
  form_->show();
  ASSERT_NE(form_->OpenFile(keep), nullptr);
  ASSERT_NE(form_->OpenFile(gone), nullptr);
  ASSERT_EQ(form_->Recent().Paths(), (std::vector<std::string>{gone, keep}));
  for (TDrawWindow* w : form_->DrawWindows()) w->close();
  fs::remove(gone);
  QAction* entry = nullptr;
  for (QAction* a : form_->FileMenu()->actions())
    if (a->data().toString() == QString::fromStdString(gone)) entry = a;
  ASSERT_NE(entry, nullptr);
  entry->trigger();
  ASSERT_FALSE(notes_.warnings.empty());
  EXPECT_EQ(notes_.warnings.back(), "ファイルが見つかりません！\r\n    路径 = " + gone);
  EXPECT_EQ(form_->Recent().Paths(), (std::vector<std::string>{keep}));
  int listed = 0;
  for (QAction* a : form_->FileMenu()->actions()) listed += a->data().toString().isEmpty() ? 0 : 1;
  EXPECT_EQ(listed, 1);
}

TEST_F(Gui, DroppedFilesOpen) {
  const std::string file = Path("drop.png");
  MakeTwoBandPng(file, 16, 16);
  form_->show();
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(file)),
                QUrl::fromLocalFile(QString::fromStdString(Path("nothing.png")))});
  const QPoint inside = form_->Mdi()->geometry().center();
  QDragEnterEvent enter(inside, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(inside), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form_.get(), &drop);
  ASSERT_EQ(form_->DrawWindows().size(), 1u);
  EXPECT_EQ(form_->DrawWindows()[0]->Doc().path, file);
  ASSERT_EQ(notes_.warnings.size(), 1u);
  EXPECT_EQ(notes_.warnings[0], "ファイルが見つかりません！\r\n    路径 = " + Path("nothing.png"));
  // A dropped file that exists but does not open says so after its own reason.
  notes_.warnings.clear();
  FILE* f = std::fopen(Path("bad.png").c_str(), "wb");
  std::fputs("not a png", f);
  std::fclose(f);
  form_->OpenDropped({Path("bad.png")});
  ASSERT_EQ(notes_.warnings.size(), 2u);
  EXPECT_EQ(notes_.warnings[1], "画像ファイルを開くことができませんでした！\r    path = " + Path("bad.png"));
  EXPECT_EQ(form_->DrawWindows().size(), 1u);
}

// --- the picture window's view ------------------------------------------------------------------

TEST_F(Gui, WheelAndKeysZoomAboutTheCentre) {
  form_->show();
  TDrawWindow* w = form_->NewPicture(64, 64, 72, false);
  ASSERT_NE(w, nullptr);
  QWidget* vp = w->View().viewport();
  auto wheel = [&](int delta) {
    QWheelEvent e(QPointF(5, 5), vp->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(vp, &e);
    return e.isAccepted();
  };
  // Toward the user zooms in; touchpad deltas count once they add up to a notch.
  EXPECT_TRUE(wheel(-120));
  EXPECT_EQ(w->Paper().zoomIndex, 1);
  EXPECT_FALSE(wheel(-60));
  EXPECT_EQ(w->Paper().zoomIndex, 1);
  EXPECT_TRUE(wheel(-60));
  EXPECT_EQ(w->Paper().zoomIndex, 2);
  EXPECT_TRUE(wheel(120));
  EXPECT_EQ(w->Paper().zoomIndex, 1);
  // At the largest step the wheel is not handled.
  w->Paper().SetZoomIndex(9);
  EXPECT_FALSE(wheel(-120));
  EXPECT_EQ(w->Paper().zoomIndex, 9);
  w->ZoomActual();
  struct Key {
    int key;
    Qt::KeyboardModifiers mods;
    int32_t zoomAfter;
  } keys[] = {
      {Qt::Key_Equal, Qt::ControlModifier, 1}, {Qt::Key_F5, Qt::NoModifier, 2},
      {Qt::Key_Minus, Qt::ControlModifier, 1}, {Qt::Key_F6, Qt::NoModifier, 0},
      {Qt::Key_Equal, Qt::NoModifier, 0},  // without Ctrl "=" is no zoom key
  };
  for (const Key& k : keys) {
    QKeyEvent e(QEvent::KeyPress, k.key, k.mods);
    QApplication::sendEvent(&w->View(), &e);
    EXPECT_EQ(w->Paper().zoomIndex, k.zoomAfter) << k.key;
  }
  // The zoom keeps the paper point at the centre in place: the picture stays centred.
  w->showMaximized();
  QCoreApplication::processEvents();
  for (int i = 0; i < 4; ++i) w->ZoomIn();
  const QSize c = w->View().DeviceClient();
  const double z = w->Paper().ZoomFactor();
  EXPECT_NEAR((c.width() / 2.0 - w->Paper().viewOriginX) / z, 32, 1.0);
  EXPECT_NEAR((c.height() / 2.0 - w->Paper().viewOriginY) / z, 32, 1.0);
}

TEST_F(Gui, SelectionKeysChangeThePictureOnlyWhenItMayBeEdited) {
  form_->show();
  TDrawWindow* w = form_->NewPicture(32, 32, 72, false);
  ASSERT_NE(w, nullptr);
  ASSERT_GE(w->Paper().NewSelectionMask(-1), 0);
  auto press = [&](TDrawWindow* target, int key) {
    QKeyEvent e(QEvent::KeyPress, key, Qt::ControlModifier | Qt::ShiftModifier);
    QApplication::sendEvent(&target->View(), &e);
  };
  const uint8_t enabled = w->Paper().selectionEnabled, visible = w->Paper().selectionVisible;
  press(w, Qt::Key_E);
  EXPECT_NE(w->Paper().selectionEnabled, enabled);
  press(w, Qt::Key_H);
  EXPECT_NE(w->Paper().selectionVisible, visible);
  EXPECT_TRUE(w->Paper().CanUndoNow());  // recorded steps
  // Ctrl+Shift+S is Save As.
  AnswerDialog(Path("keys.tci"));
  press(w, Qt::Key_S);
  EXPECT_EQ(w->Doc().path, Path("keys.tci"));
  // While a window replays its picture is not changed from the keyboard.
  TDrawWindow* replay = form_->OpenFile(TINTARA_EXAMPLES_DIR "/first.te4");
  ASSERT_NE(replay, nullptr);
  ASSERT_TRUE(replay->ReplayRunning());
  form_->Action("actEventPlayPause")->trigger();
  const uint8_t before = replay->Paper().selectionEnabled;
  press(replay, Qt::Key_E);
  EXPECT_EQ(replay->Paper().selectionEnabled, before);
  EXPECT_FALSE(replay->MayEdit());
}

TEST_F(Gui, CtrlF6StepsThroughThePictures) {
  form_->show();
  TDrawWindow* a = form_->NewPicture(32, 32, 72, false);
  TDrawWindow* b = form_->NewPicture(32, 32, 72, false);
  ASSERT_TRUE(a && b);
  ASSERT_EQ(form_->ActiveDrawWindow(), b);
  QKeyEvent e(QEvent::KeyPress, Qt::Key_F6, Qt::ControlModifier);
  QApplication::sendEvent(&b->View(), &e);
  EXPECT_EQ(form_->ActiveDrawWindow(), a);
  EXPECT_EQ(a->Paper().zoomIndex, 0);  // Ctrl+F6 is no zoom
}

TEST_F(Gui, NewWindowsFitTheirPictureAndStepDiagonally) {
  form_->show();
  QCoreApplication::processEvents();
  TDrawWindow* a = form_->NewPicture(64, 48, 72, false);
  TDrawWindow* b = form_->NewPicture(64, 48, 72, false);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->pos(), QPoint(0, 0));
  EXPECT_EQ(b->pos(), QPoint(24, 24));
  // The view has room for the picture plus a margin of 80.
  EXPECT_EQ(a->View().viewport()->width(), 64 + 80);
  EXPECT_EQ(a->View().viewport()->height(), 48 + 80);
  // A picture larger than the area: the window stays inside it.
  TDrawWindow* big = form_->NewPicture(4000, 3000, 72, false);
  ASSERT_NE(big, nullptr);
  const QRect area(QPoint(0, 0), form_->Mdi()->viewport()->size());
  EXPECT_TRUE(area.contains(big->geometry())) << big->geometry().width() << "x" << big->geometry().height();
}

TEST_F(Gui, OverwriteFailuresSpeakOnceAndACancelledDialogNotAtAll) {
  form_->show();
  TDrawWindow* w = form_->NewPicture(16, 16, 72, false);
  ASSERT_NE(w, nullptr);
  const std::string jpeg = Path("a.jpg");
  AnswerDialog(jpeg);
  ASSERT_TRUE(form_->SaveAs(*w));
  ASSERT_TRUE(fs::exists(jpeg));
  const auto written = fs::last_write_time(jpeg);
  // Cancelling the JPEG options is the user's choice, not a failed save.
  form_->jpegDialog = [](JpegOptions&) { return false; };
  notes_.warnings.clear();
  notes_.answers = {ConfirmAnswer::Yes};
  EXPECT_FALSE(form_->Save(*w));
  EXPECT_TRUE(notes_.warnings.empty());
  EXPECT_EQ(fs::last_write_time(jpeg), written);
  // A kind that cannot be written gives the overwrite failure alone, not the kind's own text too.
  const struct { std::string name; } cases[] = {{"b.vud"}, {"c.xyz"}};
  for (const auto& c : cases) {
    w->Doc().path = Path(c.name);
    notes_.warnings.clear();
    notes_.answers = {ConfirmAnswer::Yes};
    EXPECT_FALSE(form_->Save(*w)) << c.name;
    EXPECT_EQ(notes_.warnings, (std::vector<std::string>{"上書き保存に失敗しました！"})) << c.name;
  }
}

TEST_F(Gui, EventOpenAsksForAnExistingFileFirst) {
  AnswerDialog(Path("missing.txt"));
  EXPECT_EQ(form_->OpenEvent(), nullptr);
  EXPECT_EQ(notes_.warnings,
            (std::vector<std::string>{"ファイルが見つかりません！\r\n    路径 = " + Path("missing.txt")}));
  FILE* f = std::fopen(Path("there.txt").c_str(), "wb");
  std::fputs("x", f);
  std::fclose(f);
  AnswerDialog(Path("there.txt"));
  EXPECT_EQ(form_->OpenEvent(), nullptr);
  EXPECT_EQ(notes_.warnings.back(), "イベントファイルとして開くことができません!");
}

TEST_F(Gui, ARefusedProtectedSaveGivesItsOwnWarningOnly) {
  form_->show();
  TDrawWindow* w = form_->NewPicture(16, 16, 72, false);
  ASSERT_NE(w, nullptr);
  // The stream in memory carries the protection mark already.
  CEventMngr& events = w->Doc().Events();
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(events.CopyOut(events.CommittedLength(), bytes));
  ASSERT_TRUE(MarkStateRecords(bytes, kProtectBit, true, false).walked);
  ASSERT_TRUE(events.Overwrite(0, bytes));
  notes_.answers = {ConfirmAnswer::Yes};
  AnswerDialog(Path("g.te4"));
  EXPECT_FALSE(form_->SaveEvent(*w, true));
  EXPECT_EQ(notes_.warnings, (std::vector<std::string>{kAlreadyProtectedText}));
  EXPECT_FALSE(fs::exists(Path("g.te4")));
}

TEST_F(Gui, StoppingTheRecordingAsksAndOffersASaveFirst) {
  form_->show();
  TDrawWindow* w = form_->NewPicture(16, 16, 72, false);
  ASSERT_NE(w, nullptr);
  CEventMngr& events = w->Doc().Events();
  ASSERT_TRUE(events.Recording());
  const struct {
    const char* what;
    std::vector<ConfirmAnswer> answers;
    const char* dialogAnswer;  // nullptr: the save dialog is cancelled
    bool stops;
  } cases[] = {
      {"cancelled", {ConfirmAnswer::Cancel}, nullptr, false},
      {"save cancelled", {ConfirmAnswer::Ok, ConfirmAnswer::Yes}, nullptr, false},
      {"saved", {ConfirmAnswer::Ok, ConfirmAnswer::Yes}, "kept.te4", true},
  };
  for (const auto& c : cases) {
    notes_.answers = c.answers;
    notes_.questions.clear();
    form_->fileDialog = [&](const FileDialogRequest&) {
      return FileDialogAnswer{c.dialogAnswer ? QString::fromStdString(Path(c.dialogAnswer)) : QString(), 0};
    };
    EXPECT_EQ(form_->StopRecording(*w), c.stops) << c.what;
    EXPECT_EQ(events.Recording(), !c.stops) << c.what;
    ASSERT_FALSE(notes_.questions.empty());
    EXPECT_EQ(notes_.questions.front(),
              "イベント記録を終了します。\r一度終了すると、記録を再開することはできません!");
  }
  EXPECT_EQ(notes_.questions.back(), "今までのイベントを保存しますか?");
  EXPECT_TRUE(fs::exists(Path("kept.te4")));
  form_->UpdateCommands();
  EXPECT_FALSE(form_->Action("actEventRecStop")->isEnabled());
  // Answering No stops without a save.
  TDrawWindow* other = form_->NewPicture(16, 16, 72, false);
  ASSERT_NE(other, nullptr);
  notes_.answers = {ConfirmAnswer::Ok, ConfirmAnswer::No};
  form_->fileDialog = [](const FileDialogRequest&) -> FileDialogAnswer {
    ADD_FAILURE() << "no save was wanted";
    return {};
  };
  EXPECT_TRUE(form_->StopRecording(*other));
  EXPECT_FALSE(other->Doc().Events().Recording());
}

TEST_F(Gui, TilingPutsThePicturesSideBySideOrAboveEachOther) {
  form_->show();
  TDrawWindow* a = form_->NewPicture(32, 32, 72, false);
  TDrawWindow* b = form_->NewPicture(32, 32, 72, false);
  ASSERT_TRUE(a && b);
  const QSize area = form_->Mdi()->viewport()->size();
  form_->Action("actWindowTileVertical")->trigger();
  EXPECT_EQ(a->geometry(), QRect(0, 0, area.width() / 2, area.height()));
  EXPECT_EQ(b->geometry(), QRect(area.width() / 2, 0, area.width() - area.width() / 2, area.height()));
  form_->Action("actWindowTileHorizontal")->trigger();
  EXPECT_EQ(a->geometry(), QRect(0, 0, area.width(), area.height() / 2));
  EXPECT_EQ(b->geometry(), QRect(0, area.height() / 2, area.width(), area.height() - area.height() / 2));
}

TEST_F(Gui, RotationPanelOffersAnglesAndTurnsTheView) {
  form_->show();
  TDrawWindow* w = form_->NewPicture(64, 48, 72, false);
  ASSERT_NE(w, nullptr);
  QMenu* angles = form_->RotationMenu();
  ASSERT_FALSE(angles->actions().isEmpty());
  EXPECT_EQ(angles->actions().front()->text(), QString::fromUtf8("0.0°"));
  QAction* quarter = nullptr;
  for (QAction* a : angles->actions())
    if (a->text() == QString::fromUtf8("90.0°")) quarter = a;
  ASSERT_NE(quarter, nullptr);
  quarter->trigger();
  EXPECT_EQ(w->Paper().normalisedAngle, -90.0f);
  EXPECT_EQ(form_->Panel(1)->text(), QString::fromUtf8("90.0°"));
  // The turned view still shows the picture: its middle is the paper, not the frame colour.
  const QImage shown = w->View().viewport()->grab().toImage();
  const QColor frame = w->View().palette().color(QPalette::Dark);
  EXPECT_NE(shown.pixelColor(shown.width() / 2, shown.height() / 2), frame);
  angles->actions().front()->trigger();
  EXPECT_EQ(w->Paper().normalisedAngle, 0.0f);
  EXPECT_EQ(form_->Panel(1)->text(), QString::fromUtf8("0.0°"));
}

TEST_F(Gui, LayerAndEventSavesProposeTheirNames) {
  form_->show();
  TDrawWindow* w = form_->NewPicture(16, 16, 72, false);
  ASSERT_NE(w, nullptr);
  AnswerDialog(Path("layer.png"));
  ASSERT_TRUE(form_->SaveLayer(*w));
  EXPECT_EQ(requests_.back().proposedName, QString::fromUtf8("图层-0"));
  EXPECT_EQ(requests_.back().defaultSuffix, QStringLiteral("png"));
  EXPECT_EQ(infos_.back(), "レイヤを保存しました");
  GraphicsImage img;
  ASSERT_EQ(pngGetImage(Path("layer.png"), img), GfxResult::Ok);
  EXPECT_EQ(img.pixels.Width(), 16);
  AnswerDialog(Path("titled.tci"));
  ASSERT_TRUE(form_->SaveAs(*w));
  AnswerDialog(Path("layer.tga"));
  EXPECT_FALSE(form_->SaveLayer(*w));
  EXPECT_EQ(requests_.back().proposedName, QString::fromUtf8("titled_图层-0"));
  EXPECT_EQ(notes_.warnings.back(), ".tga は未対応の形式です");
  // A protected event save asks first; No writes nothing.
  notes_.answers = {ConfirmAnswer::No};
  AnswerDialog(Path("guarded.te4"));
  EXPECT_FALSE(form_->SaveEvent(*w, true));
  EXPECT_FALSE(fs::exists(Path("guarded.te4")));
  notes_.answers = {ConfirmAnswer::Yes};
  ASSERT_TRUE(form_->SaveEvent(*w, true));
  EXPECT_EQ(requests_.back().proposedName,
            QString::fromStdString(fs::path(Path("titled.te4")).stem().string() + ".te4"));
  // The protected copy replays in a window but can no longer be saved from it.
  TDrawWindow* replay = form_->OpenFile(Path("guarded.te4"));
  ASSERT_NE(replay, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !replay->ReplayRunning(); }));
  form_->UpdateCommands();
  EXPECT_TRUE(replay->Doc().FromProtectedStream());
  EXPECT_FALSE(form_->Action("actFileSaveAs")->isEnabled());
  EXPECT_FALSE(form_->Action("actFileSaveEvent")->isEnabled());
}

// --- message boxes ----------------------------------------------------------------------------------

TEST(MessageBoxText, LineBreaksOnlyInTheBox) {
  EXPECT_EQ(BoxText("a\rb\r\nc"), QStringLiteral("a\nb\nc"));
  EXPECT_EQ(BoxText("<b>x</b>"), QStringLiteral("<b>x</b>"));
  EXPECT_EQ(WarningCaption(), QString::fromUtf8("警告 (Tintara)"));
  EXPECT_EQ(SafeAnswer(ConfirmButtons::YesNo), ConfirmAnswer::No);
  EXPECT_EQ(SafeAnswer(ConfirmButtons::YesNoCancel), ConfirmAnswer::Cancel);
  EXPECT_EQ(SafeAnswer(ConfirmButtons::OkCancel), ConfirmAnswer::Cancel);
}

TEST(MessageBoxes, WarningBoxIsPlainTextWithItsCaption) {
  CQtNotifySink sink;
  INotifySink* old = SetNotifySink(&sink);
  QString caption, text;
  Qt::TextFormat format = Qt::RichText;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    caption = box->windowTitle();
    text = box->text();
    format = box->textFormat();
    box->accept();
  });
  ShowWarning("<b>/tmp/a&b.tci</b>\rfailed");
  SetNotifySink(old);
  EXPECT_EQ(caption, QString::fromUtf8("警告 (Tintara)"));
  EXPECT_EQ(text, QStringLiteral("<b>/tmp/a&b.tci</b>\nfailed"));
  EXPECT_EQ(format, Qt::PlainText);
}

// --- two processes ------------------------------------------------------------------------------------

class TwoProcesses : public Gui {
 protected:
  // Runs the program to its end, letting this process's event loop serve the socket meanwhile.
  int Run(const QStringList& args, const QString& workDir, int ms = 30000) {
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.start(QStringLiteral(TINTARA_EXE), args);
    if (!p.waitForStarted(5000)) return -1;
    if (!WaitFor([&] { return p.state() == QProcess::NotRunning; }, ms)) {
      p.kill();
      p.waitForFinished();
      return -2;
    }
    output_ = p.readAllStandardError().toStdString();
    return p.exitCode();
  }
  std::string output_;
};

TEST_F(TwoProcesses, SecondStartHandsRelativePathsOverInOrder) {
  MakeTci(Path("one.tci"), 16, 16, 0xFF000000u);
  MakeTci(Path("two.tci"), 24, 24, 0xFF000000u);
  CInstanceServer server;
  ASSERT_TRUE(server.Listen(InstanceServerPath()));
  server.openFile = [this](const std::string& p) { return form_->OpenFile(p) != nullptr; };
  int activations = 0;
  server.activate = [&] { ++activations; };
  form_->show();
  EXPECT_EQ(Run({QStringLiteral("one.tci"), QStringLiteral("two.tci")}, QString::fromStdString(dir_)), 0)
      << output_;
  ASSERT_TRUE(WaitFor([&] { return form_->DrawWindows().size() == 2; }));
  const std::vector<TDrawWindow*> windows = form_->DrawWindows();
  EXPECT_EQ(windows[0]->Doc().path, Path("one.tci"));
  EXPECT_EQ(windows[1]->Doc().path, Path("two.tci"));
  EXPECT_GE(activations, 1);
}

TEST_F(TwoProcesses, ASlowOrAskingOpenDoesNotKeepTheSecondStartWaiting) {
  CInstanceServer server;
  ASSERT_TRUE(server.Listen(InstanceServerPath()));
  QProcess second;
  std::vector<std::string> opened;
  bool endedWhileOpening = false;
  // The first path's open takes as long as a question box the user leaves open.
  server.openFile = [&](const std::string& path) {
    opened.push_back(path);
    if (opened.size() == 1)
      endedWhileOpening = WaitFor([&] { return second.state() == QProcess::NotRunning; }, 15000);
    return true;
  };
  second.setWorkingDirectory(QString::fromStdString(dir_));
  second.start(QStringLiteral(TINTARA_EXE), {QStringLiteral("x.tci"), QStringLiteral("y.tci")});
  ASSERT_TRUE(second.waitForStarted(5000));
  ASSERT_TRUE(WaitFor([&] { return opened.size() == 2; }, 20000));
  EXPECT_TRUE(endedWhileOpening);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(opened, (std::vector<std::string>{Path("x.tci"), Path("y.tci")}));
}

TEST_F(TwoProcesses, RenderRunNeverAsksTheRunningInstance) {
  CInstanceServer server;
  ASSERT_TRUE(server.Listen(InstanceServerPath()));
  int asked = 0;
  server.openFile = [&](const std::string&) { return ++asked, true; };
  server.activate = [&] { ++asked; };
  fs::copy_file(TINTARA_EXAMPLES_DIR "/first.te4", Path("first.te4"));
  fs::create_directories(Path("out"));
  EXPECT_EQ(Run({QStringLiteral("-render"), QString::fromStdString("-O" + Path("out")),
                 QStringLiteral("first.te4")},
                QString::fromStdString(dir_)),
            8)
      << output_;
  EXPECT_EQ(asked, 0);
  EXPECT_TRUE(fs::exists(Path("out/first.bmp")));
}

TEST_F(TwoProcesses, StartsWithTheCommandLineFileAndSavesTheSettingsAtTheEnd) {
  MakeTci(Path("start.tci"), 16, 16, 0xFF000000u);
  const std::string conf = std::string(getenv("XDG_CONFIG_HOME")) + "/Norvane/Tintara4 Deva.conf";
  fs::remove(conf);
  QProcess p;
  p.setWorkingDirectory(QString::fromStdString(dir_));
  p.start(QStringLiteral(TINTARA_EXE), {QStringLiteral("start.tci")});
  ASSERT_TRUE(p.waitForStarted(5000));
  // It answers as the interactive instance once it runs (its files open at its first show).
  ASSERT_TRUE(WaitFor(
      [&] {
        return p.state() != QProcess::Running ||
               HandOverToRunningInstance(InstanceServerPath(), {}, 500) == HandOverResult::kHandedOver;
      },
      20000));
  ASSERT_EQ(p.state(), QProcess::Running) << p.readAllStandardError().toStdString();
  p.terminate();  // the end of a session: the windows close as the user would close them
  ASSERT_TRUE(WaitFor([&] { return p.state() == QProcess::NotRunning; }, 20000));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0);
  // The recent list, written with the rest of the settings, names the opened file.
  FILE* f = std::fopen(conf.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::string text(1 << 16, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), f));
  std::fclose(f);
  EXPECT_NE(text.find("[fileMRU]"), std::string::npos) << text;
  EXPECT_NE(text.find(Path("start.tci")), std::string::npos) << text;
  EXPECT_NE(text.find("[window]"), std::string::npos) << text;
}

TEST_F(TwoProcesses, BatchRunTellsTheCallerNamedByW) {
  CInstanceServer caller(0);
  ASSERT_TRUE(caller.Listen(NotifyServerPath(77)));
  std::vector<uint32_t> heard;
  caller.outcome = [&](uint32_t code) { heard.push_back(code); };
  fs::copy_file(TINTARA_EXAMPLES_DIR "/first.te4", Path("w.te4"));
  fs::create_directories(Path("out"));
  const QString out = QString::fromStdString("-O" + Path("out"));
  struct Case {
    QStringList args;
    int code;
  } cases[] = {
      {{QStringLiteral("-render"), QStringLiteral("-W77"), out, QStringLiteral("w.te4")}, 8},
      {{QStringLiteral("-viewer"), QStringLiteral("-W77"), QStringLiteral("w.te4")}, 13},
      {{QStringLiteral("-render"), QStringLiteral("-W77"), out, QStringLiteral("missing.te4")}, 10},
  };
  for (const Case& c : cases) {
    heard.clear();
    EXPECT_EQ(Run(c.args, QString::fromStdString(dir_)), c.code) << output_;
    ASSERT_TRUE(WaitFor([&] { return !heard.empty(); }, 5000)) << c.code;
    QCoreApplication::processEvents();
    EXPECT_EQ(heard, std::vector<uint32_t>{uint32_t(c.code)});  // exactly once
  }
}

TEST_F(TwoProcesses, WithoutADisplayItSaysSoInsteadOfAborting) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    env.remove(QString::fromLatin1(name));
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(TINTARA_EXE), {QStringLiteral("x.tci")});
  ASSERT_TRUE(p.waitForFinished(20000));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 2);
  EXPECT_TRUE(p.readAllStandardError().contains("no display"));
}

TEST_F(TwoProcesses, StaleSocketFileStillAllowsANormalStart) {
  // A socket file nobody listens on, as a killed instance leaves it.
  const QString path = InstanceServerPath();
  {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray p = path.toLocal8Bit();
    std::memcpy(addr.sun_path, p.constData(), size_t(p.size()));
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    close(fd);
  }
  ASSERT_TRUE(QFileInfo::exists(path));
  QProcess first;
  first.setWorkingDirectory(QString::fromStdString(dir_));
  first.start(QStringLiteral(TINTARA_EXE), {});
  ASSERT_TRUE(first.waitForStarted(5000));
  // It listens where the stale file was and answers as the interactive instance.
  const bool answered = WaitFor(
      [&] {
        return first.state() != QProcess::Running ||
               HandOverToRunningInstance(path, {}, 500) == HandOverResult::kHandedOver;
      },
      20000);
  const bool running = first.state() == QProcess::Running;
  first.kill();
  first.waitForFinished();
  EXPECT_TRUE(answered);
  EXPECT_TRUE(running) << first.readAllStandardError().toStdString();
}

TEST(BatchNotify, TheCallerHearsTheOutcomeCode) {
  CInstanceServer caller(0);
  ASSERT_TRUE(caller.Listen(NotifyServerPath(4711)));
  std::vector<uint32_t> heard;
  caller.outcome = [&](uint32_t code) { heard.push_back(code); };
  bool sent = false;
  // The sender waits for its bytes to go out while this loop serves the caller's side.
  QTimer::singleShot(0, [&] { sent = SendBatchOutcome(4711, 11); });
  ASSERT_TRUE(WaitFor([&] { return !heard.empty(); }, 5000));
  EXPECT_TRUE(sent);
  EXPECT_EQ(heard, std::vector<uint32_t>{11});
  // Nobody listening under another number: the run goes on without telling anyone.
  EXPECT_FALSE(SendBatchOutcome(4712, 8, 200));
}

TEST(Frames, SplitAtTheirBoundaries) {
  QByteArray stream = EncodeFrame(FrameType::kOpen, QByteArrayLiteral("/a/b.tci")) +
                      EncodeFrame(FrameType::kQuery, EncodeInt(0));
  QByteArray part = stream.left(7);
  FrameType t;
  QByteArray payload;
  EXPECT_FALSE(TakeFrame(part, t, payload));  // incomplete: nothing taken
  EXPECT_EQ(part.size(), 7);
  ASSERT_TRUE(TakeFrame(stream, t, payload));
  EXPECT_EQ(t, FrameType::kOpen);
  EXPECT_EQ(payload, QByteArrayLiteral("/a/b.tci"));
  ASSERT_TRUE(TakeFrame(stream, t, payload));
  EXPECT_EQ(t, FrameType::kQuery);
  EXPECT_TRUE(stream.isEmpty());
  // The identity reads as the four characters in memory order.
  EXPECT_EQ(EncodeInt(kIdentityInteractive), QByteArrayLiteral("TT40"));
  EXPECT_EQ(EncodeInt(kIdentityViewer), QByteArrayLiteral("TTUw"));
  EXPECT_EQ(EncodeInt(kIdentityRender), QByteArrayLiteral("TTRe"));
}

}  // namespace
}  // namespace tintara
