// The map view's link to the program: the active records and the map set of
// the application core, the record commands of the main frame, the tools'
// cursors and the program's guard. It also passes the core's events on to
// the view.
#pragma once

#include <map>

#include "app/AppEvents.h"
#include "mapview/MapViewHost.h"

class CMainFrame;
class CMapView;

class CAppMapViewHost final : public CMapViewHost, public CAppEventListener {
 public:
  explicit CAppMapViewHost(CMainFrame& frame);
  // Leaves the core's listeners.
  ~CAppMapViewHost() override;
  CAppMapViewHost(const CAppMapViewHost&) = delete;
  CAppMapViewHost& operator=(const CAppMapViewHost&) = delete;

  // The view the core's events go to; listening starts here.
  void Attach(CMapView* view);
  // No more events to the view.
  void Detach();

  int32_t GetActiveRecordCount() override;
  void GetActiveRecords(CIntIteratorRef first, CIntIteratorRef last,
                        CRecordOutputIteratorRef sink) override;
  void ReplaceActiveRecords(CIntIteratorRef first, CIntIteratorRef last,
                            CRecordIteratorRef records) override;
  void SetActiveSelection(CIntIteratorRef first, CIntIteratorRef last) override;
  void GetActiveSelection(CIntOutputIteratorRef sink) override;
  CMapSet& GetMapSet() override;
  void ShowProperties() override;
  void ShowRecordMenu(const QPoint& screenPoint) override;
  bool RunRecordKey(const QKeySequence& keys) override;
  QCursor GetCursor(ECursor cursor) override;
  void RunGuarded(QWidget* owner, const std::function<void()>& handler) override;

  void OnRecordsChanged() override;
  void OnRecordsReplaced(const std::vector<int32_t>& indices) override;
  void OnSelectionChanged() override;
  void OnMapSetChanged() override;

 private:
  CMainFrame& m_frame;
  CMapView* m_view = nullptr;
  // Drawn once: the view asks at every mouse move.
  std::map<ECursor, QCursor> m_cursors;
};
