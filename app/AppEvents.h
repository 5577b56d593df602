// The eight application events that the application core raises.
#pragma once

#include <cstdint>
#include <vector>

class CAppEventListener {
 public:
  virtual ~CAppEventListener() = default;
  virtual void OnCoreDestroyed() {}
  virtual void OnShowProperties() {}
  virtual void OnNewRecord() {}
  virtual void OnTreeChanged() {}
  virtual void OnRecordsChanged() {}
  // Only the active records at indices (ascending, each once) were replaced;
  // the count and the other records are as they were.
  virtual void OnRecordsReplaced(const std::vector<int32_t>& indices) {
    (void)indices;
    OnRecordsChanged();
  }
  virtual void OnSelectionChanged() {}
  virtual void OnCurrentNodeChanged() {}
  virtual void OnMapSetChanged() {}
};
