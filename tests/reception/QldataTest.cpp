#include <gtest/gtest.h>

#include <initializer_list>
#include <stdexcept>
#include <string>

#include "location/Datum.h"
#include "reception/Qldata.h"

namespace {

// The escape triple of one UTF-16 unit, for building messages.
std::string Triple(char16_t unit) {
  auto letter = [](int d) { return static_cast<char>(d < 26 ? 'A' + d : 'a' + d - 26); };
  return {letter(unit / 2704), letter(unit / 52 % 52), letter(unit % 52)};
}

// prefix, then one escape of the units: "_", their triples, "_".
std::string Escaped(std::initializer_list<char16_t> units, const std::string& prefix = {}) {
  std::string text = prefix + "_";
  for (const char16_t unit : units) text += Triple(unit);
  text += '_';
  return text;
}

// One plain entry: length, letter, value.
std::string E(char letter, const std::string& value) {
  return std::to_string(value.size()) + letter + value;
}

template <typename Exception = std::runtime_error>
std::string ErrorOf(std::string_view message) {
  try {
    ParseQldataMessage(message);
  } catch (const Exception& error) {
    return error.what();
  }
  return "(no error)";
}

std::string UnescapeError(std::string_view message) {
  try {
    UnescapeQldata(message);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "(no error)";
}

const std::string kTime = E('T', "1136073600+32400");
const std::string kRequired = kTime + E('D', "wgs84") + E('U', "degree") + E('B', "1") + E('L', "1");

}  // namespace

TEST(QldataUnescape, DecodesEscapesAndKeepsPlainBytes) {
  EXPECT_EQ(UnescapeQldata("A_AEZ_B"), u"A\u00e9B");
  EXPECT_EQ(UnescapeQldata("a__b"), u"a_b");
  EXPECT_EQ(UnescapeQldata("_JpNHXQ_"), u"\u6771\u4eac");
  EXPECT_EQ(UnescapeQldata("x_AAB_y"), u"x\u0001y");  // no "_" after triples
  EXPECT_EQ(UnescapeQldata("_zzz_"), u"\u253f");       // 140607 wraps to 9535
  EXPECT_EQ(UnescapeQldata("ab_JpNAB"), u"ab\u6771");  // still open at the end: partial triple dropped
  EXPECT_EQ(UnescapeQldata("_JpN_AB"), u"\u6771AB");
  EXPECT_EQ(UnescapeQldata("ab_"), u"ab");
  EXPECT_EQ(UnescapeQldata(std::string("\xe9\x00z", 3)), std::u16string(u"\u00e9\u0000z", 3));
  EXPECT_EQ(UnescapeQldata(""), u"");
}

TEST(QldataUnescape, BadByteInsideEscapeNamesItAndQuotesTheMessage) {
  EXPECT_EQ(UnescapeError("_AB_"), "Invalid Letter<_> In QLDATA: _AB_");
  EXPECT_EQ(UnescapeError("_A1"), "Invalid Letter<1> In QLDATA: _A1");
  EXPECT_EQ(UnescapeError("x_\tz"), "Invalid Letter<0x9> In QLDATA: x_\tz");
  EXPECT_EQ(UnescapeError("_ A"), "Invalid Letter< > In QLDATA: _ A");
  EXPECT_EQ(UnescapeError("_\xe3"), "Invalid Letter<0xe3> In QLDATA: _\xe3");
  EXPECT_EQ(UnescapeError(std::string("_AAA\0", 5)), "Invalid Letter<0x0> In QLDATA: _AAA");
  EXPECT_EQ(ErrorOf("5D_A1"), "Invalid Letter<1> In QLDATA: 5D_A1");
}

TEST(QldataSplit, LengthPrefixedEntries) {
  const auto entries = SplitQldataEntries(u"3Babc0N2x121Z\u6771\u6771");
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0], CQldataEntry(u'B', u"abc"));
  EXPECT_EQ(entries[1], CQldataEntry(u'N', u""));
  EXPECT_EQ(entries[2], CQldataEntry(u'x', u"12"));  // digits inside a value are value
  EXPECT_EQ(entries[3], CQldataEntry(u'Z', u"\u6771"));
  EXPECT_EQ(entries[4], CQldataEntry(u'\u6771', u""));  // any unit can be a letter
}

TEST(QldataSplit, EntriesCutShortOrOverlongAreDropped) {
  EXPECT_TRUE(SplitQldataEntries(u"5Babc").empty());
  EXPECT_TRUE(SplitQldataEntries(u"12").empty());
  // Lengths far beyond any text saturate instead of overflowing.
  EXPECT_TRUE(SplitQldataEntries(u"99999999999999999999999999999999Babc").empty());
  EXPECT_TRUE(SplitQldataEntries(u"18446744073709551617Babc").empty());
  const auto entries = SplitQldataEntries(u"1Bx4Lab");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0], CQldataEntry(u'B', u"x"));
}

TEST(QldataParse, TheTokyoExample) {
  const CLocationRecord record =
      ParseQldataMessage("16T1136073600+324005Dwgs846Udegree8B35.658189L139.745422N_JpNHXQ_");
  EXPECT_TRUE(record.hasTime);
  EXPECT_EQ(record.time, CZonedTime(1136073600, 32400));
  EXPECT_EQ(record.position.datum, GetWgs84Datum());
  EXPECT_EQ(record.position.latitude.unit, kAngleUnitDegrees);
  EXPECT_EQ(record.position.latitude.degrees, 35.65818);
  EXPECT_EQ(record.position.longitude.unit, kAngleUnitDegrees);
  EXPECT_EQ(record.position.longitude.degrees, 139.74542);
  EXPECT_TRUE(record.hasNote);
  EXPECT_EQ(record.note, "\xe6\x9d\xb1\xe4\xba\xac");
  EXPECT_FALSE(record.position.hasFixMode);
  EXPECT_FALSE(record.position.hasAltitude);
  EXPECT_FALSE(record.position.hasSemiMajorAxisError);
  EXPECT_FALSE(record.position.hasSemiMinorAxisError);
  EXPECT_FALSE(record.position.hasVerticalError);
  EXPECT_FALSE(record.position.hasMajorAxisAngle);
}

TEST(QldataParse, OptionalFieldsAndIgnoredLetters) {
  const CLocationRecord record = ParseQldataMessage(
      kTime + E('D', "wgs84") + E('U', "degree") + E('B', "1.5") + E('L', "-2.5") + E('F', "3D") +
      E('a', "12.5") + E('b', "  3.5") + E('c', "7") + E('d', "8m") + E('e', "1.5e1") +
      E('z', "??") + E('N', ""));
  const CPosition& p = record.position;
  EXPECT_EQ(p.latitude.degrees, 1.5);
  EXPECT_EQ(p.longitude.degrees, -2.5);
  EXPECT_TRUE(p.hasFixMode);
  EXPECT_EQ(p.fixMode, "3D");
  EXPECT_TRUE(p.hasAltitude);
  EXPECT_EQ(p.altitude, 12.5);
  EXPECT_TRUE(p.hasSemiMajorAxisError);
  EXPECT_EQ(p.semiMajorAxisError, 3.5);  // leading blanks skipped
  EXPECT_TRUE(p.hasSemiMinorAxisError);
  EXPECT_EQ(p.semiMinorAxisError, 7.0);
  EXPECT_TRUE(p.hasVerticalError);
  EXPECT_EQ(p.verticalError, 8.0);  // the number prefix
  EXPECT_TRUE(p.hasMajorAxisAngle);
  EXPECT_EQ(p.majorAxisAngle, 15.0);
  EXPECT_TRUE(record.hasNote);  // "0N": empty, but present
  EXPECT_EQ(record.note, "");
}

TEST(QldataParse, DegreesAreNumberPrefixesWithoutRangeChecks) {
  const CLocationRecord record = ParseQldataMessage(
      kTime + E('D', "wgs84") + E('U', "degree") + E('B', "abc") + E('L', "200x"));
  EXPECT_EQ(record.position.latitude.degrees, 0.0);
  EXPECT_EQ(record.position.longitude.degrees, 200.0);
  // nan, inf and hex floats are no numbers here
  const CLocationRecord odd = ParseQldataMessage(kTime + E('D', "wgs84") + E('U', "degree") +
                                                 E('B', "nan") + E('L', "0x10"));
  EXPECT_EQ(odd.position.latitude.degrees, 0.0);
  EXPECT_EQ(odd.position.longitude.degrees, 0.0);
}

TEST(QldataParse, KeywordsIgnoreAsciiCaseOnlyAndLettersAreExact) {
  EXPECT_EQ(ParseQldataMessage("5DTOKYO6UDeGrEe1B11L112T1136073600+0").position.datum,
            GetDatumByIndex(1));
  EXPECT_EQ(ParseQldataMessage(kRequired + "4DItRf").position.datum, GetDatumByIndex(2));
  EXPECT_EQ(ParseQldataMessage(kRequired + "5DWGS84").position.datum, GetWgs84Datum());
  // "d" is the vertical error, not the datum.
  const CLocationRecord lower = ParseQldataMessage(kRequired + "5Dtokyo5dwgs84");
  EXPECT_EQ(lower.position.datum, GetDatumByIndex(1));
  EXPECT_TRUE(lower.position.hasVerticalError);
  EXPECT_EQ(lower.position.verticalError, 0.0);
  // A full-width letter is no ASCII letter.
  EXPECT_EQ(ErrorOf("5D_" + Triple(0xFF37) + "_gs84"), "Invalid Datum: \xef\xbc\xb7gs84");
  EXPECT_EQ(ErrorOf(kTime + E('D', "wgs84") + E('U', "deg")), "Invalid Unit: deg");
  EXPECT_EQ(ErrorOf(kTime + E('D', "wgs 84")), "Invalid Datum: wgs 84");
}

TEST(QldataParse, LaterEntriesWinButEveryCheckedEntryIsChecked) {
  const CLocationRecord record = ParseQldataMessage(
      kRequired + E('D', "tokyo") + E('B', "-1") + E('D', "wgs84") + E('T', "1000000000-18000"));
  EXPECT_EQ(record.position.datum, GetWgs84Datum());
  EXPECT_EQ(record.position.latitude.degrees, -1.0);
  EXPECT_EQ(record.time, CZonedTime(1000000000, -18000));
  EXPECT_EQ(ErrorOf(E('D', "xxxxx") + E('D', "wgs84")), "Invalid Datum: xxxxx");
  // The unit in force at the end decides how "B" and "L" read.
  const CLocationRecord dms = ParseQldataMessage(E('B', "1.2.3.4") + E('L', "4.5.6.7") +
                                                 E('U', "degree") + E('U', "dms") + kTime +
                                                 E('D', "wgs84"));
  EXPECT_EQ(dms.position.latitude.unit, kAngleUnitDms);
  EXPECT_EQ(dms.position.longitude.unit, kAngleUnitDms);
  EXPECT_EQ(dms.position.longitude.dms.hundredths, 7u);
}

TEST(QldataParse, TimeValues) {
  auto time = [](const std::string& value) {
    return ParseQldataMessage(kRequired + E('T', value)).time;
  };
  EXPECT_EQ(time("1136073600+0"), CZonedTime(1136073600, 0));
  EXPECT_EQ(time("0-43200"), CZonedTime(0, -43200));
  EXPECT_EQ(time("2147483647+2147483647"), CZonedTime(2147483647, 2147483647));
  EXPECT_EQ(time("5-2147483648"), CZonedTime(5, -2147483647 - 1));
  EXPECT_EQ(time("000000000000000000000000000012+0"), CZonedTime(12, 0));
  for (const char* bad : {"1136073600", "1136073600+a", " 1136073600+0", "-1136073600+0",
                          "1136073600+0 ", "+0", "1136073600+", "1136073600++1",
                          // too large for the record's 32-bit fields: refused, never wrapped
                          "2147483648+0", "1+2147483648", "1-2147483649",
                          "99999999999999999999999+0"}) {
    EXPECT_EQ(ErrorOf(kRequired + E('T', bad)), std::string("Invalid Date: ") + bad);
  }
}

TEST(QldataParse, DegreesMinutesSeconds) {
  const std::string start = kTime + E('D', "wgs84") + E('U', "dms");
  const CLocationRecord record =
      ParseQldataMessage(start + E('B', "+35.39.29.5") + E('L', "-139.44.1.0"));
  const CDms& lat = record.position.latitude.dms;
  EXPECT_EQ(record.position.latitude.unit, kAngleUnitDms);
  EXPECT_EQ(lat.sign, 1);
  EXPECT_EQ(lat.degrees, 35u);
  EXPECT_EQ(lat.minutes, 39u);
  EXPECT_EQ(lat.seconds, 29u);
  EXPECT_EQ(lat.hundredths, 5u);  // a count of hundredths: 29.05 seconds
  const CDms& lon = record.position.longitude.dms;
  EXPECT_EQ(lon.sign, -1);
  EXPECT_EQ(lon.degrees, 139u);
  EXPECT_EQ(lon.minutes, 44u);
  EXPECT_EQ(lon.seconds, 1u);
  EXPECT_EQ(ParseQldataMessage(start + E('B', "1.2.3.4") + E('L', "1.2.3.4"))
                .position.latitude.dms.sign,
            1);

  for (const char* bad : {"35.39.29", "+35.39.29.5.", "--1.2.3.4", "1..2.3", " 1.2.3.4", "1.2.3.4x",
                          "1,2,3,4", "1.2.3.-4"}) {
    EXPECT_EQ(ErrorOf(start + E('B', bad) + E('L', "1.2.3.4")),
              std::string("Invalid Latitude: ") + bad);
    EXPECT_EQ(ErrorOf(start + E('B', "1.2.3.4") + E('L', bad)),
              std::string("Invalid Longitude: ") + bad);
  }
  // The latitude is checked first.
  EXPECT_EQ(ErrorOf(start + E('L', "x") + E('B', "y")), "Invalid Latitude: y");
  EXPECT_EQ(ErrorOf<std::invalid_argument>(start + E('B', "+35.39.29.150") + E('L', "1.2.3.4")),
            "Invalid DMS Range: +35,39,29.150");
  // Groups beyond 32 bits saturate and then fail the range check.
  EXPECT_EQ(ErrorOf<std::invalid_argument>(start + E('B', "1.2.3.4") +
                                           E('L', "99999999999999999999.0.0.0")),
            "Invalid DMS Range: +4294967295,00,00.00");
}

TEST(QldataParse, MissingEntriesQuoteTheDecodedText) {
  EXPECT_EQ(ErrorOf(""), "Insufficient Entries: ");
  const std::string noTime = E('D', "wgs84") + E('U', "degree") + E('B', "1") + E('L', "1");
  EXPECT_EQ(ErrorOf(noTime), "Insufficient Entries: " + noTime);
  for (char letter : {'D', 'U', 'B', 'L'}) {
    std::string message;
    const std::initializer_list<std::pair<char, const char*>> all = {
        {'T', "1+0"}, {'D', "wgs84"}, {'U', "degree"}, {'B', "1"}, {'L', "2"}};
    for (const auto& [l, v] : all) {
      if (l != letter) message += E(l, v);
    }
    EXPECT_EQ(ErrorOf(message), "Insufficient Entries: " + message) << letter;
  }
  // An over-long last entry is dropped.
  const std::string cut = kTime + E('D', "wgs84") + E('U', "degree") + E('B', "1") + "9L1";
  EXPECT_EQ(ErrorOf(cut + "_JpN_"), "Insufficient Entries: " + cut + "\xe6\x9d\xb1");
  // Entry errors come first, in entry order.
  EXPECT_EQ(ErrorOf(E('T', "bad") + E('D', "wgs84")), "Invalid Date: bad");
  EXPECT_EQ(ErrorOf(E('U', "x") + E('T', "bad")), "Invalid Unit: x");
}

TEST(QldataParse, NotesKeepEveryUnitAsUtf8) {
  auto note = [](const std::string& escaped, std::size_t units) {
    return ParseQldataMessage(kRequired + std::to_string(units) + "N" + escaped).note;
  };
  EXPECT_EQ(note(Escaped({0xD83D, 0xDE00}), 2), "\xf0\x9f\x98\x80");
  EXPECT_EQ(note(Escaped({0xD800}) + "x", 2), "\xef\xbf\xbdx");  // lone surrogate
  EXPECT_EQ(note(Escaped({0xDC00, 0xD800}, "a"), 3), "a\xef\xbf\xbd\xef\xbf\xbd");
  EXPECT_EQ(note("\xe9__", 2), "\xc3\xa9_");  // a plain byte is its Latin-1 unit
  EXPECT_EQ(note("7N12", 4), "7N12");         // letters and digits inside a value
}

TEST(QldataParse, CharactersAFileCannotHoldBecomeReplacementCharacters) {
  // U+0001 U+FFFE: no XML file can hold either.
  const CLocationRecord record =
      ParseQldataMessage("16T1136073600+324005Dwgs846Udegree1B11L12N_AABYMO_");
  EXPECT_EQ(record.note, "\xef\xbf\xbd\xef\xbf\xbd");
  auto note = [](const std::string& escaped, std::size_t units) {
    return ParseQldataMessage(kRequired + std::to_string(units) + "N" + escaped).note;
  };
  EXPECT_EQ(note(std::string("a\0b", 3), 3), "a\xef\xbf\xbd" "b");
  EXPECT_EQ(note(Escaped({0xFFFF, 0x1F, 0xFFFD}), 3),
            "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
  // Line ends and tabs are text a file holds.
  EXPECT_EQ(note("cr\r\nlf\t", 7), "cr\r\nlf\t");
  EXPECT_EQ(note("\x7f", 1), "\x7f");
  const CLocationRecord fix = ParseQldataMessage(kRequired + "1F_AAB_");
  EXPECT_EQ(fix.position.fixMode, "\xef\xbf\xbd");
  EXPECT_TRUE(fix.position.hasFixMode);
}
