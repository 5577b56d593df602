#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "FileTestSupport.h"
#include "location/PointXml.h"

namespace {

std::string ToText(pugi::xml_node node) {
  std::ostringstream out;
  node.print(out, "", pugi::format_raw);
  return out.str();
}

// Reads the first child of the root of `xml` as a point.
CLocationRecord ReadPointText(const std::string& xml) {
  pugi::xml_document document;
  if (!document.load_string(xml.c_str())) throw std::logic_error("test XML not well formed");
  return ReadPointXml(document.document_element());
}

std::string Point(const std::string& position, const std::string& rest = "") {
  return "<point><position>" + position + "</position>" + rest + "</point>";
}

const std::string kLatLon =
    "<latitude unit=\"degree\">35.5</latitude><longitude unit=\"degree\">139.5</longitude>";

CLocationRecord FullRecord() {
  CLocationRecord record;
  record.position.datum = GetDatumByIndex(1);
  record.position.latitude = CAngle::FromDms(CDms{1, 35, 41, 22, 8});
  record.position.longitude = CAngle::FromDegrees(139.76543);
  record.position.altitude = 12.5;
  record.position.hasAltitude = true;
  record.position.fixMode = "GPS <3D> & \"more\"";
  record.position.hasFixMode = true;
  record.position.semiMajorAxisError = 0.000123;
  record.position.hasSemiMajorAxisError = true;
  record.position.semiMinorAxisError = 4.5;
  record.position.hasSemiMinorAxisError = true;
  record.position.verticalError = 7.0;
  record.position.hasVerticalError = true;
  record.position.majorAxisAngle = -30.25;
  record.position.hasMajorAxisAngle = true;
  record.time = CZonedTime(1083406830, 32400);
  record.hasTime = true;
  record.SetNote("東京タワー\n2階");
  return record;
}

void ExpectSameRecord(const CLocationRecord& a, const CLocationRecord& b) {
  const CPosition& p = a.position;
  const CPosition& q = b.position;
  EXPECT_EQ(p.datum, q.datum);
  EXPECT_EQ(p.latitude.unit, q.latitude.unit);
  EXPECT_EQ(p.latitude.ToDegrees(), q.latitude.ToDegrees());
  EXPECT_EQ(p.longitude.unit, q.longitude.unit);
  EXPECT_EQ(p.longitude.ToDegrees(), q.longitude.ToDegrees());
  EXPECT_EQ(p.hasAltitude, q.hasAltitude);
  EXPECT_EQ(p.altitude, q.altitude);
  EXPECT_EQ(p.hasFixMode, q.hasFixMode);
  EXPECT_EQ(p.fixMode, q.fixMode);
  EXPECT_EQ(p.hasSemiMajorAxisError, q.hasSemiMajorAxisError);
  EXPECT_EQ(p.semiMajorAxisError, q.semiMajorAxisError);
  EXPECT_EQ(p.hasSemiMinorAxisError, q.hasSemiMinorAxisError);
  EXPECT_EQ(p.semiMinorAxisError, q.semiMinorAxisError);
  EXPECT_EQ(p.hasVerticalError, q.hasVerticalError);
  EXPECT_EQ(p.verticalError, q.verticalError);
  EXPECT_EQ(p.hasMajorAxisAngle, q.hasMajorAxisAngle);
  EXPECT_EQ(p.majorAxisAngle, q.majorAxisAngle);
  EXPECT_EQ(a.hasTime, b.hasTime);
  EXPECT_EQ(a.time, b.time);
  EXPECT_EQ(a.hasNote, b.hasNote);
  EXPECT_EQ(a.note, b.note);
}

class PointXmlTest : public ::testing::TestWithParam<const char*> {
 protected:
  TimeZoneGuard zone{GetParam()};
};

TEST_P(PointXmlTest, FullRecordIsWrittenInOrderAndReadsBack) {
  pugi::xml_document document;
  const CLocationRecord record = FullRecord();
  const pugi::xml_node point = WritePointXml(document.append_child("points"), record);
  EXPECT_EQ(ToText(point),
            "<point><time>2004-05-01T19:20:30+09:00</time><position><datum>tokyo</datum>"
            "<latitude unit=\"dms\">+35,41,22.08</latitude>"
            "<longitude unit=\"degree\">139.76543</longitude><altitude>12.5</altitude>"
            "<accuracy><fixmode>GPS &lt;3D&gt; &amp; \"more\"</fixmode>"
            "<semimajoraxiserror>0.000123</semimajoraxiserror>"
            "<semiminoraxiserror>4.5</semiminoraxiserror><verticalerror>7</verticalerror>"
            "<majoraxisangle>-30.25</majoraxisangle></accuracy></position>"
            "<note>東京タワー\n2階</note></point>");
  ExpectSameRecord(ReadPointXml(point), record);
}

TEST_P(PointXmlTest, MinimalPointStaysMinimal) {
  const CLocationRecord record = ReadPointText(Point("<datum>wgs84</datum>" + kLatLon));
  EXPECT_FALSE(record.hasTime);
  EXPECT_FALSE(record.hasNote);
  EXPECT_FALSE(record.position.hasAltitude || record.position.hasFixMode ||
               record.position.hasSemiMajorAxisError || record.position.hasSemiMinorAxisError ||
               record.position.hasVerticalError || record.position.hasMajorAxisAngle);
  pugi::xml_document document;
  EXPECT_EQ(ToText(WritePointXml(document, record)),
            "<point><position><datum>wgs84</datum><latitude unit=\"degree\">35.50000</latitude>"
            "<longitude unit=\"degree\">139.50000</longitude></position></point>");
  // Empty time and note elements read as absent; element order is free and
  // other elements are ignored.
  const CLocationRecord empties = ReadPointText(
      "<point><note/><extra>x</extra><time></time>"
      "<position><longitude unit=\"degree\">1</longitude><datum>itrf</datum>"
      "<latitude unit=\"degree\">2</latitude></position></point>");
  EXPECT_FALSE(empties.hasTime);
  EXPECT_FALSE(empties.hasNote);
  EXPECT_EQ(empties.position.datum, GetDatumByIndex(2));
  EXPECT_EQ(empties.position.latitude.degrees, 2.0);
}

INSTANTIATE_TEST_SUITE_P(Zones, PointXmlTest, ::testing::ValuesIn(kTestZones),
                         TimeZoneTestName<::testing::TestParamInfo<const char*>>);

TEST(PointXml, ReadsTheNodesItsXPathsSelect) {
  // Repeated and empty elements: each path's first node in document order is
  // the first text of the first element that has one.
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(
      "<point><time/><position><datum/><datum>tokyo</datum>"
      "<latitude unit=\"dms\"><!--c-->+1,2,3</latitude><latitude unit=\"degree\">9</latitude>"
      "<accuracy><verticalerror/></accuracy><altitude><![CDATA[12]]></altitude>"
      "<longitude unit=\"degree\">5</longitude>"
      "<accuracy><verticalerror>3</verticalerror><fixmode>a</fixmode></accuracy>"
      "<accuracy><fixmode>b</fixmode></accuracy></position>"
      "<position><datum>itrf</datum></position>"
      "<time>2004-05-01T10:20:30Z</time><note/><note>n</note></point>"));
  const pugi::xml_node point = document.document_element();
  const pugi::xml_node position = point.child("position");
  const auto xpath = [](pugi::xml_node node, const char* path) {
    return std::string(pugi::xpath_query(path).evaluate_node(node).node().value());
  };
  EXPECT_EQ(xpath(position, "datum/text()"), "tokyo");
  EXPECT_EQ(xpath(position, "accuracy/fixmode/text()"), "a");
  EXPECT_EQ(xpath(point, "time/text()"), "2004-05-01T10:20:30Z");

  const CLocationRecord record = ReadPointXml(point);
  EXPECT_EQ(record.position.datum, GetDatumByIndex(1));
  EXPECT_EQ(record.position.latitude.unit, kAngleUnitDms);
  EXPECT_EQ(record.position.latitude.dms.seconds, 3u);
  EXPECT_EQ(record.position.longitude.degrees, 5.0);
  EXPECT_EQ(record.position.altitude, 12.0);
  EXPECT_EQ(record.position.verticalError, 3.0);
  EXPECT_EQ(record.position.fixMode, "a");
  EXPECT_EQ(record.time.seconds, 1083406830);
  EXPECT_EQ(record.note, "n");
  EXPECT_EQ(ThrownText([&] { ReadPositionXml(point.first_child()); }),
            "XML Node Not Found: datum/text()");
}

TEST(PointXml, KeywordErrorsAreCaseAndSpaceExact) {
  for (const char* datum : {"WGS84", " wgs84", "wgs84 ", ""}) {
    const std::string xml = Point("<datum>" + std::string(datum) + "</datum>" + kLatLon);
    const std::string expected =
        *datum ? "Invalid Datum: " + std::string(datum) : "XML Node Not Found: datum/text()";
    EXPECT_EQ(ThrownText([&] { ReadPointText(xml); }), expected) << datum;
  }
  EXPECT_EQ(ThrownText([&] {
              ReadPointText(Point("<datum>wgs84</datum><latitude unit=\"Degree\">1</latitude>"));
            }),
            "Invalid Unit: Degree");
  EXPECT_EQ(ThrownText([&] {
              ReadPointText(Point("<datum>wgs84</datum><latitude>1</latitude>"));
            }),
            "XML Node Not Found: @unit");
  EXPECT_EQ(ThrownText([&] {
              ReadPointText(Point("<datum>wgs84</datum><latitude unit=\"dms\"/>"));
            }),
            "XML Node Not Found: text()");
  EXPECT_EQ(ThrownText([&] { ReadPointText("<point><note>n</note></point>"); }),
            "XML Node Not Found: position");
  EXPECT_EQ(ThrownText([&] {
              ReadPointText(Point("<datum>wgs84</datum><latitude unit=\"degree\">1</latitude>"));
            }),
            "XML Node Not Found: longitude");
  EXPECT_EQ(ThrownText([&] { ReadPointText(Point("<datum>wgs84</datum>" + kLatLon, "<time>x</time>")); }),
            "Invalid Letter<x> In Date: x");
}

TEST(PointXml, DmsText) {
  const auto dms = [](const char* text) {
    const CDms d = ParseDmsText(text);
    return std::vector<uint32_t>{static_cast<uint32_t>(d.sign), d.degrees, d.minutes, d.seconds,
                                 d.hundredths};
  };
  const uint32_t minus = static_cast<uint32_t>(-1);
  EXPECT_EQ(dms("+35,41,22"), (std::vector<uint32_t>{1, 35, 41, 22, 0}));
  EXPECT_EQ(dms("-35,41,22.5"), (std::vector<uint32_t>{minus, 35, 41, 22, 50}));
  EXPECT_EQ(dms("35,41,22.08"), (std::vector<uint32_t>{1, 35, 41, 22, 8}));
  EXPECT_EQ(dms("0,0,0.129"), (std::vector<uint32_t>{1, 0, 0, 0, 12}));
  EXPECT_EQ(dms("1,75,99."), (std::vector<uint32_t>{1, 1, 75, 99, 0}));
  EXPECT_EQ(dms(",,"), (std::vector<uint32_t>{1, 0, 0, 0, 0}));
  EXPECT_EQ(dms("4294967295,0,0"), (std::vector<uint32_t>{1, 4294967295u, 0, 0, 0}));

  EXPECT_EQ(ThrownText([] { ParseDmsText("+35,41"); }), "Incomplete DMS: +35,41");
  EXPECT_EQ(ThrownText([] { ParseDmsText(""); }), "Incomplete DMS: ");
  EXPECT_EQ(ThrownText([] { ParseDmsText("+35;41,22"); }), "Invalid Letter<;> In DMS: +35;41,22");
  EXPECT_EQ(ThrownText([] { ParseDmsText("+-35,41,22"); }), "Invalid Letter<-> In DMS: +-35,41,22");
  EXPECT_EQ(ThrownText([] { ParseDmsText("1,2,3.4."); }), "Invalid Letter<.> In DMS: 1,2,3.4.");
  EXPECT_EQ(ThrownText([] { ParseDmsText("4294967296,0,0"); }),
            "Invalid Letter<6> In DMS: 4294967296,0,0");

  EXPECT_EQ(FormatDmsXmlText(CDms{1, 35, 41, 22, 8}), "+35,41,22.08");
  EXPECT_EQ(FormatDmsXmlText(CDms{-1, 0, 5, 0, 0}), "-0,5,0.00");
  std::mt19937 random(4);
  for (int i = 0; i < 20000; ++i) {
    const auto field = [&] { return static_cast<uint32_t>(i % 2 ? random() : random() % 120); };
    const CDms dms{i % 3 == 0 ? static_cast<int32_t>(random()) : (i % 3 == 1 ? 1 : -1), field(),
                   field(), field(), field()};
    char expected[64];
    std::snprintf(expected, sizeof expected, "%c%u,%u,%u.%02u", dms.sign == 1 ? '+' : '-',
                  dms.degrees, dms.minutes, dms.seconds, dms.hundredths);
    ASSERT_EQ(FormatDmsXmlText(dms), expected);
  }
  EXPECT_EQ(FormatDmsXmlText(CDms{5, 1, 2, 3, 4}), "-1,2,3.04");
}

TEST(PointXml, NumberAndAngleForms) {
  pugi::xml_document document;
  const auto angle = [&](double value) {
    return ToText(WriteAngleXml(document, "latitude", CAngle::FromDegrees(value)));
  };
  EXPECT_EQ(angle(35.68123), "<latitude unit=\"degree\">35.68123</latitude>");
  EXPECT_EQ(angle(-0.5), "<latitude unit=\"degree\">-0.50000</latitude>");
  EXPECT_EQ(angle(135), "<latitude unit=\"degree\">135.00000</latitude>");
  EXPECT_EQ(angle(-0.0), "<latitude unit=\"degree\">0.00000</latitude>");

  CLocationRecord record = ReadPointText(Point("<datum>wgs84</datum>" + kLatLon));
  record.position.altitude = 1234567;
  record.position.hasAltitude = true;
  record.position.verticalError = 3;
  record.position.hasVerticalError = true;
  const pugi::xml_node point = WritePointXml(document, record);
  EXPECT_STREQ(point.child("position").child("altitude").child_value(), "1.23457e+06");
  EXPECT_EQ(ToText(point.child("position").child("accuracy")),
            "<accuracy><verticalerror>3</verticalerror></accuracy>");
  EXPECT_EQ(ReadPointXml(point).position.altitude, 1234570.0);

  const auto altitude = [](const char* text) {
    const CPosition p =
        ReadPointText(Point("<datum>wgs84</datum>" + kLatLon + "<altitude>" + text + "</altitude>"))
            .position;
    EXPECT_TRUE(p.hasAltitude) << text;
    return p.altitude;
  };
  EXPECT_EQ(altitude("abc"), 0.0);
  EXPECT_EQ(altitude("12.5m"), 12.5);
  EXPECT_EQ(altitude("  -3e2"), -300.0);
  EXPECT_EQ(altitude("nan"), 0.0);

  record.position.datum = CDatumHandle();
  EXPECT_STREQ(WritePointXml(document, record).child("position").child_value("datum"), "itrf");
}

}  // namespace

TEST(PointXml, PositionAloneTellsWhetherTheWholeRecordLiesInAnArea) {
  std::mt19937 random(9);
  const char* const datums[] = {"wgs84", "wgs84", "tokyo", "itrf"};
  const char* const units[] = {" unit=\"degree\"", " unit=\"dms\"", " x=\"1\" unit=\"dms\"",
                               " x=\"1\" unit=\"degree\"", " unit=\"degree\" unit=\"dms\""};
  // Degree texts of every form a number can take, most near whole degrees.
  const char* const forms[] = {"%d.%03d", "%d.%03d", "%d", "-0.%03d", "%de1", " %d.%03d",
                               "+%d.%03d", "%d.9999999999999999999", "%d.%03dx", "%d.%03dE-1",
                               "0000000000000000%d.%03d"};
  for (int i = 0; i < 20000; ++i) {
    const auto angle = [&](const char* name) {
      const int unit = static_cast<int>(random() % 5);
      const bool dms = unit == 1 || unit == 2;
      char text[64];
      if (dms) {
        std::snprintf(text, sizeof text, "%s%d,%d,%d.5", random() % 2 ? "-" : "",
                      static_cast<int>(random() % 90), static_cast<int>(random() % 60),
                      static_cast<int>(random() % 60));
      } else {
        std::snprintf(text, sizeof text, forms[random() % (sizeof forms / sizeof *forms)],
                      static_cast<int>(random() % 80) - 40, static_cast<int>(random() % 1000));
      }
      return "<" + std::string(name) + units[unit] + ">" + text + "</" + name + ">";
    };
    // In any order, with a second datum and an altitude that a filter
    // stopping at the angles must not take for the first.
    std::vector<std::string> pieces = {"<datum>" + std::string(datums[random() % 4]) + "</datum>",
                                       angle("latitude"), angle("longitude")};
    if (random() % 2)
      pieces.push_back("<altitude>" + std::to_string(random() % 5000) + "</altitude>");
    if (random() % 4 == 0) pieces.push_back("<datum>tokyo</datum><altitude>9</altitude>");
    std::shuffle(pieces.begin(), pieces.end(), random);
    std::string position;
    for (const std::string& piece : pieces) position += piece;
    const char* const rests[] = {"", "<time>2004-05-01T10:20:30Z</time>", "<note>n</note>",
                                 "<time/><note>n</note><time>2004-05-01T10:20:30Z</time>"};
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(Point(position, rests[random() % 4]).c_str()));
    const CPointXmlParts whole = FindPointXmlParts(document.document_element());
    // What the rectangle filter reads: the time and position, not the note.
    const CPointXmlParts parts = FindPointXmlParts(document.document_element(), false);
    ASSERT_EQ(parts.hasTime, whole.hasTime);
    ASSERT_EQ(parts.time, whole.time);
    ASSERT_EQ(parts.position, whole.position);
    const auto [latitude, longitude] = GetPositionDegrees(ReadPointXml(whole).position);
    // Areas with edges at whole degrees, at the point's own degrees and anywhere.
    const auto edge = [&](double at) {
      switch (random() % 3) {
        case 0: return std::floor(at) + static_cast<double>(random() % 3) - 1.0;
        case 1: return at;
        default: return static_cast<double>(random() % 8000) / 100.0 - 40.0;
      }
    };
    const CGeoRect area =
        NormalizeGeoRect({edge(latitude), edge(longitude), edge(latitude), edge(longitude)});
    const bool expected = area.bottom <= latitude && latitude <= area.top &&
                          area.left <= longitude && longitude <= area.right;
    ASSERT_EQ(PointXmlLiesIn(parts, area), expected) << position;
  }
}
