// The commands of the main frame, by id.
#pragma once

#include <cstdint>

enum ECommandId : uint32_t {
  ID_FILE_NEW = 57600,
  ID_FILE_OPEN = 57601,
  ID_FILE_CLOSE = 57602,
  ID_FILE_SAVE = 57603,
  ID_FILE_SAVE_AS = 57604,
  ID_APP_EXIT = 57665,
  ID_VIEW_FOLDER = 32779,
  ID_VIEW_SEARCH = 32780,
  ID_VIEW_TOOLBAR = 59392,
  ID_VIEW_STATUS_BAR = 59393,
  ID_MAP_ZOOM_IN = 32773,
  ID_MAP_ZOOM_OUT = 32774,
  ID_MAP_FIT = 32772,
  ID_MAP_CENTER = 32797,
  ID_MAP_RANGE_ZOOM = 32778,
  ID_MAP_CONNECT = 32777,
  ID_MAP_RELOAD = 32786,
  ID_TOOL_RECEIVE = 32784,
  ID_TOOL_OPTIONS = 32785,
  ID_HELP_CONTENTS = 57666,
  ID_APP_ABOUT = 57664,
  ID_EDIT_NEW_RECORD = 32792,
  ID_EDIT_CUT = 57635,
  ID_EDIT_COPY = 57634,
  ID_EDIT_COPY_AS_TEXT = 32798,
  ID_EDIT_PASTE = 57637,
  ID_EDIT_DELETE = 32791,
  ID_EDIT_SELECT_ALL = 57642,
  ID_EDIT_PROPERTIES = 57858,
  // Sent by keys that nothing answers.
  ID_NEXT_PANE = 57680,
  ID_PREV_PANE = 57681,
  ID_EDIT_UNDO = 57643,
  ID_EDIT_REDO = 57644,
  // The toolbar slot of the scale box.
  ID_SCALE_BOX_SLOT = 1012,
};

// Where a command is offered.
class CCommandTarget {
 public:
  virtual ~CCommandTarget() = default;
  // Runs the command when it is enabled; a disabled one does nothing.
  virtual void ExecuteCommand(uint32_t id) = 0;
  virtual bool IsCommandEnabled(uint32_t id) const = 0;
};
