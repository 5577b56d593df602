#include "app/AppMapViewHost.h"

#include <QMenu>
#include <memory>

#include "app/AppCore.h"
#include "app/AppIcons.h"
#include "app/CommandTable.h"
#include "app/MainFrame.h"
#include "app/RunGuarded.h"
#include "location/RecordSource.h"
#include "mapview/MapSet.h"
#include "mapview/MapView.h"

namespace {

// After the core has gone the view still asks now and then (its window
// closing); it finds nothing.
CEmptyMapSet& NoMaps() {
  static CEmptyMapSet maps;
  return maps;
}

}  // namespace

CAppMapViewHost::CAppMapViewHost(CMainFrame& frame) : m_frame(frame) {}

CAppMapViewHost::~CAppMapViewHost() { Detach(); }

void CAppMapViewHost::Attach(CMapView* view) {
  m_view = view;
  if (CAppCore* core = GetAppCore()) core->AddListener(this);
}

void CAppMapViewHost::Detach() {
  m_view = nullptr;
  if (CAppCore* core = GetAppCore()) core->RemoveListener(this);
}

int32_t CAppMapViewHost::GetActiveRecordCount() {
  CAppCore* core = GetAppCore();
  return core ? core->GetActiveRecordCount() : 0;
}

void CAppMapViewHost::GetActiveRecords(CIntIteratorRef first, CIntIteratorRef last,
                                       CRecordOutputIteratorRef sink) {
  if (CAppCore* core = GetAppCore())
    core->GetActiveRecords(std::move(first), std::move(last), std::move(sink));
}

void CAppMapViewHost::ReplaceActiveRecords(CIntIteratorRef first, CIntIteratorRef last,
                                           CRecordIteratorRef records) {
  if (CAppCore* core = GetAppCore())
    core->ReplaceActiveRecords(std::move(first), std::move(last), std::move(records));
}

void CAppMapViewHost::SetActiveSelection(CIntIteratorRef first, CIntIteratorRef last) {
  if (CAppCore* core = GetAppCore()) core->SetActiveSelection(std::move(first), std::move(last));
}

void CAppMapViewHost::GetActiveSelection(CIntOutputIteratorRef sink) {
  if (CAppCore* core = GetAppCore()) core->GetActiveSelection(std::move(sink));
}

CMapSet& CAppMapViewHost::GetMapSet() {
  CAppCore* core = GetAppCore();
  return core ? core->GetMapSet() : NoMaps();
}

void CAppMapViewHost::ShowProperties() {
  if (CAppCore* core = GetAppCore()) core->BroadcastShowProperties();
}

void CAppMapViewHost::ShowRecordMenu(const QPoint& screenPoint) {
  std::unique_ptr<QMenu> menu(m_frame.CreateRecordContextMenu(m_view));
  menu->exec(screenPoint);
}

bool CAppMapViewHost::RunRecordKey(const QKeySequence& keys) {
  for (const CAccelerator& accelerator : RecordAccelerators()) {
    if (accelerator.keys == keys) {
      m_frame.ExecuteCommand(accelerator.id);
      return true;
    }
  }
  return false;
}

QCursor CAppMapViewHost::GetCursor(ECursor cursor) {
  auto found = m_cursors.find(cursor);
  if (found == m_cursors.end()) found = m_cursors.emplace(cursor, LoadAppCursor(cursor)).first;
  return found->second;
}

void CAppMapViewHost::RunGuarded(QWidget* owner, const std::function<void()>& handler) {
  ::RunGuarded(owner, handler);
}

void CAppMapViewHost::OnRecordsChanged() {
  if (m_view) m_view->OnRecordsChanged();
}

void CAppMapViewHost::OnRecordsReplaced(const std::vector<int32_t>& indices) {
  if (m_view) m_view->OnRecordsReplaced(indices);
}

void CAppMapViewHost::OnSelectionChanged() {
  if (m_view) m_view->OnSelectionChanged();
}

void CAppMapViewHost::OnMapSetChanged() {
  if (m_view) m_view->OnMapSetChanged();
}
