// The brush window's five shortcut slots as the profile keeps them: "name,index" for a slot
// holding a brush (its caption and its place in the list), the slot number alone for an empty
// one. Read back, a slot finds its brush at the index when the caption still matches, else the
// first brush of that caption; a brush that is gone leaves the slot empty.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tintara {

class CPenMethodMngr;

inline constexpr int32_t kBrushShortcutSlots = 5;
using BrushShortcuts = std::array<int32_t, kBrushShortcutSlots>;  // brush index, -1: empty

std::string FormatBrushShortcut(int32_t slot, int32_t brush, const CPenMethodMngr& brushes);
int32_t ResolveBrushShortcut(const std::string& text, const CPenMethodMngr& brushes);

}  // namespace tintara
