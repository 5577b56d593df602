// The property window (dialog 211): every field of the one selected record of
// the active source, edited in place. Each field is written back as soon as
// the user leaves it, by replacing the record at its index; the window then
// shows the record again in its normal form. A modeless tool window owned by
// the main frame, which creates it on the show-properties event; it deletes
// itself when closed.
#pragma once

#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <map>
#include <vector>

#include "app/AppEvents.h"
#include "app/NoValuePicker.h"
#include "app/PropertyFields.h"
#include "location/LocationRecord.h"

class CAppCore;
class CRecordSource;
class QCheckBox;
class QComboBox;
class QMenu;
class QPushButton;

// The commands of the operations menu (menu 217).
enum : uint32_t { ID_PROPERTY_CHANGE_DATUM = 32795, ID_PROPERTY_CHANGE_UNIT = 32796 };

class CPropertyWindow : public QDialog, public CAppEventListener {
 public:
  static constexpr const char* kLeftValue = "LocationPropertyLeft";
  static constexpr const char* kTopValue = "LocationPropertyTop";

  // Builds the window at its saved place and shows the selection in it.
  CPropertyWindow(CAppCore& core, QWidget* owner);
  ~CPropertyWindow() override;

  // Shows the selected record when exactly one is selected; otherwise every
  // value control is disabled and emptied.
  void Show();
  // The user left the edit: its typed text goes into the record.
  void CommitField(int control);
  // The check box, a picker or the zone edit: the time as the controls show it.
  void CommitTime();
  // The datum combo: the numbers stay and are read in the new datum.
  void CommitDatum(int index);
  // Text typed into an edit and not yet written goes into the record now.
  void CommitPendingEdit();

  // Menu 217, owned by parent; the caller deletes it.
  QMenu* CreateOperationsMenu(QWidget* parent);
  // The datum and coordinate-unit dialogs, on the whole selection.
  void RunOperation(uint32_t id);

  QWidget* GetControl(int id) const;
  // The 14 value controls, in their order.
  const std::vector<QWidget*>& GetValueControls() const { return m_valueControls; }
  int32_t GetShownIndex() const { return m_shownIndex; }
  const CLocationRecord& GetWorkingCopy() const { return m_record; }
  // The edit whose typed text is not yet in the record, or 0.
  int GetPendingEdit() const { return m_pendingEdit; }

  void OnRecordsChanged() override;
  void OnSelectionChanged() override;
  void OnCoreDestroyed() override;

 protected:
  void done(int result) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void RestorePosition();
  // Saves the position and leaves the core; runs once.
  void Detach();
  void Fill();
  void EmptyControls();
  void SetReadOnly(bool readOnly);
  QString EditText(int control) const;
  void SetEditText(int control, const QString& text);
  bool IsEditReadOnly(int control) const;
  // Writes the record to the shown index of the active source.
  void Commit(const CLocationRecord& record);
  // When the selection or the records change: a pending edit is written only
  // while the shown record is still the one at the shown index, whichever of
  // the two changes the window hears of first; else it is dropped.
  void CommitPendingIfStillShown();

  CAppCore* m_core;
  QCheckBox* m_hasTime = nullptr;
  CDatePicker* m_date = nullptr;
  CTimePicker* m_time = nullptr;
  QComboBox* m_datum = nullptr;
  QPushButton* m_operations = nullptr;
  std::map<int, QWidget*> m_edits;
  std::vector<QWidget*> m_valueControls;

  int32_t m_shownIndex = -1;
  CRecordSource* m_shownSource = nullptr;
  CLocationRecord m_record;
  // The edit the user typed into since the record was last shown or written.
  int m_pendingEdit = 0;
  bool m_reload = true;
  // Set while the window writes the controls itself.
  bool m_filling = false;
  bool m_detached = false;
};
