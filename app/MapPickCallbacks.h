// The main frame's callbacks of map picks: the range zoom, the hand-over of
// a rectangle pick to another part of the program, and the new record put
// where the user clicks.
#pragma once

#include <functional>

#include "location/LocationRecord.h"
#include "mapview/PickCallback.h"

class CMapView;

// Lives with the frame; told once per range zoom. picked is null when the
// pick was cancelled.
class CRangeZoomCallback final : public CPickCallback {
 public:
  using Done = std::function<void(const CGeoRect* picked)>;
  explicit CRangeZoomCallback(Done done) : m_done(std::move(done)) {}

  void OnPickCancelled() override { m_done(nullptr); }
  void OnPicked(const void* result) override { m_done(static_cast<const CGeoRect*>(result)); }

 private:
  Done m_done;
};

// Made for one pick: passes the cancel or the rectangle on to target, then
// deletes itself.
class CForwardingPickCallback final : public CPickCallback {
 public:
  explicit CForwardingPickCallback(CPickCallback* target) : m_target(target) {}

  void OnPickCancelled() override;
  void OnPicked(const void* result) override;

 private:
  CPickCallback* m_target;
};

// Made for one pick: puts a new record (WGS-84, decimal degrees) at the
// picked point at the end of the active records, after the select tool is
// back. Deletes itself.
class CNewRecordCallback final : public CPickCallback {
 public:
  explicit CNewRecordCallback(CMapView& view) : m_view(view) {}

  void OnPickCancelled() override;
  void OnPicked(const void* result) override;

 private:
  CMapView& m_view;
};
