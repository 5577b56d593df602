// Finding, sixteen bytes at a time, the next byte of a text that needs a
// closer look: whole files pass through these scans on every load, and nearly
// all their bytes are plain ASCII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Whether the byte is plain: ASCII that XML holds as it stands (tab, line
// feed, carriage return, U+0020-U+007F), and not '&' when ampersands count.
constexpr bool IsPlainXmlByte(unsigned char byte, bool ampersands) noexcept {
  if (byte >= 0x80) return false;
  if (byte < 0x20) return byte == '\t' || byte == '\n' || byte == '\r';
  return !(ampersands && byte == '&');
}

#if defined(__SSE2__)
// The bytes of the block that are not plain, as 0xFF.
inline __m128i NonPlainXmlBytes(__m128i block, bool ampersands) noexcept {
  // A signed comparison with 0x20 takes the control characters and every
  // byte from 0x80 up at once.
  const __m128i low = _mm_cmplt_epi8(block, _mm_set1_epi8(0x20));
  const __m128i line = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('\t')),
                                                 _mm_cmpeq_epi8(block, _mm_set1_epi8('\n'))),
                                    _mm_cmpeq_epi8(block, _mm_set1_epi8('\r')));
  const __m128i special = _mm_andnot_si128(line, low);
  if (!ampersands) return special;
  return _mm_or_si128(special, _mm_cmpeq_epi8(block, _mm_set1_epi8('&')));
}
#endif

// The position of the first byte at or after `from` that is not plain, or
// the text's size.
inline std::size_t FindNonPlainXmlByte(std::string_view text, std::size_t from,
                                       bool ampersands) noexcept {
  const std::size_t size = text.size();
  std::size_t i = from;
#if defined(__SSE2__)
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  const auto load = [data](std::size_t at) {
    __m128i block;
    std::memcpy(&block, data + at, sizeof block);
    return block;
  };
  // Four blocks at a time while nothing turns up, which is most of a file.
  for (; i + 64 <= size; i += 64) {
    const __m128i a = NonPlainXmlBytes(load(i), ampersands);
    const __m128i b = NonPlainXmlBytes(load(i + 16), ampersands);
    const __m128i c = NonPlainXmlBytes(load(i + 32), ampersands);
    const __m128i d = NonPlainXmlBytes(load(i + 48), ampersands);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) != 0) break;
  }
  for (; i + 16 <= size; i += 16) {
    if (const int mask = _mm_movemask_epi8(NonPlainXmlBytes(load(i), ampersands))) {
      return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
  }
#endif
  for (; i < size; ++i) {
    if (!IsPlainXmlByte(static_cast<unsigned char>(text[i]), ampersands)) return i;
  }
  return size;
}
