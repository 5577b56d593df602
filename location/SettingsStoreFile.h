// The settings store's text file: UTF-8, one line per key and per value.
//
//   Quor Lumo Folvane settings 1
//
//   [Software\KESTOVAN\Quor Lumo Folvane]
//   "ServerURL"=string:"http://example.com/"
//   "MapFile"=path:"/home/me/maps.xml"
//   "SplitterPos"=dword:240
//   "ConnectLocations"=binary:01
//
// A key line names the key's full path between brackets ("[]" is the root);
// every value line belongs to the key line above it. Names and texts are quoted
// with the escapes \\ \" \n \r \t and \xHH; dwords are decimal; binary values
// are hex bytes separated by spaces. Blank lines and lines starting with ";" or
// "#" are ignored; an empty file is an empty store.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "location/SettingsTree.h"

// The first line of every store file.
extern const char kSettingsStoreHeader[];

// The store held by the text, or nothing when the text is not a store file.
// Keys named twice are merged; a value named twice keeps the later data.
std::optional<SettingsKeyNode> ParseSettingsStore(std::string_view text);

// The text of a store: keys depth first in name order, values in their order.
std::string FormatSettingsStore(const SettingsKeyNode& root);
