// Character and entity references, resolved by us instead of the parser:
// pugixml turns &#0; into a NUL byte that silently ends the text it is in
// ("a&#0;b" reads as "a"), and references to other characters XML cannot hold
// into bytes that are not UTF-8. Here every such reference becomes one U+FFFD,
// as those characters do everywhere else.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <pugixml.hpp>

// Whether pugixml's own reference handling could read `bytes` other than
// ResolveXmlReferences does: they refer to a character XML cannot hold, or
// they are not plain UTF-8 (they hold a NUL byte, as every UTF-16 or UTF-32
// file does). Elsewhere the two agree, and the parser's is much faster.
bool ParserMayMisreadReferences(std::string_view bytes) noexcept;

// pugixml's load_buffer_inplace_own and load_buffer, with references resolved
// as ResolveXmlReferences does (the parser's own handling where it agrees).
pugi::xml_parse_result LoadXmlBufferInPlaceOwn(pugi::xml_document& document, char* data,
                                               std::size_t size, unsigned options,
                                               pugi::xml_encoding encoding);
pugi::xml_parse_result LoadXmlBuffer(pugi::xml_document& document, std::string_view bytes,
                                     unsigned options, pugi::xml_encoding encoding);

// Parser options for a document whose references ResolveXmlReferences
// resolves afterwards: `options` without the parser's own reference handling.
constexpr unsigned WithoutParserReferences(unsigned options) {
  return options & ~static_cast<unsigned>(pugi::parse_escapes);
}

// The text with &lt; &gt; &amp; &quot; &apos; and decimal (&#N;) and
// hexadecimal (&#xN;) character references resolved. Anything else that
// starts with "&" is left as it stands, as the parser leaves it.
std::string ResolveXmlReferences(std::string_view text);

// Resolves the references in every text node and attribute value below `node`
// (CDATA, comments and processing instructions hold none). Throws
// std::bad_alloc when the document cannot grow.
void ResolveXmlReferences(pugi::xml_node node);
