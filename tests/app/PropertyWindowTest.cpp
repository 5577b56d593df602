// The property window over a file's view and a day of the database: what it
// shows for none, one and two selected records, field commits by leaving an
// edit, refused texts, a read-only source, the time and its own zone in every
// machine zone, the datum combo, typed text that must reach its record, and
// its place.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

#include "app/CommandIds.h"
#include "app/ConversionDialogs.h"
#include "app/FileFolder.h"
#include "app/LocalDay.h"
#include "app/LocationFileView.h"
#include "app/MainFrame.h"
#include "app/PropertyWindow.h"
#include "app/RecordListForm.h"
#include "app/RunGuarded.h"
#include "location/CoordinateText.h"
#include "location/IteratorAdaptors.h"
#include "location/TimeText.h"
#include "tests/app/AppTestSupport.h"
#include "tests/location/TimeZoneGuard.h"

namespace {

constexpr const char* kTokyo = "JST-9";
constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";

// Every field present.
CLocationRecord FullRecord() {
  CLocationRecord record = NoteRecord("zero");
  record.time = ParsePointTime("2000-01-01T00:00:00+09:00");
  record.hasTime = true;
  CPosition& position = record.position;
  position.altitude = 12.5;
  position.hasAltitude = true;
  position.fixMode = "gps";
  position.hasFixMode = true;
  position.semiMajorAxisError = 3;
  position.hasSemiMajorAxisError = true;
  position.semiMinorAxisError = 2;
  position.hasSemiMinorAxisError = true;
  position.verticalError = 4;
  position.hasVerticalError = true;
  position.majorAxisAngle = 45;
  position.hasMajorAxisAngle = true;
  return record;
}

class PropertyWindowTest : public ActiveViewTest {
 protected:
  ~PropertyWindowTest() override {
    delete window.data();
    frame.reset();
  }
  CPropertyWindow& Open() {
    window = new CPropertyWindow(*core, nullptr);
    window->show();
    QApplication::setActiveWindow(window);
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    return *window;
  }
  QLineEdit* Line(int id) const { return qobject_cast<QLineEdit*>(window->GetControl(id)); }
  QPlainTextEdit* Note() const {
    return qobject_cast<QPlainTextEdit*>(window->GetControl(IDC_PROPERTY_NOTE));
  }
  QCheckBox* HasTime() const {
    return qobject_cast<QCheckBox*>(window->GetControl(IDC_PROPERTY_HAS_TIME));
  }
  CDatePicker* Date() const { return static_cast<CDatePicker*>(window->GetControl(IDC_PROPERTY_DATE)); }
  CTimePicker* Time() const { return static_cast<CTimePicker*>(window->GetControl(IDC_PROPERTY_TIME)); }
  QComboBox* Datum() const { return qobject_cast<QComboBox*>(window->GetControl(IDC_PROPERTY_DATUM)); }
  QString Text(int id) const {
    return id == IDC_PROPERTY_NOTE ? Note()->toPlainText() : Line(id)->text();
  }
  // Replaces the edit's text as the user does, without leaving it.
  void Type(int id, const QString& text) {
    QWidget* edit = window->GetControl(id);
    edit->setFocus(Qt::MouseFocusReason);
    if (id == IDC_PROPERTY_NOTE) {
      Note()->selectAll();
    } else {
      Line(id)->selectAll();
    }
    QTest::keyClick(edit, Qt::Key_Delete);
    if (!text.isEmpty()) QTest::keyClicks(edit, text);
  }
  // Types, then leaves the edit for the next control.
  void Enter(int id, const QString& text) {
    Type(id, text);
    QTest::keyClick(window->GetControl(id), Qt::Key_Tab);
  }
  const CLocationRecord& Stored(std::size_t index) const { return node->Records().at(index); }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> texts;
    for (const CPromptRecord& shown : prompter.shown) texts.push_back(shown.text);
    return texts;
  }

  std::unique_ptr<CMainFrame> frame;
  QPointer<CPropertyWindow> window;
};

TEST_F(PropertyWindowTest, NoneOrTwoSelectedDisableAndEmptyEverythingAndOneShowsItAgain) {
  const TimeZoneGuard zone(kTokyo);
  CRecordSource& view = StartWithFile({FullRecord(), NoteRecord("one")});
  Select(view, {0});
  Open();
  const auto showsTheFullRecord = [&] {
    for (QWidget* control : window->GetValueControls()) EXPECT_TRUE(control->isEnabled());
    EXPECT_TRUE(HasTime()->isChecked());
    EXPECT_EQ(Date()->date(), QDate(2000, 1, 1));
    EXPECT_EQ(Time()->time(), QTime(0, 0, 0));
    EXPECT_FALSE(Date()->HasNoValue());
    EXPECT_EQ(Text(IDC_PROPERTY_ZONE), QStringLiteral("+09:00:00"));
    EXPECT_EQ(Text(IDC_PROPERTY_LATITUDE), QStringLiteral("+35.50000"));
    EXPECT_EQ(Text(IDC_PROPERTY_LONGITUDE), QStringLiteral("+139.75000"));
    EXPECT_EQ(Text(IDC_PROPERTY_ALTITUDE), QStringLiteral("12.5"));
    EXPECT_EQ(Datum()->currentText(), QStringLiteral("WGS-84"));
    EXPECT_EQ(Text(IDC_PROPERTY_FIX_MODE), QStringLiteral("gps"));
    EXPECT_EQ(Text(IDC_PROPERTY_SEMI_MAJOR), QStringLiteral("3"));
    EXPECT_EQ(Text(IDC_PROPERTY_MAJOR_AXIS_ANGLE), QStringLiteral("45"));
    EXPECT_EQ(Text(IDC_PROPERTY_NOTE), QStringLiteral("zero"));
  };
  showsTheFullRecord();
  for (std::vector<int32_t> selection : {std::vector<int32_t>{}, std::vector<int32_t>{0, 1}}) {
    Select(view, selection);
    for (QWidget* control : window->GetValueControls()) EXPECT_FALSE(control->isEnabled());
    EXPECT_FALSE(HasTime()->isChecked());
    EXPECT_TRUE(Date()->HasNoValue());
    EXPECT_TRUE(Time()->HasNoValue());
    EXPECT_EQ(Date()->text(), QString());
    EXPECT_EQ(Datum()->currentIndex(), -1);
    for (int id : kPropertyEdits) EXPECT_EQ(Text(id), QString()) << id;
    EXPECT_TRUE(window->GetControl(IDC_PROPERTY_OPERATIONS)->isEnabled());
  }
  Select(view, {0});
  showsTheFullRecord();
  // A record without a time or fields leaves the pickers and the zone as they were.
  Select(view, {1});
  EXPECT_FALSE(HasTime()->isChecked());
  EXPECT_EQ(Date()->date(), QDate(2000, 1, 1));
  EXPECT_EQ(Text(IDC_PROPERTY_ZONE), QStringLiteral("+09:00:00"));
  EXPECT_EQ(Text(IDC_PROPERTY_ALTITUDE), QString());
  EXPECT_EQ(Text(IDC_PROPERTY_NOTE), QStringLiteral("one"));
  EXPECT_EQ(events.records, 0);
  EXPECT_FALSE(node->IsModified());
}

TEST_F(PropertyWindowTest, ADayOfTheDatabaseIsShownReadOnlyAndItsOperationsChangeNothing) {
  CLocationRecord record = FullRecord();
  record.time = CZonedTime(TodayLocalMidnight() + 60, 32400);
  Select(StartWithDay({record}), {0});
  Open();
  EXPECT_EQ(Text(IDC_PROPERTY_LATITUDE), QStringLiteral("+35.50000"));
  EXPECT_EQ(Text(IDC_PROPERTY_NOTE), QStringLiteral("zero"));
  for (int id : {IDC_PROPERTY_HAS_TIME, IDC_PROPERTY_DATE, IDC_PROPERTY_TIME, IDC_PROPERTY_DATUM})
    EXPECT_FALSE(window->GetControl(id)->isEnabled()) << id;
  for (int id : kPropertyEdits) {
    EXPECT_TRUE(window->GetControl(id)->isEnabled()) << id;
    if (id != IDC_PROPERTY_NOTE) {
      EXPECT_TRUE(Line(id)->isReadOnly()) << id;
    }
  }
  EXPECT_TRUE(Note()->isReadOnly());
  Enter(IDC_PROPERTY_LATITUDE, QStringLiteral("10"));
  EXPECT_EQ(Text(IDC_PROPERTY_LATITUDE), QStringLiteral("+35.50000"));
  EXPECT_TRUE(prompter.shown.empty());

  // The operations stay offered; their dialogs learn of the source as they
  // write, in a box over the window.
  EXPECT_TRUE(window->GetControl(IDC_PROPERTY_OPERATIONS)->isEnabled());
  std::unique_ptr<QMenu> menu(window->CreateOperationsMenu(window));
  ASSERT_EQ(menu->actions().size(), 2);
  for (QAction* operation : menu->actions()) {
    QApplication::setActiveWindow(window);
    AnswerNextModalDialog([&](QDialog& dialog) {
      EXPECT_EQ(dialog.parentWidget(), window.data());
      if (auto* datums = dynamic_cast<CDatumDialog*>(&dialog)) datums->GetCombo()->setCurrentIndex(2);
      if (auto* units = dynamic_cast<CUnitDialog*>(&dialog)) units->GetDmsButton()->setChecked(true);
      dialog.accept();
    });
    RunGuarded(window, [&] { window->RunOperation(operation->data().toUInt()); });
  }
  ASSERT_EQ(Boxes(), (std::vector<std::string>{"readonly", "readonly"}));
  for (const CPromptRecord& shown : prompter.shown) EXPECT_EQ(shown.owner, window.data());
  std::vector<CLocationRecord> stored;
  core->GetCurrentView()->EnumerateAll(MakeRecordBackInserter(stored));
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(RecordXml(stored[0]), RecordXml(record));
}

TEST_F(PropertyWindowTest, NumberFieldsSetAndClearTheirFlagsAndRefuseTextThatIsNoNumber) {
  CRecordSource& view = StartWithFile({FullRecord()});
  Select(view, {0});
  Open();
  Enter(IDC_PROPERTY_SEMI_MAJOR, QStringLiteral("-1.5"));
  EXPECT_TRUE(Stored(0).position.hasSemiMajorAxisError);
  EXPECT_EQ(Stored(0).position.semiMajorAxisError, -1.5);
  EXPECT_EQ(Text(IDC_PROPERTY_SEMI_MAJOR), QStringLiteral("-1.5"));
  Enter(IDC_PROPERTY_SEMI_MAJOR, QString());
  EXPECT_FALSE(Stored(0).position.hasSemiMajorAxisError);
  // The number at the start counts; what follows it does not.
  Enter(IDC_PROPERTY_ALTITUDE, QStringLiteral(" 7.25m"));
  EXPECT_EQ(Stored(0).position.altitude, 7.25);
  EXPECT_EQ(Text(IDC_PROPERTY_ALTITUDE), QStringLiteral("7.25"));

  // No number, or one no double holds: refused, the record unchanged.
  const std::string before = RecordXml(Stored(0));
  for (const char* text : {"abc", "nan", "1e999"}) {
    prompter.shown.clear();
    Enter(IDC_PROPERTY_VERTICAL, QString::fromUtf8(text));
    EXPECT_EQ(Boxes(), std::vector<std::string>{std::string("Invalid Number: ") + text});
    EXPECT_EQ(prompter.shown.front().owner, window.data());
    EXPECT_EQ(RecordXml(Stored(0)), before);
    // The refused text stays in the edit; leaving it again tries nothing.
    EXPECT_EQ(Text(IDC_PROPERTY_VERTICAL), QString::fromUtf8(text));
    window->CommitField(IDC_PROPERTY_VERTICAL);
    EXPECT_EQ(prompter.shown.size(), 1u);
  }
  prompter.shown.clear();
  Enter(IDC_PROPERTY_LATITUDE, QStringLiteral("1e999"));
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Invalid Number: 1e999"});
  EXPECT_EQ(RecordXml(Stored(0)), before);
}

TEST_F(PropertyWindowTest, AnglesTakeDegreesMinutesSecondsAndTextsKeepWhatAFileHolds) {
  CRecordSource& view = StartWithFile({FullRecord()});
  Select(view, {0});
  Open();
  Enter(IDC_PROPERTY_LATITUDE, QStringLiteral("+35,30,00.00"));
  EXPECT_EQ(Stored(0).position.latitude.unit, kAngleUnitDms);
  EXPECT_EQ(FormatDmsText(Stored(0).position.latitude.dms), "+35,30,00.00");
  EXPECT_EQ(Text(IDC_PROPERTY_LATITUDE), QStringLiteral("+35,30,00.00"));
  const std::string before = RecordXml(Stored(0));
  Enter(IDC_PROPERTY_LATITUDE, QStringLiteral("35,61,00"));
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].text.rfind("Invalid DMS Range: ", 0), 0u) << prompter.shown[0].text;
  EXPECT_EQ(RecordXml(Stored(0)), before);
  // A typed note keeps only what a location file can hold.
  Note()->setFocus();
  Note()->setPlainText(QStringLiteral("a\u0001b"));
  QTest::keyClick(Note(), Qt::Key_Tab);
  EXPECT_EQ(Stored(0).note, "a\xEF\xBF\xBD" "b");
  // Decimal degrees are shown in their normal form once written.
  Enter(IDC_PROPERTY_LONGITUDE, QStringLiteral("139.5"));
  EXPECT_EQ(Text(IDC_PROPERTY_LONGITUDE), QStringLiteral("+139.50000"));
  EXPECT_EQ(Stored(0).position.longitude.degrees, 139.5);
}

TEST_F(PropertyWindowTest, TheCheckBoxRemovesTheTimeAndWritesThePickersTimeInTheZoneOfTheOffset) {
  const TimeZoneGuard zone(kTokyo);
  CRecordSource& view = StartWithFile({FullRecord()});
  Select(view, {0});
  Open();
  HasTime()->click();
  EXPECT_FALSE(Stored(0).hasTime);
  EXPECT_FALSE(HasTime()->isChecked());

  Date()->setDate(QDate(2004, 5, 1));
  Time()->setTime(QTime(10, 20, 30));
  Type(IDC_PROPERTY_ZONE, QStringLiteral("-05:30:00"));
  HasTime()->click();
  EXPECT_TRUE(Stored(0).hasTime);
  EXPECT_EQ(Stored(0).time, ParsePointTime("2004-05-01T10:20:30-05:30"));
  EXPECT_EQ(window->GetPendingEdit(), 0);

  // An empty offset is the machine's zone; a changed picker writes at once.
  Enter(IDC_PROPERTY_ZONE, QString());
  EXPECT_EQ(Stored(0).time, ParsePointTime("2004-05-01T10:20:30+09:00"));
  EXPECT_EQ(Text(IDC_PROPERTY_ZONE), QStringLiteral("+09:00:00"));
  Time()->setFocus();
  QTest::keyClick(Time(), Qt::Key_Up);  // the hour section
  EXPECT_EQ(Stored(0).time, ParsePointTime("2004-05-01T11:20:30+09:00"));

  // A bad offset is refused with the time unchanged.
  Enter(IDC_PROPERTY_ZONE, QStringLiteral("09:00"));
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Invalid Offset: 09:00"});
  EXPECT_EQ(Stored(0).time, ParsePointTime("2004-05-01T11:20:30+09:00"));
}

TEST_F(PropertyWindowTest, ATimeShowsItsOwnWallClockInEveryMachineZoneAndWritesBackUnchanged) {
  struct {
    const char* text;
    QDate date;
    QTime time;
  } const cases[] = {
      {"2000-01-01T00:00:00+09:00", QDate(2000, 1, 1), QTime(0, 0)},
      // Summer, where the machine's daylight saving used to shift it by an hour.
      {"2000-07-01T00:00:00+09:00", QDate(2000, 7, 1), QTime(0, 0)},
      // A wall time that New York's clocks skipped that night.
      {"2000-04-02T02:30:00-05:00", QDate(2000, 4, 2), QTime(2, 30)},
  };
  for (const char* machine : {kTokyo, kNewYork}) {
    for (const auto& expected : cases) {
      SCOPED_TRACE(std::string(machine) + " " + expected.text);
      const TimeZoneGuard zone(machine);
      CLocationRecord record = FullRecord();
      record.time = ParsePointTime(expected.text);
      CRecordSource& view = StartWithFile({record});
      Select(view, {0});
      Open();
      EXPECT_EQ(Date()->date(), expected.date);
      EXPECT_EQ(Time()->time(), expected.time);
      EXPECT_EQ(Text(IDC_PROPERTY_ZONE).toStdString(), FormatZoneOffset(record.time.offset));
      window->CommitTime();
      EXPECT_EQ(Stored(0).time, record.time);
      delete window.data();
      core.reset();
      ReleaseRootFolder();
    }
  }
}

TEST_F(PropertyWindowTest, ChangingTheDatumKeepsTheNumbersAndLeavingUntypedEditsWritesNothing) {
  CRecordSource& view = StartWithFile({FullRecord()});
  Select(view, {0});
  Open();
  // Through every control and back to the first, typing nothing.
  HasTime()->setFocus();
  for (int i = 0; i < 20; ++i) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(events.records, 0);
  EXPECT_FALSE(node->IsModified());

  Datum()->setFocus();
  QTest::keyClick(Datum(), Qt::Key_Down);
  EXPECT_EQ(Stored(0).position.datum, GetDatumByIndex(1));
  EXPECT_EQ(Datum()->currentText(), QStringLiteral("Tokyo_mean"));
  EXPECT_EQ(Text(IDC_PROPERTY_LATITUDE), QStringLiteral("+35.50000"));
  EXPECT_EQ(Text(IDC_PROPERTY_LONGITUDE), QStringLiteral("+139.75000"));
  EXPECT_EQ(Stored(0).position.latitude.degrees, 35.5);
  // The datum shown chosen again is no change.
  const int changes = events.records;
  window->CommitDatum(1);
  EXPECT_EQ(events.records, changes);
}

TEST_F(PropertyWindowTest, TypedTextReachesItsOwnRecordBeforeTheSelectionMovesOrTheWindowCloses) {
  CRecordSource& view = StartWithFile({NoteRecord("zero"), NoteRecord("one"), NoteRecord("two")});
  Select(view, {0});
  Open();
  Type(IDC_PROPERTY_NOTE, QStringLiteral("typed for zero"));
  // The same record selected again: the text stays typed, not yet written.
  Select(view, {0});
  EXPECT_EQ(Text(IDC_PROPERTY_NOTE), QStringLiteral("typed for zero"));
  EXPECT_EQ(Stored(0).note, "zero");
  Select(view, {1});
  EXPECT_EQ(Notes(node->Records()), (std::vector<std::string>{"typed for zero", "one", "two"}));
  EXPECT_EQ(Text(IDC_PROPERTY_NOTE), QStringLiteral("one"));

  // A change elsewhere keeps the typing on its record.
  Type(IDC_PROPERTY_FIX_MODE, QStringLiteral("wifi"));
  const std::vector<CLocationRecord> replacement{NoteRecord("TWO")};
  const int32_t two = 2;
  view.ReplaceRecords(MakeIntPtrIterator(&two), MakeIntPtrIterator(&two + 1),
                      MakeRecordPtrIterator(replacement.data()));
  EXPECT_EQ(Stored(1).position.fixMode, "wifi");
  EXPECT_EQ(Stored(2).note, "TWO");

  // Esc and Enter close the window after writing what was typed.
  Type(IDC_PROPERTY_NOTE, QStringLiteral("by escape"));
  QTest::keyClick(Note(), Qt::Key_Escape);
  EXPECT_EQ(Stored(1).note, "by escape");
  EXPECT_FALSE(window->isVisible());
  FlushDeletes();
  EXPECT_TRUE(window.isNull());

  Open();
  Type(IDC_PROPERTY_ALTITUDE, QStringLiteral("oops"));
  QTest::keyClick(Line(IDC_PROPERTY_ALTITUDE), Qt::Key_Return);
  // A refused text keeps the window open with the text, for the user to mend.
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Invalid Number: oops"});
  EXPECT_TRUE(window->isVisible());
  Type(IDC_PROPERTY_ALTITUDE, QStringLiteral("8"));
  QTest::keyClick(Line(IDC_PROPERTY_ALTITUDE), Qt::Key_Return);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(Stored(1).position.altitude, 8.0);
  EXPECT_TRUE(Stored(1).position.hasAltitude);

  // A selection change heard before the change of the records under it: the
  // typed text does not land on the record that took the shown one's place.
  Open();
  Type(IDC_PROPERTY_NOTE, QStringLiteral("typed for a record gone"));
  node->EditRecords().erase(node->EditRecords().begin() + 1);
  Select(view, {0});
  EXPECT_EQ(Notes(node->Records()), (std::vector<std::string>{"typed for zero", "TWO"}));
}

TEST_F(PropertyWindowTest, TypedTextIsInTheFileBeforeAShortcutSavesItOrTheFrameCloses) {
  StartWithFile({NoteRecord("zero")});
  CScriptedFileDialogs dialogs;
  const std::string path = dir.path().toStdString() + "/saved.xml";
  dialogs.saveAnswers = {path};
  ASSERT_TRUE(node->SaveAs());
  frame = std::make_unique<CMainFrame>();
  frame->Create();
  frame->show();
  core->SetCurrentNode(node);
  Select(*core->GetCurrentView(), {0});
  frame->ExecuteCommand(ID_EDIT_PROPERTIES);
  window = frame->GetPropertyWindow();
  QApplication::setActiveWindow(window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  // The frame's shortcuts reach it from the tool window; the focus stays put.
  Type(IDC_PROPERTY_NOTE, QStringLiteral("saved by ctrl+s"));
  QTest::keyClick(Note(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_NE(ReadWholeFile(path).find("saved by ctrl+s"), std::string::npos);
  EXPECT_FALSE(node->IsModified());

  // Closing the frame asks to save what was typed last.
  Type(IDC_PROPERTY_NOTE, QStringLiteral("asked on close"));
  prompter.answers = {EPromptAnswer::Cancel};
  frame->close();
  EXPECT_FALSE(frame->IsWindowDestroyed());
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].kind, EPromptKind::YesNoCancelWarning);
  EXPECT_EQ(Stored(0).note, "asked on close");
  // A refused text stops the close and stays for the user to mend.
  Type(IDC_PROPERTY_ALTITUDE, QStringLiteral("oops"));
  frame->close();
  EXPECT_FALSE(frame->IsWindowDestroyed());
  EXPECT_EQ(Boxes().back(), "Invalid Number: oops");
  EXPECT_EQ(prompter.shown.back().owner, window.data());
  EXPECT_EQ(Text(IDC_PROPERTY_ALTITUDE), QStringLiteral("oops"));
  prompter.answers = {EPromptAnswer::No};
  frame->close();
  EXPECT_TRUE(frame->IsWindowDestroyed());
}

TEST_F(PropertyWindowTest, TheFrameOpensOneWindowThatReopensWhereItWasClosed) {
  StartWithFile({FullRecord()});
  frame = std::make_unique<CMainFrame>();
  frame->Create();
  frame->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
  // The frame starts on the database; the file's view comes anew.
  core->SetCurrentNode(node);
  CRecordSource& view = *core->GetCurrentView();
  Select(view, {0});
  ASSERT_TRUE(frame->GetCommandAction(ID_EDIT_PROPERTIES)->isEnabled());
  frame->ExecuteCommand(ID_EDIT_PROPERTIES);
  window = frame->GetPropertyWindow();
  ASSERT_TRUE(window);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->parentWidget(), frame.get());
  // A second request raises the same window.
  core->BroadcastShowProperties();
  EXPECT_EQ(frame->GetPropertyWindow(), window.data());
  window->move(150, 120);
  const QPoint place = window->geometry().topLeft();
  window->close();
  FlushDeletes();
  EXPECT_TRUE(window.isNull());
  EXPECT_EQ(store->Dword(CPropertyWindow::kLeftValue), static_cast<uint32_t>(place.x()));
  EXPECT_EQ(store->Dword(CPropertyWindow::kTopValue), static_cast<uint32_t>(place.y()));
  // A double click in the record list opens it again, where it was.
  auto* form = dynamic_cast<CLocationFileView&>(view).GetForm();
  ASSERT_NE(form, nullptr);
  QAbstractItemView* list = form->GetList()->GetList();
  const QRect item = list->visualRect(list->model()->index(0, 0));
  // A double click comes after the first click's press and release.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, item.center());
  window = frame->GetPropertyWindow();
  ASSERT_TRUE(window);
  EXPECT_EQ(window->geometry().topLeft(), place);
  EXPECT_EQ(window->pos(), QPoint(150, 120));
  // Closing the frame takes the window with it and keeps its place.
  window->move(40, 30);
  const int left = window->geometry().left();
  frame->close();
  EXPECT_TRUE(window.isNull());
  EXPECT_EQ(store->Dword(CPropertyWindow::kLeftValue), static_cast<uint32_t>(left));
}

TEST_F(PropertyWindowTest, APlaceSavedOffTheScreensOpensOnTheScreen) {
  StartWithFile({FullRecord()});
  // Saved with a larger screen, or a lower density, than there is now.
  store->values[CPropertyWindow::kLeftValue] = uint32_t{5000};
  store->values[CPropertyWindow::kTopValue] = uint32_t{4000};
  Open();
  const QRect available = window->screen()->availableGeometry();
  EXPECT_TRUE(available.contains(window->frameGeometry()))
      << window->frameGeometry().x() << "," << window->frameGeometry().y();
}

}  // namespace
