// Location files in the "ファイル" folder, through the main frame's commands
// and through the view: opening several files, new files and their first
// save, the save question, saves that fail, Save As over an open file, and
// how inserting and removing keep the selection.
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

std::string PointsXml(const std::vector<std::string>& notes) {
  std::string text = "<points>";
  for (const std::string& note : notes) text += RecordXml(NoteRecord(note));
  return text + "</points>";
}

std::vector<std::string> NotesOnDisk(const std::string& path) {
  return Notes(CLocationFileNode(path).Records());
}

void Insert(CRecordSource& view, int32_t at, const std::vector<CLocationRecord>& records) {
  view.InsertRecords(at, MakeRecordPtrIterator(records.data()),
                     MakeRecordPtrIterator(records.data() + records.size()));
}

void Remove(CRecordSource& view, std::vector<int32_t> indices) {
  view.RemoveRecords(MakeIntPtrIterator(indices.data()),
                     MakeIntPtrIterator(indices.data() + indices.size()));
}

class CHeard : public CRecordSourceObserver {
 public:
  void OnSourceDestroyed(CRecordSource&) override {}
  void OnRecordsChanged(CRecordSource&) override { text += 'R'; }
  void OnSelectionChanged(CRecordSource&) override { text += 'S'; }
  std::string text;
};

class LocationFileTest : public AppTest {
 protected:
  ~LocationFileTest() override {
    // Without closing the window: nothing asks about modified files.
    frame.reset();
    core.reset();
    FlushDeletes();
  }
  void Start() {
    core = MakeCore();
    frame = ShowMainFrame();
  }
  CFileFolder& Files() const { return core->GetRootFolder().GetFileFolder(); }
  CLocationFileNode* Node(std::size_t i) const { return Files().Find(GetChildren(Files()).at(i)); }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name)) << text;
    return Path(name);
  }
  std::string Path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }
  CRecordSource& Show(CLocationFileNode* node) {
    core->SetCurrentNode(node);
    return *core->GetCurrentView();
  }
  QStringList TreeFiles() const {
    QTreeWidgetItem* files = frame->GetFolderTree()->GetTree()->topLevelItem(0)->child(1);
    QStringList titles;
    for (int i = 0; i < files->childCount(); ++i) titles << files->child(i)->text(0);
    return titles;
  }
  std::string LastPrompt() const {
    return prompter.shown.empty() ? "" : prompter.shown.back().text;
  }

  CScriptedFileDialogs dialogs;
  QTemporaryDir dir;
  std::unique_ptr<CAppCore> core;
  std::unique_ptr<CMainFrame> frame;
};

TEST_F(LocationFileTest, OpeningStopsAtTheFirstFileThatCannotBeRead) {
  Start();
  // No 260-character limit on paths.
  const std::string deep(250, 'd');
  std::filesystem::create_directory(Path(deep));
  const std::string first = Write(deep + "/first.xml", PointsXml({"a", "b"}));
  const std::string broken = Write(deep + "/broken.xml", "<points><point>");
  const std::string third = Write(deep + "/third.xml", PointsXml({"c"}));
  dialogs.openAnswers.push_back({first, broken, third});
  frame->ExecuteCommand(ID_FILE_OPEN);

  EXPECT_EQ(dialogs.asked.at(0), "XML ファイル (*.xml)\n*.xml\nすべてのファイル (*.*)\n*.*\nxml");
  EXPECT_EQ(GetChildren(Files()).size(), 1u);
  EXPECT_EQ(Notes(Node(0)->Records()), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(TreeFiles(), QStringList{"first.xml"});
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].kind, EPromptKind::Error);
  EXPECT_EQ(LastPrompt(), "Loading XML File Failed: " + broken);
  // A wrong root and a point the reader refuses add nothing either.
  Write("wrong.xml", "<maps/>");
  Write("bad.xml", "<points><point><position><datum>foo</datum></position></point></points>");
  EXPECT_EQ(ThrownText([&] { Files().OpenFile(Path("wrong.xml")); }), "Invalid Root Element: maps");
  EXPECT_EQ(ThrownText([&] { Files().OpenFile(Path("bad.xml")); }), "Invalid Datum: foo");
  EXPECT_EQ(GetChildren(Files()).size(), 1u);
}

TEST_F(LocationFileTest, ANewFileIsSavedAsAndThenUnderItsName) {
  Start();
  core->SetCurrentNode(&Files());
  auto* pane = dynamic_cast<CFilePane*>(core->GetCurrentView());
  ASSERT_TRUE(pane && pane->GetForm());
  EXPECT_EQ(pane->GetForm()->GetOpenButton()->objectName(), QStringLiteral("1049"));
  pane->GetForm()->GetNewButton()->click();
  CLocationFileNode* node = Node(0);
  EXPECT_EQ(TreeFiles(), QStringList{"新規ファイル"});
  EXPECT_FALSE(frame->GetCommandAction(ID_FILE_SAVE)->isEnabled());
  Show(node);
  EXPECT_TRUE(frame->GetCommandAction(ID_FILE_SAVE)->isEnabled());

  // The first save asks for a path; a file without records is a "points"
  // document without points.
  dialogs.saveAnswers.push_back(Path("trip.xml"));
  frame->ExecuteCommand(ID_FILE_SAVE);
  EXPECT_EQ(node->GetTitle(), "trip.xml");
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("trip.xml - Quor Lumo Folvane"));
  EXPECT_EQ(TreeFiles(), QStringList{"trip.xml"});
  pugi::xml_document saved;
  ASSERT_TRUE(saved.load_file(Path("trip.xml").c_str()));
  EXPECT_STREQ(saved.document_element().name(), "points");
  EXPECT_FALSE(saved.document_element().first_child());
  // Then Save writes without a dialog.
  Insert(*core->GetCurrentView(), 0, {NoteRecord("added")});
  EXPECT_TRUE(node->IsModified());
  frame->ExecuteCommand(ID_FILE_SAVE);
  EXPECT_EQ(dialogs.asked.size(), 1u);
  EXPECT_FALSE(node->IsModified());
  EXPECT_EQ(NotesOnDisk(Path("trip.xml")), (std::vector<std::string>{"added"}));
  EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(LocationFileTest, ClosingAsksOnlyAboutChangesAndCancelKeepsTheFile) {
  Start();
  Files().OpenFile(Write("calm.xml", PointsXml({"a"})));
  Files().New();
  Show(Node(0));
  frame->ExecuteCommand(ID_FILE_CLOSE);
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_EQ(core->GetCurrentNode(), &core->GetRootFolder());

  // Cancel keeps it; Yes with the save dialog cancelled keeps it modified.
  CLocationFileNode* fresh = Node(0);
  Insert(Show(fresh), 0, {NoteRecord("new")});
  prompter.answers = {EPromptAnswer::Cancel, EPromptAnswer::Yes};
  frame->ExecuteCommand(ID_FILE_CLOSE);
  frame->ExecuteCommand(ID_FILE_CLOSE);
  ASSERT_EQ(prompter.shown.size(), 2u);
  EXPECT_EQ(prompter.shown[0].kind, EPromptKind::YesNoCancelWarning);
  EXPECT_EQ(prompter.shown[0].text, "新規ファイル への変更を保存しますか。\n");
  EXPECT_EQ(prompter.shown[0].owner, frame.get());
  EXPECT_EQ(dialogs.asked.size(), 1u);
  EXPECT_EQ(Node(0), fresh);
  EXPECT_TRUE(fresh->IsModified());

  // Closing the window asks every modified file; Cancel keeps it open.
  Files().OpenFile(Write("other.xml", PointsXml({"b"})));
  Remove(Show(Node(1)), {0});
  prompter.answers = {EPromptAnswer::No, EPromptAnswer::Cancel};
  frame->close();
  EXPECT_FALSE(frame->IsWindowDestroyed());
  EXPECT_EQ(LastPrompt(), "other.xml への変更を保存しますか。\n");
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
  CLocationFileNode* node = Node(0);
  Insert(Show(node), 1, {NoteRecord("pending")});

  ASSERT_EQ(::chmod(Path("locked").c_str(), 0555), 0);
  // Permissions do not stop root: a refused write stands in for them there.
  std::optional<CWriteHookScope> refuse;
  if (::geteuid() == 0)
    refuse.emplace([](std::size_t) { throw CWin32Exception(EACCES, "Permission denied"); });
  frame->ExecuteCommand(ID_FILE_SAVE);
  EXPECT_NE(LastPrompt().find("Permission denied"), std::string::npos);
  // Yes to the save question, and the save fails: the file stays open.
  prompter.answers = {EPromptAnswer::Yes};
  frame->ExecuteCommand(ID_FILE_CLOSE);
  EXPECT_EQ(prompter.shown.size(), 3u);
  EXPECT_EQ(Node(0), node);
  EXPECT_TRUE(node->IsModified());
  EXPECT_EQ(ReadWholeFile(path), before);

  refuse.reset();
  ASSERT_EQ(::chmod(Path("locked").c_str(), 0755), 0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Path("locked")), {}), 1);
  frame->ExecuteCommand(ID_FILE_SAVE);
  EXPECT_FALSE(node->IsModified());
  EXPECT_EQ(NotesOnDisk(path), (std::vector<std::string>{"kept", "pending"}));
}

TEST_F(LocationFileTest, SaveAsOverAnOpenFileReplacesItOnlyWhenComplete) {
  Start();
  Files().OpenFile(Write("mine.xml", PointsXml({"m1", "m2"})));
  Files().OpenFile(Write("theirs.xml", PointsXml({"t1"})));
  CLocationFileNode* mine = Node(0);
  // Enough records that the file is written in several pieces.
  Insert(Show(mine), 2, std::vector<CLocationRecord>(400, NoteRecord("bulk")));
  const std::string before = ReadWholeFile(Path("theirs.xml"));
  {
    int pieces = 0;
    CWriteHookScope full([&](std::size_t) {
      if (++pieces > 1) throw CWin32Exception(ENOSPC, "No space left");
    });
    dialogs.saveAnswers.push_back(Path("theirs.xml"));
    frame->ExecuteCommand(ID_FILE_SAVE_AS);
  }
  EXPECT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(ReadWholeFile(Path("theirs.xml")), before);
  EXPECT_EQ(mine->GetTitle(), "mine.xml");
  EXPECT_TRUE(mine->IsModified());

  // Chosen again, it is replaced without a question; the other node keeps
  // its records, which the file no longer holds, so it counts as modified.
  CLocationFileNode* theirs = Node(1);
  dialogs.saveAnswers.push_back(Path("theirs.xml"));
  frame->ExecuteCommand(ID_FILE_SAVE_AS);
  EXPECT_EQ(mine->GetTitle(), "theirs.xml");
  EXPECT_EQ(NotesOnDisk(Path("theirs.xml")).size(), 402u);
  EXPECT_EQ(NotesOnDisk(Path("mine.xml")).size(), 2u);
  EXPECT_TRUE(theirs->IsModified());
  // The last one saved wins, and the one it replaced asks when it closes.
  Show(theirs);
  frame->ExecuteCommand(ID_FILE_SAVE);
  EXPECT_EQ(NotesOnDisk(Path("theirs.xml")), (std::vector<std::string>{"t1"}));
  EXPECT_TRUE(mine->IsModified());
  prompter.answers = {EPromptAnswer::Cancel};
  Show(mine);
  frame->ExecuteCommand(ID_FILE_CLOSE);
  EXPECT_EQ(LastPrompt(), "theirs.xml への変更を保存しますか。\n");
  EXPECT_EQ(Node(0), mine);

  // The same file opened twice gives two nodes that do not share records;
  // a save through a link to it counts as the same file.
  Files().OpenFile(Path("theirs.xml"));
  CLocationFileNode* again = Node(2);
  Remove(Show(again), {0});
  EXPECT_EQ(again->Records().size(), 0u);
  EXPECT_EQ(theirs->Records().size(), 1u);
  std::filesystem::create_symlink(Path("theirs.xml"), Path("link.xml"));
  dialogs.saveAnswers.push_back(Path("link.xml"));
  frame->ExecuteCommand(ID_FILE_SAVE_AS);
  EXPECT_FALSE(again->IsModified());
  EXPECT_TRUE(theirs->IsModified());
  EXPECT_TRUE(NotesOnDisk(Path("theirs.xml")).empty());
}

TEST_F(LocationFileTest, InsertingAndRemovingKeepTheSelectionOnTheSameRecords) {
  core = MakeCore();
  Files().New();
  CLocationFileNode* node = Node(0);
  CHeard heard;
  std::unique_ptr<CRecordSource> owned = node->CreateView(&heard);
  CRecordSource& view = *owned;
  EXPECT_EQ(heard.text, "RS");  // a new view tells its records at once
  QWidget pane;
  view.CreateWindow(&pane);
  CRecordListDialog& list = *dynamic_cast<CLocationFileView&>(view).GetForm()->GetList();

  Insert(view, 0, {NoteRecord("0"), NoteRecord("1"), NoteRecord("2"), NoteRecord("3")});
  Select(view, {0, 3, 9});  // past the end names nothing
  heard.text.clear();
  Insert(view, 1, {NoteRecord("a"), NoteRecord("b")});
  EXPECT_EQ(heard.text, "RS");
  EXPECT_EQ(Notes(node->Records()), (std::vector<std::string>{"0", "a", "b", "1", "2", "3"}));
  EXPECT_EQ(Selection(view), (std::vector<int32_t>{0, 5}));
  EXPECT_EQ(list.GetSelection(), (std::set<int32_t>{0, 5}));

  // 4, 1, 4: the records at 4 and 1 go; a selected record above them stays
  // the selected one.
  Select(view, {1, 2, 5});
  Remove(view, {4, 1, 4});
  EXPECT_EQ(Notes(node->Records()), (std::vector<std::string>{"0", "b", "1", "3"}));
  EXPECT_EQ(Selection(view), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(Notes(list.GetRecords()), Notes(node->Records()));

  // Replacing tells only of the records.
  heard.text.clear();
  const int32_t at = 3;
  const CLocationRecord changed = NoteRecord("three");
  view.ReplaceRecords(MakeIntPtrIterator(&at), MakeIntPtrIterator(&at + 1),
                      MakeRecordPtrIterator(&changed));
  EXPECT_EQ(heard.text, "R");
  EXPECT_EQ(list.GetRecords()[3].note, "three");

  // An index that names no record changes nothing, not even the flag; an
  // edit that changes nothing still counts.
  node->Write(Path("sel.xml"));
  EXPECT_THROW(Remove(view, {1, 4}), std::out_of_range);
  EXPECT_THROW(Insert(view, 5, {NoteRecord("far")}), std::out_of_range);
  EXPECT_FALSE(node->IsModified());
  EXPECT_EQ(node->Records().size(), 4u);
  Insert(view, 0, {});
  EXPECT_TRUE(node->IsModified());
  owned.reset();
}

}  // namespace
