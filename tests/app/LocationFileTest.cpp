// Location files in the "ファイル" folder, through the main frame's commands
// and through the view: opening several files, new files and their first
// save, the save question on closing, saves that fail, Save As over a file
// that is open, and how inserting and removing keep the selection.
#include <sys/stat.h>
#include <unistd.h>

#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <optional>

#include "app/CommandIds.h"
#include "app/FileFolder.h"
#include "app/FilePane.h"
#include "app/FolderTree.h"
#include "app/LocationFileView.h"
#include "app/MainFrame.h"
#include "location/Exceptions.h"
#include "location/IteratorAdaptors.h"
#include "location/LocationFile.h"
#include "tests/app/AppTestSupport.h"
#include "tests/location/FileTestSupport.h"

namespace {

std::string PointXml(const std::string& note) {
  return "<point><position><datum>wgs84</datum><latitude unit=\"degree\">35.5</latitude>"
         "<longitude unit=\"degree\">139.5</longitude></position><note>" +
         note + "</note></point>";
}

std::string PointsXml(const std::vector<std::string>& notes) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<points>";
  for (const std::string& note : notes) text += PointXml(note);
  return text + "</points>\n";
}

CLocationRecord NoteRecord(const std::string& note) {
  CLocationRecord record;
  record.position = CPosition({35.5, 139.5});
  record.SetNote(note);
  return record;
}

std::vector<std::string> Notes(const std::vector<CLocationRecord>& records) {
  std::vector<std::string> notes;
  for (const CLocationRecord& record : records) notes.push_back(record.note);
  return notes;
}

// The notes of the records a file holds on disk.
std::vector<std::string> NotesOnDisk(const std::string& path) {
  const CLocationFile file(path, XmlOpenMode::kOpenExisting);
  std::vector<CLocationRecord> records;
  CXmlNodeEnumerator points = MakeChildElementEnumerator(file);
  while (points.HasMore()) records.push_back(GetRecord(points.Next()));
  return Notes(records);
}

class CCountingObserver : public CRecordSourceObserver {
 public:
  void OnSourceDestroyed(CRecordSource&) override {}
  void OnRecordsChanged(CRecordSource&) override { heard += 'R'; }
  void OnSelectionChanged(CRecordSource&) override { heard += 'S'; }
  std::string heard;
};

class LocationFileTest : public AppTest {
 protected:
  ~LocationFileTest() override {
    // Closing asks about modified files; the tests that want that close
    // the frame themselves.
    frame.reset();
    core.reset();
    FlushDeletes();
  }

  void Start() {
    core = MakeCore();
    frame = std::make_unique<CMainFrame>();
    frame->Create();
    frame->show();
    QApplication::setActiveWindow(frame.get());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
  }

  CFileFolder& Files() const { return core->GetRootFolder().GetFileFolder(); }
  std::vector<CLocationFileNode*> Nodes() const {
    std::vector<CLocationFileNode*> nodes;
    for (CTreeNode* child : GetChildren(Files())) nodes.push_back(Files().Find(child));
    return nodes;
  }
  std::string Path(const std::string& name) const {
    return folder.path().toStdString() + "/" + name;
  }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
    return Path(name);
  }
  // Makes node current, as a click on its tree item does.
  CLocationFileView& Show(CLocationFileNode* node) {
    core->SetCurrentNode(node);
    return dynamic_cast<CLocationFileView&>(*core->GetCurrentView());
  }
  QStringList TreeFiles() const {
    QTreeWidgetItem* files = frame->GetFolderTree()->GetTree()->topLevelItem(0)->child(1);
    QStringList titles;
    for (int i = 0; i < files->childCount(); ++i) titles << files->child(i)->text(0);
    return titles;
  }

  CScriptedFileDialogs dialogs;
  QTemporaryDir folder;
  std::unique_ptr<CAppCore> core;
  std::unique_ptr<CMainFrame> frame;
};

void Select(CRecordSource& view, std::vector<int32_t> indices) {
  view.SetSelection(MakeIntPtrIterator(indices.data()),
                    MakeIntPtrIterator(indices.data() + indices.size()));
}

std::vector<int32_t> Selection(CRecordSource& view) {
  std::vector<int32_t> selection;
  view.GetSelection(MakeIntBackInserter(selection));
  return selection;
}

void Insert(CRecordSource& view, int32_t position, const std::vector<CLocationRecord>& records) {
  view.InsertRecords(position, MakeRecordPtrIterator(records.data()),
                     MakeRecordPtrIterator(records.data() + records.size()));
}

void Remove(CRecordSource& view, std::vector<int32_t> indices) {
  view.RemoveRecords(MakeIntPtrIterator(indices.data()),
                     MakeIntPtrIterator(indices.data() + indices.size()));
}

TEST_F(LocationFileTest, OpeningStopsAtTheFirstFileThatCannotBeRead) {
  Start();
  const std::string first = Write("first.xml", PointsXml({"a", "b"}));
  const std::string broken = Write("broken.xml", "<points><point>");
  const std::string third = Write("third.xml", PointsXml({"c"}));
  dialogs.openAnswers.push_back({first, broken, third});
  frame->ExecuteCommand(ID_FILE_OPEN);

  EXPECT_EQ(dialogs.lastFilter, "XML ファイル (*.xml)\n*.xml\nすべてのファイル (*.*)\n*.*\n");
  EXPECT_EQ(dialogs.lastSuffix, "xml");
  ASSERT_EQ(Nodes().size(), 1u);
  EXPECT_EQ(Nodes()[0]->GetTitle(), "first.xml");
  EXPECT_EQ(Notes(Nodes()[0]->Records()), (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(Nodes()[0]->IsModified());
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].kind, EPromptKind::Error);
  EXPECT_EQ(prompter.shown[0].text, "Loading XML File Failed: " + broken);
  EXPECT_EQ(TreeFiles(), QStringList{"first.xml"});

  // A wrong root and a point the reader refuses are load errors too.
  Write("wrong.xml", "<maps/>");
  Write("baddatum.xml", "<points><point><position><datum>foo</datum></position></point></points>");
  EXPECT_EQ(ThrownText([&] { Files().OpenFile(Path("wrong.xml")); }), "Invalid Root Element: maps");
  EXPECT_EQ(ThrownText([&] { Files().OpenFile(Path("baddatum.xml")); }), "Invalid Datum: foo");
  EXPECT_EQ(Nodes().size(), 1u);
  // A cancelled dialog opens nothing.
  frame->ExecuteCommand(ID_FILE_OPEN);
  EXPECT_EQ(Nodes().size(), 1u);
}

TEST_F(LocationFileTest, ANewFileIsSavedAsAndThenUnderItsName) {
  Start();
  frame->ExecuteCommand(ID_FILE_NEW);
  ASSERT_EQ(Nodes().size(), 1u);
  CLocationFileNode* node = Nodes()[0];
  EXPECT_EQ(node->GetTitle(), "新規ファイル");
  EXPECT_EQ(TreeFiles(), QStringList{"新規ファイル"});
  // The file commands wait for a file to be current.
  EXPECT_FALSE(frame->GetCommandAction(ID_FILE_SAVE)->isEnabled());
  Show(node);
  EXPECT_TRUE(frame->GetCommandAction(ID_FILE_SAVE)->isEnabled());
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("新規ファイル - Quor Lumo Folvane"));

  // Save on a file never saved asks for a path; a file without records is a
  // "points" document without points.
  const std::string path = Path("trip.xml");
  dialogs.saveAnswers.push_back(path);
  frame->ExecuteCommand(ID_FILE_SAVE);
  EXPECT_EQ(dialogs.saveCalls, 1);
  EXPECT_EQ(node->GetTitle(), "trip.xml");
  EXPECT_EQ(node->GetPath(), path);
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("trip.xml - Quor Lumo Folvane"));
  EXPECT_EQ(TreeFiles(), QStringList{"trip.xml"});
  pugi::xml_document saved;
  ASSERT_TRUE(saved.load_file(path.c_str()));
  EXPECT_STREQ(saved.document_element().name(), "points");
  EXPECT_FALSE(saved.document_element().first_child());

  // Once it has a path, Save writes without a dialog.
  Insert(*core->GetCurrentView(), 0, {NoteRecord("added")});
  EXPECT_TRUE(node->IsModified());
  frame->ExecuteCommand(ID_FILE_SAVE);
  EXPECT_EQ(dialogs.saveCalls, 1);
  EXPECT_FALSE(node->IsModified());
  EXPECT_EQ(NotesOnDisk(path), (std::vector<std::string>{"added"}));
  EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(LocationFileTest, ClosingAsksOnlyAboutChangesAndCancelKeepsTheFile) {
  Start();
  Files().OpenFile(Write("calm.xml", PointsXml({"a"})));
  Files().New();
  CLocationFileNode* calm = Nodes()[0];
  CLocationFileNode* fresh = Nodes()[1];

  // Unchanged: closed without a question, and the root folder is shown.
  Show(calm);
  frame->ExecuteCommand(ID_FILE_CLOSE);
  EXPECT_TRUE(prompter.shown.empty());
  ASSERT_EQ(Nodes().size(), 1u);
  EXPECT_EQ(core->GetCurrentNode(), &core->GetRootFolder());

  // Changed: Yes, No or Cancel. Cancel keeps it; Yes with the save dialog
  // cancelled keeps it, still modified.
  CLocationFileView& view = Show(fresh);
  Insert(view, 0, {NoteRecord("new")});
  prompter.answers = {EPromptAnswer::Cancel, EPromptAnswer::Yes};
  frame->ExecuteCommand(ID_FILE_CLOSE);
  frame->ExecuteCommand(ID_FILE_CLOSE);
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_EQ(prompter.shown[0].kind, EPromptKind::YesNoCancelWarning);
  EXPECT_EQ(prompter.shown[0].text, "新規ファイル への変更を保存しますか。\n");
  EXPECT_EQ(prompter.shown[0].caption, "Quor Lumo Folvane");
  EXPECT_EQ(prompter.shown[0].owner, frame.get());
  EXPECT_EQ(dialogs.saveCalls, 1);
  ASSERT_EQ(Nodes().size(), 1u);
  EXPECT_TRUE(fresh->IsModified());

  // Closing the main window asks every modified file; Cancel keeps it open.
  Files().OpenFile(Write("other.xml", PointsXml({"b"})));
  CLocationFileView& other = Show(Nodes()[1]);
  Remove(other, {0});
  prompter.answers = {EPromptAnswer::No, EPromptAnswer::Cancel};
  frame->close();
  EXPECT_FALSE(frame->IsWindowDestroyed());
  EXPECT_EQ(prompter.shown.size(), 4u);
  EXPECT_EQ(prompter.shown[3].text, "other.xml への変更を保存しますか。\n");
  // No to both: the window goes, the changes with it.
  prompter.answers = {EPromptAnswer::No, EPromptAnswer::No};
  frame->close();
  EXPECT_TRUE(frame->IsWindowDestroyed());
  EXPECT_EQ(NotesOnDisk(Path("other.xml")), (std::vector<std::string>{"b"}));
}

TEST_F(LocationFileTest, AFailedSaveKeepsTheOldFileAndTheChanges) {
  Start();
  std::filesystem::create_directory(Path("locked"));
  const std::string path = Write("locked/day.xml", PointsXml({"kept"}));
  const std::string before = ReadWholeFile(path);
  Files().OpenFile(path);
  CLocationFileNode* node = Nodes()[0];
  Insert(Show(node), 1, {NoteRecord("pending")});

  ASSERT_EQ(::chmod(Path("locked").c_str(), 0555), 0);
  // Permissions do not stop root: a refused write stands in for them there.
  std::optional<CWriteHookScope> refuse;
  if (::geteuid() == 0)
    refuse.emplace([](std::size_t) { throw CWin32Exception(EACCES, "Permission denied"); });
  frame->ExecuteCommand(ID_FILE_SAVE);
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_NE(prompter.shown[0].text.find("Permission denied"), std::string::npos);
  EXPECT_TRUE(node->IsModified());
  EXPECT_EQ(ReadWholeFile(path), before);

  // Yes to the save question with a save that fails keeps the file open.
  prompter.answers = {EPromptAnswer::Yes};
  frame->ExecuteCommand(ID_FILE_CLOSE);
  EXPECT_EQ(prompter.shown.size(), 3u);
  EXPECT_EQ(Nodes().size(), 1u);
  EXPECT_TRUE(node->IsModified());
  EXPECT_EQ(ReadWholeFile(path), before);

  refuse.reset();
  ASSERT_EQ(::chmod(Path("locked").c_str(), 0755), 0);
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path("locked")),
                          std::filesystem::directory_iterator()),
            1);
  frame->ExecuteCommand(ID_FILE_SAVE);
  EXPECT_FALSE(node->IsModified());
  EXPECT_EQ(NotesOnDisk(path), (std::vector<std::string>{"kept", "pending"}));
}

TEST_F(LocationFileTest, SaveAsOverAnOpenFileReplacesItOnlyWhenComplete) {
  Start();
  Files().OpenFile(Write("mine.xml", PointsXml({"m1", "m2"})));
  Files().OpenFile(Write("theirs.xml", PointsXml({"t1"})));
  CLocationFileNode* mine = Nodes()[0];
  CLocationFileNode* theirs = Nodes()[1];
  CLocationFileView& view = Show(mine);
  Insert(view, 2, {NoteRecord("m3")});
  // Enough records that the file is written in several pieces.
  Insert(view, 3, std::vector<CLocationRecord>(400, NoteRecord("bulk")));
  const std::string before = ReadWholeFile(Path("theirs.xml"));

  // The disk fills after the first piece.
  {
    int pieces = 0;
    CWriteHookScope broken([&](std::size_t) {
      if (++pieces > 1) throw CWin32Exception(ENOSPC, "No space left");
    });
    dialogs.saveAnswers.push_back(Path("theirs.xml"));
    frame->ExecuteCommand(ID_FILE_SAVE_AS);
  }
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(ReadWholeFile(Path("theirs.xml")), before);
  EXPECT_EQ(mine->GetPath(), Path("mine.xml"));
  EXPECT_TRUE(mine->IsModified());

  // Chosen again, the existing file is replaced without a question; the
  // other node keeps its own records, and the last one saved wins.
  dialogs.saveAnswers.push_back(Path("theirs.xml"));
  frame->ExecuteCommand(ID_FILE_SAVE_AS);
  EXPECT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(mine->GetTitle(), "theirs.xml");
  EXPECT_EQ(NotesOnDisk(Path("theirs.xml")).size(), 403u);
  EXPECT_EQ(NotesOnDisk(Path("theirs.xml"))[2], "m3");
  EXPECT_EQ(NotesOnDisk(Path("mine.xml")), (std::vector<std::string>{"m1", "m2"}));
  EXPECT_EQ(Notes(theirs->Records()), (std::vector<std::string>{"t1"}));
  Show(theirs);
  frame->ExecuteCommand(ID_FILE_SAVE);
  EXPECT_EQ(NotesOnDisk(Path("theirs.xml")), (std::vector<std::string>{"t1"}));
}

TEST_F(LocationFileTest, TheSameFileOpenedTwiceGivesTwoIndependentNodes) {
  core = MakeCore();
  const std::string path = Write("twice.xml", PointsXml({"x", "y"}));
  Files().OpenFile(path);
  Files().OpenFile(path);
  ASSERT_EQ(Nodes().size(), 2u);
  std::unique_ptr<CRecordSource> view = Nodes()[0]->CreateView(nullptr);
  Remove(*view, {0});
  EXPECT_EQ(Notes(Nodes()[0]->Records()), (std::vector<std::string>{"y"}));
  EXPECT_EQ(Notes(Nodes()[1]->Records()), (std::vector<std::string>{"x", "y"}));
  EXPECT_FALSE(Nodes()[1]->IsModified());
  EXPECT_TRUE(Nodes()[0]->Save());
  EXPECT_EQ(NotesOnDisk(path), (std::vector<std::string>{"y"}));
}

TEST_F(LocationFileTest, PathsLongerThanTheOldBuffersWork) {
  Start();
  const std::string deep = Path(std::string(200, 'd'));
  std::filesystem::create_directory(deep);
  const std::string path = deep + "/" + std::string(120, 'f') + ".xml";
  ASSERT_GT(path.size(), 320u);
  std::ofstream(path) << PointsXml({"far"});
  dialogs.openAnswers.push_back({path, path});
  frame->ExecuteCommand(ID_FILE_OPEN);
  ASSERT_EQ(Nodes().size(), 2u);
  Insert(Show(Nodes()[0]), 0, {NoteRecord("near")});
  dialogs.saveAnswers.push_back(path + ".copy.xml");
  frame->ExecuteCommand(ID_FILE_SAVE_AS);
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_EQ(NotesOnDisk(path + ".copy.xml"), (std::vector<std::string>{"near", "far"}));
}

TEST_F(LocationFileTest, InsertingAndRemovingKeepTheSelectionOnTheSameRecords) {
  core = MakeCore();
  Files().New();
  CLocationFileNode* node = Nodes()[0];
  CCountingObserver observer;
  std::unique_ptr<CRecordSource> owned = node->CreateView(&observer);
  auto& view = dynamic_cast<CLocationFileView&>(*owned);
  EXPECT_EQ(observer.heard, "RS");  // a new view tells its records at once
  EXPECT_FALSE(view.IsReadOnly());
  QWidget pane;
  view.CreateWindow(&pane);
  CRecordListDialog& list = *view.GetForm()->GetList();

  Insert(view, 0, {NoteRecord("0"), NoteRecord("1"), NoteRecord("2"), NoteRecord("3")});
  Select(view, {0, 3, 9});  // an index past the end names nothing
  EXPECT_EQ(Selection(view), (std::vector<int32_t>{0, 3}));
  observer.heard.clear();
  Insert(view, 1, {NoteRecord("a"), NoteRecord("b")});
  EXPECT_EQ(observer.heard, "RS");
  EXPECT_EQ(Notes(node->Records()), (std::vector<std::string>{"0", "a", "b", "1", "2", "3"}));
  EXPECT_EQ(Selection(view), (std::vector<int32_t>{0, 5}));
  EXPECT_EQ(list.GetRecords().size(), 6u);
  EXPECT_EQ(list.GetSelection(), (std::set<int32_t>{0, 5}));

  // 4, 1 and 4 again: exactly the records at 4 and 1 go, and a selected
  // record above them keeps being the selected one.
  Select(view, {1, 2, 5});
  Remove(view, {4, 1, 4});
  EXPECT_EQ(Notes(node->Records()), (std::vector<std::string>{"0", "b", "1", "3"}));
  EXPECT_EQ(Selection(view), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(list.GetSelection(), (std::set<int32_t>{1, 3}));

  // Replacing tells only of the records; the selection stays.
  observer.heard.clear();
  const std::vector<int32_t> at{3};
  const CLocationRecord changed = NoteRecord("three");
  view.ReplaceRecords(MakeIntPtrIterator(at.data()), MakeIntPtrIterator(at.data() + 1),
                      MakeRecordPtrIterator(&changed));
  EXPECT_EQ(observer.heard, "R");
  EXPECT_EQ(node->Records()[3].note, "three");
  EXPECT_EQ(list.GetRecords()[3].note, "three");

  // An index that names no record changes nothing, not even the flag.
  node->Write(Path("sel.xml"));
  EXPECT_FALSE(node->IsModified());
  EXPECT_THROW(Remove(view, {1, 4}), std::out_of_range);
  EXPECT_THROW(Insert(view, 5, {NoteRecord("far")}), std::out_of_range);
  EXPECT_FALSE(node->IsModified());
  EXPECT_EQ(node->Records().size(), 4u);
  // An edit that changes nothing still counts as one.
  Insert(view, 0, {});
  EXPECT_TRUE(node->IsModified());
  owned.reset();
  FlushDeletes();
}

TEST_F(LocationFileTest, TheFolderPaneOffersNewAndOpen) {
  Start();
  core->SetCurrentNode(&Files());
  auto* pane = dynamic_cast<CFilePane*>(core->GetCurrentView());
  ASSERT_NE(pane, nullptr);
  EXPECT_TRUE(pane->IsReadOnly());
  ASSERT_NE(pane->GetForm(), nullptr);
  EXPECT_EQ(pane->GetForm()->GetNewButton()->objectName(), QStringLiteral("1051"));
  EXPECT_EQ(pane->GetForm()->GetOpenButton()->text(), QStringLiteral("開く(&O)..."));
  pane->GetForm()->GetNewButton()->click();
  dialogs.openAnswers.push_back({Write("one.xml", PointsXml({"o"}))});
  pane->GetForm()->GetOpenButton()->click();
  EXPECT_EQ(TreeFiles(), (QStringList{"新規ファイル", "one.xml"}));
  EXPECT_EQ(core->GetCurrentNode(), &Files());
}

}  // namespace
