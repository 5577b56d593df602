// The search results, the active record source in search mode.
//
// This build has no search pane yet: the results stay empty and the pane
// shows nothing.
#pragma once

#include "app/EmptyView.h"

class CSearchFolder : public CEmptyView {
 public:
  explicit CSearchFolder(CRecordSourceObserver* observer);
};
