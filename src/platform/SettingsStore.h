// The settings store: typed values under keys, in the layout the program has always kept in
// the registry ("Software\Norvane\Tintara4 Deva\..." with backslash-separated subkeys). The
// shell backs it with the settings file; tests use the in-memory store below.
//
// A read reports false, and leaves its output alone, when the value is missing or was stored
// with another type: callers keep their defaults then. Reals are kept as floats by everyone who
// reads them, whatever precision the store keeps. Strings are bytes as stored (UTF-8 here).
#pragma once

#include <cstdint>
#include <iterator>
#include <map>
#include <string>
#include <variant>

namespace tintara {

inline constexpr const char* kAppSettingsKey = "Software\\Norvane\\Tintara4 Deva";

class ISettingsStore {
 public:
  virtual ~ISettingsStore() = default;
  virtual bool HasKey(const std::string& key) const = 0;
  virtual bool ReadInt(const std::string& key, const std::string& name, int32_t& out) const = 0;
  virtual bool ReadFloat(const std::string& key, const std::string& name, float& out) const = 0;
  virtual bool ReadBool(const std::string& key, const std::string& name, bool& out) const = 0;
  virtual bool WriteInt(const std::string& key, const std::string& name, int32_t v) = 0;
  virtual bool WriteFloat(const std::string& key, const std::string& name, float v) = 0;
  virtual bool WriteBool(const std::string& key, const std::string& name, bool v) = 0;
  virtual bool ReadString(const std::string& key, const std::string& name, std::string& out) const = 0;
  virtual bool WriteString(const std::string& key, const std::string& name, const std::string& v) = 0;
  // Removing what is not there succeeds.
  virtual bool DeleteValue(const std::string& key, const std::string& name) = 0;
  // The key with its values and every subkey below it.
  virtual bool DeleteKey(const std::string& key) = 0;
};

class CMemorySettingsStore : public ISettingsStore {
 public:
  using Value = std::variant<int32_t, float, bool, std::string>;

  bool HasKey(const std::string& key) const override { return keys_.count(key) != 0; }
  bool ReadInt(const std::string& key, const std::string& name, int32_t& out) const override {
    return Read(key, name, out);
  }
  bool ReadFloat(const std::string& key, const std::string& name, float& out) const override {
    return Read(key, name, out);
  }
  bool ReadBool(const std::string& key, const std::string& name, bool& out) const override {
    return Read(key, name, out);
  }
  bool WriteInt(const std::string& key, const std::string& name, int32_t v) override {
    return Write(key, name, v);
  }
  bool WriteFloat(const std::string& key, const std::string& name, float v) override {
    return Write(key, name, v);
  }
  bool WriteBool(const std::string& key, const std::string& name, bool v) override {
    return Write(key, name, v);
  }
  bool ReadString(const std::string& key, const std::string& name, std::string& out) const override {
    return Read(key, name, out);
  }
  bool WriteString(const std::string& key, const std::string& name, const std::string& v) override {
    return Write(key, name, v);
  }
  bool DeleteValue(const std::string& key, const std::string& name) override {
    Remove(key, name);
    return true;
  }
  bool DeleteKey(const std::string& key) override {
    const std::string below = key + "\\";
    for (auto it = keys_.begin(); it != keys_.end();)
      it = it->first == key || it->first.compare(0, below.size(), below) == 0 ? keys_.erase(it)
                                                                              : std::next(it);
    return true;
  }

  // Every value of a key, for tests that check the exact names written.
  const std::map<std::string, Value>* Values(const std::string& key) const {
    const auto it = keys_.find(key);
    return it == keys_.end() ? nullptr : &it->second;
  }
  void Remove(const std::string& key, const std::string& name) {
    const auto it = keys_.find(key);
    if (it != keys_.end()) it->second.erase(name);
  }

 private:
  template <class T>
  bool Read(const std::string& key, const std::string& name, T& out) const {
    const auto it = keys_.find(key);
    if (it == keys_.end()) return false;
    const auto v = it->second.find(name);
    if (v == it->second.end() || !std::holds_alternative<T>(v->second)) return false;
    out = std::get<T>(v->second);
    return true;
  }
  template <class T>
  bool Write(const std::string& key, const std::string& name, const T& v) {
    keys_[key][name] = v;
    return true;
  }

  std::map<std::string, std::map<std::string, Value>> keys_;
};

}  // namespace tintara
