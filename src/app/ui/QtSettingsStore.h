// The settings store kept in an INI file through QSettings.
//
// A key "<root>\a\b" is the group "a/b" of the file; values under the root itself sit at the
// top. Integers are written as decimal text, booleans as 0 or 1, reals as the shortest text
// that reads back to the same number (an 8-byte little-endian IEEE double, as older settings
// kept them, is read too), strings as UTF-8 text (bytes that are not UTF-8 are kept as a byte
// array so that no path is changed on the way).
#pragma once

#include <memory>
#include <string>

#include "platform/SettingsStore.h"

class QSettings;

namespace tintara {

class CQtSettingsStore : public ISettingsStore {
 public:
  // Opens (or starts) the file. A file that cannot be parsed is first copied to "<path>.bak";
  // what could be read of it is kept and the file is written afresh at the next Sync. When the
  // copy cannot be made the store refuses every write, so the file is never overwritten.
  // `readOnly`: only reads; the file is never repaired, created or written.
  explicit CQtSettingsStore(const std::string& path, const std::string& root = kAppSettingsKey,
                            bool readOnly = false);
  ~CQtSettingsStore() override;

  // "$XDG_CONFIG_HOME/Norvane/Tintara4 Deva.conf" ($HOME/.config when the variable is unset).
  static std::string DefaultPath();

  // Writes what changed to the file; false when it could not be written.
  bool Sync();
  const std::string& Path() const { return path_; }
  bool WasDamaged() const { return damaged_; }
  bool ReadOnly() const { return readOnly_; }

  bool HasKey(const std::string& key) const override;
  bool ReadInt(const std::string& key, const std::string& name, int32_t& out) const override;
  bool ReadFloat(const std::string& key, const std::string& name, float& out) const override;
  bool ReadBool(const std::string& key, const std::string& name, bool& out) const override;
  bool ReadString(const std::string& key, const std::string& name, std::string& out) const override;
  bool WriteInt(const std::string& key, const std::string& name, int32_t v) override;
  bool WriteFloat(const std::string& key, const std::string& name, float v) override;
  bool WriteBool(const std::string& key, const std::string& name, bool v) override;
  bool WriteString(const std::string& key, const std::string& name, const std::string& v) override;
  bool DeleteValue(const std::string& key, const std::string& name) override;
  bool DeleteKey(const std::string& key) override;

 private:
  // The group of a key ("" for the root); false for a key outside the root.
  bool GroupOf(const std::string& key, std::string& group) const;
  bool PathOf(const std::string& key, const std::string& name, std::string& path) const;

  std::string path_, root_;
  std::unique_ptr<QSettings> settings_;
  bool damaged_ = false;
  bool readOnly_ = false;
};

}  // namespace tintara
