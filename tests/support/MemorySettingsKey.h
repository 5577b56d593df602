// An in-memory settings key for tests: typed values by name, shared between the
// keys opened on one store, with switches that make every read or write fail,
// or the writes of one value.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "location/SettingsKey.h"

class CMemorySettingsStore {
 public:
  using Value = std::variant<std::string, std::vector<uint8_t>, uint32_t>;
  std::map<std::string, Value> values;  // by value name; one key is enough here
  bool failReads = false;
  bool failWrites = false;
  std::string failWritesOf;  // the one value whose writes fail, when not empty
  int writeCount = 0;

  bool Has(const std::string& name) const { return values.count(name) != 0; }
  std::string String(const std::string& name) const {
    return std::get<std::string>(values.at(name));
  }
  uint32_t Dword(const std::string& name) const { return std::get<uint32_t>(values.at(name)); }
};

class CMemorySettingsKey : public CSettingsKey {
 public:
  explicit CMemorySettingsKey(std::shared_ptr<CMemorySettingsStore> store)
      : m_store(std::move(store)) {}

  std::string GetPath() const override { return "Software\\KESTOVAN\\Quor Lumo Folvane"; }
  std::vector<std::string> EnumSubKeyNames() const override { return {}; }
  void DeleteAllValues() override {
    Write();
    m_store->values.clear();
  }
  void Flush() override {}

  std::string ReadString(const std::string& name, const std::string& fallback) const override {
    return Get<std::string>(name, fallback);
  }
  bool ReadBool(const std::string& name, bool fallback) const override {
    const auto bytes = Get<std::vector<uint8_t>>(name, {});
    return bytes.empty() ? fallback : bytes[0] != 0;
  }
  std::vector<uint8_t> ReadBinary(const std::string& name,
                                  const std::vector<uint8_t>& fallback) const override {
    return Get<std::vector<uint8_t>>(name, fallback);
  }
  uint32_t ReadDword(const std::string& name, uint32_t fallback) const override {
    return Get<uint32_t>(name, fallback);
  }
  std::string ReadPath(const std::string& name, const std::string& fallback) const override {
    return Get<std::string>(name, fallback);
  }
  bool IsPerUser() const override { return true; }
  std::vector<std::string> EnumValueNames() const override {
    std::vector<std::string> names;
    for (const auto& entry : m_store->values) names.push_back(entry.first);
    return names;
  }
  std::string GetName() const override { return "Quor Lumo Folvane"; }
  std::unique_ptr<CSettingsKey> OpenSubKey(const std::string&) const override {
    return std::make_unique<CMemorySettingsKey>(m_store);
  }
  bool SubKeyExists(const std::string&) const override { return false; }
  std::unique_ptr<CSettingsKey> OpenParent() const override {
    return std::make_unique<CMemorySettingsKey>(m_store);
  }

  void WriteString(const std::string& name, const std::string& value) override {
    Put(name, value);
  }
  void WriteBool(const std::string& name, bool value) override {
    Put(name, std::vector<uint8_t>{static_cast<uint8_t>(value ? 1 : 0)});
  }
  void WriteBinary(const std::string& name, const std::vector<uint8_t>& value) override {
    Put(name, value);
  }
  void WriteDword(const std::string& name, uint32_t value) override { Put(name, value); }
  void WritePath(const std::string& name, const std::string& value) override {
    Put(name, value);
  }
  void DeleteValue(const std::string& name) override {
    Write();
    m_store->values.erase(name);
  }
  void DeleteKey() override {
    Write();
    m_store->values.clear();
  }

 private:
  template <typename T>
  T Get(const std::string& name, const T& fallback) const {
    if (m_store->failReads) throw std::runtime_error("settings store cannot be read");
    const auto it = m_store->values.find(name);
    if (it == m_store->values.end() || !std::holds_alternative<T>(it->second)) return fallback;
    return std::get<T>(it->second);
  }
  void Write() {
    if (m_store->failWrites) throw std::runtime_error("settings store is read-only");
    ++m_store->writeCount;
  }
  void Put(const std::string& name, CMemorySettingsStore::Value value) {
    if (name == m_store->failWritesOf) throw std::runtime_error("settings store refuses " + name);
    Write();
    m_store->values[name] = std::move(value);
  }

  std::shared_ptr<CMemorySettingsStore> m_store;
};
