#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <utility>

#include "DatabaseTestSupport.h"
#include "FileTestSupport.h"
#include "TimeZoneGuard.h"
#include "location/AtomicFile.h"
#include "location/Exceptions.h"
#include "location/LocationQuery.h"
#include "location/TimeText.h"

namespace {

// An index naming the given sections, written by hand as another program or
// an older version could have left it.
std::string IndexText(const std::vector<CSectionInfo>& sections) {
  std::string text = "<?xml version=\"1.0\"?>\n<index>\n";
  for (const CSectionInfo& s : sections) {
    text += "<section><begin>" + FormatIso8601Time(s.begin) + "</begin><end>" +
            FormatIso8601Time(s.end) + "</end><include href=\"" + s.href + "\"/></section>\n";
  }
  return text + "</index>\n";
}

void WriteLocationFile(const std::string& path, const std::vector<CLocationRecord>& records) {
  std::unique_ptr<CLocationFile> file = LoadLocationFile(path, XmlOpenMode::kCreateExclusive);
  for (const CLocationRecord& record : records) AppendRecordElement(*file, record);
  file->SaveIfModified();
}

}  // namespace

TEST(LocationDatabase, FirstRecordCreatesItsSectionAndSavesTheIndexAtOnce) {
  for (const char* zone : kTestZones) {
    SCOPED_TRACE(zone);
    const TimeZoneGuard guard(zone);
    CTempFolder folder;
    const std::string indexPath = folder / "index.xml";
    std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, true);
    EXPECT_TRUE(ListSections(*database).empty());

    File(*database, {MakeRecord(Utc(2004, 5, 10, 12), "first")});
    const std::vector<CSectionInfo> expected = {{"200405.xml", Utc(2004, 5, 1), Utc(2004, 6, 1)}};
    EXPECT_EQ(ListSections(*database), expected);
    // The index and the empty section file are on disk; the record is not yet.
    EXPECT_EQ(ListSections(*OpenLocationDatabase(indexPath, false)), expected);
    EXPECT_TRUE(ReadRecords(folder / "200405.xml").empty());

    SaveModifiedSections(*database);
    const std::vector<CLocationRecord> saved = ReadRecords(folder / "200405.xml");
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].note, "first");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"200405.xml", "index.xml"}));
  }
}

TEST(LocationDatabase, SectionsFollowTheRecordsAndTheirBoundaries) {
  CTempFolder folder;
  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(folder / "index.xml", true);
  File(*database,
       {MakeRecord(Utc(2004, 6, 15), "june"), MakeRecord(Utc(2004, 3, 2), "march"),
        MakeRecord(Utc(2004, 6, 1), "june begin"), MakeRecord(Utc(2004, 7, 1), "june end is july"),
        MakeRecord(Utc(2004, 6, 30, 23, 59, 59), "june last second")});
  EXPECT_EQ(ListSections(*database),
            (std::vector<CSectionInfo>{{"200406.xml", Utc(2004, 6, 1), Utc(2004, 7, 1)},
                                       {"200403.xml", Utc(2004, 3, 1), Utc(2004, 4, 1)},
                                       {"200407.xml", Utc(2004, 7, 1), Utc(2004, 8, 1)}}));
  LocationDatabaseRelease(std::move(database));

  auto notes = [&](const std::string& name) {
    std::vector<std::string> result;
    for (const CLocationRecord& r : ReadRecords(folder / name)) result.push_back(r.note);
    return result;
  };
  EXPECT_EQ(notes("200406.xml"),
            (std::vector<std::string>{"june", "june begin", "june last second"}));
  EXPECT_EQ(notes("200403.xml"), (std::vector<std::string>{"march"}));
  EXPECT_EQ(notes("200407.xml"), (std::vector<std::string>{"june end is july"}));
}

TEST(LocationDatabase, MonthEndsEastAndWestOfUtcGoToTheSectionThatHoldsTheRecord) {
  for (const char* zone : kTestZones) {
    SCOPED_TRACE(zone);
    const TimeZoneGuard guard(zone);
    CTempFolder folder;
    const std::string indexPath = folder / "index.xml";
    std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, true);
    // 1 May 03:00 in Japan is still April in UTC; 30 April 22:00 in New York
    // is already May.
    File(*database, {MakeRecord(Utc(2004, 4, 30, 18), "a"), MakeRecord(Utc(2004, 4, 30, 20), "b"),
                     MakeRecord(Utc(2004, 5, 1, 2), "c"), MakeRecord(Utc(2004, 5, 1, 3), "d")});
    const std::vector<CSectionInfo> expected = {{"200404.xml", Utc(2004, 4, 1), Utc(2004, 5, 1)},
                                                {"200405.xml", Utc(2004, 5, 1), Utc(2004, 6, 1)}};
    EXPECT_EQ(ListSections(*database), expected);
    LocationDatabaseRelease(std::move(database));
    // The index's local-zone text reads back as the same seconds.
    EXPECT_EQ(ListSections(*OpenLocationDatabase(indexPath, false)), expected);
    EXPECT_EQ(ReadRecords(folder / "200404.xml").size(), 2u);
    EXPECT_EQ(ReadRecords(folder / "200405.xml").size(), 2u);
  }
}

TEST(LocationDatabase, NewSectionsNeverOverwriteAFile) {
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  // July already has a hand-made half-month section.
  WriteBytes(indexPath, IndexText({{"200407.xml", Utc(2004, 7, 1), Utc(2004, 7, 15)}}));
  WriteLocationFile(folder / "200407.xml", {});
  // A location file no section names, as a crash before the index was saved leaves it.
  WriteLocationFile(folder / "200405.xml", {MakeRecord(Utc(2004, 5, 3), "left behind")});
  WriteBytes(folder / "200406.xml", "not a location file");

  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
  File(*database, {MakeRecord(Utc(2004, 5, 20), "may"), MakeRecord(Utc(2004, 6, 20), "june"),
                   MakeRecord(Utc(2004, 7, 20), "late july")});
  EXPECT_EQ(ListSections(*database),
            (std::vector<CSectionInfo>{{"200407.xml", Utc(2004, 7, 1), Utc(2004, 7, 15)},
                                       {"200405.xml", Utc(2004, 5, 1), Utc(2004, 6, 1)},
                                       {"200406-2.xml", Utc(2004, 6, 1), Utc(2004, 7, 1)},
                                       {"200407-2.xml", Utc(2004, 7, 15), Utc(2004, 8, 1)}}));
  LocationDatabaseRelease(std::move(database));

  EXPECT_EQ(ReadBytes(folder / "200406.xml"), "not a location file");
  const std::vector<CLocationRecord> may = ReadRecords(folder / "200405.xml");
  ASSERT_EQ(may.size(), 2u);
  EXPECT_EQ(may[0].note, "left behind");
  EXPECT_EQ(may[1].note, "may");
  EXPECT_TRUE(ReadRecords(folder / "200407.xml").empty());
  EXPECT_EQ(ReadRecords(folder / "200407-2.xml").size(), 1u);
}

TEST(LocationDatabase, CreatingOverAnExistingIndexKeepsItAsABackup) {
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  {
    std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, true);
    File(*database, {MakeRecord(Utc(2010, 1, 5))});
    LocationDatabaseRelease(std::move(database));
  }
  const std::string first = ReadBytes(indexPath);
  EXPECT_TRUE(ListSections(*OpenLocationDatabase(indexPath, true)).empty());
  EXPECT_EQ(ReadBytes(folder / "index.xml.bak"), first);
  const std::string second = ReadBytes(indexPath);
  OpenLocationDatabase(indexPath, true);
  EXPECT_EQ(ReadBytes(folder / "index.xml.bak"), first);
  EXPECT_EQ(ReadBytes(folder / "index.xml.bak.2"), second);
  EXPECT_EQ(ListSections(*OpenLocationDatabase(folder / "index.xml.bak", false)).size(), 1u);

  // When the new index cannot be written, the old one stays where it was.
  {
    CWriteHookScope hook([](std::size_t) { throw CWin32Exception(ENOSPC); });
    EXPECT_THROW(OpenLocationDatabase(indexPath, true), CWin32Exception);
  }
  EXPECT_EQ(ReadBytes(indexPath), second);
  EXPECT_FALSE(std::filesystem::exists(folder / "index.xml.bak.3"));
}

TEST(LocationDatabase, OpeningReportsMissingAndForeignIndexes) {
  CTempFolder folder;
  EXPECT_EQ(ThrownText([&] { OpenLocationDatabase(folder / "index.xml", false); }),
            "Loading XML File Failed: " + folder / "index.xml");
  WriteLocationFile(folder / "points.xml", {});
  EXPECT_EQ(ThrownText([&] { OpenLocationDatabase(folder / "points.xml", false); }),
            "Invalid Root Element: points");
}

TEST(LocationDatabase, FilingAppendsNothingWhenAnySectionCannotBeLoaded) {
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  WriteBytes(indexPath, IndexText({{"200405.xml", Utc(2004, 5, 1), Utc(2004, 6, 1)},
                                   {"200406.xml", Utc(2004, 6, 1), Utc(2004, 7, 1)}}));
  WriteLocationFile(folder / "200405.xml", {});
  WriteBytes(folder / "200406.xml", "<points><point>");  // not well formed

  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
  EXPECT_EQ(ThrownText([&] {
              File(*database, {MakeRecord(Utc(2004, 5, 2)), MakeRecord(Utc(2004, 3, 2)),
                               MakeRecord(Utc(2004, 6, 2))});
            }),
            "Loading XML File Failed: " + folder / "200406.xml");
  // March's section was made on the way; neither it nor May received a record.
  for (int32_t time : {Utc(2004, 5, 2), Utc(2004, 3, 2)}) {
    CLocationFile& file = GetSection(FindOrCreateSection(*database, time)).GetLocationFile();
    EXPECT_EQ(CountPoints(file), 0u);
    EXPECT_FALSE(file.IsModified());
  }
  EXPECT_EQ(ListSections(*database).size(), 3u);
}

TEST(LocationDatabase, EntriesThatNameOneFileKeepEveryRecordFiledIntoIt) {
  // A hand-made index: two months in one file, named two ways.
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  WriteBytes(indexPath, IndexText({{"both.xml", Utc(2004, 5, 1), Utc(2004, 6, 1)},
                                   {"./both.xml", Utc(2004, 6, 1), Utc(2004, 7, 1)}}));
  WriteLocationFile(folder / "both.xml", {MakeRecord(Utc(2004, 6, 3), "old")});
  for (int round = 0; round < 2; ++round) {
    std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
    const std::string n = std::to_string(round);
    File(*database, {MakeRecord(Utc(2004, 5, 2), "may" + n),
                     MakeRecord(Utc(2004, 6, 2), "june" + n), MakeRecord(Utc(2004, 6, 3), "old")});
    LocationDatabaseRelease(std::move(database));
  }
  EXPECT_EQ(NotesOnDisk(indexPath),
            (std::map<std::string, int>{
                {"may0", 2}, {"june0", 2}, {"may1", 2}, {"june1", 2}, {"old", 2}}));
}

TEST(LocationDatabase, EntriesThatNameOneFileListItsRecordsOnce) {
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  WriteBytes(indexPath, IndexText({{"both.xml", Utc(2004, 5, 1), Utc(2004, 6, 1)},
                                   {"./both.xml", Utc(2004, 6, 1), Utc(2004, 7, 1)}}));
  WriteLocationFile(folder / "both.xml",
                    {MakeRecord(Utc(2004, 5, 3), "may"), MakeRecord(Utc(2004, 6, 3), "june")});
  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
  CSearchCriteria overBoth;
  overBoth.begin = Utc(2004, 5, 2);
  overBoth.end = Utc(2004, 6, 4);
  for (const CSearchCriteria& criteria : {CSearchCriteria(), overBoth}) {
    CLocationQuery query(criteria);
    ExecuteDatabaseOperation(*database, query);
    EXPECT_EQ(query.GetResults()->GetCount(), 2u);
  }
}

namespace {

enum class ELink { kSymbolic, kHard };

// Makes `name` a link to `target`, a file in the same folder.
void Link(ELink kind, const std::string& target, const std::string& name) {
  const std::string relative = target.substr(target.rfind('/') + 1);
  ASSERT_EQ(kind == ELink::kSymbolic ? ::symlink(relative.c_str(), name.c_str())
                                     : ::link(target.c_str(), name.c_str()),
            0);
}

ino_t InodeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// The notes a search over [begin, end) finds, sorted; every record with both
// bounds 0.
std::vector<std::string> FoundNotes(CLocationDatabase& database, int32_t begin = 0,
                                    int32_t end = 0) {
  CSearchCriteria criteria;
  criteria.begin = begin;
  criteria.end = end;
  CLocationQuery query(criteria);
  ExecuteDatabaseOperation(database, query);
  std::vector<std::string> notes;
  CSearchResult* results = query.GetResults();
  for (std::size_t i = 0; i < results->GetCount(); ++i) {
    results->Seek(i);
    notes.push_back(results->GetCurrent().note);
  }
  std::sort(notes.begin(), notes.end());
  return notes;
}

}  // namespace

TEST(LocationDatabase, EntriesThatReachOneFileThroughALinkFileAndListEveryRecordOnce) {
  for (const ELink kind : {ELink::kSymbolic, ELink::kHard}) {
    SCOPED_TRACE(kind == ELink::kSymbolic ? "symbolic link" : "hard link");
    // A hand-made index: January in two halves, the second named through a link.
    CTempFolder folder;
    const std::string indexPath = folder / "index.xml";
    const std::string file = folder / "200501.xml";
    const std::string alias = folder / "alias.xml";
    WriteBytes(indexPath, IndexText({{"200501.xml", Utc(2005, 1, 1), Utc(2005, 1, 16)},
                                     {"alias.xml", Utc(2005, 1, 16), Utc(2005, 2, 1)}}));
    WriteLocationFile(file, {MakeRecord(Utc(2005, 1, 20), "old")});
    Link(kind, file, alias);
    for (int round = 0; round < 2; ++round) {
      std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
      File(*database, {MakeRecord(Utc(2005, 1, 5), "first"), MakeRecord(Utc(2005, 1, 20), "second"),
                       MakeRecord(Utc(2005, 1, 20), "old")});
      LocationDatabaseRelease(std::move(database));
    }
    // Still one file for both entries, holding every record once: a symbolic
    // link still leads to it, and an entry naming a hard link of it now names
    // it by the first entry's href, since a save replaces it under one name.
    if (kind == ELink::kSymbolic) {
      EXPECT_EQ(InodeOf(alias), InodeOf(file));
    }
    std::unique_ptr<CLocationDatabase> index = OpenLocationDatabase(indexPath, false);
    EXPECT_EQ(ListSections(*index)[1].href, kind == ELink::kSymbolic ? "alias.xml" : "200501.xml");
    std::vector<std::string> notes;
    for (const CLocationRecord& record : ReadRecords(file)) notes.push_back(record.note);
    EXPECT_EQ(notes, (std::vector<std::string>{"old", "first", "second"}));

    std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
    EXPECT_EQ(FoundNotes(*database), (std::vector<std::string>{"first", "old", "second"}));
    EXPECT_EQ(FoundNotes(*database, Utc(2005, 1, 17), Utc(2005, 2, 1)),
              (std::vector<std::string>{"old", "second"}));
    EXPECT_EQ(FoundNotes(*database, Utc(2005, 1, 1), Utc(2005, 1, 16)),
              (std::vector<std::string>{"first"}));
  }
}

TEST(LocationDatabase, ADaySearchReadsUnsavedRecordsThroughTheEntryThatFilesThem) {
  for (const ELink kind : {ELink::kSymbolic, ELink::kHard}) {
    SCOPED_TRACE(kind == ELink::kSymbolic ? "symbolic link" : "hard link");
    // The second half of January is filed through the first entry, which
    // reaches the same file: its records are there before any save, though
    // that entry lies outside the day searched.
    CTempFolder folder;
    const std::string indexPath = folder / "index.xml";
    const std::string file = folder / "200501.xml";
    WriteBytes(indexPath, IndexText({{"200501.xml", Utc(2005, 1, 1), Utc(2005, 1, 16)},
                                     {"alias.xml", Utc(2005, 1, 16), Utc(2005, 2, 1)}}));
    WriteLocationFile(file, {MakeRecord(Utc(2005, 1, 20, 8), "saved")});
    Link(kind, file, folder / "alias.xml");
    std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
    EXPECT_EQ(FoundNotes(*database, Utc(2005, 1, 20), Utc(2005, 1, 21)),
              (std::vector<std::string>{"saved"}));
    File(*database, {MakeRecord(Utc(2005, 1, 20, 9), "unsaved")});
    EXPECT_EQ(FoundNotes(*database, Utc(2005, 1, 20), Utc(2005, 1, 21)),
              (std::vector<std::string>{"saved", "unsaved"}));
    DiscardUnsavedChanges(*database);
  }
}

TEST(LocationDatabase, ASaveCutShortAfterAnyFileLeavesEntriesOfOneFileReachingOneFile) {
  for (const ELink kind : {ELink::kSymbolic, ELink::kHard}) {
    for (const char* stopAfter : {"index.xml", "200501.xml"}) {
      SCOPED_TRACE(std::string(kind == ELink::kSymbolic ? "symbolic" : "hard") + " link, stop after " +
                   stopAfter);
      CTempFolder folder;
      const std::string indexPath = folder / "index.xml";
      WriteBytes(indexPath, IndexText({{"200501.xml", Utc(2005, 1, 1), Utc(2005, 1, 16)},
                                       {"alias.xml", Utc(2005, 1, 16), Utc(2005, 2, 1)}}));
      WriteLocationFile(folder / "200501.xml", {MakeRecord(Utc(2005, 1, 20), "old")});
      Link(kind, folder / "200501.xml", folder / "alias.xml");
      // The process ends right after the named file is replaced, as a crash.
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        SetAtomicReplaceHook([&](const std::string& path) {
          if (path.size() >= std::strlen(stopAfter) &&
              path.compare(path.size() - std::strlen(stopAfter), std::string::npos, stopAfter) == 0)
            ::_exit(0);
        });
        std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
        File(*database, {MakeRecord(Utc(2005, 1, 20), "new")});
        LocationDatabaseRelease(std::move(database));
        ::_exit(0);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status));
      std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
      std::vector<std::string> found = FoundNotes(*database);
      if (found.size() == 1) {
        EXPECT_EQ(found, std::vector<std::string>{"old"});
      } else {
        EXPECT_EQ(found, (std::vector<std::string>{"new", "old"}));
      }
    }
  }
}

TEST(LocationDatabase, ANewSectionNeverTakesAFileAnEntryReachesThroughALink) {
  for (const ELink kind : {ELink::kSymbolic, ELink::kHard}) {
    SCOPED_TRACE(kind == ELink::kSymbolic ? "symbolic link" : "hard link");
    CTempFolder folder;
    const std::string indexPath = folder / "index.xml";
    WriteBytes(indexPath, IndexText({{"alias.xml", Utc(2005, 1, 1), Utc(2005, 1, 16)}}));
    WriteLocationFile(folder / "200501.xml", {MakeRecord(Utc(2005, 1, 3), "early")});
    Link(kind, folder / "200501.xml", folder / "alias.xml");
    std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
    File(*database, {MakeRecord(Utc(2005, 1, 20), "late")});
    EXPECT_EQ(ListSections(*database)[1].href, "200501-2.xml");
    LocationDatabaseRelease(std::move(database));
    EXPECT_EQ(ReadRecords(folder / "alias.xml").size(), 1u);
    EXPECT_EQ(ReadRecords(folder / "200501-2.xml").size(), 1u);
  }
}

TEST(LocationDatabase, SectionElementsAreCheckedWhenFirstDecoded) {
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  auto firstDecodeError = [&](const std::string& section) {
    WriteBytes(indexPath, "<index>" + section + "</index>");
    std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
    return ThrownText([&] { FindOrCreateSection(*database, Utc(2004, 5, 2)); });
  };
  const std::string begin = "<begin>2004-05-01T00:00:00Z</begin>";
  const std::string end = "<end>2004-06-01T00:00:00Z</end>";
  const std::string include = "<include href=\"200405.xml\"/>";
  EXPECT_EQ(firstDecodeError("<section>" + begin + end + "</section>"),
            "XML Node Not Found: include/@href");
  EXPECT_EQ(firstDecodeError("<section>" + end + include + "</section>"),
            "XML Node Not Found: begin/text()");
  EXPECT_EQ(firstDecodeError("<section><begin>2004-05-01</begin>" + end + include + "</section>"),
            "Invalid Date: 2004-05-01");
  EXPECT_EQ(firstDecodeError("<section><begin>2004-06-02T00:00:00Z</begin>" + end + include +
                             "</section>"),
            "Invalid Time Range");
  // An empty range is allowed; it holds no time, so filing makes a new section.
  EXPECT_EQ(firstDecodeError("<section><begin>2004-06-01T00:00:00Z</begin>" + end + include +
                             "</section>"),
            "no exception");
}

// A hand-made entry may repeat its parts or hold some without what they
// need: each part is the first that has it, wherever it stands.
TEST(LocationDatabase, SectionElementsGiveTheFirstPartThatHoldsWhatIsWanted) {
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  WriteBytes(indexPath,
             "<index><section><include/><x/>text<end>2004-06-01T00:00:00Z</end><begin/>"
             "<begin><!--c--><![CDATA[2004-05-01T00:00:00Z]]></begin><include href=\"a.xml\"/>"
             "<end>bad</end><begin>bad</begin><include href=\"b.xml\"/></section>"
             "<section><begin>2004-06-01T00:00:00Z</begin><end>2004-07-01T09:00:00+09:00</end>"
             "<include href=\"\"/></section></index>");
  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
  const std::vector<CSectionInfo> sections = ListSections(*database);
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0].href, "a.xml");
  EXPECT_EQ(sections[0].begin, Utc(2004, 5, 1));
  EXPECT_EQ(sections[0].end, Utc(2004, 6, 1));
  EXPECT_EQ(sections[1].href, "");
  EXPECT_EQ(sections[1].end, Utc(2004, 7, 1));

  // What is missing is told in the order href, begin, end.
  auto firstDecodeError = [&](const std::string& section) {
    WriteBytes(indexPath, "<index>" + section + "</index>");
    std::unique_ptr<CLocationDatabase> reopened = OpenLocationDatabase(indexPath, false);
    return ThrownText([&] { ListSections(*reopened); });
  };
  EXPECT_EQ(firstDecodeError("<section><end>2004-06-01T00:00:00Z</end></section>"),
            "XML Node Not Found: include/@href");
  EXPECT_EQ(firstDecodeError("<section><include href=\"a.xml\"/><end>x</end><begin/></section>"),
            "XML Node Not Found: begin/text()");
  EXPECT_EQ(firstDecodeError("<section><begin>x</begin><include href=\"a.xml\"/></section>"),
            "XML Node Not Found: end/text()");
  EXPECT_EQ(
      firstDecodeError("<section><begin>x</begin><end>y</end><include href=\"a\"/></section>"),
      "Invalid Date: y");
}

TEST(LocationDatabase, FailedSavesLeaveEveryFileIntact) {
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, true);
  // Enough records that every file is written in several pieces.
  std::vector<CLocationRecord> records;
  for (int i = 0; i < 400; ++i) {
    records.push_back(MakeRecord(Utc(2004, 5, 1) + i * 60, "a note long enough to fill the file"));
    records.push_back(MakeRecord(Utc(2004, 6, 1) + i * 60, "a note long enough to fill the file"));
  }
  File(*database, records);
  SaveModifiedSections(*database);
  const std::string may = ReadBytes(folder / "200405.xml");
  const std::string june = ReadBytes(folder / "200406.xml");
  const std::string index = ReadBytes(indexPath);

  for (CLocationRecord& record : records) record.SetNote("a second note, as long as the first");
  File(*database, records);
  {
    CWriteHookScope hook([](std::size_t written) {
      if (written > 0) throw CWin32Exception(EIO);
    });
    EXPECT_THROW(SaveModifiedSections(*database), CWin32Exception);
  }
  EXPECT_EQ(ReadBytes(folder / "200405.xml"), may);
  EXPECT_EQ(ReadBytes(folder / "200406.xml"), june);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"200405.xml", "200406.xml", "index.xml"}));

  // Both files are still modified, so the next save writes them.
  SaveModifiedSections(*database);
  EXPECT_EQ(ReadRecords(folder / "200405.xml").size(), 800u);
  EXPECT_EQ(ReadRecords(folder / "200406.xml").size(), 800u);
  EXPECT_EQ(ReadBytes(indexPath), index);
}

TEST(LocationDatabase, ASectionWhoseIndexEntryFailsToSaveIsNotAddedAndItsFileIsAdoptedLater) {
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, true);
  const std::string empty = ReadBytes(indexPath);
  {
    // The section file is written; the index after it fails.
    int writes = 0;
    CWriteHookScope hook([&](std::size_t written) {
      if (written == 0 && ++writes == 2) throw CWin32Exception(EIO);
    });
    EXPECT_THROW(File(*database, {MakeRecord(Utc(2004, 5, 2))}), CWin32Exception);
  }
  EXPECT_EQ(ReadBytes(indexPath), empty);
  EXPECT_TRUE(ReadRecords(folder / "200405.xml").empty());
  // What the index holds in memory is what is on disk.
  EXPECT_FALSE(database->IsModified());
  EXPECT_TRUE(ListSections(*database).empty());

  File(*database, {MakeRecord(Utc(2004, 5, 3))});
  SaveModifiedSections(*database);
  EXPECT_EQ(ListSections(*OpenLocationDatabase(indexPath, false)).size(), 1u);
  EXPECT_EQ(ReadRecords(folder / "200405.xml").size(), 1u);
}

TEST(LocationDatabase, SectionsThatAreNoRegularFilesAreRefusedUnreadAndNeverAdopted) {
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  WriteBytes(indexPath, IndexText({{"200405.xml", Utc(2004, 5, 1), Utc(2004, 6, 1)},
                                   {"200406.xml", Utc(2004, 6, 1), Utc(2004, 7, 1)}}));
  ASSERT_EQ(::mkfifo((folder / "200405.xml").c_str(), 0600), 0);
  std::filesystem::create_directory(folder / "200406.xml");
  ASSERT_EQ(::mkfifo((folder / "200407.xml").c_str(), 0600), 0);

  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
  for (const auto& [time, name] :
       {std::pair{Utc(2004, 5, 2), "200405.xml"}, std::pair{Utc(2004, 6, 2), "200406.xml"}}) {
    std::string text;
    EXPECT_TRUE(ReturnsWithoutWaitingOn(folder / "200405.xml", [&] {
      text = ThrownText([&] { File(*database, {MakeRecord(time)}); });
    }));
    EXPECT_EQ(text, "Loading XML File Failed: " + folder / name + "\nNot a regular file");
  }
  // A new month's section takes another name than the FIFO at its own.
  EXPECT_TRUE(ReturnsWithoutWaitingOn(folder / "200407.xml", [&] {
    File(*database, {MakeRecord(Utc(2004, 7, 2), "july")});
    SaveModifiedSections(*database);
  }));
  EXPECT_EQ(ListSections(*database).back().href, "200407-2.xml");
  EXPECT_EQ(ReadRecords(folder / "200407-2.xml").at(0).note, "july");
  EXPECT_TRUE(std::filesystem::is_fifo(folder / "200407.xml"));

  // An index that is a FIFO is refused the same way.
  const std::string fifoIndex = folder / "fifo-index.xml";
  ASSERT_EQ(::mkfifo(fifoIndex.c_str(), 0600), 0);
  std::string text;
  EXPECT_TRUE(ReturnsWithoutWaitingOn(
      fifoIndex, [&] { text = ThrownText([&] { OpenLocationDatabase(fifoIndex, false); }); }));
  EXPECT_EQ(text, "Loading XML File Failed: " + fifoIndex + "\nNot a regular file");
}

namespace {

// Sets the time a folder's entries last changed to `secondsAgo` before now,
// as though they had settled long ago.
void AgeFolder(const std::string& folder, int secondsAgo) {
  timespec now{};
  ASSERT_EQ(::clock_gettime(CLOCK_REALTIME, &now), 0);
  const timespec times[2] = {now, {now.tv_sec - secondsAgo, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
}

}  // namespace

TEST(LocationDatabase, LinksMadeBetweenSearchesAreSeenByTheNextSearch) {
  // Which entries reach one file is remembered between searches while their
  // folders stay as they were; a link made since is seen all the same.
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  const std::string file = folder / "200501.xml";
  const std::string alias = folder / "alias.xml";
  std::filesystem::create_directory(folder / "sub");
  const std::string target = folder / "sub/target.xml";
  WriteBytes(indexPath, IndexText({{"200501.xml", Utc(2005, 1, 1), Utc(2005, 1, 11)},
                                   {"alias.xml", Utc(2005, 1, 11), Utc(2005, 1, 21)},
                                   {"link.xml", Utc(2005, 1, 21), Utc(2005, 2, 1)}}));
  WriteLocationFile(file, {MakeRecord(Utc(2005, 1, 5), "file")});
  WriteLocationFile(alias, {MakeRecord(Utc(2005, 1, 15), "alias")});
  WriteLocationFile(target, {MakeRecord(Utc(2005, 1, 25), "target")});
  ASSERT_EQ(::symlink("sub/target.xml", (folder / "link.xml").c_str()), 0);
  AgeFolder(folder.path().string(), 7200);
  AgeFolder(folder / "sub", 7200);
  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
  EXPECT_EQ(FoundNotes(*database), (std::vector<std::string>{"alias", "file", "target"}));
  EXPECT_EQ(FoundNotes(*database), (std::vector<std::string>{"alias", "file", "target"}));

  // The second entry now names the first one's file by a hard link.
  ASSERT_EQ(::unlink(alias.c_str()), 0);
  Link(ELink::kHard, file, alias);
  AgeFolder(folder.path().string(), 3600);
  EXPECT_EQ(FoundNotes(*database), (std::vector<std::string>{"file", "target"}));

  // What the symbolic link leads to becomes that file too, while the folder
  // of the link stays as it was.
  ASSERT_EQ(::unlink(target.c_str()), 0);
  ASSERT_EQ(::link(file.c_str(), target.c_str()), 0);
  AgeFolder(folder / "sub", 3600);
  EXPECT_EQ(FoundNotes(*database), (std::vector<std::string>{"file"}));
  EXPECT_EQ(FoundNotes(*database, Utc(2005, 1, 21), Utc(2005, 2, 1)), (std::vector<std::string>{}));
}
