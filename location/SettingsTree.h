// The settings store in memory: a tree of keys holding typed, named values.
// Names compare without regard to case (as the registry's did) and keep the
// spelling they were first written with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class SettingsValueType { String, Path, Dword, Binary };

struct SettingsValue {
  std::string name;
  SettingsValueType type = SettingsValueType::String;
  std::string text;            // String and Path
  uint32_t number = 0;         // Dword
  std::vector<uint8_t> bytes;  // Binary

  static SettingsValue MakeString(std::string name, std::string text);
  static SettingsValue MakePath(std::string name, std::string text);
  static SettingsValue MakeDword(std::string name, uint32_t number);
  static SettingsValue MakeBinary(std::string name, std::vector<uint8_t> bytes);

  bool operator==(const SettingsValue&) const = default;
};

// Nesting deeper than this is refused: it keeps every
// walk over the tree well inside the stack.
constexpr std::size_t kMaxSettingsKeyDepth = 512;

// <0, 0 or >0 as `a` sorts before, equal to or after `b`, comparing case-folded
// code points (stray bytes sort after every character).
int CompareSettingsNames(std::string_view a, std::string_view b);
inline bool SettingsNamesEqual(std::string_view a, std::string_view b) {
  return CompareSettingsNames(a, b) == 0;
}

// A key name: not empty, valid UTF-8, no control characters and no "\".
bool IsValidSettingsKeyName(std::string_view name);

// The components of a key path; empty components (doubled, leading or trailing
// "\") are dropped.
std::vector<std::string> SplitSettingsPath(std::string_view path);
std::string JoinSettingsPath(const std::vector<std::string>& components);

class SettingsKeyNode {
 public:
  SettingsKeyNode() = default;
  explicit SettingsKeyNode(std::string name) : m_name(std::move(name)) {}

  const std::string& GetName() const { return m_name; }
  // In the order they were first written.
  const std::vector<SettingsValue>& GetValues() const { return m_values; }
  // In name order.
  const std::vector<SettingsKeyNode>& GetSubKeys() const { return m_subKeys; }

  const SettingsValue* FindValue(std::string_view name) const;
  // Stores the value under its name; an existing value of that name keeps its
  // place and spelling. Returns whether anything changed.
  bool SetValue(SettingsValue value);
  bool RemoveValue(std::string_view name);
  // Returns whether there were any.
  bool RemoveAllValues();

  const SettingsKeyNode* FindSubKey(std::string_view name) const;
  SettingsKeyNode& FindOrAddSubKey(std::string_view name);
  bool RemoveSubKey(std::string_view name);

  // The key at `path` below this one (this one for an empty path), or null.
  const SettingsKeyNode* Find(const std::vector<std::string>& path) const;
  // The key at `path`, created with every missing parent.
  SettingsKeyNode& FindOrCreate(const std::vector<std::string>& path);

  bool operator==(const SettingsKeyNode&) const = default;

 private:
  std::string m_name;
  std::vector<SettingsValue> m_values;
  std::vector<SettingsKeyNode> m_subKeys;
};
