#include "app/ConversionDialogs.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/AppCore.h"
#include "app/DialogParts.h"
#include "location/Angle.h"
#include "location/IteratorAdaptors.h"

namespace {

// The selected indices of the active source and copies of their records.
void ReadSelection(CAppCore& core, std::vector<int32_t>& indices,
                   std::vector<CLocationRecord>& records) {
  core.GetActiveSelection(MakeIntBackInserter(indices));
  core.GetActiveRecords(MakeIntPtrIterator(indices.data()),
                        MakeIntPtrIterator(indices.data() + indices.size()),
                        MakeRecordBackInserter(records));
}

void ReplaceSelection(CAppCore& core, const std::vector<int32_t>& indices,
                      const std::vector<CLocationRecord>& records) {
  core.ReplaceActiveRecords(MakeIntPtrIterator(indices.data()),
                            MakeIntPtrIterator(indices.data() + indices.size()),
                            MakeRecordPtrIterator(records.data()));
}

}  // namespace

CDatumDialog::CDatumDialog(const CDatumHandle& initial, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("218"));
  setWindowTitle(QStringLiteral("測地系の変更"));
  m_combo = new QComboBox(this);
  m_combo->setObjectName(QString::number(IDC_DATUM));
  for (int i = 0; i < GetDatumCount(); ++i)
    m_combo->addItem(QString::fromStdString(GetDatumByIndex(i).GetName()));
  m_combo->setCurrentIndex(GetDatumIndex(initial));
  auto* row = new QHBoxLayout;
  row->addWidget(BuddyLabel("測地系(&D) :", m_combo, this));
  row->addWidget(m_combo, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addLayout(MakeOkCancelRow(this, QStringLiteral("キャンセル")));
}

void CDatumDialog::accept() {
  const int index = m_combo->currentIndex();
  m_datum = index >= 0 ? GetDatumByIndex(index) : CDatumHandle();
  QDialog::accept();
}

CUnitDialog::CUnitDialog(std::optional<int32_t> initial, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("219"));
  setWindowTitle(QStringLiteral("座標単位の変更"));
  auto* group = new QGroupBox(QStringLiteral("単位"), this);
  m_degrees = new QRadioButton(QStringLiteral("度 ddd.ddddd (&D)"), group);
  m_degrees->setObjectName(QString::number(IDC_DEGREES));
  m_dms = new QRadioButton(QStringLiteral("度分秒 ddd,mm,ss.ss (&M)"), group);
  m_dms->setObjectName(QString::number(IDC_DMS));
  m_degrees->setChecked(initial == kAngleUnitDegrees);
  m_dms->setChecked(initial == kAngleUnitDms);
  auto* buttons = new QVBoxLayout(group);
  buttons->addWidget(m_degrees);
  buttons->addWidget(m_dms);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(MakeOkCancelRow(this, QStringLiteral("キャンセル")));
}

void CUnitDialog::accept() {
  if (m_degrees->isChecked())
    m_unit = kAngleUnitDegrees;
  else if (m_dms->isChecked())
    m_unit = kAngleUnitDms;
  else
    m_unit.reset();
  QDialog::accept();
}

CDatumHandle CommonDatum(const std::vector<CLocationRecord>& records) {
  if (records.empty()) return CDatumHandle();
  const CDatumHandle first = records.front().position.datum;
  for (const CLocationRecord& record : records)
    if (!(record.position.datum == first)) return CDatumHandle();
  return first;
}

std::optional<int32_t> CommonUnit(const std::vector<CLocationRecord>& records) {
  if (records.empty()) return std::nullopt;
  const int32_t first = records.front().position.latitude.unit;
  for (const CLocationRecord& record : records) {
    if (record.position.latitude.unit != first || record.position.longitude.unit != first)
      return std::nullopt;
  }
  return first;
}

CAngle ConvertAngleUnit(const CAngle& angle, int32_t unit) {
  // Any unit other than decimal degrees holds degrees, minutes and seconds.
  const bool isDegrees = angle.unit == kAngleUnitDegrees;
  if (unit == kAngleUnitDegrees)
    return isDegrees ? angle : CAngle::FromDegrees(DmsToDegrees(angle.dms));
  return isDegrees ? CAngle::FromDms(DegreesToDms(angle.degrees)) : CAngle::FromDms(angle.dms);
}

void ChangeDatum(CAppCore& core) {
  std::vector<int32_t> indices;
  std::vector<CLocationRecord> records;
  ReadSelection(core, indices, records);
  CDatumDialog dialog(CommonDatum(records), ActiveWindowOr(core.GetMainWindow()));
  if (dialog.exec() != QDialog::Accepted || dialog.GetDatum().IsNull()) return;
  // Records already in the chosen datum come back from it unchanged.
  for (CLocationRecord& record : records)
    record.position = ConvertPositionDatum(record.position, dialog.GetDatum());
  ReplaceSelection(core, indices, records);
}

void ChangeUnit(CAppCore& core) {
  std::vector<int32_t> indices;
  std::vector<CLocationRecord> records;
  ReadSelection(core, indices, records);
  CUnitDialog dialog(CommonUnit(records), ActiveWindowOr(core.GetMainWindow()));
  if (dialog.exec() != QDialog::Accepted || !dialog.GetUnit()) return;
  const int32_t unit = *dialog.GetUnit();
  for (CLocationRecord& record : records) {
    record.position.latitude = ConvertAngleUnit(record.position.latitude, unit);
    record.position.longitude = ConvertAngleUnit(record.position.longitude, unit);
  }
  ReplaceSelection(core, indices, records);
}
