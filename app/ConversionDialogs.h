// The datum dialog (218) and the coordinate-unit dialog (219), and the two
// commands that convert every selected record of the active source with them.
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>
#include <vector>

#include "location/Datum.h"
#include "location/LocationRecord.h"

class CAppCore;
class QComboBox;
class QRadioButton;

class CDatumDialog : public QDialog {
 public:
  enum { IDC_DATUM = 1061 };

  // Opens with initial selected, or nothing for the null handle.
  CDatumDialog(const CDatumHandle& initial, QWidget* parent);
  // The datum chosen with OK; null when none was selected.
  CDatumHandle GetDatum() const { return m_datum; }
  QComboBox* GetCombo() const { return m_combo; }

  void accept() override;

 private:
  QComboBox* m_combo;
  CDatumHandle m_datum;
};

class CUnitDialog : public QDialog {
 public:
  enum { IDC_DEGREES = 1062, IDC_DMS = 1063 };

  // Opens with the button of initial checked, or neither without one.
  CUnitDialog(std::optional<int32_t> initial, QWidget* parent);
  // The unit chosen with OK; none when neither button was checked.
  std::optional<int32_t> GetUnit() const { return m_unit; }
  QRadioButton* GetDegreesButton() const { return m_degrees; }
  QRadioButton* GetDmsButton() const { return m_dms; }

  void accept() override;

 private:
  QRadioButton* m_degrees;
  QRadioButton* m_dms;
  std::optional<int32_t> m_unit;
};

// The datum all records share; null for none or for mixed datums.
CDatumHandle CommonDatum(const std::vector<CLocationRecord>& records);
// The unit all latitudes and longitudes share; none for none or a mix.
std::optional<int32_t> CommonUnit(const std::vector<CLocationRecord>& records);
// The angle in unit (kAngleUnitDegrees or kAngleUnitDms); one already in that
// unit keeps its value.
CAngle ConvertAngleUnit(const CAngle& angle, int32_t unit);

// Ask for a datum or a unit, then convert every selected record of the
// active source and replace them all at once; nothing changes when the
// dialog is cancelled or the replace fails (a read-only source: "readonly").
// The dialog is owned by the active window.
void ChangeDatum(CAppCore& core);
void ChangeUnit(CAppCore& core);
