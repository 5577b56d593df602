#include "app/LocationFileView.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/LocationFileNode.h"
#include "app/PaneWindow.h"
#include "location/IteratorAdaptors.h"
#include "location/IteratorRanges.h"

CLocationFileView::CLocationFileView(CLocationFileNode& node, CRecordSourceObserver* observer)
    : m_node(node) {
  AddObserver(observer);
  Refresh();
}

CLocationFileView::~CLocationFileView() {
  DestroyWindow();
  m_selection.clear();
}

QWidget* CLocationFileView::CreateWindow(QWidget* parent) {
  DestroyWindow();
  m_form = new CRecordListForm(*this, parent);
  return m_form;
}

void CLocationFileView::DestroyWindow() {
  DestroyPaneWindow(m_form);
  m_form = nullptr;
}

const std::vector<CLocationRecord>& CLocationFileView::ListedRecords() const {
  return m_node.Records();
}

void CLocationFileView::ReplaceRecords(CIntIteratorRef first, CIntIteratorRef last,
                                       CRecordIteratorRef records) {
  std::vector<std::pair<int32_t, CLocationRecord>> changes;
  ForEachInIteratorRange(std::move(first), last, [&](int32_t index) {
    CheckRecordIndex(index, m_node.Records().size());
    // An empty record range has no element to give.
    const CLocationRecord* record = records.Get();
    if (record == nullptr) throw std::out_of_range("Fewer Records Than Indices");
    changes.emplace_back(index, *record);
    ++records;
  });
  // Moved in: nothing can fail half-way through the records.
  std::vector<CLocationRecord>& edited = m_node.EditRecords();
  std::set<int32_t> replaced;
  for (auto& [index, record] : changes) {
    edited[static_cast<std::size_t>(index)] = std::move(record);
    replaced.insert(index);
  }
  // Only these rows change: a drag on the map writes one record per move,
  // and the list and the map follow without reading the others again.
  const std::vector<int32_t> indices(replaced.begin(), replaced.end());
  if (m_form) m_form->RefillRecords(indices);
  NotifyRecordsReplaced(indices);
}

void CLocationFileView::RemoveRecords(CIntIteratorRef first, CIntIteratorRef last) {
  std::set<int32_t, std::greater<int32_t>> indices;
  InsertRangeIntoContainer(std::move(first), last, indices);
  for (int32_t index : indices) CheckRecordIndex(index, m_node.Records().size());
  const std::vector<int32_t> removed(indices.rbegin(), indices.rend());  // ascending

  // One pass keeps the records that stay, in order: the same result as
  // erasing from the highest index down, without moving the tail each time.
  std::vector<CLocationRecord>& records = m_node.EditRecords();
  std::size_t kept = 0;
  auto next = removed.begin();
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (next != removed.end() && static_cast<std::size_t>(*next) == i) {
      ++next;
      continue;
    }
    if (kept != i) records[kept] = std::move(records[i]);
    ++kept;
  }
  records.resize(kept);

  // A selected record above removed ones moves down by their number, so the
  // selection still names the records it named.
  std::set<int32_t> selection;
  next = removed.begin();
  for (int32_t index : m_selection) {
    while (next != removed.end() && *next < index) ++next;
    if (next != removed.end() && *next == index) continue;
    selection.insert(selection.end(), index - static_cast<int32_t>(next - removed.begin()));
  }
  m_selection = std::move(selection);
  AfterRecordsChanged();
}

void CLocationFileView::InsertRecords(int32_t position, CRecordIteratorRef first,
                                      CRecordIteratorRef last) {
  if (position < 0 || position > Count())
    throw std::out_of_range("Invalid Record Index: " + std::to_string(position));
  std::vector<CLocationRecord>& records = m_node.EditRecords();
  const std::size_t before = records.size();
  InsertRecordsAt(std::move(first), last, records, static_cast<std::size_t>(position));
  const auto inserted = static_cast<int32_t>(records.size() - before);
  std::set<int32_t> selection(m_selection.begin(), m_selection.lower_bound(position));
  for (auto it = m_selection.lower_bound(position); it != m_selection.end(); ++it)
    selection.insert(*it + inserted);
  m_selection = std::move(selection);
  AfterRecordsChanged();
}

void CLocationFileView::ShowSelection() {
  if (m_form) m_form->SyncSelection();
}

void CLocationFileView::Refresh() {
  if (m_form) m_form->Refill();
  NotifyRecordsAndSelectionChanged();
}

void CLocationFileView::AfterRecordsChanged() {
  if (m_form) {
    m_form->Refill();
    m_form->SyncSelection();
  }
  NotifyRecordsAndSelectionChanged();
}
