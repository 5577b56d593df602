// XML files that declare an 8-bit encoding other than UTF-8 (Shift_JIS, EUC-JP
// and CP932 are common for Japanese users) are converted to UTF-8 before the
// parser, which reads only the Unicode encodings, sees them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The encoding named by the XML declaration at the start of `bytes`, when the
// bytes start with an ASCII declaration that has an encoding pseudo-attribute.
std::optional<std::string> DeclaredXmlEncoding(std::string_view bytes);

// Whether the parser can read `encoding` as it stands (the UTF family).
bool IsParserXmlEncoding(std::string_view encoding);

// The UTF-8 form of `bytes` read in `encoding`; nothing when the converter does
// not know the encoding. Each byte or sequence the encoding cannot hold, and a
// sequence cut off at the end, becomes one U+FFFD, as a stray byte in UTF-8
// does; an ASCII byte after a lead byte it cannot follow is read on its own.
std::optional<std::string> ConvertToUtf8(std::string_view bytes, std::string_view encoding);
