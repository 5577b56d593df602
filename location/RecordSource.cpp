#include "location/RecordSource.h"

#include <stdexcept>
#include <vector>

void ThrowReadOnly() { throw std::runtime_error("readonly"); }

CRecordSource::~CRecordSource() {
  const std::vector<CRecordSourceObserver*> observers(m_observers.begin(), m_observers.end());
  try {
    for (CRecordSourceObserver* observer : observers) {
      if (m_observers.count(observer)) observer->OnSourceDestroyed(*this);
    }
  } catch (...) {
    // A failing observer ends the walk; a destructor must not throw.
  }
}

void CRecordSource::AddObserver(CRecordSourceObserver* observer) {
  if (observer) m_observers.insert(observer);
}

void CRecordSource::RemoveObserver(CRecordSourceObserver* observer) noexcept {
  m_observers.erase(observer);
}

bool CRecordSource::HasObserver(CRecordSourceObserver* observer) const noexcept {
  return m_observers.count(observer) != 0;
}

void CRecordSource::NotifyAll(const std::function<void(CRecordSourceObserver&)>& notification) {
  // An observer may add or remove observers (itself included) while being told.
  const std::vector<CRecordSourceObserver*> observers(m_observers.begin(), m_observers.end());
  for (CRecordSourceObserver* observer : observers) {
    if (m_observers.count(observer)) notification(*observer);
  }
}

void CRecordSource::NotifyRecordsChanged() {
  NotifyAll([this](CRecordSourceObserver& observer) { observer.OnRecordsChanged(*this); });
}

void CRecordSource::NotifySelectionChanged() {
  NotifyAll([this](CRecordSourceObserver& observer) { observer.OnSelectionChanged(*this); });
}

void CRecordSource::NotifyRecordsReplaced(const std::vector<int32_t>& indices) {
  NotifyAll([&](CRecordSourceObserver& observer) { observer.OnRecordsReplaced(*this, indices); });
}

void CRecordSource::NotifyRecordsAndSelectionChanged() {
  NotifyRecordsChanged();
  NotifySelectionChanged();
}
