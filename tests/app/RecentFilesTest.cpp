#include "app/RecentFiles.h"

#include <gtest/gtest.h>

namespace tintara {
namespace {

using Paths = std::vector<std::string>;
const std::string kKey = std::string(kAppSettingsKey) + "\\fileMRU";

TEST(RecentFiles, NewestFirstWithoutRepeatsAndAtMostNine) {
  CRecentFiles list;
  for (const char* p : {"/a.tci", "/b.tci", "/c.tci"}) list.Add(p);
  EXPECT_EQ(list.Paths(), (Paths{"/c.tci", "/b.tci", "/a.tci"}));
  list.Add("/a.tci");  // opened again: moves up
  EXPECT_EQ(list.Paths(), (Paths{"/a.tci", "/c.tci", "/b.tci"}));
  list.Add("");
  EXPECT_EQ(list.Paths().size(), 3u);
  for (int i = 0; i < 10; ++i) list.Add("/n" + std::to_string(i));
  ASSERT_EQ(list.Paths().size(), 9u);
  EXPECT_EQ(list.Paths().front(), "/n9");
  EXPECT_EQ(list.Paths().back(), "/n1");
  EXPECT_TRUE(list.Remove("/n5"));
  EXPECT_FALSE(list.Remove("/n5"));
  EXPECT_EQ(list.Paths().size(), 8u);
  // Paths differing only in case are different files here.
  list.Add("/N9");
  EXPECT_EQ(list.Paths()[0], "/N9");
  EXPECT_EQ(list.Paths()[1], "/n9");
}

TEST(RecentFiles, StoredAsNumberedPathsAndShrinksCleanly) {
  CMemorySettingsStore store;
  CRecentFiles list;
  for (const char* p : {"/1", "/2", "/3", "/4"}) list.Add(p);
  ASSERT_TRUE(list.Save(store));
  std::string v;
  ASSERT_TRUE(store.ReadString(kKey, "path0", v));
  EXPECT_EQ(v, "/4");
  ASSERT_TRUE(store.ReadString(kKey, "path3", v));
  EXPECT_EQ(v, "/1");
  EXPECT_EQ(store.Values(kKey)->size(), 4u);

  list.Remove("/4");  // its file is gone
  list.Remove("/2");
  ASSERT_TRUE(list.Save(store));
  EXPECT_EQ(store.Values(kKey)->size(), 2u);
  CRecentFiles again;
  again.Load(store);
  EXPECT_EQ(again.Paths(), (Paths{"/3", "/1"}));
}

TEST(RecentFiles, LoadSkipsGapsEmptiesRepeatsAndEntriesPastNine) {
  CMemorySettingsStore store;
  store.WriteString(kKey, "path0", "/x");
  store.WriteString(kKey, "path2", "/y");
  store.WriteString(kKey, "path3", "");
  store.WriteString(kKey, "path4", "/x");
  store.WriteInt(kKey, "path5", 7);
  store.WriteString(kKey, "path8", "/z");
  store.WriteString(kKey, "path9", "/beyond");
  CRecentFiles list;
  list.Add("/old");
  list.Load(store);
  EXPECT_EQ(list.Paths(), (Paths{"/x", "/y", "/z"}));
}

}  // namespace
}  // namespace tintara
