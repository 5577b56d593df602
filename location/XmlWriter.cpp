#include "location/XmlWriter.h"

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "location/Utf8Sequence.h"
#include "location/XmlText.h"

namespace {

// Collects output in a buffer of its own and hands it to the string in large
// pieces: far cheaper than growing the string by single characters.
class COutput {
 public:
  explicit COutput(std::string& out) : m_out(out) {}
  COutput(const COutput&) = delete;
  COutput& operator=(const COutput&) = delete;
  ~COutput() { Flush(); }

  void Put(char c) {
    if (m_used == sizeof m_buffer) Flush();
    m_buffer[m_used++] = c;
  }
  void Put(std::string_view text) {
    if (text.size() > sizeof m_buffer - m_used) {
      Flush();
      if (text.size() > sizeof m_buffer) {
        m_out.append(text);
        return;
      }
    }
    std::memcpy(m_buffer + m_used, text.data(), text.size());
    m_used += text.size();
  }
  void Flush() {
    m_out.append(m_buffer, m_used);
    m_used = 0;
  }
  // How much has been put so far, and taking back what was put after that.
  std::size_t Position() const { return m_out.size() + m_used; }
  void Truncate(std::size_t position) {
    if (position >= m_out.size()) {
      m_used = position - m_out.size();
    } else {
      m_out.resize(position);
      m_used = 0;
    }
  }

 private:
  std::string& m_out;
  std::size_t m_used = 0;
  char m_buffer[16384];
};

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

void PutCharacterReference(COutput& out, unsigned char c) {
  char reference[8] = {'&', '#'};
  std::size_t length = 2;
  if (c >= 10) reference[length++] = static_cast<char>('0' + c / 10);
  reference[length++] = static_cast<char>('0' + c % 10);
  reference[length++] = ';';
  out.Put(std::string_view(reference, length));
}

void PutEscaped(COutput& out, std::string_view text, EContext context) {
  const std::array<bool, 256>& plain = context == EContext::kText ? kPlainText : kPlainAttribute;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t run = i;
    while (run < text.size() && plain[static_cast<unsigned char>(text[run])]) ++run;
    out.Put(text.substr(i, run - i));
    i = run;
    if (i == text.size()) break;
    const char c = text[i];
    switch (c) {
      case '&': out.Put("&amp;"); ++i; continue;
      case '<': out.Put("&lt;"); ++i; continue;
      case '>': out.Put("&gt;"); ++i; continue;
      case '"': out.Put("&quot;"); ++i; continue;
      case '\t':
      case '\n':
      case '\r':
        PutCharacterReference(out, static_cast<unsigned char>(c));
        ++i;
        continue;
      default: break;
    }
    char32_t codePoint = 0;
    const std::size_t length = DecodeUtf8Sequence(text, i, codePoint);
    if (length != 0 && IsXmlCharacter(codePoint)) {
      out.Put(text.substr(i, length));
      i += length;
    } else {
      out.Put(kReplacementCharacter);
      i += length != 0 ? length : 1;
    }
  }
}

void PutText(COutput& out, std::string_view text) {
  for (const char c : text) {
    if (!IsBlank(c)) {
      PutEscaped(out, text, EContext::kText);
      return;
    }
  }
  // White space alone: references, which no reader takes for formatting.
  for (const char c : text) PutCharacterReference(out, static_cast<unsigned char>(c));
}

// The text of a comment or an instruction: characters XML cannot hold become
// U+FFFD, as in text, and line ends are written as readers take them (the
// parser leaves a carriage return in an instruction).
std::string MarkupText(std::string_view value) {
  std::string text = ReplaceNonXmlCharacters(value);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      text[kept++] = text[i];
    } else if (i + 1 == text.size() || text[i + 1] != '\n') {
      text[kept++] = '\n';
    }
  }
  text.resize(kept);
  return text;
}

// A comment's text must not hold "--" nor end in "-": a blank goes between.
void PutComment(COutput& out, std::string_view value) {
  out.Put("<!--");
  char previous = 0;
  for (const char c : MarkupText(value)) {
    if (c == '-' && previous == '-') out.Put(' ');
    out.Put(c);
    previous = c;
  }
  if (previous == '-') out.Put(' ');
  out.Put("-->");
}

// A target named xml (in any case) is the declaration's, and none is no
// instruction at all: such nodes are not written.
bool IsWritableInstruction(pugi::xml_node node) {
  const char* name = node.name();
  if (name[0] == '\0') return false;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return !(lower(name[0]) == 'x' && lower(name[1]) == 'm' && lower(name[2]) == 'l' &&
           name[3] == '\0');
}

// An instruction's text must not hold "?>": a blank goes between.
void PutInstruction(COutput& out, pugi::xml_node node) {
  out.Put("<?");
  out.Put(node.name());
  const std::string text = MarkupText(node.value());
  if (!text.empty()) {
    out.Put(' ');
    char previous = 0;
    for (const char c : text) {
      if (c == '>' && previous == '?') out.Put(' ');
      out.Put(c);
      previous = c;
    }
  }
  out.Put("?>");
}

// A CDATA section is written as one, so it stays a text piece of its own. One
// that no section can hold as it is ("]]>", or a carriage return, which
// readers take for a line end) cannot have come from a file: it is written as
// text.
void PutCdata(COutput& out, std::string_view value) {
  const std::string text = ReplaceNonXmlCharacters(value);
  if (text.find("]]>") != std::string::npos || text.find('\r') != std::string::npos) {
    PutText(out, text);
    return;
  }
  out.Put("<![CDATA[");
  out.Put(text);
  out.Put("]]>");
}

// What is written of a node: markup (elements, comments, instructions),
// text pieces (text that is not empty, CDATA sections, even empty ones, as
// they are pieces of their own), or nothing.
enum class EContent { kNone, kMarkup, kText };

EContent ContentOf(pugi::xml_node node) {
  switch (node.type()) {
    case pugi::node_element:
    case pugi::node_comment:
      return EContent::kMarkup;
    case pugi::node_pi:
      return IsWritableInstruction(node) ? EContent::kMarkup : EContent::kNone;
    case pugi::node_pcdata:
      return node.value()[0] != '\0' ? EContent::kText : EContent::kNone;
    case pugi::node_cdata:
      return EContent::kText;
    default:
      return EContent::kNone;
  }
}

// A comment or an instruction.
void PutOtherMarkup(COutput& out, pugi::xml_node node) {
  if (node.type() == pugi::node_comment) {
    PutComment(out, node.value());
  } else {
    PutInstruction(out, node);
  }
}

void PutIndent(COutput& out, int depth) {
  for (int i = 0; i < depth; ++i) out.Put('\t');
}

// Below this depth children are written flat: a hand-made file may nest
// deeper than any of ours, and indentation costs as much as its depth.
constexpr int kMaxIndentDepth = 16;

void PutStartTag(COutput& out, pugi::xml_node element) {
  out.Put('<');
  out.Put(element.name());
  for (pugi::xml_attribute attribute = element.first_attribute(); attribute;
       attribute = attribute.next_attribute()) {
    out.Put(' ');
    out.Put(attribute.name());
    out.Put("=\"");
    PutEscaped(out, attribute.value(), EContext::kAttribute);
    out.Put('"');
  }
}

// An element being written: the child that comes next, and where its
// children begin in the output.
struct CElementFrame {
  pugi::xml_node element;
  pugi::xml_node next;
  std::size_t start;
  int depth;
  bool nested;  // children on lines of their own
  bool opened;  // the start tag is closed by '>'
};

// Walks the elements with a stack of its own, not the call stack, which a
// deeply nested file would exhaust.
void PutElement(COutput& out, pugi::xml_node root, int depth, bool indent) {
  std::vector<CElementFrame> stack;
  const auto open = [&](pugi::xml_node element, int at, bool nested) {
    PutStartTag(out, element);
    stack.push_back({element, element.first_child(), out.Position(), at,
                     nested && at < kMaxIndentDepth, false});
  };
  open(root, depth, indent);
  while (!stack.empty()) {
    CElementFrame& frame = stack.back();
    if (!frame.next) {
      if (!frame.opened) {
        out.Put(" />");
      } else {
        if (frame.nested) {
          out.Put('\n');
          PutIndent(out, frame.depth);
        }
        out.Put("</");
        out.Put(frame.element.name());
        out.Put('>');
      }
      stack.pop_back();
      continue;
    }
    const pugi::xml_node child = frame.next;
    const EContent content = ContentOf(child);
    if (content != EContent::kNone && !frame.opened) {
      out.Put('>');
      frame.opened = true;
    }
    // Children are indented until text turns up among them: added white
    // space next to text would become part of it, so then they are written
    // again without.
    if (content == EContent::kText && frame.nested) {
      frame.nested = false;
      out.Truncate(frame.start + 1);
      frame.next = frame.element.first_child();
      continue;
    }
    frame.next = child.next_sibling();
    if (content == EContent::kText) {
      if (child.type() == pugi::node_cdata) {
        PutCdata(out, child.value());
      } else {
        PutText(out, child.value());
      }
    } else if (content == EContent::kMarkup) {
      const bool nested = frame.nested;
      const int at = frame.depth + 1;
      if (nested) {
        out.Put('\n');
        PutIndent(out, at);
      }
      if (child.type() == pugi::node_element) {
        open(child, at, nested);  // frame is not to be used after this
      } else {
        PutOtherMarkup(out, child);
      }
    }
  }
}

}  // namespace

std::string SerializeXmlDocument(const pugi::xml_document& document, bool withDeclaration) {
  std::string text;
  COutput out(text);
  if (withDeclaration) out.Put("<?xml version=\"1.0\"?>\n");
  for (pugi::xml_node child = document.first_child(); child; child = child.next_sibling()) {
    if (ContentOf(child) != EContent::kMarkup) continue;
    if (child.type() == pugi::node_element) {
      PutElement(out, child, 0, true);
    } else {
      PutOtherMarkup(out, child);
    }
    out.Put('\n');
  }
  out.Flush();
  return text;
}

void AppendXmlElementText(std::string& text, pugi::xml_node element) {
  COutput out(text);
  PutElement(out, element, 0, false);
}
