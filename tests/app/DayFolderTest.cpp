// The day folder and its view over a real database: which records belong to
// a day, stepping through days across month ends and daylight-saving
// changes, the selection, and read-only editing.
#include <QDateEdit>
#include <QPushButton>
#include <QTest>
#include <stdexcept>

#include "app/DatabaseFolder.h"
#include "app/DayFolder.h"
#include "app/DayView.h"
#include "app/LocalDay.h"
#include "location/IteratorAdaptors.h"
#include "location/LocationDatabase.h"
#include "location/RecordCollection.h"
#include "tests/app/AppTestSupport.h"
#include "tests/location/TimeZoneGuard.h"

namespace {

constexpr const char* kEastern = "EST5EDT,M3.2.0,M11.1.0";

class DayFolderTest : public AppTest {
 protected:
  DayFolderTest() : zone(kEastern) {}
  ~DayFolderTest() override {
    view.reset();
    core.reset();
  }

  // A core whose database holds the records, and a day folder with its pane.
  void Start(const std::vector<CLocationRecord>& records) {
    core = MakeCore();
    CDatabaseFolder& folder = core->GetRootFolder().GetDatabaseFolder();
    const CRecordVectorCollection collection(records);
    CAddRecordsOperation adding(collection);
    folder.RunQuery(adding);
    view = folder.CreateView(nullptr);
    day = dynamic_cast<CDayFolder*>(view.get());
    ASSERT_NE(day, nullptr);
    pane.resize(300, 400);
    day->CreateWindow(&pane);
    pane.show();
  }
  CDayView& View() const { return *day->GetView(); }
  std::vector<std::string> Listed() const {
    std::vector<std::string> notes;
    for (const CLocationRecord& record : View().GetList()->GetRecords())
      notes.push_back(record.note);
    return notes;
  }
  std::vector<int32_t> Selection() const {
    std::vector<int32_t> selection;
    day->GetSelection(MakeIntBackInserter(selection));
    return selection;
  }
  void Select(std::vector<int32_t> indices) {
    day->SetSelection(MakeIntPtrIterator(indices.data()),
                      MakeIntPtrIterator(indices.data() + indices.size()));
  }
  void Pick(const QDate& date) { View().GetDatePicker()->setDate(date); }
  void Next() { QTest::mouseClick(View().GetNextButton(), Qt::LeftButton); }
  void Previous() { QTest::mouseClick(View().GetPreviousButton(), Qt::LeftButton); }
  QDate Shown() const { return View().GetDatePicker()->date(); }

  TimeZoneGuard zone;
  QWidget pane;
  std::unique_ptr<CAppCore> core;
  std::unique_ptr<CRecordSource> view;
  CDayFolder* day = nullptr;
};

TEST_F(DayFolderTest, StartsOnTodayWithTheRecordsOfToday) {
  const int32_t today = TodayLocalMidnight();
  Start({TestRecordAt(today - 1, "yesterday"), TestRecordAt(today + 60, "today"),
         TestRecordAt(AddLocalDays(today, 1), "tomorrow")});
  EXPECT_EQ(day->GetDate(), today);
  EXPECT_EQ(Shown(), LocalDateOf(today));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"today"}));
  EXPECT_TRUE(day->IsReadOnly());
  EXPECT_EQ(View().GetDatePicker()->objectName(), QStringLiteral("1005"));
  EXPECT_EQ(View().GetPreviousButton()->text(), QStringLiteral("前(&P)"));
  EXPECT_EQ(View().GetNextButton()->text(), QStringLiteral("次(&N)"));
  EXPECT_EQ(View().GetList()->objectName(), QStringLiteral("1027"));
}

TEST_F(DayFolderTest, NextAndPreviousCrossAMonthEnd) {
  const int32_t jan31 = LocalMidnightOf(QDate(2026, 1, 31));
  const int32_t feb1 = LocalMidnightOf(QDate(2026, 2, 1));
  Start({TestRecordAt(jan31 + 23 * 3600 + 1800, "jan31 late"), TestRecordAt(feb1, "feb1 midnight"),
         TestRecordAt(feb1 + 86399, "feb1 end"), TestRecordAt(feb1 + 86400, "feb2 midnight"),
         TestRecordAt(jan31 + 60, "jan31 early")});
  Pick(QDate(2026, 1, 31));
  EXPECT_EQ(day->GetDate(), jan31);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"jan31 early", "jan31 late"}));
  Select({1});
  Next();
  EXPECT_EQ(Shown(), QDate(2026, 2, 1));
  EXPECT_EQ(day->GetDate(), feb1);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"feb1 midnight", "feb1 end"}));
  EXPECT_TRUE(Selection().empty());
  EXPECT_TRUE(View().GetList()->GetSelection().empty());
  Next();
  EXPECT_EQ(Listed(), (std::vector<std::string>{"feb2 midnight"}));
  Previous();
  Previous();
  EXPECT_EQ(Shown(), QDate(2026, 1, 31));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"jan31 early", "jan31 late"}));
}

TEST_F(DayFolderTest, DaysOfDaylightSavingChangesRunFromMidnightToMidnight) {
  const int32_t mar8 = LocalMidnightOf(QDate(2026, 3, 8));  // 23 hours
  const int32_t mar9 = LocalMidnightOf(QDate(2026, 3, 9));
  const int32_t nov1 = LocalMidnightOf(QDate(2026, 11, 1));  // 25 hours
  const int32_t nov2 = LocalMidnightOf(QDate(2026, 11, 2));
  ASSERT_EQ(mar9 - mar8, 23 * 3600);
  ASSERT_EQ(nov2 - nov1, 25 * 3600);
  Start({TestRecordAt(mar8, "mar8 start"), TestRecordAt(mar9 - 1800, "mar8 late"),
         TestRecordAt(mar9, "mar9 start"), TestRecordAt(nov1, "nov1 start"),
         TestRecordAt(nov1 + 24 * 3600 + 1800, "nov1 late"), TestRecordAt(nov2, "nov2 start")});
  Pick(QDate(2026, 3, 7));
  EXPECT_TRUE(Listed().empty());
  Next();
  EXPECT_EQ(day->GetDate(), mar8);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"mar8 start", "mar8 late"}));
  Next();
  EXPECT_EQ(Shown(), QDate(2026, 3, 9));
  EXPECT_EQ(day->GetDate(), mar9);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"mar9 start"}));
  Previous();
  EXPECT_EQ(day->GetDate(), mar8);

  Pick(QDate(2026, 10, 31));
  Next();
  EXPECT_EQ(Shown(), QDate(2026, 11, 1));
  EXPECT_EQ(Listed(), (std::vector<std::string>{"nov1 start", "nov1 late"}));
  Next();
  EXPECT_EQ(Shown(), QDate(2026, 11, 2));
  EXPECT_EQ(day->GetDate(), nov2);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"nov2 start"}));
  Previous();
  EXPECT_EQ(Shown(), QDate(2026, 11, 1));
  EXPECT_EQ(day->GetDate(), nov1);
}

TEST_F(DayFolderTest, ARefreshKeepsTheSelectionThatStillNamesRecords) {
  const int32_t day1 = LocalMidnightOf(QDate(2026, 5, 10));
  const int32_t day2 = LocalMidnightOf(QDate(2026, 5, 11));
  Start({TestRecordAt(day1 + 10, "a"), TestRecordAt(day1 + 20, "b"), TestRecordAt(day1 + 30, "c"),
         TestRecordAt(day2 + 10, "other")});
  day->SetDate(day1);
  Select({0, 2, 7, -1});
  EXPECT_EQ(Selection(), (std::vector<int32_t>{0, 2}));
  EXPECT_EQ(View().GetList()->GetSelection(), (std::set<int32_t>{0, 2}));
  day->Refresh();
  EXPECT_EQ(Selection(), (std::vector<int32_t>{0, 2}));
  // A day with fewer records drops what would point past them.
  day->SetDate(day2);
  EXPECT_EQ(Selection(), (std::vector<int32_t>{0}));
  std::vector<CLocationRecord> read;
  const std::vector<int32_t> indices{0};
  day->GetRecords(MakeIntPtrIterator(indices.data()), MakeIntPtrIterator(indices.data() + 1),
                  MakeRecordBackInserter(read));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].note, "other");
  const std::vector<int32_t> beyond{1};
  EXPECT_THROW(day->GetRecords(MakeIntPtrIterator(beyond.data()),
                               MakeIntPtrIterator(beyond.data() + 1), MakeRecordBackInserter(read)),
               std::out_of_range);

  // A pane made later shows the folder as it is.
  day->CreateWindow(&pane);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"other"}));
  EXPECT_EQ(Shown(), QDate(2026, 5, 11));
  EXPECT_EQ(View().GetList()->GetSelection(), (std::set<int32_t>{0}));
  // The user's selection in the list reaches the folder.
  View().GetList()->GetList()->clearSelection();
  EXPECT_TRUE(Selection().empty());
}

TEST_F(DayFolderTest, EveryEditIsRefused) {
  Start({});
  std::vector<CLocationRecord> records(1);
  const std::vector<int32_t> none;
  const auto expectReadOnly = [](const std::function<void()>& edit) {
    try {
      edit();
      ADD_FAILURE() << "edited";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "readonly");
    }
  };
  expectReadOnly([&] {
    day->InsertRecords(0, MakeRecordPtrIterator(records.data()),
                       MakeRecordPtrIterator(records.data() + 1));
  });
  expectReadOnly([&] { day->RemoveRecords(MakeNullIntIterator(), MakeNullIntIterator()); });
  expectReadOnly([&] {
    day->ReplaceRecords(MakeNullIntIterator(), MakeNullIntIterator(),
                        MakeRecordPtrIterator(records.data()));
  });
  expectReadOnly(
      [&] { day->InsertRecords(0, MakeEmptyRecordIterator(), MakeEmptyRecordIterator()); });
}

TEST_F(DayFolderTest, ADateThatCannotBeShownLeavesTheDayAsItWas) {
  Start({});
  Pick(QDate(2026, 6, 1));
  const int32_t june1 = day->GetDate();
  Pick(QDate(1960, 1, 1));
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].text, "mktime");
  EXPECT_EQ(day->GetDate(), june1);
  EXPECT_EQ(Shown(), QDate(2026, 6, 1));
}

}  // namespace
