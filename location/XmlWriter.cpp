#include "location/XmlWriter.h"

#include <array>
#include <cstring>
#include <string_view>

#include "location/Utf8Sequence.h"
#include "location/XmlText.h"

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

enum class EContext { kText, kAttribute };

// Bytes that are copied as they stand in a context; every other byte is
// escaped, checked as UTF-8 or replaced.
constexpr std::array<bool, 256> PlainBytes(EContext context) {
  std::array<bool, 256> plain{};
  for (int c = 0x20; c < 0x80; ++c) plain[c] = true;
  plain['&'] = plain['<'] = plain['>'] = false;
  if (context == EContext::kText) {
    plain['\t'] = plain['\n'] = true;
  } else {
    plain['"'] = false;
  }
  return plain;
}

constexpr std::array<bool, 256> kPlainText = PlainBytes(EContext::kText);
constexpr std::array<bool, 256> kPlainAttribute = PlainBytes(EContext::kAttribute);

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void AppendCharacterReference(std::string& out, unsigned char c) {
  out += "&#";
  out += std::to_string(c);
  out += ';';
}

void AppendEscaped(std::string& out, std::string_view text, EContext context) {
  const std::array<bool, 256>& plain =
      context == EContext::kText ? kPlainText : kPlainAttribute;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t run = i;
    while (run < text.size() && plain[static_cast<unsigned char>(text[run])]) ++run;
    out.append(text, i, run - i);
    i = run;
    if (i == text.size()) break;
    const char c = text[i];
    switch (c) {
      case '&': out += "&amp;"; ++i; continue;
      case '<': out += "&lt;"; ++i; continue;
      case '>': out += "&gt;"; ++i; continue;
      case '"': out += "&quot;"; ++i; continue;
      case '\t':
      case '\n':
      case '\r':
        AppendCharacterReference(out, static_cast<unsigned char>(c));
        ++i;
        continue;
      default: break;
    }
    char32_t codePoint = 0;
    const std::size_t length = DecodeUtf8Sequence(text, i, codePoint);
    if (length != 0 && IsXmlCharacter(codePoint)) {
      out.append(text, i, length);
      i += length;
    } else {
      out += kReplacement;
      i += length != 0 ? length : 1;
    }
  }
}

void AppendText(std::string& out, std::string_view text) {
  bool blank = true;
  for (const char c : text) {
    if (!IsBlank(c)) {
      blank = false;
      break;
    }
  }
  if (!blank) {
    AppendEscaped(out, text, EContext::kText);
    return;
  }
  for (const char c : text) AppendCharacterReference(out, static_cast<unsigned char>(c));
}

bool IsText(pugi::xml_node node) {
  return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

// What is written of a node: elements, and text that is not empty.
bool IsContent(pugi::xml_node node) {
  return node.type() == pugi::node_element || (IsText(node) && node.value()[0] != '\0');
}

void AppendIndent(std::string& out, int depth) { out.append(static_cast<std::size_t>(depth), '\t'); }

void AppendElement(std::string& out, pugi::xml_node element, int depth, bool indent) {
  out += '<';
  out += element.name();
  for (pugi::xml_attribute attribute : element.attributes()) {
    out += ' ';
    out += attribute.name();
    out += "=\"";
    AppendEscaped(out, attribute.value(), EContext::kAttribute);
    out += '"';
  }
  bool hasContent = false;
  bool hasText = false;
  for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
    if (!IsContent(child)) continue;
    hasContent = true;
    hasText = hasText || IsText(child);
  }
  if (!hasContent) {
    out += " />";
    return;
  }
  // Added white space next to text would become part of it.
  const bool nested = indent && !hasText;
  out += '>';
  for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
    if (!IsContent(child)) continue;
    if (IsText(child)) {
      AppendText(out, child.value());
      continue;
    }
    if (nested) {
      out += '\n';
      AppendIndent(out, depth + 1);
    }
    AppendElement(out, child, depth + 1, nested);
  }
  if (nested) {
    out += '\n';
    AppendIndent(out, depth);
  }
  out += "</";
  out += element.name();
  out += '>';
}

}  // namespace

std::string SerializeXmlDocument(const pugi::xml_document& document) {
  std::string out = "<?xml version=\"1.0\"?>\n";
  for (pugi::xml_node child = document.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    AppendElement(out, child, 0, true);
    out += '\n';
  }
  return out;
}

void AppendXmlElementText(std::string& out, pugi::xml_node element) {
  AppendElement(out, element, 0, false);
}
