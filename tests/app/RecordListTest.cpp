#include <QAction>
#include <QClipboard>
#include <QFontMetrics>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <ctime>

#include "app/CommandIds.h"
#include "app/EmptyView.h"
#include "app/MainFrame.h"
#include "app/RecordItemText.h"
#include "app/RecordListForm.h"
#include "location/IteratorAdaptors.h"
#include "location/IteratorRanges.h"
#include "location/qt/LocalDateText.h"
#include "tests/app/AppTestSupport.h"

namespace {

// A source over a vector with a selection, showing itself in a record-list
// form, and counting what reaches it.
class CVectorSource : public CEmptyView {
 public:
  explicit CVectorSource(std::vector<CLocationRecord> records) : records(std::move(records)) {}
  QWidget* CreateWindow(QWidget* parent) override {
    form = new CRecordListForm(*this, parent);
    return form;
  }
  void EnumerateAll(CRecordOutputIteratorRef sink) override {
    for (const CLocationRecord& record : records) sink = sink.Put(record);
  }
  int32_t Count() const override { return static_cast<int32_t>(records.size()); }
  void SetSelection(CIntIteratorRef first, CIntIteratorRef last) override {
    ++setSelectionCalls;
    selection.clear();
    InsertRangeIntoSet(first, last, selection);
    if (form) form->SyncSelection();
    NotifySelectionChanged();
  }
  void GetSelection(CIntOutputIteratorRef sink) override {
    CopySetToOutputIterator(selection, sink);
  }

  std::vector<CLocationRecord> records;
  std::set<int32_t> selection;
  int setSelectionCalls = 0;
  CRecordListForm* form = nullptr;
};

class CVectorNode : public CTreeNode {
 public:
  explicit CVectorNode(std::vector<CLocationRecord> records) : m_records(std::move(records)) {}
  std::string GetTitle() const override { return "list"; }
  QIcon GetIcon() const override { return QIcon(); }
  void EnumChildren(CNodeOutputIteratorRef) override {}
  void Search(const CSearchCriteria&, CRecordOutputIteratorRef) override {}
  std::unique_ptr<CRecordSource> CreateView(CRecordSourceObserver* observer) override {
    auto view = std::make_unique<CVectorSource>(m_records);
    view->AddObserver(observer);
    lastView = view.get();
    return view;
  }
  CVectorSource* lastView = nullptr;

 private:
  std::vector<CLocationRecord> m_records;
};

CLocationRecord Record(bool withTime, const char* note, double latitude = 35.5,
                       double longitude = 139.75) {
  CLocationRecord record;
  record.position = CPosition({latitude, longitude});
  if (withTime) {
    record.hasTime = true;
    record.time = CZonedTime(1700000000, 32400);
  }
  if (note) record.SetNote(note);
  return record;
}

TEST(RecordItemText, ShowsTimeAndNoteOrElseTheCoordinates) {
  TestApplication();
  const CRecordItemText both = MakeRecordItemText(Record(true, "at the station"));
  EXPECT_TRUE(both.hasTime);
  EXPECT_EQ(both.time.toStdString(), FormatLocalDateTime(CZonedTime(1700000000, 32400)));
  EXPECT_EQ(both.note, QStringLiteral("at the station"));
  EXPECT_FALSE(both.hasCoordinates);

  CLocationRecord bare = Record(false, nullptr, -35.5, 139.75);
  bare.position.longitude = CAngle::FromDms(MakeDmsAngle(1, 139, 45, 7, 5));
  const CRecordItemText coordinates = MakeRecordItemText(bare);
  EXPECT_TRUE(coordinates.hasCoordinates);
  EXPECT_EQ(coordinates.coordinates, QStringLiteral("-35.50000, +139,45,07.05"));

  // An empty note is still a note.
  EXPECT_TRUE(MakeRecordItemText(Record(false, "")).hasNote);
  EXPECT_FALSE(MakeRecordItemText(Record(false, "")).hasCoordinates);
}

TEST(RecordItemText, HeightsFollowTheWidth) {
  TestApplication();
  const QFontMetrics metrics(QApplication::font());
  const int line = metrics.height();
  EXPECT_EQ(MeasureRecordItem(MakeRecordItemText(Record(true, nullptr)), metrics, 200), line);
  EXPECT_EQ(MeasureRecordItem(MakeRecordItemText(Record(false, nullptr)), metrics, 200), line);
  EXPECT_EQ(MeasureRecordItem(MakeRecordItemText(Record(true, "")), metrics, 200), 2 * line);
  const CRecordItemText wrapped = MakeRecordItemText(
      Record(true, "a note long enough to need several lines when the pane is narrow"));
  const int narrow = MeasureRecordItem(wrapped, metrics, 80);
  const int wide = MeasureRecordItem(wrapped, metrics, 2000);
  EXPECT_EQ(wide, 2 * line);
  EXPECT_GT(narrow, 3 * line);
}

class RecordListTest : public AppTest {
 protected:
  void Start(std::vector<CLocationRecord> records) {
    core = MakeCore();
    frame = std::make_unique<CMainFrame>();
    frame->Create();
    frame->show();
    QApplication::setActiveWindow(frame.get());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    node = std::make_unique<CVectorNode>(std::move(records));
    core->SetCurrentNode(node.get());
    source = node->lastView;
    ASSERT_NE(source, nullptr);
    ASSERT_NE(source->form, nullptr);
    list = source->form->GetList();
  }
  ~RecordListTest() override {
    if (frame) frame->close();
    frame.reset();
    core.reset();
    node.reset();
    FlushDeletes();
  }
  std::vector<int> ShownSelection() const {
    std::vector<int> rows;
    for (const QModelIndex& index : list->GetList()->selectionModel()->selectedRows())
      rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  std::unique_ptr<CAppCore> core;
  std::unique_ptr<CMainFrame> frame;
  std::unique_ptr<CVectorNode> node;
  CVectorSource* source = nullptr;
  CRecordListDialog* list = nullptr;
};

TEST_F(RecordListTest, TheFormFillsFromTheSourceInThePlaceholdersPlace) {
  Start({Record(true, "one"), Record(false, nullptr), Record(true, nullptr)});
  EXPECT_EQ(list->objectName(), QStringLiteral("1027"));
  EXPECT_EQ(list->GetRecords().size(), 3u);
  EXPECT_EQ(list->GetList()->model()->rowCount(), 3);
  EXPECT_EQ(source->form->parentWidget(), frame->GetViewSlot());
  const int line = list->GetList()->fontMetrics().height();
  EXPECT_EQ(list->ItemHeight(1), line);
  EXPECT_EQ(list->ItemHeight(0), 2 * line);
}

TEST_F(RecordListTest, SelectionStaysInStepWithoutEchoes) {
  Start({Record(true, "a"), Record(true, "b"), Record(true, "c"), Record(true, "d")});
  // From the source to the list: no call back into the source.
  const std::vector<int32_t> picked{1, 3};
  core->SetActiveSelection(MakeIntPtrIterator(picked.data()),
                           MakeIntPtrIterator(picked.data() + picked.size()));
  EXPECT_EQ(source->setSelectionCalls, 1);
  EXPECT_EQ(ShownSelection(), (std::vector<int>{1, 3}));
  // The same selection again changes nothing in the list.
  QSignalSpy changes(list->GetList()->selectionModel(), &QItemSelectionModel::selectionChanged);
  list->SetSelection(picked.data(), picked.data() + picked.size());
  EXPECT_EQ(changes.count(), 0);
  // From the user to the source: the whole new set, once.
  QTest::mouseClick(list->GetList()->viewport(), Qt::LeftButton, Qt::NoModifier,
                    list->GetList()->visualRect(list->GetList()->model()->index(0, 0)).center());
  EXPECT_EQ(source->setSelectionCalls, 2);
  EXPECT_EQ(source->selection, (std::set<int32_t>{0}));
  QTest::mouseClick(list->GetList()->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                    list->GetList()->visualRect(list->GetList()->model()->index(2, 0)).center());
  EXPECT_EQ(source->setSelectionCalls, 3);
  EXPECT_EQ(source->selection, (std::set<int32_t>{0, 1, 2}));
  // Indices past the end are ignored by a refill.
  const std::vector<int32_t> beyond{2, 9};
  list->SetSelection(beyond.data(), beyond.data() + beyond.size());
  EXPECT_EQ(ShownSelection(), (std::vector<int>{2}));
}

TEST_F(RecordListTest, TheListsKeysReachTheMainWindowAndTypingDoesNothing) {
  Start({Record(true, "alpha"), Record(true, "beta"), Record(true, "gamma")});
  list->GetList()->setFocus();
  QApplication::processEvents();
  QTest::keyClick(list->GetList(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(source->selection, (std::set<int32_t>{0, 1, 2}));
  EXPECT_EQ(ShownSelection(), (std::vector<int>{0, 1, 2}));
  // The frame's own table works from the list too.
  QTest::keyClick(list->GetList(), Qt::Key_D, Qt::ControlModifier);
  EXPECT_EQ(frame->GetShownPane(), CMainFrame::kPaneNone);
  frame->ExecuteCommand(ID_VIEW_FOLDER);
  // Typing a letter neither jumps nor selects.
  const std::vector<int32_t> first{0};
  list->SetSelection(first.data(), first.data() + 1);
  list->GetList()->setCurrentIndex(list->GetList()->model()->index(0, 0));
  const int calls = source->setSelectionCalls;
  QTest::keyClick(list->GetList(), Qt::Key_G);
  EXPECT_EQ(list->GetList()->currentIndex().row(), 0);
  EXPECT_EQ(source->setSelectionCalls, calls);
  // Ctrl+C goes to the main window, which copies.
  frame->SetStatusText(0, QStringLiteral("x"));
  QApplication::clipboard()->clear();
  list->GetList()->setFocus();
  QTest::keyClick(list->GetList(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(frame->GetStatusText(0), QStringLiteral("レディ"));
  EXPECT_TRUE(QApplication::clipboard()->text().startsWith(QStringLiteral("<points")));
}

TEST_F(RecordListTest, TheContextMenuOffersTheRecordCommands) {
  Start({Record(true, "alpha"), Record(true, "beta")});
  QStringList texts;
  bool selectAllEnabled = false;
  QTimer closer;
  closer.setInterval(10);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    for (QAction* action : menu->actions()) {
      texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
      if (action->data().toUInt() == ID_EDIT_SELECT_ALL) {
        selectAllEnabled = action->isEnabled();
        menu->setActiveAction(action);
      }
    }
    menu->activeAction()->trigger();
    menu->close();
  });
  closer.start();
  QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(-1, -1), QPoint(-1, -1));
  QApplication::sendEvent(list->GetList(), &event);
  EXPECT_EQ(texts, (QStringList{"新規作成(&W)", "-", "切り取り(&T)", "コピー(&C)",
                                "テキストとしてコピー(&X)", "貼り付け(&P)", "削除(&D)", "-",
                                "すべて選択(&A)", "-", "プロパティ(&R)..."}));
  EXPECT_TRUE(selectAllEnabled);
  EXPECT_EQ(source->selection, (std::set<int32_t>{0, 1}));
}

}  // namespace
