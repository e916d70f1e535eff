// The program's resource strings: texts shown to the user, keyed by their resource ids.
//
// A built-in table holds every text; a strings file next to the executable (the interface
// resource module, "<program>.enu") may override any of them.
#pragma once

#include <string>
#include <string_view>

namespace tintara {

// The text for `id`, or an empty string when there is none.
std::string ResString(int id);

// Reads overrides from a text file of lines "id<TAB>text" (UTF-8; "\r" and "\n" in the text
// stand for line breaks, "\t" for a tab). Lines that do not parse are skipped. Returns the
// number of strings taken, or -1 when the file cannot be read.
int LoadStringOverrides(const std::string& path);
// Drops every override (tests).
void ClearStringOverrides();

// Resource ids used by the engine.
namespace res {
inline constexpr int kLayerName = 65281;  // "レイヤ"
}

}  // namespace tintara
