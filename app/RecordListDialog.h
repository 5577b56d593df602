// The record list every folder view with records shows: one owner-drawn line
// per record, a multiple selection kept in step with the view without
// echoes, the record commands on keys and a context menu, and a double click
// that opens the properties.
#pragma once

#include <QListView>
#include <QWidget>
#include <set>
#include <vector>

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

// The list box: no type-to-find, the record context menu.
class CRecordListView : public QListView {
 public:
  explicit CRecordListView(QWidget* parent);
  void keyboardSearch(const QString& search) override;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
};

class CRecordListDialog : public QWidget {
 public:
  enum { IDC_LIST = 1004 };

  CRecordListDialog(CRecordListOwner* owner, QWidget* parent);
  ~CRecordListDialog() override;

  // Shows [first, last) and applies the selection set to the new items.
  void Fill(const CLocationRecord* first, const CLocationRecord* last);
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
void ShowSourceSelection(CRecordListDialog& list, CRecordSource& source);
void PassSelectionToSource(const CRecordListDialog& list, CRecordSource& source);
