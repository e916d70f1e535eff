// The docking layout: which palette windows share a tabbed docking site, in what order, and
// where each site stands. Written at exit under "<root>\docking" and read once every window
// exists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/SettingsStore.h"

namespace tintara {

// Palette window numbers: 0 tool bar, 1 pen, 2 layer, 3 selection, 4 tool options,
// 5 navigator, 6 colour, 7 RGB, 8 HSV, 9 palette, 10 tone, 11 gradation, 12 pen tip, 13 brush,
// 14 pen-tip list, 15 brush list.
inline constexpr int32_t kPaletteWindowCount = 16;
inline constexpr int32_t kMaxDockSites = 16;

struct DockSiteRecord {
  int32_t x = 0, y = 0, w = 0, h = 0;  // the site window's bounds
  int32_t active = 0;                  // index of the active tab
  bool visible = true;
  std::vector<int32_t> clients;  // palette window numbers in tab order

  bool operator==(const DockSiteRecord&) const = default;
};

// What a layout may hold: windows that exist, each in one site only (the first place it is
// listed), sites with at least one window and a size, the active tab among them, at most 16
// sites.
std::vector<DockSiteRecord> NormalizeDockingLayout(std::vector<DockSiteRecord> sites);

// Replaces the stored layout with `sites` (normalised first); returns the number of sites
// written, or -1 when a value could not be written.
int32_t SaveDockingLayout(ISettingsStore& store, const std::vector<DockSiteRecord>& sites,
                          const std::string& root = kAppSettingsKey);
// The stored layout, normalised; a site whose bounds or window count are missing is left out.
std::vector<DockSiteRecord> LoadDockingLayout(const ISettingsStore& store,
                                              const std::string& root = kAppSettingsKey);

}  // namespace tintara
