// The entry split without copying values, for the parser's own use.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

using CQldataEntryView = std::pair<char16_t, std::u16string_view>;

// As SplitQldataEntries; the values point into `text`.
std::vector<CQldataEntryView> SplitQldataEntryViews(std::u16string_view text);
