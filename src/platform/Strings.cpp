#include "platform/Strings.h"

#include <cstdlib>
#include <fstream>
#include <map>

namespace tintara {
namespace {

struct Entry {
  int id;
  const char* text;
};

// The built-in table.
constexpr Entry kBuiltIn[] = {
    // Blend mode names.
    {65177, "標準"},
    {65178, "乗算"},
    {65179, "加算"},
    {65180, "減算"},
    {65181, "スクリーン"},
    {65182, "オーバーレイ"},
    {65183, "ハードライト"},
    {65152, "ソフトライト"},
    {65153, "差の絶対値"},
    {65154, "除外"},
    {65155, "比較(暗)"},
    {65156, "比較(明)"},
    {65157, "焼き込み"},
    {65158, "覆い焼き"},
    {65159, "色相"},
    {65160, "彩度"},
    {65161, "カラー"},
    {65162, "輝度"},
    {65163, "減算(ネガ)"},
    {65164, "リニアライト"},
    {65165, "ビビッドライト"},
    {65166, "ピンライト"},
    // Layers.
    {65281, "レイヤ"},
};

std::map<int, std::string>& Overrides() {
  static std::map<int, std::string> m;
  return m;
}

std::string Unescape(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char c = s[++i];
      out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

std::string ResString(int id) {
  const auto& o = Overrides();
  if (auto it = o.find(id); it != o.end()) return it->second;
  for (const Entry& e : kBuiltIn)
    if (e.id == id) return e.text;
  return {};
}

int LoadStringOverrides(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return -1;
  int taken = 0;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto tab = line.find('\t');
    if (tab == std::string::npos || tab == 0) continue;
    char* end = nullptr;
    const long id = std::strtol(line.c_str(), &end, 10);
    if (end != line.c_str() + tab) continue;
    Overrides()[int(id)] = Unescape(std::string_view(line).substr(tab + 1));
    ++taken;
  }
  return taken;
}

void ClearStringOverrides() { Overrides().clear(); }

}  // namespace tintara
