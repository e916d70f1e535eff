#include "app/NewPicture.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace tintara {
namespace {

constexpr int32_t kMinSide = 8, kMaxSide = 10000, kMinDpi = 72, kMaxDpi = 600;

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
  char buf[512];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return buf;
}

// A number in the whole text, or nothing.
std::optional<double> Parse(const std::string& text) {
  const char* begin = text.c_str();
  while (*begin == ' ') ++begin;
  if (!*begin) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(begin, &end);
  while (end && *end == ' ') ++end;
  if (end == begin || (end && *end) || !std::isfinite(v)) return std::nullopt;
  return v;
}

bool Blank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

}  // namespace

int32_t ToPixels(double value, SizeUnit unit, int32_t dpi) {
  double px = value;
  if (unit == SizeUnit::kInch) px = value * dpi;
  if (unit == SizeUnit::kCm) px = value * dpi / 2.54;
  px = std::nearbyint(px);
  return int32_t(std::clamp(px, -2e9, 2e9));
}

double FromPixels(int32_t pixels, SizeUnit unit, int32_t dpi) {
  if (unit == SizeUnit::kPixel || dpi <= 0) return pixels;
  if (unit == SizeUnit::kInch) return double(pixels) / dpi;
  return double(pixels) * 2.54 / dpi;
}

void ChangeUnit(double& width, double& height, SizeUnit from, SizeUnit to, int32_t dpi) {
  const int32_t w = (ToPixels(width, from, dpi) + 1) & ~1;
  const int32_t h = (ToPixels(height, from, dpi) + 1) & ~1;
  width = FromPixels(w, to, dpi);
  height = FromPixels(h, to, dpi);
}

std::string FormatSize(double value, SizeUnit unit) {
  if (unit == SizeUnit::kPixel) return Format("%d", int32_t(std::nearbyint(value)));
  return Format("%4.2f", value);
}

std::optional<std::string> CheckTypedValue(const std::string& text, SizeUnit unit) {
  if (Blank(text)) return std::nullopt;
  const std::optional<double> v = Parse(text);
  if (!v) return std::string("不正な文字により数値を読みとれません！");
  if (unit != SizeUnit::kPixel && *v < 0) return std::string("正の数値を入力して下さい！");
  return std::nullopt;
}

std::optional<std::string> ValidateNewPicture(const std::string& width, const std::string& height,
                                              const std::string& resolution, SizeUnit unit,
                                              NewPictureValues& out) {
  const char* kWidth = "幅";
  const char* kHeight = "高さ";
  const char* kResolution = "解像度";
  if (Blank(width)) return Format("%sが必要です！", kWidth);
  if (Blank(height)) return Format("%sが必要です！", kHeight);
  if (Blank(resolution)) return Format("%sが必要です！", kResolution);
  const std::optional<double> w = Parse(width), h = Parse(height), r = Parse(resolution);
  if (!w || !h || !r) return std::string("不正な文字により数値を読みとれません！");
  const int32_t dpi = int32_t(std::nearbyint(std::clamp(*r, -1e9, 1e9)));
  const int32_t pw = ToPixels(*w, unit, dpi), ph = ToPixels(*h, unit, dpi);
  if (pw < kMinSide || pw > kMaxSide)
    return Format("%s(%d) は %d ～ %d にしてください！", kWidth, pw, kMinSide, kMaxSide);
  if (ph < kMinSide || ph > kMaxSide)
    return Format("%s(%d) は %d ～ %d にしてください！", kHeight, ph, kMinSide, kMaxSide);
  if (dpi < kMinDpi || dpi > kMaxDpi)
    return Format("%sは %d ～ %d にしてください！", kResolution, kMinDpi, kMaxDpi);
  out = {pw, ph, dpi};
  return std::nullopt;
}

std::string NextDefaultTitle() {
  static int32_t counter = 0;
  return Format("无标题-%d", ++counter);
}

}  // namespace tintara
