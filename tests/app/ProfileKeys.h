// Every key of the profile as the program documents it: section, name, type, default and the
// range a loaded value is held to. Shared by the profile tests and the settings-file round trip.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "app/AppProfile.h"

namespace tintara::testing {

// The environment the tests load with: its folders are the defaults of the path keys.
inline AppEnvironment TestEnvironment() {
  AppEnvironment e;
  e.localeId = 1041;
  e.codePage = 932;
  e.processorSpeed = 2.5e9;
  e.screenWidth = 1920;
  e.screenHeight = 1080;
  e.programDir = "/opt/tintara/bin/";
  e.programFile = "/opt/tintara/bin/tintara";
  e.tempDir = "/tmp/";
  e.dataDir = "/opt/tintara/share/tintara/";
  e.picturesDir = "/home/user/Pictures/";
  return e;
}

struct KeyCase {
  std::string section, name;
  ProfileType type;
  ProfileValue def;
  // For integers: the values a load keeps (anything else is clamped or replaced).
  int64_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
};

inline std::vector<KeyCase> AllKeys() {
  const AppEnvironment env = TestEnvironment();
  std::vector<KeyCase> k;
  auto i = [&](const char* sec, std::string n, int32_t d, int64_t lo = std::numeric_limits<int32_t>::min(),
               int64_t hi = std::numeric_limits<int32_t>::max()) {
    k.push_back({sec, std::move(n), ProfileType::kInt, d, lo, hi});
  };
  auto b = [&](const char* sec, std::string n, bool d) {
    k.push_back({sec, std::move(n), ProfileType::kBool, d});
  };
  auto r = [&](const char* sec, std::string n, float d) {
    k.push_back({sec, std::move(n), ProfileType::kReal, d});
  };
  auto s = [&](const char* sec, std::string n, std::string d) {
    k.push_back({sec, std::move(n), ProfileType::kString, std::move(d)});
  };

  // fileIO: folders for pictures and events start in the pictures folder, set files among the
  // program's data.
  s("fileIO", "appPath", env.programDir);
  s("fileIO", "loadPath", env.picturesDir);
  s("fileIO", "savePath", env.picturesDir);
  s("fileIO", "eventPath", env.picturesDir);
  s("fileIO", "palPath", env.dataDir);
  s("fileIO", "palFile", "");
  s("fileIO", "tonePath", env.dataDir);
  s("fileIO", "toneFile", "");
  s("fileIO", "gradPath", env.dataDir);
  s("fileIO", "gradFile", "");
  s("fileIO", "penPath", env.dataDir + "brush");
  s("fileIO", "nibFile", "");
  s("fileIO", "brushFile", "");
  i("fileIO", "pictLoadExtIdx", 1, 1, 8);
  i("fileIO", "eventLoadExtIdx", 1, 1, 5);
  b("fileIO", "silentFileIO", false);
  b("fileIO", "jpegUseProgressive", false);
  b("fileIO", "jpegUseSmooth", false);
  i("fileIO", "jpegValSmooth", 0, 0, 100);
  i("fileIO", "jpegQType", 1, 0, 4);
  i("fileIO", "jpegQuality", 90, 0, 100);
  i("fileIO", "jpegQVHigh", 100, 0, 100);
  i("fileIO", "jpegQHigh", 90, 0, 100);
  i("fileIO", "jpegQStd", 75, 0, 100);
  i("fileIO", "jpegQLow", 50, 0, 100);
  i("fileIO", "psdSaveVer", 6, 3, 7);

  i("config", "appVerID", 0);
  i("config", "lastCP", 932);
  i("config", "lastLCID", 1041);
  i("config", "gridW", 25, 2, 10000);
  i("config", "gridH", 25, 2, 10000);
  i("config", "undoMax", 8, 1, 100);
  i("config", "fillLimit", 20, 1, 500);
  i("config", "fillTarget", 0, 0, 1);
  i("config", "wandLimit", 20, 1, 500);
  i("config", "wandTarget", 0, 0, 1);
  b("config", "fillAntiAlias", false);
  b("config", "wandAntiAlias", false);
  // Shapes linear, radial, circular; maps plain, there and back; repeat counted or endless;
  // the count field takes 1..500.
  i("config", "gradType", 0, 0, 2);
  i("config", "gradMap", 0, 0, 1);
  i("config", "gradRep", 0, 0, 1);
  i("config", "gradRepCnt", 1, 1, 500);
  b("config", "ignoreTablet", false);
  b("config", "eventWait", false);
  i("config", "tabletType", 0);
  b("config", "rgbPalBarFixed", false);
  b("config", "useRBtnColPicker", false);
  b("config", "zoomToolAsButton", false);
  b("config", "useAutoScroll", false);
  b("config", "useFilePreview", true);
  b("config", "useZoomAntialias", true);  // the test machine measures 2.5e9 > 1e9
  b("config", "useAutoPopup", true);
  b("config", "showScrollBar", true);
  b("config", "titleFullpath", true);
  i("config", "mouseMBtnFunc", 0, 0, 10);
  for (const char* n : {"opaquePaint", "opaqueAreaFill", "opaqueSeedFill", "opaqueGradate", "opaqueDraw",
                        "opaqueLine", "opaqueFont"})
    r("config", n, 1.0f);

  i("color", "fgCol", 0, 0, 0xFFFFFF);
  i("color", "bgCol", 0xFFFFFF, 0, 0xFFFFFF);

  for (int n = 0; n < 5; ++n) s("brush", "shortCut" + std::to_string(n), std::to_string(n));

  for (int n = 0; n < 6; ++n) {
    const std::string d = std::to_string(n);
    i("paper", "unit" + d, 0, 0, 2);
    i("paper", "dpi" + d, 72, 72, 600);
    r("paper", "w" + d, 640.0f);
    r("paper", "h" + d, 480.0f);
    b("paper", "transparent" + d, false);
  }

  i("window", "dockSiteCount", 0, 0, 16);
  for (const char* n : {"mainWinX", "mainWinY"}) i("window", n, -1, -1);
  i("window", "mainWinW", -1, -1, env.screenWidth);
  i("window", "mainWinH", -1, -1, env.screenHeight);
  b("window", "mainWinMax", true);
  b("window", "childWinMax", false);
  for (const char* n :
       {"ctrlWinVis", "palWinVis", "layerWinVis", "selectWinVis", "previewWinVis", "gcolWinVis", "rgbWinVis",
        "hsvWinVis", "gradWinVis", "gradWinPanelVis", "toneWinVis", "toneWinPanelVis", "penShapeWinVis",
        "penMethodWinVis", "penShapeListWinVis", "penMethodListWinVis"})
    b("window", n, true);
  for (const char* n : {"penWinVis", "penShapeListWinChild", "penMethodListWinChild"}) b("window", n, false);
  for (const char* n : {"penShapeListWinIconType", "penMethodListWinIconType"}) i("window", n, 1);
  for (const char* n :
       {"toolWinX",         "toolWinY",         "ctrlWinX",          "ctrlWinY",          "penWinX",
        "penWinY",          "palWinX",          "palWinY",           "gcolWinX",          "gcolWinY",
        "rgbWinX",          "rgbWinY",          "hsvWinX",           "hsvWinY",           "layerWinX",
        "layerWinY",        "layerWinW",        "layerWinH",         "selectWinX",        "selectWinY",
        "selectWinW",       "selectWinH",       "previewWinX",       "previewWinY",       "previewWinW",
        "previewWinH",      "gradWinX",         "gradWinY",          "gradWinPanelH",     "gradWinUnitX",
        "gradWinUnitY",     "gradWinRepX",      "gradWinRepY",       "toneWinX",          "toneWinY",
        "toneWinPanelH",    "toneWinUnitX",     "toneWinUnitY",      "toneWinRepX",       "toneWinRepY",
        "fontDlgX",         "fontDlgY",         "fontDlgW",          "fontDlgH",          "penShapeWinX",
        "penShapeWinY",     "penMethodWinX",    "penMethodWinY",     "penShapeListWinX",  "penShapeListWinY",
        "penShapeListWinW", "penShapeListWinH", "penMethodListWinX", "penMethodListWinY", "penMethodListWinW",
        "penMethodListWinH"})
    i("window", n, -1, -1);

  s("font", "face", "");
  i("font", "point", 0, 0);
  i("font", "charset", -1, -1, 255);
  i("font", "spacing", 0);
  i("font", "leading", 0);
  for (const char* n : {"italic", "bold", "underline", "strikeout"}) b("font", n, false);
  b("font", "useFont", true);
  b("font", "usePreview", true);
  return k;
}

// A value other than the default that a load keeps: what a user could have set.
inline ProfileValue SampleValue(const KeyCase& c, size_t index) {
  switch (c.type) {
    case ProfileType::kInt: {
      const int64_t d = std::get<int32_t>(c.def);
      int64_t v = d + 1 + int64_t(index % 5);
      if (c.name == "mainWinW" || c.name == "mainWinH") v = 700;  // within 200 .. the screen
      if (v > c.hi) v = d == c.lo ? c.hi : c.lo;
      if (c.name == "fgCol" || c.name == "bgCol") v = c.name == "fgCol" ? 0x123456 : 0xABCDEF;
      return int32_t(v);
    }
    case ProfileType::kBool:
      return !std::get<bool>(c.def);
    case ProfileType::kReal:
      return c.section == "paper" ? 123.456789f + float(index) : 0.3f;
    case ProfileType::kString:
      return "/home/ユーザー/絵 " + c.name + ",1";
  }
  return 0;
}

}  // namespace tintara::testing
