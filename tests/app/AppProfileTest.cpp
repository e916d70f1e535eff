#include "app/AppProfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <stdexcept>
#include <tuple>

#include "ProfileKeys.h"

namespace tintara {
namespace {

using testing::AllKeys;
using testing::KeyCase;
using testing::SampleValue;
using testing::TestEnvironment;

const std::string kRoot = kAppSettingsKey;
std::string Sec(const std::string& section) { return kRoot + "\\" + section; }

void Put(ISettingsStore& store, const std::string& section, const std::string& name, const ProfileValue& v) {
  const std::string key = Sec(section);
  if (auto* i = std::get_if<int32_t>(&v)) store.WriteInt(key, name, *i);
  if (auto* b = std::get_if<bool>(&v)) store.WriteBool(key, name, *b);
  if (auto* f = std::get_if<float>(&v)) store.WriteFloat(key, name, *f);
  if (auto* s = std::get_if<std::string>(&v)) store.WriteString(key, name, *s);
}

std::string Show(const ProfileValue& v) {
  if (auto* i = std::get_if<int32_t>(&v)) return "int " + std::to_string(*i);
  if (auto* b = std::get_if<bool>(&v)) return *b ? "bool true" : "bool false";
  if (auto* f = std::get_if<float>(&v)) return "real " + std::to_string(*f);
  return "string \"" + std::get<std::string>(v) + "\"";
}

void ExpectValue(const CAppProfile& p, const std::string& section, const std::string& name,
                 const ProfileValue& expected) {
  const auto v = p.Value(section, name);
  ASSERT_TRUE(v.has_value()) << section << "/" << name;
  EXPECT_EQ(Show(*v), Show(expected)) << section << "/" << name;
}

// A store whose only value says the settings are of this generation: no layout reset.
CMemorySettingsStore CurrentStore() {
  CMemorySettingsStore s;
  s.WriteInt(Sec("config"), "appVerID", 20);
  return s;
}

TEST(AppProfile, KeepsExactlyTheDocumentedKeysWithTheirTypes) {
  std::vector<std::tuple<std::string, std::string, ProfileType>> expected, actual;
  for (const KeyCase& c : AllKeys()) expected.emplace_back(c.section, c.name, c.type);
  for (const ProfileKey& k : CAppProfile::Keys()) actual.emplace_back(k.section, k.name, k.type);
  // Sections in load order; within a section any order.
  auto sectionOrder = [](const auto& list) {
    std::vector<std::string> order;
    for (const auto& [sec, name, type] : list)
      if (order.empty() || order.back() != sec) order.push_back(sec);
    return order;
  };
  EXPECT_EQ(sectionOrder(actual),
            (std::vector<std::string>{"fileIO", "config", "color", "brush", "paper", "window", "font"}));
  std::sort(expected.begin(), expected.end());
  std::sort(actual.begin(), actual.end());
  EXPECT_EQ(actual, expected);
}

TEST(AppProfile, FirstStartGivesTheDefaultsAndResetsTheLayoutOnce) {
  CMemorySettingsStore empty;
  CAppProfile p(TestEnvironment());
  p.LoadAll(empty);
  EXPECT_TRUE(p.LayoutWasReset());
  for (const KeyCase& c : AllKeys()) {
    ProfileValue expected = c.def;
    if (c.name == "appVerID") expected = 20;     // what this generation writes back
    if (c.name == "penWinVis") expected = true;  // the reset shows every palette
    ExpectValue(p, c.section, c.name, expected);
  }
  // The named fields say the same.
  for (const PaperPreset& preset : p.paper) {
    EXPECT_EQ(preset.w, 640.0f);
    EXPECT_EQ(preset.h, 480.0f);
    EXPECT_EQ(preset.dpi, 72);
    EXPECT_EQ(preset.unit, 0);
  }
  EXPECT_EQ(p.config.gridW, 25);
  EXPECT_EQ(p.config.gridH, 25);
  EXPECT_EQ(p.config.undoMax, 8);
  EXPECT_TRUE(p.window.mainWinMax);
}

TEST(AppProfile, CurrentSettingsWithoutValuesTakeEveryDefault) {
  const CMemorySettingsStore store = CurrentStore();
  CAppProfile p(TestEnvironment());
  p.LoadAll(store);
  EXPECT_FALSE(p.LayoutWasReset());
  for (const KeyCase& c : AllKeys()) ExpectValue(p, c.section, c.name, c.name == "appVerID" ? 20 : c.def);
}

TEST(AppProfile, SmoothZoomDefaultFollowsTheMeasuredSpeed) {
  const struct {
    double speed;
    bool on;
  } cases[] = {{2e9, true}, {1.0000001e9, true}, {1e9, false}, {0, false}};
  for (const auto& c : cases) {
    AppEnvironment env = TestEnvironment();
    env.processorSpeed = c.speed;
    CAppProfile p(env);
    p.LoadAll(CurrentStore());
    EXPECT_EQ(p.config.useZoomAntialias, c.on) << c.speed;
  }
}

TEST(AppProfile, SaveWritesEveryKeyWithItsTypeAndNothingElse) {
  CAppProfile p(TestEnvironment());
  p.LoadAll(CMemorySettingsStore{});
  CMemorySettingsStore out;
  ASSERT_TRUE(p.SaveAll(out));
  std::map<std::string, std::set<std::string>> written;
  for (const KeyCase& c : AllKeys()) {
    const auto* values = out.Values(Sec(c.section));
    ASSERT_NE(values, nullptr) << c.section;
    const auto it = values->find(c.name);
    ASSERT_NE(it, values->end()) << c.section << "/" << c.name;
    const auto& v = it->second;
    switch (c.type) {
      case ProfileType::kInt:
        EXPECT_TRUE(std::holds_alternative<int32_t>(v)) << c.name;
        break;
      case ProfileType::kBool:
        EXPECT_TRUE(std::holds_alternative<bool>(v)) << c.name;
        break;
      case ProfileType::kReal:
        EXPECT_TRUE(std::holds_alternative<float>(v)) << c.name;
        break;
      case ProfileType::kString:
        EXPECT_TRUE(std::holds_alternative<std::string>(v)) << c.name;
        break;
    }
    written[c.section].insert(c.name);
  }
  for (const auto& [section, names] : written)
    EXPECT_EQ(out.Values(Sec(section))->size(), names.size()) << section;
}

TEST(AppProfile, ExitWritesThisGenerationTheCurrentCodePageAndTheProgramFolder) {
  CMemorySettingsStore in = CurrentStore();
  in.WriteInt(Sec("config"), "appVerID", 35);
  in.WriteInt(Sec("config"), "lastCP", 1252);
  in.WriteInt(Sec("config"), "lastLCID", 1033);
  in.WriteString(Sec("fileIO"), "appPath", "/somewhere/else/");
  CAppProfile p(TestEnvironment());
  p.LoadAll(in);
  // The previous run's values are what the object holds while running...
  EXPECT_EQ(p.config.lastCP, 1252);
  EXPECT_EQ(p.config.lastLCID, 1033);
  EXPECT_EQ(p.config.appVerID, 20);
  CMemorySettingsStore out;
  ASSERT_TRUE(p.SaveAll(out));
  // ...and this run's are written for the next.
  int32_t v = 0;
  ASSERT_TRUE(out.ReadInt(Sec("config"), "lastCP", v));
  EXPECT_EQ(v, 932);
  ASSERT_TRUE(out.ReadInt(Sec("config"), "lastLCID", v));
  EXPECT_EQ(v, 1041);
  ASSERT_TRUE(out.ReadInt(Sec("config"), "appVerID", v));
  EXPECT_EQ(v, 20);
  std::string path;
  ASSERT_TRUE(out.ReadString(Sec("fileIO"), "appPath", path));
  EXPECT_EQ(path, "/opt/tintara/bin/");
}

TEST(AppProfile, RoundTripKeepsEveryValue) {
  const auto keys = AllKeys();
  CMemorySettingsStore in = CurrentStore();
  for (size_t n = 0; n < keys.size(); ++n)
    if (keys[n].name != "appVerID") Put(in, keys[n].section, keys[n].name, SampleValue(keys[n], n));
  CAppProfile first(TestEnvironment());
  first.LoadAll(in);
  CMemorySettingsStore middle;
  ASSERT_TRUE(first.SaveAll(middle));
  CAppProfile second(TestEnvironment());
  second.LoadAll(middle);
  for (size_t n = 0; n < keys.size(); ++n) {
    const KeyCase& c = keys[n];
    ProfileValue expected = SampleValue(c, n);
    if (c.name == "appVerID") expected = 20;
    if (c.name == "lastCP") expected = 932;  // written from this run's environment
    if (c.name == "lastLCID") expected = 1041;
    if (c.name == "appPath") expected = std::string("/opt/tintara/bin/");
    ExpectValue(second, c.section, c.name, expected);
  }
}

struct LoadCase {
  std::string section, name;
  ProfileValue stored, loaded;
};

TEST(AppProfile, LoadedValuesAreHeldToTheirRanges) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const LoadCase cases[] = {
      {"fileIO", "psdSaveVer", 9, 7},
      {"fileIO", "psdSaveVer", 2, 3},
      {"fileIO", "jpegQType", -1, 0},
      {"fileIO", "jpegQType", 5, 4},
      {"fileIO", "jpegQuality", 101, 100},
      {"fileIO", "jpegValSmooth", -1, 0},
      {"fileIO", "jpegQLow", 200, 100},
      // A filter index past its list is no filter at all: the first one is chosen.
      {"fileIO", "pictLoadExtIdx", 9, 1},
      {"fileIO", "pictLoadExtIdx", 0, 1},
      {"fileIO", "pictLoadExtIdx", 8, 8},
      {"fileIO", "eventLoadExtIdx", 6, 1},
      {"fileIO", "eventLoadExtIdx", 5, 5},
      {"window", "mainWinW", 50, 200},
      {"window", "mainWinW", -1, -1},
      {"window", "mainWinH", -30, -1},
      {"window", "mainWinW", 5000, 1920},
      {"window", "mainWinH", 5000, 1080},
      {"window", "layerWinX", -7, -1},
      {"window", "dockSiteCount", 17, 16},
      {"window", "dockSiteCount", -2, 0},
      {"config", "mouseMBtnFunc", 12, 10},
      {"config", "mouseMBtnFunc", -1, 0},
      {"config", "undoMax", 0, 1},
      {"config", "undoMax", 101, 100},
      {"config", "undoMax", 100, 100},
      {"config", "gridW", 1, 2},
      {"config", "gridH", -3, 2},
      {"config", "fillLimit", 0, 1},
      {"config", "wandLimit", 600, 500},
      {"config", "fillTarget", 2, 1},
      // Three gradation shapes, two mappings, two repeat modes, a count of 1..500.
      {"config", "gradType", 7, 2},
      {"config", "gradType", 2, 2},
      {"config", "gradMap", 2, 1},
      {"config", "gradMap", -1, 0},
      {"config", "gradRep", 2, 1},
      {"config", "gradRepCnt", 0, 1},
      {"config", "gradRepCnt", -5, 1},
      {"config", "gradRepCnt", 501, 500},
      {"config", "gradRepCnt", 500, 500},
      {"config", "opaquePaint", 1.5f, 1.0f},
      {"config", "opaqueLine", -0.5f, 0.01f},
      {"config", "opaqueFont", nan, 1.0f},
      {"config", "opaqueDraw", 0.25f, 0.25f},
      {"color", "fgCol", int32_t(0xFF123456), 0x123456},
      {"color", "bgCol", -1, 0xFFFFFF},
      {"paper", "unit3", 3, 0},
      {"paper", "unit3", -1, 0},
      {"paper", "unit1", 2, 2},
      {"paper", "dpi0", 10, 72},
      {"paper", "dpi5", 1000, 600},
      {"paper", "w2", nan, 640.0f},
      {"paper", "h2", -5.0f, 480.0f},
      {"paper", "h4", 0.0f, 480.0f},
      {"paper", "w4", inf, 640.0f},
      {"paper", "w0", 20000.0f, 10000.0f},
      {"paper", "w1", 8.5f, 8.5f},
      // A brush shortcut slot is "name,number" or the number alone; anything else is empty.
      {"brush", "shortCut0", std::string(""), std::string("0")},
      {"brush", "shortCut1", std::string("pen"), std::string("1")},
      {"brush", "shortCut2", std::string("my pen,"), std::string("2")},
      {"brush", "shortCut3", std::string("ペン,x1"), std::string("3")},
      {"brush", "shortCut3", std::string("a,b,7"), std::string("a,b,7")},
      {"brush", "shortCut4", std::string("3"), std::string("3")},
      {"font", "point", -4, 0},
      {"font", "charset", 300, 255},
      {"font", "charset", -9, -1},
  };
  for (const LoadCase& c : cases) {
    CMemorySettingsStore store = CurrentStore();
    Put(store, c.section, c.name, c.stored);
    CAppProfile p(TestEnvironment());
    p.LoadAll(store);
    ExpectValue(p, c.section, c.name, c.loaded);
  }
}

TEST(AppProfile, ValueOfAnotherTypeIsTakenAsMissing) {
  CMemorySettingsStore store = CurrentStore();
  store.WriteString(Sec("config"), "gridW", "30");
  store.WriteFloat(Sec("config"), "undoMax", 12.0f);
  store.WriteInt(Sec("paper"), "w0", 800);
  CAppProfile p(TestEnvironment());
  p.LoadAll(store);
  EXPECT_EQ(p.config.gridW, 25);
  EXPECT_EQ(p.config.undoMax, 8);
  EXPECT_EQ(p.paper[0].w, 640.0f);
}

TEST(AppProfile, ScreenSizeFilledInBeforeLoadingBoundsTheMainWindow) {
  AppEnvironment env = TestEnvironment();
  env.screenWidth = env.screenHeight = 0;
  CAppProfile p(env);
  p.Env().screenWidth = 1024;
  p.Env().screenHeight = 768;
  CMemorySettingsStore store = CurrentStore();
  store.WriteInt(Sec("window"), "mainWinW", 5000);
  store.WriteInt(Sec("window"), "mainWinH", 5000);
  p.LoadAll(store);
  EXPECT_EQ(p.window.mainWinW, 1024);
  EXPECT_EQ(p.window.mainWinH, 768);
}

TEST(AppProfile, WindowSizeHasOnlyTheLowerBoundWhenTheScreenIsUnknown) {
  AppEnvironment env = TestEnvironment();
  env.screenWidth = env.screenHeight = 0;
  CMemorySettingsStore store = CurrentStore();
  store.WriteInt(Sec("window"), "mainWinW", 5000);
  store.WriteInt(Sec("window"), "mainWinH", 10);
  CAppProfile p(env);
  p.LoadAll(store);
  EXPECT_EQ(p.window.mainWinW, 5000);
  EXPECT_EQ(p.window.mainWinH, 200);
}

TEST(AppProfile, GenerationRules) {
  const struct {
    std::optional<int32_t> appVerID;
    bool layoutReset;
    bool keepsGradFile;
  } cases[] = {
      {std::nullopt, true, false}, {0, true, false},  {10, true, false}, {11, true, true}, {19, true, true},
      {20, false, true},           {25, false, true},
  };
  for (const auto& c : cases) {
    CMemorySettingsStore store;
    if (c.appVerID) store.WriteInt(Sec("config"), "appVerID", *c.appVerID);
    store.WriteString(Sec("fileIO"), "gradFile", "/sets/mine.tgs");
    store.WriteInt(Sec("window"), "layerWinX", 300);
    store.WriteInt(Sec("window"), "mainWinW", 900);
    store.WriteInt(Sec("window"), "dockSiteCount", 3);
    store.WriteBool(Sec("window"), "mainWinMax", false);
    store.WriteBool(Sec("window"), "layerWinVis", false);
    store.WriteBool(Sec("window"), "penWinVis", false);
    CAppProfile p(TestEnvironment());
    p.LoadAll(store);
    const std::string what = c.appVerID ? std::to_string(*c.appVerID) : "missing";
    EXPECT_EQ(p.LayoutWasReset(), c.layoutReset) << what;
    EXPECT_EQ(p.fileIO.gradFile, c.keepsGradFile ? "/sets/mine.tgs" : "") << what;
    if (c.layoutReset) {
      // Every palette at its designed place and visible, the main window maximised.
      EXPECT_EQ(p.window.layerWinX, -1) << what;
      EXPECT_EQ(p.window.mainWinW, -1) << what;
      EXPECT_EQ(p.window.dockSiteCount, 0) << what;
      EXPECT_TRUE(p.window.mainWinMax) << what;
      EXPECT_TRUE(p.window.layerWinVis) << what;
      EXPECT_TRUE(p.window.penWinVis) << what;
    } else {
      EXPECT_EQ(p.window.layerWinX, 300) << what;
      EXPECT_EQ(p.window.mainWinW, 900) << what;
      EXPECT_EQ(p.window.dockSiteCount, 3) << what;
      EXPECT_FALSE(p.window.mainWinMax) << what;
      EXPECT_FALSE(p.window.layerWinVis) << what;
      EXPECT_FALSE(p.window.penWinVis) << what;
    }
    CMemorySettingsStore out;
    ASSERT_TRUE(p.SaveAll(out));
    int32_t written = 0;
    ASSERT_TRUE(out.ReadInt(Sec("config"), "appVerID", written));
    EXPECT_EQ(written, 20) << what;
  }
}

TEST(AppProfile, ToolOpacitiesByToolNumber) {
  const struct {
    int32_t tool;
    const char* key;  // nullptr: the tool keeps no opacity
  } cases[] = {
      {0, "opaquePaint"},     {4, "opaqueSeedFill"}, {10, "opaqueDraw"}, {11, "opaqueAreaFill"},
      {13, "opaqueAreaFill"}, {12, "opaqueLine"},    {14, "opaqueFont"}, {19, "opaqueGradate"},
      {1, nullptr},           {2, nullptr},          {3, nullptr},       {5, nullptr},
      {15, nullptr},          {18, nullptr},         {20, nullptr},      {-1, nullptr},
  };
  for (const auto& c : cases) {
    CAppProfile p(TestEnvironment());
    p.LoadAll(CurrentStore());
    const CAppProfile before = p;
    p.SetToolOpacity(c.tool, 0.4f);
    if (c.key) {
      EXPECT_EQ(p.ToolOpacity(c.tool), 0.4f) << c.tool;
      ExpectValue(p, "config", c.key, 0.4f);
    } else {
      EXPECT_EQ(p.ToolOpacity(c.tool), 1.0f) << c.tool;
    }
    // Nothing but the tool's own key moved.
    for (const ProfileKey& k : CAppProfile::Keys()) {
      if (c.key && k.name == c.key) continue;
      EXPECT_EQ(Show(*p.Value(k.section, k.name)), Show(*before.Value(k.section, k.name)))
          << c.tool << " " << k.name;
    }
  }
  CAppProfile p(TestEnvironment());
  p.SetToolOpacity(0, 7.0f);
  EXPECT_EQ(p.ToolOpacity(0), 1.0f);
  p.SetToolOpacity(0, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(p.ToolOpacity(0), 1.0f);
}

// Records the sections in the order they were first written, and refuses one value by throwing.
class RecordingStore : public CMemorySettingsStore {
 public:
  std::vector<std::string> order;
  std::string throwOn;

  bool WriteInt(const std::string& key, const std::string& name, int32_t v) override {
    Note(key, name);
    return CMemorySettingsStore::WriteInt(key, name, v);
  }
  bool WriteFloat(const std::string& key, const std::string& name, float v) override {
    Note(key, name);
    return CMemorySettingsStore::WriteFloat(key, name, v);
  }
  bool WriteBool(const std::string& key, const std::string& name, bool v) override {
    Note(key, name);
    return CMemorySettingsStore::WriteBool(key, name, v);
  }
  bool WriteString(const std::string& key, const std::string& name, const std::string& v) override {
    Note(key, name);
    return CMemorySettingsStore::WriteString(key, name, v);
  }

 private:
  void Note(const std::string& key, const std::string& name) {
    const std::string section = key.substr(key.rfind('\\') + 1);
    if (order.empty() || order.back() != section) order.push_back(section);
    if (section + "/" + name == throwOn) throw std::runtime_error("write refused");
  }
};

TEST(AppProfile, SavesWindowSectionFirstAndSurvivesAFailingValue) {
  CAppProfile p(TestEnvironment());
  p.LoadAll(CMemorySettingsStore{});
  RecordingStore store;
  store.throwOn = "config/gridW";
  EXPECT_FALSE(p.SaveAll(store));
  EXPECT_EQ(store.order,
            (std::vector<std::string>{"window", "fileIO", "config", "color", "brush", "paper", "font"}));
  int32_t v = 0;
  EXPECT_FALSE(store.ReadInt(Sec("config"), "gridW", v));
  // The values after the refused one are still written.
  EXPECT_TRUE(store.ReadInt(Sec("config"), "gridH", v));
  EXPECT_TRUE(store.ReadInt(Sec("config"), "undoMax", v));
  bool on = false;
  EXPECT_TRUE(store.ReadBool(Sec("font"), "usePreview", on));
}

// --- the environment --------------------------------------------------------------------------

TEST(AppEnvironment, LanguageGroup) {
  const struct {
    int32_t codePage, locale, group;
  } cases[] = {{932, 1033, 0}, {1252, 1041, 0}, {949, 1033, 1}, {1252, 1042, 1},
               {932, 1042, 0}, {1252, 1033, 2}, {936, 2052, 2}};
  for (const auto& c : cases)
    EXPECT_EQ(LanguageGroupOf(c.codePage, c.locale), c.group) << c.codePage << "," << c.locale;
}

TEST(AppEnvironment, LocaleIdFromPosixName) {
  const struct {
    const char* name;
    int32_t id;
  } cases[] = {
      {"ja_JP.UTF-8", 1041},
      {"ja_JP", 1041},
      {"ja", 1041},
      {"ko_KR.UTF-8", 1042},
      {"en_US.UTF-8", 1033},
      {"en_GB", 2057},
      {"en_NZ.UTF-8", 1033},
      {"zh_TW.UTF-8", 1028},
      {"zh_CN.GB18030", 2052},
      {"de_AT.UTF-8@euro", 1031},
      {"C", 1033},
      {"C.UTF-8", 1033},
      {"POSIX", 1033},
      {"", 1033},
      {"xx_YY", 1024},
  };
  for (const auto& c : cases) EXPECT_EQ(LocaleIdFromName(c.name), c.id) << c.name;
}

class PicturesFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::filesystem::temp_directory_path() /
            ("tintara-home-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(home_);
    std::filesystem::create_directories(home_ / ".config");
  }
  void TearDown() override { std::filesystem::remove_all(home_); }
  void WriteDirs(const std::string& text) { std::ofstream(home_ / ".config/user-dirs.dirs") << text; }
  std::string Home() const { return home_.string(); }
  std::string Config() const { return (home_ / ".config").string(); }

  std::filesystem::path home_;
};

TEST_F(PicturesFolderTest, NamedInUserDirs) {
  WriteDirs("# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  EXPECT_EQ(PicturesFolder(Home(), Config()), Home() + "/Bilder/");
  WriteDirs("XDG_PICTURES_DIR=\"/data/pics\"\n");
  EXPECT_EQ(PicturesFolder(Home(), Config()), "/data/pics/");
}

TEST_F(PicturesFolderTest, FallsBackToPicturesThenHome) {
  WriteDirs("XDG_PICTURES_DIR=\"relative/pics\"\n");  // not a folder name the file may hold
  EXPECT_EQ(PicturesFolder(Home(), Config()), Home() + "/");
  std::filesystem::create_directory(home_ / "Pictures");
  EXPECT_EQ(PicturesFolder(Home(), Config()), Home() + "/Pictures/");
  std::filesystem::remove(home_ / ".config/user-dirs.dirs");
  EXPECT_EQ(PicturesFolder(Home(), Config()), Home() + "/Pictures/");
}

TEST(AppEnvironment, GatheredFromTheRunningSystem) {
  const AppEnvironment e = GatherEnvironment([] { return 1.75e9; });
  EXPECT_EQ(e.processorSpeed, 1.75e9);
  EXPECT_EQ(e.codePage, 932);
  EXPECT_EQ(e.languageGroup, 0);
  EXPECT_GE(e.monitorCount, 1);
  ASSERT_FALSE(e.programDir.empty());
  EXPECT_EQ(e.programDir.back(), '/');
  EXPECT_EQ(std::filesystem::path(e.programFile).parent_path().string() + "/", e.programDir);
  EXPECT_TRUE(std::filesystem::exists(e.programFile));
  EXPECT_EQ(e.tempDir.back(), '/');
  EXPECT_EQ(e.picturesDir.back(), '/');
  EXPECT_EQ(e.dataDir.back(), '/');
  EXPECT_GT(e.osVersion, 0);
}

}  // namespace
}  // namespace tintara
