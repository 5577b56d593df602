// Encodings of what the message client sends: query text and the login digest.
#pragma once

#include <string>
#include <string_view>

// Blank as "+"; ASCII letters, digits and "_" as they are; every other byte as
// "%" and two upper-case hexadecimal digits.
std::string UrlEncode(std::string_view bytes);

// The MD5 digest of the bytes as 32 lower-case hexadecimal digits. Throws
// CWin32Exception with the library's text when the digest cannot be made.
std::string Md5Hex(std::string_view bytes);
