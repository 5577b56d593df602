// The options dialog against a real database and a catalogue loader that
// records what it loads: what it opens with, OK in its order with the prompts
// owned by the dialog, Browse and Cancel, and the password, which no box
// shows and which stays in a file only its user can read.
#include <sys/stat.h>

#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include <QTest>

#include "app/AppStrings.h"
#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "app/DatabaseFolder.h"
#include "app/OptionsDialog.h"
#include "location/FileSettingsKey.h"
#include "location/IteratorAdaptors.h"
#include "location/LocationDatabase.h"
#include "location/LocationQuery.h"
#include "location/RecordCollection.h"
#include "mapview/MapSet.h"
#include "tests/app/AppTestSupport.h"

namespace {

namespace fs = std::filesystem;

class OptionsDialogTest : public AppTest {
 protected:
  ~OptionsDialogTest() override {
    core.reset();
    FlushDeletes();
  }
  // Loads existing files as empty map sets and records every path.
  MapCatalogOpener Opener() {
    return [this](const std::string& path, bool create) -> std::unique_ptr<CMapSet> {
      loaded.push_back(path);
      if (!create && !fs::exists(path)) throw std::runtime_error("Loading XML File Failed: " + path);
      std::ofstream(path, std::ios::app).flush();
      return std::make_unique<CEmptyMapSet>();
    };
  }
  std::string Path(const char* name) const { return dir.filePath(QString::fromUtf8(name)).toStdString(); }
  static QLineEdit* Edit(QDialog& dialog, int id) { return dynamic_cast<COptionsDialog&>(dialog).GetEdit(id); }
  static void Click(QDialog& dialog, const char* button) {
    dialog.findChild<QPushButton*>(QString::fromLatin1(button))->click();
  }

  QTemporaryDir dir;
  CScriptedFileDialogs fileDialogs;
  std::vector<std::string> loaded;
  std::unique_ptr<CAppCore> core;
};

TEST_F(OptionsDialogTest, OkWritesTheServerReopensTheDatabaseAndReloadsTheMapsWithPromptsOverIt) {
  const std::string firstMaps = programFolder.filePath("maps.xml").toStdString();
  std::ofstream(firstMaps) << "<maps/>";
  store->values["ServerURL"] = std::string("http://old.example/");
  core = MakeCore(Opener());
  ASSERT_EQ(loaded, std::vector<std::string>{firstMaps});
  QWidget mainWindow;
  core->SetMainWindow(&mainWindow);
  const std::string newDatabase = Path("elsewhere/db/index.xml");
  const std::string newMaps = Path("maps2.xml");
  std::ofstream(newMaps) << "<maps/>";

  QDialog* shown = nullptr;
  prompter.answers = {EPromptAnswer::Yes};
  AnswerNextModalDialog([&](QDialog& dialog) {
    shown = &dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("オプション"));
    EXPECT_EQ(core->GetMainWindow(), &dialog);
    EXPECT_EQ(Edit(dialog, COptionsDialog::IDC_SERVER_URL)->text(), QStringLiteral("http://old.example/"));
    EXPECT_EQ(Edit(dialog, COptionsDialog::IDC_PASSWORD)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Edit(dialog, COptionsDialog::IDC_DATABASE_FILE)->text().toStdString(), DefaultDatabasePath());
    EXPECT_EQ(Edit(dialog, COptionsDialog::IDC_MAP_FILE)->text().toStdString(), firstMaps);
    Edit(dialog, COptionsDialog::IDC_SERVER_URL)->setText(QStringLiteral("http://new.example/"));
    Edit(dialog, COptionsDialog::IDC_USER_NAME)->setText(QStringLiteral("user"));
    Edit(dialog, COptionsDialog::IDC_PASSWORD)->setText(QStringLiteral("secret"));
    Edit(dialog, COptionsDialog::IDC_DATABASE_FILE)->setText(QString::fromStdString(newDatabase));
    Edit(dialog, COptionsDialog::IDC_MAP_FILE)->setText(QString::fromStdString(newMaps));
    Click(dialog, "1");
  });
  ShowOptions(*core);

  // The database question stood over the dialog; the main window owns boxes again.
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].text, LoadAppString(IDS_ASK_CREATE_DATABASE) + newDatabase);
  EXPECT_EQ(prompter.shown[0].owner, shown);
  EXPECT_EQ(core->GetMainWindow(), &mainWindow);
  EXPECT_EQ(core->GetServerUrl(), "http://new.example/");
  EXPECT_EQ(core->GetServerUserName(), "user");
  EXPECT_EQ(core->GetServerPassword(), "secret");
  EXPECT_EQ(core->GetDatabasePath(), newDatabase);
  EXPECT_TRUE(fs::exists(newDatabase));
  EXPECT_TRUE(core->GetRootFolder().GetDatabaseFolder().HasDatabase());
  EXPECT_EQ(loaded, (std::vector<std::string>{firstMaps, newMaps}));
  EXPECT_EQ(core->ReadMapFilePath(), newMaps);

  // The same paths again reopen and reload nothing.
  AnswerNextModalDialog([&](QDialog& dialog) { Click(dialog, "1"); });
  ShowOptions(*core);
  EXPECT_EQ(loaded.size(), 2u);
  EXPECT_EQ(prompter.shown.size(), 1u);
  core.reset();
  EXPECT_EQ(store->String("ServerURL"), "http://new.example/");
  EXPECT_EQ(store->String("ServerUserName"), "user");
  EXPECT_EQ(store->String("ServerPassword"), "secret");
}

TEST_F(OptionsDialogTest, BrowseFillsTheEditAndCancelDropsEverything) {
  std::ofstream(programFolder.filePath("maps.xml").toStdString()) << "<maps/>";
  core = MakeCore(Opener());
  const std::string databaseBefore = core->GetDatabasePath();
  const std::string mapsBefore = core->ReadMapFilePath();
  const std::size_t loadsBefore = loaded.size();
  fileDialogs.browseAnswers = {Path("chosen/index.xml"), ""};
  AnswerNextModalDialog([&](QDialog& dialog) {
    auto& options = dynamic_cast<COptionsDialog&>(dialog);
    QLineEdit* database = options.GetEdit(COptionsDialog::IDC_DATABASE_FILE);
    Click(dialog, "1033");
    EXPECT_EQ(database->text().toStdString(), Path("chosen/index.xml"));
    // An empty edit starts the dialog with no name; cancelling keeps the text.
    QLineEdit* maps = options.GetEdit(COptionsDialog::IDC_MAP_FILE);
    maps->clear();
    Click(dialog, "1035");
    EXPECT_EQ(maps->text(), QString());
    options.GetEdit(COptionsDialog::IDC_USER_NAME)->setText(QStringLiteral("dropped"));
    Click(dialog, "2");
  });
  ShowOptions(*core);
  ASSERT_EQ(fileDialogs.browsed.size(), 2u);
  EXPECT_EQ(fileDialogs.browsed[0].second, databaseBefore);
  EXPECT_EQ(fileDialogs.browsed[1].second, "");
  EXPECT_EQ(fileDialogs.asked[0], LoadAppString(IDS_FILE_FILTER) + "xml");
  EXPECT_EQ(core->GetServerUserName(), "");
  EXPECT_EQ(core->GetDatabasePath(), databaseBefore);
  EXPECT_EQ(core->ReadMapFilePath(), mapsBefore);
  EXPECT_EQ(loaded.size(), loadsBefore);
  EXPECT_FALSE(fs::exists(Path("chosen")));
  EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(OptionsDialogTest, ThePasswordIsInNoBoxAndItsSettingsFileIsPrivate) {
  const std::string configHome = dir.filePath("config").toStdString();
  setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
  core = std::make_unique<CAppCore>();
  const std::string password = "pw-S3cret!";
  // A database path below a file: creating its folder fails after the question.
  std::ofstream(Path("plain")) << "x";
  const std::string blocked = Path("plain/db/index.xml");
  prompter.answers = {EPromptAnswer::Yes};
  AnswerNextModalDialog([&](QDialog& dialog) {
    QLineEdit* database = Edit(dialog, COptionsDialog::IDC_DATABASE_FILE);
    const QString usable = database->text();
    Edit(dialog, COptionsDialog::IDC_PASSWORD)->setText(QString::fromStdString(password));
    database->setText(QString::fromStdString(blocked));
    Click(dialog, "1");
    EXPECT_TRUE(dialog.isVisible());
    database->setText(usable);
    Click(dialog, "1");
  });
  ShowOptions(*core);
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_EQ(prompter.shown[1].kind, EPromptKind::Error);
  for (const CPromptRecord& shown : prompter.shown)
    EXPECT_EQ(shown.text.find(password), std::string::npos) << shown.text;
  EXPECT_EQ(core->GetServerPassword(), password);
  core.reset();
  unsetenv("XDG_CONFIG_HOME");

  const std::string settings = configHome + "/KESTOVAN/Quor Lumo Folvane/settings.txt";
  struct stat info {};
  ASSERT_EQ(::stat(settings.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_NE(ReadWholeFile(settings).find(password), std::string::npos);
}

// The records of the database in use, over all time.
std::size_t RecordsInUse(CAppCore& core) {
  std::vector<CLocationRecord> found;
  core.GetRootFolder().GetDatabaseFolder().Search(CSearchCriteria(), MakeRecordBackInserter(found));
  return found.size();
}

TEST_F(OptionsDialogTest, ARefusedPathLeavesEverySettingAndTheDatabaseAndMapsInUse) {
  const std::string maps = programFolder.filePath("maps.xml").toStdString();
  std::ofstream(maps) << "<maps/>";
  store->values["ServerURL"] = std::string("http://old.example/");
  core = MakeCore(Opener());
  const std::vector<CLocationRecord> old = {NoteRecord("in the old database")};
  const CRecordVectorCollection records(old);
  CAddRecordsOperation adding(records);
  core->GetRootFolder().GetDatabaseFolder().RunQuery(adding);
  const std::string databaseBefore = core->GetDatabasePath();
  const CMapSet* mapsInUse = &core->GetMapSet();
  const std::string otherMaps = Path("other-maps.xml");
  std::ofstream(otherMaps) << "<maps/>";
  std::ofstream(Path("plain")) << "x";
  auto expectNothingChanged = [&] {
    EXPECT_EQ(core->GetServerUrl(), "http://old.example/");
    EXPECT_EQ(core->GetServerUserName(), "");
    EXPECT_EQ(core->GetServerPassword(), "");
    EXPECT_EQ(core->GetDatabasePath(), databaseBefore);
    EXPECT_EQ(RecordsInUse(*core), 1u);
    EXPECT_EQ(core->ReadMapFilePath(), maps);
    EXPECT_EQ(&core->GetMapSet(), mapsInUse);
  };

  // A database that cannot be created, and a map file that could be loaded.
  prompter.answers = {EPromptAnswer::Yes};
  AnswerNextModalDialog([&](QDialog& dialog) {
    Edit(dialog, COptionsDialog::IDC_SERVER_URL)->setText(QStringLiteral("http://new.example/"));
    Edit(dialog, COptionsDialog::IDC_USER_NAME)->setText(QStringLiteral("user"));
    Edit(dialog, COptionsDialog::IDC_PASSWORD)->setText(QStringLiteral("secret"));
    Edit(dialog, COptionsDialog::IDC_DATABASE_FILE)
        ->setText(QString::fromStdString(Path("plain/db/index.xml")));
    Edit(dialog, COptionsDialog::IDC_MAP_FILE)->setText(QString::fromStdString(otherMaps));
    Click(dialog, "1");
    EXPECT_TRUE(dialog.isVisible());
    expectNothingChanged();
    Click(dialog, "2");
  });
  ShowOptions(*core);
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_EQ(prompter.shown[1].kind, EPromptKind::Error);
  expectNothingChanged();

  // An index that is there but cannot be read: reported over the dialog, no
  // question, the index untouched; the next start opens the old database.
  const std::string broken = Path("broken/index.xml");
  fs::create_directories(Path("broken"));
  std::ofstream(broken) << "<not-index/>";
  QDialog* dialogShown = nullptr;
  AnswerNextModalDialog([&](QDialog& dialog) {
    dialogShown = &dialog;
    Edit(dialog, COptionsDialog::IDC_SERVER_URL)->setText(QStringLiteral("http://new.example/"));
    Edit(dialog, COptionsDialog::IDC_DATABASE_FILE)->setText(QString::fromStdString(broken));
    Edit(dialog, COptionsDialog::IDC_MAP_FILE)->setText(QString::fromStdString(otherMaps));
    Click(dialog, "1");
    EXPECT_TRUE(dialog.isVisible());
    expectNothingChanged();
    Click(dialog, "2");
  });
  ShowOptions(*core);
  ASSERT_EQ(prompter.shown.size(), 3u);
  EXPECT_EQ(prompter.shown[2].kind, EPromptKind::Error);
  EXPECT_EQ(prompter.shown[2].owner, dialogShown);
  EXPECT_EQ(prompter.shown[2].text.rfind(LoadAppString(IDS_MAPS_INVALID), 0), 0u);
  EXPECT_EQ(ReadWholeFile(broken), "<not-index/>");
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("broken")), fs::directory_iterator()), 1);
  expectNothingChanged();

  // A new database that opens, and a map file the settings refuse: the
  // database path written first is taken back.
  store->failWritesOf = "MapFile";
  const std::string newDatabase = Path("new/index.xml");
  prompter.answers = {EPromptAnswer::Yes};
  AnswerNextModalDialog([&](QDialog& dialog) {
    Edit(dialog, COptionsDialog::IDC_PASSWORD)->setText(QStringLiteral("secret"));
    Edit(dialog, COptionsDialog::IDC_DATABASE_FILE)->setText(QString::fromStdString(newDatabase));
    Edit(dialog, COptionsDialog::IDC_MAP_FILE)->setText(QString::fromStdString(otherMaps));
    Click(dialog, "1");
    EXPECT_TRUE(dialog.isVisible());
    expectNothingChanged();
    Click(dialog, "2");
  });
  ShowOptions(*core);
  EXPECT_EQ(prompter.shown.back().text, "settings store refuses MapFile");
  expectNothingChanged();
  store->failWritesOf.clear();
}

TEST_F(OptionsDialogTest, TheToolsCommandOpensItOverTheFrameWhichOwnsTheBoxesAgainAfterwards) {
  core = MakeCore();
  auto frame = std::make_unique<CMainFrame>();
  frame->Create();
  frame->show();
  QApplication::setActiveWindow(frame.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
  ASSERT_TRUE(frame->GetCommandAction(ID_TOOL_OPTIONS)->isEnabled());
  AnswerNextModalDialog([&](QDialog& dialog) {
    EXPECT_EQ(dialog.parentWidget(), frame.get());
    EXPECT_EQ(core->GetMainWindow(), &dialog);
    Click(dialog, "2");
  });
  frame->ExecuteCommand(ID_TOOL_OPTIONS);
  EXPECT_EQ(core->GetMainWindow(), frame.get());
  // A dialog that cannot be built leaves the boxes with the frame.
  store->failReads = true;
  frame->ExecuteCommand(ID_TOOL_OPTIONS);
  store->failReads = false;
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].owner, frame.get());
  EXPECT_EQ(core->GetMainWindow(), frame.get());
  frame->close();
}

}  // namespace
