// What assistive tools see of the record list: a list with one list item
// per row, named by the row's text, selected and focused as the row is. An
// item is made only when a tool asks for its row and is kept until the rows
// stand for other records, so that a list of a million records costs what a
// tool reads of it.
#pragma once

#include <QAccessibleWidget>
#include <QPointer>
#include <unordered_map>

class CRecordListView;

class CRecordListAccessible : public QAccessibleWidget {
 public:
  explicit CRecordListAccessible(CRecordListView* view);
  ~CRecordListAccessible() override;

  // Makes every record list answer with this interface; once is enough, more
  // do no harm.
  static void Install();

  QAccessible::State state() const override;
  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* childAt(int x, int y) const override;
  QAccessibleInterface* focusChild() const override;

  // The items made so far go: after a refill their rows show other records.
  void ForgetRows();

 private:
  CRecordListView* View() const;

  mutable std::unordered_map<int, QAccessible::Id> m_rows;
};

// One row of a record list.
class CRecordItemAccessible : public QAccessibleInterface {
 public:
  CRecordItemAccessible(CRecordListView* view, int row);

  int Row() const { return m_row; }
  // The list, or null once it is being destroyed.
  CRecordListView* View() const;

  bool isValid() const override;
  QObject* object() const override { return nullptr; }
  QWindow* window() const override;
  QAccessibleInterface* parent() const override;
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QString text(QAccessible::Text t) const override;
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override;
  QAccessible::Role role() const override { return QAccessible::ListItem; }
  QAccessible::State state() const override;

 private:
  QModelIndex Index() const;

  QPointer<QWidget> m_view;
  int m_row;
};
