// How the XML layer parses: the document must hold what a save of it will
// write, so that values read the same before and after. pugixml turns &#0;
// into a NUL byte that silently ends the text it is in ("a&#0;b" reads as
// "a"), references to other characters XML cannot hold into bytes that are
// not UTF-8, and passes stray bytes and control characters through; the
// writer can only write U+FFFD for them. So in documents where any of that
// occurs, references are resolved here and every such character, anywhere,
// becomes U+FFFD as it is parsed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <pugixml.hpp>

// pugixml's load_buffer_inplace_own and load_buffer, with references always
// resolved and the documents cleaned as above. Bytes that need no cleaning
// (nearly all) take the parser's path alone; `asItStands`, when given, tells
// whether they did.
pugi::xml_parse_result LoadXmlBufferInPlaceOwn(pugi::xml_document& document, char* data,
                                               std::size_t size, unsigned options,
                                               pugi::xml_encoding encoding,
                                               bool* asItStands = nullptr);
pugi::xml_parse_result LoadXmlBuffer(pugi::xml_document& document, std::string_view bytes,
                                     unsigned options, pugi::xml_encoding encoding);

// Whether the parser alone reads `bytes` as the cleaned document holds them:
// they are UTF-8 of characters XML holds (no NUL byte, so not UTF-16 or
// UTF-32) and refer to no character XML cannot hold.
bool ParserReadsAsItStands(std::string_view bytes) noexcept;

// Parser options for a document that CleanParsedXml cleans afterwards:
// `options` without the parser's own reference handling.
constexpr unsigned WithoutParserReferences(unsigned options) {
  return options & ~static_cast<unsigned>(pugi::parse_escapes);
}

// Resolves references in every text node and attribute value below `node`
// (CDATA, comments and processing instructions hold none), and replaces every
// character XML cannot hold, in any value or name, by U+FFFD. Throws
// std::bad_alloc when the document cannot grow.
void CleanParsedXml(pugi::xml_node node);

// The text with &lt; &gt; &amp; &quot; &apos; and decimal (&#N;) and
// hexadecimal (&#xN;) character references resolved; a reference to a
// character XML cannot hold gives U+FFFD. Anything else that starts with "&"
// is left as it stands, as the parser leaves it.
std::string ResolveXmlReferences(std::string_view text);
