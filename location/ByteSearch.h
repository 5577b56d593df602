// Finding a byte string in a large buffer that may hold NUL bytes (a document
// parsed in place), sixteen start positions at a time: a note search looks
// through every section file for its text.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The position of the first occurrence of `needle` in `text` that starts at
// or after `from`; npos when there is none or the needle is empty.
inline std::size_t FindBytes(std::string_view text, std::string_view needle,
                             std::size_t from) noexcept {
  const std::size_t length = needle.size();
  if (length == 0 || text.size() < length || from > text.size() - length) {
    return std::string_view::npos;
  }
  const std::size_t lastStart = text.size() - length;
  const char* data = text.data();
  std::size_t i = from;
#if defined(__SSE2__)
  // Positions whose first and last bytes both match are compared whole.
  const __m128i first = _mm_set1_epi8(needle.front());
  const __m128i last = _mm_set1_epi8(needle.back());
  const auto load = [data](std::size_t at) {
    __m128i block;
    std::memcpy(&block, data + at, sizeof block);
    return block;
  };
  for (; i + 15 <= lastStart; i += 16) {
    const __m128i starts = _mm_cmpeq_epi8(load(i), first);
    const __m128i ends = _mm_cmpeq_epi8(load(i + length - 1), last);
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(starts, ends)));
    while (mask != 0) {
      const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
      if (std::memcmp(data + at, needle.data(), length) == 0) return at;
      mask &= mask - 1;
    }
  }
#endif
  for (; i <= lastStart; ++i) {
    if (data[i] == needle.front() && std::memcmp(data + i, needle.data(), length) == 0) return i;
  }
  return std::string_view::npos;
}
