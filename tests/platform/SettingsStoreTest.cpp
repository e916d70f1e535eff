#include "platform/SettingsStore.h"

#include <gtest/gtest.h>

namespace tintara {
namespace {

TEST(MemorySettingsStore, DeleteKeyTakesItsSubkeysButNotItsNeighbours) {
  CMemorySettingsStore s;
  s.WriteInt("root\\docking", "siteCount", 2);
  s.WriteInt("root\\docking\\dockSite0", "siteX", 1);
  s.WriteInt("root\\docking\\dockSite1", "siteX", 2);
  s.WriteInt("root\\dockingOld", "siteCount", 3);  // shares the name's beginning only
  s.WriteInt("root", "top", 4);
  EXPECT_TRUE(s.DeleteKey("root\\docking"));
  int32_t v = 0;
  EXPECT_FALSE(s.HasKey("root\\docking"));
  EXPECT_FALSE(s.ReadInt("root\\docking\\dockSite0", "siteX", v));
  EXPECT_FALSE(s.ReadInt("root\\docking\\dockSite1", "siteX", v));
  EXPECT_TRUE(s.ReadInt("root\\dockingOld", "siteCount", v));
  EXPECT_TRUE(s.ReadInt("root", "top", v));
  EXPECT_TRUE(s.DeleteKey("root\\missing"));
}

TEST(MemorySettingsStore, ValuesKeepTheirTypes) {
  CMemorySettingsStore s;
  s.WriteString("k", "path0", "/home/ユーザー/a.tci");
  s.WriteInt("k", "n", 7);
  std::string text;
  int32_t n = 0;
  bool b = false;
  EXPECT_TRUE(s.ReadString("k", "path0", text));
  EXPECT_EQ(text, "/home/ユーザー/a.tci");
  EXPECT_FALSE(s.ReadString("k", "n", text));
  EXPECT_FALSE(s.ReadBool("k", "n", b));
  EXPECT_FALSE(s.ReadInt("k", "path0", n));
  EXPECT_TRUE(s.DeleteValue("k", "path0"));
  EXPECT_FALSE(s.ReadString("k", "path0", text));
  EXPECT_TRUE(s.DeleteValue("k", "path0"));
}

}  // namespace
}  // namespace tintara
