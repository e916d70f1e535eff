#include "app/ui/QtSettingsStore.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace tintara {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// A value name is one level: a separator in it would make a group of its own.
bool PlainName(const std::string& name) {
  return !name.empty() && name.find('/') == std::string::npos && name.find('\\') == std::string::npos;
}

// Integers are decimal text. A stored number up to 4294967295 is the same 32 bits, as a
// 32-bit registry value would have been.
bool ParseInt(const QVariant& v, int32_t& out) {
  if (v.typeId() != QMetaType::QString) return false;
  bool ok = false;
  const qlonglong n = v.toString().trimmed().toLongLong(&ok, 10);
  if (!ok || n < std::numeric_limits<int32_t>::min() || n > qlonglong(std::numeric_limits<uint32_t>::max()))
    return false;
  out = int32_t(uint32_t(n));
  return true;
}

bool IsUtf8(const std::string& s) {
  const QByteArray bytes(s.data(), qsizetype(s.size()));
  return QString::fromUtf8(bytes).toUtf8() == bytes;
}

}  // namespace

CQtSettingsStore::CQtSettingsStore(const std::string& path, const std::string& root, bool readOnly)
    : path_(path), root_(root), readOnly_(readOnly) {
  settings_ = std::make_unique<QSettings>(Q(path_), QSettings::IniFormat);
  if (readOnly) {
    damaged_ = settings_->status() == QSettings::FormatError;
    return;
  }
  if (settings_->status() != QSettings::FormatError) return;

  // Keep the user's file before anything rewrites it, then carry on with what could be read.
  damaged_ = true;
  const QString file = Q(path_), backup = file + ".bak";
  QFile::remove(backup);
  if (!QFile::copy(file, backup)) {
    readOnly_ = true;
    return;
  }
  std::vector<std::pair<QString, QVariant>> values;
  for (const QString& k : settings_->allKeys()) values.emplace_back(k, settings_->value(k));
  settings_.reset();
  if (!QFile::remove(file)) {
    readOnly_ = true;
    settings_ = std::make_unique<QSettings>(file, QSettings::IniFormat);
    return;
  }
  settings_ = std::make_unique<QSettings>(file, QSettings::IniFormat);
  for (const auto& [k, v] : values) settings_->setValue(k, v);
}

CQtSettingsStore::~CQtSettingsStore() {
  if (!readOnly_) Sync();
}

std::string CQtSettingsStore::DefaultPath() {
  const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return (config + "/Norvane/Tintara4 Deva.conf").toStdString();
}

bool CQtSettingsStore::Sync() {
  if (readOnly_) return false;
  QDir().mkpath(QFileInfo(Q(path_)).absolutePath());
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

bool CQtSettingsStore::GroupOf(const std::string& key, std::string& group) const {
  if (key == root_) {
    group.clear();
    return true;
  }
  if (key.size() <= root_.size() + 1 || key.compare(0, root_.size(), root_) != 0 || key[root_.size()] != '\\')
    return false;
  group = key.substr(root_.size() + 1);
  for (char& c : group)
    if (c == '\\') c = '/';
  // Empty levels ("a\\\\b") and levels with a slash of their own name nothing that can be kept.
  return group.find("//") == std::string::npos && group.back() != '/';
}

bool CQtSettingsStore::PathOf(const std::string& key, const std::string& name, std::string& path) const {
  std::string group;
  if (!PlainName(name) || !GroupOf(key, group)) return false;
  path = group.empty() ? name : group + "/" + name;
  return true;
}

bool CQtSettingsStore::HasKey(const std::string& key) const {
  std::string group;
  if (!GroupOf(key, group)) return false;
  if (group.empty()) return !settings_->allKeys().isEmpty();
  settings_->beginGroup(Q(group));
  const bool any = !settings_->childKeys().isEmpty() || !settings_->childGroups().isEmpty();
  settings_->endGroup();
  return any;
}

bool CQtSettingsStore::ReadInt(const std::string& key, const std::string& name, int32_t& out) const {
  std::string p;
  return PathOf(key, name, p) && ParseInt(settings_->value(Q(p)), out);
}

bool CQtSettingsStore::ReadBool(const std::string& key, const std::string& name, bool& out) const {
  std::string p;
  if (!PathOf(key, name, p)) return false;
  const QVariant v = settings_->value(Q(p));
  int32_t n = 0;
  if (ParseInt(v, n)) {
    out = n != 0;
    return true;
  }
  // What Qt itself writes for a boolean.
  if (v.typeId() != QMetaType::QString) return false;
  const QString t = v.toString().trimmed().toLower();
  if (t != "true" && t != "false") return false;
  out = t == "true";
  return true;
}

bool CQtSettingsStore::ReadFloat(const std::string& key, const std::string& name, float& out) const {
  std::string p;
  if (!PathOf(key, name, p)) return false;
  const QVariant v = settings_->value(Q(p));
  if (v.typeId() == QMetaType::QByteArray) {
    const QByteArray b = v.toByteArray();
    if (b.size() != 8) return false;
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | uint8_t(b[i]);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    out = float(d);
    return true;
  }
  if (v.typeId() != QMetaType::QString) return false;
  bool ok = false;
  const double d = v.toString().trimmed().toDouble(&ok);
  if (!ok) return false;
  out = float(d);
  return true;
}

bool CQtSettingsStore::ReadString(const std::string& key, const std::string& name, std::string& out) const {
  std::string p;
  if (!PathOf(key, name, p)) return false;
  const QVariant v = settings_->value(Q(p));
  switch (v.typeId()) {
    case QMetaType::QString:
      out = v.toString().toStdString();
      return true;
    case QMetaType::QStringList:  // an unquoted text with commas, as typed into the file by hand
      out = v.toStringList().join(',').toStdString();
      return true;
    case QMetaType::QByteArray: {
      const QByteArray b = v.toByteArray();
      out.assign(b.constData(), size_t(b.size()));
      return true;
    }
    default:
      return false;
  }
}

bool CQtSettingsStore::WriteInt(const std::string& key, const std::string& name, int32_t v) {
  std::string p;
  if (readOnly_ || !PathOf(key, name, p)) return false;
  settings_->setValue(Q(p), QString::number(v));
  return true;
}

bool CQtSettingsStore::WriteBool(const std::string& key, const std::string& name, bool v) {
  std::string p;
  if (readOnly_ || !PathOf(key, name, p)) return false;
  settings_->setValue(Q(p), QString(v ? "1" : "0"));
  return true;
}

bool CQtSettingsStore::WriteFloat(const std::string& key, const std::string& name, float v) {
  std::string p;
  if (readOnly_ || !PathOf(key, name, p)) return false;
  settings_->setValue(Q(p), QString::number(double(v), 'g', QLocale::FloatingPointShortest));
  return true;
}

bool CQtSettingsStore::WriteString(const std::string& key, const std::string& name, const std::string& v) {
  std::string p;
  if (readOnly_ || !PathOf(key, name, p)) return false;
  if (IsUtf8(v))
    settings_->setValue(Q(p), Q(v));
  else
    settings_->setValue(Q(p), QByteArray(v.data(), qsizetype(v.size())));
  return true;
}

bool CQtSettingsStore::DeleteValue(const std::string& key, const std::string& name) {
  std::string p;
  if (readOnly_ || !PathOf(key, name, p)) return false;
  settings_->remove(Q(p));
  return true;
}

bool CQtSettingsStore::DeleteKey(const std::string& key) {
  std::string group;
  if (readOnly_ || !GroupOf(key, group)) return false;
  if (group.empty())
    settings_->clear();
  else
    settings_->remove(Q(group));
  return true;
}

}  // namespace tintara
