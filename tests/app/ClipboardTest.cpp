// The clipboard commands against the real clipboard of the offscreen
// platform: what copy and copy as text put there, cut and paste on a file's
// view, a paste that fails part-way, the read-only day view, and a round trip
// through the program's own commands and files.
#include <QClipboard>
#include <QTest>
#include <QTreeWidget>
#include <fstream>

#include "app/ClipboardCommands.h"
#include "app/CommandIds.h"
#include "app/DatabaseFolder.h"
#include "app/FileFolder.h"
#include "app/FolderTree.h"
#include "app/LocalDay.h"
#include "app/LocationFileView.h"
#include "app/MainFrame.h"
#include "app/RecordClipboardText.h"
#include "location/IteratorAdaptors.h"
#include "location/LocationDatabase.h"
#include "location/LocationFile.h"
#include "location/PointXml.h"
#include "location/RecordCollection.h"
#include "tests/app/AppTestSupport.h"
#include "tests/location/FileTestSupport.h"

namespace {

CLocationRecord NoteRecord(const std::string& note, double latitude = 35.5,
                           double longitude = 139.75) {
  CLocationRecord record;
  record.position = CPosition({latitude, longitude});
  record.SetNote(note);
  return record;
}

std::vector<std::string> Notes(const std::vector<CLocationRecord>& records) {
  std::vector<std::string> notes;
  for (const CLocationRecord& record : records) notes.push_back(record.note);
  return notes;
}

std::string ClipboardText() { return QApplication::clipboard()->text().toStdString(); }
void SetClipboardText(const std::string& text) {
  QApplication::clipboard()->setText(QString::fromStdString(text));
}

std::string PointsOf(const std::vector<CLocationRecord>& records, const char* root = "points") {
  pugi::xml_document document;
  pugi::xml_node parent = document.append_child(root);
  for (const CLocationRecord& record : records) WritePointXml(parent, record);
  return SerializeXmlDocument(document);
}

void Select(CRecordSource& view, std::vector<int32_t> indices) {
  view.SetSelection(MakeIntPtrIterator(indices.data()),
                    MakeIntPtrIterator(indices.data() + indices.size()));
}

std::vector<int32_t> Selection(CRecordSource& view) {
  std::vector<int32_t> selection;
  view.GetSelection(MakeIntBackInserter(selection));
  return selection;
}

class CEventCounter : public CAppEventListener {
 public:
  void OnNewRecord() override { ++newRecords; }
  void OnRecordsChanged() override { ++recordsChanged; }
  int newRecords = 0;
  int recordsChanged = 0;
};

class ClipboardTest : public AppTest {
 protected:
  ~ClipboardTest() override {
    if (core) core->RemoveListener(&events);
    frame.reset();
    core.reset();
    FlushDeletes();
  }

  // A core whose current node is a new file holding the records.
  CLocationFileView& StartWithFile(const std::vector<CLocationRecord>& records) {
    core = MakeCore();
    core->AddListener(&events);
    CFileFolder& files = core->GetRootFolder().GetFileFolder();
    files.New();
    node = files.Find(GetChildren(files).back());
    core->SetCurrentNode(node);
    auto& view = dynamic_cast<CLocationFileView&>(*core->GetCurrentView());
    view.InsertRecords(0, MakeRecordPtrIterator(records.data()),
                       MakeRecordPtrIterator(records.data() + records.size()));
    node->Write(folder.path().toStdString() + "/start.xml");
    return view;
  }
  CClipboardCommands Commands() { return CClipboardCommands(*core); }

  CEventCounter events;
  QTemporaryDir folder;
  std::unique_ptr<CAppCore> core;
  std::unique_ptr<CMainFrame> frame;
  CLocationFileNode* node = nullptr;
};

TEST_F(ClipboardTest, CopyOfNothingPastesNothingYetCountsAsAnEdit) {
  CLocationFileView& view = StartWithFile({NoteRecord("a"), NoteRecord("b")});
  Commands().Copy();
  EXPECT_EQ(ClipboardText(), "<points />\n");
  const int changes = events.recordsChanged;
  Commands().Paste();
  EXPECT_EQ(view.Count(), 2);
  EXPECT_EQ(events.recordsChanged, changes + 1);
  EXPECT_TRUE(node->IsModified());
  // A file's view asks the map for a new record.
  Commands().NewRecord();
  EXPECT_EQ(events.newRecords, 1);
}

TEST_F(ClipboardTest, CutTakesTheSelectedRecordsInIndexOrder) {
  CLocationFileView& view =
      StartWithFile({NoteRecord("a"), NoteRecord("b"), NoteRecord("c"), NoteRecord("d")});
  Select(view, {3, 1});
  Commands().Cut();
  EXPECT_EQ(Notes(ReadPastedRecords(ClipboardText())), (std::vector<std::string>{"b", "d"}));
  EXPECT_EQ(Notes(node->Records()), (std::vector<std::string>{"a", "c"}));
  EXPECT_TRUE(Selection(view).empty());
  EXPECT_TRUE(node->IsModified());
}

TEST_F(ClipboardTest, PasteGoesBeforeTheFirstSelectedRecordOrAtTheEnd) {
  CLocationFileView& view = StartWithFile({NoteRecord("0"), NoteRecord("1"), NoteRecord("2"),
                                           NoteRecord("3"), NoteRecord("4"), NoteRecord("5")});
  SetClipboardText(PointsOf({NoteRecord("x"), NoteRecord("y")}));
  Select(view, {2, 5});
  Commands().Paste();
  EXPECT_EQ(Notes(node->Records()),
            (std::vector<std::string>{"0", "1", "x", "y", "2", "3", "4", "5"}));
  EXPECT_EQ(Selection(view), (std::vector<int32_t>{4, 7}));

  // Any root will do, as long as each child is a point.
  SetClipboardText(PointsOf({NoteRecord("z")}, "anything"));
  Select(view, {});
  Commands().Paste();
  EXPECT_EQ(node->Records().back().note, "z");
  EXPECT_EQ(view.Count(), 9);

  // A note with line ends comes back as it went.
  CLocationRecord lines = NoteRecord("cr\r\nlf\nend");
  view.InsertRecords(0, MakeRecordPtrIterator(&lines), MakeRecordPtrIterator(&lines + 1));
  Select(view, {0});
  Commands().Copy();
  Select(view, {});
  Commands().Paste();
  EXPECT_EQ(node->Records().back().note, "cr\r\nlf\nend");
}

TEST_F(ClipboardTest, APasteThatFailsInsertsNothing) {
  CLocationFileView& view = StartWithFile({NoteRecord("a")});
  std::string text = PointsOf({NoteRecord("good"), NoteRecord("bad"), NoteRecord("late")});
  const std::string wgs = "<datum>wgs84</datum>";
  text.replace(text.find(wgs, text.find(wgs) + 1), wgs.size(), "<datum>foo</datum>");
  SetClipboardText(text);
  EXPECT_EQ(ThrownText([&] { Commands().Paste(); }), "Invalid Datum: foo");
  SetClipboardText("東京タワー,+35.65858,+139.74543");
  EXPECT_EQ(ThrownText([&] { Commands().Paste(); }), "invalid XML");
  // Text between points is not a point either.
  std::string loose = PointsOf({NoteRecord("p")});
  loose.insert(loose.find('>') + 1, "loose text");
  SetClipboardText(loose);
  EXPECT_NE(ThrownText([&] { Commands().Paste(); }), "no exception");
  EXPECT_EQ(Notes(node->Records()), (std::vector<std::string>{"a"}));
  EXPECT_FALSE(node->IsModified());

  // Nothing larger than the bound is read.
  EXPECT_NO_THROW(CheckPasteSize(kMaxPasteBytes));
  const std::string huge(kMaxPasteBytes + 1, ' ');
  EXPECT_EQ(ThrownText([&] { ReadPastedRecords(huge); }),
            "Clipboard Text Too Large: 67108865 bytes");
  // No text on the clipboard: nothing happens and nothing is said.
  QApplication::clipboard()->clear();
  Commands().Paste();
  EXPECT_EQ(view.Count(), 1);
  EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(ClipboardTest, CopyAsTextWritesOneLinePerRecord) {
  CLocationFileView& view = StartWithFile({});
  CLocationRecord plain = NoteRecord("東京, 駅", -35.5, 139.75);
  CLocationRecord high;
  high.position.datum = GetDatumByIndex(1);
  high.position.latitude = CAngle::FromDms(CDms{1, 35, 30, 36, 0});
  high.position.longitude = CAngle::FromDegrees(-0.5);
  high.position.altitude = 12.3;
  high.position.hasAltitude = true;
  const std::vector<CLocationRecord> records{plain, high};
  view.InsertRecords(0, MakeRecordPtrIterator(records.data()),
                     MakeRecordPtrIterator(records.data() + 2));

  Select(view, {0});
  Commands().CopyAsText();
  EXPECT_EQ(ClipboardText(), "東京, 駅,-35.50000,+139.75000,-1.0,WGS-84,,");
  Select(view, {1});
  Commands().CopyAsText();
  EXPECT_EQ(ClipboardText(), ",+35.51000,-0.50000,+12.30000,Tokyo_mean,,");
  Select(view, {0, 1});
  Commands().CopyAsText();
  EXPECT_EQ(ClipboardText(),
            "東京, 駅,-35.50000,+139.75000,-1.0,WGS-84,,\r\n"
            ",+35.51000,-0.50000,+12.30000,Tokyo_mean,,");
  Select(view, {});
  Commands().CopyAsText();
  EXPECT_EQ(ClipboardText(), "");
}

TEST_F(ClipboardTest, TheReadOnlyDayViewOnlyCopies) {
  core = MakeCore();
  core->AddListener(&events);
  const int32_t today = TodayLocalMidnight();
  const std::vector<CLocationRecord> records{TestRecordAt(today + 60, "morning"),
                                             TestRecordAt(today + 3600, "noon")};
  const CRecordVectorCollection collection(records);
  CAddRecordsOperation adding(collection);
  CDatabaseFolder& database = core->GetRootFolder().GetDatabaseFolder();
  database.RunQuery(adding);
  core->SetCurrentNode(&database);
  CRecordSource& day = *core->GetCurrentView();
  ASSERT_EQ(day.Count(), 2);
  Select(day, {0, 1});

  const std::string pasteable = PointsOf({NoteRecord("pasted")});
  SetClipboardText(pasteable);
  Commands().Cut();
  Commands().Paste();
  Commands().Delete();
  Commands().NewRecord();
  EXPECT_EQ(ClipboardText(), pasteable);
  EXPECT_EQ(day.Count(), 2);
  EXPECT_EQ(events.newRecords, 0);
  EXPECT_TRUE(prompter.shown.empty());

  Commands().Copy();
  EXPECT_EQ(Notes(ReadPastedRecords(ClipboardText())),
            (std::vector<std::string>{"morning", "noon"}));
  Commands().CopyAsText();
  EXPECT_EQ(ClipboardText().find("morning,"), 0u);
}

CLocationRecord VariedRecord(int i) {
  CLocationRecord record;
  record.position.datum = GetDatumByIndex(i % 3);
  // Values that their written forms give back exactly.
  static const double longitudes[] = {139.76543, 138.5, -0.25, 0.00001, 179.99999, -180.0};
  if (i % 2 == 0) {
    record.position.latitude = CAngle::FromDms(CDms{i % 4 == 0 ? 1 : -1, 35, 41, 22, 8});
  } else {
    record.position.latitude = CAngle::FromDegrees(-10.25 - i);
  }
  record.position.longitude = CAngle::FromDegrees(longitudes[i]);
  if (i % 3 != 0) {
    record.position.altitude = 12.5 * i;
    record.position.hasAltitude = true;
  }
  if (i == 4) {
    record.position.fixMode = "3D <dgps> & co";
    record.position.hasFixMode = true;
    record.position.verticalError = 7.25;
    record.position.hasVerticalError = true;
  }
  if (i != 2) {
    record.time = CZonedTime(1083406830 + 3600 * i, (i - 3) * 3600);
    record.hasTime = true;
  }
  if (i != 1) record.SetNote("記録 " + std::to_string(i) + " \"quoted\" <&>");
  return record;
}

TEST_F(ClipboardTest, ARoundTripThroughTheProgramKeepsEveryRecord) {
  CScriptedFileDialogs dialogs;
  std::vector<CLocationRecord> original;
  for (int i = 0; i < 6; ++i) original.push_back(VariedRecord(i));
  const std::string path = folder.path().toStdString() + "/trip.xml";
  {
    CLocationFile file(path, XmlOpenMode::kCreateNow);
    for (const CLocationRecord& record : original) AppendToDocumentElement(file, record);
    file.SaveIfModified();
  }

  core = MakeCore();
  frame = std::make_unique<CMainFrame>();
  frame->Create();
  frame->show();
  QApplication::setActiveWindow(frame.get());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
  dialogs.openAnswers.push_back({path});
  frame->ExecuteCommand(ID_FILE_OPEN);
  QTreeWidget* tree = frame->GetFolderTree()->GetTree();
  tree->setCurrentItem(tree->topLevelItem(0)->child(1)->child(0));
  CRecordSource& view = *core->GetCurrentView();
  ASSERT_EQ(view.Count(), 6);

  // Cut 1 and 4, paste them before 0; copy 2 and paste it at the end.
  Select(view, {1, 4});
  frame->ExecuteCommand(ID_EDIT_CUT);
  Select(view, {0});
  frame->ExecuteCommand(ID_EDIT_PASTE);
  Select(view, {3});
  frame->ExecuteCommand(ID_EDIT_COPY);
  Select(view, {});
  frame->ExecuteCommand(ID_EDIT_PASTE);
  Select(view, {0});
  frame->ExecuteCommand(ID_EDIT_DELETE);
  EXPECT_TRUE(prompter.shown.empty());
  const std::vector<CLocationRecord> expected{original[4], original[0], original[2],
                                              original[3], original[5], original[2]};

  frame->ExecuteCommand(ID_FILE_SAVE);
  frame->ExecuteCommand(ID_FILE_CLOSE);
  EXPECT_TRUE(prompter.shown.empty());
  EXPECT_TRUE(GetChildren(core->GetRootFolder().GetFileFolder()).empty());
  dialogs.openAnswers.push_back({path});
  frame->ExecuteCommand(ID_FILE_OPEN);
  CLocationFileNode* reopened = core->GetRootFolder().GetFileFolder().Find(
      GetChildren(core->GetRootFolder().GetFileFolder())[0]);
  ASSERT_NE(reopened, nullptr);
  ASSERT_EQ(reopened->Records().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectSameRecord(reopened->Records()[i], expected[i]);
  }
}

}  // namespace
