#include "app/DockingRecord.h"

#include <gtest/gtest.h>

namespace tintara {
namespace {

const std::string kDocking = std::string(kAppSettingsKey) + "\\docking";
std::string Site(int i) { return kDocking + "\\dockSite" + std::to_string(i); }

void PutSite(CMemorySettingsStore& s, int i, std::vector<int32_t> clients, int32_t active = 0,
             int32_t w = 200) {
  const std::string k = Site(i);
  s.WriteInt(k, "siteX", 10 * i);
  s.WriteInt(k, "siteY", 20);
  s.WriteInt(k, "siteW", w);
  s.WriteInt(k, "siteH", 300);
  s.WriteInt(k, "siteActive", active);
  s.WriteBool(k, "siteVis", true);
  s.WriteInt(k, "clientCount", int32_t(clients.size()));
  for (size_t c = 0; c < clients.size(); ++c) s.WriteInt(k, "clientID" + std::to_string(c), clients[c]);
}

TEST(DockingRecord, RoundTripWithTheStoredNamesAndTypes) {
  const std::vector<DockSiteRecord> layout = {
      {100, 50, 240, 600, 1, true, {2, 3, 5}},
      {-30, 700, 300, 200, 0, false, {13}},
  };
  CMemorySettingsStore store;
  EXPECT_EQ(SaveDockingLayout(store, layout), 2);
  int32_t count = 0;
  ASSERT_TRUE(store.ReadInt(kDocking, "siteCount", count));
  EXPECT_EQ(count, 2);
  const auto* site0 = store.Values(Site(0));
  ASSERT_NE(site0, nullptr);
  const std::vector<std::pair<std::string, bool>> names = {
      {"siteX", false},      {"siteY", false},    {"siteW", false},       {"siteH", false},
      {"siteActive", false}, {"siteVis", true},   {"clientCount", false}, {"clientID0", false},
      {"clientID1", false},  {"clientID2", false}};
  EXPECT_EQ(site0->size(), names.size());
  for (const auto& [name, isBool] : names) {
    const auto it = site0->find(name);
    ASSERT_NE(it, site0->end()) << name;
    if (isBool)
      EXPECT_TRUE(std::holds_alternative<bool>(it->second)) << name;
    else
      EXPECT_TRUE(std::holds_alternative<int32_t>(it->second)) << name;
  }
  EXPECT_EQ(LoadDockingLayout(store), layout);
}

TEST(DockingRecord, SavingAShorterLayoutDropsTheOldSites) {
  CMemorySettingsStore store;
  SaveDockingLayout(
      store,
      {{0, 0, 100, 100, 0, true, {1}}, {0, 0, 100, 100, 0, true, {2}}, {0, 0, 100, 100, 0, true, {3}}});
  EXPECT_EQ(SaveDockingLayout(store, {{0, 0, 100, 100, 0, true, {4}}}), 1);
  EXPECT_FALSE(store.HasKey(Site(1)));
  EXPECT_FALSE(store.HasKey(Site(2)));
  EXPECT_EQ(SaveDockingLayout(store, {}), 0);
  EXPECT_TRUE(LoadDockingLayout(store).empty());
}

TEST(DockingRecord, LoadKeepsOnlyWhatCanBeShown) {
  CMemorySettingsStore store;
  store.WriteInt(kDocking, "siteCount", 6);
  PutSite(store, 0, {2, 3, 2, -1, 16, 4}, 9);  // repeats and unknown windows dropped
  PutSite(store, 1, {3, 6}, -2);               // 3 is already docked in site 0
  PutSite(store, 2, {7}, 0, -5);               // no size: its window floats
  // Site 3 is missing.
  PutSite(store, 4, {7, 8});
  store.Remove(Site(4), "clientID0");  // a missing entry is skipped
  PutSite(store, 5, {9});
  store.Remove(Site(5), "siteH");  // bounds incomplete
  const auto sites = LoadDockingLayout(store);
  ASSERT_EQ(sites.size(), 3u);
  EXPECT_EQ(sites[0].clients, (std::vector<int32_t>{2, 3, 4}));
  EXPECT_EQ(sites[0].active, 2);
  EXPECT_EQ(sites[1].clients, (std::vector<int32_t>{6}));
  EXPECT_EQ(sites[1].active, 0);
  EXPECT_EQ(sites[2].clients, (std::vector<int32_t>{8}));
  EXPECT_EQ(sites[2].x, 40);
}

TEST(DockingRecord, AtMostSixteenSitesAreRead) {
  CMemorySettingsStore store;
  store.WriteInt(kDocking, "siteCount", 1000);
  for (int i = 0; i < 15; ++i) PutSite(store, i, {i});
  PutSite(store, 15, {});  // an empty site
  PutSite(store, 16, {15});
  const auto sites = LoadDockingLayout(store);
  EXPECT_EQ(sites.size(), 15u);
  for (const auto& s : sites) EXPECT_NE(s.clients.front(), 15);
  store.WriteInt(kDocking, "siteCount", -3);
  EXPECT_TRUE(LoadDockingLayout(store).empty());
}

TEST(DockingRecord, NothingStoredIsNoLayout) {
  CMemorySettingsStore store;
  EXPECT_TRUE(LoadDockingLayout(store).empty());
}

}  // namespace
}  // namespace tintara
