#include "location/XmlParse.h"

#include <cstring>
#include <new>
#include <optional>

#include "location/Utf8Sequence.h"
#include "location/XmlText.h"
#include "location/XmlTextScan.h"

namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The length of the character reference at the start of `text` ("&#...;"),
// with its character in `c`; 0 when it is none. A value beyond Unicode is
// kept as one past its end, so that it counts as no character.
std::size_t CharacterReference(std::string_view text, char32_t& c) {
  const bool hex = text.size() > 2 && text[2] == 'x';
  std::size_t i = hex ? 3 : 2;
  const std::size_t first = i;
  char32_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], hex);
    if (digit < 0) break;
    value = value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    if (value > 0x10FFFF) value = 0x110000;
  }
  if (i == first || i == text.size() || text[i] != ';') return 0;
  c = value;
  return i + 1;
}

struct CNamedReference {
  std::string_view name;
  char character;
};

constexpr CNamedReference kNamedReferences[] = {
    {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};

// Resolves the reference at the start of `text` into `out`; the length taken,
// 0 when there is none there.
std::size_t AppendReference(std::string& out, std::string_view text) {
  if (text.size() > 1 && text[1] == '#') {
    char32_t c = 0;
    const std::size_t length = CharacterReference(text, c);
    if (length == 0) return 0;
    if (IsXmlCharacter(c)) {
      AppendUtf8(out, c);
    } else {
      out += kReplacementCharacter;
    }
    return length;
  }
  for (const CNamedReference& named : kNamedReferences) {
    if (text.substr(0, named.name.size()) == named.name) {
      out += named.character;
      return named.name.size();
    }
  }
  return 0;
}

// The value with references resolved (when `references`) and characters XML
// cannot hold replaced; nothing when it is fine as it is.
std::optional<std::string> CleanValue(const char* value, bool references) {
  std::optional<std::string> clean;
  if (references && std::strchr(value, '&')) clean = ResolveXmlReferences(value);
  const std::string_view text = clean ? std::string_view(*clean) : std::string_view(value);
  if (!IsXmlText(text)) clean = ReplaceNonXmlCharacters(text);
  return clean;
}

void Require(bool done) {
  if (!done) throw std::bad_alloc();
}

void CleanNode(pugi::xml_node node) {
  if (auto name = CleanValue(node.name(), false)) Require(node.set_name(name->c_str()));
  const bool text = node.type() == pugi::node_pcdata;
  if (auto value = CleanValue(node.value(), text)) {
    Require(node.set_value(value->data(), value->size()));
  }
  for (pugi::xml_attribute attribute = node.first_attribute(); attribute;
       attribute = attribute.next_attribute()) {
    if (auto name = CleanValue(attribute.name(), false)) Require(attribute.set_name(name->c_str()));
    if (auto value = CleanValue(attribute.value(), true)) {
      Require(attribute.set_value(value->data(), value->size()));
    }
  }
}

}  // namespace

bool ParserReadsAsItStands(std::string_view bytes) noexcept {
  // One pass over the bytes for both conditions: this runs on every load.
  for (std::size_t i = FindNonPlainXmlByte(bytes, 0, true); i < bytes.size();
       i = FindNonPlainXmlByte(bytes, i, true)) {
    if (bytes[i] == '&') {
      char32_t c = 0;
      if (i + 1 < bytes.size() && bytes[i + 1] == '#' &&
          CharacterReference(bytes.substr(i), c) != 0 && !IsXmlCharacter(c)) {
        return false;
      }
      ++i;
      continue;
    }
    char32_t c = 0;
    const std::size_t length = DecodeUtf8Sequence(bytes, i, c);
    if (length == 0 || !IsXmlCharacter(c)) return false;
    i += length;
  }
  return true;
}

pugi::xml_parse_result LoadXmlBufferInPlaceOwn(pugi::xml_document& document, char* data,
                                               std::size_t size, unsigned options,
                                               pugi::xml_encoding encoding, bool* asItStands) {
  const bool plain = ParserReadsAsItStands(std::string_view(data, size));
  if (asItStands) *asItStands = plain;
  if (plain) return document.load_buffer_inplace_own(data, size, options, encoding);
  pugi::xml_parse_result result =
      document.load_buffer_inplace_own(data, size, WithoutParserReferences(options), encoding);
  if (result) CleanParsedXml(document);
  return result;
}

pugi::xml_parse_result LoadXmlBuffer(pugi::xml_document& document, std::string_view bytes,
                                     unsigned options, pugi::xml_encoding encoding) {
  if (ParserReadsAsItStands(bytes)) {
    return document.load_buffer(bytes.data(), bytes.size(), options, encoding);
  }
  pugi::xml_parse_result result =
      document.load_buffer(bytes.data(), bytes.size(), WithoutParserReferences(options), encoding);
  if (result) CleanParsedXml(document);
  return result;
}

std::string ResolveXmlReferences(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t amp = text.find('&', i);
    out.append(text, i, amp == std::string_view::npos ? std::string_view::npos : amp - i);
    if (amp == std::string_view::npos) break;
    const std::size_t length = AppendReference(out, text.substr(amp));
    if (length == 0) out += '&';
    i = amp + (length == 0 ? 1 : length);
  }
  return out;
}

void CleanParsedXml(pugi::xml_node node) {
  // Iterative, in document order: a hand-made file may nest deeper than the
  // call stack reaches.
  pugi::xml_node current = node.first_child();
  while (current) {
    CleanNode(current);
    if (pugi::xml_node child = current.first_child()) {
      current = child;
      continue;
    }
    while (current != node && !current.next_sibling()) current = current.parent();
    if (current == node) break;
    current = current.next_sibling();
  }
}
