// The model behind the map display: scale, top-left corner, the position under
// the mouse pointer and the connect-locations flag, kept in the settings key
// between runs, with listeners told of every change.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>

class CSettingsKey;
class CPickCallback;
class CMapViewState;

// {latitude, longitude} in WGS-84 decimal degrees.
using LatLon = std::pair<double, double>;

class CMapViewStateListener {
 public:
  CMapViewStateListener() = default;
  CMapViewStateListener(const CMapViewStateListener&) = delete;
  CMapViewStateListener& operator=(const CMapViewStateListener&) = delete;
  // A listener that goes first leaves its state.
  virtual ~CMapViewStateListener();
  virtual void OnViewStateChanged() = 0;

  // The state this listener is registered with; null while it is registered nowhere.
  CMapViewState* GetViewState() const { return m_viewState; }

 private:
  friend class CMapViewState;
  CMapViewState* m_viewState = nullptr;
};

class CMapViewState {
 public:
  // Representative-fraction limits: 4e-05 divided by 512 and multiplied by 8, so
  // halving and doubling from the default reach them exactly.
  static constexpr double kMinScale = 7.8125e-08;
  static constexpr double kMaxScale = 0.00032;
  static constexpr double kDefaultScale = 4e-05;
  static constexpr double kDefaultTopLeftLatitude = 35.0;
  static constexpr double kDefaultTopLeftLongitude = 135.0;

  // Reads the stored view; the key must outlive this object.
  explicit CMapViewState(CSettingsKey& settings);
  // Writes the view back, best effort (SaveSettings reports failures).
  virtual ~CMapViewState();
  CMapViewState(const CMapViewState&) = delete;
  CMapViewState& operator=(const CMapViewState&) = delete;

  // Commands carried out by the owner of the map view.
  virtual void ZoomIn() = 0;
  virtual void ZoomOut() = 0;
  virtual void StartRangeZoom() = 0;
  virtual void ZoomTo(double scale) = 0;
  // The callback hears the cancel or the picked rectangle once.
  virtual void StartRectanglePick(CPickCallback* callback) = 0;
  virtual void EndPick() = 0;

  virtual double GetScale() const { return m_scale; }
  // Clamps to [kMinScale, kMaxScale], stores, notifies; returns the stored value.
  virtual double SetScale(double scale);
  virtual const LatLon& GetTopLeft() const { return m_topLeft; }
  // Stores a finite corner (another leaves the old one), notifies.
  virtual void SetTopLeft(const LatLon& topLeft);
  virtual LatLon GetCursorPosition() const { return m_cursorPosition; }
  virtual bool HasCursorPosition() const { return m_hasCursorPosition; }
  // The cursor position never notifies: it changes with every mouse move.
  virtual void SetCursorPosition(const LatLon& position);
  virtual void ClearCursorPosition();
  virtual bool GetConnectLocations() const { return m_connectLocations; }
  virtual void SetConnectLocations(bool connect);

  // A listener is held once; the set is ordered by pointer value.
  void AddListener(CMapViewStateListener* listener);
  void RemoveListener(CMapViewStateListener* listener);
  // Tells every listener, unless an update bracket is open.
  void Notify();
  void BeginUpdate();
  // Closing the outermost bracket notifies once, also when nothing changed.
  void EndUpdate();

  // Writes the view to the settings key; throws what the key throws.
  void SaveSettings();

 private:
  CSettingsKey& m_settings;
  uint32_t m_updateCount = 0;
  double m_scale = kDefaultScale;
  LatLon m_topLeft{kDefaultTopLeftLatitude, kDefaultTopLeftLongitude};
  bool m_hasCursorPosition = false;
  LatLon m_cursorPosition{0.0, 0.0};
  bool m_connectLocations = false;
  std::set<CMapViewStateListener*> m_listeners;
};

// Closes an update bracket when it goes out of scope, also on an exception.
class CMapViewUpdateGuard {
 public:
  explicit CMapViewUpdateGuard(CMapViewState* state) : m_state(state) {}
  ~CMapViewUpdateGuard() {
    if (m_state) m_state->EndUpdate();
  }
  CMapViewUpdateGuard(const CMapViewUpdateGuard&) = delete;
  CMapViewUpdateGuard& operator=(const CMapViewUpdateGuard&) = delete;

 private:
  CMapViewState* m_state;
};

// The stored text form of a view value: general notation, 6 significant digits.
std::string FormatViewValue(double value);
// Reads a stored view value like a stream extraction: leading white space is
// skipped and whatever follows the number is ignored. Text that does not begin
// with a finite number yields the fallback.
double ParseViewValue(const std::string& text, double fallback);
