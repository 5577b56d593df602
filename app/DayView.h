// The day view (dialog 206): a date picker with the previous and next day
// buttons above the record list of the day folder it shows.
#pragma once

#include <QDate>
#include <QWidget>

#include "app/RecordListDialog.h"

class CDayFolder;
class QDateEdit;
class QPushButton;

class CDayView : public QWidget, public CRecordListOwner {
 public:
  enum {
    IDC_DATE = 1005,
    IDC_PLACEHOLDER = 1027,
    IDC_NEXT_DAY = 1045,
    IDC_PREVIOUS_DAY = 1046,
  };

  CDayView(CDayFolder& folder, QWidget* parent);

  // The folder's records and selection into the list.
  void Refill();
  void SyncSelection();
  // Sets the picker without telling anyone.
  void ShowDate(const QDate& date);
  // The user picked a date: the selection is cleared and the folder shows it.
  void OnDateChanged(const QDate& date);
  // Steps the picker one calendar day forward or back and shows that day.
  void StepDay(int days);
  void OnListSelectionChanged() override;

  QDateEdit* GetDatePicker() const { return m_date; }
  QPushButton* GetPreviousButton() const { return m_previous; }
  QPushButton* GetNextButton() const { return m_next; }
  CRecordListDialog* GetList() const { return m_list; }

 private:
  CDayFolder& m_folder;
  QDateEdit* m_date;
  QPushButton* m_previous;
  QPushButton* m_next;
  CRecordListDialog* m_list;
};
