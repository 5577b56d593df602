// UTF-16 units of received text to the program's UTF-8.
#pragma once

#include <string>
#include <string_view>

// Surrogate pairs become one code point; a surrogate without its partner
// becomes U+FFFD, so the result is always valid UTF-8.
std::string Utf16ToUtf8(std::u16string_view text);
