// The palettes' arrangement over two starts: the docking records and Qt's own state written at
// exit, the profile's visibility and places, and the records alone when Qt's state is missing
// or damaged.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDockWidget>
#include <QTabBar>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>

#include "app/AppProfile.h"
#include "app/DockingRecord.h"
#include "app/ui/MainForm.h"
#include "app/ui/QtSettingsStore.h"
#include "platform/Notify.h"

namespace tintara {
namespace {

std::string FreshFile(const char* name) {
  const std::string file = std::string(getenv("XDG_CONFIG_HOME")) + "/" + name;
  std::filesystem::remove(file);
  return file;
}

void Show(TMainForm& form) {
  form.resize(1200, 900);
  form.show();
  QApplication::processEvents();
}

const DockSiteRecord* SiteWith(const std::vector<DockSiteRecord>& sites, int32_t client) {
  for (const DockSiteRecord& s : sites)
    if (std::find(s.clients.begin(), s.clients.end(), client) != s.clients.end()) return &s;
  return nullptr;
}

// The caption on the front tab of the tab bar that shows `dock`.
QString FrontTab(const TMainForm& form, const QDockWidget* dock) {
  for (const QTabBar* bar : form.findChildren<QTabBar*>())
    for (int i = 0; i < bar->count(); ++i)
      if (bar->tabText(i) == dock->windowTitle()) return bar->tabText(bar->currentIndex());
  return {};
}

TEST(DockingRecords, DescribeTheDesignedSites) {
  RecordingNotifySink notes;
  CAppProfile profile;
  TMainForm form(profile, nullptr);
  Show(form);
  const std::vector<DockSiteRecord> sites = form.DockingSites();
  // Every palette stands in exactly one site.
  std::multiset<int32_t> seen;
  for (const DockSiteRecord& s : sites) seen.insert(s.clients.begin(), s.clients.end());
  for (const char* prefix : {"tool", "ctrl", "preview", "select", "penMethodList", "penMethod", "pen",
                             "penShapeList", "penShape", "pal", "gcol", "rgb", "hsv", "layer"})
    EXPECT_EQ(seen.count(TMainForm::PaletteNumber(prefix)), 1u) << prefix;
  // The designed tab groups, in tab order, their first tab in front.
  struct Case {
    int32_t member;
    std::vector<int32_t> clients;
  };
  for (const Case& c : {Case{15, {15, 14}}, Case{13, {13, 12, 1}}, Case{6, {6, 7, 8, 9}}, Case{0, {0}}}) {
    const DockSiteRecord* site = SiteWith(sites, c.member);
    ASSERT_NE(site, nullptr) << c.member;
    EXPECT_EQ(site->clients, c.clients) << c.member;
    EXPECT_EQ(site->active, 0) << c.member;
    EXPECT_TRUE(site->visible);
    EXPECT_GT(site->w, 0);
    EXPECT_GT(site->h, 0);
  }
  // Another tab brought forward is the active one; a hidden palette's site is not visible.
  form.PaletteDock("hsv")->raise();
  form.PaletteDock("select")->hide();
  QApplication::processEvents();
  const std::vector<DockSiteRecord> after = form.DockingSites();
  EXPECT_EQ(SiteWith(after, 8)->active, 2);
  EXPECT_FALSE(SiteWith(after, 3)->visible);
}

TEST(DockingRecords, WrittenAtExitThroughTheProfileAndRestoredAtTheNextStart) {
  RecordingNotifySink notes;
  const std::string file = FreshFile("docking-two-runs.conf");
  {
    CQtSettingsStore store(file);
    CAppProfile profile;
    profile.LoadAll(store);
    TMainForm form(profile, &store);
    Show(form);
    form.RestorePaletteLayout();
    // The layer window joins the navigator's site and stays in front; the selection is closed;
    // the tool options float.
    form.tabifyDockWidget(form.PaletteDock("preview"), form.PaletteDock("layer"));
    form.PaletteDock("layer")->raise();
    form.PaletteDock("select")->hide();
    QDockWidget* ctrl = form.PaletteDock("ctrl");
    ctrl->setFloating(true);
    ctrl->move(150, 160);
    form.Colours().SetMainColor(0x00123456, 0);
    form.Colours().SetSubColor(0x00654321, 0);
    QApplication::processEvents();
    // As at a real exit: the window is closed first, its tab bars gone from the screen.
    form.close();
    QApplication::processEvents();
    form.SaveAtExit();
    ASSERT_TRUE(profile.SaveAll(store));
    ASSERT_TRUE(store.Sync());
    // The records as written, and their number kept in the profile.
    const std::vector<DockSiteRecord> written = LoadDockingLayout(store);
    EXPECT_EQ(int32_t(written.size()), profile.window.dockSiteCount);
    EXPECT_GT(profile.window.dockSiteCount, 3);
    const DockSiteRecord* nav = SiteWith(written, 5);
    ASSERT_NE(nav, nullptr);
    EXPECT_EQ(nav->clients, (std::vector<int32_t>{5, 2}));
    EXPECT_EQ(nav->active, 1);
    EXPECT_TRUE(profile.window.penMethodListWinChild);
  }
  CQtSettingsStore store(file);
  CAppProfile profile;
  profile.LoadAll(store);
  EXPECT_FALSE(profile.window.selectWinVis);
  EXPECT_GT(profile.window.dockSiteCount, 3);
  TMainForm form(profile, &store);
  Show(form);
  form.RestorePaletteLayout();
  QApplication::processEvents();
  const QList<QDockWidget*> partners = form.tabifiedDockWidgets(form.PaletteDock("preview"));
  EXPECT_TRUE(partners.contains(form.PaletteDock("layer")));
  EXPECT_EQ(FrontTab(form, form.PaletteDock("layer")), form.PaletteDock("layer")->windowTitle());
  EXPECT_TRUE(form.PaletteDock("select")->isHidden());
  EXPECT_TRUE(form.PaletteDock("ctrl")->isFloating());
  EXPECT_EQ(profile.window.ctrlWinX, 150);
  // The colours of the last run.
  EXPECT_EQ(form.Colours().MainColor() & 0x00FFFFFF, 0x00123456u);
  EXPECT_EQ(form.Colours().SubColor() & 0x00FFFFFF, 0x00654321u);
}

// Settings of an older generation: the designed arrangement, whatever was stored.
TEST(DockingRecords, AnOlderGenerationStartsFromTheDesignedArrangement) {
  RecordingNotifySink notes;
  const std::string file = FreshFile("docking-old-generation.conf");
  {
    CQtSettingsStore store(file);
    CAppProfile profile;
    profile.LoadAll(store);
    TMainForm form(profile, &store);
    Show(form);
    form.tabifyDockWidget(form.PaletteDock("preview"), form.PaletteDock("layer"));
    form.PaletteDock("select")->hide();
    form.SaveAtExit();
    ASSERT_TRUE(profile.SaveAll(store));
    store.WriteInt(std::string(kAppSettingsKey) + "\\config", "appVerID", 5);
    ASSERT_TRUE(store.Sync());
  }
  CQtSettingsStore store(file);
  CAppProfile profile;
  profile.LoadAll(store);
  ASSERT_TRUE(profile.LayoutWasReset());
  TMainForm form(profile, &store);
  Show(form);
  form.RestorePaletteLayout();
  QApplication::processEvents();
  EXPECT_FALSE(form.PaletteDock("select")->isHidden());
  EXPECT_FALSE(form.tabifiedDockWidgets(form.PaletteDock("preview")).contains(form.PaletteDock("layer")));
}

// Qt's arrangement missing or unreadable: the records group the palettes on their own.
TEST(DockingRecords, AloneGroupThePalettesWhenQtsStateIsMissingOrDamaged) {
  RecordingNotifySink notes;
  for (const char* qtState : {"", "bm90IGEgc3RhdGU="}) {
    SCOPED_TRACE(qtState);
    const std::string file = FreshFile("docking-records-only.conf");
    {
      CQtSettingsStore store(file);
      DockSiteRecord site{10, 10, 200, 300, 2, true, {2, 3, 5}};  // layer, selection, navigator
      DockSiteRecord hidden{10, 400, 200, 100, 0, false, {9}};    // the palette, closed
      ASSERT_EQ(SaveDockingLayout(store, {site, hidden}), 2);
      if (*qtState) store.WriteString(std::string(kAppSettingsKey) + "\\docking", "qtState", qtState);
      ASSERT_TRUE(store.Sync());
    }
    CQtSettingsStore store(file);
    CAppProfile profile;
    TMainForm form(profile, &store);
    Show(form);
    form.RestorePaletteLayout();
    QApplication::processEvents();
    QDockWidget* layer = form.PaletteDock("layer");
    const QList<QDockWidget*> partners = form.tabifiedDockWidgets(layer);
    EXPECT_TRUE(partners.contains(form.PaletteDock("select")));
    EXPECT_TRUE(partners.contains(form.PaletteDock("preview")));
    EXPECT_EQ(FrontTab(form, layer), form.PaletteDock("preview")->windowTitle());
    EXPECT_TRUE(form.PaletteDock("pal")->isHidden());
    EXPECT_FALSE(form.PaletteDock("gcol")->isHidden());
    // Saved again, the grouping is written back as it was read.
    const std::vector<DockSiteRecord> sites = form.DockingSites();
    const DockSiteRecord* again = SiteWith(sites, 2);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->clients, (std::vector<int32_t>{2, 3, 5}));
    EXPECT_EQ(again->active, 2);
  }
}

}  // namespace
}  // namespace tintara
