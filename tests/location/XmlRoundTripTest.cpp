// References in files and pasted text: each reads as the character it names,
// and one to a character XML cannot hold as one U+FFFD.
#include <gtest/gtest.h>

#include <string>

#include "location/XmlFile.h"
#include "location/XmlReferences.h"

namespace {

const std::string kReplacement = "\xef\xbf\xbd";

}  // namespace

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

  // In a parsed document: text and attribute values alike, but not CDATA; a
  // raw tab in an attribute is a blank, a reference to one stays a tab.
  pugi::xml_document document;
  const std::string text =
      "<a x=\"1&#0;2\" y=\"\t&#9;\"><b>3&#0;4&lt;</b><c><![CDATA[&#0;]]></c></a>";
  ASSERT_TRUE(ParseXmlBytes(document, text));
  const pugi::xml_node a = document.document_element();
  EXPECT_EQ(std::string(a.attribute("x").value()), "1" + kReplacement + "2");
  EXPECT_EQ(std::string(a.attribute("y").value()), " \t");
  EXPECT_EQ(std::string(a.child("b").child_value()), "3" + kReplacement + "4<");
  EXPECT_EQ(std::string(a.child("c").child_value()), "&#0;");
}
