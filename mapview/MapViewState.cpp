#include "mapview/MapViewState.h"

#include <cmath>
#include <vector>

#include "location/NumberText.h"
#include "location/SettingsKey.h"

namespace {

const char kTopLeftLatitudeValue[] = "ViewTopLeftLatitude";
const char kTopLeftLongitudeValue[] = "ViewTopLeftLongitude";
const char kScaleValue[] = "ViewScale";
const char kConnectLocationsValue[] = "ConnectLocations";

double ReadViewValue(const CSettingsKey& settings, const char* name, double fallback) {
  return ParseViewValue(settings.ReadString(name, FormatViewValue(fallback)), fallback);
}

}  // namespace

std::string FormatViewValue(double value) { return FormatDoubleGeneral(value, 6); }

double ParseViewValue(const std::string& text, double fallback) {
  std::size_t used = 0;
  const double value = ParseDouble(text, &used);
  if (used == 0 || !std::isfinite(value)) return fallback;
  return value;
}

CMapViewStateListener::~CMapViewStateListener() {
  if (m_viewState) m_viewState->RemoveListener(this);
}

CMapViewState::CMapViewState(CSettingsKey& settings) : m_settings(settings) {
  BeginUpdate();
  m_topLeft.first = ReadViewValue(m_settings, kTopLeftLatitudeValue, kDefaultTopLeftLatitude);
  m_topLeft.second = ReadViewValue(m_settings, kTopLeftLongitudeValue, kDefaultTopLeftLongitude);
  SetScale(ReadViewValue(m_settings, kScaleValue, kDefaultScale));
  m_connectLocations = m_settings.ReadBool(kConnectLocationsValue, false);
  EndUpdate();
}

CMapViewState::~CMapViewState() {
  try {
    SaveSettings();
  } catch (...) {
    // Best effort: the owner saves explicitly where a failure can be shown.
  }
  for (CMapViewStateListener* listener : m_listeners) listener->m_viewState = nullptr;
}

void CMapViewState::SaveSettings() {
  m_settings.WriteString(kTopLeftLatitudeValue, FormatViewValue(m_topLeft.first));
  m_settings.WriteString(kTopLeftLongitudeValue, FormatViewValue(m_topLeft.second));
  m_settings.WriteString(kScaleValue, FormatViewValue(m_scale));
  m_settings.WriteBool(kConnectLocationsValue, m_connectLocations);
}

double CMapViewState::SetScale(double scale) {
  // A NaN scale would leave the view without a rectangle; the old scale stays.
  if (!std::isnan(scale)) {
    if (scale < kMinScale)
      m_scale = kMinScale;
    else if (scale > kMaxScale)
      m_scale = kMaxScale;
    else
      m_scale = scale;
  }
  Notify();
  return m_scale;
}

void CMapViewState::SetTopLeft(const LatLon& topLeft) {
  // A corner out of range (a fit over positions near the ends of double)
  // would leave every later step not a number; the old corner stays.
  if (std::isfinite(topLeft.first) && std::isfinite(topLeft.second)) m_topLeft = topLeft;
  Notify();
}

void CMapViewState::SetCursorPosition(const LatLon& position) {
  m_cursorPosition = position;
  m_hasCursorPosition = true;
}

void CMapViewState::ClearCursorPosition() { m_hasCursorPosition = false; }

void CMapViewState::SetConnectLocations(bool connect) {
  m_connectLocations = connect;
  Notify();
}

void CMapViewState::AddListener(CMapViewStateListener* listener) {
  m_listeners.insert(listener);
  listener->m_viewState = this;
}

void CMapViewState::RemoveListener(CMapViewStateListener* listener) {
  if (m_listeners.erase(listener) != 0) listener->m_viewState = nullptr;
}

void CMapViewState::Notify() {
  if (m_updateCount != 0) return;
  // Walk a copy: a listener may add or remove listeners while it is told.
  const std::vector<CMapViewStateListener*> listeners(m_listeners.begin(), m_listeners.end());
  for (CMapViewStateListener* listener : listeners) {
    if (m_listeners.count(listener) != 0) listener->OnViewStateChanged();
  }
}

void CMapViewState::BeginUpdate() { ++m_updateCount; }

void CMapViewState::EndUpdate() {
  if (m_updateCount == 0) return;
  --m_updateCount;
  Notify();
}
