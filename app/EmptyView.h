// A read-only view without records: the base of the views that only show a
// pane, and the view of folders whose content is not available. It behaves as
// the empty source does, with a pane where a derived view makes one.
#pragma once

#include "location/RecordSource.h"

class CEmptyView : public CEmptyRecordSource {};
