#include "app/RecordListViewAccessible.h"

#include <QAbstractItemModel>
#include <QItemSelectionModel>
#include <QWindow>
#include <utility>

#include "app/RecordListView.h"

namespace {

QAccessibleInterface* RecordListFactory(const QString&, QObject* object) {
  // A list being destroyed is a plain widget by then and gets no interface.
  auto* view = dynamic_cast<CRecordListView*>(object);
  return view ? new CRecordListAccessible(view) : nullptr;
}

// Many rows at once, one by one with Ctrl and in ranges with Shift.
void SetSelectable(QAccessible::State& state, const QAbstractItemView& view) {
  const QAbstractItemView::SelectionMode mode = view.selectionMode();
  state.multiSelectable =
      mode == QAbstractItemView::MultiSelection || mode == QAbstractItemView::ExtendedSelection;
  state.extSelectable = mode == QAbstractItemView::ExtendedSelection;
}

}  // namespace

void CRecordListAccessible::Install() { QAccessible::installFactory(RecordListFactory); }

CRecordListAccessible::CRecordListAccessible(CRecordListView* view)
    : QAccessibleWidget(view, QAccessible::List) {}

CRecordListAccessible::~CRecordListAccessible() { ForgetRows(); }

void CRecordListAccessible::ForgetRows() {
  // The cache owns the items: taking one out of it deletes it.
  const std::unordered_map<int, QAccessible::Id> rows = std::exchange(m_rows, {});
  for (const auto& [row, id] : rows) QAccessible::deleteAccessibleInterface(id);
}

CRecordListView* CRecordListAccessible::View() const {
  return dynamic_cast<CRecordListView*>(object());
}

QAccessible::State CRecordListAccessible::state() const {
  QAccessible::State state = QAccessibleWidget::state();
  if (const CRecordListView* view = View()) SetSelectable(state, *view);
  return state;
}

int CRecordListAccessible::childCount() const {
  const CRecordListView* view = View();
  return view && view->model() ? view->model()->rowCount(view->rootIndex()) : 0;
}

QAccessibleInterface* CRecordListAccessible::child(int index) const {
  CRecordListView* view = View();
  if (view == nullptr || index < 0 || index >= childCount()) return nullptr;
  const auto found = m_rows.find(index);
  if (found != m_rows.end()) return QAccessible::accessibleInterface(found->second);
  auto* item = new CRecordItemAccessible(view, index);
  m_rows.emplace(index, QAccessible::registerAccessibleInterface(item));
  return item;
}

int CRecordListAccessible::indexOfChild(const QAccessibleInterface* child) const {
  const auto* item = dynamic_cast<const CRecordItemAccessible*>(child);
  const CRecordListView* view = View();
  return item && view && item->View() == view && item->Row() < childCount() ? item->Row() : -1;
}

QAccessibleInterface* CRecordListAccessible::childAt(int x, int y) const {
  const CRecordListView* view = View();
  if (view == nullptr) return nullptr;
  const QPoint at = view->viewport()->mapFromGlobal(QPoint(x, y));
  if (!view->viewport()->rect().contains(at)) return nullptr;
  const QModelIndex index = view->indexAt(at);
  return index.isValid() ? child(index.row()) : nullptr;
}

QAccessibleInterface* CRecordListAccessible::focusChild() const {
  // The current row, as the list draws its focus frame on it.
  const CRecordListView* view = View();
  const QModelIndex current = view ? view->currentIndex() : QModelIndex();
  return current.isValid() ? child(current.row()) : nullptr;
}

// ---- one row

CRecordItemAccessible::CRecordItemAccessible(CRecordListView* view, int row)
    : m_view(view), m_row(row) {}

CRecordListView* CRecordItemAccessible::View() const {
  return dynamic_cast<CRecordListView*>(m_view.data());
}

QModelIndex CRecordItemAccessible::Index() const {
  const CRecordListView* view = View();
  return view && view->model() ? view->model()->index(m_row, 0, view->rootIndex()) : QModelIndex();
}

bool CRecordItemAccessible::isValid() const { return Index().isValid(); }

QWindow* CRecordItemAccessible::window() const {
  const CRecordListView* view = View();
  return view ? view->window()->windowHandle() : nullptr;
}

QAccessibleInterface* CRecordItemAccessible::parent() const {
  CRecordListView* view = View();
  return view ? QAccessible::queryAccessibleInterface(view) : nullptr;
}

QString CRecordItemAccessible::text(QAccessible::Text t) const {
  const QModelIndex index = Index();
  if (t != QAccessible::Name || !index.isValid()) return QString();
  const QString text = index.data(Qt::AccessibleTextRole).toString();
  return text.isEmpty() ? index.data(Qt::DisplayRole).toString() : text;
}

QRect CRecordItemAccessible::rect() const {
  const CRecordListView* view = View();
  const QModelIndex index = Index();
  if (view == nullptr || !index.isValid()) return QRect();
  const QRect rect = view->visualRect(index);
  return rect.translated(view->viewport()->mapToGlobal(QPoint(0, 0)));
}

QAccessible::State CRecordItemAccessible::state() const {
  QAccessible::State state;
  const CRecordListView* view = View();
  const QModelIndex index = Index();
  if (view == nullptr || !index.isValid()) {
    state.invalid = true;
    return state;
  }
  state.selectable = true;
  state.focusable = true;
  SetSelectable(state, *view);
  state.selected = view->selectionModel() && view->selectionModel()->isSelected(index);
  // The current row has the list's focus frame, as in the standard lists.
  state.focused = view->currentIndex() == index;
  state.invisible = !view->visualRect(index).intersects(view->viewport()->rect());
  return state;
}
