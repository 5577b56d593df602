#include "location/XmlFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <random>
#include <algorithm>
#include <filesystem>
#include <string>

#include "FileTestSupport.h"
#include "location/AtomicFile.h"
#include "location/Exceptions.h"
#include "location/FilePath.h"
#include "location/XmlNode.h"

namespace {

struct CItem {
  std::string name;
};

// <item name="..."/>; counts its reads, refuses the name "bad", and writes a
// half element before failing for the name "fail".
class CItemHandler : public CXmlElementHandlerOf<CItem> {
 public:
  std::shared_ptr<CItem> Read(const CXmlDocument&, pugi::xml_node element) const override {
    ++reads;
    static const CXmlPath name("@name");
    auto item = std::make_shared<CItem>(CItem{GetRequiredXmlText(element, name)});
    if (item->name == "bad") throw std::runtime_error("bad item");
    return item;
  }
  pugi::xml_node Write(pugi::xml_node parent, const CItem& item) const override {
    pugi::xml_node element = AppendXmlElement(parent, "item");
    if (item.name == "fail") throw std::runtime_error("write failed");
    element.append_attribute("name").set_value(item.name.c_str());
    return element;
  }
  mutable int reads = 0;
};

const CItemHandler& Handler() {
  static const CItemHandler* const handler = new CItemHandler;
  return *handler;
}

std::unique_ptr<CXmlFile> OpenItems(const std::string& path,
                                    XmlOpenMode mode = XmlOpenMode::kOpenExisting) {
  return LoadXmlFile("items", "item", Handler(), path, mode);
}

void FailEveryWrite(std::size_t) { throw CWin32Exception(EIO); }

TEST(XmlFile, LoadErrorsNameThePathOrTheRoot) {
  CTempFolder folder;
  const std::string missing = folder / "missing.xml";
  EXPECT_EQ(ThrownText([&] { OpenItems(missing); }), "Loading XML File Failed: " + missing);
  const std::string broken = folder / "broken.xml";
  WriteBytes(broken, "<items><item></items>");
  EXPECT_EQ(ThrownText([&] { OpenItems(broken); }), "Loading XML File Failed: " + broken);
  WriteBytes(broken, "");
  EXPECT_EQ(ThrownText([&] { OpenItems(broken); }), "Loading XML File Failed: " + broken);
  EXPECT_EQ(ThrownText([&] { OpenItems(folder.path().string()); }),
            "Loading XML File Failed: " + folder.path().string() + "\nNot a regular file");
  const std::string wrong = folder / "wrong.xml";
  WriteBytes(wrong, "<?xml version=\"1.0\"?><item name=\"a\"/>");
  EXPECT_EQ(ThrownText([&] { OpenItems(wrong); }), "Invalid Root Element: item");
  // A failed load writes nothing.
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"broken.xml", "wrong.xml"}));
}

TEST(XmlFile, CreatingModes) {
  CTempFolder folder;
  const std::string path = folder / "new.xml";
  {
    auto file = OpenItems(path, XmlOpenMode::kCreateNow);
    EXPECT_FALSE(file->IsModified());
  }
  EXPECT_EQ(ReadBytes(path), "<?xml version=\"1.0\"?>\n<items />\n");
  EXPECT_EQ(OpenItems(path)->GetDocumentElement().first_child(), pugi::xml_node());

  // Exclusive creation leaves an existing file alone, and so does the
  // partly built object.
  WriteBytes(path, "<items><item name=\"kept\"/></items>");
  EXPECT_EQ(ThrownText([&] { OpenItems(path, XmlOpenMode::kCreateExclusive); }),
            SystemErrorText(EEXIST) + ": " + path);
  EXPECT_EQ(ReadBytes(path), "<items><item name=\"kept\"/></items>");

  // Created to replace on save: nothing is written until an explicit save.
  {
    auto file = OpenItems(path, XmlOpenMode::kCreateOnSave);
    EXPECT_TRUE(file->IsModified());
    AppendElement(*file, CItem{"a"});
  }
  EXPECT_EQ(ReadBytes(path), "<items><item name=\"kept\"/></items>");
  {
    auto file = OpenItems(path, XmlOpenMode::kCreateOnSave);
    AppendElement(*file, CItem{"a"});
    file->SaveIfModified();
  }
  EXPECT_EQ(ReadBytes(path), "<?xml version=\"1.0\"?>\n<items>\n\t<item name=\"a\" />\n</items>\n");

  EXPECT_EQ(ThrownText([&] { OpenItems(folder / "no/such/folder.xml", XmlOpenMode::kCreateNow); }),
            SystemErrorText(ENOENT) + ": " + (folder / "no/such/folder.xml"));
}

TEST(XmlFile, FailedSaveKeepsTheOldFileAndTheFlag) {
  CTempFolder folder;
  const std::string path = folder / "items.xml";
  const std::string original = "<items><item name=\"a\"/></items>";
  WriteBytes(path, original);
  auto file = OpenItems(path);
  AppendElement(*file, CItem{"b"});
  ASSERT_TRUE(file->IsModified());
  {
    CWriteHookScope hook(FailEveryWrite);
    EXPECT_THROW(file->SaveIfModified(), CWin32Exception);
  }
  EXPECT_TRUE(file->IsModified());
  EXPECT_EQ(ReadBytes(path), original);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"items.xml"}));

  file->SaveIfModified();
  EXPECT_FALSE(file->IsModified());
  auto again = OpenItems(path);
  auto items = MakeChildElementEnumerator(*again);
  EXPECT_EQ(items.GetCount(), 2u);
}

TEST(XmlFile, ASaveWritesTheTextAsItIsMadeAndACutShortOneKeepsTheOldFile) {
  CTempFolder folder;
  const std::string path = folder / "items.xml";
  WriteBytes(path, "<items/>");
  auto file = OpenItems(path);
  // Megabytes of markup, then text that makes the writer take back the
  // indentation of all of it; its start has long gone to the file by then.
  const std::string name(40, 'n');
  for (int i = 0; i < 200000; ++i) AppendElement(*file, CItem{name + std::to_string(i)});
  file->GetDocumentElement().append_child(pugi::node_pcdata).set_value("tail");
  const std::string expected = file->Serialize();
  ASSERT_GT(expected.size(), std::size_t{9} << 20);
  {
    // Fails once more than eight megabytes are on their way to the disk.
    CWriteHookScope hook([](std::size_t written) {
      if (written > (std::size_t{17} << 19)) throw CWin32Exception(EIO);
    });
    EXPECT_THROW(file->SaveIfModified(), CWin32Exception);
  }
  EXPECT_TRUE(file->IsModified());
  EXPECT_EQ(ReadBytes(path), "<items/>");
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"items.xml"}));
  file->SaveIfModified();
  EXPECT_EQ(ReadBytes(path), expected);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"items.xml"}));
}

TEST(XmlFile, DestructorSavesAndNeverThrows) {
  CTempFolder folder;
  const std::string path = folder / "items.xml";
  WriteBytes(path, "<items/>");
  {
    auto file = OpenItems(path);
    AppendElement(*file, CItem{"saved"});
  }
  EXPECT_NE(ReadBytes(path).find("saved"), std::string::npos);
  {
    auto file = OpenItems(path);
    AppendElement(*file, CItem{"lost"});
    CWriteHookScope hook(FailEveryWrite);
    file.reset();
  }
  EXPECT_EQ(ReadBytes(path).find("lost"), std::string::npos);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"items.xml"}));
}

TEST(XmlFile, ProxiesAreCachedDecodedOnceAndOutliveTheFile) {
  CTempFolder folder;
  const std::string path = folder / "items.xml";
  WriteBytes(path, "<items><item name=\"a\"/><other/><item name=\"b\"/></items>");
  auto file = OpenItems(path);
  const int readsBefore = Handler().reads;

  auto first = MakeChildElementEnumerator(*file);
  std::vector<CXmlElementRef> proxies;
  while (first.HasMore()) proxies.push_back(first.Next());
  ASSERT_EQ(proxies.size(), 2u);
  EXPECT_EQ(Handler().reads, readsBefore);  // enumeration decodes nothing
  EXPECT_EQ(proxies[1]->Get<CItem>().name, "b");
  EXPECT_EQ(proxies[1]->Get<CItem>().name, "b");
  EXPECT_EQ(Handler().reads, readsBefore + 1);

  auto second = MakeChildElementEnumerator(*file);
  EXPECT_EQ(second.Next(), proxies[0]);
  EXPECT_EQ(second.Next(), proxies[1]);
  EXPECT_FALSE(second.HasMore());
  EXPECT_THROW(second.Next(), std::out_of_range);
  EXPECT_THROW(proxies[0]->Get<std::string>(), std::logic_error);

  // After an append the cache is empty, so a new walk makes new proxies; the
  // returned proxy decodes what was written.
  auto appended = AppendElement(*file, CItem{"c"});
  EXPECT_EQ(appended->Get<CItem>().name, "c");
  auto third = MakeChildElementEnumerator(*file);
  EXPECT_NE(third.Next(), proxies[0]);
  EXPECT_EQ(third.GetCount(), 3u);

  // Proxies and enumerators hold the document: they work after the file went.
  auto late = MakeChildElementEnumerator(*file);
  file.reset();
  EXPECT_EQ(proxies[0]->Get<CItem>().name, "a");
  late.Next();
  late.Next();
  EXPECT_EQ(late.Next()->Get<CItem>().name, "c");
}

TEST(XmlFile, MalformedElementFailsOnlyWhenRead) {
  CTempFolder folder;
  const std::string path = folder / "items.xml";
  WriteBytes(path, "<items><item name=\"a\"/><item name=\"bad\"/><item/><item name=\"d\"/></items>");
  auto file = OpenItems(path);
  auto items = MakeChildElementEnumerator(*file);
  EXPECT_EQ(items.Next()->Get<CItem>().name, "a");
  auto bad = items.Next();
  EXPECT_EQ(ThrownText([&] { bad->Get<CItem>(); }), "bad item");
  EXPECT_EQ(ThrownText([&] { bad->Get<CItem>(); }), "bad item");
  EXPECT_FALSE(bad->IsDecoded());
  EXPECT_EQ(ThrownText([&] { items.Next()->Get<CItem>(); }), "XML Node Not Found: @name");
  EXPECT_EQ(items.Next()->Get<CItem>().name, "d");
}

TEST(XmlFile, FailedWriterLeavesNoPartialElement) {
  CTempFolder folder;
  const std::string path = folder / "items.xml";
  WriteBytes(path, "<items><item name=\"a\"/></items>");
  auto file = OpenItems(path);
  EXPECT_THROW(AppendElement(*file, CItem{"fail"}), std::runtime_error);
  EXPECT_FALSE(file->IsModified());
  EXPECT_EQ(MakeChildElementEnumerator(*file).GetCount(), 1u);
}

TEST(XmlFile, EightBitEncodingsAreConvertedBeforeParsing) {
  CTempFolder folder;
  const std::string path = folder / "items.xml";
  // "東京" in Shift_JIS, and the wave dash that only code page 932 maps to U+FF5E.
  WriteBytes(path, "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"
                   "<items><item name=\"\x93\x8c\x8b\x9e\x81\x60\"/></items>");
  {
    auto file = OpenItems(path);
    EXPECT_EQ(MakeChildElementEnumerator(*file).Next()->Get<CItem>().name, "東京～");
    file->SetModified();
    file->SaveIfModified();
  }
  // Saved as UTF-8, which reads back the same.
  EXPECT_NE(ReadBytes(path).find("東京～"), std::string::npos);
  EXPECT_EQ(MakeChildElementEnumerator(*OpenItems(path)).Next()->Get<CItem>().name, "東京～");

  WriteBytes(path, "<?xml version='1.0' encoding='euc-jp' ?><items><item name=\"\xc5\xec\xb5\xfe\"/></items>");
  EXPECT_EQ(MakeChildElementEnumerator(*OpenItems(path)).Next()->Get<CItem>().name, "東京");

  // A byte the declared encoding cannot hold reads as U+FFFD, as in UTF-8,
  // and is saved so; an unknown encoding is refused.
  WriteBytes(path,
             "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>"
             "<items><item name=\"\x93\x8c\x81\"/><item name=\"\x80\"/></items>\x81");
  {
    auto file = OpenItems(path);
    auto items = MakeChildElementEnumerator(*file);
    EXPECT_EQ(items.Next()->Get<CItem>().name, "東\uFFFD");
    EXPECT_EQ(items.Next()->Get<CItem>().name, "\uFFFD");
    file->SetModified();
    file->SaveIfModified();
  }
  EXPECT_NE(ReadBytes(path).find("<item name=\"東\uFFFD\" />"), std::string::npos);
  WriteBytes(path, "<?xml version=\"1.0\" encoding=\"x-unknown\"?><items/>");
  EXPECT_EQ(ThrownText([&] { OpenItems(path); }), "Loading XML File Failed: " + path);

  // The Unicode encodings go to the parser as they are.
  WriteBytes(path, std::string("\xff\xfe<\0i\0t\0e\0m\0s\0/\0>\0", 18));
  EXPECT_EQ(OpenItems(path)->GetRootName(), "items");
  WriteBytes(path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><items><item name=\"東京\"/></items>");
  EXPECT_EQ(MakeChildElementEnumerator(*OpenItems(path)).Next()->Get<CItem>().name, "東京");
}

TEST(XmlFile, SavesNeverReplaceAFifo) {
  CTempFolder folder;
  const std::string fifo = folder / "x.xml";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string text;
  auto file = OpenItems(fifo, XmlOpenMode::kCreateOnSave);
  EXPECT_TRUE(
      ReturnsWithoutWaitingOn(fifo, [&] { text = ThrownText([&] { file->SaveIfModified(); }); }));
  EXPECT_EQ(text, "Not a regular file: " + fifo);
  EXPECT_TRUE(file->IsModified());
  EXPECT_EQ(ThrownText([&] { OpenItems(fifo, XmlOpenMode::kCreateExclusive); }),
            SystemErrorText(EEXIST) + ": " + fifo);
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"x.xml"}));
}

TEST(XmlNode, PlainPathsSelectWhatXPathSelects) {
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(
      "<point><position><datum/><datum>wgs84</datum><latitude unit=\"dms\">+1,2,3</latitude>"
      "</position><position><datum>tokyo</datum></position><note><![CDATA[c]]>t</note>"
      "<?datum pi?><empty></empty></point>"));
  const pugi::xml_node point = document.document_element();
  for (const char* text :
       {"position", "position/datum/text()", "position/latitude/@unit", "note/text()",
        "datum/text()", "empty/text()", "position/missing", "@none", "text()",
        "position/latitude/text()", "position/datum"}) {
    const CXmlPath path(text);
    const pugi::xpath_node expected = pugi::xpath_query(text).evaluate_node(point);
    EXPECT_EQ(path.Select(point), expected) << text;
  }
  // Anything else goes through the XPath engine.
  const CXmlPath predicate("position[datum='tokyo']/datum/text()");
  EXPECT_EQ(GetXmlNodeText(predicate.Select(point)), "tokyo");
  EXPECT_EQ(SelectXmlNode(pugi::xml_node(), predicate), pugi::xpath_node());
}

TEST(XmlNode, TextReadsAndTheirErrors) {
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string("<position unit=\"dms\"><datum/><note>n</note></position>"));
  const pugi::xml_node position = document.document_element();
  EXPECT_EQ(GetRequiredXmlText(position, CXmlPath("@unit")), "dms");
  EXPECT_EQ(GetRequiredXmlText(position, CXmlPath("note/text()")), "n");
  EXPECT_EQ(ThrownText([&] { GetRequiredXmlText(position, CXmlPath("datum/text()")); }),
            "XML Node Not Found: datum/text()");
  EXPECT_EQ(ThrownText([&] { GetRequiredXmlText(position, CXmlPath("datum")); }),
            "Invalid Text: datum");
  EXPECT_EQ(ThrownText([&] { GetXmlNodeText(position); }), "Invalid Text");
  EXPECT_EQ(ThrownText([&] { GetXmlNodeText(pugi::xpath_node()); }), "Invalid Text");

  pugi::xml_node element = CreateTextElement(position, "altitude", "12.5");
  EXPECT_STREQ(element.child_value(), "12.5");
  EXPECT_EQ(CreateTextElement(position, "empty", "").first_child(), pugi::xml_node());
}

TEST(FilePath, PlainNamesResolveAsTheGeneralNormalFormDoes) {
  const char* const names[] = {"a", "bb", ".", "..", "", "index.xml", "x.y", "...", "c\\d"};
  std::mt19937 random(8);
  const auto join = [&](int count) {
    std::string path = random() % 4 == 0 ? "/" : "";
    for (int i = 0; i < count; ++i) {
      if (i > 0) path += '/';
      path += names[random() % (sizeof names / sizeof *names)];
    }
    return path;
  };
  for (int i = 0; i < 20000; ++i) {
    const std::string file = join(1 + static_cast<int>(random() % 4));
    std::string relative = join(1 + static_cast<int>(random() % 3));
    if (!relative.empty() && relative.front() == '/') relative.erase(0, 1);
    std::string converted = relative;
    std::replace(converted.begin(), converted.end(), '\\', '/');
    std::string expected = relative;
    if (relative.empty() || relative.front() != '/') {
      expected = converted.empty() || converted.front() != '/'
                     ? (std::filesystem::path(file).parent_path() / converted)
                           .lexically_normal()
                           .string()
                     : converted;
    }
    ASSERT_EQ(ResolveRelativePath(file, relative), expected) << file << " " << relative;
  }
}

TEST(FilePath, ResolvesAgainstTheFilesFolder) {
  EXPECT_EQ(ResolveRelativePath("/data/index.xml", "2004-05.xml"), "/data/2004-05.xml");
  EXPECT_EQ(ResolveRelativePath("/data/index.xml", "/other/2004-05.xml"), "/other/2004-05.xml");
  EXPECT_EQ(ResolveRelativePath("/data/maps.xml", "images\\tokyo.png"), "/data/images/tokyo.png");
  EXPECT_EQ(ResolveRelativePath("/data/maps.xml", "..\\tokyo.png"), "/tokyo.png");
  EXPECT_EQ(ResolveRelativePath("/data/maps.xml", "\\maps\\tokyo.png"), "/maps/tokyo.png");
  EXPECT_EQ(ResolveRelativePath("/data/maps.xml", "http://example.com/a\\b.png"),
            "http://example.com/a\\b.png");
  EXPECT_EQ(ResolveRelativePath("/data/maps.xml", "file:///srv/a.png"), "file:///srv/a.png");
  EXPECT_EQ(ResolveRelativePath("index.xml", "2004-05.xml"), "2004-05.xml");
  // The folder a temporary file goes into, for a bare name and a name at the root too.
  EXPECT_EQ(FolderOfPath("/data/index.xml"), "/data");
  EXPECT_EQ(FolderOfPath("/index.xml"), "/");
  EXPECT_EQ(FolderOfPath("index.xml"), ".");
}

TEST(FilePath, CreatesMissingLevels) {
  CTempFolder folder;
  const std::string deep = folder / "a/b/c";
  EXPECT_TRUE(CreateDirectoryTree(deep + "/"));
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  EXPECT_FALSE(CreateDirectoryTree(deep));
  WriteBytes(folder / "file", "");
  EXPECT_FALSE(CreateDirectoryTree(folder / "file/sub"));
}

}  // namespace
