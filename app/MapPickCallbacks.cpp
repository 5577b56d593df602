#include "app/MapPickCallbacks.h"

#include <memory>

#include "app/AppCore.h"
#include "location/IteratorAdaptors.h"
#include "mapview/MapView.h"
#include "mapview/MapViewState.h"

void CForwardingPickCallback::OnPickCancelled() {
  // Gone also when the target throws.
  const std::unique_ptr<CForwardingPickCallback> self(this);
  if (m_target) m_target->OnPickCancelled();
}

void CForwardingPickCallback::OnPicked(const void* result) {
  const std::unique_ptr<CForwardingPickCallback> self(this);
  if (m_target) m_target->OnPicked(result);
}

void CNewRecordCallback::OnPickCancelled() {
  const std::unique_ptr<CNewRecordCallback> self(this);
  m_view.SetSelectTool();
}

void CNewRecordCallback::OnPicked(const void* result) {
  CLocationRecord record;
  record.position = CPosition(*static_cast<const LatLon*>(result));
  CMapView& view = m_view;
  delete this;
  view.SetSelectTool();
  // A read-only folder refuses; the guard shows why.
  if (CAppCore* core = GetAppCore())
    core->InsertActiveRecords(MakeRecordPtrIterator(&record), MakeRecordPtrIterator(&record + 1));
}
