// The new-picture dialog's numbers: units, conversions and the checks on OK, without the
// dialog itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tintara {

enum class SizeUnit : uint8_t { kPixel = 0, kInch = 1, kCm = 2 };

// pixels = value, value * dpi or value * dpi / 2.54, rounded to nearest (ties to even).
int32_t ToPixels(double value, SizeUnit unit, int32_t dpi);
double FromPixels(int32_t pixels, SizeUnit unit, int32_t dpi);
// A change of unit: both sizes to pixels, each rounded up to an even number, then to the new unit.
void ChangeUnit(double& width, double& height, SizeUnit from, SizeUnit to, int32_t dpi);
// As the edit boxes show a value: whole pixels, or inches and centimetres with "%4.2f".
std::string FormatSize(double value, SizeUnit unit);

// While typing: the message for a text that cannot be a size in this unit, if any.
std::optional<std::string> CheckTypedValue(const std::string& text, SizeUnit unit);

struct NewPictureValues {
  int32_t width = 0, height = 0, dpi = 0;  // in pixels and pixels per inch
};
// The checks on OK, in order: something in every box, sizes 8..10000 pixels, resolution
// 72..600. Returns the message of the first that fails, or the values.
std::optional<std::string> ValidateNewPicture(const std::string& width, const std::string& height,
                                              const std::string& resolution, SizeUnit unit,
                                              NewPictureValues& out);

// "无标题-%d" with a counter that rises for every default title.
std::string NextDefaultTitle();

}  // namespace tintara
