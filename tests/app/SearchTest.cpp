// The search folder and its pane over a real database, with a view state that
// stands in for the map: the criteria made of the pane's input, ranges picked
// and cleared, the walk over the folder tree and a node that fails in it,
// repeated searches, the selection, read-only results, the layout, and a
// pick that outlives its pane.
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <stdexcept>

#include "app/ClipboardCommands.h"
#include "app/DatabaseFolder.h"
#include "app/EmptyView.h"
#include "app/FileFolder.h"
#include "app/LocationFileNode.h"
#include "app/RecordClipboardText.h"
#include "app/SearchFolder.h"
#include "app/SearchPane.h"
#include "location/IteratorAdaptors.h"
#include "location/LocationDatabase.h"
#include "location/RecordCollection.h"
#include "mapview/PickCallback.h"
#include "tests/app/AppTestSupport.h"
#include "tests/location/FileTestSupport.h"

namespace {

// The map's side of a pick: holds the callback of the running pick; a new
// tool (EndPick) replaces the pick tool, which cancels a callback it still
// holds, unless the test wants a map that forgets to.
class CFakeViewState : public CMapViewState {
 public:
  explicit CFakeViewState(CSettingsKey& settings) : CMapViewState(settings) {}
  ~CFakeViewState() override { Cancel(); }

  void ZoomIn() override {}
  void ZoomOut() override {}
  void StartRangeZoom() override {}
  void ZoomTo(double) override {}
  void StartRectanglePick(CPickCallback* callback) override {
    Cancel();
    ++starts;
    held = callback;
  }
  void EndPick() override {
    ++ends;
    if (cancelOnEnd) Cancel();
  }
  // The user releases the button: the tool hands the rectangle over once.
  void Pick(const CGeoRect& rectangle) {
    ASSERT_NE(held, nullptr);
    std::exchange(held, nullptr)->OnPicked(&rectangle);
  }
  void Cancel() {
    if (held) std::exchange(held, nullptr)->OnPickCancelled();
  }

  CPickCallback* held = nullptr;
  int starts = 0;
  int ends = 0;
  bool cancelOnEnd = true;
};

CLocationRecord Place(const std::string& note, double latitude, double longitude, int32_t time) {
  CLocationRecord record = TestRecordAt(time, note);
  record.position = CPosition({latitude, longitude});
  return record;
}

constexpr int32_t kDay = 1750000000;

class SearchTest : public AppTest {
 protected:
  ~SearchTest() override {
    if (core) {
      core->RemoveListener(&events);
      if (search) search->DestroyWindow();
    }
    FlushDeletes();
    core.reset();
    FlushDeletes();
  }

  // A core whose database holds the records, and the search pane in a host
  // window, linked to the stand-in view state.
  void Start(const std::vector<CLocationRecord>& records) {
    core = MakeCore();
    core->AddListener(&events);
    if (!records.empty()) {
      const CRecordVectorCollection collection(records);
      CAddRecordsOperation adding(collection);
      core->GetRootFolder().GetDatabaseFolder().RunQuery(adding);
    }
    search = dynamic_cast<CSearchFolder*>(&core->GetSearchSource());
    ASSERT_NE(search, nullptr);
    auto* layout = new QVBoxLayout(&host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(search->CreateWindow(&host));
    host.resize(320, 480);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    state.AddListener(&Pane().GetViewStateListener());
  }
  CSearchPane& Pane() const { return *search->GetPane(); }
  void Type(const QString& text) { Pane().GetNoteEdit()->setText(text); }
  void ClickSearch() { QTest::mouseClick(Pane().GetSearchButton(), Qt::LeftButton); }
  void ClickToggle() { QTest::mouseClick(Pane().GetRangeToggle(), Qt::LeftButton); }
  void ClickClear() { QTest::mouseClick(Pane().GetClearRangeButton(), Qt::LeftButton); }
  std::vector<std::string> Found() const { return Notes(search->GetResults()); }
  std::vector<std::string> Listed() const { return Notes(Pane().GetList()->GetRecords()); }
  QString RangeText() const { return Pane().GetRangeText()->text(); }

  CMemorySettingsKey viewSettings{store};
  CFakeViewState state{viewSettings};
  CAppEventCounter events;
  QWidget host;
  std::unique_ptr<CAppCore> core;
  CSearchFolder* search = nullptr;
};

const std::vector<CLocationRecord> kPlaces = {
    Place("harbour at dawn", 35.10, 139.10, kDay),
    Place("near the  harbour", 35.50, 139.50, kDay + 60),
    Place("near the harbour", 35.75, 139.75, kDay + 120),
    Place("Harbour", 36.50, 140.50, kDay + 180),
    Place("summit", 35.25, 139.25, kDay + 240),
};

TEST_F(SearchTest, TheNoteTextIsOneWordAndNoInputAsksForEverything) {
  Start(kPlaces);
  const CSearchCriteria none = Pane().MakeCriteria();
  EXPECT_EQ(none.begin, 0);
  EXPECT_EQ(none.end, 0);
  EXPECT_FALSE(none.rect.has_value());
  EXPECT_TRUE(none.words.empty());
  EXPECT_FALSE(none.oldestFirst);
  ClickSearch();
  // Every record, newest first.
  EXPECT_EQ(Found(), (std::vector<std::string>{"summit", "Harbour", "near the harbour",
                                               "near the  harbour", "harbour at dawn"}));
  EXPECT_EQ(Listed(), Found());

  // Blanks belong to the word; case counts.
  Type(QStringLiteral("near the  harbour"));
  EXPECT_EQ(Pane().MakeCriteria().words, (std::vector<std::string>{"near the  harbour"}));
  ClickSearch();
  EXPECT_EQ(Found(), (std::vector<std::string>{"near the  harbour"}));
  Type(QStringLiteral("harbour"));
  QTest::keyClick(Pane().GetNoteEdit(), Qt::Key_Return);
  EXPECT_EQ(Found(),
            (std::vector<std::string>{"near the harbour", "near the  harbour", "harbour at dawn"}));
  EXPECT_EQ(Listed(), Found());
  EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(SearchTest, ARectanglePickedBackwardsShowsNormalisedCornersAndLimitsTheSearch) {
  Start(kPlaces);
  ClickToggle();
  EXPECT_EQ(state.starts, 1);
  EXPECT_TRUE(Pane().GetRangeToggle()->isChecked());
  EXPECT_TRUE(Pane().IsPicking());
  // Dragged from the bottom-right corner to the top-left one.
  state.Pick({35.25, 139.75, 35.75, 139.25});
  EXPECT_EQ(RangeText(),
            QStringLiteral("+35,45,00.00\n+139,15,00.00\n+35,15,00.00\n+139,45,00.00"));
  ASSERT_TRUE(Pane().GetRange().has_value());
  EXPECT_EQ(Pane().GetRange()->top, 35.75);
  EXPECT_EQ(Pane().GetRange()->left, 139.25);
  EXPECT_FALSE(Pane().GetRangeToggle()->isChecked());
  EXPECT_FALSE(Pane().IsPicking());
  EXPECT_EQ(state.ends, 1);

  // Edges included; with a note, both must match.
  ClickSearch();
  EXPECT_EQ(Found(), (std::vector<std::string>{"summit", "near the harbour", "near the  harbour"}));
  Type(QStringLiteral("harbour"));
  ClickSearch();
  EXPECT_EQ(Found(), (std::vector<std::string>{"near the harbour", "near the  harbour"}));
  ASSERT_TRUE(Pane().MakeCriteria().rect.has_value());

  // West of Greenwich and south of the equator show their signs.
  ClickToggle();
  state.Pick({-33.5, -70.25, -34.0, -70.75});
  EXPECT_EQ(RangeText(), QStringLiteral("-33,30,00.00\n-70,45,00.00\n-34,00,00.00\n-70,15,00.00"));
}

TEST_F(SearchTest, ClearingTheRangeLeavesARunningPickAndItsToggleAlone) {
  Start(kPlaces);
  ClickToggle();
  state.Pick({36.0, 139.0, 35.0, 140.0});
  ASSERT_FALSE(RangeText().isEmpty());
  ClickToggle();
  ClickClear();
  EXPECT_TRUE(RangeText().isEmpty());
  EXPECT_FALSE(Pane().GetRange().has_value());
  EXPECT_TRUE(Pane().IsPicking());
  EXPECT_TRUE(Pane().GetRangeToggle()->isChecked());
  EXPECT_NE(state.held, nullptr);
  EXPECT_EQ(state.ends, 1);
  ClickSearch();
  EXPECT_EQ(Found().size(), kPlaces.size());

  // Toggled off: the pick ends once, and the cancel the map then sends is
  // taken as what it is.
  ClickToggle();
  EXPECT_FALSE(Pane().IsPicking());
  EXPECT_FALSE(Pane().GetRangeToggle()->isChecked());
  EXPECT_EQ(state.held, nullptr);
  EXPECT_EQ(state.ends, 2);

  // A pick the map cancels (the Escape key, a press without a drag).
  ClickToggle();
  state.Cancel();
  EXPECT_FALSE(Pane().GetRangeToggle()->isChecked());
  EXPECT_FALSE(Pane().IsPicking());
  EXPECT_EQ(state.ends, 3);
  EXPECT_FALSE(Pane().GetRange().has_value());
}

TEST_F(SearchTest, SearchingAgainGivesTheSameResultsAndClearsTheSelection) {
  Start(kPlaces);
  Type(QStringLiteral("harbour"));
  ClickSearch();
  const std::vector<std::string> first = Found();
  ASSERT_EQ(first.size(), 3u);
  // The user selects in the list: the folder, the core and the list agree.
  const int selectionsBefore = events.selections;
  core->SetSearchMode(true);
  QAbstractItemView* list = Pane().GetList()->GetList();
  list->selectionModel()->select(list->model()->index(2, 0), QItemSelectionModel::Select);
  list->selectionModel()->select(list->model()->index(0, 0), QItemSelectionModel::Select);
  EXPECT_EQ(Selection(*search), (std::vector<int32_t>{0, 2}));
  EXPECT_GT(events.selections, selectionsBefore);
  // A selection made elsewhere (the map) shows in the list.
  Select(*search, {1, 7});
  EXPECT_EQ(Pane().GetList()->GetSelection(), (std::set<int32_t>{1}));

  for (int round = 0; round < 2; ++round) {
    const int recordEvents = events.records;
    ClickSearch();
    EXPECT_EQ(Found(), first);
    EXPECT_EQ(Listed(), first);
    EXPECT_TRUE(Selection(*search).empty());
    EXPECT_TRUE(Pane().GetList()->GetSelection().empty());
    EXPECT_TRUE(list->selectionModel()->selectedRows().empty());
    EXPECT_GT(events.records, recordEvents);
    Select(*search, {0});
  }

  // A search that finds less gives the room of the larger one back.
  Type(QStringLiteral("nothing like it"));
  ClickSearch();
  EXPECT_TRUE(Found().empty());
  EXPECT_EQ(search->GetResults().capacity(), 0u);
}

// A node of a test tree: its own records, its children, and perhaps an error.
class CSearchNode : public CTreeNode {
 public:
  CSearchNode(std::vector<std::string>* asked, std::string name, std::vector<std::string> notes)
      : m_asked(asked), m_name(std::move(name)), m_notes(std::move(notes)) {}
  std::string GetTitle() const override { return m_name; }
  QIcon GetIcon() const override { return QIcon(); }
  void EnumChildren(CNodeOutputIteratorRef sink) override {
    for (CTreeNode* child : children) sink = sink.Put(child);
  }
  void Search(const CSearchCriteria&, CRecordOutputIteratorRef sink) override {
    m_asked->push_back(m_name);
    if (!error.empty()) throw std::runtime_error(error);
    for (const std::string& note : m_notes) {
      sink.Put(NoteRecord(note));
      ++sink;
    }
  }
  std::unique_ptr<CRecordSource> CreateView(CRecordSourceObserver*) override {
    return std::make_unique<CEmptyView>();
  }
  std::vector<CTreeNode*> children;
  std::string error;

 private:
  std::vector<std::string>* m_asked;
  std::string m_name;
  std::vector<std::string> m_notes;
};

class CRecordsCounter : public CRecordSourceObserver {
 public:
  void OnSourceDestroyed(CRecordSource&) override {}
  void OnRecordsChanged(CRecordSource& source) override { counts.push_back(source.Count()); }
  void OnSelectionChanged(CRecordSource&) override {}
  std::vector<int32_t> counts;
};

TEST_F(SearchTest, TheWalkIsDepthFirstAndAFailingNodeEndsItKeepingWhatWasFound) {
  Start({});
  std::vector<std::string> asked;
  CSearchNode root(&asked, "root", {"a"});
  CSearchNode folder(&asked, "folder", {"b1", "b2"});
  CSearchNode inner(&asked, "inner", {"c"});
  CSearchNode last(&asked, "last", {"d"});
  root.children = {&folder, &last};
  folder.children = {&inner};
  CRecordsCounter counter;
  search->AddObserver(&counter);

  search->RunQuery(CSearchCriteria(), root);
  EXPECT_EQ(asked, (std::vector<std::string>{"root", "folder", "inner", "last"}));
  EXPECT_EQ(Found(), (std::vector<std::string>{"a", "b1", "b2", "c", "d"}));
  // Emptied first, then one refresh per node, after its subtree, the root's last.
  EXPECT_EQ(counter.counts, (std::vector<int32_t>{0, 4, 4, 5, 5}));
  EXPECT_EQ(Listed(), Found());

  asked.clear();
  counter.counts.clear();
  Select(*search, {4});
  inner.error = "Database Not Ready";
  EXPECT_EQ(ThrownText([&] { search->RunQuery(CSearchCriteria(), root); }), "Database Not Ready");
  EXPECT_EQ(asked, (std::vector<std::string>{"root", "folder", "inner"}));
  EXPECT_EQ(Found(), (std::vector<std::string>{"a", "b1", "b2"}));
  // The list and the observers show what the folder holds, no index past it.
  EXPECT_EQ(counter.counts, (std::vector<int32_t>{0, 3}));
  EXPECT_EQ(Listed(), Found());
  EXPECT_TRUE(Selection(*search).empty());
  search->RemoveObserver(&counter);
}

TEST_F(SearchTest, WithoutADatabaseTheErrorIsShownByThePane) {
  RemoveDefaultDatabase();
  prompter.answers.push_back(EPromptAnswer::No);
  Start({});
  prompter.shown.clear();
  Type(QStringLiteral("harbour"));
  ClickSearch();
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].text, "Database Not Ready");
  EXPECT_EQ(prompter.shown[0].owner, &Pane());
  EXPECT_TRUE(Found().empty());
  EXPECT_TRUE(Pane().isVisible());
}

TEST_F(SearchTest, ResultsCannotBeEditedButCanBeCopied) {
  Start(kPlaces);
  // A writable file is current while the search results are active.
  CFileFolder& files = core->GetRootFolder().GetFileFolder();
  files.New();
  CLocationFileNode* file = files.Find(GetChildren(files).back());
  file->EditRecords() = {NoteRecord("mine")};
  file->Write(dataFolder.path().toStdString() + "/mine.xml");
  core->SetCurrentNode(file);
  core->SetSearchMode(true);
  Type(QStringLiteral("harbour"));
  ClickSearch();
  Select(*search, {1});
  QApplication::clipboard()->setText(QStringLiteral("kept"));

  CClipboardCommands commands(*core);
  EXPECT_EQ(ThrownText([&] { commands.Cut(); }), "readonly");
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("kept"));
  EXPECT_EQ(ThrownText([&] { commands.Delete(); }), "readonly");
  QApplication::clipboard()->setText(
      QString::fromStdString("<points>" + RecordXml(NoteRecord("x")) + "</points>"));
  EXPECT_EQ(ThrownText([&] { commands.Paste(); }), "readonly");
  EXPECT_EQ(Found(),
            (std::vector<std::string>{"near the harbour", "near the  harbour", "harbour at dawn"}));
  EXPECT_EQ(Notes(file->Records()), (std::vector<std::string>{"mine"}));
  EXPECT_FALSE(file->IsModified());

  commands.Copy();
  const std::vector<CLocationRecord> copied =
      ReadPastedRecords(QApplication::clipboard()->text().toStdString());
  ASSERT_EQ(copied.size(), 1u);
  EXPECT_EQ(RecordXml(copied[0]), RecordXml(search->GetResults()[1]));
  core->SetSearchMode(false);
  core->SetCurrentNode(&core->GetRootFolder());
}

TEST_F(SearchTest, ThePaneKeepsItsButtonsAtTheRightEdgeAndIsNotClosedByEscape) {
  Start(kPlaces);
  CSearchPane& pane = Pane();
  const auto rightGap = [&](QWidget* widget) { return pane.width() - widget->geometry().right(); };
  std::vector<QWidget*> buttons{pane.GetRangeToggle(), pane.GetClearRangeButton(),
                                pane.GetSearchButton()};
  std::vector<QRect> before;
  for (QWidget* widget : buttons) before.push_back(widget->geometry());
  const QRect text = pane.GetRangeText()->geometry();
  const QRect note = pane.GetNoteEdit()->geometry();
  const QRect list = pane.GetList()->geometry();
  host.resize(host.width() + 150, host.height() + 100);
  QApplication::processEvents();
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    EXPECT_EQ(buttons[i]->width(), before[i].width());
    EXPECT_EQ(buttons[i]->y(), before[i].y());
    EXPECT_EQ(buttons[i]->x(), before[i].x() + 150);
    EXPECT_EQ(rightGap(buttons[i]), rightGap(buttons[0]));
  }
  EXPECT_EQ(pane.GetRangeText()->width(), text.width() + 150);
  EXPECT_EQ(pane.GetRangeText()->height(), text.height());
  EXPECT_EQ(pane.GetNoteEdit()->width(), note.width() + 150);
  EXPECT_EQ(pane.GetList()->width(), list.width() + 150);
  EXPECT_EQ(pane.GetList()->height(), list.height() + 100);
  // Four lines of range fit.
  EXPECT_GE(pane.GetRangeText()->height(), 4 * pane.GetRangeText()->fontMetrics().lineSpacing());

  pane.GetNoteEdit()->setFocus();
  QTest::keyClick(pane.GetNoteEdit(), Qt::Key_Escape);
  EXPECT_TRUE(pane.isVisible());
  EXPECT_FALSE(pane.close());
  EXPECT_TRUE(pane.isVisible());
}

TEST_F(SearchTest, APickThatOutlivesItsPaneNeverReachesIt) {
  Start(kPlaces);
  // Hidden (the folder pane shown instead, the left pane closed): the pick ends.
  ClickToggle();
  Pane().hide();
  EXPECT_FALSE(Pane().IsPicking());
  EXPECT_FALSE(Pane().GetRangeToggle()->isChecked());
  EXPECT_EQ(state.held, nullptr);
  EXPECT_EQ(state.ends, 1);
  Pane().show();

  // Destroyed while the pick runs, on a map that keeps the callback: the pick
  // is ended, and the callback the map delivers later finds no pane.
  state.cancelOnEnd = false;
  ClickToggle();
  ASSERT_NE(state.held, nullptr);
  search->DestroyWindow();
  FlushDeletes();
  EXPECT_EQ(CSearchPane::GetInstance(), nullptr);
  EXPECT_EQ(state.ends, 2);
  state.Pick({36.0, 139.0, 35.0, 140.0});
  // The listener left the state with the pane.
  state.Notify();

  // A new pane starts without a range or a pick.
  QWidget* window = search->CreateWindow(&host);
  host.layout()->addWidget(window);
  EXPECT_EQ(CSearchPane::GetInstance(), &Pane());
  EXPECT_TRUE(RangeText().isEmpty());
  EXPECT_FALSE(Pane().GetRangeToggle()->isChecked());
  // Without a view state there is no map to pick on.
  ClickToggle();
  EXPECT_FALSE(Pane().GetRangeToggle()->isChecked());
  EXPECT_FALSE(Pane().IsPicking());
}

}  // namespace
