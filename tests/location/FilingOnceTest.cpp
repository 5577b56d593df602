// Filing received records stores each one once: the same batch filed again,
// also after a process filing it was killed at any moment.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "DatabaseTestSupport.h"
#include "FileTestSupport.h"
#include "location/AtomicFile.h"

namespace {

// How often each note occurs in a location file on disk; none when it is missing.
void CountNotes(const std::string& path, std::map<std::string, int>& notes) {
  if (!std::filesystem::exists(path)) return;
  const auto file = LoadLocationFile(path, XmlOpenMode::kOpenExisting);
  for (pugi::xml_node point : file->GetDocumentElement().children("point")) {
    ++notes[point.child("note").text().get()];
  }
}

void FileAndSave(const std::string& indexPath, const std::vector<CLocationRecord>& records) {
  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
  File(*database, records);
  SaveModifiedSections(*database);
  LocationDatabaseRelease(std::move(database));
}

// A folder in memory when the machine has one: killing a process tests the
// order of the writes, not the disk.
std::filesystem::path FastFolder() {
  std::error_code error;
  if (std::filesystem::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0) {
    return "/dev/shm";
  }
  return std::filesystem::temp_directory_path();
}

}  // namespace

TEST(FilingOnce, RecordsAlreadyInTheirSectionAreNotFiledAgain) {
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, true);
  const CLocationRecord base = MakeRecord(Utc(2004, 5, 1, 12), "walk");
  std::vector<CLocationRecord> batch = {base, MakeRecord(Utc(2004, 6, 1), "june")};
  // Each differs from the first in one stored field only.
  const auto vary = [&](auto change) {
    CLocationRecord record = base;
    change(record);
    batch.push_back(record);
  };
  vary([](CLocationRecord& r) { r.time.offset = 0; });
  vary([](CLocationRecord& r) { r.note += " "; });
  vary([](CLocationRecord& r) { r.hasNote = false, r.note.clear(); });
  vary([](CLocationRecord& r) { r.position.hasAltitude = true; });
  vary([](CLocationRecord& r) { r.position.datum = GetDatumByIndex(1); });
  vary([](CLocationRecord& r) { r.position.latitude = CAngle::FromDegrees(35.00001); });
  File(*database, batch);
  SaveModifiedSections(*database);
  EXPECT_EQ(ReadRecords(folder / "200405.xml").size(), 7u);

  // Again in the same session, and after the database was opened anew.
  File(*database, batch);
  EXPECT_FALSE(GetSection(FindOrCreateSection(*database, base.time.seconds))
                   .GetLocationFile()
                   .IsModified());
  database = OpenLocationDatabase(indexPath, false);
  File(*database, batch);
  SaveModifiedSections(*database);
  EXPECT_EQ(ReadRecords(folder / "200405.xml").size(), 7u);
  EXPECT_EQ(ReadRecords(folder / "200406.xml").size(), 1u);

  // Two messages alike in every field are one record.
  File(*database, {MakeRecord(Utc(2004, 5, 9), "twice"), MakeRecord(Utc(2004, 5, 9), "twice")});
  SaveModifiedSections(*database);
  EXPECT_EQ(ReadRecords(folder / "200405.xml").size(), 8u);
}

TEST(FilingOnce, StoredRecordsAreComparedByTheirValuesOnly) {
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  File(*OpenLocationDatabase(indexPath, true), {MakeRecord(Utc(2004, 5, 1), "first")});
  // The section as a hand or another program may have left it: the records
  // are the ones below, written other ways.
  const std::string position =
      "<position><datum>wgs84</datum><latitude unit=\"degree\">35</latitude>"
      "<longitude unit=\"degree\">139.000</longitude></position>";
  const auto point = [&](const std::string& day, const std::string& inside) {
    return "<point><time>2004-05-" + day + "T09:00:00+09:00</time>" + inside + "</point>\n";
  };
  const std::string indented =
      "  <point>\n    <!-- checked -->\n    <time>2004-05-02T09:00:00+09:00</time>\n    " +
      position + "\n    <note>walk</note>\n  </point>\n";
  WriteBytes(folder / "200405.xml",
             "<?xml version=\"1.0\"?>\n<points>\n" + indented +
                 point("03", position + "<?app mark?><note><![CDATA[run]]></note>") +
                 point("04", "<note>s&#105;t</note>" + position) +
                 point("05", position + "<note>sw<!-- and -->im</note>") +
                 point("06",
                       "<position><latitude unit=\"degree\">35.000001</latitude>"
                       "<longitude unit=\"degree\">139</longitude><datum>wgs84</datum>"
                       "</position><note>close</note>") +
                 point("07", "<note>unreadable</note>") + "</points>\n");
  const std::vector<CLocationRecord> again = {
      MakeRecord(Utc(2004, 5, 2), "walk"), MakeRecord(Utc(2004, 5, 3), "run"),
      MakeRecord(Utc(2004, 5, 4), "sit"),
      // What is stored reads "sw" and 35.000001: these records are new.
      MakeRecord(Utc(2004, 5, 5), "swim"), MakeRecord(Utc(2004, 5, 6), "close")};
  for (int round = 0; round < 2; ++round) {
    std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
    File(*database, again);
    LocationDatabaseRelease(std::move(database));
  }
  std::map<std::string, int> notes;
  CountNotes(folder / "200405.xml", notes);
  EXPECT_EQ(notes, (std::map<std::string, int>{{"walk", 1},
                                               {"run", 1},
                                               {"sit", 1},
                                               {"sw", 1},
                                               {"swim", 1},
                                               {"close", 2},
                                               {"unreadable", 1}}));
  EXPECT_NE(ReadBytes(folder / "200405.xml").find("<!-- checked -->"), std::string::npos);
}

TEST(FilingOnce, KilledAtRandomMomentsAndFiledAgainEveryRecordIsStoredOnce) {
  CTempFolder folder(FastFolder());
  const std::string indexPath = folder / "index.xml";
  OpenLocationDatabase(indexPath, true);
  // Each batch spans two months, so it is saved in two files; a new month
  // every 25 rounds makes a new section with its index entry now and then.
  const auto firstMonth = [](int round) { return 1 + round / 25; };
  const auto batch = [&](int round) {
    std::vector<CLocationRecord> records;
    for (int k = 0; k < 6; ++k) {
      const int32_t time = Utc(2004, firstMonth(round) + k % 2, 1 + round % 25, k);
      records.push_back(MakeRecord(time, "round " + std::to_string(round) + "." + std::to_string(k)));
    }
    return records;
  };
  // The notes of the two section files a round's batch goes into; the
  // sections are named by their UTC month.
  const auto notesOfRound = [&](int round) {
    std::map<std::string, int> notes;
    for (int month = firstMonth(round); month <= firstMonth(round) + 1; ++month) {
      char name[16];
      std::snprintf(name, sizeof name, "2004%02d.xml", month);
      CountNotes(folder / name, notes);
    }
    return notes;
  };
  // A child files and saves one batch. With killAtWrite it kills itself as
  // it starts that write of a file (1 for the first), which cuts a batch
  // between two files with certainty.
  const auto runChild = [&](int round, int killAtWrite) {
    const pid_t child = ::fork();
    if (child == 0) {
      int writes = 0;
      if (killAtWrite > 0) {
        SetAtomicWriteHook([&](std::size_t written) {
          if (written == 0 && ++writes == killAtWrite) ::raise(SIGKILL);
        });
      }
      try {
        FileAndSave(indexPath, batch(round));
      } catch (...) {
        ::_exit(1);
      }
      ::_exit(0);
    }
    return child;
  };

  // One whole run tells how long a child takes; kills fall anywhere in it.
  const auto started = std::chrono::steady_clock::now();
  const pid_t first = runChild(0, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(first, &status, 0), first);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const auto childTime = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - started);

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<long> delay(0, childTime.count());
  std::uniform_int_distribution<int> write(1, 4);
  constexpr int kKills = 200;
  constexpr int kSelfKills = 24;
  int cutBetweenFiles = 0;
  for (int round = 1; round <= kKills + kSelfKills; ++round) {
    const bool self = round > kKills;
    const pid_t child = runChild(round, self ? write(random) : 0);
    if (!self) {
      std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
      ::kill(child, SIGKILL);
    }
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const std::map<std::string, int> beforeAgain = notesOfRound(round);
    int stored = 0;
    for (const CLocationRecord& record : batch(round)) stored += beforeAgain.count(record.note) ? 1 : 0;
    if (stored != 0 && stored != 6) ++cutBetweenFiles;

    FileAndSave(indexPath, batch(round));
    // Every record of the files this batch touched is there once, the
    // earlier batches' too.
    const std::map<std::string, int> after = notesOfRound(round);
    for (const auto& [note, count] : after) ASSERT_EQ(count, 1) << note;
    for (const CLocationRecord& record : batch(round)) {
      ASSERT_EQ(after.count(record.note), 1u) << record.note;
    }
    // What the killed writer left behind went with the next save.
    for (const std::string& name : folder.Names()) {
      ASSERT_EQ(name.find(".tmp"), std::string::npos) << name;
    }
  }
  // Some kills did fall between the saves of one batch.
  EXPECT_GT(cutBetweenFiles, 0);
  const std::map<std::string, int> notes = NotesOnDisk(indexPath);
  EXPECT_EQ(notes.size(), 6u * (kKills + kSelfKills + 1));
  for (const auto& [note, count] : notes) EXPECT_EQ(count, 1) << note;
  RecordProperty("cut_between_files", cutBetweenFiles);
}
