#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <stdexcept>

#include "DatabaseTestSupport.h"
#include "FileTestSupport.h"
#include "location/LocationQuery.h"
#include "location/TimeText.h"

namespace {

// A saved database over three months with records spread in time and space.
class LocationQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database = OpenLocationDatabase(folder / "index.xml", true);
    CLocationRecord noTime = MakeRecord(Utc(2004, 5, 9), "no time");
    noTime.hasTime = false;  // filed by its time field, never found by date
    CLocationRecord noNote = MakeRecord(Utc(2004, 5, 10, 8));
    File(*database,
         {MakeRecord(Utc(2004, 5, 10, 12), "xabcx", 35.0, 139.0),
          MakeRecord(Utc(2004, 5, 10, 9), "ABC", 35.5, 139.5),
          MakeRecord(Utc(2004, 6, 1), "abc at june's start", 36.0, 140.0),
          MakeRecord(Utc(2004, 4, 30, 23, 59, 59), "april's last", 34.0, 138.0), noTime, noNote});
    SaveModifiedSections(*database);
  }

  std::vector<std::string> Notes(CLocationQuery& query) {
    ExecuteDatabaseOperation(*database, query);
    std::vector<std::string> notes;
    CSearchResult* results = query.GetResults();
    for (std::size_t i = 0; i < results->GetCount(); ++i) {
      results->Seek(i);
      notes.push_back(results->GetCurrent().hasNote ? results->GetCurrent().note : "-");
    }
    return notes;
  }

  CTempFolder folder;
  std::unique_ptr<CLocationDatabase> database;
};

}  // namespace

TEST_F(LocationQueryTest, WithoutFiltersFindsEverythingInEitherOrder) {
  CLocationQuery query;
  // A record without a time sorts by its time field, here 0.
  EXPECT_EQ(Notes(query), (std::vector<std::string>{"no time", "april's last", "-", "ABC", "xabcx",
                                                    "abc at june's start"}));
  query.oldestFirst = false;
  EXPECT_EQ(Notes(query), (std::vector<std::string>{"abc at june's start", "xabcx", "ABC", "-",
                                                    "april's last", "no time"}));
}

TEST_F(LocationQueryTest, DateRangeIsHalfOpenAndNeedsATime) {
  CSearchCriteria criteria;
  criteria.begin = Utc(2004, 5, 9);
  criteria.end = Utc(2004, 6, 1);
  CLocationQuery query(criteria);
  EXPECT_TRUE(query.useDate);
  EXPECT_EQ(Notes(query), (std::vector<std::string>{"-", "ABC", "xabcx"}));

  // A zero bound turns the date filter off.
  criteria.begin = 0;
  EXPECT_FALSE(CLocationQuery(criteria).useDate);
}

TEST_F(LocationQueryTest, DateSearchReadsOnlyOverlappingSections) {
  database.reset();
  std::remove((folder / "200404.xml").c_str());
  std::remove((folder / "200405.xml").c_str());
  database = OpenLocationDatabase(folder / "index.xml", false);
  CLocationQuery query;
  query.useDate = true;
  query.begin = Utc(2004, 6, 1);
  query.end = Utc(2004, 6, 2);
  EXPECT_EQ(Notes(query), (std::vector<std::string>{"abc at june's start"}));
  query.end = Utc(2004, 6, 1);  // an empty range overlaps nothing
  EXPECT_TRUE(Notes(query).empty());
  query.useDate = false;
  EXPECT_EQ(ThrownText([&] { ExecuteDatabaseOperation(*database, query); }),
            "Loading XML File Failed: " + folder / "200405.xml");
}

TEST_F(LocationQueryTest, SearchesLetGoOfTheFilesTheyLoaded) {
  // Filing loads May's file; it stays. The search loads the others and
  // drops them again, but what it found stays readable.
  database.reset();
  database = OpenLocationDatabase(folder / "index.xml", false);
  File(*database, {MakeRecord(Utc(2004, 5, 20), "abc unsaved")});
  CLocationQuery query;
  query.useNote = true;
  query.note = "abc";
  EXPECT_EQ(Notes(query),
            (std::vector<std::string>{"xabcx", "abc unsaved", "abc at june's start"}));
  std::vector<bool> loaded;
  CXmlNodeEnumerator sections = MakeChildElementEnumerator(*database);
  while (sections.HasMore()) loaded.push_back(GetSection(sections.Next()).IsLoaded());
  EXPECT_EQ(loaded, (std::vector<bool>{true, false, false}));  // May, June, April
  CSearchResult& results = *query.GetResults();
  results.Seek(2);
  EXPECT_EQ(results.GetCurrent().note, "abc at june's start");
}

TEST_F(LocationQueryTest, ResultsDoNotHoldTheSectionDocuments) {
  // Found records are kept on their own: a few matches must not pin whole
  // section files in memory, neither loaded ones nor those the search let go.
  File(*database, {MakeRecord(Utc(2004, 5, 20), "abc unsaved")});
  CLocationFile& may =
      GetSection(FindOrCreateSection(*database, Utc(2004, 5, 20))).GetLocationFile();
  const std::weak_ptr<CXmlDocument> document = may.GetDocument();
  CLocationQuery query;
  query.useNote = true;
  query.note = "abc";
  EXPECT_EQ(Notes(query),
            (std::vector<std::string>{"xabcx", "abc unsaved", "abc at june's start"}));
  EXPECT_EQ(document.use_count(), 1);
}

TEST_F(LocationQueryTest, RectangleIncludesItsEdgesInAnyCornerOrder) {
  CLocationQuery query;
  query.useRect = true;
  query.rect = {35.5, 139.0, 35.0, 139.5};  // top, left, bottom, right
  const std::vector<std::string> expected = {"no time", "-", "ABC", "xabcx"};
  EXPECT_EQ(Notes(query), expected);
  query.rect = {35.0, 139.5, 35.5, 139.0};
  EXPECT_EQ(Notes(query), expected);
}

TEST_F(LocationQueryTest, NoteTextIsACaseSensitiveSubstring) {
  CSearchCriteria criteria;
  criteria.words = {"abc", "ignored"};
  criteria.oldestFirst = false;
  CLocationQuery query(criteria);
  EXPECT_EQ(Notes(query), (std::vector<std::string>{"abc at june's start", "xabcx"}));
  // An empty text matches every record that has a note; one that holds a
  // NUL none, as no note read from a file holds one.
  query.note.clear();
  EXPECT_EQ(Notes(query).size(), 5u);
  query.note = std::string("abc\0", 4);
  EXPECT_EQ(Notes(query).size(), 0u);
  // All filters together.
  query.note = "abc";
  query.useDate = true;
  query.begin = Utc(2004, 5, 1);
  query.end = Utc(2004, 7, 1);
  query.useRect = true;
  query.rect = {36.0, 139.0, 35.0, 140.0};
  EXPECT_EQ(Notes(query), (std::vector<std::string>{"abc at june's start", "xabcx"}));
}

// The note search looks for the text's bytes in a file before it reads a
// point; what it finds must be what reading every note finds, however the
// file spells the notes.
TEST_F(LocationQueryTest, NoteTextIsFoundHoweverTheFileSpellsIt) {
  const std::string notes[] = {
      "<note>a checkpoint</note>",
      "<note>check&#112;oint by reference</note>",
      "<note>check&amp;point &lt;b&gt;</note>",
      "<note><![CDATA[checkpoint in CDATA]]></note>",
      "<note>check<!-- split -->point</note>",
      "<note><!-- before -->checkpoint after a comment</note>",
      "<note/><note>checkpoint in the second note</note>",
      "<note>first</note><note>checkpoint in the second note</note>",
      "<note>line\r\nbreak</note>",
      "<note>tab\tand line\nbreak</note>",
      "<fixmode>checkpoint</fixmode>",
      "<note>x</note><!-- checkpoint -->",
      "<note>checkpoin</note>",
      "<note>tcheckpointt</note>",
  };
  const auto file = [&](const std::string& extra, const std::string& declaration) {
    std::string bytes = declaration + "\n<points>";
    int day = 1;
    std::vector<std::string> all(std::begin(notes), std::end(notes));
    if (!extra.empty()) all.push_back(extra);
    for (const std::string& note : all) {
      bytes += "<point><time>" + FormatPointTime(CZonedTime(Utc(2005, 1, day++), 0)) +
               "</time><position><datum>wgs84</datum><latitude unit=\"degree\">10</latitude>"
               "<longitude unit=\"degree\">10</longitude></position>" +
               note + "</point>\n";
    }
    return bytes + "</points>";
  };
  std::string index = ReadBytes(folder / "index.xml");
  index.replace(index.rfind("</index>"), 8,
                "<section><begin>2005-01-01T00:00:00Z</begin><end>2005-02-01T00:00:00Z</end>"
                "<include href=\"hand.xml\"/></section></index>");
  WriteBytes(folder / "index.xml", index);
  const std::string texts[] = {"checkpoint",       "point",        "t",
                               "check&point",      "<b>",          "\nbreak",
                               "checkpoint after", "in the second"};
  // As the parser reads them; with a reference it cannot hold, which has the
  // document cleaned after parsing; converted from another encoding first.
  const std::pair<std::string, std::string> files[] = {
      {"", "<?xml version=\"1.0\"?>"},
      {"<note>odd &#1; checkpoint</note>", "<?xml version=\"1.0\"?>"},
      {"<note>caf\xE9 checkpoint</note>", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"}};
  for (const auto& [extra, declaration] : files) {
    WriteBytes(folder / "hand.xml", file(extra, declaration));
    for (const std::string& text : texts) {
      std::vector<std::string> expected;
      for (const CLocationRecord& record : ReadRecords(folder / "hand.xml")) {
        if (record.hasNote && record.note.find(text) != std::string::npos) {
          expected.push_back(record.note);
        }
      }
      std::unique_ptr<CLocationDatabase> reopened =
          OpenLocationDatabase(folder / "index.xml", false);
      CLocationQuery query;
      query.useNote = true;
      query.note = text;
      query.useDate = true;
      query.begin = Utc(2005, 1, 1);
      query.end = Utc(2005, 2, 1);
      std::swap(database, reopened);
      EXPECT_EQ(Notes(query), expected) << text << extra;
      std::swap(database, reopened);
    }
  }
}

TEST_F(LocationQueryTest, ResultsOutliveTheQueryAndTheDatabase) {
  CLocationQuery query;
  query.useNote = true;
  query.note = "abc";
  ExecuteDatabaseOperation(*database, query);
  std::unique_ptr<CSearchResult> results = query.TakeResults();
  EXPECT_EQ(query.GetResults(), nullptr);
  LocationDatabaseRelease(std::move(database));
  ASSERT_EQ(results->GetCount(), 2u);
  results->Seek(1);
  EXPECT_EQ(results->GetCurrent().note, "abc at june's start");
  EXPECT_THROW(results->Seek(2), std::out_of_range);
}

TEST_F(LocationQueryTest, AFailedSearchKeepsThePreviousResults) {
  CLocationQuery query;
  query.useNote = true;
  query.note = "abc";
  ExecuteDatabaseOperation(*database, query);
  CSearchResult* previous = query.GetResults();

  // A later section whose file has a record with a bad time.
  WriteBytes(folder / "bad.xml",
             "<points><point><time>2005-01-0xT00:00:00Z</time><note>abc</note></point></points>");
  std::string index = ReadBytes(folder / "index.xml");
  index.replace(index.rfind("</index>"), 8,
                "<section><begin>2005-01-01T00:00:00Z</begin><end>2005-02-01T00:00:00Z</end>"
                "<include href=\"bad.xml\"/></section></index>");
  WriteBytes(folder / "index.xml", index);
  std::unique_ptr<CLocationDatabase> reopened = OpenLocationDatabase(folder / "index.xml", false);
  EXPECT_EQ(ThrownText([&] { ExecuteDatabaseOperation(*reopened, query); }),
            "Invalid Letter<x> In Date: 2005-01-0xT00:00:00Z");
  EXPECT_EQ(query.GetResults(), previous);

  // A matching record that cannot be decoded ends the search too.
  WriteBytes(folder / "bad.xml",
             "<points><point><time>2005-01-02T00:00:00Z</time><note>abc</note></point></points>");
  std::unique_ptr<CLocationDatabase> third = OpenLocationDatabase(folder / "index.xml", false);
  EXPECT_EQ(ThrownText([&] { ExecuteDatabaseOperation(*third, query); }),
            "XML Node Not Found: position");
  EXPECT_EQ(query.GetResults(), previous);

  // A section file that is gone is reported by the search that needs it.
  std::remove((folder / "bad.xml").c_str());
  std::unique_ptr<CLocationDatabase> again = OpenLocationDatabase(folder / "index.xml", false);
  EXPECT_EQ(ThrownText([&] { ExecuteDatabaseOperation(*again, query); }),
            "Loading XML File Failed: " + folder / "bad.xml");
}

TEST_F(LocationQueryTest, ARecordOutsideTheRectangleThatCannotBeReadFailsTheSearch) {
  // The rectangle filter reads the position alone first; the search still
  // fails as reading the whole record would.
  const std::string position =
      "<position><datum>wgs84</datum><latitude unit=\"degree\">10</latitude>"
      "<longitude unit=\"degree\">10</longitude></position>";
  const std::string points[] = {
      "<point><time>2005-01-0xT00:00:00Z</time>" + position + "</point>",
      "<point><time>2005-01-02T00:00:00Z</time><position><datum>WGS84</datum></position></point>",
      "<point><position><datum>tokyo</datum><latitude unit=\"deg\">1</latitude></position></point>",
      "<point><position><datum>itrf</datum><latitude unit=\"dms\">1,2</latitude></position></point>",
      "<point><note>abc</note></point>",
      "<point><time>2005-01-0xT00:00:00Z</time></point>"};
  std::string index = ReadBytes(folder / "index.xml");
  index.replace(index.rfind("</index>"), 8,
                "<section><begin>2005-01-01T00:00:00Z</begin><end>2005-02-01T00:00:00Z</end>"
                "<include href=\"bad.xml\"/></section></index>");
  WriteBytes(folder / "index.xml", index);
  for (const std::string& point : points) {
    WriteBytes(folder / "bad.xml", "<points>" + point + "</points>");
    std::unique_ptr<CLocationDatabase> reopened = OpenLocationDatabase(folder / "index.xml", false);
    CLocationQuery everything;
    const std::string expected =
        ThrownText([&] { ExecuteDatabaseOperation(*reopened, everything); });
    EXPECT_NE(expected, "no exception") << point;
    CLocationQuery rectangle;
    rectangle.useRect = true;
    rectangle.rect = {36.0, 139.0, 35.0, 140.0};
    EXPECT_EQ(ThrownText([&] { ExecuteDatabaseOperation(*reopened, rectangle); }), expected)
        << point;
  }
  // Values that read as they can (text for a number) fail nothing.
  WriteBytes(folder / "bad.xml",
             "<points><point><position><datum>tokyo</datum><latitude unit=\"degree\">x</latitude>"
             "<longitude unit=\"degree\">10</longitude><altitude>abc</altitude></position>"
             "</point></points>");
  std::unique_ptr<CLocationDatabase> reopened = OpenLocationDatabase(folder / "index.xml", false);
  CLocationQuery rectangle;
  rectangle.useRect = true;
  rectangle.rect = {36.0, 139.0, 35.0, 140.0};
  EXPECT_EQ(ThrownText([&] { ExecuteDatabaseOperation(*reopened, rectangle); }), "no exception");
}

TEST(SearchResult, SeekOrdersLazilyAndReturnsTheRightRecords) {
  CTempFolder folder;
  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(folder / "index.xml", true);
  std::vector<CLocationRecord> records;
  std::mt19937 random(7);
  for (int i = 0; i < 200; ++i) {
    const int32_t time = Utc(2004, 1, 1) + static_cast<int32_t>(random() % (366 * 86400));
    records.push_back(MakeRecord(time, std::to_string(time)));
  }
  File(*database, records);
  std::vector<int32_t> times;
  for (const CLocationRecord& r : records) times.push_back(r.time.seconds);
  std::sort(times.begin(), times.end());

  for (bool oldestFirst : {true, false}) {
    CLocationQuery query;
    query.oldestFirst = oldestFirst;
    ExecuteDatabaseOperation(*database, query);
    CSearchResult& results = *query.GetResults();
    ASSERT_EQ(results.GetCount(), times.size());
    auto expectedAt = [&](std::size_t i) {
      return oldestFirst ? times[i] : times[times.size() - 1 - i];
    };
    // Out of order: far first, then back, then forward.
    for (std::size_t i : {std::size_t{2}, std::size_t{0}, std::size_t{150}, std::size_t{3},
                          std::size_t{199}, std::size_t{1}}) {
      results.Seek(i);
      EXPECT_EQ(results.GetCurrent().time.seconds, expectedAt(i)) << i;
    }
  }
}
