#include "location/XmlWriter.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "location/Utf8Sequence.h"
#include "location/XmlNode.h"
#include "location/XmlText.h"

namespace {

// Collects output in a buffer of its own and hands it to the sink in large
// pieces. Writers ask for room first and then fill it without further checks.
class COutput {
 public:
  explicit COutput(CXmlTextSink& sink) : m_sink(sink) {}
  COutput(const COutput&) = delete;
  COutput& operator=(const COutput&) = delete;

  static constexpr std::size_t kRoom = 4096;

  // Room for `size` bytes (at most kRoom); Commit says how far they were filled.
  char* Room(std::size_t size) {
    if (size > static_cast<std::size_t>(m_buffer + sizeof m_buffer - m_cursor)) Flush();
    return m_cursor;
  }
  void Commit(char* end) { m_cursor = end; }

  void Put(char c) { *Room(1) = c, ++m_cursor; }
  void Put(std::string_view text) {
    if (text.size() > kRoom) {
      Flush();
      m_sink.Write(text);
      m_flushed += text.size();
      return;
    }
    char* at = Room(text.size());
    std::memcpy(at, text.data(), text.size());
    m_cursor = at + text.size();
  }
  void Flush() {
    const auto size = static_cast<std::size_t>(m_cursor - m_buffer);
    m_sink.Write(std::string_view(m_buffer, size));
    m_flushed += size;
    m_cursor = m_buffer;
  }

  // How much has been put so far, and taking back what was put after that.
  std::size_t Position() const {
    return m_flushed + static_cast<std::size_t>(m_cursor - m_buffer);
  }
  void Truncate(std::size_t position) {
    if (position >= m_flushed) {
      m_cursor = m_buffer + (position - m_flushed);
    } else {
      m_sink.Truncate(position);
      m_flushed = position;
      m_cursor = m_buffer;
    }
  }

 private:
  CXmlTextSink& m_sink;
  std::size_t m_flushed = 0;
  char m_buffer[1 << 16];
  char* m_cursor = m_buffer;
};

// Appends to a string.
class CStringSink final : public CXmlTextSink {
 public:
  explicit CStringSink(std::string& text) : m_text(text), m_start(text.size()) {}
  void Write(std::string_view piece) override { m_text.append(piece); }
  void Truncate(std::size_t size) override { m_text.resize(m_start + size); }

 private:
  std::string& m_text;
  std::size_t m_start;
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

// Copies `size` bytes with a few fixed-size moves, reading only the bytes
// copied: the names and values of records are short, and a call to memcpy
// costs more than the copy.
inline void CopyBytes(char* out, const char* in, std::size_t size) {
  if (size > 16) {
    std::memcpy(out, in, size);
  } else if (size >= 8) {
    uint64_t head, tail;
    std::memcpy(&head, in, 8);
    std::memcpy(&tail, in + size - 8, 8);
    std::memcpy(out, &head, 8);
    std::memcpy(out + size - 8, &tail, 8);
  } else if (size >= 4) {
    uint32_t head, tail;
    std::memcpy(&head, in, 4);
    std::memcpy(&tail, in + size - 4, 4);
    std::memcpy(out, &head, 4);
    std::memcpy(out + size - 4, &tail, 4);
  } else {
    if (size > 0) out[0] = in[0];
    if (size > 1) out[1] = in[1];
    if (size > 2) out[2] = in[2];
  }
}

void PutBytes(COutput& out, std::string_view bytes) {
  if (bytes.size() > COutput::kRoom) {
    out.Put(bytes);
    return;
  }
  char* at = out.Room(bytes.size());
  CopyBytes(at, bytes.data(), bytes.size());
  out.Commit(at + bytes.size());
}

// What a run of bytes copied as they stand ends at: a name at its NUL
// alone (names are written as they are), a value also at the first byte its
// context escapes or checks.
enum class ERun { kName, kText, kAttribute };

template <ERun run>
constexpr bool ContinuesRun(unsigned char c) {
  if constexpr (run == ERun::kName) {
    return c != 0;
  } else if constexpr (run == ERun::kText) {
    return kPlainText[c];
  } else {
    return kPlainAttribute[c];
  }
}

#if defined(__SSE2__)
// The bytes of the block that end a run, as 0xFF.
template <ERun run>
inline __m128i RunEnds(__m128i block) {
  if constexpr (run == ERun::kName) {
    return _mm_cmpeq_epi8(block, _mm_setzero_si128());
  } else {
    // A signed comparison with 0x20 takes NUL, the control characters and
    // every byte from 0x80 up at once.
    __m128i low = _mm_cmplt_epi8(block, _mm_set1_epi8(0x20));
    __m128i markup = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('&')),
                                               _mm_cmpeq_epi8(block, _mm_set1_epi8('<'))),
                                  _mm_cmpeq_epi8(block, _mm_set1_epi8('>')));
    if constexpr (run == ERun::kText) {
      low = _mm_andnot_si128(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('\t')),
                                          _mm_cmpeq_epi8(block, _mm_set1_epi8('\n'))),
                             low);
    } else {
      markup = _mm_or_si128(markup, _mm_cmpeq_epi8(block, _mm_set1_epi8('"')));
    }
    return _mm_or_si128(low, markup);
  }
}
#endif

// Copies the start of the NUL-terminated `text` that goes as it stands and
// returns where that run ends (at the NUL, or at a byte that needs a closer
// look). Sixteen bytes are read and written at a time, most names and values
// of a file in one step: what lies past the run is written too but not
// committed, and read only from the page the block starts in, which is
// readable as its first byte is, so the reads past the NUL that the address
// and thread sanitizers would report never fault.
template <ERun run>
__attribute__((no_sanitize("address", "thread"))) inline const char* PutRun(COutput& out,
                                                                           const char* text) {
  constexpr std::uintptr_t kPage = 4096;
  constexpr std::size_t kBlock = 16;
  for (;;) {
#if defined(__SSE2__)
    if ((reinterpret_cast<std::uintptr_t>(text) & (kPage - 1)) <= kPage - kBlock) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
      char* at = out.Room(kBlock);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(at), block);
      if (const unsigned ends = static_cast<unsigned>(_mm_movemask_epi8(RunEnds<run>(block)))) {
        const auto length = static_cast<std::size_t>(__builtin_ctz(ends));
        out.Commit(at + length);
        return text + length;
      }
      out.Commit(at + kBlock);
      text += kBlock;
      continue;
    }
#endif
    // Near the end of a page, a byte at a time up to the next one.
    const unsigned char c = static_cast<unsigned char>(*text);
    if (!ContinuesRun<run>(c)) return text;
    out.Put(static_cast<char>(c));
    ++text;
  }
}

void PutCharacterReference(COutput& out, unsigned char c) {
  char reference[8] = {'&', '#'};
  std::size_t length = 2;
  if (c >= 10) reference[length++] = static_cast<char>('0' + c / 10);
  reference[length++] = static_cast<char>('0' + c % 10);
  reference[length++] = ';';
  out.Put(std::string_view(reference, length));
}

// Copies `text` to `out` and returns the end of the copy.
char* Append(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

char* AppendCharacterReference(char* out, unsigned char c) {
  *out++ = '&';
  *out++ = '#';
  if (c >= 10) *out++ = static_cast<char>('0' + c / 10);
  *out++ = static_cast<char>('0' + c % 10);
  *out++ = ';';
  return out;
}

// The bytes that can belong to the character at `in`: at most four, and none
// past the terminating NUL.
std::string_view CharacterAt(const unsigned char* in) {
  std::size_t size = 1;
  while (size < 4 && in[size] != 0) ++size;
  return {reinterpret_cast<const char*>(in), size};
}

// Writes the NUL-terminated text escaped for its context, a piece at a time
// into room asked for once per piece: no escape writes more than six bytes
// for one it reads.
void PutEscaped(COutput& out, const char* text, EContext context) {
  const std::array<bool, 256>& plain = context == EContext::kText ? kPlainText : kPlainAttribute;
  constexpr std::size_t kPiece = (COutput::kRoom - 16) / 6;
  const auto* in = reinterpret_cast<const unsigned char*>(text);
  for (;;) {
    char* o = out.Room(kPiece * 6 + 16);
    for (std::size_t n = 0; n < kPiece; ++n) {
      const unsigned char c = *in;
      if (plain[c]) {
        *o++ = static_cast<char>(c);
        ++in;
        continue;
      }
      switch (c) {
        case '\0':
          out.Commit(o);
          return;
        case '&': o = Append(o, "&amp;"); ++in; continue;
        case '<': o = Append(o, "&lt;"); ++in; continue;
        case '>': o = Append(o, "&gt;"); ++in; continue;
        case '"': o = Append(o, "&quot;"); ++in; continue;
        case '\t':
        case '\n':
        case '\r':
          o = AppendCharacterReference(o, c);
          ++in;
          continue;
        default: break;
      }
      char32_t codePoint = 0;
      const std::size_t length = DecodeUtf8Sequence(CharacterAt(in), 0, codePoint);
      if (length != 0 && IsXmlCharacter(codePoint)) {
        o = Append(o, std::string_view(reinterpret_cast<const char*>(in), length));
        in += length;
      } else {
        o = Append(o, kReplacementCharacter);
        in += length != 0 ? length : 1;
      }
    }
    out.Commit(o);
  }
}

void PutText(COutput& out, const char* text) {
  // White space alone is written as references, which no reader takes for
  // formatting; any other text is its plain start, which is nearly all of
  // it, and the rest escaped.
  if (IsBlank(text[0])) {
    const char* c = text;
    while (IsBlank(*c)) ++c;
    if (*c == '\0') {
      for (c = text; *c; ++c) PutCharacterReference(out, static_cast<unsigned char>(*c));
      return;
    }
  }
  const char* rest = PutRun<ERun::kText>(out, text);
  if (*rest != '\0') PutEscaped(out, rest, EContext::kText);
}

void PutAttributeValue(COutput& out, const char* value) {
  const char* rest = PutRun<ERun::kAttribute>(out, value);
  if (*rest != '\0') PutEscaped(out, rest, EContext::kAttribute);
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
    PutText(out, text.c_str());
    return;
  }
  out.Put("<![CDATA[");
  out.Put(text);
  out.Put("]]>");
}

// What is written of a node: markup (elements, comments, instructions),
// text pieces (text that is not empty, CDATA sections, even empty ones, as
// they are pieces of their own), or nothing. `type` is the node's.
enum class EContent { kNone, kMarkup, kText };

EContent ContentOf(pugi::xml_node node, pugi::xml_node_type type) {
  switch (type) {
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

EContent ContentOf(pugi::xml_node node) { return ContentOf(node, node.type()); }

// A comment or an instruction.
void PutOtherMarkup(COutput& out, pugi::xml_node node) {
  if (node.type() == pugi::node_comment) {
    PutComment(out, node.value());
  } else {
    PutInstruction(out, node);
  }
}

// Below this depth children are written flat: a hand-made file may nest
// deeper than any of ours, and indentation costs as much as its depth.
constexpr int kMaxIndentDepth = 16;

void PutLineAndIndent(COutput& out, int depth) {
  static constexpr char kLines[] = "\n\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";
  static_assert(sizeof kLines - 1 == kMaxIndentDepth + 1);
  char* at = out.Room(sizeof kLines);
  std::memcpy(at, kLines, sizeof kLines - 1);
  out.Commit(at + 1 + depth);
}


// Writes the NUL-terminated name and returns it.
std::string_view PutName(COutput& out, const char* name) {
  return {name, static_cast<std::size_t>(PutRun<ERun::kName>(out, name) - name)};
}

// Writes the start tag up to its closing '>' or "/>"; returns the name.
std::string_view PutStartTag(COutput& out, pugi::xml_node element) {
  out.Put('<');
  const std::string_view written = PutName(out, element.name());
  for (pugi::xml_attribute attribute = element.first_attribute(); !IsEmptyHandle(attribute);
       attribute = attribute.next_attribute()) {
    out.Put(' ');
    PutName(out, attribute.name());
    out.Put("=\"");
    PutAttributeValue(out, attribute.value());
    out.Put('"');
  }
  return written;
}

// An element being written: its child that comes next, with that child's
// type (each node is asked once: every question is a call into the XML
// library), and where the element's children begin in the output.
struct CElementFrame {
  pugi::xml_node element;
  pugi::xml_node next;
  pugi::xml_node_type nextType;
  std::string_view name;
  std::size_t start;
  int depth;
  bool nested;  // children on lines of their own
  bool opened;  // the start tag is closed by '>'
};

bool IsTextPiece(pugi::xml_node_type type, const char* value) {
  return type == pugi::node_cdata || (type == pugi::node_pcdata && value[0] != '\0');
}

// Writes an element whose one child is text that is not empty, as most
// elements of a location file are (<latitude unit="degree">35.1</latitude>),
// and says whether it did: such an element needs none of the walk's
// bookkeeping, and what it writes is what the walk would.
bool PutTextElement(COutput& out, pugi::xml_node element) {
  const pugi::xml_node text = element.first_child();
  if (TypeOf(text) != pugi::node_pcdata || !IsEmptyHandle(text.next_sibling())) return false;
  const char* value = text.value();
  if (value[0] == '\0') return false;
  const std::string_view name = PutStartTag(out, element);
  out.Put('>');
  PutText(out, value);
  out.Put("</");
  PutBytes(out, name);
  out.Put('>');
  return true;
}

// Records nest only so deep; an element that goes deeper is left to the walk.
constexpr int kMaxShapedDepth = 8;
static_assert(kMaxShapedDepth < kMaxIndentDepth);

// Writes an element at `depth` among indented siblings when it has one of
// the shapes all records have: no children, one piece of text, or elements
// alone, each of these shapes. The walk writes such an element the same way,
// but asks every node more and keeps a frame for each. Says whether it did;
// part of an element of another shape may have been written.
bool PutShapedTree(COutput& out, pugi::xml_node element, int depth) {
  const std::string_view name = PutStartTag(out, element);
  pugi::xml_node child = element.first_child();
  pugi::xml_node_type type = TypeOf(child);
  if (type == pugi::node_null) {
    out.Put(" />");
    return true;
  }
  if (type == pugi::node_pcdata) {
    const char* value = child.value();
    if (value[0] == '\0' || !IsEmptyHandle(child.next_sibling())) return false;
    out.Put('>');
    PutText(out, value);
  } else {
    if (type != pugi::node_element || depth + 1 >= kMaxShapedDepth) return false;
    out.Put('>');
    do {
      PutLineAndIndent(out, depth + 1);
      if (!PutShapedTree(out, child, depth + 1)) return false;
      child = child.next_sibling();
      type = TypeOf(child);
    } while (type == pugi::node_element);
    if (type != pugi::node_null) return false;
    PutLineAndIndent(out, depth);
  }
  out.Put("</");
  PutBytes(out, name);
  out.Put('>');
  return true;
}

// The same, leaving nothing written when the element has another shape.
bool PutShapedElement(COutput& out, pugi::xml_node element, int depth) {
  const std::size_t start = out.Position();
  if (PutShapedTree(out, element, depth)) return true;
  out.Truncate(start);
  return false;
}

// Walks the elements with a stack of its own, not the call stack, which a
// deeply nested file would exhaust.
void PutElement(COutput& out, pugi::xml_node root, int depth, bool indent, bool shortcut) {
  std::vector<CElementFrame> stack;
  const auto open = [&](pugi::xml_node element, int at, bool nested) {
    const std::string_view name = PutStartTag(out, element);
    const pugi::xml_node first = element.first_child();
    stack.push_back({element, first, TypeOf(first), name, out.Position(), at,
                     nested && at < kMaxIndentDepth, false});
  };
  open(root, depth, indent);
  while (!stack.empty()) {
    CElementFrame& frame = stack.back();
    const pugi::xml_node child = frame.next;
    const pugi::xml_node_type type = frame.nextType;
    if (type == pugi::node_null) {
      if (!frame.opened) {
        out.Put(" />");
      } else {
        if (frame.nested) PutLineAndIndent(out, frame.depth);
        out.Put("</");
        PutBytes(out, frame.name);
        out.Put('>');
      }
      stack.pop_back();
      continue;
    }
    const bool text = type == pugi::node_pcdata || type == pugi::node_cdata;
    const char* value = text ? child.value() : "";
    const EContent content = text ? (IsTextPiece(type, value) ? EContent::kText : EContent::kNone)
                                  : ContentOf(child, type);
    if (content != EContent::kNone && !frame.opened) {
      out.Put('>');
      frame.opened = true;
    }
    // Children are indented until text turns up among them: added white
    // space next to text would become part of it, so then they are written
    // again without.
    if (content == EContent::kText && frame.nested) {
      frame.nested = false;
      if (out.Position() != frame.start + 1) {
        out.Truncate(frame.start + 1);
        frame.next = frame.element.first_child();
        frame.nextType = TypeOf(frame.next);
        continue;
      }
    }
    frame.next = child.next_sibling();
    frame.nextType = TypeOf(frame.next);
    if (content == EContent::kText) {
      if (type == pugi::node_cdata) {
        PutCdata(out, value);
      } else {
        PutText(out, value);
      }
    } else if (content == EContent::kMarkup) {
      const bool nested = frame.nested;
      const int at = frame.depth + 1;
      if (nested) PutLineAndIndent(out, at);
      if (type == pugi::node_element) {
        // frame is not to be used after open
        const bool written =
            nested && shortcut ? PutShapedElement(out, child, at) : PutTextElement(out, child);
        if (!written) open(child, at, nested);
      } else {
        PutOtherMarkup(out, child);
      }
    }
  }
}

}  // namespace

namespace {

void Serialize(const pugi::xml_document& document, CXmlTextSink& sink, bool withDeclaration,
               bool shortcut) {
  COutput out(sink);
  if (withDeclaration) out.Put("<?xml version=\"1.0\"?>\n");
  for (pugi::xml_node child = document.first_child(); child; child = child.next_sibling()) {
    if (ContentOf(child) != EContent::kMarkup) continue;
    if (child.type() == pugi::node_element) {
      PutElement(out, child, 0, true, shortcut);
    } else {
      PutOtherMarkup(out, child);
    }
    out.Put('\n');
  }
  out.Flush();
}

}  // namespace

void SerializeXmlDocument(const pugi::xml_document& document, CXmlTextSink& sink,
                          bool withDeclaration) {
  Serialize(document, sink, withDeclaration, true);
}

std::string SerializeXmlDocument(const pugi::xml_document& document, bool withDeclaration) {
  std::string text;
  CStringSink sink(text);
  Serialize(document, sink, withDeclaration, true);
  return text;
}

std::string SerializeXmlDocumentByWalk(const pugi::xml_document& document, bool withDeclaration) {
  std::string text;
  CStringSink sink(text);
  Serialize(document, sink, withDeclaration, false);
  return text;
}

void AppendXmlElementText(std::string& text, pugi::xml_node element) {
  CStringSink sink(text);
  COutput out(sink);
  PutElement(out, element, 0, false, false);
  out.Flush();
}
