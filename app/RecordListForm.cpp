#include "app/RecordListForm.h"

#include <QLabel>
#include <QVBoxLayout>

#include "location/RecordSource.h"

CRecordListForm::CRecordListForm(CRecordSource& source, QWidget* parent)
    : QWidget(parent), m_source(source) {
  setObjectName(QStringLiteral("214"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* placeholder = new QLabel(this);
  placeholder->setObjectName(QString::number(IDC_PLACEHOLDER));
  layout->addWidget(placeholder);
  m_list = new CRecordListDialog(this, this);
  ReplacePlaceholder(m_list, this, IDC_PLACEHOLDER);
  Refill();
  SyncSelection();
}

void CRecordListForm::Refill() { FillFromSource(*m_list, m_source); }

void CRecordListForm::RefillRecords(const std::vector<int32_t>& indices) {
  RefillFromSource(*m_list, m_source, indices);
}

void CRecordListForm::SyncSelection() { ShowSourceSelection(*m_list, m_source); }

void CRecordListForm::OnListSelectionChanged() { PassSelectionToSource(*m_list, m_source); }
