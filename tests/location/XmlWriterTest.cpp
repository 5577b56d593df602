// Files as other XML readers see them: every file written is checked by
// libxml2's xmllint, and what is read back is what was in memory.
#include "location/XmlWriter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "DatabaseTestSupport.h"
#include "FileTestSupport.h"
#include "location/PointXml.h"
#include "location/Utf8Sequence.h"
#include "location/XmlNode.h"
#include "location/XmlText.h"
#include "tests/support/Xmllint.h"

namespace {

const std::string kReplacement = "\xef\xbf\xbd";

// Notes no file could hold as they are, or that a careless writer would not
// get back: line ends, white space alone, markup, control characters,
// non-characters and broken UTF-8.
const std::vector<std::string> kHostileNotes = {
    "cr\r\nlf", "\r", "  ", "\t\n", " lead and trail ", "a\x01" "b", "\x1f\x0b\x0c",
    "\xef\xbf\xbe", "\xef\xbf\xbf", "\xc3", "\xed\xa0\x80", "\xf4\x90\x80\x80", "]]>",
    "<&>\"'", "&#1;", "\xf0\x9f\x98\x80 東京", "\x7f", std::string("nul\0inside", 10)};

std::vector<CLocationRecord> HostileRecords() {
  std::vector<CLocationRecord> records;
  for (std::size_t i = 0; i < kHostileNotes.size(); ++i) {
    CLocationRecord record = MakeRecord(Utc(2004, 5, 1) + static_cast<int32_t>(i) * 60, {});
    record.SetNote(kHostileNotes[i]);
    record.position.fixMode = kHostileNotes[i];
    record.position.hasFixMode = true;
    records.push_back(record);
  }
  return records;
}

}  // namespace

TEST(XmlText, OnlyCharactersXmlCannotHoldAreReplaced) {
  EXPECT_EQ(ReplaceNonXmlCharacters("plain \t\r\n text"), "plain \t\r\n text");
  EXPECT_EQ(ReplaceNonXmlCharacters("東京 \xf0\x9f\x98\x80 \xef\xbf\xbd \xee\x80\x80 \x7f"),
            "東京 \xf0\x9f\x98\x80 \xef\xbf\xbd \xee\x80\x80 \x7f");
  EXPECT_EQ(ReplaceNonXmlCharacters(std::string("a\0b", 3)), "a" + kReplacement + "b");
  EXPECT_EQ(ReplaceNonXmlCharacters("\x01\x08\x0b\x0c\x0e\x1f"),
            kReplacement + kReplacement + kReplacement + kReplacement + kReplacement +
                kReplacement);
  // A non-character is one replacement; each stray byte is one.
  EXPECT_EQ(ReplaceNonXmlCharacters("x\xef\xbf\xbey\xef\xbf\xbfz"),
            "x" + kReplacement + "y" + kReplacement + "z");
  EXPECT_EQ(ReplaceNonXmlCharacters("\xe6\x9d"), kReplacement + kReplacement);
  EXPECT_EQ(ReplaceNonXmlCharacters("\xed\xa0\x80"), kReplacement + kReplacement + kReplacement);
  EXPECT_EQ(ReplaceNonXmlCharacters("\xc0\xaf"), kReplacement + kReplacement);
  EXPECT_TRUE(IsXmlText("東京\r\n"));
  EXPECT_FALSE(IsXmlText("\xef\xbf\xbe"));
  EXPECT_FALSE(IsXmlText("\x80"));
}

TEST(XmlWriter, HostileNotesGiveFilesThatXmllintAcceptsAndThatReadBackAsInMemory) {
  CTempFolder folder;
  const std::string path = folder / "hostile.xml";
  const std::vector<CLocationRecord> records = HostileRecords();
  {
    std::unique_ptr<CLocationFile> file = LoadLocationFile(path, XmlOpenMode::kCreateExclusive);
    for (const CLocationRecord& record : records) AppendRecordElement(*file, record);
    file->SaveIfModified();
  }
  EXPECT_EQ(XmllintComplaints(path), "");
  const std::vector<CLocationRecord> read = ReadRecords(path);
  ASSERT_EQ(read.size(), records.size());
  for (std::size_t i = 0; i < read.size(); ++i) {
    const std::string expected = ReplaceNonXmlCharacters(records[i].note);
    EXPECT_EQ(read[i].note, expected) << i;
    EXPECT_TRUE(read[i].hasNote) << i;
    EXPECT_EQ(read[i].position.fixMode, expected) << i;
  }
  // A carriage return is a reference, so no reader takes it for a line end.
  EXPECT_NE(ReadBytes(path).find("<note>cr&#13;\nlf</note>"), std::string::npos);
  EXPECT_EQ(ReadBytes(path).find('\r'), std::string::npos);
}

TEST(XmlWriter, TextALaxParserLetInIsReadAndWrittenAsAFileCanHoldIt) {
  CTempFolder folder;
  const std::string path = folder / "lax.xml";
  // pugixml takes references to characters XML forbids; libxml2 does not.
  WriteBytes(path,
             "<points><point><position><datum>wgs84</datum><latitude unit=\"degree\">1</latitude>"
             "<longitude unit=\"degree\">2</longitude><accuracy><fixmode>&#2;</fixmode></accuracy>"
             "</position><note>a&#1;b&#13;</note></point></points>");
  std::unique_ptr<CLocationFile> file = LoadLocationFile(path, XmlOpenMode::kOpenExisting);
  const CLocationRecord record = GetRecord(MakeChildElementEnumerator(*file).Next());
  EXPECT_EQ(record.note, "a" + kReplacement + "b\r");
  EXPECT_EQ(record.position.fixMode, kReplacement);
  AppendRecordElement(*file, MakeRecord(Utc(2004, 5, 1), "added"));
  file->SaveIfModified();
  EXPECT_EQ(XmllintComplaints(path), "");
  const std::vector<CLocationRecord> read = ReadRecords(path);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].note, record.note);
  EXPECT_EQ(read[0].position.fixMode, record.position.fixMode);
}

TEST(XmlWriter, ElementsAreIndentedUnlessTheyHoldText) {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child("root");
  root.append_attribute("a").set_value("1\t2\n3\r\"<&>");
  root.append_child("empty");
  pugi::xml_node mixed = root.append_child("mixed");
  mixed.append_child(pugi::node_pcdata).set_value("x ");
  mixed.append_child("inner").append_child("deep");
  pugi::xml_node late = root.append_child("late");
  late.append_child("a").append_child("b");
  late.append_child(pugi::node_cdata).set_value("tail]]>");
  pugi::xml_node nested = root.append_child("nested");
  nested.append_child("leaf").append_child(pugi::node_pcdata).set_value("text");
  nested.append_child(pugi::node_pcdata);  // empty: writes nothing
  EXPECT_EQ(SerializeXmlDocument(document),
            "<?xml version=\"1.0\"?>\n"
            "<root a=\"1&#9;2&#10;3&#13;&quot;&lt;&amp;&gt;\">\n"
            "\t<empty />\n"
            "\t<mixed>x <inner><deep /></inner></mixed>\n"
            "\t<late><a><b /></a>tail]]&gt;</late>\n"
            "\t<nested>\n"
            "\t\t<leaf>text</leaf>\n"
            "\t</nested>\n"
            "</root>\n");
  std::string element;
  AppendXmlElementText(element, nested);
  EXPECT_EQ(element, "<nested><leaf>text</leaf></nested>");
}

TEST(XmlWriter, ADeeplyNestedFileIsWrittenInTimeAndSpaceOfItsSize) {
  // Far deeper than the call stack reaches; every level but the last holds
  // text after its element, so each would be written again without indentation.
  constexpr int kDepth = 200000;
  std::string text = "<root>";
  for (int i = 0; i < kDepth; ++i) text += "<a>";
  text += "<a />";
  for (int i = 0; i < kDepth; ++i) text += "</a>x";
  text += "</root>";
  pugi::xml_document document;
  ASSERT_TRUE(document.load_buffer(text.data(), text.size()));
  std::string element;
  AppendXmlElementText(element, document.document_element());
  EXPECT_EQ(element, text);
  EXPECT_EQ(SerializeXmlDocument(document, false), text + "\n");
}

namespace {

void AppendReference(std::string& out, char c) {
  out.append("&#").append(std::to_string(static_cast<int>(c))).append(";");
}

// The escapes of text and attribute values, written out on their own.
std::string ReferenceEscape(std::string_view text, bool attribute) {
  std::string out;
  if (!attribute && text.find_first_not_of(" \t\n\r") == std::string_view::npos) {
    for (const char c : text) AppendReference(out, c);
    return out;
  }
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '&') out += "&amp;";
    if (c == '<') out += "&lt;";
    if (c == '>') out += "&gt;";
    if (c == '\r' || (attribute && (c == '\t' || c == '\n'))) AppendReference(out, c);
    if (attribute && c == '"') out += "&quot;";
    if (std::string_view("&<>\r").find(c) != std::string_view::npos ||
        (attribute && std::string_view("\t\n\"").find(c) != std::string_view::npos)) {
      ++i;
      continue;
    }
    char32_t codePoint = 0;
    const std::size_t length = DecodeUtf8Sequence(text, i, codePoint);
    if (length != 0 && IsXmlCharacter(codePoint)) {
      out.append(text, i, length);
    } else {
      out += kReplacement;
    }
    i += length != 0 ? length : 1;
  }
  return out;
}

}  // namespace

TEST(XmlWriter, ValuesOfAnyLengthAreEscapedByTheirRules) {
  // Pieces at every place of the eight-byte words the writer checks at once.
  const char* const pieces[] = {"a", "&", "<", ">", "\"", "'", "\t", "\n", "\r", " ", "\x01",
                                "\x7f", "\xc3\xa9", "\xe6\x9d\xb1", "\xef\xbf\xbe", "\xc3",
                                "\xf0\x9f\x98\x80", "\xed\xa0\x80", "0123456"};
  std::mt19937 random(3);
  for (int i = 0; i < 20000; ++i) {
    std::string text(random() % 12, 'x');
    for (int k = static_cast<int>(random() % 3); k > 0; --k) {
      text += pieces[random() % (sizeof pieces / sizeof *pieces)];
      text.append(random() % 10, 'y');
    }
    if (random() % 4 == 0) text = std::string(random() % 20, ' ') + (random() % 2 ? "\t" : "");
    pugi::xml_document document;
    pugi::xml_node element = document.append_child("e");
    element.append_attribute("a").set_value(text.c_str());
    element.append_child(pugi::node_pcdata).set_value(text.c_str());
    std::string written;
    AppendXmlElementText(written, element);
    std::string expected = "<e a=\"";
    expected.append(ReferenceEscape(text, true)).append("\"");
    if (text.empty()) {
      expected.append(" />");
    } else {
      expected.append(">").append(ReferenceEscape(text, false)).append("</e>");
    }
    ASSERT_EQ(written, expected) << testing::PrintToString(text);
  }
}

// Most elements of a file hold one piece of text; the ones that hold a
// piece and something more, or a piece of no text, are written as any other.
TEST(XmlWriter, ElementsOfOneTextPieceAreWrittenAsEveryOtherElement) {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child("root");
  pugi::xml_node latitude = root.append_child("latitude");
  latitude.append_attribute("unit").set_value("de\"gree");
  latitude.append_child(pugi::node_pcdata).set_value("35<&>1\r");
  root.append_child("blank").append_child(pugi::node_pcdata).set_value(" \t");
  root.append_child("nothing").append_child(pugi::node_pcdata);
  pugi::xml_node twice = root.append_child("twice");
  twice.append_child(pugi::node_pcdata).set_value("a");
  twice.append_child(pugi::node_pcdata);
  root.append_child("cdata").append_child(pugi::node_cdata).set_value("x");
  pugi::xml_node remark = root.append_child("remark");
  remark.append_child(pugi::node_pcdata).set_value("b");
  remark.append_child(pugi::node_comment).set_value("c");
  const std::string longName(5000, 'n');
  root.append_child(longName.c_str()).append_child(pugi::node_pcdata).set_value("long");
  const std::string longElement = "\t<" + longName + ">long</" + longName + ">\n";
  EXPECT_EQ(SerializeXmlDocument(document, false),
            "<root>\n"
            "\t<latitude unit=\"de&quot;gree\">35&lt;&amp;&gt;1&#13;</latitude>\n"
            "\t<blank>&#32;&#9;</blank>\n"
            "\t<nothing />\n"
            "\t<twice>a</twice>\n"
            "\t<cdata><![CDATA[x]]></cdata>\n"
            "\t<remark>b<!--c--></remark>\n" +
                longElement + "</root>\n");
}

TEST(XmlWriter, TextAfterMoreMarkupThanTheWriterHoldsAtOnceStillUnindentsItsElement) {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child("root");
  std::string flat = "<root>";
  for (int i = 0; i < 30000; ++i) {
    root.append_child("child").append_child("leaf");
    flat += "<child><leaf /></child>";
  }
  root.append_child(pugi::node_pcdata).set_value("tail");
  flat += "tail</root>";
  EXPECT_EQ(SerializeXmlDocument(document, false), flat + "\n");
}

TEST(XmlNode, HandlesAreEmptyExactlyWhenTheLibrarySaysSo) {
  pugi::xml_document document;
  pugi::xml_node element = document.append_child("e");
  element.append_attribute("a");
  for (const pugi::xml_node node : {pugi::xml_node(), element, element.first_child(),
                                    element.next_sibling(), document.document_element()}) {
    EXPECT_EQ(IsEmptyHandle(node), !node);
    EXPECT_EQ(TypeOf(node), node.type());
  }
  for (const pugi::xml_attribute attribute :
       {element.first_attribute(), element.first_attribute().next_attribute()}) {
    EXPECT_EQ(IsEmptyHandle(attribute), !attribute);
  }
}
