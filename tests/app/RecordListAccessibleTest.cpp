// What assistive tools read of the record list: a list of its rows as the
// standard list view shows itself, each row an item named by its text,
// selected and focused as the list shows it; items made only for the rows
// asked for, also in a list of a million.
#include <QAbstractListModel>
#include <QAccessible>
#include <QListView>
#include <QScrollBar>
#include <QStringListModel>
#include <QTest>
#include <memory>

#include "app/RecordListDialog.h"
#include "location/qt/LocalDateText.h"
#include "tests/app/AppTestSupport.h"

namespace {

CLocationRecord Bare(double latitude, double longitude) {
  CLocationRecord record;
  record.position = CPosition({latitude, longitude});
  return record;
}

QString TimeText(int32_t time) {
  return QString::fromStdString(FormatLocalDateTime(CZonedTime(time, 0)));
}

QAccessibleInterface* Accessible(QWidget* widget) {
  return QAccessible::queryAccessibleInterface(widget);
}

// A row's item as its parent hands it out.
QAccessibleInterface* Item(QWidget* widget, int row) { return Accessible(widget)->child(row); }

QPoint GlobalCentre(QAbstractItemView& view, int row) {
  return view.viewport()->mapToGlobal(view.visualRect(view.model()->index(row, 0)).center());
}

class RecordListAccessibleTest : public ::testing::Test {
 protected:
  RecordListAccessibleTest() : dialog((TestApplication(), nullptr), nullptr) {
    for (int i = 0; i < 60; ++i)
      records.push_back(
          TestRecordAt(1700000000 + i * 60, i % 5 == 0 ? "" : "note " + std::to_string(i)));
    records[3].hasNote = false;
    records[4] = Bare(35.5, 139.25);
    dialog.resize(240, 300);
    dialog.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.Fill(records.data(), records.data() + records.size());
  }
  void SetUp() override {
    // A list with items at all, or the test ends here.
    ASSERT_EQ(Accessible(View())->role(), QAccessible::List);
    ASSERT_EQ(Accessible(View())->childCount(), 60);
    // The standard list over the texts the rows show, as large.
    QStringList texts;
    for (int i = 0; i < static_cast<int>(records.size()); ++i)
      texts.append(Item(View(), i)->text(QAccessible::Name));
    model.setStringList(texts);
    standard.setModel(&model);
    standard.setSelectionMode(QAbstractItemView::ExtendedSelection);
    standard.resize(240, 300);
    standard.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&standard));
    QApplication::processEvents();
  }

  CRecordListView* View() const { return dialog.GetList(); }

  std::vector<CLocationRecord> records;
  CRecordListDialog dialog;
  QStringListModel model;
  QListView standard;
};

TEST_F(RecordListAccessibleTest, RowsAreListItemsNamedByTheirText) {
  QAccessibleInterface* list = Accessible(View());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->role(), QAccessible::List);
  EXPECT_EQ(list->role(), Accessible(&standard)->role());
  EXPECT_EQ(list->childCount(), 60);
  EXPECT_EQ(list->parent(), Accessible(&dialog));
  EXPECT_TRUE(list->state().focusable);
  EXPECT_TRUE(list->state().multiSelectable);

  // The time above the note, the time alone, or the coordinates.
  EXPECT_EQ(Item(View(), 1)->text(QAccessible::Name), TimeText(1700000060) + "\nnote 1");
  EXPECT_EQ(Item(View(), 0)->text(QAccessible::Name), TimeText(1700000000));
  EXPECT_EQ(Item(View(), 3)->text(QAccessible::Name), TimeText(1700000180));
  EXPECT_EQ(Item(View(), 4)->text(QAccessible::Name), QStringLiteral("+35.50000, +139.25000"));

  for (int row : {0, 7, 59}) {
    QAccessibleInterface* item = Item(View(), row);
    ASSERT_NE(item, nullptr) << row;
    EXPECT_EQ(item->role(), QAccessible::ListItem);
    EXPECT_EQ(item->parent(), list);
    EXPECT_EQ(list->indexOfChild(item), row);
    // Asked again, the same item.
    EXPECT_EQ(list->child(row), item);
  }
  EXPECT_EQ(list->child(60), nullptr);
  EXPECT_EQ(list->child(-1), nullptr);
  EXPECT_EQ(list->indexOfChild(Accessible(&standard)->child(2)), -1);

  // Hit testing finds the row under a point on the screen, and nothing off
  // the list.
  EXPECT_EQ(list->childAt(GlobalCentre(*View(), 6).x(), GlobalCentre(*View(), 6).y()),
            Item(View(), 6));
  EXPECT_EQ(Item(View(), 6)->rect().center(), GlobalCentre(*View(), 6));
  const QPoint outside = View()->mapToGlobal(QPoint(-5, 5));
  EXPECT_EQ(list->childAt(outside.x(), outside.y()), nullptr);
}

TEST_F(RecordListAccessibleTest, ItemsAreSelectedFocusedAndShownAsInTheStandardList) {
  // The same clicks and scrolls in both lists.
  for (QAbstractItemView* view :
       {static_cast<QAbstractItemView*>(View()), static_cast<QAbstractItemView*>(&standard)}) {
    view->setFocus();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier,
                      view->visualRect(view->model()->index(2, 0)).center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      view->visualRect(view->model()->index(5, 0)).center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      view->visualRect(view->model()->index(8, 0)).center());
    view->verticalScrollBar()->setValue(4);
  }
  QAccessibleInterface* list = Accessible(View());
  QAccessibleInterface* other = Accessible(&standard);
  int shown = 0;
  for (int row = 0; row < 60; ++row) {
    const QAccessible::State state = list->child(row)->state();
    const QAccessible::State expected = other->child(row)->state();
    EXPECT_EQ(state.selected, expected.selected) << row;
    EXPECT_EQ(state.focused, expected.focused) << row;
    EXPECT_TRUE(state.selectable) << row;
    // Rows out of view, above and below, are invisible.
    EXPECT_EQ(state.invisible, row < 4 || !View()
                                               ->visualRect(View()->model()->index(row, 0))
                                               .intersects(View()->viewport()->rect()))
        << row;
    shown += state.invisible ? 0 : 1;
  }
  EXPECT_GT(shown, 5);
  EXPECT_TRUE(list->child(3)->state().selected);
  EXPECT_TRUE(list->child(8)->state().focused);
  EXPECT_EQ(list->focusChild(), list->child(8));
}

TEST_F(RecordListAccessibleTest, ARefilledListNamesTheNewRecords) {
  QAccessibleInterface* list = Accessible(View());
  ASSERT_EQ(list->child(1)->text(QAccessible::Name), TimeText(1700000060) + "\nnote 1");
  const std::vector<CLocationRecord> fewer = {TestRecordAt(1600000000, "first"),
                                              TestRecordAt(1600000060, "second")};
  dialog.Fill(fewer.data(), fewer.data() + fewer.size());
  EXPECT_EQ(list->childCount(), 2);
  EXPECT_EQ(list->child(1)->text(QAccessible::Name), TimeText(1600000060) + "\nsecond");
  EXPECT_EQ(list->child(2), nullptr);
}

// A million rows of one line each.
class CMillionRows : public QAbstractListModel {
 public:
  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 1000000; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::DisplayRole) return QStringLiteral("row %1").arg(index.row());
    if (role == Qt::SizeHintRole) return QSize(8, 17);
    return QVariant();
  }
};

// The id the accessibility cache gives the next interface: ids are handed
// out one after another, so the ids taken between two probes count the
// interfaces made meanwhile.
QAccessible::Id NextId(std::vector<std::unique_ptr<QObject>>& probes) {
  probes.push_back(std::make_unique<QWidget>());
  return QAccessible::uniqueId(Accessible(static_cast<QWidget*>(probes.back().get())));
}

TEST(RecordListAccessible, AMillionRowsCostOnlyTheItemsAskedFor) {
  TestApplication();
  CMillionRows rows;
  CRecordListView view(nullptr);
  view.setModel(&rows);
  view.resize(240, 300);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  view.setCurrentIndex(rows.index(3, 0));
  std::vector<std::unique_ptr<QObject>> probes;

  QAccessibleInterface* list = Accessible(&view);
  ASSERT_EQ(list->childCount(), 1000000);
  const QAccessible::Id before = NextId(probes);
  EXPECT_EQ(list->childCount(), 1000000);
  EXPECT_EQ(list->child(999999)->text(QAccessible::Name), QStringLiteral("row 999999"));
  EXPECT_EQ(list->child(999999), list->child(999999));
  EXPECT_EQ(list->focusChild(), list->child(3));
  const QPoint centre = GlobalCentre(view, 5);
  EXPECT_EQ(list->childAt(centre.x(), centre.y())->text(QAccessible::Name),
            QStringLiteral("row 5"));
  // The first probe and an item for each row asked for.
  EXPECT_EQ(NextId(probes) - before, 4u);
}

}  // namespace
