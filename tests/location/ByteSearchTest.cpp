// The block search against string_view::find, with the text at every place
// within and across the sixteen-byte blocks, NUL bytes around it and partial
// matches of its first and last bytes.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "location/ByteSearch.h"

TEST(ByteSearch, FindsWhatFindFindsFromEveryStart) {
  const std::string needles[] = {
      "a", "ab", "aba", "checkpoint", std::string("a\0b", 3), "0123456789abcdefghij"};
  for (const std::string& needle : needles) {
    for (std::size_t size = 0; size < 70; ++size) {
      for (std::size_t at = 0; at + needle.size() <= size; at += 3) {
        // A background of near misses: the first byte, the last, and NULs.
        std::string text(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
          text[i] = i % 3 == 0 ? needle.front() : i % 3 == 1 ? needle.back() : '\0';
        }
        text.replace(at, needle.size(), needle);
        for (std::size_t from = 0; from <= size + 1; from += 5) {
          EXPECT_EQ(FindBytes(text, needle, from), std::string_view(text).find(needle, from))
              << needle << " in " << size << " bytes at " << at << " from " << from;
        }
      }
    }
  }
  EXPECT_EQ(FindBytes("abc", "", 0), std::string_view::npos);
  EXPECT_EQ(FindBytes("ab", "abc", 0), std::string_view::npos);
}
