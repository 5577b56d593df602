// QLDATA: the text form in which one location record arrives from the message
// server. The bytes are un-escaped to UTF-16 units, the units split into
// length-prefixed letter entries, and the entries checked into a record.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "location/LocationRecord.h"

// One entry: its letter (any one unit) and its value.
using CQldataEntry = std::pair<char16_t, std::u16string>;

// Bytes outside an escape are the units of the same value; "_" opens an escape
// of base-52 letter triples, one unit each. Throws std::runtime_error
// "Invalid Letter<b> In QLDATA: " + the message at a bad byte inside an escape.
std::u16string UnescapeQldata(std::string_view message);

// The entries in text order. Lengths count units; one that runs past the end
// of the text drops its entry. Never fails.
std::vector<CQldataEntry> SplitQldataEntries(std::u16string_view text);

// The record of one message. Characters a file cannot hold in the note and the
// fix mode (control characters, U+FFFE, U+FFFF) become U+FFFD. Throws std::runtime_error with the reason, or
// std::invalid_argument when a degrees-minutes-seconds field is out of range.
CLocationRecord ParseQldataMessage(std::string_view message);
