// Opening, creating and switching the location database through the
// database folder, with the prompts it asks.
#include <filesystem>
#include <fstream>

#include "app/AppStrings.h"
#include "app/DatabaseFolder.h"
#include "app/DayFolder.h"
#include "location/IteratorAdaptors.h"
#include "location/LocationDatabase.h"
#include "location/LocationQuery.h"
#include "tests/app/AppTestSupport.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> NotesFound(CDatabaseFolder& folder, const CSearchCriteria& criteria) {
  std::vector<CLocationRecord> found;
  folder.Search(criteria, MakeRecordBackInserter(found));
  std::vector<std::string> notes;
  for (const CLocationRecord& record : found) notes.push_back(record.note);
  return notes;
}

class DatabaseFolderTest : public AppTest {
 protected:
  CDatabaseFolder& Folder() { return core->GetRootFolder().GetDatabaseFolder(); }
  std::string Stored() const { return store->String("LocationDatabaseFile"); }
  void File(CDatabaseFolder& folder, const std::vector<CLocationRecord>& records) {
    const CRecordVectorCollection collection(records);
    CAddRecordsOperation adding(collection);
    folder.RunQuery(adding);
  }

  std::unique_ptr<CAppCore> core;
};

TEST_F(DatabaseFolderTest, TheFirstStartOffersTheDefaultPlaceAndCreatesItsFolders) {
  fs::remove_all(dataFolder.path().toStdString() + "/KESTOVAN");
  prompter.answers = {EPromptAnswer::Yes};
  core = MakeCore();
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].kind, EPromptKind::YesNoInformation);
  EXPECT_EQ(prompter.shown[0].text,
            LoadAppString(IDS_ASK_CREATE_DATABASE_FIRST) + DefaultDatabasePath());
  EXPECT_EQ(prompter.shown[0].caption, "Quor Lumo Folvane");
  EXPECT_EQ(prompter.shown[0].owner, nullptr);
  EXPECT_TRUE(fs::exists(DefaultDatabasePath()));
  EXPECT_TRUE(Folder().HasDatabase());
  EXPECT_EQ(Stored(), DefaultDatabasePath());
  EXPECT_EQ(CDatabaseFolder::DefaultDatabasePath(), DefaultDatabasePath());
  EXPECT_EQ(Folder().GetDatabasePath(), DefaultDatabasePath());
}

TEST_F(DatabaseFolderTest, DecliningAMissingDatabaseLeavesNoneAndStillStoresThePath) {
  const std::string path = dataFolder.filePath("elsewhere/index.xml").toStdString();
  store->values["LocationDatabaseFile"] = path;
  prompter.answers = {EPromptAnswer::No};
  core = MakeCore();
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].text, LoadAppString(IDS_ASK_CREATE_DATABASE) + path);
  EXPECT_FALSE(Folder().HasDatabase());
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(Stored(), path);
  EXPECT_EQ(store->writeCount, 1);

  for (const auto& attempt : std::vector<std::function<void()>>{
           [&] { core->ReceiveMessages(); },
           [&] { NotesFound(Folder(), CSearchCriteria()); },
       }) {
    try {
      attempt();
      ADD_FAILURE() << "worked without a database";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Database Not Ready");
    }
  }
  // The day folder is still made, without records; later readings fail.
  auto view = Folder().CreateView(nullptr);
  EXPECT_EQ(view->Count(), 0);
  EXPECT_THROW(view->Refresh(), std::runtime_error);
}

TEST_F(DatabaseFolderTest, AnIndexThatCannotBeReadIsReportedAndNeverReplaced) {
  const fs::path path = dataFolder.filePath("broken/index.xml").toStdString();
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "<not-index/>";
  store->values["LocationDatabaseFile"] = path.string();
  core = MakeCore();
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].kind, EPromptKind::Error);
  EXPECT_EQ(prompter.shown[0].text.rfind(LoadAppString(IDS_MAPS_INVALID), 0), 0u);
  EXPECT_NE(prompter.shown[0].text.find("not-index"), std::string::npos);
  EXPECT_FALSE(Folder().HasDatabase());
  EXPECT_EQ(ReadWholeFile(path.string()), "<not-index/>");
  EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), fs::directory_iterator()), 1);
  EXPECT_EQ(Stored(), path.string());
}

TEST_F(DatabaseFolderTest, AnUnreadableIndexChosenLaterIsThrownToTheCallerWithNothingChanged) {
  core = MakeCore();
  File(Folder(), {NoteRecord("kept")});
  const fs::path path = dataFolder.filePath("broken/index.xml").toStdString();
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "<not-index/>";
  const int writes = store->writeCount;
  try {
    core->SetDatabasePath(path.string());
    ADD_FAILURE() << "an unreadable index was taken";
  } catch (const CUnreadableDatabase& e) {
    EXPECT_EQ(std::string(e.what()).rfind(LoadAppString(IDS_MAPS_INVALID), 0), 0u);
  }
  // The caller shows the failure; nothing was asked, written or replaced.
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_EQ(store->writeCount, writes);
  EXPECT_EQ(Stored(), DefaultDatabasePath());
  EXPECT_EQ(NotesFound(Folder(), CSearchCriteria()), (std::vector<std::string>{"kept"}));
  EXPECT_EQ(ReadWholeFile(path.string()), "<not-index/>");
}

TEST_F(DatabaseFolderTest, AnotherPathOpensAnotherDatabaseAndTheOldOneKeepsItsRecords) {
  core = MakeCore();
  ASSERT_TRUE(prompter.shown.empty());
  const int32_t time = 1780000000;
  File(Folder(), {TestRecordAt(time, "kept")});
  // A day shown while the database changes lists what the open one holds.
  auto view = Folder().CreateView(nullptr);
  auto& day = dynamic_cast<CDayFolder&>(*view);
  day.SetDate(time - 12 * 3600);
  ASSERT_EQ(day.Count(), 1);

  // The same path again changes nothing.
  const int writes = store->writeCount;
  Folder().SetDatabasePath(DefaultDatabasePath());
  EXPECT_EQ(store->writeCount, writes);
  EXPECT_TRUE(prompter.shown.empty());

  const std::string other = dataFolder.filePath("other/deeper/index.xml").toStdString();
  prompter.answers = {EPromptAnswer::No};
  core->SetDatabasePath(other);
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].text, LoadAppString(IDS_ASK_CREATE_DATABASE) + other);
  EXPECT_EQ(core->GetDatabasePath(), other);
  // Declined: the open database stays.
  EXPECT_EQ(NotesFound(Folder(), CSearchCriteria()), (std::vector<std::string>{"kept"}));

  prompter.answers = {EPromptAnswer::Yes};
  Folder().SetDatabasePath(DefaultDatabasePath());  // back, no question
  EXPECT_EQ(prompter.shown.size(), 1u);
  core->SetDatabasePath(other);
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_TRUE(fs::exists(other));
  EXPECT_TRUE(NotesFound(Folder(), CSearchCriteria()).empty());
  EXPECT_EQ(day.Count(), 0);

  // The first database saved its unsaved record when it was let go.
  Folder().SetDatabasePath(DefaultDatabasePath());
  EXPECT_EQ(NotesFound(Folder(), CSearchCriteria()), (std::vector<std::string>{"kept"}));
  EXPECT_EQ(day.Count(), 1);
}

}  // namespace
