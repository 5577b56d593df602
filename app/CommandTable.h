// The menus, toolbar and accelerator tables of the main frame and the record
// context menu, as data.
#pragma once

#include <QKeySequence>
#include <cstdint>
#include <vector>

// One menu entry: a command (its menu text and shortcut), a separator (id 0)
// or a popup with its items.
struct CMenuEntry {
  uint32_t id = 0;
  const char* text = nullptr;
  std::vector<CMenuEntry> items;  // for a popup
  bool IsSeparator() const { return id == 0 && items.empty(); }
  bool IsPopup() const { return !items.empty(); }
};

struct CAccelerator {
  QKeySequence keys;
  uint32_t id;
};

// Menu 128: the frame's menu bar.
const std::vector<CMenuEntry>& FrameMenu();
// Menu 214: the context menu of the record list and the map, with copy as
// text beside copy.
const std::vector<CMenuEntry>& RecordContextMenu();
// Accelerator tables 128 (the frame's) and 214 (the record list's and the map's).
const std::vector<CAccelerator>& FrameAccelerators();
const std::vector<CAccelerator>& RecordAccelerators();
// Toolbar 128: command ids, 0 for a separator.
const std::vector<uint32_t>& FrameToolbar();
// Commands shown as check buttons on the toolbar.
bool IsToolbarCheckButton(uint32_t id);
// The keys of a command in the given table; empty when it has none.
QKeySequence FindAccelerator(const std::vector<CAccelerator>& table, uint32_t id);
