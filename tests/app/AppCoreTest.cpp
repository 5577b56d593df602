#include <stdexcept>

#include "app/AppStrings.h"
#include "app/FileFolder.h"
#include "app/HomePage.h"
#include "app/LocationFileNode.h"
#include "location/IteratorAdaptors.h"
#include "mapview/MapSet.h"
#include "tests/app/AppTestSupport.h"

namespace {

// Records the events in the order they come.
class CEventLog : public CAppEventListener {
 public:
  void OnCoreDestroyed() override { events.push_back("destroyed"); }
  void OnShowProperties() override { events.push_back("properties"); }
  void OnNewRecord() override { events.push_back("new"); }
  void OnTreeChanged() override { events.push_back("tree"); }
  void OnRecordsChanged() override { events.push_back("records"); }
  void OnSelectionChanged() override { events.push_back("selection"); }
  void OnCurrentNodeChanged() override { events.push_back("node"); }
  void OnMapSetChanged() override { events.push_back("maps"); }
  std::vector<std::string> events;
};

// A stand-in catalogue loader: loading fails unless the path is listed as
// loadable; creating succeeds unless told otherwise.
struct CFakeCatalogs {
  std::vector<std::pair<std::string, bool>> calls;
  std::set<std::string> loadable;
  bool createFails = false;

  MapCatalogOpener Opener() {
    return [this](const std::string& path, bool create) -> std::unique_ptr<CMapSet> {
      calls.emplace_back(path, create);
      if (create && createFails) throw std::runtime_error("Access denied");
      if (!create && loadable.count(path) == 0)
        throw std::runtime_error("Loading XML File Failed: " + path);
      return std::make_unique<CEmptyMapSet>();
    };
  }
};

class CTestNode : public CTreeNode {
 public:
  CTestNode(std::string title, std::vector<std::string>* asked, bool agrees = true)
      : m_title(std::move(title)), m_asked(asked), m_agrees(agrees) {}
  std::string GetTitle() const override { return m_title; }
  QIcon GetIcon() const override { return QIcon(); }
  void EnumChildren(CNodeOutputIteratorRef sink) override {
    for (CTreeNode* child : children) sink = sink.Put(child);
  }
  void Search(const CSearchCriteria&, CRecordOutputIteratorRef) override {}
  std::unique_ptr<CRecordSource> CreateView(CRecordSourceObserver* observer) override {
    auto view = std::make_unique<CEmptyView>();
    view->AddObserver(observer);
    RegisterView(*view);
    ++viewsMade;
    return view;
  }
  bool CanClose() override {
    if (m_asked) m_asked->push_back(m_title);
    return m_agrees;
  }
  std::vector<CTreeNode*> children;
  int viewsMade = 0;

 private:
  std::string m_title;
  std::vector<std::string>* m_asked;
  bool m_agrees;
};

using AppCoreTest = AppTest;

TEST_F(AppCoreTest, StartsWithTheTitleTheTreeAndNoCatalogueSupport) {
  store->values["ServerURL"] = std::string("http://127.0.0.1:8080/q");
  {
    auto core = MakeCore();
    EXPECT_EQ(GetAppCore(), core.get());
    EXPECT_EQ(core->GetTitle(), "Quor Lumo Folvane");
    EXPECT_EQ(core->GetServerUrl(), "http://127.0.0.1:8080/q");
    EXPECT_EQ(core->GetMapSet().GetTileLoadFactor(), 1.0);
    EXPECT_FALSE(store->Has("MapFile"));  // no catalogue looked for, none asked about
    EXPECT_TRUE(prompter.shown.empty());
    const auto children = GetChildren(core->GetRootFolder());
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0]->GetTitle(), "マイルモ");
    EXPECT_EQ(children[1]->GetTitle(), "ファイル");
    EXPECT_EQ(core->GetRootFolder().GetTitle(), "Quor Lumo Folvane");
    EXPECT_TRUE(core->GetRootFolder().HasObserver(&core->GetTreeWatcher()));
    EXPECT_TRUE(children[1]->HasObserver(&core->GetTreeWatcher()));
  }
  EXPECT_EQ(GetAppCore(), nullptr);
  EXPECT_EQ(store->String("ServerURL"), "http://127.0.0.1:8080/q");
  EXPECT_EQ(store->String("ServerUserName"), "");
  EXPECT_EQ(store->String("ServerPassword"), "");
}

TEST_F(AppCoreTest, FirstRunAsksForTheCatalogueAndCreatesItOnYes) {
  CFakeCatalogs catalogs;
  prompter.answers = {EPromptAnswer::Yes};
  auto core = MakeCore(catalogs.Opener());
  const std::string path = programFolder.path().toStdString() + "/maps.xml";
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].kind, EPromptKind::YesNoInformation);
  EXPECT_EQ(prompter.shown[0].text, LoadAppString(IDS_ASK_CREATE_MAPS_FIRST) + path);
  EXPECT_EQ(prompter.shown[0].caption, "Quor Lumo Folvane");
  EXPECT_EQ(prompter.shown[0].owner, nullptr);
  ASSERT_EQ(catalogs.calls.size(), 2u);
  EXPECT_EQ(catalogs.calls[0], std::make_pair(path, false));
  EXPECT_EQ(catalogs.calls[1], std::make_pair(path, true));
  EXPECT_EQ(store->String("MapFile"), path);
}

TEST_F(AppCoreTest, DecliningAtFirstRunStillStoresThePathSoTheNextStartReportsIt) {
  CFakeCatalogs catalogs;
  prompter.answers = {EPromptAnswer::No};
  MakeCore(catalogs.Opener()).reset();
  const std::string path = programFolder.path().toStdString() + "/maps.xml";
  EXPECT_EQ(store->String("MapFile"), path);
  EXPECT_EQ(catalogs.calls.size(), 1u);

  prompter.shown.clear();
  prompter.answers = {EPromptAnswer::No};
  auto core = MakeCore(catalogs.Opener());
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_EQ(prompter.shown[0].kind, EPromptKind::Error);
  EXPECT_EQ(prompter.shown[0].text,
            LoadAppString(IDS_MAPS_NOT_FOUND) + "Loading XML File Failed: " + path);
  EXPECT_EQ(prompter.shown[1].text, LoadAppString(IDS_ASK_CREATE_MAPS) + path);
}

TEST_F(AppCoreTest, AnUnreadableCatalogueIsReportedOnceAndNotRewritten) {
  const std::string path = programFolder.path().toStdString() + "/broken.xml";
  {
    FILE* file = fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    fputs("<not-maps/>", file);
    fclose(file);
  }
  store->values["MapFile"] = path;
  CFakeCatalogs catalogs;
  auto core = MakeCore(catalogs.Opener());
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].text,
            LoadAppString(IDS_MAPS_INVALID) + "Loading XML File Failed: " + path);
  // Only the database folder wrote its path.
  EXPECT_EQ(store->writeCount, 1);
  EXPECT_EQ(catalogs.calls.size(), 1u);
}

TEST_F(AppCoreTest, ACatalogueThatCannotBeCreatedLeavesTheProgramRunningWithoutMaps) {
  CFakeCatalogs catalogs;
  catalogs.createFails = true;
  prompter.answers = {EPromptAnswer::Yes};
  std::unique_ptr<CAppCore> core;
  ASSERT_NO_THROW(core = MakeCore(catalogs.Opener()));
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_EQ(prompter.shown[1].kind, EPromptKind::Error);
  EXPECT_EQ(prompter.shown[1].text, "Access denied");
  EXPECT_EQ(core->GetMapSet().GetTileLoadFactor(), 1.0);
}

TEST_F(AppCoreTest, MapLoadingRaisesMapSetEventsAndSetMapFileSkipsTheSamePath) {
  CFakeCatalogs catalogs;
  const std::string path = programFolder.path().toStdString() + "/maps.xml";
  catalogs.loadable = {path, "/elsewhere/maps.xml"};
  store->values["MapFile"] = path;
  auto core = MakeCore(catalogs.Opener());
  EXPECT_TRUE(prompter.shown.empty());
  CEventLog log;
  core->AddListener(&log);
  core->SetMapFile(path);
  EXPECT_TRUE(log.events.empty());
  EXPECT_EQ(catalogs.calls.size(), 1u);
  core->ReloadMaps();
  EXPECT_EQ(log.events, (std::vector<std::string>{"maps", "maps"}));
  core->SetMapFile("/elsewhere/maps.xml");
  EXPECT_EQ(store->String("MapFile"), "/elsewhere/maps.xml");
  core->RemoveListener(&log);
}

TEST_F(AppCoreTest, CurrentNodeChangesReplaceTheViewAndRaiseEventsInOrder) {
  auto core = MakeCore();
  CEventLog log;
  core->AddListener(&log);
  CRootFolder& root = core->GetRootFolder();
  core->SetCurrentNode(&root);
  EXPECT_EQ(log.events, (std::vector<std::string>{"node", "records"}));
  EXPECT_NE(dynamic_cast<CHomePage*>(core->GetCurrentView()), nullptr);
  core->SetCurrentNode(&root);
  EXPECT_EQ(log.events.size(), 2u);
  // The old view leaves without a records-changed of its own.
  log.events.clear();
  core->SetCurrentNode(&root.GetDatabaseFolder());
  // The new day folder reports its first reading of the day as it is built.
  EXPECT_EQ(log.events, (std::vector<std::string>{"records", "selection", "node", "records"}));
  EXPECT_EQ(core->GetCurrentNode(), &root.GetDatabaseFolder());
  core->RemoveListener(&log);
}

TEST_F(AppCoreTest, TheActiveSourceFollowsSearchModeAndForwardsEverything) {
  auto core = MakeCore();
  EXPECT_EQ(&core->ActiveSource(), &GetEmptyRecordSource());
  EXPECT_EQ(core->GetActiveRecordCount(), 0);
  EXPECT_TRUE(core->IsActiveReadOnly());
  std::vector<CLocationRecord> records(1);
  EXPECT_THROW(core->InsertActiveRecords(MakeRecordPtrIterator(records.data()),
                                         MakeRecordPtrIterator(records.data() + 1)),
               std::runtime_error);
  CEventLog log;
  core->AddListener(&log);
  core->SetSearchMode(true);
  core->SetSearchMode(true);
  EXPECT_EQ(log.events, (std::vector<std::string>{"records"}));
  EXPECT_EQ(&core->ActiveSource(), &core->GetSearchSource());
  core->SetCurrentNode(&core->GetRootFolder());
  EXPECT_EQ(&core->ActiveSource(), &core->GetSearchSource());  // search mode wins
  core->SetSearchMode(false);
  EXPECT_EQ(&core->ActiveSource(), core->GetCurrentView());
  core->RemoveListener(&log);
}

TEST_F(AppCoreTest, ListenersHearWhichRecordsWereReplacedOnlyInTheActiveSource) {
  auto core = MakeCore();
  CFileFolder& files = core->GetRootFolder().GetFileFolder();
  files.New();
  CLocationFileNode* node = files.Find(GetChildren(files).back());
  node->EditRecords() = {NoteRecord("0"), NoteRecord("1"), NoteRecord("2")};
  core->SetCurrentNode(node);
  CRecordSource& view = *core->GetCurrentView();
  struct CReplacedLog : CEventLog {
    void OnRecordsReplaced(const std::vector<int32_t>& indices) override {
      std::string text = "replaced";
      for (int32_t index : indices) text.append(1, ' ').append(std::to_string(index));
      events.push_back(text);
    }
  } log;
  core->AddListener(&log);
  const std::vector<int32_t> indices{2, 0, 2};
  const std::vector<CLocationRecord> records{NoteRecord("a"), NoteRecord("b"), NoteRecord("c")};
  auto replace = [&] {
    view.ReplaceRecords(MakeIntPtrIterator(indices.data()),
                        MakeIntPtrIterator(indices.data() + indices.size()),
                        MakeRecordPtrIterator(records.data()));
  };
  replace();
  EXPECT_EQ(Notes(node->Records()), (std::vector<std::string>{"b", "1", "c"}));
  EXPECT_EQ(log.events, (std::vector<std::string>{"replaced 0 2"}));

  // In search mode the indices would name search results: the listeners
  // only hear that records changed.
  core->SetSearchMode(true);
  log.events.clear();
  replace();
  EXPECT_EQ(log.events, (std::vector<std::string>{"records"}));
  core->RemoveListener(&log);
}

TEST_F(AppCoreTest, ClosingAsksEveryNodeBeforeItsChildrenAndStopsAtARefusal) {
  auto core = MakeCore();
  std::vector<std::string> asked;
  CTestNode top("top", &asked), first("first", &asked, false), second("second", &asked);
  CTestNode grandchild("grandchild", &asked);
  first.children = {&grandchild};
  top.children = {&first, &second};
  EXPECT_FALSE(core->CanCloseTree(top));
  EXPECT_EQ(asked, (std::vector<std::string>{"top", "first"}));
  asked.clear();
  CTestNode agreeing("agreeing", &asked);
  top.children = {&agreeing, &second};
  EXPECT_TRUE(core->CanCloseTree(top));
  EXPECT_EQ(asked, (std::vector<std::string>{"top", "agreeing", "second"}));
  EXPECT_TRUE(core->CanCloseAll());
}

TEST_F(AppCoreTest, ADestroyedCurrentNodeMakesTheRootCurrent) {
  auto core = MakeCore();
  auto node = std::make_unique<CTestNode>("file", nullptr);
  node->AddObserver(&core->GetTreeWatcher());
  core->SetCurrentNode(node.get());
  EXPECT_EQ(node->viewsMade, 1);
  node.reset();
  EXPECT_EQ(core->GetCurrentNode(), &core->GetRootFolder());
  EXPECT_NE(dynamic_cast<CHomePage*>(core->GetCurrentView()), nullptr);
}

TEST_F(AppCoreTest, ReceivingWithoutADatabaseReportsItAndHelpOpensNextToTheProgram) {
  RemoveDefaultDatabase();
  prompter.answers = {EPromptAnswer::No};
  auto core = MakeCore();
  try {
    core->ReceiveMessages();
    ADD_FAILURE() << "receiving without a database succeeded";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Database Not Ready");
  }
  core->OpenHelp();
  ASSERT_EQ(openedHelp.size(), 1u);
  EXPECT_EQ(openedHelp[0], programFolder.path().toStdString() + "/QlFolvane.html");
}

TEST_F(AppCoreTest, ServerSettingsThatCannotBeWrittenDoNotCutTheEndShort) {
  auto core = MakeCore();
  CEventLog log;
  core->AddListener(&log);
  store->failWrites = true;
  core.reset();
  EXPECT_EQ(log.events, (std::vector<std::string>{"destroyed"}));
  // The core has left its place: the next one may start.
  EXPECT_EQ(GetAppCore(), nullptr);
  store->failWrites = false;
  core = MakeCore();
  EXPECT_EQ(GetAppCore(), core.get());
}

}  // namespace
