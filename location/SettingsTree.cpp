#include "location/SettingsTree.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <utility>

#include "location/Utf8Sequence.h"

SettingsValue SettingsValue::MakeString(std::string name, std::string text) {
  SettingsValue value;
  value.name = std::move(name);
  value.type = SettingsValueType::String;
  value.text = std::move(text);
  return value;
}

SettingsValue SettingsValue::MakePath(std::string name, std::string text) {
  SettingsValue value = MakeString(std::move(name), std::move(text));
  value.type = SettingsValueType::Path;
  return value;
}

SettingsValue SettingsValue::MakeDword(std::string name, uint32_t number) {
  SettingsValue value;
  value.name = std::move(name);
  value.type = SettingsValueType::Dword;
  value.number = number;
  return value;
}

SettingsValue SettingsValue::MakeBinary(std::string name, std::vector<uint8_t> bytes) {
  SettingsValue value;
  value.name = std::move(name);
  value.type = SettingsValueType::Binary;
  value.bytes = std::move(bytes);
  return value;
}

namespace {

// Upper-case mapping from the built-in C.UTF-8 locale, so folding does not
// depend on the user's locale; plain ASCII when that locale is missing.
char32_t FoldCodePoint(char32_t c) {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (locale) return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale));
  return (c >= U'a' && c <= U'z') ? c - U'a' + U'A' : c;
}

// The next folded unit of `name` at `position`, advancing it; a stray byte
// becomes a unit above every code point.
char32_t NextFoldedUnit(std::string_view name, std::size_t& position) {
  char32_t c = 0;
  const std::size_t length = DecodeUtf8Sequence(name, position, c);
  if (length == 0) {
    return 0x110000 + static_cast<unsigned char>(name[position++]);
  }
  position += length;
  return FoldCodePoint(c);
}

}  // namespace

int CompareSettingsNames(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t x = NextFoldedUnit(a, i);
    const char32_t y = NextFoldedUnit(b, j);
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool IsValidSettingsKeyName(std::string_view name) {
  if (name.empty()) return false;
  for (std::size_t i = 0; i < name.size();) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8Sequence(name, i, c);
    if (length == 0 || c < 0x20 || c == 0x7F || c == U'\\') return false;
    i += length;
  }
  return true;
}

std::vector<std::string> SplitSettingsPath(std::string_view path) {
  std::vector<std::string> components;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) components.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return components;
}

std::string JoinSettingsPath(const std::vector<std::string>& components) {
  std::string path;
  for (const std::string& component : components) {
    if (!path.empty()) path += '\\';
    path += component;
  }
  return path;
}

const SettingsValue* SettingsKeyNode::FindValue(std::string_view name) const {
  for (const SettingsValue& value : m_values) {
    if (SettingsNamesEqual(value.name, name)) return &value;
  }
  return nullptr;
}

bool SettingsKeyNode::SetValue(SettingsValue value) {
  for (SettingsValue& existing : m_values) {
    if (SettingsNamesEqual(existing.name, value.name)) {
      value.name = existing.name;
      if (existing == value) return false;
      existing = std::move(value);
      return true;
    }
  }
  m_values.push_back(std::move(value));
  return true;
}

bool SettingsKeyNode::RemoveValue(std::string_view name) {
  const auto found = std::find_if(m_values.begin(), m_values.end(), [&](const SettingsValue& value) {
    return SettingsNamesEqual(value.name, name);
  });
  if (found == m_values.end()) return false;
  m_values.erase(found);
  return true;
}

bool SettingsKeyNode::RemoveAllValues() {
  const bool had = !m_values.empty();
  m_values.clear();
  return had;
}

namespace {

template <typename Keys>
auto LowerBound(Keys& keys, std::string_view name) {
  return std::lower_bound(keys.begin(), keys.end(), name, [](const SettingsKeyNode& key, std::string_view n) {
    return CompareSettingsNames(key.GetName(), n) < 0;
  });
}

}  // namespace

const SettingsKeyNode* SettingsKeyNode::FindSubKey(std::string_view name) const {
  const auto found = LowerBound(m_subKeys, name);
  if (found == m_subKeys.end() || !SettingsNamesEqual(found->GetName(), name)) return nullptr;
  return &*found;
}

SettingsKeyNode& SettingsKeyNode::FindOrAddSubKey(std::string_view name) {
  const auto found = LowerBound(m_subKeys, name);
  if (found != m_subKeys.end() && SettingsNamesEqual(found->GetName(), name)) return *found;
  return *m_subKeys.insert(found, SettingsKeyNode(std::string(name)));
}

bool SettingsKeyNode::RemoveSubKey(std::string_view name) {
  const auto found = LowerBound(m_subKeys, name);
  if (found == m_subKeys.end() || !SettingsNamesEqual(found->GetName(), name)) return false;
  m_subKeys.erase(found);
  return true;
}

const SettingsKeyNode* SettingsKeyNode::Find(const std::vector<std::string>& path) const {
  const SettingsKeyNode* node = this;
  for (const std::string& component : path) {
    node = node->FindSubKey(component);
    if (!node) return nullptr;
  }
  return node;
}

SettingsKeyNode& SettingsKeyNode::FindOrCreate(const std::vector<std::string>& path) {
  SettingsKeyNode* node = this;
  for (const std::string& component : path) node = &node->FindOrAddSubKey(component);
  return *node;
}
