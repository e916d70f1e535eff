#include "app/DockingRecord.h"

#include <algorithm>
#include <bitset>

namespace tintara {

namespace {
std::string DockingKey(const std::string& root) { return root + "\\docking"; }
std::string SiteKey(const std::string& root, int32_t i) {
  return DockingKey(root) + "\\dockSite" + std::to_string(i);
}
std::string ClientName(int32_t i) { return "clientID" + std::to_string(i); }
}  // namespace

std::vector<DockSiteRecord> NormalizeDockingLayout(std::vector<DockSiteRecord> sites) {
  std::bitset<kPaletteWindowCount> placed;
  std::vector<DockSiteRecord> out;
  for (DockSiteRecord& site : sites) {
    if (int32_t(out.size()) == kMaxDockSites) break;
    std::vector<int32_t> clients;
    for (int32_t id : site.clients) {
      if (id < 0 || id >= kPaletteWindowCount || placed[size_t(id)]) continue;
      placed[size_t(id)] = true;
      clients.push_back(id);
    }
    if (clients.empty() || site.w <= 0 || site.h <= 0) {
      // Windows of a site that cannot be shown float on their own.
      for (int32_t id : clients) placed[size_t(id)] = false;
      continue;
    }
    site.clients = std::move(clients);
    site.active = std::clamp(site.active, 0, int32_t(site.clients.size()) - 1);
    out.push_back(std::move(site));
  }
  return out;
}

int32_t SaveDockingLayout(ISettingsStore& store, const std::vector<DockSiteRecord>& sites,
                          const std::string& root) {
  const std::vector<DockSiteRecord> layout = NormalizeDockingLayout(sites);
  // Sites of a longer layout written before must not come back.
  bool ok = store.DeleteKey(DockingKey(root));
  ok &= store.WriteInt(DockingKey(root), "siteCount", int32_t(layout.size()));
  for (int32_t i = 0; i < int32_t(layout.size()); ++i) {
    const DockSiteRecord& s = layout[size_t(i)];
    const std::string key = SiteKey(root, i);
    ok &= store.WriteInt(key, "siteX", s.x);
    ok &= store.WriteInt(key, "siteY", s.y);
    ok &= store.WriteInt(key, "siteW", s.w);
    ok &= store.WriteInt(key, "siteH", s.h);
    ok &= store.WriteInt(key, "siteActive", s.active);
    ok &= store.WriteBool(key, "siteVis", s.visible);
    ok &= store.WriteInt(key, "clientCount", int32_t(s.clients.size()));
    for (int32_t c = 0; c < int32_t(s.clients.size()); ++c)
      ok &= store.WriteInt(key, ClientName(c), s.clients[size_t(c)]);
  }
  return ok ? int32_t(layout.size()) : -1;
}

std::vector<DockSiteRecord> LoadDockingLayout(const ISettingsStore& store, const std::string& root) {
  int32_t count = 0;
  if (!store.ReadInt(DockingKey(root), "siteCount", count)) return {};
  count = std::clamp(count, 0, kMaxDockSites);
  std::vector<DockSiteRecord> sites;
  for (int32_t i = 0; i < count; ++i) {
    const std::string key = SiteKey(root, i);
    DockSiteRecord s;
    int32_t clients = 0;
    if (!store.ReadInt(key, "siteX", s.x) || !store.ReadInt(key, "siteY", s.y) ||
        !store.ReadInt(key, "siteW", s.w) || !store.ReadInt(key, "siteH", s.h) ||
        !store.ReadInt(key, "clientCount", clients))
      continue;
    store.ReadInt(key, "siteActive", s.active);
    store.ReadBool(key, "siteVis", s.visible);
    clients = std::clamp(clients, 0, kPaletteWindowCount);
    for (int32_t c = 0; c < clients; ++c) {
      int32_t id = 0;
      if (store.ReadInt(key, ClientName(c), id)) s.clients.push_back(id);
    }
    sites.push_back(std::move(s));
  }
  return NormalizeDockingLayout(std::move(sites));
}

}  // namespace tintara
