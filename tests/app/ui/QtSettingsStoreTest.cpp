#include "app/ui/QtSettingsStore.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QByteArray>
#include <QSettings>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "app/AppProfile.h"
#include "app/DockingRecord.h"
#include "app/ProfileKeys.h"
#include "app/RecentFiles.h"

namespace tintara {
namespace {

using testing::AllKeys;
using testing::SampleValue;
using testing::TestEnvironment;

const std::string kRoot = kAppSettingsKey;
std::string Sec(const std::string& section) { return kRoot + "\\" + section; }

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Each test gets a configuration folder of its own, as XDG_CONFIG_HOME.
class QtSettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tintara-config-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "Norvane");
    const char* old = getenv("XDG_CONFIG_HOME");
    oldConfig_ = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (oldConfig_)
      setenv("XDG_CONFIG_HOME", oldConfig_->c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    std::filesystem::remove_all(dir_);
  }
  std::string File() const { return (dir_ / "Norvane" / "Tintara4 Deva.conf").string(); }
  void WriteFile(const std::string& text) {
    std::filesystem::create_directories(dir_ / "Norvane");
    std::ofstream(File(), std::ios::binary) << text;
  }

  std::filesystem::path dir_;
  std::optional<std::string> oldConfig_;
};

TEST_F(QtSettingsStoreTest, DefaultPathIsUnderTheConfigFolder) {
  EXPECT_EQ(CQtSettingsStore::DefaultPath(), File());
}

TEST_F(QtSettingsStoreTest, ProfileRoundTripThroughTheFile) {
  const auto keys = AllKeys();
  CMemorySettingsStore in;
  in.WriteInt(Sec("config"), "appVerID", 20);
  for (size_t n = 0; n < keys.size(); ++n) {
    const auto& c = keys[n];
    if (c.name == "appVerID") continue;
    const ProfileValue v = SampleValue(c, n);
    const std::string key = Sec(c.section);
    if (auto* i = std::get_if<int32_t>(&v)) in.WriteInt(key, c.name, *i);
    if (auto* b = std::get_if<bool>(&v)) in.WriteBool(key, c.name, *b);
    if (auto* f = std::get_if<float>(&v)) in.WriteFloat(key, c.name, *f);
    if (auto* s = std::get_if<std::string>(&v)) in.WriteString(key, c.name, *s);
  }
  CAppProfile first(TestEnvironment());
  first.LoadAll(in);
  {
    CQtSettingsStore file(CQtSettingsStore::DefaultPath());
    ASSERT_TRUE(first.SaveAll(file));
    ASSERT_TRUE(file.Sync());
  }
  ASSERT_TRUE(std::filesystem::exists(File()));
  CQtSettingsStore file(CQtSettingsStore::DefaultPath());
  EXPECT_FALSE(file.WasDamaged());
  CAppProfile second(TestEnvironment());
  second.LoadAll(file);
  for (size_t n = 0; n < keys.size(); ++n) {
    const auto& c = keys[n];
    ProfileValue expected = SampleValue(c, n);
    if (c.name == "appVerID") expected = 20;
    if (c.name == "lastCP") expected = 932;
    if (c.name == "lastLCID") expected = 1041;
    if (c.name == "appPath") expected = std::string("/opt/tintara/bin/");
    const auto got = second.Value(c.section, c.name);
    ASSERT_TRUE(got.has_value()) << c.name;
    EXPECT_TRUE(*got == expected) << c.section << "/" << c.name;
  }
}

TEST_F(QtSettingsStoreTest, WrittenFileUsesTheKeyNamesAndTextForms) {
  CAppProfile p(TestEnvironment());
  p.LoadAll(CMemorySettingsStore{});
  p.config.opaquePaint = 0.3f;
  p.paper[2].w = 123.5f;
  p.fileIO.palFile = "/home/ユーザー/色.tpl";
  p.color.fgCol = 0x123456;
  {
    CQtSettingsStore file(File());
    ASSERT_TRUE(p.SaveAll(file));
  }
  const std::string text = ReadText(File());
  for (const char* line : {"[config]",
                           "gridW=25",
                           "undoMax=8",
                           "appVerID=20",
                           "eventWait=0",
                           "useFilePreview=1",
                           "opaquePaint=0.30000001192092896",  // the float's exact value, read back unchanged
                           "opaqueLine=1",
                           "[paper]",
                           "w2=123.5",
                           "h0=480",
                           "dpi5=72",
                           "transparent3=0",
                           "[color]",
                           "fgCol=1193046",
                           "bgCol=16777215",
                           "[fileIO]",
                           "palFile=/home/ユーザー/色.tpl",
                           "[window]",
                           "mainWinX=-1",
                           "mainWinMax=1",
                           "[brush]",
                           "shortCut4=4",
                           "[font]",
                           "charset=-1"})
    EXPECT_NE(text.find(std::string(line) + "\n"), std::string::npos) << line;
}

// Every key of the profile is in the file under its section, in the text form of its type,
// and nothing else is.
TEST_F(QtSettingsStoreTest, WrittenFileHoldsEveryKeyInTheFormOfItsType) {
  CAppProfile p(TestEnvironment());
  p.LoadAll(CMemorySettingsStore{});
  {
    CQtSettingsStore file(File());
    ASSERT_TRUE(p.SaveAll(file));
  }
  std::map<std::string, std::map<std::string, std::string>> ini;
  {
    std::istringstream in(ReadText(File()));
    std::string line, section;
    while (std::getline(in, line)) {
      if (line.empty()) continue;
      if (line.front() == '[') {
        section = line.substr(1, line.size() - 2);
        continue;
      }
      const size_t eq = line.find('=');
      ASSERT_NE(eq, std::string::npos) << line;
      ini[section][line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  size_t expectedCount = 0;
  for (const auto& c : AllKeys()) {
    ++expectedCount;
    const auto sec = ini.find(c.section);
    ASSERT_NE(sec, ini.end()) << c.section;
    const auto it = sec->second.find(c.name);
    ASSERT_NE(it, sec->second.end()) << c.section << "/" << c.name;
    const std::string& text = it->second;
    char* end = nullptr;
    switch (c.type) {
      case ProfileType::kInt:
        std::strtol(text.c_str(), &end, 10);
        EXPECT_TRUE(!text.empty() && *end == 0 && text.find('.') == std::string::npos)
            << c.name << "=" << text;
        break;
      case ProfileType::kBool:
        EXPECT_TRUE(text == "0" || text == "1") << c.name << "=" << text;
        break;
      case ProfileType::kReal:
        std::strtod(text.c_str(), &end);
        EXPECT_TRUE(!text.empty() && *end == 0) << c.name << "=" << text;
        break;
      case ProfileType::kString:
        EXPECT_EQ(text.rfind("@", 0), std::string::npos) << c.name << "=" << text;  // text, not a blob
        break;
    }
  }
  size_t written = 0;
  for (const auto& [section, values] : ini) written += values.size();
  EXPECT_EQ(written, expectedCount);
}

TEST_F(QtSettingsStoreTest, ReadsTheTextFormsAndTheOldRealBlob) {
  {
    QSettings raw(QString::fromStdString(File()), QSettings::IniFormat);
    double d = 0.625;
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    QByteArray le(8, 0);
    for (int i = 0; i < 8; ++i) le[i] = char(bits >> (8 * i));
    raw.setValue("paper/w0", le);
    raw.setValue("paper/w1", QByteArray(4, 0));  // not a double
  }
  WriteFile(ReadText(File()) +
            "[config]\n"
            "gridW=abc\n"
            "gridH= 40 \n"
            "undoMax=500\n"
            "fillLimit=1.5\n"
            "eventWait=true\n"
            "useAutoScroll=7\n"
            "showScrollBar=maybe\n"
            "opaquePaint=nan\n"
            "opaqueLine=0.5\n"
            "tabletType=99999999999\n"
            "[color]\n"
            "fgCol=4294967295\n"
            "bgCol=-16777216\n"
            "[brush]\n"
            "shortCut0=my brush,3\n");
  CQtSettingsStore file(File());
  EXPECT_FALSE(file.WasDamaged());
  float f = 0;
  EXPECT_TRUE(file.ReadFloat(Sec("paper"), "w0", f));
  EXPECT_EQ(f, 0.625f);
  EXPECT_FALSE(file.ReadFloat(Sec("paper"), "w1", f));
  int32_t i = 0;
  EXPECT_FALSE(file.ReadInt(Sec("config"), "gridW", i));
  EXPECT_FALSE(file.ReadInt(Sec("config"), "fillLimit", i));
  EXPECT_FALSE(file.ReadInt(Sec("config"), "tabletType", i));
  EXPECT_TRUE(file.ReadInt(Sec("color"), "fgCol", i));
  EXPECT_EQ(i, -1);

  CAppProfile p(TestEnvironment());
  p.LoadAll(file);
  EXPECT_EQ(p.paper[0].w, 0.625f);
  EXPECT_EQ(p.paper[1].w, 640.0f);
  EXPECT_EQ(p.config.gridW, 25);
  EXPECT_EQ(p.config.gridH, 40);
  EXPECT_EQ(p.config.undoMax, 100);
  EXPECT_EQ(p.config.fillLimit, 20);
  EXPECT_TRUE(p.config.eventWait);
  EXPECT_TRUE(p.config.useAutoScroll);
  EXPECT_TRUE(p.config.showScrollBar);  // unreadable: the default
  EXPECT_EQ(p.config.opaquePaint, 1.0f);
  EXPECT_EQ(p.config.opaqueLine, 0.5f);
  EXPECT_EQ(p.config.tabletType, 0);
  EXPECT_EQ(p.color.fgCol, 0xFFFFFFu);
  EXPECT_EQ(p.color.bgCol, 0u);
  EXPECT_EQ(p.brush.shortCut[0], "my brush,3");
}

TEST_F(QtSettingsStoreTest, DamagedFileIsCopiedAsideBeforeItIsRewritten) {
  const std::string broken = "[config\ngridW=30\n[color]\nfgCol=5\n";
  WriteFile(broken);
  {
    CQtSettingsStore file(File());
    EXPECT_TRUE(file.WasDamaged());
    EXPECT_FALSE(file.ReadOnly());
    EXPECT_EQ(ReadText(File() + ".bak"), broken);
    // What could be read is still there.
    int32_t v = 0;
    EXPECT_TRUE(file.ReadInt(Sec("color"), "fgCol", v));
    EXPECT_EQ(v, 5);
    EXPECT_TRUE(file.WriteInt(Sec("config"), "undoMax", 9));
    EXPECT_TRUE(file.Sync());
  }
  CQtSettingsStore again(File());
  EXPECT_FALSE(again.WasDamaged());
  int32_t v = 0;
  EXPECT_TRUE(again.ReadInt(Sec("config"), "undoMax", v));
  EXPECT_EQ(v, 9);
  EXPECT_EQ(ReadText(File() + ".bak"), broken);
}

TEST_F(QtSettingsStoreTest, DamagedFileThatCannotBeCopiedIsNotOverwritten) {
  const std::string broken = "[config\ngridW=30\n";
  WriteFile(broken);
  // A folder where the copy would go.
  std::filesystem::create_directories(File() + ".bak/x");
  {
    CQtSettingsStore file(File());
    EXPECT_TRUE(file.WasDamaged());
    EXPECT_TRUE(file.ReadOnly());
    EXPECT_FALSE(file.WriteInt(Sec("config"), "gridW", 40));
    EXPECT_FALSE(file.Sync());
  }
  EXPECT_EQ(ReadText(File()), broken);
}

TEST_F(QtSettingsStoreTest, AReadingStoreNeverTouchesTheFile) {
  // A damaged file stays as it is, with no copy beside it; what can be read is read.
  const std::string broken = "[config\ngridW=30\n[color]\nfgCol=5\n";
  WriteFile(broken);
  {
    CQtSettingsStore file(File(), kAppSettingsKey, true);
    EXPECT_TRUE(file.WasDamaged());
    EXPECT_TRUE(file.ReadOnly());
    int32_t v = 0;
    EXPECT_TRUE(file.ReadInt(Sec("color"), "fgCol", v));
    EXPECT_EQ(v, 5);
    EXPECT_FALSE(file.WriteInt(Sec("config"), "undoMax", 9));
  }
  EXPECT_EQ(ReadText(File()), broken);
  EXPECT_FALSE(std::filesystem::exists(File() + ".bak"));
  // A missing file is not created, nor its folder.
  const std::string missing = File() + ".d/none.conf";
  { CQtSettingsStore file(missing, kAppSettingsKey, true); }
  EXPECT_FALSE(std::filesystem::exists(File() + ".d"));
}

TEST_F(QtSettingsStoreTest, KeysGroupsAndRemoval) {
  {
    CQtSettingsStore s(File());
    EXPECT_FALSE(s.HasKey(kRoot + "\\docking"));
    EXPECT_TRUE(s.WriteInt(kRoot + "\\docking", "siteCount", 2));
    EXPECT_TRUE(s.WriteInt(kRoot + "\\docking\\dockSite0", "siteX", 10));
    EXPECT_TRUE(s.WriteInt(kRoot + "\\docking\\dockSite1", "siteX", 20));
    EXPECT_TRUE(s.WriteInt(kRoot + "\\dockingOld", "siteCount", 3));
    EXPECT_TRUE(s.WriteString(kRoot + "\\fileMRU", "path0", "/a.tci"));
    EXPECT_TRUE(s.WriteString(kRoot + "\\fileMRU", "path1", "/b.tci"));
    // Outside the program's key, or names that would make groups of their own.
    EXPECT_FALSE(s.WriteInt("Software\\Other", "x", 1));
    EXPECT_FALSE(s.WriteInt(kRoot + "X", "x", 1));
    EXPECT_FALSE(s.WriteInt(kRoot + "\\a", "b/c", 1));
    EXPECT_FALSE(s.WriteInt(kRoot + "\\a\\\\b", "c", 1));
    ASSERT_TRUE(s.Sync());
  }
  CQtSettingsStore s(File());
  EXPECT_TRUE(s.HasKey(kRoot + "\\docking"));
  EXPECT_TRUE(s.HasKey(kRoot + "\\docking\\dockSite1"));
  EXPECT_TRUE(s.DeleteKey(kRoot + "\\docking"));
  EXPECT_TRUE(s.DeleteValue(kRoot + "\\fileMRU", "path1"));
  ASSERT_TRUE(s.Sync());
  CQtSettingsStore after(File());
  int32_t v = 0;
  std::string text;
  EXPECT_FALSE(after.HasKey(kRoot + "\\docking"));
  EXPECT_FALSE(after.ReadInt(kRoot + "\\docking\\dockSite0", "siteX", v));
  EXPECT_TRUE(after.ReadInt(kRoot + "\\dockingOld", "siteCount", v));
  EXPECT_TRUE(after.ReadString(kRoot + "\\fileMRU", "path0", text));
  EXPECT_FALSE(after.ReadString(kRoot + "\\fileMRU", "path1", text));
}

TEST_F(QtSettingsStoreTest, DockingLayoutAndRecentFilesThroughTheFile) {
  const std::vector<DockSiteRecord> layout = {{100, 50, 240, 600, 1, true, {2, 3, 5}},
                                              {-30, 700, 300, 200, 0, false, {13}}};
  CRecentFiles recent;
  for (const char* p : {"/home/u/a.tci", "/home/u/絵,2.tci"}) recent.Add(p);
  {
    CQtSettingsStore s(File());
    // A longer layout from an earlier run.
    SaveDockingLayout(
        s, {{0, 0, 10, 10, 0, true, {1}}, {0, 0, 10, 10, 0, true, {4}}, {0, 0, 10, 10, 0, true, {6}}});
    ASSERT_TRUE(s.Sync());
    EXPECT_EQ(SaveDockingLayout(s, layout), 2);
    ASSERT_TRUE(recent.Save(s));
  }
  CQtSettingsStore s(File());
  EXPECT_EQ(LoadDockingLayout(s), layout);
  EXPECT_FALSE(s.HasKey(kRoot + "\\docking\\dockSite2"));
  CRecentFiles again;
  again.Load(s);
  EXPECT_EQ(again.Paths(), recent.Paths());
}

TEST_F(QtSettingsStoreTest, StringsKeepTheirBytes) {
  const std::string cases[] = {"",
                               "plain",
                               "@at the start",
                               "a,b,c",
                               "with \"quotes\" and \\ back",
                               "/home/ユーザー/絵",
                               std::string("\xff\xfe") + "/not utf-8\x80",
                               " spaced "};
  {
    CQtSettingsStore s(File());
    int n = 0;
    for (const std::string& c : cases)
      EXPECT_TRUE(s.WriteString(Sec("fileIO"), "v" + std::to_string(n++), c));
  }
  CQtSettingsStore s(File());
  int n = 0;
  for (const std::string& c : cases) {
    std::string out = "unchanged";
    EXPECT_TRUE(s.ReadString(Sec("fileIO"), "v" + std::to_string(n++), out)) << c;
    EXPECT_EQ(out, c);
  }
}

TEST_F(QtSettingsStoreTest, RealsReadBackExactly) {
  const float cases[] = {0.1f, 1.0f / 3.0f, 640.0f, -2.5e-7f, 3.4e38f, 1.17549435e-38f};
  {
    CQtSettingsStore s(File());
    int n = 0;
    for (float c : cases) s.WriteFloat(Sec("paper"), "r" + std::to_string(n++), c);
  }
  CQtSettingsStore s(File());
  int n = 0;
  for (float c : cases) {
    float out = 0;
    EXPECT_TRUE(s.ReadFloat(Sec("paper"), "r" + std::to_string(n++), out));
    EXPECT_EQ(out, c);
  }
}

}  // namespace
}  // namespace tintara
