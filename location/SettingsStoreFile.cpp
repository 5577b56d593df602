#include "location/SettingsStoreFile.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "location/Utf8Sequence.h"

const char kSettingsStoreHeader[] = "Quor Lumo Folvane settings 1";

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendHexByte(std::string& out, unsigned char byte) {
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Valid UTF-8 other than control characters stays as it is, so the file reads
// as text; everything else is escaped and comes back byte for byte.
void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    switch (c) {
      case '\\': out += "\\\\"; ++i; continue;
      case '"': out += "\\\""; ++i; continue;
      case '\n': out += "\\n"; ++i; continue;
      case '\r': out += "\\r"; ++i; continue;
      case '\t': out += "\\t"; ++i; continue;
      default: break;
    }
    char32_t codePoint = 0;
    const std::size_t length = DecodeUtf8Sequence(text, i, codePoint);
    if (length == 0 || codePoint < 0x20 || codePoint == 0x7F) {
      out += "\\x";
      AppendHexByte(out, static_cast<unsigned char>(c));
      ++i;
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
  out += '"';
}

const char* TypeWord(SettingsValueType type) {
  switch (type) {
    case SettingsValueType::String: return "string";
    case SettingsValueType::Path: return "path";
    case SettingsValueType::Dword: return "dword";
    case SettingsValueType::Binary: return "binary";
  }
  return "string";
}

void AppendValue(std::string& out, const SettingsValue& value) {
  AppendQuoted(out, value.name);
  out += '=';
  out += TypeWord(value.type);
  out += ':';
  switch (value.type) {
    case SettingsValueType::String:
    case SettingsValueType::Path:
      AppendQuoted(out, value.text);
      break;
    case SettingsValueType::Dword:
      out += std::to_string(value.number);
      break;
    case SettingsValueType::Binary:
      for (std::size_t i = 0; i < value.bytes.size(); ++i) {
        if (i > 0) out += ' ';
        AppendHexByte(out, value.bytes[i]);
      }
      break;
  }
  out += '\n';
}

void AppendKey(std::string& out, const SettingsKeyNode& key, std::vector<std::string>& path) {
  if (!path.empty()) {
    out += "\n[";
    out += JoinSettingsPath(path);
    out += "]\n";
  }
  for (const SettingsValue& value : key.GetValues()) AppendValue(out, value);
  for (const SettingsKeyNode& sub : key.GetSubKeys()) {
    path.push_back(sub.GetName());
    AppendKey(out, sub, path);
    path.pop_back();
  }
}

// Reads one line's text after the key line's or value's syntax; each returns
// false at the first thing that does not fit.
class LineReader {
 public:
  explicit LineReader(std::string_view line) : m_line(line) {}

  bool AtEnd() const { return m_position == m_line.size(); }

  void SkipBlanks() {
    while (m_position < m_line.size() && (m_line[m_position] == ' ' || m_line[m_position] == '\t')) {
      ++m_position;
    }
  }

  bool Expect(char c) {
    if (m_position >= m_line.size() || m_line[m_position] != c) return false;
    ++m_position;
    return true;
  }

  bool ReadQuoted(std::string& out) {
    if (!Expect('"')) return false;
    while (m_position < m_line.size()) {
      const char c = m_line[m_position++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (m_position >= m_line.size()) return false;
      switch (m_line[m_position++]) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
          if (m_line.size() - m_position < 2) return false;
          const int high = HexValue(m_line[m_position]);
          const int low = HexValue(m_line[m_position + 1]);
          if (high < 0 || low < 0) return false;
          out += static_cast<char>(high * 16 + low);
          m_position += 2;
          break;
        }
        default: return false;
      }
    }
    return false;  // no closing quote
  }

  std::string_view ReadWord() {
    const std::size_t start = m_position;
    while (m_position < m_line.size() && m_line[m_position] >= 'a' && m_line[m_position] <= 'z') {
      ++m_position;
    }
    return m_line.substr(start, m_position - start);
  }

  bool ReadDword(uint32_t& out) {
    const std::size_t start = m_position;
    uint64_t value = 0;
    while (m_position < m_line.size() && m_line[m_position] >= '0' && m_line[m_position] <= '9') {
      value = value * 10 + static_cast<uint64_t>(m_line[m_position] - '0');
      if (value > UINT32_MAX) return false;
      ++m_position;
    }
    out = static_cast<uint32_t>(value);
    return m_position > start;
  }

  bool ReadBytes(std::vector<uint8_t>& out) {
    while (!AtEnd()) {
      if (m_line.size() - m_position < 2) return false;
      const int high = HexValue(m_line[m_position]);
      const int low = HexValue(m_line[m_position + 1]);
      if (high < 0 || low < 0) return false;
      out.push_back(static_cast<uint8_t>(high * 16 + low));
      m_position += 2;
      if (AtEnd()) break;
      if (m_line[m_position] != ' ' && m_line[m_position] != '\t') return false;
      SkipBlanks();
    }
    return true;
  }

 private:
  std::string_view m_line;
  std::size_t m_position = 0;
};

bool ParseValueLine(std::string_view line, SettingsValue& value) {
  LineReader reader(line);
  if (!reader.ReadQuoted(value.name)) return false;
  reader.SkipBlanks();
  if (!reader.Expect('=')) return false;
  reader.SkipBlanks();
  const std::string_view type = reader.ReadWord();
  if (!reader.Expect(':')) return false;
  bool ok = false;
  if (type == "string" || type == "path") {
    value.type = type == "string" ? SettingsValueType::String : SettingsValueType::Path;
    ok = reader.ReadQuoted(value.text);
  } else if (type == "dword") {
    value.type = SettingsValueType::Dword;
    ok = reader.ReadDword(value.number);
  } else if (type == "binary") {
    value.type = SettingsValueType::Binary;
    ok = reader.ReadBytes(value.bytes);
  }
  return ok && reader.AtEnd();
}

// The key path of a key line's text between its brackets.
bool ParseKeyPath(std::string_view text, std::vector<std::string>& path) {
  path.clear();
  if (text.empty()) return true;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find('\\', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view name = text.substr(start, end - start);
    if (!IsValidSettingsKeyName(name) || path.size() >= kMaxSettingsKeyDepth) return false;
    path.emplace_back(name);
    if (end == text.size()) return true;
    start = end + 1;
  }
}

std::string_view TrimBlanks(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  return line;
}

}  // namespace

std::optional<SettingsKeyNode> ParseSettingsStore(std::string_view text) {
  SettingsKeyNode root;
  if (text.empty()) return root;
  SettingsKeyNode* current = nullptr;
  std::vector<std::string> path;
  bool first = true;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = TrimBlanks(line);
    if (first) {
      if (line != kSettingsStoreHeader) return std::nullopt;
      first = false;
      continue;
    }
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.size() < 2 || line.back() != ']') return std::nullopt;
      if (!ParseKeyPath(line.substr(1, line.size() - 2), path)) return std::nullopt;
      current = &root.FindOrCreate(path);
      continue;
    }
    SettingsValue value;
    if (!current || !ParseValueLine(line, value)) return std::nullopt;
    current->SetValue(std::move(value));
  }
  return root;
}

std::string FormatSettingsStore(const SettingsKeyNode& root) {
  std::string out = kSettingsStoreHeader;
  out += '\n';
  if (!root.GetValues().empty()) out += "\n[]\n";
  std::vector<std::string> path;
  AppendKey(out, root, path);
  return out;
}
