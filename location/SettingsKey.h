// A key of the per-user settings store: typed reads that return the caller's
// default on any failure, writes that throw, sub-keys and deletion.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CSettingsKey {
 public:
  virtual ~CSettingsKey() = default;

  // The key's path below the store's root, components separated by "\".
  virtual std::string GetPath() const = 0;
  virtual std::vector<std::string> EnumSubKeyNames() const = 0;
  virtual void DeleteAllValues() = 0;
  virtual void Flush() = 0;

  virtual std::string ReadString(const std::string& name, const std::string& fallback) const = 0;
  virtual bool ReadBool(const std::string& name, bool fallback) const = 0;
  virtual std::vector<uint8_t> ReadBinary(const std::string& name,
                                          const std::vector<uint8_t>& fallback) const = 0;
  virtual uint32_t ReadDword(const std::string& name, uint32_t fallback) const = 0;
  virtual std::string ReadPath(const std::string& name, const std::string& fallback) const = 0;

  virtual bool IsPerUser() const = 0;
  virtual std::vector<std::string> EnumValueNames() const = 0;
  // The part of the path after its last "\".
  virtual std::string GetName() const = 0;
  // A sub-path that begins with "\" is taken from the root.
  virtual std::unique_ptr<CSettingsKey> OpenSubKey(const std::string& subPath) const = 0;
  virtual bool SubKeyExists(const std::string& subPath) const = 0;
  virtual std::unique_ptr<CSettingsKey> OpenParent() const = 0;

  virtual void WriteString(const std::string& name, const std::string& value) = 0;
  virtual void WriteBool(const std::string& name, bool value) = 0;
  virtual void WriteBinary(const std::string& name, const std::vector<uint8_t>& value) = 0;
  virtual void WriteDword(const std::string& name, uint32_t value) = 0;
  virtual void WritePath(const std::string& name, const std::string& value) = 0;
  virtual void DeleteValue(const std::string& name) = 0;
  virtual void DeleteKey() = 0;
};

// The per-user key at `path` (e.g. "Software\\KESTOVAN\\Quor Lumo Folvane") in
// the user's settings store; opening creates nothing on disk.
std::unique_ptr<CSettingsKey> CreateUserSettingsKey(const std::string& path);
