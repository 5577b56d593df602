// The record list every folder view with records shows: one owner-drawn line
// per record, a multiple selection kept in step with the view without
// echoes, the record commands on keys and a context menu, and a double click
// that opens the properties.
#pragma once

#include <QWidget>
#include <set>
#include <vector>

#include "app/RecordListView.h"
#include "location/LocationRecord.h"

class QLabel;
class CRecordListModel;
class CRecordSource;

class CRecordListOwner {
 public:
  virtual ~CRecordListOwner() = default;
  // The user changed the list's selection; the new set is the dialog's.
  virtual void OnListSelectionChanged() = 0;
};

class CRecordListDialog : public QWidget {
 public:
  enum { IDC_LIST = 1004 };

  CRecordListDialog(CRecordListOwner* owner, QWidget* parent);
  ~CRecordListDialog() override;

  // Shows [first, last) and applies the selection set to the new items.
  void Fill(const CLocationRecord* first, const CLocationRecord* last);
  void Fill(std::vector<CLocationRecord>&& records);
  // Shows records[i] at indices[i] in place of the record there; indices
  // that are not an item's are left out. The selection stays as it is.
  void ReplaceRecords(const std::vector<int32_t>& indices,
                      const std::vector<CLocationRecord>& records);
  // Replaces the selection set with the indices and applies it.
  void SetSelection(const int32_t* first, const int32_t* last);
  // Makes the list's selected items equal to the set, telling nobody.
  void ApplySelection();
  const std::set<int32_t>& GetSelection() const { return m_selection; }
  const std::vector<CLocationRecord>& GetRecords() const { return m_records; }
  CRecordListView* GetList() const { return m_list; }
  // Item heights, recomputed for the list's current width.
  int ItemHeight(int index) const;

 private:
  std::vector<int32_t> ListSelection() const;
  void OnUserSelectionChanged();

  CRecordListOwner* m_owner;
  CRecordListView* m_list;
  CRecordListModel* m_model;
  std::vector<CLocationRecord> m_records;
  std::set<int32_t> m_selection;
  bool m_applying = false;
};

// Puts child where parent's placeholder widget named id stands: same place in
// the layout, same name, and the placeholder's text as the child's title.
void ReplacePlaceholder(QWidget* child, QWidget* parent, int id);

// A view's list and its record source in step: all the source's records into
// the list, the source's selection into the list, the list's selection back.
void FillFromSource(CRecordListDialog& list, CRecordSource& source);
// The source's records at indices into the list, in place.
void RefillFromSource(CRecordListDialog& list, CRecordSource& source,
                      const std::vector<int32_t>& indices);
void ShowSourceSelection(CRecordListDialog& list, CRecordSource& source);
void PassSelectionToSource(const CRecordListDialog& list, CRecordSource& source);
