// Reading the message server's answers. Each function looks only at the bytes
// of the body it is given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The first words of the status line: runs of bytes that are neither a blank
// (0x20) nor a line feed, up to the first line feed. A carriage return is an
// ordinary byte. No answer is read beyond its third word, so no more are
// taken: a server's line of millions of words costs nothing.
std::vector<std::string_view> SplitResponseWords(std::string_view body);

// A number the way the C runtime's atoi reads it (white space, sign, digits),
// saturating at the 32-bit range; 0 when the word starts with no number.
int32_t ReadDecimalInt(std::string_view word);

// The messages of a RETR answer: after the status line, `count` lines ended by
// line feeds, then the line "." (its line feed may be the body's end). Nothing
// when the body is not of that form.
std::optional<std::vector<std::string>> ParseRetrieveBody(std::string_view body, int32_t count);
