// The eight application events that the application core raises.
#pragma once

class CAppEventListener {
 public:
  virtual ~CAppEventListener() = default;
  virtual void OnCoreDestroyed() {}
  virtual void OnShowProperties() {}
  virtual void OnNewRecord() {}
  virtual void OnTreeChanged() {}
  virtual void OnRecordsChanged() {}
  virtual void OnSelectionChanged() {}
  virtual void OnCurrentNodeChanged() {}
  virtual void OnMapSetChanged() {}
};
