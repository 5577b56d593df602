#include "app/RecordListForm.h"

#include <QLabel>
#include <QVBoxLayout>
#include <vector>

#include "location/IteratorAdaptors.h"
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

void CRecordListForm::Refill() {
  std::vector<CLocationRecord> records;
  m_source.EnumerateAll(MakeBackInserter(records));
  m_list->Fill(records.data(), records.data() + records.size());
}

void CRecordListForm::SyncSelection() {
  std::vector<int32_t> selection;
  m_source.GetSelection(MakeIntBackInserter(selection));
  m_list->SetSelection(selection.data(), selection.data() + selection.size());
}

void CRecordListForm::OnListSelectionChanged() {
  const std::vector<int32_t> selection(m_list->GetSelection().begin(),
                                       m_list->GetSelection().end());
  m_source.SetSelection(MakeIntPtrIterator(selection.data()),
                        MakeIntPtrIterator(selection.data() + selection.size()));
}
