// The program's string table: texts by resource id, as the user sees them.
#pragma once

#include <cstdint>
#include <string>

enum EStringId : uint32_t {
  IDS_TITLE = 128,             // "Quor Lumo Folvane"
  IDS_PANE_FOLDER = 129,       // "フォルダ"
  IDS_PANE_SEARCH = 130,       // "検索"
  IDS_FILE_FOLDER = 131,       // "ファイル"
  IDS_DATABASE_FOLDER = 132,   // "マイルモ"
  IDS_NEW_FILE = 133,          // "新規ファイル"
  IDS_READY = 57345,           // "レディ"
  IDS_SEARCH_RESULTS = 61400,  // "検索結果"
  IDS_SCALE_SUFFIX = 61401,    // "分の1"
  IDS_NO_NEW_MESSAGES = 61402,
  IDS_MESSAGES_RECEIVED = 61403,
  IDS_FILE_FILTER = 61404,
  IDS_ASK_CREATE_DATABASE_FIRST = 61405,
  IDS_ASK_CREATE_MAPS_FIRST = 61406,
  IDS_ASK_CREATE_DATABASE = 61407,
  IDS_ASK_CREATE_MAPS = 61408,
  IDS_NOT_CONNECTED = 61410,
  IDS_MAPS_INVALID = 61411,
  IDS_MAPS_NOT_FOUND = 61412,
  IDS_ASK_SAVE_CHANGES = 61413,
};

// The text of a string resource; command ids give "prompt\nshort name".
// Throws std::out_of_range for an id the table does not hold.
std::string LoadAppString(uint32_t id);
// Whether the table holds the id.
bool HasAppString(uint32_t id);
// The part of a command string before the first "\n" (the menu-help prompt)
// and the part after it (the toolbar text and tooltip).
std::string CommandPrompt(uint32_t id);
std::string CommandShortName(uint32_t id);
