// A generated database pins what filing saves and what searches find: the
// bytes of every file and every query's records, in their order (records of
// equal times included). The figures were taken before searching and saving
// were reworked for speed; a change that alters one alters what users have
// on disk or see.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "DatabaseTestSupport.h"
#include "FileTestSupport.h"
#include "TimeZoneGuard.h"
#include "location/LocationQuery.h"

namespace {

struct CFnv {
  uint64_t hash = 1469598103934665603ull;
  void Add(std::string_view bytes) {
    for (const unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
    hash = (hash ^ 0xff) * 1099511628211ull;  // ends each piece
  }
};

// Records over some seventeen months, in several datums and units, some without a
// time or a note, many sharing a second, notes with characters that need
// escaping.
std::vector<CLocationRecord> Generate(int count) {
  std::mt19937 random(1422);
  const char* const words[] = {"harbour", "station & bridge", "<summit>", "market \"east\"",
                               "受信",    "tunnel\ttab",      "river"};
  std::vector<CLocationRecord> records;
  const int32_t first = Utc(2004, 3, 1);
  for (int i = 0; i < count; ++i) {
    CLocationRecord record;
    record.position.datum = GetDatumByIndex(static_cast<int>(random() % 3));
    const double latitude = 30.0 + static_cast<double>(random() % 1500000) / 100000.0;
    const double longitude = 128.0 + static_cast<double>(random() % 1800000) / 100000.0;
    record.position.latitude =
        random() % 4 == 0 ? CAngle::FromDms(DegreesToDms(latitude)) : CAngle::FromDegrees(latitude);
    record.position.longitude = CAngle::FromDegrees(longitude);
    if (random() % 2) {
      record.position.altitude = static_cast<double>(random() % 40000) / 10.0 - 100.0;
      record.position.hasAltitude = true;
    }
    // Three records each half day, on a few whole hours, so equal times abound.
    const int32_t step = static_cast<int32_t>(random() % 4) * 3600 * 3;
    record.time = CZonedTime(first + (i / 3) * 3600 * 12 + step, (i % 5 == 0) ? 0 : 9 * 3600);
    record.hasTime = random() % 17 != 0;
    if (random() % 6 != 0) {
      record.SetNote(std::string(words[random() % 7]) + " " + std::to_string(random() % 50));
    }
    records.push_back(record);
  }
  return records;
}

void AddResults(CFnv& fnv, CLocationDatabase& database, const CSearchCriteria& criteria) {
  CLocationQuery query(criteria);
  ExecuteDatabaseOperation(database, query);
  CSearchResult& results = *query.GetResults();
  fnv.Add(std::to_string(results.GetCount()));
  for (std::size_t i = 0; i < results.GetCount(); ++i) {
    results.Seek(i);
    const CLocationRecord& r = results.GetCurrent();
    char text[160];
    std::snprintf(text, sizeof text, "%d %d %d %d %s %.9f %.9f %d %.3f", r.time.seconds,
                  r.time.offset, r.hasTime, r.hasNote, r.position.datum.GetName().c_str(),
                  r.position.latitude.ToDegrees(), r.position.longitude.ToDegrees(),
                  r.position.hasAltitude, r.position.altitude);
    fnv.Add(text);
    fnv.Add(r.note);
  }
}

std::vector<CSearchCriteria> Queries() {
  std::vector<CSearchCriteria> queries;
  queries.emplace_back();  // everything, oldest first
  CSearchCriteria newest;
  newest.oldestFirst = false;
  queries.push_back(newest);
  CSearchCriteria rectangle;
  rectangle.rect = CGeoRect{37.0, 138.0, 35.0, 141.0};
  queries.push_back(rectangle);
  for (int day = 0; day < 4; ++day) {
    CSearchCriteria oneDay;
    oneDay.begin = Utc(2004, 4 + day * 3, 2 + day);
    oneDay.end = oneDay.begin + 86400;
    oneDay.oldestFirst = day % 2 == 0;
    queries.push_back(oneDay);
  }
  CSearchCriteria note;
  note.words = {"bridge"};
  note.oldestFirst = false;
  queries.push_back(note);
  CSearchCriteria all;
  all.begin = Utc(2004, 5, 17);
  all.end = Utc(2005, 1, 3);
  all.rect = CGeoRect{32.0, 145.0, 41.0, 130.0};
  all.words = {"r"};
  queries.push_back(all);
  return queries;
}

TEST(GeneratedDatabase, FilingSavesAndSearchesFindWhatTheyAlwaysHave) {
  const TimeZoneGuard zone("JST-9");
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  const std::vector<CLocationRecord> records = Generate(3000);
  {
    std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, true);
    for (std::size_t done = 0; done < records.size(); done += 700) {
      const auto begin = records.begin() + static_cast<std::ptrdiff_t>(done);
      const std::vector<CLocationRecord> batch(
          begin,
          begin + static_cast<std::ptrdiff_t>(std::min<std::size_t>(700, records.size() - done)));
      File(*database, batch);
      SaveModifiedSections(*database);
    }
    LocationDatabaseRelease(std::move(database));
  }
  CFnv bytes;
  for (const std::string& name : folder.Names()) {
    bytes.Add(name);
    bytes.Add(ReadBytes(folder / name));
  }
  EXPECT_EQ(bytes.hash, 14233562731172219582ull) << folder.Names().size() << " files";

  // Each query twice: on a database just opened, and again on the same one.
  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
  std::vector<uint64_t> found;
  for (int pass = 0; pass < 2; ++pass) {
    for (const CSearchCriteria& criteria : Queries()) {
      CFnv fnv;
      AddResults(fnv, *database, criteria);
      found.push_back(fnv.hash);
    }
  }
  const std::vector<uint64_t> once = {
      2094165407103956471ull,  3466538448427640897ull, 15998493488708174522ull,
      12782352434576481997ull, 6046846884736591340ull, 4380007742678626012ull,
      534662629248668692ull,   2674129491309854891ull, 3213402762880250284ull};
  std::vector<uint64_t> expected = once;
  expected.insert(expected.end(), once.begin(), once.end());
  EXPECT_EQ(found, expected);
}

}  // namespace
