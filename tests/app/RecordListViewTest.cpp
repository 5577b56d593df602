// A long record list on its own: rows as high as their wrapped notes at every
// width, the last page, selections that reach rows scrolled out of view by
// Shift with the mouse or the keys and by a drag that scrolls, and records
// replaced in place.
#include <QFontMetrics>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>

#include "app/RecordItemText.h"
#include "app/RecordListDialog.h"
#include "tests/app/AppTestSupport.h"

namespace {

constexpr int kRecords = 3000;

class CCountingOwner : public CRecordListOwner {
 public:
  void OnListSelectionChanged() override { ++calls; }
  int calls = 0;
};

// Every seventh record has a note that wraps in a narrow list.
CLocationRecord ListRecord(int i) {
  const std::string note = i % 7 == 0 ? "a note long enough to wrap over several lines of a "
                                        "narrow list, number " + std::to_string(i)
                                      : "note " + std::to_string(i);
  return TestRecordAt(1700000000 + i * 60, note);
}

class RecordListViewTest : public ::testing::Test {
 protected:
  RecordListViewTest() : dialog((TestApplication(), &owner), nullptr) {
    for (int i = 0; i < kRecords; ++i) records.push_back(ListRecord(i));
    dialog.resize(240, 300);
    dialog.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.Fill(records.data(), records.data() + records.size());
    QApplication::processEvents();
  }

  CRecordListView& View() const { return *dialog.GetList(); }
  QWidget* Surface() const { return View().viewport(); }
  QRect Rect(int row) const { return View().visualRect(View().model()->index(row, 0)); }
  void Resize(int width) {
    dialog.resize(width, 300);
    QApplication::processEvents();
  }
  void ScrollTo(int top) {
    View().verticalScrollBar()->setValue(top);
    QApplication::processEvents();
  }
  // The rows in view follow each other from the top, each as high as its
  // record's text needs at the list's width.
  void ExpectRowsMeasuredForTheWidth() const {
    const QFontMetrics metrics = View().fontMetrics();
    const int width = Surface()->width();
    int y = 0;
    for (int row = View().TopRow(); row < kRecords && y < Surface()->height(); ++row) {
      const QRect rect = Rect(row);
      ASSERT_EQ(rect.top(), y) << row;
      ASSERT_EQ(rect.height(),
                MeasureRecordItem(MakeRecordItemText(dialog.GetRecords()[row]), metrics, width))
          << row;
      y = rect.bottom() + 1;
    }
  }
  std::set<int32_t> Range(int32_t first, int32_t last) const {
    std::set<int32_t> rows;
    for (int32_t row = first; row <= last; ++row) rows.insert(row);
    return rows;
  }
  std::set<int32_t> ListSelection() const {
    std::set<int32_t> rows;
    for (const QModelIndex& index : View().selectionModel()->selectedRows()) rows.insert(index.row());
    return rows;
  }

  std::vector<CLocationRecord> records;
  CCountingOwner owner;
  CRecordListDialog dialog;
};

TEST_F(RecordListViewTest, RowsKeepTheHeightsOfTheirWrappedNotesAtEveryWidth) {
  EXPECT_EQ(View().model()->rowCount(), kRecords);
  ExpectRowsMeasuredForTheWidth();
  const int wrapped = Rect(7).height();
  EXPECT_GT(wrapped, 2 * View().fontMetrics().height());

  Resize(600);
  ExpectRowsMeasuredForTheWidth();
  EXPECT_LT(Rect(7).height(), wrapped);
  Resize(150);
  ExpectRowsMeasuredForTheWidth();
  EXPECT_GT(Rect(7).height(), wrapped);

  // The end of the list: the last record whole at the bottom, with no room
  // for the row above the top.
  View().setFocus();
  View().setCurrentIndex(View().model()->index(0, 0));
  QTest::keyClick(&View(), Qt::Key_End);
  EXPECT_EQ(View().currentIndex().row(), kRecords - 1);
  ExpectRowsMeasuredForTheWidth();
  const int bottom = Rect(kRecords - 1).bottom();
  EXPECT_LT(bottom, Surface()->height());
  EXPECT_GE(bottom + 1 + Rect(View().TopRow() - 1).height(), Surface()->height());
  QTest::keyClick(&View(), Qt::Key_Home);
  EXPECT_EQ(View().TopRow(), 0);
}

TEST_F(RecordListViewTest, SelectionsReachRowsScrolledOutOfView) {
  QTest::mouseClick(Surface(), Qt::LeftButton, Qt::NoModifier, Rect(0).center());
  EXPECT_EQ(dialog.GetSelection(), std::set<int32_t>{0});
  ScrollTo(View().verticalScrollBar()->maximum());
  QTest::mouseClick(Surface(), Qt::LeftButton, Qt::ShiftModifier, Rect(kRecords - 1).center());
  EXPECT_EQ(dialog.GetSelection(), Range(0, kRecords - 1));
  EXPECT_EQ(owner.calls, 2);

  // From the same anchor, far above the view, by the keys.
  QTest::keyClick(&View(), Qt::Key_Home, Qt::ShiftModifier);
  EXPECT_EQ(dialog.GetSelection(), std::set<int32_t>{0});
  QTest::keyClick(&View(), Qt::Key_End, Qt::ShiftModifier);
  EXPECT_EQ(dialog.GetSelection(), Range(0, kRecords - 1));

  // A drag that scrolls the list while the button is held, over rows of
  // different heights, selects from the pressed row.
  ScrollTo(0);
  QTest::mousePress(Surface(), Qt::LeftButton, Qt::NoModifier, Rect(2).center());
  ScrollTo(5);
  const QPoint to = Rect(15).center();
  QMouseEvent move(QEvent::MouseMove, to, Surface()->mapToGlobal(to), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Surface(), &move);
  QTest::mouseRelease(Surface(), Qt::LeftButton, Qt::NoModifier, to);
  EXPECT_EQ(dialog.GetSelection(), Range(2, 15));
}

TEST_F(RecordListViewTest, ReplacedRecordsShowInPlaceAndTheListKeepsItsPlaceAndSelection) {
  const std::vector<int32_t> selected{5, 1500};
  dialog.SetSelection(selected.data(), selected.data() + selected.size());
  ScrollTo(1000);
  const int below = Rect(1003).top();
  const int calls = owner.calls;

  dialog.ReplaceRecords({1002, 9000}, {ListRecord(7), ListRecord(8)});
  QApplication::processEvents();
  EXPECT_EQ(dialog.GetRecords()[1002].note, ListRecord(7).note);
  EXPECT_EQ(dialog.GetRecords().size(), static_cast<std::size_t>(kRecords));
  ExpectRowsMeasuredForTheWidth();
  EXPECT_GT(Rect(1003).top(), below);
  EXPECT_EQ(View().TopRow(), 1000);
  EXPECT_EQ(ListSelection(), (std::set<int32_t>{5, 1500}));
  EXPECT_EQ(owner.calls, calls);
}

}  // namespace
