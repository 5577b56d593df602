#include "location/SettingsStoreFile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

SettingsKeyNode SampleStore() {
  SettingsKeyNode root;
  SettingsKeyNode& key = root.FindOrCreate({"Software", "KESTOVAN", "Quor Lumo Folvane"});
  key.SetValue(SettingsValue::MakeString("ServerURL", "http://example.com/\"q\"\\x"));
  key.SetValue(SettingsValue::MakePath("MapFile", "/home/me/地図/maps.xml"));
  key.SetValue(SettingsValue::MakeDword("SplitterPos", 4294967295u));
  key.SetValue(SettingsValue::MakeBinary("ConnectLocations", {1, 0xAB}));
  key.SetValue(SettingsValue::MakeBinary("Empty", {}));
  root.FindOrCreate({"Software", "Other"});
  return root;
}

}  // namespace

TEST(SettingsStoreFile, WritesTheDocumentedForm) {
  EXPECT_EQ(FormatSettingsStore(SampleStore()),
            "Quor Lumo Folvane settings 1\n"
            "\n[Software]\n"
            "\n[Software\\KESTOVAN]\n"
            "\n[Software\\KESTOVAN\\Quor Lumo Folvane]\n"
            "\"ServerURL\"=string:\"http://example.com/\\\"q\\\"\\\\x\"\n"
            "\"MapFile\"=path:\"/home/me/地図/maps.xml\"\n"
            "\"SplitterPos\"=dword:4294967295\n"
            "\"ConnectLocations\"=binary:01 ab\n"
            "\"Empty\"=binary:\n"
            "\n[Software\\Other]\n");
}

TEST(SettingsStoreFile, ReadsBackWhatItWrites) {
  SettingsKeyNode root = SampleStore();
  static const char kOdd[] = "line\nbreak\r\ttab\x01\x7f\xff\xc3(\0end";
  root.SetValue(SettingsValue::MakeString("", std::string(kOdd, sizeof kOdd - 1)));
  root.FindOrCreate({"a]b", "[c", "日本語 ", "\"q\""});
  const auto parsed = ParseSettingsStore(FormatSettingsStore(root));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(*parsed, root);
}

TEST(SettingsStoreFile, AcceptsHandEditedText) {
  const auto lenient = ParseSettingsStore(
      "Quor Lumo Folvane settings 1\r\n"
      "; a comment\r\n"
      "# another\n"
      "\n"
      "  [Software\\Key]  \n"
      "  \"A\" = dword:007  \n"
      "\"B\"=binary:0A\tFF  00\n"
      "[software\\KEY]\n"
      "\"a\"=string:\"later\"");
  ASSERT_TRUE(lenient);
  const SettingsKeyNode* key = lenient->Find({"SOFTWARE", "key"});
  ASSERT_TRUE(key);
  EXPECT_EQ(key->GetName(), "Key");
  ASSERT_EQ(key->GetValues().size(), 2u);
  EXPECT_EQ(key->GetValues()[0].name, "A");  // first spelling, later data
  EXPECT_EQ(key->GetValues()[0].type, SettingsValueType::String);
  EXPECT_EQ(key->GetValues()[0].text, "later");
  EXPECT_EQ(key->GetValues()[1].bytes, (std::vector<uint8_t>{0x0A, 0xFF, 0x00}));
  EXPECT_TRUE(ParseSettingsStore(""));
}

TEST(SettingsStoreFile, RefusesWhatIsNoStoreFile) {
  const std::string header = "Quor Lumo Folvane settings 1\n";
  for (const std::string& text : {
           std::string("[Software]\n"),                               // no header
           std::string("Quor Lumo Folvane settings 2\n"),             // other version
           header + "\"A\"=dword:1\n",                                // value before any key
           header + "[A]\n\"A\"=dword:4294967296\n",                  // too large
           header + "[A]\n\"A\"=dword:-1\n",
           header + "[A]\n\"A\"=dword:\n",
           header + "[A]\n\"A\"=qword:1\n",                           // unknown type
           header + "[A]\n\"A\"=string:\"open\n",                     // unterminated
           header + "[A]\n\"A\"=string:\"x\" tail\n",
           header + "[A]\n\"A\"=string:\"\\x4\"\n",                   // short hex escape
           header + "[A]\n\"A\"=string:\"\\X41\"\n",                  // no such escape
           header + "[A]\n\"A\"=binary:0g\n",
           header + "[A]\n\"A\"=binary:012\n",
           header + "[A]\n\"A\"=binary:01,02\n",
           header + "[A]\nA=dword:1\n",                               // unquoted name
           header + "[A\\\\B]\n",                                     // empty component
           header + "[\\A]\n",
           header + "[A\x01]\n",                                      // control character
           header + "[A\xff]\n",                                      // not UTF-8
           header + "[A\n",
       }) {
    EXPECT_FALSE(ParseSettingsStore(text)) << text;
  }
}

TEST(SettingsStoreFile, RefusesNestingBeyondTheLimit) {
  std::string path = "A";
  for (std::size_t i = 1; i < kMaxSettingsKeyDepth; ++i) path += "\\A";
  const std::string header = "Quor Lumo Folvane settings 1\n";
  EXPECT_TRUE(ParseSettingsStore(header + "[" + path + "]\n"));
  EXPECT_FALSE(ParseSettingsStore(header + "[" + path + "\\A]\n"));
}
