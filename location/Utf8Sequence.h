// Reading UTF-8 one sequence at a time, for code that must tell valid text
// from stray bytes.
#pragma once

#include <cstddef>
#include <string_view>

// The length (1 to 4) of the valid UTF-8 sequence at `position`, with its code
// point in `codePoint`; 0 when the bytes there are no valid sequence (overlong
// forms, surrogates, values above U+10FFFF, truncated sequences).
std::size_t DecodeUtf8Sequence(std::string_view text, std::size_t position, char32_t& codePoint);
