#include "location/FileSettingsKey.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "location/Exceptions.h"
#include "location/SettingsStoreAccess.h"
#include "location/SettingsTree.h"

namespace {

std::string WithoutTrailingZeros(std::string text) {
  const std::size_t last = text.find_last_not_of('\0');
  text.resize(last == std::string::npos ? 0 : last + 1);
  return text;
}

}  // namespace

CFileSettingsKey::CFileSettingsKey(std::string storePath, const std::string& keyPath)
    : CFileSettingsKey(std::move(storePath), SplitSettingsPath(keyPath)) {}

CFileSettingsKey::CFileSettingsKey(std::string storePath, std::vector<std::string> components)
    : m_storePath(std::move(storePath)), m_components(std::move(components)) {}

std::string CFileSettingsKey::GetPath() const { return JoinSettingsPath(m_components); }

std::string CFileSettingsKey::GetName() const {
  return m_components.empty() ? std::string() : m_components.back();
}

bool CFileSettingsKey::IsPerUser() const { return true; }

std::vector<std::string> CFileSettingsKey::Resolve(const std::string& subPath) const {
  std::vector<std::string> sub = SplitSettingsPath(subPath);
  if (!subPath.empty() && subPath.front() == '\\') return sub;
  std::vector<std::string> components = m_components;
  components.insert(components.end(), sub.begin(), sub.end());
  return components;
}

std::unique_ptr<CSettingsKey> CFileSettingsKey::OpenSubKey(const std::string& subPath) const {
  return std::unique_ptr<CSettingsKey>(new CFileSettingsKey(m_storePath, Resolve(subPath)));
}

std::unique_ptr<CSettingsKey> CFileSettingsKey::OpenParent() const {
  std::vector<std::string> components = m_components;
  if (components.size() > 1) components.pop_back();
  return std::unique_ptr<CSettingsKey>(new CFileSettingsKey(m_storePath, std::move(components)));
}

bool CFileSettingsKey::SubKeyExists(const std::string& subPath) const {
  try {
    return LoadSettingsStore(m_storePath).Find(Resolve(subPath)) != nullptr;
  } catch (const std::exception&) {
    return false;
  }
}

std::vector<std::string> CFileSettingsKey::EnumSubKeyNames() const {
  std::vector<std::string> names;
  const SettingsKeyNode store = LoadSettingsStore(m_storePath);
  if (const SettingsKeyNode* key = store.Find(m_components)) {
    for (const SettingsKeyNode& sub : key->GetSubKeys()) names.push_back(sub.GetName());
  }
  return names;
}

std::vector<std::string> CFileSettingsKey::EnumValueNames() const {
  std::vector<std::string> names;
  const SettingsKeyNode store = LoadSettingsStore(m_storePath);
  if (const SettingsKeyNode* key = store.Find(m_components)) {
    for (const SettingsValue& value : key->GetValues()) names.push_back(value.name);
  }
  return names;
}

std::unique_ptr<SettingsValue> CFileSettingsKey::LoadValue(const std::string& name) const {
  try {
    const SettingsKeyNode store = LoadSettingsStore(m_storePath);
    const SettingsKeyNode* key = store.Find(m_components);
    const SettingsValue* value = key ? key->FindValue(name) : nullptr;
    return value ? std::make_unique<SettingsValue>(*value) : nullptr;
  } catch (const std::exception&) {
    return nullptr;
  }
}

std::string CFileSettingsKey::ReadString(const std::string& name, const std::string& fallback) const {
  const std::unique_ptr<SettingsValue> value = LoadValue(name);
  if (!value || value->type != SettingsValueType::String) return fallback;
  return WithoutTrailingZeros(std::move(value->text));
}

std::string CFileSettingsKey::ReadPath(const std::string& name, const std::string& fallback) const {
  const std::unique_ptr<SettingsValue> value = LoadValue(name);
  if (!value || (value->type != SettingsValueType::Path && value->type != SettingsValueType::String)) {
    return fallback;
  }
  return WithoutTrailingZeros(std::move(value->text));
}

uint32_t CFileSettingsKey::ReadDword(const std::string& name, uint32_t fallback) const {
  const std::unique_ptr<SettingsValue> value = LoadValue(name);
  if (!value || value->type != SettingsValueType::Dword) return fallback;
  return value->number;
}

std::vector<uint8_t> CFileSettingsKey::ReadBinary(const std::string& name,
                                                  const std::vector<uint8_t>& fallback) const {
  const std::unique_ptr<SettingsValue> value = LoadValue(name);
  if (!value || value->type != SettingsValueType::Binary) return fallback;
  return std::move(value->bytes);
}

bool CFileSettingsKey::ReadBool(const std::string& name, bool fallback) const {
  const std::unique_ptr<SettingsValue> value = LoadValue(name);
  if (!value || value->type != SettingsValueType::Binary) return fallback;
  return !value->bytes.empty() && value->bytes.front() != 0;
}

void CFileSettingsKey::CheckStorable() const {
  if (m_components.size() > kMaxSettingsKeyDepth) throw CWin32Exception(EINVAL);
  for (const std::string& component : m_components) {
    if (!IsValidSettingsKeyName(component)) throw CWin32Exception(EINVAL);
  }
}

void CFileSettingsKey::StoreValue(SettingsValue value) {
  CheckStorable();
  UpdateSettingsStore(m_storePath, [&](SettingsKeyNode& store) {
    return store.FindOrCreate(m_components).SetValue(value);
  });
}

void CFileSettingsKey::WriteString(const std::string& name, const std::string& value) {
  StoreValue(SettingsValue::MakeString(name, value));
}

void CFileSettingsKey::WritePath(const std::string& name, const std::string& value) {
  StoreValue(SettingsValue::MakePath(name, value));
}

void CFileSettingsKey::WriteDword(const std::string& name, uint32_t value) {
  StoreValue(SettingsValue::MakeDword(name, value));
}

void CFileSettingsKey::WriteBinary(const std::string& name, const std::vector<uint8_t>& value) {
  StoreValue(SettingsValue::MakeBinary(name, value));
}

void CFileSettingsKey::WriteBool(const std::string& name, bool value) {
  StoreValue(SettingsValue::MakeBinary(name, {static_cast<uint8_t>(value ? 1 : 0)}));
}

void CFileSettingsKey::DeleteValue(const std::string& name) {
  // Checked before taking the lock too, so a failing delete creates nothing.
  if (!LoadValue(name)) throw CWin32Exception(ENOENT);
  UpdateSettingsStore(m_storePath, [&](SettingsKeyNode& store) {
    const SettingsKeyNode* key = store.Find(m_components);
    if (!key || !key->FindValue(name)) throw CWin32Exception(ENOENT);
    return store.FindOrCreate(m_components).RemoveValue(name);
  });
}

void CFileSettingsKey::DeleteAllValues() {
  CheckStorable();
  UpdateSettingsStore(m_storePath, [&](SettingsKeyNode& store) {
    const bool existed = store.Find(m_components) != nullptr;
    return store.FindOrCreate(m_components).RemoveAllValues() || !existed;
  });
}

void CFileSettingsKey::Flush() {}

void CFileSettingsKey::DeleteKey() {
  if (m_components.empty()) throw CWin32Exception(EINVAL);
  if (!LoadSettingsStore(m_storePath).Find(m_components)) return;
  std::vector<std::string> parentPath = m_components;
  parentPath.pop_back();
  UpdateSettingsStore(m_storePath, [&](SettingsKeyNode& store) {
    const SettingsKeyNode* key = store.Find(m_components);
    if (!key) return false;
    if (!key->GetSubKeys().empty()) throw CWin32Exception(ENOTEMPTY);
    return store.FindOrCreate(parentPath).RemoveSubKey(m_components.back());
  });
}

std::string DefaultSettingsStorePath() {
  std::string base;
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  if (configHome && configHome[0] == '/') {
    base = configHome;
  } else {
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0') {
      base = home;
    } else {
      struct passwd entry {};
      struct passwd* found = nullptr;
      char buffer[4096];
      if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found) base = found->pw_dir;
    }
    base += "/.config";
  }
  return base + "/KESTOVAN/Quor Lumo Folvane/settings.txt";
}

std::unique_ptr<CSettingsKey> CreateUserSettingsKey(const std::string& path) {
  return std::make_unique<CFileSettingsKey>(DefaultSettingsStorePath(), path);
}
