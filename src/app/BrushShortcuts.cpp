#include "app/BrushShortcuts.h"

#include <cstdlib>

#include "paint/PenMethod.h"

namespace tintara {

std::string FormatBrushShortcut(int32_t slot, int32_t brush, const CPenMethodMngr& brushes) {
  const CPenMethodObj* b = brushes.At(brush);
  if (!b) return std::to_string(slot);
  return b->Caption() + "," + std::to_string(brush);
}

int32_t ResolveBrushShortcut(const std::string& text, const CPenMethodMngr& brushes) {
  // The name may hold commas itself: the number is after the last one.
  const size_t comma = text.rfind(',');
  if (comma == std::string::npos) return -1;
  const std::string name = text.substr(0, comma);
  const int32_t index = int32_t(std::strtol(text.c_str() + comma + 1, nullptr, 10));
  if (const CPenMethodObj* b = brushes.At(index); b && b->Caption() == name) return index;
  for (int32_t i = 0; i < brushes.Count(); ++i)
    if (brushes.At(i)->Caption() == name) return i;
  return -1;
}

}  // namespace tintara
