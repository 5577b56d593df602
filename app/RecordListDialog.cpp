#include "app/RecordListDialog.h"

#include <QAbstractListModel>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "app/AppCore.h"
#include "app/RecordItemText.h"
#include "app/RunGuarded.h"
#include "location/IteratorAdaptors.h"
#include "location/RecordSource.h"

// Items stand for record indices; their texts are made when a row is
// measured or drawn, so that a long list costs only the rows shown.
class CRecordListModel : public QAbstractListModel {
 public:
  explicit CRecordListModel(const std::vector<CLocationRecord>& records, QObject* parent)
      : QAbstractListModel(parent), m_records(records) {}

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(m_records.size());
  }
  // Only assistive tools ask for a row's text; the delegate draws its parts.
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::AccessibleTextRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
      return QVariant();
    const CRecordItemText text = Text(index.row());
    QStringList lines;
    if (text.hasTime) lines.append(text.time);
    if (text.hasNote && !text.note.isEmpty()) lines.append(text.note);
    if (text.hasCoordinates) lines.append(text.coordinates);
    return lines.join(QLatin1Char('\n'));
  }

  void Reset() {
    beginResetModel();
    endResetModel();
  }
  void RowChanged(int row) {
    const QModelIndex item = index(row);
    emit dataChanged(item, item);
  }
  CRecordItemText Text(int row) const {
    return MakeRecordItemText(m_records.at(static_cast<std::size_t>(row)));
  }

 private:
  const std::vector<CLocationRecord>& m_records;
};

namespace {

class CRecordItemDelegate : public QStyledItemDelegate {
 public:
  CRecordItemDelegate(CRecordListModel* model, QAbstractItemView* list)
      : QStyledItemDelegate(list), m_model(model), m_list(list) {}

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
    const int width = m_list->viewport()->width();
    return QSize(width, MeasureRecordItem(m_model->Text(index.row()), m_list->fontMetrics(), width));
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& palette = option.palette;
    painter->save();
    painter->fillRect(option.rect, selected ? palette.highlight() : palette.base());
    painter->setPen(selected ? palette.highlightedText().color() : palette.text().color());
    painter->setFont(m_list->font());
    if (index.isValid()) DrawRecordItem(*painter, m_model->Text(index.row()), option.rect);
    if (option.state & QStyle::State_HasFocus) {
      QStyleOptionFocusRect focus;
      focus.rect = option.rect;
      focus.state = option.state;
      focus.backgroundColor = selected ? palette.highlight().color() : palette.base().color();
      m_list->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, m_list);
    }
    painter->restore();
  }

 private:
  CRecordListModel* m_model;
  QAbstractItemView* m_list;
};

}  // namespace

CRecordListDialog::CRecordListDialog(CRecordListOwner* owner, QWidget* parent)
    : QWidget(parent), m_owner(owner), m_list(new CRecordListView(this)) {
  setObjectName(QStringLiteral("203"));
  m_list->setObjectName(QString::number(IDC_LIST));
  m_model = new CRecordListModel(m_records, this);
  m_list->setModel(m_model);
  m_list->setItemDelegate(new CRecordItemDelegate(m_model, m_list));
  auto* label = new QLabel(QStringLiteral("位置記録(&R) :"), this);
  label->setBuddy(m_list);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(3);
  layout->addWidget(label);
  layout->addWidget(m_list, 1);
  connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { OnUserSelectionChanged(); });
  connect(m_list, &QAbstractItemView::doubleClicked, this,
          [this] { RunGuarded(this, [] { GetAppCore()->BroadcastShowProperties(); }); });
}

CRecordListDialog::~CRecordListDialog() {
  // The records and items go before the window does, telling nobody.
  m_applying = true;
  m_records.clear();
  m_model->Reset();
}

void CRecordListDialog::Fill(const CLocationRecord* first, const CLocationRecord* last) {
  Fill(std::vector<CLocationRecord>(first, last));
}

void CRecordListDialog::Fill(std::vector<CLocationRecord>&& records) {
  m_applying = true;
  m_records = std::move(records);
  m_model->Reset();
  m_applying = false;
  ApplySelection();
}

void CRecordListDialog::ReplaceRecords(const std::vector<int32_t>& indices,
                                       const std::vector<CLocationRecord>& records) {
  const std::size_t count = std::min(indices.size(), records.size());
  for (std::size_t i = 0; i < count; ++i) {
    const int32_t index = indices[i];
    if (index < 0 || static_cast<std::size_t>(index) >= m_records.size()) continue;
    m_records[static_cast<std::size_t>(index)] = records[i];
    m_model->RowChanged(index);
  }
}

void CRecordListDialog::SetSelection(const int32_t* first, const int32_t* last) {
  m_selection = std::set<int32_t>(first, last);
  ApplySelection();
}

std::vector<int32_t> CRecordListDialog::ListSelection() const {
  // Read by ranges: a selection of every item of a long list is one range.
  std::vector<int32_t> rows;
  for (const QItemSelectionRange& range : m_list->selectionModel()->selection()) {
    if (!range.isValid()) continue;
    for (int row = range.top(); row <= range.bottom(); ++row) rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

void CRecordListDialog::ApplySelection() {
  const std::vector<int32_t> shown = ListSelection();
  std::vector<int32_t> wanted;
  for (int32_t index : m_selection)
    if (index >= 0 && index < m_model->rowCount(QModelIndex())) wanted.push_back(index);
  if (shown == wanted) return;
  // One range for each run of consecutive indices.
  QItemSelection selection;
  for (std::size_t first = 0; first < wanted.size();) {
    std::size_t last = first;
    while (last + 1 < wanted.size() && wanted[last + 1] == wanted[last] + 1) ++last;
    selection.select(m_model->index(wanted[first]), m_model->index(wanted[last]));
    first = last + 1;
  }
  m_applying = true;
  m_list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  m_applying = false;
}

void CRecordListDialog::OnUserSelectionChanged() {
  if (m_applying) return;
  const std::vector<int32_t> rows = ListSelection();
  m_selection = std::set<int32_t>(rows.begin(), rows.end());
  RunGuarded(this, [&] {
    if (m_owner) m_owner->OnListSelectionChanged();
  });
}

int CRecordListDialog::ItemHeight(int index) const {
  return m_list->sizeHintForIndex(m_model->index(index)).height();
}

void ReplacePlaceholder(QWidget* child, QWidget* parent, int id) {
  const QString name = QString::number(id);
  QWidget* placeholder = parent->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
  if (placeholder == nullptr) return;
  const auto* label = qobject_cast<QLabel*>(placeholder);
  const QString text = label ? label->text() : placeholder->windowTitle();
  child->setParent(parent);
  if (QLayout* layout = parent->layout()) {
    delete layout->replaceWidget(placeholder, child);
  } else {
    child->setGeometry(placeholder->geometry());
  }
  delete placeholder;
  child->setObjectName(name);
  child->setWindowTitle(text);
  child->show();
}

void FillFromSource(CRecordListDialog& list, CRecordSource& source) {
  std::vector<CLocationRecord> records;
  records.reserve(static_cast<std::size_t>(std::max(0, source.Count())));
  source.EnumerateAll(MakeBackInserter(records));
  list.Fill(std::move(records));
}

void RefillFromSource(CRecordListDialog& list, CRecordSource& source,
                      const std::vector<int32_t>& indices) {
  std::vector<CLocationRecord> records;
  records.reserve(indices.size());
  source.GetRecords(MakeIntPtrIterator(indices.data()),
                    MakeIntPtrIterator(indices.data() + indices.size()),
                    MakeBackInserter(records));
  list.ReplaceRecords(indices, records);
}

void ShowSourceSelection(CRecordListDialog& list, CRecordSource& source) {
  std::vector<int32_t> selection;
  source.GetSelection(MakeIntBackInserter(selection));
  list.SetSelection(selection.data(), selection.data() + selection.size());
}

void PassSelectionToSource(const CRecordListDialog& list, CRecordSource& source) {
  const std::vector<int32_t> selection(list.GetSelection().begin(), list.GetSelection().end());
  source.SetSelection(MakeIntPtrIterator(selection.data()),
                      MakeIntPtrIterator(selection.data() + selection.size()));
}
