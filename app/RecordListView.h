// The list box of the record list: one row per record of its model, each as
// high as its delegate says for the list's width. It scrolls by whole rows,
// the scroll bar counting rows, so that only the rows in view and the last
// page are ever measured: a list of a million records fills, resizes and
// scrolls in the time of the rows it shows. Measured heights are kept until
// the width, the font or the row changes. The model is reset or changes rows
// in place; it does not insert or remove rows.
//
// The record commands are on its keys and context menu; typing does not
// jump to rows. To assistive tools it is a list of its rows
// (CRecordListAccessible), told of the current row and selection changes.
#pragma once

#include <QAbstractItemView>
#include <cstdint>
#include <vector>

class CRecordListView : public QAbstractItemView {
 public:
  explicit CRecordListView(QWidget* parent);

  QRect visualRect(const QModelIndex& index) const override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint& point) const override;
  void keyboardSearch(const QString& search) override;
  void reset() override;

  // The row shown at the top.
  int TopRow() const { return m_top; }
  // The row's height at the list's width.
  int RowHeight(int row) const;

 protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override { return 0; }
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex&) const override { return false; }
  void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
  QRegion visualRegionForSelection(const QItemSelection& selection) const override;
  void updateGeometries() override;
  void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                   const QList<int>& roles) override;
  void scrollContentsBy(int dx, int dy) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  int RowCount() const;
  QModelIndex Index(int row) const;
  // One line of the list's font: the height counted for rows too far from
  // the top to be measured.
  int NominalHeight() const;
  // Where row's top lies, in pixels down from the top row's top (negative
  // above it). Rows up to kExactRows away are measured; beyond them each
  // counts NominalHeight, so that a far row costs no more than a near one.
  int64_t RowY(int row) const;
  // The height row counts with in RowY: its own, or NominalHeight far away.
  int CountedHeight(int row) const;
  // The inverse of RowY: the row at y, -1 above the first row, RowCount()
  // below the last.
  int RowAtY(int64_t y) const;
  // The first rows of the view, as far as the viewport reaches.
  struct CShownRow {
    int row;
    int y;
    int height;
  };
  std::vector<CShownRow> ShownRows() const;
  // The top row that shows row whole at the bottom of the viewport, or at
  // its top when it is higher than the viewport.
  int TopShowingAtBottom(int row) const;
  // Whether row, at or below the top row, ends within the viewport.
  bool EndsInView(int row) const;
  int LastTopRow() const;
  void SetTopRow(int row);

  static constexpr int kExactRows = 512;
  // Selection changes of up to this many rows are told row by row, larger
  // ones as one change of the list.
  static constexpr int kToldRows = 64;

  mutable std::vector<int> m_heights;  // 0 while not measured
  mutable int m_heightsWidth = -1;
  int m_top = 0;
  // The row of the last press that set where a drag selects from, and how
  // far below that row's top it was pressed. The coordinates that presses
  // and moves share (verticalOffset) start at that row, so that the point
  // pressed leads back to its row however far the list scrolls meanwhile,
  // by whole rows measured or not: a Shift+click does not move it, and its
  // drag still selects from there.
  int m_anchorRow = 0;
  int m_anchorDepth = 0;
};
