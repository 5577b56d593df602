// Opening a file and saving it without an edit: every record and index entry
// reads as before, comments and instructions stay, and the next save writes
// the same bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DatabaseTestSupport.h"
#include "FileTestSupport.h"
#include "location/XmlFile.h"
#include "location/XmlParse.h"
#include "location/XmlWriter.h"
#include "tests/support/Xmllint.h"

namespace {

const std::string kReplacement = "\xef\xbf\xbd";

std::string Point(const std::string& note) {
  return "<point><position><datum>wgs84</datum><latitude unit=\"degree\">35</latitude>"
         "<longitude unit=\"degree\">139</longitude></position><note>" +
         note + "</note></point>";
}

// Loads the file, marks it changed without changing it, and saves it.
void SaveUnedited(const std::string& path) {
  std::unique_ptr<CLocationFile> file = LoadLocationFile(path, XmlOpenMode::kOpenExisting);
  file->SetModified();
  file->SaveIfModified();
}

}  // namespace

TEST(XmlRoundTrip, NotesAroundCommentsInstructionsAndCdataReadTheSameAfterASave) {
  struct CCase {
    std::string markup;
    std::string note;  // what it reads as: the first text piece
  };
  const std::vector<CCase> cases = {
      {"a<!-- c -->b", "a"},
      {"a<?m?>b", "a"},
      {"<![CDATA[a]]>b", "a"},
      {"<![CDATA[ ]]>b", " "},
      {"<![CDATA[]]>b", ""},
      {"<![CDATA[<&]]>", "<&"},
      {"&#32;<!-- c -->b", " "},
      {"a&#0;b", "a" + kReplacement + "b"},
      {"&#x0;&#xD800;&#1114112;&#99999999999;",
       kReplacement + kReplacement + kReplacement + kReplacement},
  };
  CTempFolder folder;
  const std::string path = folder / "hand-made.xml";
  std::string text = "<?xml version=\"1.0\"?>\n<!-- made by hand -->\n<points>\n";
  for (const CCase& c : cases) text += Point(c.markup) + "\n";
  WriteBytes(path, text + "<?after the points?></points>\n<?end?>\n");

  const auto checkNotes = [&](const char* when) {
    SCOPED_TRACE(when);
    const std::vector<CLocationRecord> records = ReadRecords(path);
    ASSERT_EQ(records.size(), cases.size() + 1);
    for (std::size_t i = 0; i < cases.size(); ++i) {
      EXPECT_EQ(records[i].note, cases[i].note) << cases[i].markup;
    }
  };
  {
    std::unique_ptr<CLocationFile> file = LoadLocationFile(path, XmlOpenMode::kOpenExisting);
    AppendRecordElement(*file, MakeRecord(Utc(2004, 5, 1), "added"));
    file->SaveIfModified();
  }
  checkNotes("after the first save");
  EXPECT_EQ(XmllintComplaints(path), "");
  const std::string saved = ReadBytes(path);
  for (const char* kept : {"<!-- made by hand -->", "a<!-- c -->b", "a<?m?>b", "<![CDATA[ ]]>b",
                           "<?after the points?>", "<?end?>"}) {
    EXPECT_NE(saved.find(kept), std::string::npos) << kept;
  }
  SaveUnedited(path);
  EXPECT_EQ(ReadBytes(path), saved);
  checkNotes("after the second save");
}

TEST(XmlRoundTrip, FilingIntoANewMonthKeepsEveryIndexEntryReadingAsBefore) {
  CTempFolder folder;
  const std::string indexPath = folder / "index.xml";
  WriteBytes(indexPath,
             "<index><!-- sections --><section><begin>2005-01-01T00:00:00Z</begin>"
             "<end>2005-02-01T00:00:00Z<!-- checked -->x</end>"
             "<include href=\"200501.xml\"/></section>"
             "<section><begin><![CDATA[2005-02-01T00:00:00Z]]>y</begin>"
             "<end>2005-03-01T00:00:00Z<?m?>z</end><include href=\"200502.xml\"/></section>"
             "</index>");
  WriteBytes(folder / "200501.xml", "<points/>");
  WriteBytes(folder / "200502.xml", "<points/>");
  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
  const std::vector<CSectionInfo> before = ListSections(*database);
  ASSERT_EQ(before.size(), 2u);

  File(*database, {MakeRecord(Utc(2005, 4, 10), "april")});
  LocationDatabaseRelease(std::move(database));

  database = OpenLocationDatabase(indexPath, false);
  const std::vector<CSectionInfo> after = ListSections(*database);
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(std::vector<CSectionInfo>(after.begin(), after.begin() + 2), before);
  EXPECT_EQ(after[2].href, "200504.xml");
  EXPECT_NE(ReadBytes(indexPath).find("<!-- checked -->x"), std::string::npos);
  EXPECT_EQ(XmllintComplaints(indexPath), "");
}

TEST(XmlRoundTrip, ADeclarationInsideAnElementMakesTheFileNotWellFormed) {
  // Dropped, it would leave the text around it in two pieces, which a save
  // joins: 35 would read 35.5 and a as ab.
  CTempFolder folder;
  const std::string path = folder / "points.xml";
  for (const std::string& inside :
       {std::string("<latitude unit=\"degree\">35<?xml version=\"1.0\"?>.5</latitude>"),
        std::string("<note>a<?XML?>b</note>"), std::string("<note>a<?xMl?></note>")}) {
    WriteBytes(path, "<?xml version=\"1.0\"?>\n<points><point>" + inside + "</point></points>");
    EXPECT_EQ(ThrownText([&] { LoadLocationFile(path, XmlOpenMode::kOpenExisting); }),
              "Loading XML File Failed: " + path)
        << inside;
  }
  const std::string indexPath = folder / "index.xml";
  WriteBytes(indexPath,
             "<index><section><begin>2005-01-01T00:00:00Z</begin>"
             "<end>2005-02-01T00:00:00Z<?xml?>x</end><include href=\"200501.xml\"/></section>"
             "</index>");
  EXPECT_EQ(ThrownText([&] { OpenLocationDatabase(indexPath, false); }),
            "Loading XML File Failed: " + indexPath);

  // Outside the root, where no text is, one is left out by a save as before.
  WriteBytes(path, "<?xml version=\"1.0\"?><!-- c --><?xml version=\"1.0\"?><points>" + Point("n") +
                       "</points><?XML?>");
  SaveUnedited(path);
  const std::string saved = ReadBytes(path);
  EXPECT_EQ(saved.rfind("<?"), 0u) << saved;
  EXPECT_EQ(XmllintComplaints(path), "");
  EXPECT_EQ(ReadRecords(path)[0].note, "n");
}

TEST(XmlRoundTrip, ReferencesResolveAsXmlDefinesThemAndNoCharacterEndsText) {
  EXPECT_EQ(ResolveXmlReferences("&lt;&gt;&amp;&quot;&apos;&#65;&#x42;&#x6a;&#x6A;"), "<>&\"'ABjj");
  EXPECT_EQ(ResolveXmlReferences("&#26481;&#x1F600;"), "東\xf0\x9f\x98\x80");
  // What the parser would leave as it stands is left so.
  EXPECT_EQ(ResolveXmlReferences("&bogus; &#; &#x; &#12a; &#X41; &amp &lt"),
            "&bogus; &#; &#x; &#12a; &#X41; &amp &lt");
  EXPECT_EQ(ResolveXmlReferences("&&#65;&&"), "&A&&");
  // Every character XML cannot hold is one replacement, and the text goes on.
  EXPECT_EQ(ResolveXmlReferences("a&#0;b&#1;c&#xFFFE;d&#xDFFF;e&#x110000;f&#4294967361;g"),
            "a" + kReplacement + "b" + kReplacement + "c" + kReplacement + "d" + kReplacement +
                "e" + kReplacement + "f" + kReplacement + "g");

  // In a parsed document: text and attribute values alike, but not CDATA,
  // comments or instructions; a raw tab in an attribute is a blank, a
  // reference to one stays a tab.
  pugi::xml_document document;
  const std::string text =
      "<a x=\"1&#0;2\" y=\"\t&#9;\"><b>3&#0;4&lt;</b><![CDATA[&#0;]]><!--&#0;--><?m &#0;?></a>";
  ASSERT_TRUE(ParseXmlBytes(document, text));
  const pugi::xml_node a = document.document_element();
  EXPECT_EQ(std::string(a.attribute("x").value()), "1" + kReplacement + "2");
  EXPECT_EQ(std::string(a.attribute("y").value()), " \t");
  EXPECT_EQ(std::string(a.child("b").child_value()), "3" + kReplacement + "4<");
  EXPECT_EQ(SerializeXmlDocument(document, false),
            "<a x=\"1" + kReplacement + "2\" y=\" &#9;\"><b>3" + kReplacement +
                "4&lt;</b><![CDATA[&#0;]]><!--&#0;--><?m &#0;?></a>\n");
}

TEST(XmlRoundTrip, CharactersAFileCannotHoldAreReplacedAsTheyAreRead) {
  // What a save would write is what is read: the error of a value that does
  // not parse names U+FFFD, and a file name in the index is the one a save
  // keeps.
  CTempFolder folder;
  const std::string path = folder / "stray.xml";
  WriteBytes(path, "<points>" + Point("n\x01") + "<point><time>2004\xb3</time></point></points>");
  std::unique_ptr<CLocationFile> file = LoadLocationFile(path, XmlOpenMode::kOpenExisting);
  CXmlNodeEnumerator records = MakeChildElementEnumerator(*file);
  EXPECT_EQ(GetRecord(records.Next()).note, "n" + kReplacement);
  const CXmlElementRef bad = records.Next();
  EXPECT_EQ(ThrownText([&] { GetRecord(bad); }),
            "Invalid Letter<0xfffd> In Date: 2004" + kReplacement);

  const std::string indexPath = folder / "index.xml";
  WriteBytes(indexPath,
             "<index><section><begin>2005-01-01T00:00:00Z</begin><end>2005-02-01T00:00:00Z</end>"
             "<include href=\"\xe9t\xe9.xml\"/></section></index>");
  std::unique_ptr<CLocationDatabase> database = OpenLocationDatabase(indexPath, false);
  EXPECT_EQ(ListSections(*database)[0].href, kReplacement + "t" + kReplacement + ".xml");

  // Names too, so that everything a save writes is UTF-8 of characters XML holds.
  pugi::xml_document document;
  ASSERT_TRUE(ParseXmlBytes(document, "<a\xff b\x80=\"\x01\">t<!--\xc3--><?p \x7f\x02?></a\xff>"));
  EXPECT_EQ(SerializeXmlDocument(document, false),
            "<a" + kReplacement + " b" + kReplacement + "=\"" + kReplacement + "\">t<!--" +
                kReplacement + "--><?p \x7f" + kReplacement + "?></a" + kReplacement + ">\n");
}

TEST(XmlRoundTrip, MarkupNoFileCouldHoldIsWrittenWellFormed) {
  CTempFolder folder;
  pugi::xml_document document;
  pugi::xml_node root = document.append_child("root");
  root.append_child(pugi::node_comment).set_value("a--b---");
  root.append_child(pugi::node_comment).set_value("nul\x01 and \xef\xbf\xbe");
  pugi::xml_node instruction = root.append_child(pugi::node_pi);
  instruction.set_name("m");
  instruction.set_value("x?>y?\r\n\r");
  root.append_child(pugi::node_pi).set_name("XmL");  // the declaration's name: left out
  root.append_child("c").append_child(pugi::node_cdata).set_value("a]]>b");
  root.append_child("d").append_child(pugi::node_cdata).set_value("cr\r");
  root.append_child("e").append_child(pugi::node_cdata).set_value("x]]");
  const std::string comment = "\t<!--nul" + kReplacement + " and " + kReplacement + "-->\n";
  const std::string saved = SerializeXmlDocument(document);
  EXPECT_EQ(saved, "<?xml version=\"1.0\"?>\n<root>\n\t<!--a- -b- - - -->\n" + comment +
                       "\t<?m x? >y?\n\n?>\n"
                       "\t<c>a]]&gt;b</c>\n"
                       "\t<d>cr&#13;</d>\n"
                       "\t<e><![CDATA[x]]]]></e>\n"
                       "</root>\n");
  const std::string path = folder / "markup.xml";
  WriteBytes(path, saved);
  EXPECT_EQ(XmllintComplaints(path), "");
  pugi::xml_document again;
  ASSERT_TRUE(ParseXmlBytes(again, saved));
  EXPECT_EQ(SerializeXmlDocument(again), saved);
  EXPECT_EQ(std::string(again.document_element().child("e").child_value()), "x]]");
}
