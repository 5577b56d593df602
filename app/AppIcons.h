// The program's icons and toolbar images, drawn for it as SVG resources.
#pragma once

#include <QCursor>
#include <QIcon>
#include <cstdint>

enum EIconId : uint32_t {
  IDI_PROGRAM = 128,
  IDI_DATABASE = 213,
  IDI_FILE_FOLDER = 214,
  IDI_FILE = 215,
};

enum ECursorId : uint32_t {
  IDC_RANGE_PICK = 104,
  IDC_SELECT = 105,
  IDC_POINT_PICK = 216,
};

// Throws std::out_of_range for an id without an icon.
QIcon LoadAppIcon(uint32_t id);
// The toolbar image of a command; a null icon for commands without one.
QIcon CommandIcon(uint32_t commandId);
// The map tools' cursors; throws std::out_of_range for an id without one.
QCursor LoadAppCursor(uint32_t id);
