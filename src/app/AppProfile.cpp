#include "app/AppProfile.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include "files/GraphicsLibSpeed.h"

namespace tintara {

// --- the machine ------------------------------------------------------------------------------

int32_t LanguageGroupOf(int32_t codePage, int32_t localeId) {
  if (codePage == 932 || localeId == 1041) return 0;
  if (codePage == 949 || localeId == 1042) return 1;
  return 2;
}

int32_t LocaleIdFromName(const std::string& name) {
  // "ll_TT.codeset@modifier": only language and territory matter.
  const std::string base = name.substr(0, name.find_first_of(".@"));
  if (base.empty() || base == "C" || base == "POSIX") return 1033;
  const std::string lang = base.substr(0, base.find('_'));
  struct Entry {
    const char* name;
    int32_t id;
  };
  // Territory-specific names first; a bare language matches the first entry of its language.
  static constexpr Entry kIds[] = {
      {"ja_JP", 1041}, {"ja", 1041},    {"ko_KR", 1042}, {"ko", 1042},    {"en_US", 1033}, {"en_GB", 2057},
      {"en_AU", 3081}, {"en_CA", 4105}, {"en", 1033},    {"zh_TW", 1028}, {"zh_HK", 3076}, {"zh_CN", 2052},
      {"zh", 2052},    {"de", 1031},    {"fr_CA", 3084}, {"fr", 1036},    {"es", 3082},    {"it", 1040},
      {"pt_BR", 1046}, {"pt", 2070},    {"ru", 1049},    {"nl", 1043},    {"sv", 1053},    {"pl", 1045},
      {"fi", 1035},    {"da", 1030},    {"nb", 1044},    {"no", 1044},    {"cs", 1029},    {"hu", 1038},
      {"tr", 1055},    {"el", 1032},    {"th", 1054},    {"vi", 1066},
  };
  for (const Entry& e : kIds)
    if (base == e.name) return e.id;
  for (const Entry& e : kIds)
    if (lang == e.name) return e.id;
  return 1024;
}

namespace {

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : fallback;
}

int32_t OsVersion() {
  utsname u{};
  if (uname(&u) != 0) return 0;
  int major = 0, minor = 0;
  if (std::sscanf(u.release, "%d.%d", &major, &minor) < 1) return 0;
  return int32_t(major * 100 + minor);
}

// Connected display connectors the kernel knows of; a machine without them still has one screen.
int32_t MonitorCount() {
  int32_t n = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/drm", ec)) {
    std::ifstream status(entry.path() / "status");
    std::string line;
    if (status && std::getline(status, line) && line == "connected") ++n;
  }
  return std::max<int32_t>(n, 1);
}

std::string ExecutablePath() {
  std::error_code ec;
  const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

}  // namespace

std::string PicturesFolder(const std::string& home, const std::string& configHome) {
  std::ifstream dirs(configHome + "/user-dirs.dirs");
  std::string line;
  while (dirs && std::getline(dirs, line)) {
    const std::string key = "XDG_PICTURES_DIR=";
    if (line.compare(0, key.size(), key) != 0) continue;
    std::string v = line.substr(key.size());
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    if (v.compare(0, 5, "$HOME") == 0) v.replace(0, 5, home);
    // A relative entry means nothing; "$HOME/" alone is the home folder itself.
    if (!v.empty() && v.front() == '/') return WithSlash(v);
  }
  if (!home.empty() && IsDirectory(home + "/Pictures")) return WithSlash(home + "/Pictures");
  return home.empty() ? std::string() : WithSlash(home);
}

AppEnvironment GatherEnvironment(const std::function<double()>& measureSpeed) {
  AppEnvironment e;
  std::string locale = EnvOr("LC_ALL", "");
  if (locale.empty()) locale = EnvOr("LC_MESSAGES", "");
  if (locale.empty()) locale = EnvOr("LANG", "");
  e.localeId = LocaleIdFromName(locale);
  // Stored text is in code page 932 whatever the locale: the interface is Japanese.
  e.codePage = 932;
  e.languageGroup = LanguageGroupOf(e.codePage, e.localeId);
  e.ntPlatform = true;
  e.osVersion = OsVersion();
  e.perfFrequency = 1e9;  // the monotonic clock counts nanoseconds
  if (measureSpeed) {
    e.processorSpeed = measureSpeed();
  } else {
    double speed = 0;
    if (MeasureProcessorSpeed(100, &speed) == GfxResult::Ok) e.processorSpeed = speed;
  }
  e.monitorCount = MonitorCount();
  e.programFile = ExecutablePath();
  e.programDir = e.programFile.empty()
                     ? std::string("./")
                     : WithSlash(std::filesystem::path(e.programFile).parent_path().string());
  e.tempDir = WithSlash(EnvOr("TMPDIR", "/tmp"));
  const std::string installed =
      (std::filesystem::path(e.programDir) / "../share/tintara").lexically_normal().string();
  e.dataDir = IsDirectory(installed) ? WithSlash(installed) : e.programDir;
  const std::string home = EnvOr("HOME", "");
  e.picturesDir = PicturesFolder(home, EnvOr("XDG_CONFIG_HOME", home + "/.config"));
  if (e.picturesDir.empty()) e.picturesDir = e.tempDir;
  return e;
}

// --- the keys ---------------------------------------------------------------------------------

namespace {

enum class IntMode : uint8_t { kAny, kClamp, kDefaultOutside, kUnsetBelowZero };
struct IntRule {
  IntMode mode = IntMode::kAny;
  int32_t lo = 0, hi = 0;
};
constexpr IntRule kAnyInt{};
constexpr IntRule kPlace{IntMode::kUnsetBelowZero};
constexpr IntRule Clamp(int32_t lo, int32_t hi) { return {IntMode::kClamp, lo, hi}; }
constexpr IntRule AtLeast(int32_t lo) { return {IntMode::kClamp, lo, std::numeric_limits<int32_t>::max()}; }
constexpr IntRule OneOf(int32_t lo, int32_t hi) { return {IntMode::kDefaultOutside, lo, hi}; }

int32_t FixInt(int32_t v, int32_t def, IntRule r) {
  switch (r.mode) {
    case IntMode::kAny:
      return v;
    case IntMode::kClamp:
      return std::clamp(v, r.lo, r.hi);
    case IntMode::kDefaultOutside:
      return v < r.lo || v > r.hi ? def : v;
    case IntMode::kUnsetBelowZero:
      return v < 0 ? -1 : v;
  }
  return v;
}

// Reals: values outside are clamped, or take the default below `lo` when `defaultBelow`.
struct RealRule {
  float lo, hi;
  bool defaultBelow;
};
// The pens' own floor: an opacity of 0 would paint nothing at all.
constexpr RealRule kOpacity{0.01f, 1.0f, false};
// A preset's side in its own unit; the dialog checks it against the pixel limit on OK.
constexpr RealRule kPaperSide{0.01f, 10000.0f, true};

float FixReal(float v, float def, RealRule r) {
  if (!std::isfinite(v)) return def;
  if (v < r.lo) return r.defaultBelow ? def : r.lo;
  return std::min(v, r.hi);
}

// Runs `f`, a single store access; a store that throws loses that one value only.
template <class F>
bool Guarded(F&& f) {
  try {
    return f();
  } catch (...) {
    return false;
  }
}

// The four visitors share one description of every section (the Visit* functions below).

struct Loader {
  const ISettingsStore& store;
  std::string key;

  void Int(const std::string& name, int32_t& field, int32_t def, IntRule rule) {
    int32_t v = 0;
    field = Guarded([&] { return store.ReadInt(key, name, v); }) ? FixInt(v, def, rule) : def;
  }
  void Colour(const std::string& name, uint32_t& field, uint32_t def) {
    int32_t v = 0;
    field = Guarded([&] { return store.ReadInt(key, name, v); }) ? uint32_t(v) & 0xFFFFFF : def;
  }
  void Bool(const std::string& name, bool& field, bool def) {
    bool v = false;
    field = Guarded([&] { return store.ReadBool(key, name, v); }) ? v : def;
  }
  void Real(const std::string& name, float& field, float def, RealRule rule) {
    float v = 0;
    field = Guarded([&] { return store.ReadFloat(key, name, v); }) ? FixReal(v, def, rule) : def;
  }
  void Str(const std::string& name, std::string& field, const std::string& def) {
    std::string v;
    field = Guarded([&] { return store.ReadString(key, name, v); }) ? v : def;
  }
  void Exported(const std::string&, const std::string&) {}  // written for others, never read back
};

struct Saver {
  ISettingsStore& store;
  std::string key;
  bool ok = true;

  void Int(const std::string& name, int32_t& field, int32_t, IntRule) {
    ok &= Guarded([&] { return store.WriteInt(key, name, field); });
  }
  void Colour(const std::string& name, uint32_t& field, uint32_t) {
    ok &= Guarded([&] { return store.WriteInt(key, name, int32_t(field & 0xFFFFFF)); });
  }
  void Bool(const std::string& name, bool& field, bool) {
    ok &= Guarded([&] { return store.WriteBool(key, name, field); });
  }
  void Real(const std::string& name, float& field, float, RealRule) {
    ok &= Guarded([&] { return store.WriteFloat(key, name, field); });
  }
  void Str(const std::string& name, std::string& field, const std::string&) {
    ok &= Guarded([&] { return store.WriteString(key, name, field); });
  }
  void Exported(const std::string& name, const std::string& value) {
    ok &= Guarded([&] { return store.WriteString(key, name, value); });
  }
};

struct Lister {
  std::string section;
  std::vector<ProfileKey>& out;

  void Add(const std::string& name, ProfileType t) { out.push_back({section, name, t}); }
  void Int(const std::string& name, int32_t&, int32_t, IntRule) { Add(name, ProfileType::kInt); }
  void Colour(const std::string& name, uint32_t&, uint32_t) { Add(name, ProfileType::kInt); }
  void Bool(const std::string& name, bool&, bool) { Add(name, ProfileType::kBool); }
  void Real(const std::string& name, float&, float, RealRule) { Add(name, ProfileType::kReal); }
  void Str(const std::string& name, std::string&, const std::string&) { Add(name, ProfileType::kString); }
  void Exported(const std::string& name, const std::string&) { Add(name, ProfileType::kString); }
};

// Picks one key's value out of its section.
struct Finder {
  std::string name;
  bool inSection;
  std::optional<ProfileValue>* out;

  void Put(const std::string& n, ProfileValue v) {
    if (inSection && n == name) *out = std::move(v);
  }
  void Int(const std::string& n, int32_t& field, int32_t, IntRule) { Put(n, field); }
  void Colour(const std::string& n, uint32_t& field, uint32_t) { Put(n, int32_t(field & 0xFFFFFF)); }
  void Bool(const std::string& n, bool& field, bool) { Put(n, field); }
  void Real(const std::string& n, float& field, float, RealRule) { Put(n, field); }
  void Str(const std::string& n, std::string& field, const std::string&) { Put(n, field); }
  void Exported(const std::string& n, const std::string& value) { Put(n, value); }
};

// Field and key share their name; `d` holds the defaults.
#define TT_INT(f, rule) v.Int(#f, s.f, d.f, rule)
#define TT_BOOL(f) v.Bool(#f, s.f, d.f)
#define TT_REAL(f, rule) v.Real(#f, s.f, d.f, rule)
#define TT_STR(f) v.Str(#f, s.f, d.f)

template <class V>
void VisitFileIO(FileIOSettings& s, const FileIOSettings& d, const AppEnvironment& env, V& v) {
  v.Exported("appPath", env.programDir);
  TT_STR(loadPath);
  TT_STR(savePath);
  TT_STR(eventPath);
  TT_STR(palPath);
  TT_STR(palFile);
  TT_STR(tonePath);
  TT_STR(toneFile);
  TT_STR(gradPath);
  TT_STR(gradFile);
  TT_STR(penPath);
  TT_STR(nibFile);
  TT_STR(brushFile);
  TT_INT(pictLoadExtIdx, OneOf(1, 8));   // eight filters in the picture open dialog
  TT_INT(eventLoadExtIdx, OneOf(1, 5));  // five in the event open dialog
  TT_BOOL(silentFileIO);
  TT_BOOL(jpegUseProgressive);
  TT_BOOL(jpegUseSmooth);
  TT_INT(jpegValSmooth, Clamp(0, 100));
  TT_INT(jpegQType, Clamp(0, 4));
  TT_INT(jpegQuality, Clamp(0, 100));
  TT_INT(jpegQVHigh, Clamp(0, 100));
  TT_INT(jpegQHigh, Clamp(0, 100));
  TT_INT(jpegQStd, Clamp(0, 100));
  TT_INT(jpegQLow, Clamp(0, 100));
  TT_INT(psdSaveVer, Clamp(3, 7));
}

template <class V>
void VisitConfig(ConfigSettings& s, const ConfigSettings& d, V& v) {
  TT_INT(appVerID, kAnyInt);
  TT_INT(lastCP, kAnyInt);
  TT_INT(lastLCID, kAnyInt);
  TT_INT(gridW, Clamp(2, 10000));
  TT_INT(gridH, Clamp(2, 10000));
  TT_INT(undoMax, Clamp(1, CAppProfile::kMaxUndo));  // sizes the event ring
  TT_INT(fillLimit, Clamp(1, 500));
  TT_INT(fillTarget, Clamp(0, 1));
  TT_INT(wandLimit, Clamp(1, 500));
  TT_INT(wandTarget, Clamp(0, 1));
  TT_BOOL(fillAntiAlias);
  TT_BOOL(wandAntiAlias);
  // The fixed gradation entry's parameters: three shapes, two mappings, two repeat modes and
  // the count the window's field accepts.
  TT_INT(gradType, Clamp(0, 2));
  TT_INT(gradMap, Clamp(0, 1));
  TT_INT(gradRep, Clamp(0, 1));
  TT_INT(gradRepCnt, Clamp(1, 500));
  TT_BOOL(ignoreTablet);
  TT_BOOL(eventWait);
  TT_INT(tabletType, kAnyInt);
  TT_BOOL(rgbPalBarFixed);
  TT_BOOL(useRBtnColPicker);
  TT_BOOL(zoomToolAsButton);
  TT_BOOL(useAutoScroll);
  TT_BOOL(useFilePreview);
  TT_BOOL(useZoomAntialias);
  TT_BOOL(useAutoPopup);
  TT_BOOL(showScrollBar);
  TT_BOOL(titleFullpath);
  TT_INT(mouseMBtnFunc, Clamp(0, 10));
  TT_REAL(opaquePaint, kOpacity);
  TT_REAL(opaqueAreaFill, kOpacity);
  TT_REAL(opaqueSeedFill, kOpacity);
  TT_REAL(opaqueGradate, kOpacity);
  TT_REAL(opaqueDraw, kOpacity);
  TT_REAL(opaqueLine, kOpacity);
  TT_REAL(opaqueFont, kOpacity);
}

template <class V>
void VisitColor(ColorSettings& s, const ColorSettings& d, V& v) {
  v.Colour("fgCol", s.fgCol, d.fgCol);
  v.Colour("bgCol", s.bgCol, d.bgCol);
}

template <class V>
void VisitBrush(BrushSettings& s, const BrushSettings& d, V& v) {
  for (int i = 0; i < 5; ++i) v.Str("shortCut" + std::to_string(i), s.shortCut[i], d.shortCut[i]);
}

template <class V>
void VisitPaper(PaperPreset* s, const PaperPreset* d, V& v) {
  for (int i = 0; i < CAppProfile::kPaperPresets; ++i) {
    const std::string n = std::to_string(i);
    v.Int("unit" + n, s[i].unit, d[i].unit, OneOf(0, 2));
    v.Int("dpi" + n, s[i].dpi, d[i].dpi, Clamp(72, 600));  // the new-picture dialog's range
    v.Real("w" + n, s[i].w, d[i].w, kPaperSide);
    v.Real("h" + n, s[i].h, d[i].h, kPaperSide);
    v.Bool("transparent" + n, s[i].transparent, d[i].transparent);
  }
}

template <class V>
void VisitWindow(WindowSettings& s, const WindowSettings& d, V& v) {
  TT_INT(dockSiteCount, Clamp(0, CAppProfile::kMaxDockSites));
  TT_INT(mainWinX, kPlace);
  TT_INT(mainWinY, kPlace);
  TT_INT(mainWinW, kPlace);  // the screen bound is applied after loading
  TT_INT(mainWinH, kPlace);
  TT_BOOL(mainWinMax);
  TT_BOOL(childWinMax);
  TT_BOOL(ctrlWinVis);
  TT_BOOL(palWinVis);
  TT_BOOL(layerWinVis);
  TT_BOOL(selectWinVis);
  TT_BOOL(previewWinVis);
  TT_BOOL(gcolWinVis);
  TT_BOOL(rgbWinVis);
  TT_BOOL(hsvWinVis);
  TT_BOOL(gradWinVis);
  TT_BOOL(gradWinPanelVis);
  TT_BOOL(toneWinVis);
  TT_BOOL(toneWinPanelVis);
  TT_BOOL(penShapeWinVis);
  TT_BOOL(penMethodWinVis);
  TT_BOOL(penShapeListWinVis);
  TT_BOOL(penMethodListWinVis);
  TT_BOOL(penWinVis);
  TT_BOOL(penShapeListWinChild);
  TT_BOOL(penMethodListWinChild);
  TT_INT(penShapeListWinIconType, kAnyInt);
  TT_INT(penMethodListWinIconType, kAnyInt);
  TT_INT(toolWinX, kPlace);
  TT_INT(toolWinY, kPlace);
  TT_INT(ctrlWinX, kPlace);
  TT_INT(ctrlWinY, kPlace);
  TT_INT(penWinX, kPlace);
  TT_INT(penWinY, kPlace);
  TT_INT(palWinX, kPlace);
  TT_INT(palWinY, kPlace);
  TT_INT(gcolWinX, kPlace);
  TT_INT(gcolWinY, kPlace);
  TT_INT(rgbWinX, kPlace);
  TT_INT(rgbWinY, kPlace);
  TT_INT(hsvWinX, kPlace);
  TT_INT(hsvWinY, kPlace);
  TT_INT(layerWinX, kPlace);
  TT_INT(layerWinY, kPlace);
  TT_INT(layerWinW, kPlace);
  TT_INT(layerWinH, kPlace);
  TT_INT(selectWinX, kPlace);
  TT_INT(selectWinY, kPlace);
  TT_INT(selectWinW, kPlace);
  TT_INT(selectWinH, kPlace);
  TT_INT(previewWinX, kPlace);
  TT_INT(previewWinY, kPlace);
  TT_INT(previewWinW, kPlace);
  TT_INT(previewWinH, kPlace);
  TT_INT(gradWinX, kPlace);
  TT_INT(gradWinY, kPlace);
  TT_INT(gradWinPanelH, kPlace);
  TT_INT(gradWinUnitX, kPlace);
  TT_INT(gradWinUnitY, kPlace);
  TT_INT(gradWinRepX, kPlace);
  TT_INT(gradWinRepY, kPlace);
  TT_INT(toneWinX, kPlace);
  TT_INT(toneWinY, kPlace);
  TT_INT(toneWinPanelH, kPlace);
  TT_INT(toneWinUnitX, kPlace);
  TT_INT(toneWinUnitY, kPlace);
  TT_INT(toneWinRepX, kPlace);
  TT_INT(toneWinRepY, kPlace);
  TT_INT(fontDlgX, kPlace);
  TT_INT(fontDlgY, kPlace);
  TT_INT(fontDlgW, kPlace);
  TT_INT(fontDlgH, kPlace);
  TT_INT(penShapeWinX, kPlace);
  TT_INT(penShapeWinY, kPlace);
  TT_INT(penMethodWinX, kPlace);
  TT_INT(penMethodWinY, kPlace);
  TT_INT(penShapeListWinX, kPlace);
  TT_INT(penShapeListWinY, kPlace);
  TT_INT(penShapeListWinW, kPlace);
  TT_INT(penShapeListWinH, kPlace);
  TT_INT(penMethodListWinX, kPlace);
  TT_INT(penMethodListWinY, kPlace);
  TT_INT(penMethodListWinW, kPlace);
  TT_INT(penMethodListWinH, kPlace);
}

template <class V>
void VisitFont(FontSettings& s, const FontSettings& d, V& v) {
  TT_STR(face);
  TT_INT(point, AtLeast(0));
  TT_INT(charset, Clamp(-1, 255));
  TT_INT(spacing, kAnyInt);
  TT_INT(leading, kAnyInt);
  TT_BOOL(italic);
  TT_BOOL(bold);
  TT_BOOL(underline);
  TT_BOOL(strikeout);
  TT_BOOL(useFont);
  TT_BOOL(usePreview);
}

#undef TT_INT
#undef TT_BOOL
#undef TT_REAL
#undef TT_STR

// The sections in load order. `make` builds the section's visitor from its name.
template <class MakeVisitor>
void VisitAll(CAppProfile& p, const CAppProfile& d, MakeVisitor&& make) {
  {
    auto v = make("fileIO");
    VisitFileIO(p.fileIO, d.fileIO, p.Env(), v);
  }
  {
    auto v = make("config");
    VisitConfig(p.config, d.config, v);
  }
  {
    auto v = make("color");
    VisitColor(p.color, d.color, v);
  }
  {
    auto v = make("brush");
    VisitBrush(p.brush, d.brush, v);
  }
  {
    auto v = make("paper");
    VisitPaper(p.paper, d.paper, v);
  }
  {
    auto v = make("window");
    VisitWindow(p.window, d.window, v);
  }
  {
    auto v = make("font");
    VisitFont(p.font, d.font, v);
  }
}

std::string SectionKey(const std::string& root, const char* section) { return root + "\\" + section; }

// A brush shortcut slot is "<brush name>,<number>", or the number alone for an empty slot.
bool IsShortcutSlot(const std::string& text) {
  const size_t comma = text.rfind(',');
  std::string number = comma == std::string::npos ? text : text.substr(comma + 1);
  if (!number.empty() && number.front() == '-') number.erase(0, 1);
  return !number.empty() && number.size() <= 9 &&
         std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

// --- the profile ------------------------------------------------------------------------------

CAppProfile::CAppProfile(AppEnvironment env) : env_(std::move(env)) {
  // The program folder cannot be written on Linux: pictures and events go to the user's
  // pictures folder, and the set files are looked for among the program's data.
  fileIO.loadPath = fileIO.savePath = fileIO.eventPath = env_.picturesDir;
  fileIO.palPath = fileIO.tonePath = fileIO.gradPath = env_.dataDir;
  fileIO.penPath = env_.dataDir + "brush";
  config.lastCP = env_.codePage;
  config.lastLCID = env_.localeId;
  config.useZoomAntialias = env_.processorSpeed > 1e9;
}

void CAppProfile::LoadAll(const ISettingsStore& store, const std::string& root) {
  const CAppProfile defaults(env_);
  VisitAll(*this, defaults, [&](const char* section) { return Loader{store, SectionKey(root, section)}; });

  // A slot the brush window could not read is an empty slot.
  for (int i = 0; i < 5; ++i)
    if (!IsShortcutSlot(brush.shortCut[i])) brush.shortCut[i] = defaults.brush.shortCut[i];

  // Settings from before the current layout: the palettes go back to their places once, and a
  // start-up gradation set of the oldest generations is not one this program reads.
  layoutReset_ = config.appVerID < kVersionId;
  if (layoutReset_) ResetWindowLayout();
  if (config.appVerID <= 10) fileIO.gradFile.clear();
  config.appVerID = kVersionId;

  // A stored main window size keeps the window usable and on the screen.
  auto fitSide = [](int32_t& side, int32_t screen) {
    if (side < 0) return;
    side = std::max(side, kMinMainWinSize);
    if (screen >= kMinMainWinSize) side = std::min(side, screen);
  };
  fitSide(window.mainWinW, env_.screenWidth);
  fitSide(window.mainWinH, env_.screenHeight);
}

bool CAppProfile::SaveAll(ISettingsStore& store, const std::string& root) const {
  // A copy, so that the values written at exit for the next start can be put in.
  CAppProfile out(*this);
  out.config.appVerID = kVersionId;
  out.config.lastCP = env_.codePage;
  out.config.lastLCID = env_.localeId;
  const CAppProfile& d = *this;  // defaults are not used when writing
  bool ok = true;
  auto save = [&](const char* section, auto&& visit) {
    Saver v{store, SectionKey(root, section)};
    visit(v);
    ok &= v.ok;
  };
  save("window", [&](Saver& v) { VisitWindow(out.window, d.window, v); });
  save("fileIO", [&](Saver& v) { VisitFileIO(out.fileIO, d.fileIO, env_, v); });
  save("config", [&](Saver& v) { VisitConfig(out.config, d.config, v); });
  save("color", [&](Saver& v) { VisitColor(out.color, d.color, v); });
  save("brush", [&](Saver& v) { VisitBrush(out.brush, d.brush, v); });
  save("paper", [&](Saver& v) { VisitPaper(out.paper, d.paper, v); });
  save("font", [&](Saver& v) { VisitFont(out.font, d.font, v); });
  return ok;
}

void CAppProfile::ResetWindowLayout() {
  window = WindowSettings{};
  WindowSettings& w = window;
  for (bool* vis :
       {&w.ctrlWinVis, &w.palWinVis, &w.layerWinVis, &w.selectWinVis, &w.previewWinVis, &w.gcolWinVis,
        &w.rgbWinVis, &w.hsvWinVis, &w.gradWinVis, &w.gradWinPanelVis, &w.toneWinVis, &w.toneWinPanelVis,
        &w.penShapeWinVis, &w.penMethodWinVis, &w.penShapeListWinVis, &w.penMethodListWinVis, &w.penWinVis})
    *vis = true;
  w.mainWinMax = true;
}

float* CAppProfile::ToolOpacitySlot(int32_t tool) {
  switch (tool) {
    case 0:
      return &config.opaquePaint;
    case 4:
      return &config.opaqueSeedFill;
    case 10:
      return &config.opaqueDraw;
    case 11:
    case 13:
      return &config.opaqueAreaFill;
    case 12:
      return &config.opaqueLine;
    case 14:
      return &config.opaqueFont;
    case 19:
      return &config.opaqueGradate;
    default:
      return nullptr;
  }
}

float CAppProfile::ToolOpacity(int32_t tool) const {
  const float* slot = const_cast<CAppProfile*>(this)->ToolOpacitySlot(tool);
  return slot ? *slot : 1.0f;
}

void CAppProfile::SetToolOpacity(int32_t tool, float opacity) {
  if (float* slot = ToolOpacitySlot(tool)) *slot = FixReal(opacity, *slot, kOpacity);
}

std::vector<ProfileKey> CAppProfile::Keys() {
  std::vector<ProfileKey> keys;
  CAppProfile p;
  VisitAll(p, p, [&](const char* section) { return Lister{section, keys}; });
  return keys;
}

std::optional<ProfileValue> CAppProfile::Value(const std::string& section, const std::string& name) const {
  std::optional<ProfileValue> found;
  CAppProfile copy(*this);
  VisitAll(copy, copy, [&](const char* s) { return Finder{name, section == s, &found}; });
  return found;
}

}  // namespace tintara
