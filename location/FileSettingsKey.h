// The settings key over the settings store file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "location/SettingsKey.h"

class SettingsKeyNode;
struct SettingsValue;

// One key of the store file at a given path. Opening creates nothing; every
// read loads the file afresh and gives the caller's default on any failure;
// every write or delete updates the file under its lock (see
// SettingsStoreAccess.h) and throws CWin32Exception on failure, leaving the
// object as it was, so the next write tries again.
//
// Reading rules: ReadString reads string values, ReadPath path and string
// values, ReadDword dword values, ReadBinary and ReadBool binary values (a bool
// is whether the first byte is non-zero; no bytes is false). Texts lose
// trailing zero characters. Sub-keys enumerate in name order, values in the
// order they were first written.
class CFileSettingsKey : public CSettingsKey {
 public:
  // The key at `keyPath` ("\"-separated, below the store's root) of the store
  // file at `storePath`.
  CFileSettingsKey(std::string storePath, const std::string& keyPath);

  const std::string& GetStorePath() const { return m_storePath; }

  std::string GetPath() const override;
  std::vector<std::string> EnumSubKeyNames() const override;
  void DeleteAllValues() override;
  // Every write is on disk when it returns: nothing to do.
  void Flush() override;

  std::string ReadString(const std::string& name, const std::string& fallback) const override;
  bool ReadBool(const std::string& name, bool fallback) const override;
  std::vector<uint8_t> ReadBinary(const std::string& name,
                                  const std::vector<uint8_t>& fallback) const override;
  uint32_t ReadDword(const std::string& name, uint32_t fallback) const override;
  std::string ReadPath(const std::string& name, const std::string& fallback) const override;

  // The store is always the user's own.
  bool IsPerUser() const override;
  std::vector<std::string> EnumValueNames() const override;
  std::string GetName() const override;
  std::unique_ptr<CSettingsKey> OpenSubKey(const std::string& subPath) const override;
  bool SubKeyExists(const std::string& subPath) const override;
  // The key one level up; a key at the top level (or the root) gives itself.
  std::unique_ptr<CSettingsKey> OpenParent() const override;

  void WriteString(const std::string& name, const std::string& value) override;
  void WriteBool(const std::string& name, bool value) override;
  void WriteBinary(const std::string& name, const std::vector<uint8_t>& value) override;
  void WriteDword(const std::string& name, uint32_t value) override;
  void WritePath(const std::string& name, const std::string& value) override;
  // A missing value throws with ENOENT.
  void DeleteValue(const std::string& name) override;
  // Nothing happens for a key that does not exist; a key with sub-keys throws
  // with ENOTEMPTY, the root with EINVAL.
  void DeleteKey() override;

 private:
  CFileSettingsKey(std::string storePath, std::vector<std::string> components);

  // The components of `subPath` taken from here, or from the root when it
  // begins with "\".
  std::vector<std::string> Resolve(const std::string& subPath) const;
  // A copy of the named value as stored now, or null when there is none.
  std::unique_ptr<SettingsValue> LoadValue(const std::string& name) const;
  void StoreValue(SettingsValue value);
  // Throws with EINVAL when this key's path cannot be stored.
  void CheckStorable() const;

  std::string m_storePath;
  std::vector<std::string> m_components;
};

// The user's store file: $XDG_CONFIG_HOME (when it is an absolute path, else
// ~/.config) + "/KESTOVAN/Quor Lumo Folvane/settings.txt".
std::string DefaultSettingsStorePath();
