#include "location/LocationFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "FileTestSupport.h"
#include "location/PointXml.h"

namespace {

CLocationRecord Record(int i) {
  CLocationRecord record;
  record.position.datum = GetDatumByIndex(i % 3);
  record.position.latitude = CAngle::FromDegrees(35.0 + i * 0.01);
  record.position.longitude = CAngle::FromDms(CDms{-1, 139, static_cast<uint32_t>(i % 60), 7, 25});
  if (i % 2) {
    record.time = CZonedTime(1083406830 + i, (i % 3 - 1) * 32400);
    record.hasTime = true;
    record.SetNote("メモ " + std::to_string(i));
    record.position.altitude = i * 1.5;
    record.position.hasAltitude = true;
    record.position.fixMode = "3D";
    record.position.hasFixMode = true;
    record.position.semiMajorAxisError = 10;
    record.position.hasSemiMajorAxisError = true;
    record.position.semiMinorAxisError = 5;
    record.position.hasSemiMinorAxisError = true;
    record.position.verticalError = 2.25;
    record.position.hasVerticalError = true;
    record.position.majorAxisAngle = 45;
    record.position.hasMajorAxisAngle = true;
  }
  return record;
}

// The canonical text of a record, to compare records field by field.
std::string Text(const CLocationRecord& record) {
  pugi::xml_document document;
  std::ostringstream out;
  WritePointXml(document, record).print(out, "", pugi::format_raw);
  return out.str() + (record.hasNote ? "" : "(no note)") + (record.hasTime ? "" : "(no time)");
}

class LocationFileTest : public ::testing::TestWithParam<const char*> {
 protected:
  TimeZoneGuard zone{GetParam()};
};

TEST_P(LocationFileTest, RecordsSurviveWriteSaveLoadRead) {
  CTempFolder folder;
  const std::string path = folder / "2004-05.xml";
  {
    auto file = LoadLocationFile(path, XmlOpenMode::kCreateExclusive);
    for (int i = 0; i < 6; ++i) {
      CXmlElementRef proxy = AppendRecordElement(*file, Record(i));
      EXPECT_EQ(Text(GetRecord(proxy)), Text(Record(i)));
    }
    EXPECT_TRUE(file->IsModified());
    file->SaveIfModified();
  }
  auto file = LoadLocationFile(path, XmlOpenMode::kOpenExisting);
  auto records = MakeChildElementEnumerator(*file);
  ASSERT_EQ(records.GetCount(), 6u);
  for (int i = 0; records.HasMore(); ++i) {
    const CLocationRecord& record = GetRecord(records.Next());
    EXPECT_EQ(Text(record), Text(Record(i))) << i;
    EXPECT_EQ(record.time, Record(i).time);
  }
  EXPECT_FALSE(file->IsModified());
}

INSTANTIATE_TEST_SUITE_P(Zones, LocationFileTest, ::testing::ValuesIn(kTestZones),
                         TimeZoneTestName<::testing::TestParamInfo<const char*>>);

TEST(LocationFile, BytesDoNotDependOnTheMachinesZone) {
  CTempFolder folder;
  std::vector<std::string> files;
  for (const char* zoneName : kTestZones) {
    TimeZoneGuard zone(zoneName);
    const std::string path = folder / (std::to_string(files.size()) + ".xml");
    auto file = LoadLocationFile(path, XmlOpenMode::kCreateOnSave);
    for (int i = 0; i < 4; ++i) AppendRecordElement(*file, Record(i));
    file->SaveIfModified();
    files.push_back(ReadBytes(path));
  }
  EXPECT_EQ(files[1], files[0]);
  EXPECT_EQ(files[2], files[0]);
}

TEST(LocationFile, MalformedPointFailsOnlyWhenThatRecordIsRead) {
  CTempFolder folder;
  const std::string path = folder / "points.xml";
  const std::string position =
      "<position><datum>wgs84</datum><latitude unit=\"degree\">1</latitude>"
      "<longitude unit=\"dms\">+2,3,4.5</longitude></position>";
  WriteBytes(path, "<?xml version=\"1.0\"?><points><point>" + position +
                       "</point><point><time>2004-13-45T99:99</time>" + position +
                       "</point><point>" + position + "<note>ok</note></point></points>");
  auto file = LoadLocationFile(path, XmlOpenMode::kOpenExisting);
  auto records = MakeChildElementEnumerator(*file);
  EXPECT_EQ(GetRecord(records.Next()).position.longitude.dms.hundredths, 50u);
  CXmlElementRef bad = records.Next();
  EXPECT_EQ(ThrownText([&] { GetRecord(bad); }), "Incomplete Date: 2004-13-45T99:99");
  EXPECT_EQ(GetRecord(records.Next()).note, "ok");
  EXPECT_EQ(ThrownText([&] { GetRecord(bad); }), "Incomplete Date: 2004-13-45T99:99");
}

TEST(LocationFile, LoadErrorsAreTheXmlLayers) {
  CTempFolder folder;
  const std::string path = folder / "a.xml";
  WriteBytes(path, "<point/>");
  EXPECT_EQ(ThrownText([&] { LoadLocationFile(path, XmlOpenMode::kOpenExisting); }),
            "Invalid Root Element: point");
  EXPECT_EQ(ThrownText([&] { LoadLocationFile(folder / "b.xml", XmlOpenMode::kOpenExisting); }),
            "Loading XML File Failed: " + (folder / "b.xml"));
  LoadLocationFile(folder / "b.xml", XmlOpenMode::kCreateNow);
  EXPECT_EQ(ReadBytes(folder / "b.xml"), "<?xml version=\"1.0\"?>\n<points />\n");

  // A FIFO or a folder is refused at once, unread.
  const std::string fifo = folder / "x.xml";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string text;
  EXPECT_TRUE(ReturnsWithoutWaitingOn(fifo, [&] {
    text = ThrownText([&] { LoadLocationFile(fifo, XmlOpenMode::kOpenExisting); });
  }));
  EXPECT_EQ(text, "Loading XML File Failed: " + fifo + "\nNot a regular file");
  std::filesystem::create_directory(folder / "c.xml");
  EXPECT_EQ(ThrownText([&] { LoadLocationFile(folder / "c.xml", XmlOpenMode::kOpenExisting); }),
            "Loading XML File Failed: " + (folder / "c.xml") + "\nNot a regular file");
}

}  // namespace
