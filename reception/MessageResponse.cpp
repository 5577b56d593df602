#include "reception/MessageResponse.h"

#include <algorithm>
#include <limits>

std::vector<std::string_view> SplitResponseWords(std::string_view body) {
  const std::string_view line = body.substr(0, body.find('\n'));
  constexpr std::size_t kWordsRead = 3;  // status, then up to two results
  std::vector<std::string_view> words;
  std::size_t pos = 0;
  while (pos < line.size() && words.size() < kWordsRead) {
    if (line[pos] == ' ') {
      ++pos;
      continue;
    }
    const std::size_t end = std::min(line.find(' ', pos), line.size());
    words.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  return words;
}

int32_t ReadDecimalInt(std::string_view word) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  std::size_t pos = 0;
  while (pos < word.size() && (word[pos] == ' ' || (word[pos] >= '\t' && word[pos] <= '\r'))) ++pos;
  bool negative = false;
  if (pos < word.size() && (word[pos] == '+' || word[pos] == '-')) negative = word[pos++] == '-';
  int64_t value = 0;
  while (pos < word.size() && word[pos] >= '0' && word[pos] <= '9') {
    value = std::min(value * 10 + (word[pos++] - '0'), kMax + 1);
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(std::min(value, kMax));
}

std::optional<std::vector<std::string>> ParseRetrieveBody(std::string_view body, int32_t count) {
  // Every line feed before the terminator must have something after it.
  std::size_t lineFeed = body.find('\n');
  if (lineFeed == std::string_view::npos || lineFeed + 1 == body.size()) return std::nullopt;
  std::size_t pos = lineFeed + 1;
  // No room is reserved from the count: it comes from the server.
  std::vector<std::string> messages;
  for (int32_t i = 0; i < count; ++i) {
    lineFeed = body.find('\n', pos);
    if (lineFeed == std::string_view::npos || lineFeed + 1 == body.size()) return std::nullopt;
    messages.emplace_back(body.substr(pos, lineFeed - pos));
    pos = lineFeed + 1;
  }
  const std::string_view rest = body.substr(pos);
  if (rest != ".\n" && rest != ".") return std::nullopt;
  return messages;
}
