// The record list selects with the mouse as the standard list view does: the
// same presses, moves with the button held, releases and wheel turns, with
// and without Shift and Ctrl, sent to both over rows of the same heights,
// leave the same rows selected, the same current row and the same top row
// after every step, also when the list scrolled far between a press and the
// Shift+click that extends from it.
#include <QAbstractListModel>
#include <QClipboard>
#include <QListView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <algorithm>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/CommandIds.h"
#include "app/FileFolder.h"
#include "app/LocationFileNode.h"
#include "app/MainFrame.h"
#include "app/RecordClipboardText.h"
#include "app/RecordListView.h"
#include "tests/app/AppTestSupport.h"

namespace {

// Rows of given heights, which both views take from the size hints.
class CRowsModel : public QAbstractListModel {
 public:
  explicit CRowsModel(std::vector<int> heights) : m_heights(std::move(heights)) {}
  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(m_heights.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return QVariant();
    if (role == Qt::SizeHintRole) return QSize(8, m_heights[static_cast<std::size_t>(index.row())]);
    if (role == Qt::DisplayRole) return QStringLiteral("row %1").arg(index.row());
    return QVariant();
  }

 private:
  std::vector<int> m_heights;
};

struct CViewState {
  std::vector<int> selected;
  int current = -1;
  int top = 0;
  bool operator==(const CViewState&) const = default;
};

std::string Describe(const CViewState& state) {
  std::ostringstream out;
  out << "current " << state.current << ", top " << state.top << ", selected";
  for (std::size_t i = 0; i < state.selected.size(); ++i) {
    // Runs of rows as first-last.
    std::size_t last = i;
    while (last + 1 < state.selected.size() && state.selected[last + 1] == state.selected[last] + 1)
      ++last;
    out << ' ' << state.selected[i];
    if (last != i) out << '-' << state.selected[last];
    i = last;
  }
  return out.str();
}

CViewState StateOf(const QAbstractItemView& view) {
  CViewState state;
  for (const QItemSelectionRange& range : view.selectionModel()->selection())
    for (int row = range.top(); row <= range.bottom(); ++row) state.selected.push_back(row);
  std::sort(state.selected.begin(), state.selected.end());
  state.current = view.currentIndex().isValid() ? view.currentIndex().row() : -1;
  state.top = view.verticalScrollBar()->value();
  return state;
}

// What the user does, in the list's viewport coordinates.
struct CStep {
  enum EKind { kPress, kMove, kRelease, kWheel, kThumb } kind;
  QPoint at;
  Qt::KeyboardModifiers modifiers;
  int delta = 0;  // the wheel's angle, or the scroll bar's value for a thumb drag
};

std::string Describe(const CStep& step) {
  std::ostringstream out;
  const char* const names[] = {"press", "move", "release", "wheel", "thumb"};
  out << names[step.kind];
  if (step.modifiers & Qt::ShiftModifier) out << "+shift";
  if (step.modifiers & Qt::ControlModifier) out << "+ctrl";
  if (step.kind == CStep::kWheel || step.kind == CStep::kThumb)
    out << ' ' << step.delta;
  else
    out << " at " << step.at.x() << ',' << step.at.y();
  return out.str();
}

class RecordListSelectionTest : public ::testing::Test {
 protected:
  RecordListSelectionTest() { TestApplication(); }

  // Both views, alike in size and scrolling, over one model.
  void Start(std::vector<int> heights) {
    model = std::make_unique<CRowsModel>(std::move(heights));
    standard = std::make_unique<QListView>();
    standard->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    standard->setSelectionMode(QAbstractItemView::ExtendedSelection);
    standard->setEditTriggers(QAbstractItemView::NoEditTriggers);
    standard->setUniformItemSizes(false);
    standard->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    standard->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    records = std::make_unique<CRecordListView>(nullptr);
    for (QAbstractItemView* view : Views()) {
      view->setModel(model.get());
      view->resize(240, 300);
      view->show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    }
    QApplication::processEvents();
    ASSERT_EQ(records->viewport()->size(), standard->viewport()->size());
    ASSERT_EQ(records->verticalScrollBar()->maximum(), standard->verticalScrollBar()->maximum());
  }
  std::vector<QAbstractItemView*> Views() const { return {standard.get(), records.get()}; }

  static void Send(QAbstractItemView& view, const CStep& step, Qt::MouseButtons held) {
    QWidget* surface = view.viewport();
    const QPointF at(step.at);
    const QPointF global(surface->mapToGlobal(step.at));
    switch (step.kind) {
      case CStep::kPress: {
        QMouseEvent event(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                          step.modifiers);
        QApplication::sendEvent(surface, &event);
        break;
      }
      case CStep::kMove: {
        QMouseEvent event(QEvent::MouseMove, at, global, Qt::NoButton, held, step.modifiers);
        QApplication::sendEvent(surface, &event);
        break;
      }
      case CStep::kRelease: {
        QMouseEvent event(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                          step.modifiers);
        QApplication::sendEvent(surface, &event);
        break;
      }
      case CStep::kWheel: {
        QWheelEvent event(at, global, QPoint(), QPoint(0, step.delta), held, step.modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(surface, &event);
        break;
      }
      case CStep::kThumb:
        view.verticalScrollBar()->setValue(step.delta);
        break;
    }
  }

  // Sends the step to both views and compares them; false, with the steps
  // done since the last clearing of done, when they part.
  ::testing::AssertionResult Do(const CStep& step) {
    if (step.kind == CStep::kPress) held = Qt::LeftButton;
    if (step.kind == CStep::kRelease) held = Qt::NoButton;
    for (QAbstractItemView* view : Views()) Send(*view, step, held);
    done += Describe(step) + "; ";
    const CViewState expected = StateOf(*standard);
    const CViewState got = StateOf(*records);
    if (got == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << done << "\nstandard: " << Describe(expected) << "\nrecords:  " << Describe(got);
  }
  ::testing::AssertionResult Run(const std::vector<CStep>& steps) {
    for (const CStep& step : steps) {
      ::testing::AssertionResult result = Do(step);
      if (!result) return result;
    }
    return ::testing::AssertionSuccess();
  }

  // A point inside row, which must be in view, down pixels below its top
  // (counted round within the row), never on the row's first or last line.
  QPoint InRow(int row, int down) const {
    const QRect rect = standard->visualRect(model->index(row, 0));
    return QPoint(20, rect.top() + 1 + down % (rect.height() - 2));
  }
  // The point, or the one above it when it lies on the last line of a row.
  // The standard list turns the rectangle of a drag upwards with
  // QRect::normalized, which takes a line off either end: on the last line
  // of a row it leaves out the row under the mouse, though the mouse is on
  // it and it is the current row, and on the first line of the pressed row
  // the pressed row. The record list takes those lines as part of their rows
  // like all the others; the sequences keep off them (InRow, which places
  // presses, keeps off both).
  QPoint OffLastLine(QPoint at) const {
    const QModelIndex index = standard->indexAt(at);
    if (index.isValid() && at.y() == standard->visualRect(index).bottom()) at.ry() -= 1;
    return at;
  }

  // The rows whole in view.
  std::pair<int, int> RowsInView() const {
    const int top = standard->verticalScrollBar()->value();
    int last = top;
    while (last + 1 < model->rowCount(QModelIndex()) &&
           standard->visualRect(model->index(last + 1, 0)).bottom() <
               standard->viewport()->height())
      ++last;
    return {top, last};
  }

  std::unique_ptr<CRowsModel> model;
  std::unique_ptr<QListView> standard;
  std::unique_ptr<CRecordListView> records;
  Qt::MouseButtons held = Qt::NoButton;
  std::string done;
};

std::vector<int> Heights(int count, unsigned seed) {
  std::mt19937 random(seed);
  const int choices[] = {17, 17, 17, 17, 34, 51, 23};
  std::uniform_int_distribution<int> pick(0, 6);
  std::vector<int> heights;
  for (int i = 0; i < count; ++i) heights.push_back(choices[pick(random)]);
  return heights;
}

TEST_F(RecordListSelectionTest, ShiftClickAfterAWheelScrollKeepsItsAnchorThroughAWobble) {
  Start(std::vector<int>(200, 17));
  const Qt::KeyboardModifiers none = Qt::NoModifier;
  const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
  // Row 2, ten rows down by the wheel (three rows a notch), row 20 with
  // Shift, the mouse a pixel off while the button is down, and released.
  done.clear();
  std::vector<CStep> steps = {{CStep::kPress, InRow(2, 8), none},
                              {CStep::kRelease, InRow(2, 8), none},
                              {CStep::kWheel, InRow(2, 8), none, -400}};
  ASSERT_TRUE(Run(steps));
  ASSERT_EQ(standard->verticalScrollBar()->value(), 10);
  steps = {{CStep::kPress, InRow(20, 8), shift},
           {CStep::kMove, InRow(20, 9), shift},
           {CStep::kMove, InRow(20, 8), shift},
           {CStep::kRelease, InRow(20, 8), shift}};
  EXPECT_TRUE(Run(steps));
  std::vector<int> rows;
  for (int row = 2; row <= 20; ++row) rows.push_back(row);
  EXPECT_EQ(StateOf(*records).selected, rows);

  // The same with a Shift-drag, and from an anchor far out of view.
  ASSERT_TRUE(Do({CStep::kThumb, {}, none, 0}));
  steps = {{CStep::kPress, InRow(3, 2), none}, {CStep::kRelease, InRow(3, 2), none}};
  ASSERT_TRUE(Run(steps));
  ASSERT_TRUE(Do({CStep::kThumb, {}, none, 150}));
  steps = {{CStep::kPress, InRow(155, 2), shift},
           {CStep::kMove, InRow(158, 2), shift},
           {CStep::kMove, InRow(152, 2), shift},
           {CStep::kRelease, InRow(152, 2), shift}};
  EXPECT_TRUE(Run(steps));
  EXPECT_EQ(StateOf(*records).selected.front(), 3);
  EXPECT_EQ(StateOf(*records).selected.back(), 152);
}

// Random clicks, drags, wobbles and scrolls, with every combination of Shift
// and Ctrl, over rows of mixed heights; the thumb's jumps reach further than
// the rows the list measures exactly.
TEST_F(RecordListSelectionTest, RandomMouseSequencesSelectAsTheStandardList) {
  Start(Heights(2000, 5));
  const int lastTop = standard->verticalScrollBar()->maximum();
  const Qt::KeyboardModifiers modifierChoices[] = {Qt::NoModifier, Qt::NoModifier,
                                                   Qt::ShiftModifier, Qt::ControlModifier,
                                                   Qt::ShiftModifier | Qt::ControlModifier};
  for (unsigned seed = 1; seed <= 400; ++seed) {
    std::mt19937 random(seed);
    const auto chance = [&](int percent) {
      return std::uniform_int_distribution<int>(0, 99)(random) < percent;
    };
    const auto anyOf = [&](int first, int last) {
      return std::uniform_int_distribution<int>(first, last)(random);
    };
    // Each sequence starts from a fresh state of both lists, but for the
    // first: a click that sets where a Shift+click extends from.
    const int top = anyOf(0, 40);
    for (QAbstractItemView* view : Views()) {
      view->clearSelection();
      view->selectionModel()->clearCurrentIndex();
      view->verticalScrollBar()->setValue(top);
    }
    done.clear();
    QPoint mouse = InRow(top + anyOf(0, 5), anyOf(0, 1000));
    if (seed > 1) {
      ASSERT_TRUE(Do({CStep::kPress, mouse, Qt::NoModifier}));
      ASSERT_TRUE(Do({CStep::kRelease, mouse, Qt::NoModifier}));
    }
    bool pressed = false;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    for (int i = 0; i < 40 || pressed; ++i) {
      const auto [first, last] = RowsInView();
      CStep step{CStep::kMove, InRow(anyOf(first, last), anyOf(0, 1000)), modifiers};
      const int kind = i < 40 ? anyOf(0, 99) : 40;
      if (kind < 12) {
        step.kind = CStep::kWheel;
        step.delta = (chance(50) ? 1 : -1) * 40 * anyOf(1, 12);
        if (chance(15)) step.modifiers = Qt::ControlModifier;
      } else if (kind < 17 && !pressed) {
        step.kind = CStep::kThumb;
        step.delta = anyOf(0, lastTop);
      } else if (!pressed) {
        step.kind = CStep::kPress;
        modifiers = modifierChoices[anyOf(0, 4)];
        step.modifiers = modifiers;
        pressed = true;
      } else if (kind < 45) {
        step.kind = CStep::kRelease;
        step.at = mouse;
        pressed = false;
      } else if (kind < 50) {
        // Out of the list above or below, as a drag that runs on.
        const int height = standard->viewport()->height();
        step.at.setY(chance(50) ? -anyOf(1, 30) : height + anyOf(0, 30));
      } else if (kind < 70) {
        // A wobble of a pixel from where the mouse is.
        step.at = mouse + QPoint(anyOf(-1, 1), anyOf(-1, 1));
        step.at.setY(std::clamp(step.at.y(), 0, standard->viewport()->height() - 1));
      }
      if (step.kind == CStep::kMove) step.at = OffLastLine(step.at);
      if (step.kind != CStep::kWheel && step.kind != CStep::kThumb) mouse = step.at;
      step.at = step.kind == CStep::kWheel ? mouse : step.at;
      ASSERT_TRUE(Do(step)) << "seed " << seed;
    }
  }
}

// What the commands act on: the rows a Shift+click selected after the list
// scrolled, in the program's own list of a file's records.
class RecordListCommandsTest : public ActiveViewTest {
 protected:
  ~RecordListCommandsTest() override {
    frame.reset();
    FlushDeletes();
  }
  void Start() {
    std::vector<CLocationRecord> records;
    for (int i = 0; i < 100; ++i) records.push_back(NoteRecord(std::to_string(i)));
    view = &StartWithFile(std::move(records));
    frame = ShowMainFrame();
    frame->resize(1000, 900);
    core->SetCurrentNode(node);
    view = core->GetCurrentView();
    QApplication::processEvents();
    list = frame->GetViewSlot()->findChild<CRecordListView*>();
    ASSERT_NE(list, nullptr);
  }
  QPoint Centre(int row) const { return list->visualRect(list->model()->index(row, 0)).center(); }
  // Row first, the wheel ten rows down, and Shift on row last with the mouse
  // a pixel off before the button comes up.
  void SelectAfterAScroll(int first, int last) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, Centre(first));
    QWheelEvent wheel(Centre(first), list->viewport()->mapToGlobal(Centre(first)), QPoint(),
                      QPoint(0, -400), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list->viewport(), &wheel);
    ASSERT_TRUE(list->viewport()->rect().contains(Centre(last)));
    QTest::mousePress(list->viewport(), Qt::LeftButton, Qt::ShiftModifier, Centre(last));
    const QPoint off = Centre(last) + QPoint(0, 1);
    QMouseEvent move(QEvent::MouseMove, off, list->viewport()->mapToGlobal(off), Qt::NoButton,
                     Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(list->viewport(), &move);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::ShiftModifier, off);
  }
  static std::vector<std::string> Numbers(int first, int last) {
    std::vector<std::string> numbers;
    for (int i = first; i <= last; ++i) numbers.push_back(std::to_string(i));
    return numbers;
  }

  std::unique_ptr<CMainFrame> frame;
  CRecordSource* view = nullptr;
  CRecordListView* list = nullptr;
};

TEST_F(RecordListCommandsTest, CutAndDeleteTakeTheRowsAShiftClickAfterAScrollSelected) {
  Start();
  SelectAfterAScroll(2, 20);
  std::vector<int32_t> selected;
  for (int32_t i = 2; i <= 20; ++i) selected.push_back(i);
  EXPECT_EQ(Selection(*view), selected);
  frame->ExecuteCommand(ID_EDIT_CUT);
  EXPECT_EQ(Notes(ReadPastedRecords(QApplication::clipboard()->text().toStdString())),
            Numbers(2, 20));
  std::vector<std::string> left = Numbers(0, 1);
  for (const std::string& number : Numbers(21, 99)) left.push_back(number);
  EXPECT_EQ(Notes(node->Records()), left);

  // Records 31 to 45 are rows 12 to 26 now.
  list->verticalScrollBar()->setValue(0);
  SelectAfterAScroll(12, 26);
  frame->ExecuteCommand(ID_EDIT_DELETE);
  std::vector<std::string> rest = Numbers(0, 1);
  for (const std::string& number : Numbers(21, 30)) rest.push_back(number);
  for (const std::string& number : Numbers(46, 99)) rest.push_back(number);
  EXPECT_EQ(Notes(node->Records()), rest);
}

}  // namespace
