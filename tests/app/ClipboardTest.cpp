// The clipboard commands against the real clipboard of the offscreen
// platform: copy and copy as text, cut and paste on a file's view, a paste
// that fails part-way, the read-only day view, and a round trip through the
// program's own commands and files.
#include <QClipboard>
#include <QTest>
#include <QTreeWidget>

#include "app/ClipboardCommands.h"
#include "app/CommandIds.h"
#include "app/DatabaseFolder.h"
#include "app/FileFolder.h"
#include "app/FolderTree.h"
#include "app/LocalDay.h"
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

std::string Clipboard() { return QApplication::clipboard()->text().toStdString(); }
void SetClipboard(const std::string& text) {
  QApplication::clipboard()->setText(QString::fromStdString(text));
}

std::string PointsOf(const std::vector<CLocationRecord>& records, const char* root = "points") {
  std::string text = std::string("<") + root + ">";
  for (const CLocationRecord& record : records) text += RecordXml(record);
  return text + "</" + root + ">";
}

class ClipboardTest : public ActiveViewTest {
 protected:
  ~ClipboardTest() override { frame.reset(); }
  CClipboardCommands Commands() { return CClipboardCommands(*core); }

  std::unique_ptr<CMainFrame> frame;
};

TEST_F(ClipboardTest, CopyOfNothingPastesNothingYetCountsAsAnEdit) {
  CRecordSource& view = StartWithFile({NoteRecord("a"), NoteRecord("b")});
  Commands().Copy();
  EXPECT_EQ(Clipboard(), "<points />\n");
  const int changes = events.records;
  Commands().Paste();
  EXPECT_EQ(view.Count(), 2);
  EXPECT_EQ(events.records, changes + 1);
  EXPECT_TRUE(node->IsModified());
  // A file's view asks the map for a new record.
  Commands().NewRecord();
  EXPECT_EQ(events.newRecords, 1);
}

TEST_F(ClipboardTest, CutAndPasteMoveRecordsAroundTheSelection) {
  CRecordSource& view = StartWithFile(
      {NoteRecord("0"), NoteRecord("1"), NoteRecord("2"), NoteRecord("3"), NoteRecord("4")});
  Select(view, {3, 1});
  Commands().Cut();
  EXPECT_EQ(Notes(ReadPastedRecords(Clipboard())), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(Notes(node->Records()), (std::vector<std::string>{"0", "2", "4"}));
  EXPECT_TRUE(Selection(view).empty());

  // Before the first selected record, which moves up with the others.
  Select(view, {2, 1});
  Commands().Paste();
  EXPECT_EQ(Notes(node->Records()), (std::vector<std::string>{"0", "1", "3", "2", "4"}));
  EXPECT_EQ(Selection(view), (std::vector<int32_t>{3, 4}));
  // Any root will do; with nothing selected the records go to the end.
  CLocationRecord lines = NoteRecord("cr\r\nlf");
  SetClipboard(PointsOf({lines}, "anything"));
  Select(view, {});
  Commands().Paste();
  EXPECT_EQ(node->Records().back().note, "cr\r\nlf");  // line ends kept
  EXPECT_EQ(view.Count(), 6);
  // A reference to a character no file can hold ends nothing.
  std::string nul = PointsOf({NoteRecord("marker")});
  nul.replace(nul.find("marker"), 6, "a&#0;b");
  EXPECT_EQ(Notes(ReadPastedRecords(nul)),
            (std::vector<std::string>{std::string("a\xef\xbf\xbd") + "b"}));
}

TEST_F(ClipboardTest, APasteThatFailsInsertsNothing) {
  CRecordSource& view = StartWithFile({NoteRecord("a")});
  std::string text = PointsOf({NoteRecord("good"), NoteRecord("bad"), NoteRecord("late")});
  const std::string wgs = "<datum>wgs84</datum>";
  text.replace(text.find(wgs, text.find(wgs) + 1), wgs.size(), "<datum>foo</datum>");
  SetClipboard(text);
  EXPECT_EQ(ThrownText([&] { Commands().Paste(); }), "Invalid Datum: foo");
  SetClipboard("東京タワー,+35.65858,+139.74543");
  EXPECT_EQ(ThrownText([&] { Commands().Paste(); }), "invalid XML");
  SetClipboard("<points>loose text" + RecordXml(NoteRecord("p")) + "</points>");
  EXPECT_NE(ThrownText([&] { Commands().Paste(); }), "no exception");
  const std::string huge(kMaxPasteBytes + 1, ' ');
  EXPECT_EQ(ThrownText([&] { ReadPastedRecords(huge); }),
            "Clipboard Text Too Large: 67108865 bytes");
  EXPECT_EQ(Notes(node->Records()), (std::vector<std::string>{"a"}));
  EXPECT_FALSE(node->IsModified());
  // No text at all: nothing happens and nothing is said.
  QApplication::clipboard()->clear();
  Commands().Paste();
  EXPECT_EQ(view.Count(), 1);
}

TEST_F(ClipboardTest, CopyAsTextWritesOneLinePerRecord) {
  CLocationRecord high;
  high.position.datum = GetDatumByIndex(1);
  high.position.latitude = CAngle::FromDms(CDms{1, 35, 30, 36, 0});
  high.position.longitude = CAngle::FromDegrees(-0.5);
  high.position.altitude = 12.3;
  high.position.hasAltitude = true;
  CRecordSource& view = StartWithFile({NoteRecord("東京, 駅"), high});
  Select(view, {0, 1});
  Commands().CopyAsText();
  EXPECT_EQ(Clipboard(),
            "東京, 駅,+35.50000,+139.75000,-1.0,WGS-84,,\r\n"
            ",+35.51000,-0.50000,+12.30000,Tokyo_mean,,");
  Select(view, {});
  Commands().CopyAsText();
  EXPECT_EQ(Clipboard(), "");
}

TEST_F(ClipboardTest, TheReadOnlyDayViewOnlyCopies) {
  core = MakeCore();
  core->AddListener(&events);
  const int32_t today = TodayLocalMidnight();
  const std::vector<CLocationRecord> records{TestRecordAt(today + 60, "morning")};
  const CRecordVectorCollection collection(records);
  CAddRecordsOperation adding(collection);
  core->GetRootFolder().GetDatabaseFolder().RunQuery(adding);
  core->SetCurrentNode(&core->GetRootFolder().GetDatabaseFolder());
  CRecordSource& day = *core->GetCurrentView();
  Select(day, {0});

  const std::string pasteable = PointsOf({NoteRecord("pasted")});
  SetClipboard(pasteable);
  Commands().Cut();
  Commands().Paste();
  Commands().Delete();
  Commands().NewRecord();
  EXPECT_EQ(Clipboard(), pasteable);
  EXPECT_EQ(day.Count(), 1);
  EXPECT_EQ(events.newRecords, 0);
  EXPECT_TRUE(prompter.shown.empty());
  Commands().Copy();
  EXPECT_EQ(Notes(ReadPastedRecords(Clipboard())), (std::vector<std::string>{"morning"}));
  Commands().CopyAsText();
  EXPECT_EQ(Clipboard().rfind("morning,", 0), 0u);
}

TEST_F(ClipboardTest, ARoundTripThroughTheProgramKeepsEveryRecord) {
  std::vector<CLocationRecord> original;
  for (int i = 0; i < 6; ++i) {
    CLocationRecord record = NoteRecord("記録 \"" + std::to_string(i) + "\" <&>");
    record.position.datum = GetDatumByIndex(i % 3);
    if (i % 2 == 0) record.position.latitude = CAngle::FromDms(CDms{1 - i % 4, 35, 41, 22, 8});
    if (i % 3 != 0) record.position.altitude = 12.5 * i;
    record.position.hasAltitude = i % 3 != 0;
    record.position.verticalError = 7.25;
    record.position.hasVerticalError = i == 4;
    record.time = CZonedTime(1083406830 + 3600 * i, (i - 3) * 3600);
    record.hasTime = i != 2;
    record.hasNote = i != 1;
    original.push_back(record);
  }
  const std::string path = dir.path().toStdString() + "/trip.xml";
  {
    CLocationFile file(path, XmlOpenMode::kCreateNow);
    for (const CLocationRecord& record : original) AppendToDocumentElement(file, record);
    file.SaveIfModified();
  }
  CScriptedFileDialogs dialogs;
  dialogs.openAnswers = {{path}, {path}};
  core = MakeCore();
  frame = std::make_unique<CMainFrame>();
  frame->Create();
  frame->ExecuteCommand(ID_FILE_OPEN);
  QTreeWidget* tree = frame->GetFolderTree()->GetTree();
  tree->setCurrentItem(tree->topLevelItem(0)->child(1)->child(0));
  CRecordSource& view = *core->GetCurrentView();

  // Cut 1 and 4 and paste them before 0; copy 2 to the end; delete the first.
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
  frame->ExecuteCommand(ID_FILE_SAVE);
  frame->ExecuteCommand(ID_FILE_CLOSE);
  frame->ExecuteCommand(ID_FILE_OPEN);
  EXPECT_TRUE(prompter.shown.empty());

  const std::vector<CLocationRecord>& reopened =
      core->GetRootFolder()
          .GetFileFolder()
          .Find(GetChildren(core->GetRootFolder().GetFileFolder()).at(0))
          ->Records();
  ASSERT_EQ(reopened.size(), 6u);
  const int expected[] = {4, 0, 2, 3, 5, 2};
  for (std::size_t i = 0; i < 6; ++i)
    EXPECT_EQ(RecordXml(reopened[i]), RecordXml(original[expected[i]])) << i;
}

}  // namespace
