// The writer's shortcut for the shapes records have against its general walk:
// the same bytes for every document, and never a read past the page a name
// or value ends in.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "FileTestSupport.h"
#include "location/AtomicFile.h"
#include "location/XmlFileTextSink.h"
#include "location/XmlWriter.h"

namespace {

// Text pieces a hand-made or damaged file can hold: markup characters, line
// ends, white space alone, control characters, non-characters, broken and
// valid UTF-8.
const char* const kPieces[] = {"35.12345",
                               "wgs84",
                               "&",
                               "<",
                               ">",
                               "\"",
                               "'",
                               "\t",
                               "\n",
                               "\r",
                               "\r\n",
                               " ",
                               "  \t",
                               "\x01",
                               "\x7f",
                               "\xc3\xa9",
                               "\xe5\x8f\x97\xe4\xbf\xa1",
                               "\xef\xbf\xbe",
                               "\xc3",
                               "\xed\xa0\x80",
                               "\xf0\x9f\x98\x80",
                               "]]>",
                               "--",
                               "?>",
                               "0123456789abcdef0123"};

const char* const kNames[] = {"point",
                              "time",
                              "position",
                              "datum",
                              "latitude",
                              "accuracy",
                              "semimajoraxiserror",
                              "x",
                              "unknown-element.with_a_long_name",
                              "\xc3\xa4lement"};

class CRandomDocument {
 public:
  explicit CRandomDocument(unsigned seed) : m_random(seed) {}

  std::string Text() {
    std::string text;
    for (int k = Below(4); k >= 0; --k) text += kPieces[Below(std::size(kPieces))];
    if (Below(20) == 0) text.append(Below(6000), 'y');  // past the writer's buffer
    return text;
  }

  // Mostly elements of the shapes records have, with now and then a node
  // of another kind anywhere among them.
  void AddChildren(pugi::xml_node parent, int depth) {
    const int count = depth == 0 ? 20 + Below(200) : Below(5);
    for (int i = 0; i < count; ++i) {
      const int kind = Below(100);
      if (kind < 4) {
        parent.append_child(pugi::node_comment).set_value(Text().c_str());
      } else if (kind < 6) {
        pugi::xml_node pi = parent.append_child(pugi::node_pi);
        pi.set_name(Below(3) == 0 ? "xml" : "target");
        pi.set_value(Text().c_str());
      } else if (kind < 9) {
        parent.append_child(pugi::node_cdata).set_value(Text().c_str());
      } else if (kind < 13) {
        parent.append_child(pugi::node_pcdata).set_value(Below(3) == 0 ? "" : Text().c_str());
      } else {
        pugi::xml_node element = parent.append_child(kNames[Below(std::size(kNames))]);
        for (int a = Below(4) == 0 ? Below(3) : 0; a > 0; --a) {
          element.append_attribute(kNames[Below(std::size(kNames))]).set_value(Text().c_str());
        }
        const int content = Below(10);
        if (content < 5) {
          element.append_child(pugi::node_pcdata).set_value(Text().c_str());
        } else if (content < 9 && depth < 20) {
          AddChildren(element, depth + 1);
        }
      }
    }
  }

 private:
  int Below(std::size_t n) { return static_cast<int>(m_random() % n); }

  std::mt19937 m_random;
};

}  // namespace

TEST(XmlWriterShortcut, EveryDocumentIsWrittenAsTheGeneralWalkWritesIt) {
  for (unsigned seed = 0; seed < 1500; ++seed) {
    pugi::xml_document document;
    CRandomDocument random(seed);
    random.AddChildren(document.append_child("root"), 0);
    ASSERT_EQ(SerializeXmlDocument(document), SerializeXmlDocumentByWalk(document)) << seed;
  }
}

TEST(XmlWriterShortcut, ElementsOfOtherShapesAreWrittenAsTheWalkWritesThem) {
  // Each element starts out as a record would and turns out otherwise only
  // at its end, after more than the writer's buffer holds.
  pugi::xml_document document;
  pugi::xml_node root = document.append_child("root");
  const auto record = [&](const char* last) {
    pugi::xml_node point = root.append_child("point");
    pugi::xml_node position = point.append_child("position");
    for (int i = 0; i < 5000; ++i) {
      position.append_child("datum").append_child(pugi::node_pcdata).set_value("wgs84");
    }
    if (std::strcmp(last, "text") == 0) {
      position.append_child(pugi::node_pcdata).set_value("tail");
    } else if (std::strcmp(last, "comment") == 0) {
      position.append_child(pugi::node_comment).set_value("c");
    } else if (std::strcmp(last, "deep") == 0) {
      pugi::xml_node deep = position;
      for (int i = 0; i < 30; ++i) deep = deep.append_child("a");
    }
    return point;
  };
  for (const char* last : {"text", "none", "comment", "deep", "text"}) record(last);
  const std::string expected = SerializeXmlDocumentByWalk(document);
  EXPECT_EQ(SerializeXmlDocument(document), expected);
  EXPECT_NE(expected.find("<position><datum>wgs84</datum>"), std::string::npos);
  EXPECT_NE(expected.find("\n\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t<a><a>"), std::string::npos);

  CTempFolder folder;
  const std::string path = folder / "shapes.xml";
  AtomicWriteFile(
      path,
      [&](CAtomicFileContents& contents) {
        CXmlFileTextSink sink(contents);
        SerializeXmlDocument(document, sink);
      },
      AtomicWriteMode::kCreateNew);
  EXPECT_EQ(ReadBytes(path), expected);
}

TEST(XmlWriterShortcut, NamesAndValuesThatEndWhereTheirPageEndsAreReadNoFurther) {
  // The document lies at the end of a page that no readable page follows,
  // at every shift, so names and values end at every distance from it.
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  void* mapping =
      ::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapping, MAP_FAILED);
  char* const guard = static_cast<char*>(mapping) + page;
  ASSERT_EQ(::mprotect(guard, page, PROT_NONE), 0);
  for (std::size_t padding = 0; padding < 48; ++padding) {
    const std::string pad(padding, 'p');
    const std::string text = "<root>\n\t<point>\n\t\t<latitude unit=\"degree" + pad + "\">35." +
                             pad + "</latitude>\n\t\t<e" + pad + " />\n\t</point>\n\t<n a=\"" +
                             pad + "\">v" + pad + "</n>\n</root>\n";
    ASSERT_LT(text.size(), page);
    char* const start = guard - text.size();
    std::memcpy(start, text.data(), text.size());
    pugi::xml_document document;
    ASSERT_TRUE(document.load_buffer_inplace(start, text.size()));
    EXPECT_EQ(SerializeXmlDocument(document, false), text) << padding;
  }
  ::munmap(mapping, 2 * page);
}
