#include "app/RecordListDialog.h"

#include <QAbstractListModel>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "app/AppCore.h"
#include "app/CommandIds.h"
#include "app/CommandTable.h"
#include "app/MainFrame.h"
#include "app/RecordItemText.h"
#include "app/RunGuarded.h"
#include "location/IteratorAdaptors.h"
#include "location/RecordSource.h"

// Items stand for record indices; the texts are drawn by the delegate.
class CRecordListModel : public QAbstractListModel {
 public:
  explicit CRecordListModel(const std::vector<CLocationRecord>& records, QObject* parent)
      : QAbstractListModel(parent), m_records(records) {}

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(m_texts.size());
  }
  QVariant data(const QModelIndex&, int) const override { return QVariant(); }

  void Reset() {
    beginResetModel();
    m_texts.clear();
    m_texts.reserve(m_records.size());
    for (const CLocationRecord& record : m_records) m_texts.push_back(MakeRecordItemText(record));
    endResetModel();
  }
  const CRecordItemText& Text(int row) const { return m_texts.at(static_cast<std::size_t>(row)); }

 private:
  const std::vector<CLocationRecord>& m_records;
  std::vector<CRecordItemText> m_texts;
};

namespace {

class CRecordItemDelegate : public QStyledItemDelegate {
 public:
  CRecordItemDelegate(CRecordListModel* model, QListView* list)
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
  QListView* m_list;
};

CCommandTarget* MainCommandTarget() {
  CAppCore* core = GetAppCore();
  return core ? dynamic_cast<CCommandTarget*>(core->GetMainWindow()) : nullptr;
}

}  // namespace

CRecordListView::CRecordListView(QWidget* parent) : QListView(parent) {
  setObjectName(QString::number(CRecordListDialog::IDC_LIST));
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformItemSizes(false);
  setWordWrap(true);
  // Widening the pane shortens wrapped notes: every resize measures again.
  setResizeMode(QListView::Adjust);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // The list's keys go to the main window, like its context menu's commands.
  for (const CAccelerator& accelerator : RecordAccelerators()) {
    auto* shortcut = new QShortcut(accelerator.keys, this);
    shortcut->setContext(Qt::WidgetShortcut);
    const uint32_t id = accelerator.id;
    connect(shortcut, &QShortcut::activated, this, [this, id] {
      RunGuarded(this, [&] {
        if (CCommandTarget* target = MainCommandTarget()) target->ExecuteCommand(id);
      });
    });
  }
}

void CRecordListView::keyboardSearch(const QString&) {
  // Typing does not jump to items.
}

void CRecordListView::contextMenuEvent(QContextMenuEvent* event) {
  RunGuarded(this, [&] {
    auto* frame = dynamic_cast<CMainFrame*>(GetAppCore()->GetMainWindow());
    if (frame == nullptr) return;
    QMenu* menu = frame->CreateRecordContextMenu(this);
    const QPoint at = event->reason() == QContextMenuEvent::Keyboard
                          ? viewport()->mapToGlobal(QPoint(0, 0))
                          : event->globalPos();
    menu->exec(at);
    delete menu;
  });
  event->accept();
}

CRecordListDialog::CRecordListDialog(CRecordListOwner* owner, QWidget* parent)
    : QWidget(parent), m_owner(owner), m_list(new CRecordListView(this)) {
  setObjectName(QStringLiteral("203"));
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
  connect(m_list, &QListView::doubleClicked, this,
          [this] { RunGuarded(this, [] { GetAppCore()->BroadcastShowProperties(); }); });
}

CRecordListDialog::~CRecordListDialog() {
  // The records and items go before the window does, telling nobody.
  m_applying = true;
  m_records.clear();
  m_model->Reset();
}

void CRecordListDialog::Fill(const CLocationRecord* first, const CLocationRecord* last) {
  m_applying = true;
  m_records.assign(first, last);
  m_model->Reset();
  m_applying = false;
  ApplySelection();
}

void CRecordListDialog::SetSelection(const int32_t* first, const int32_t* last) {
  m_selection = std::set<int32_t>(first, last);
  ApplySelection();
}

std::vector<int32_t> CRecordListDialog::ListSelection() const {
  std::vector<int32_t> rows;
  for (const QModelIndex& index : m_list->selectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void CRecordListDialog::ApplySelection() {
  const std::vector<int32_t> shown = ListSelection();
  std::vector<int32_t> wanted;
  for (int32_t index : m_selection)
    if (index >= 0 && index < m_model->rowCount(QModelIndex())) wanted.push_back(index);
  if (shown == wanted) return;
  QItemSelection selection;
  for (int32_t index : wanted) {
    const QModelIndex item = m_model->index(index);
    selection.select(item, item);
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
  source.EnumerateAll(MakeBackInserter(records));
  list.Fill(records.data(), records.data() + records.size());
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
