#include "app/RecordListView.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QShortcut>
#include <algorithm>
#include <climits>

#include "app/AppCore.h"
#include "app/CommandTable.h"
#include "app/MainFrame.h"
#include "app/RecordListViewAccessible.h"
#include "app/RunGuarded.h"

namespace {

CCommandTarget* MainCommandTarget() {
  CAppCore* core = GetAppCore();
  return core ? dynamic_cast<CCommandTarget*>(core->GetMainWindow()) : nullptr;
}

int ClampToInt(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, INT_MIN / 2, INT_MAX / 2));
}

}  // namespace

CRecordListView::CRecordListView(QWidget* parent) : QAbstractItemView(parent) {
  CRecordListAccessible::Install();
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
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

// ---- rows

int CRecordListView::RowCount() const {
  return model() ? model()->rowCount(rootIndex()) : 0;
}

QModelIndex CRecordListView::Index(int row) const {
  return model() ? model()->index(row, 0, rootIndex()) : QModelIndex();
}

int CRecordListView::NominalHeight() const { return std::max(1, fontMetrics().height()); }

int CRecordListView::RowHeight(int row) const {
  const int width = viewport()->width();
  const auto count = static_cast<std::size_t>(RowCount());
  if (width != m_heightsWidth || m_heights.size() != count) {
    m_heights.assign(count, 0);
    m_heightsWidth = width;
  }
  if (row < 0 || static_cast<std::size_t>(row) >= count) return NominalHeight();
  int& height = m_heights[static_cast<std::size_t>(row)];
  if (height == 0) {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = QRect(0, 0, width, 0);
    // At least a pixel: every row must take room for the rows to be told apart.
    height = std::max(1, itemDelegate()->sizeHint(option, Index(row)).height());
  }
  return height;
}

int64_t CRecordListView::RowY(int row) const {
  int64_t y = 0;
  int r = m_top;
  if (row >= m_top) {
    const int exactEnd = std::min(row, m_top + kExactRows);
    for (; r < exactEnd; ++r) y += RowHeight(r);
    return y + static_cast<int64_t>(row - r) * NominalHeight();
  }
  const int exactEnd = std::max(row, m_top - kExactRows);
  for (; r > exactEnd; --r) y -= RowHeight(r - 1);
  return y - static_cast<int64_t>(r - row) * NominalHeight();
}

int CRecordListView::RowAtY(int64_t y) const {
  const int count = RowCount();
  const int nominal = NominalHeight();
  int r = m_top;
  if (y >= 0) {
    int64_t bottom = 0;
    for (; r < count && r < m_top + kExactRows; ++r) {
      bottom += RowHeight(r);
      if (y < bottom) return r;
    }
    if (r >= count) return count;
    return static_cast<int>(std::min<int64_t>(count, r + (y - bottom) / nominal));
  }
  int64_t top = 0;
  for (; r > 0 && r > m_top - kExactRows; --r) {
    top -= RowHeight(r - 1);
    if (y >= top) return r - 1;
  }
  if (r <= 0) return -1;
  return static_cast<int>(std::max<int64_t>(-1, r - 1 - (top - 1 - y) / nominal));
}

std::vector<CRecordListView::CShownRow> CRecordListView::ShownRows() const {
  std::vector<CShownRow> rows;
  const int count = RowCount();
  const int height = viewport()->height();
  int y = 0;
  for (int row = m_top; row < count && y < height; ++row) {
    const int rowHeight = RowHeight(row);
    rows.push_back({row, y, rowHeight});
    y += rowHeight;
  }
  return rows;
}

int CRecordListView::TopShowingAtBottom(int row) const {
  const int height = viewport()->height();
  int top = row;
  int used = RowHeight(row);
  while (top > 0 && used + RowHeight(top - 1) <= height) used += RowHeight(--top);
  return top;
}

bool CRecordListView::EndsInView(int row) const {
  // Every row takes a pixel at least: the walk ends within the viewport.
  const int height = viewport()->height();
  int bottom = 0;
  for (int r = m_top; r <= row; ++r) {
    bottom += RowHeight(r);
    if (bottom > height) return false;
  }
  return true;
}

int CRecordListView::LastTopRow() const {
  const int count = RowCount();
  return count == 0 ? 0 : TopShowingAtBottom(count - 1);
}

void CRecordListView::SetTopRow(int row) {
  executeDelayedItemsLayout();
  verticalScrollBar()->setValue(row);
}

// ---- geometry

int CRecordListView::CountedHeight(int row) const {
  const bool measured = row >= m_top ? row < m_top + kExactRows : row >= m_top - kExactRows;
  return measured ? RowHeight(row) : NominalHeight();
}

QRect CRecordListView::visualRect(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != model() || index.parent() != rootIndex())
    return QRect();
  // A far row as high as it counts in RowY, so that its centre leads back
  // to it through RowAtY.
  const int row = index.row();
  return QRect(0, ClampToInt(RowY(row)), viewport()->width(), CountedHeight(row));
}

QModelIndex CRecordListView::indexAt(const QPoint& point) const {
  if (point.x() < 0 || point.x() >= viewport()->width()) return QModelIndex();
  const int row = RowAtY(point.y());
  return row >= 0 && row < RowCount() ? Index(row) : QModelIndex();
}

void CRecordListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid() || index.model() != model()) return;
  const int row = index.row();
  const int height = viewport()->height();
  int top = m_top;
  switch (hint) {
    case PositionAtTop:
      top = row;
      break;
    case PositionAtBottom:
      top = TopShowingAtBottom(row);
      break;
    case PositionAtCenter: {
      top = row;
      int above = 0;
      const int room = (height - RowHeight(row)) / 2;
      while (top > 0 && above + RowHeight(top - 1) <= room) above += RowHeight(--top);
      break;
    }
    case EnsureVisible:
      if (row < m_top) {
        top = row;
      } else if (row > m_top && !EndsInView(row)) {
        top = TopShowingAtBottom(row);
      }
      break;
  }
  SetTopRow(top);
}

QModelIndex CRecordListView::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
  const int count = RowCount();
  if (count == 0) return QModelIndex();
  const QModelIndex current = currentIndex();
  // Without a current row every key starts at the first.
  if (!current.isValid()) return Index(0);
  const int row = current.row();
  const int height = viewport()->height();
  switch (action) {
    case MoveUp:
    case MovePrevious:
      return Index(std::max(0, row - 1));
    case MoveDown:
    case MoveNext:
      return Index(std::min(count - 1, row + 1));
    case MoveHome:
      return Index(0);
    case MoveEnd:
      return Index(count - 1);
    case MovePageDown: {
      // The last row of a page that starts at the current one.
      int last = row;
      int used = RowHeight(row);
      while (last + 1 < count && used + RowHeight(last + 1) <= height) used += RowHeight(++last);
      return Index(last == row ? std::min(count - 1, row + 1) : last);
    }
    case MovePageUp: {
      const int first = TopShowingAtBottom(row);
      return Index(first == row ? std::max(0, row - 1) : first);
    }
    case MoveLeft:
    case MoveRight:
      break;
  }
  return current;
}

void CRecordListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
  if (selectionModel() == nullptr) return;
  // The rectangle may come with its corners in any order.
  const int count = RowCount();
  const int first = RowAtY(std::min(rect.top(), rect.bottom()));
  const int last = RowAtY(std::max(rect.top(), rect.bottom()));
  QItemSelection selection;
  if (count != 0 && last >= 0 && first < count)
    selection.select(Index(std::max(first, 0)), Index(std::min(last, count - 1)));
  selectionModel()->select(selection, command);
}

QRegion CRecordListView::visualRegionForSelection(const QItemSelection& selection) const {
  QRegion region;
  const std::vector<CShownRow> shown = ShownRows();
  if (shown.empty()) return region;
  const int width = viewport()->width();
  for (const QItemSelectionRange& range : selection) {
    if (!range.isValid() || range.parent() != rootIndex()) continue;
    const int first = std::max(range.top(), shown.front().row);
    const int last = std::min(range.bottom(), shown.back().row);
    if (first > last) continue;
    const CShownRow& top = shown[static_cast<std::size_t>(first - shown.front().row)];
    const CShownRow& bottom = shown[static_cast<std::size_t>(last - shown.front().row)];
    region += QRect(0, top.y, width, bottom.y + bottom.height - top.y);
  }
  return region;
}

void CRecordListView::updateGeometries() {
  const int count = RowCount();
  const int lastTop = LastTopRow();
  QScrollBar* bar = verticalScrollBar();
  bar->setSingleStep(1);
  bar->setPageStep(std::max(1, count - lastTop));
  bar->setRange(0, lastTop);
  horizontalScrollBar()->setRange(0, 0);
  QAbstractItemView::updateGeometries();
}

void CRecordListView::reset() {
  // The items a tool holds stand for rows that now show other records. Only
  // while a tool listens are items asked for and kept; an item reads its row
  // afresh anyway.
  if (QAccessible::isActive()) {
    if (auto* accessible =
            dynamic_cast<CRecordListAccessible*>(QAccessible::queryAccessibleInterface(this)))
      accessible->ForgetRows();
  }
  m_heights.clear();
  m_heightsWidth = -1;
  m_anchorRow = 0;
  m_anchorDepth = 0;
  QAbstractItemView::reset();
  updateGeometries();
  viewport()->update();
}

void CRecordListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                  const QList<int>& roles) {
  if (topLeft.isValid() && bottomRight.isValid() && topLeft.parent() == rootIndex()) {
    const int last = std::min(bottomRight.row(), static_cast<int>(m_heights.size()) - 1);
    for (int row = std::max(topLeft.row(), 0); row <= last; ++row)
      m_heights[static_cast<std::size_t>(row)] = 0;
  }
  QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
  // A row that grew or shrank moves the rows below it, and may change the
  // last page.
  updateGeometries();
  viewport()->update();
}

void CRecordListView::scrollContentsBy(int, int) {
  const int top = verticalScrollBar()->value();
  if (top == m_top) return;
  m_top = top;
  viewport()->update();
}

int CRecordListView::verticalOffset() const {
  // The anchor row's top is at 0, and the pressed point at its depth. A far
  // row counts as high as in RowY, so the depth is kept within that height.
  const int depth = std::min(m_anchorDepth, CountedHeight(m_anchorRow) - 1);
  return ClampToInt(static_cast<int64_t>(m_anchorDepth) - depth - RowY(m_anchorRow));
}

void CRecordListView::mousePressEvent(QMouseEvent* event) {
  // The item view keeps the point of a press as its drag's start unless the
  // press extends a selection (Shift): such a press keeps the anchor too.
  const QPoint pos = event->position().toPoint();
  if (selectionModel() != nullptr &&
      (dragEnabled() || !(selectionCommand(indexAt(pos), event) & QItemSelectionModel::Current))) {
    m_anchorRow = std::clamp(RowAtY(pos.y()), 0, RowCount());
    m_anchorDepth = std::max(0, ClampToInt(pos.y() - RowY(m_anchorRow)));
  }
  QAbstractItemView::mousePressEvent(event);
}

void CRecordListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  if (QAccessible::isActive() && current.isValid() && hasFocus()) {
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(current.row());
    QAccessible::updateAccessibility(&event);
  }
  QAbstractItemView::currentChanged(current, previous);
}

void CRecordListView::selectionChanged(const QItemSelection& selected,
                                       const QItemSelection& deselected) {
  QAbstractItemView::selectionChanged(selected, deselected);
  if (!QAccessible::isActive()) return;
  // Counted by ranges: selecting all of a long list is one range.
  int64_t rows = 0;
  for (const QItemSelection* ranges : {&selected, &deselected})
    for (const QItemSelectionRange& range : *ranges) rows += range.bottom() - range.top() + 1;
  if (rows > kToldRows) {
    QAccessibleEvent event(this, QAccessible::SelectionWithin);
    QAccessible::updateAccessibility(&event);
    return;
  }
  const auto tell = [this](const QItemSelection& ranges, QAccessible::Event type) {
    for (const QItemSelectionRange& range : ranges) {
      for (int row = range.top(); row <= range.bottom(); ++row) {
        QAccessibleEvent event(this, type);
        event.setChild(row);
        QAccessible::updateAccessibility(&event);
      }
    }
  };
  tell(deselected, QAccessible::SelectionRemove);
  tell(selected, QAccessible::SelectionAdd);
}

void CRecordListView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
    m_heightsWidth = -1;
  QAbstractItemView::changeEvent(event);
}

void CRecordListView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  const QStyle::State state = option.state;
  const QModelIndex current = currentIndex();
  const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
  const QItemSelectionModel* selections = selectionModel();
  const int width = viewport()->width();
  for (const CShownRow& shown : ShownRows()) {
    option.rect = QRect(0, shown.y, width, shown.height);
    if (!event->rect().intersects(option.rect)) continue;
    const QModelIndex index = Index(shown.row);
    option.state = state;
    if (selections && selections->isSelected(index)) option.state |= QStyle::State_Selected;
    // Selected rows keep their colours while the window is inactive.
    if (option.state & QStyle::State_Enabled) option.palette.setCurrentColorGroup(QPalette::Normal);
    if (focus && index == current) option.state |= QStyle::State_HasFocus;
    itemDelegate()->paint(&painter, option, index);
  }
}
