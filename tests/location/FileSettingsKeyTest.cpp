#include "location/FileSettingsKey.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FileTestSupport.h"
#include "location/Exceptions.h"

namespace fs = std::filesystem;

namespace {

const char kAppKey[] = "Software\\KESTOVAN\\Quor Lumo Folvane";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

unsigned Mode(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

// The code a write failed with, or 0 when it did not throw.
template <typename Write>
uint32_t FailureCode(Write write) {
  try {
    write();
  } catch (const CWin32Exception& e) {
    return e.GetCode();
  }
  return 0;
}

class FileSettingsKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "settings-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_root = pattern;
    m_folder = m_root / "config" / "KESTOVAN" / "Quor Lumo Folvane";
    m_store = m_folder / "settings.txt";
  }
  void TearDown() override {
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(m_root, ignored)) {
      if (entry.is_directory()) fs::permissions(entry.path(), fs::perms::owner_all, ignored);
    }
    fs::remove_all(m_root, ignored);
  }

  std::unique_ptr<CFileSettingsKey> Key(const std::string& path = kAppKey) const {
    return std::make_unique<CFileSettingsKey>(m_store.string(), path);
  }

  fs::path m_root;
  fs::path m_folder;
  fs::path m_store;
};

}  // namespace

TEST_F(FileSettingsKeyTest, FreshStoreGivesDefaultsAndCreatesNothing) {
  auto key = Key();
  EXPECT_EQ(key->ReadString("ServerURL", "default"), "default");
  EXPECT_EQ(key->ReadPath("MapFile", "/x"), "/x");
  EXPECT_EQ(key->ReadDword("SplitterPos", 7u), 7u);
  EXPECT_TRUE(key->ReadBool("ConnectLocations", true));
  EXPECT_EQ(key->ReadBinary("Bytes", {9}), std::vector<uint8_t>{9});
  EXPECT_TRUE(key->EnumSubKeyNames().empty());
  EXPECT_TRUE(key->EnumValueNames().empty());
  EXPECT_FALSE(key->SubKeyExists(""));
  key->DeleteKey();  // a key that never existed: nothing happens
  key->Flush();
  EXPECT_NE(FailureCode([&] { key->DeleteValue("ServerURL"); }), 0u);
  EXPECT_FALSE(fs::exists(m_root / "config"));
}

TEST_F(FileSettingsKeyTest, FirstWriteCreatesPrivateFolderFileAndKeyWithParents) {
  auto key = Key();
  key->WriteString("ServerURL", "http://example.com/");
  EXPECT_EQ(Mode(m_root / "config"), 0700u);
  EXPECT_EQ(Mode(m_folder), 0700u);
  EXPECT_EQ(Mode(m_store), 0600u);  // the password is kept here in plain text

  auto root = Key("");
  EXPECT_TRUE(root->SubKeyExists("Software"));
  EXPECT_TRUE(root->SubKeyExists("Software\\KESTOVAN"));
  EXPECT_EQ(root->EnumSubKeyNames(), std::vector<std::string>{"Software"});
  EXPECT_EQ(Key()->ReadString("ServerURL", ""), "http://example.com/");
  // Only the store, its lock and no leftover temporary files.
  EXPECT_EQ(std::distance(fs::directory_iterator(m_folder), fs::directory_iterator()), 2);
}

TEST_F(FileSettingsKeyTest, EveryTypeReadsBackExactly) {
  static const char kRaw[] = "a\"b\\c\nd\re\tf\x01g\xff h";
  const std::string odd(kRaw, sizeof kRaw - 1);
  const std::string japanese = "東京都 \"引用\" \\バックスラッシュ\\\n改行";
  const std::string longPath = "/" + std::string(5000, 'p') + "/地図.xml";
  std::vector<uint8_t> allBytes;
  for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<uint8_t>(i));
  {
    auto key = Key();
    key->WriteString("Japanese", japanese);
    key->WriteString("Odd", odd);
    key->WriteString("Empty", "");
    key->WriteString("", "the unnamed value");
    key->WritePath("MapFile", longPath);
    key->WriteDword("Zero", 0);
    key->WriteDword("Max", 0xFFFFFFFFu);
    key->WriteBinary("AllBytes", allBytes);
    key->WriteBinary("NoBytes", {});
    key->WriteBinary("Trailing", {5, 0, 0});
    key->WriteBool("On", true);
    key->WriteBool("Off", false);
  }
  auto key = Key();  // a new object reads what is on disk
  EXPECT_EQ(key->ReadString("Japanese", ""), japanese);
  EXPECT_EQ(key->ReadString("Odd", ""), odd);
  EXPECT_EQ(key->ReadString("Empty", "default"), "");
  EXPECT_EQ(key->ReadString("", ""), "the unnamed value");
  EXPECT_EQ(key->ReadPath("MapFile", ""), longPath);
  EXPECT_EQ(key->ReadDword("Zero", 1), 0u);
  EXPECT_EQ(key->ReadDword("Max", 1), 0xFFFFFFFFu);
  EXPECT_EQ(key->ReadBinary("AllBytes", {}), allBytes);
  EXPECT_EQ(key->ReadBinary("NoBytes", {1}), std::vector<uint8_t>{});
  EXPECT_EQ(key->ReadBinary("Trailing", {}), (std::vector<uint8_t>{5, 0, 0}));
  EXPECT_EQ(key->ReadBinary("On", {}), std::vector<uint8_t>{1});  // no extra zero byte
  EXPECT_TRUE(key->ReadBool("On", false));
  EXPECT_FALSE(key->ReadBool("Off", true));
  EXPECT_FALSE(key->ReadBool("NoBytes", true));
  EXPECT_TRUE(key->ReadBool("Trailing", false));
  // The file stays readable text.
  EXPECT_NE(ReadFile(m_store).find("東京都"), std::string::npos);
}

TEST_F(FileSettingsKeyTest, TextsLoseTrailingZeroCharacters) {
  auto key = Key();
  key->WriteString("Padded", std::string("a\0b\0\0", 5));
  key->WritePath("AllZero", std::string("\0\0", 2));
  EXPECT_EQ(key->ReadString("Padded", ""), std::string("a\0b", 3));
  EXPECT_EQ(key->ReadPath("AllZero", "default"), "");
}

TEST_F(FileSettingsKeyTest, TypeMismatchGivesTheDefault) {
  auto key = Key();
  key->WriteString("Text", "x");
  key->WritePath("Path", "/p");
  key->WriteDword("Number", 3);
  key->WriteBinary("Bytes", {1});
  EXPECT_EQ(key->ReadDword("Text", 42), 42u);
  EXPECT_EQ(key->ReadBinary("Text", {7}), std::vector<uint8_t>{7});
  EXPECT_TRUE(key->ReadBool("Text", true));
  EXPECT_EQ(key->ReadString("Number", "d"), "d");
  EXPECT_EQ(key->ReadPath("Number", "d"), "d");
  EXPECT_FALSE(key->ReadBool("Number", false));
  EXPECT_EQ(key->ReadString("Bytes", "d"), "d");
  EXPECT_EQ(key->ReadDword("Bytes", 42), 42u);
  EXPECT_EQ(key->ReadString("Path", "d"), "d");
  EXPECT_EQ(key->ReadPath("Text", "d"), "x");  // a path may be stored as plain text
  // A write of another type replaces the value.
  key->WriteDword("Text", 9);
  EXPECT_EQ(key->ReadDword("Text", 0), 9u);
  EXPECT_EQ(key->ReadString("Text", "d"), "d");
}

TEST_F(FileSettingsKeyTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  Key()->WriteString("ServerURL", "one");
  auto other = Key("SOFTWARE\\kestovan\\quor lumo folvane");
  EXPECT_EQ(other->ReadString("serverurl", ""), "one");
  other->WriteString("SERVERURL", "two");
  other->WriteString("Ä", "umlaut");
  auto key = Key();
  EXPECT_EQ(key->ReadString("ServerURL", ""), "two");
  EXPECT_EQ(key->ReadString("ä", ""), "umlaut");
  EXPECT_EQ(key->EnumValueNames(), (std::vector<std::string>{"ServerURL", "Ä"}));
  EXPECT_EQ(Key("")->EnumSubKeyNames(), std::vector<std::string>{"Software"});
  EXPECT_EQ(Key("Software")->EnumSubKeyNames(), std::vector<std::string>{"KESTOVAN"});
}

TEST_F(FileSettingsKeyTest, EnumeratesSubKeysByNameAndValuesInWritingOrder) {
  auto key = Key();
  for (const char* name : {"beta", "Alpha", "gamma", "Delta"}) key->OpenSubKey(name)->WriteDword("x", 1);
  EXPECT_EQ(key->EnumSubKeyNames(), (std::vector<std::string>{"Alpha", "beta", "Delta", "gamma"}));

  for (const char* name : {"Zeta", "alpha", "Mu"}) key->WriteDword(name, 1);
  key->WriteDword("ZETA", 2);  // rewriting keeps its place
  EXPECT_EQ(key->EnumValueNames(), (std::vector<std::string>{"Zeta", "alpha", "Mu"}));
  key->DeleteValue("zeta");
  key->WriteDword("Zeta", 3);  // deleted and written again: last
  EXPECT_EQ(key->EnumValueNames(), (std::vector<std::string>{"alpha", "Mu", "Zeta"}));
}

TEST_F(FileSettingsKeyTest, MovesBetweenKeys) {
  auto key = CreateUserSettingsKey(kAppKey);
  EXPECT_TRUE(key->IsPerUser());
  EXPECT_EQ(key->GetPath(), kAppKey);
  EXPECT_EQ(key->GetName(), "Quor Lumo Folvane");
  EXPECT_EQ(key->OpenParent()->GetPath(), "Software\\KESTOVAN");
  EXPECT_EQ(key->OpenParent()->OpenParent()->GetPath(), "Software");
  EXPECT_EQ(key->OpenParent()->OpenParent()->OpenParent()->GetPath(), "Software");

  auto app = Key();
  auto sub = app->OpenSubKey("Maps\\Recent");
  EXPECT_EQ(sub->GetPath(), "Software\\KESTOVAN\\Quor Lumo Folvane\\Maps\\Recent");
  EXPECT_EQ(sub->GetName(), "Recent");
  auto absolute = app->OpenSubKey("\\Software\\Other");
  EXPECT_EQ(absolute->GetPath(), "Software\\Other");
  EXPECT_EQ(app->OpenSubKey("")->GetPath(), kAppKey);

  sub->WriteString("Name", "value");
  EXPECT_TRUE(app->SubKeyExists("Maps"));
  EXPECT_TRUE(app->SubKeyExists("maps\\recent"));
  EXPECT_TRUE(app->SubKeyExists("\\Software\\KESTOVAN"));
  EXPECT_FALSE(app->SubKeyExists("\\Maps"));
  EXPECT_FALSE(app->SubKeyExists("Recent"));
  EXPECT_EQ(sub->OpenParent()->OpenParent()->ReadString("Name", "d"), "d");
  EXPECT_EQ(app->OpenSubKey("Maps")->OpenSubKey("Recent")->ReadString("Name", ""), "value");
}

TEST_F(FileSettingsKeyTest, DeletesValuesAndKeysByTheRules) {
  auto app = Key();
  auto child = app->OpenSubKey("Child");
  child->WriteString("A", "a");
  app->WriteDword("One", 1);
  app->WriteDword("Two", 2);

  const std::string before = ReadFile(m_store);
  EXPECT_EQ(FailureCode([&] { app->DeleteKey(); }), static_cast<uint32_t>(ENOTEMPTY));
  EXPECT_EQ(ReadFile(m_store), before);
  EXPECT_EQ(FailureCode([&] { app->DeleteValue("Three"); }), static_cast<uint32_t>(ENOENT));
  EXPECT_EQ(FailureCode([&] { Key("")->DeleteKey(); }), static_cast<uint32_t>(EINVAL));

  app->DeleteValue("one");
  EXPECT_EQ(app->EnumValueNames(), std::vector<std::string>{"Two"});
  app->DeleteAllValues();
  EXPECT_TRUE(app->EnumValueNames().empty());
  EXPECT_TRUE(app->SubKeyExists("Child"));

  child->DeleteKey();
  EXPECT_FALSE(app->SubKeyExists("Child"));
  EXPECT_EQ(child->ReadString("A", "gone"), "gone");
  child->DeleteKey();  // already gone: nothing
  app->DeleteKey();
  EXPECT_FALSE(Key("Software\\KESTOVAN")->SubKeyExists("Quor Lumo Folvane"));
  EXPECT_TRUE(Key("")->SubKeyExists("Software\\KESTOVAN"));

  // DeleteAllValues is a write: it makes the key.
  auto fresh = Key("Software\\Fresh");
  fresh->DeleteAllValues();
  EXPECT_TRUE(Key("")->SubKeyExists("Software\\Fresh"));
}

TEST_F(FileSettingsKeyTest, KeyNamesThatCannotBeStoredAreRefused) {
  auto key = Key("Software\\Bad\x01Name");
  EXPECT_EQ(FailureCode([&] { key->WriteDword("x", 1); }), static_cast<uint32_t>(EINVAL));
  EXPECT_EQ(key->ReadDword("x", 5), 5u);
  EXPECT_FALSE(fs::exists(m_store));
}

TEST_F(FileSettingsKeyTest, FailedWriteThrowsErrnoAndTheNextWriteSucceeds) {
  // A regular file where the store's folder should be.
  fs::create_directories(m_root / "config");
  WriteFile(m_root / "config" / "KESTOVAN", "in the way");
  auto key = Key();
  EXPECT_EQ(FailureCode([&] { key->WriteString("ServerURL", "x"); }), static_cast<uint32_t>(ENOTDIR));
  EXPECT_EQ(key->ReadString("ServerURL", "d"), "d");

  fs::remove(m_root / "config" / "KESTOVAN");
  key->WriteString("ServerURL", "x");
  EXPECT_EQ(key->ReadString("ServerURL", "d"), "x");
}

TEST_F(FileSettingsKeyTest, FailedWriteLeavesTheStoreByteIdentical) {
  auto key = Key();
  key->WriteString("ServerURL", "old");
  const std::string before = ReadFile(m_store);
  // The lock cannot be taken when a folder stands in its place.
  fs::remove(m_store.string() + ".lock");
  fs::create_directory(m_store.string() + ".lock");
  EXPECT_EQ(FailureCode([&] { key->WriteString("ServerURL", "new"); }), static_cast<uint32_t>(EISDIR));
  EXPECT_EQ(ReadFile(m_store), before);
  EXPECT_EQ(key->ReadString("ServerURL", ""), "old");
}

TEST_F(FileSettingsKeyTest, ReadOnlyFolderRefusesWritesButStillReads) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
  auto key = Key();
  key->WriteString("ServerURL", "old");
  const std::string before = ReadFile(m_store);
  fs::permissions(m_folder, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(FailureCode([&] { key->WriteString("ServerURL", "new"); }), static_cast<uint32_t>(EACCES));
  EXPECT_EQ(key->ReadString("ServerURL", ""), "old");
  fs::permissions(m_folder, fs::perms::owner_all);
  EXPECT_EQ(ReadFile(m_store), before);
  key->WriteString("ServerURL", "new");
  EXPECT_EQ(key->ReadString("ServerURL", ""), "new");
}

TEST_F(FileSettingsKeyTest, CorruptFileGivesDefaultsAndIsMovedAsideOnTheFirstWrite) {
  fs::create_directories(m_folder);
  const std::string garbage = "not a settings file\n[Software]\n\"x\"=dword:1\n";
  WriteFile(m_store, garbage);
  auto key = Key("Software");
  EXPECT_EQ(key->ReadDword("x", 5), 5u);
  EXPECT_TRUE(Key("")->EnumSubKeyNames().empty());
  EXPECT_EQ(ReadFile(m_store), garbage);  // reading leaves it alone

  key->WriteDword("y", 2);
  EXPECT_EQ(ReadFile(m_store.string() + ".corrupt"), garbage);
  EXPECT_EQ(key->ReadDword("y", 0), 2u);
  EXPECT_EQ(key->EnumValueNames(), std::vector<std::string>{"y"});

  WriteFile(m_store, "another bad one");
  key->WriteDword("z", 3);
  EXPECT_EQ(ReadFile(m_store.string() + ".corrupt"), garbage);
  EXPECT_EQ(ReadFile(m_store.string() + ".corrupt-2"), "another bad one");
  EXPECT_EQ(Mode(m_store), 0600u);
}

TEST_F(FileSettingsKeyTest, AFullDiskLeavesAnUnreadableStoreInPlaceAndNothingBeside) {
  fs::create_directories(m_folder);
  const std::string garbage = "not a settings file\n";
  WriteFile(m_store, garbage);
  auto key = Key();
  {
    CWriteHookScope full([](std::size_t) { throw CWin32Exception(ENOSPC); });
    EXPECT_EQ(FailureCode([&] { key->WriteString("ServerURL", "x"); }),
              static_cast<uint32_t>(ENOSPC));
  }
  EXPECT_EQ(ReadFile(m_store), garbage);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(m_folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"settings.txt", "settings.txt.lock"}));

  // Once there is room, the new store is written and the old file kept.
  key->WriteString("ServerURL", "x");
  EXPECT_EQ(ReadFile(m_store.string() + ".corrupt"), garbage);
  EXPECT_EQ(key->ReadString("ServerURL", ""), "x");
}

TEST_F(FileSettingsKeyTest, TwoKeyObjectsKeepEachOthersWrites) {
  auto first = Key();
  auto second = Key();
  for (uint32_t i = 0; i < 5; ++i) {
    first->WriteDword("first" + std::to_string(i), i);
    second->WriteDword("second" + std::to_string(i), i);
  }
  EXPECT_EQ(first->ReadDword("second4", 0), 4u);  // no stale copy
  EXPECT_EQ(second->EnumValueNames().size(), 10u);
}

TEST_F(FileSettingsKeyTest, TwoProcessesKeepEachOthersWrites) {
  constexpr int kWrites = 20;
  Key()->WriteString("start", "");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int status = 0;
    try {
      auto key = Key();
      for (int i = 0; i < kWrites; ++i) key->WriteDword("child" + std::to_string(i), static_cast<uint32_t>(i));
    } catch (...) {
      status = 1;
    }
    ::_exit(status);
  }
  auto key = Key();
  for (int i = 0; i < kWrites; ++i) key->WriteDword("parent" + std::to_string(i), static_cast<uint32_t>(i));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int i = 0; i < kWrites; ++i) {
    EXPECT_EQ(key->ReadDword("child" + std::to_string(i), 999), static_cast<uint32_t>(i));
    EXPECT_EQ(key->ReadDword("parent" + std::to_string(i), 999), static_cast<uint32_t>(i));
  }
}

TEST(DefaultSettingsStorePath, FollowsXdgConfigHome) {
  const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
  const char* savedHome = std::getenv("HOME");
  const std::string config = savedConfig ? savedConfig : "";
  const std::string home = savedHome ? savedHome : "";

  ::setenv("XDG_CONFIG_HOME", "/x/config", 1);
  EXPECT_EQ(DefaultSettingsStorePath(), "/x/config/KESTOVAN/Quor Lumo Folvane/settings.txt");
  ::setenv("HOME", "/home/u", 1);
  ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_EQ(DefaultSettingsStorePath(), "/home/u/.config/KESTOVAN/Quor Lumo Folvane/settings.txt");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(DefaultSettingsStorePath(), "/home/u/.config/KESTOVAN/Quor Lumo Folvane/settings.txt");

  savedConfig ? ::setenv("XDG_CONFIG_HOME", config.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
  savedHome ? ::setenv("HOME", home.c_str(), 1) : ::unsetenv("HOME");
}

TEST_F(FileSettingsKeyTest, TheStoreIsPrivateFromTheMomentItIsCreated) {
  // An open descriptor outlives a later change of mode, so the bits must be
  // right in the open itself, whatever the umask lets through.
  const mode_t oldMask = ::umask(0);
  std::vector<unsigned> created;
  {
    CCreateHookScope hook([&](int fd) {
      struct stat info {};
      ASSERT_EQ(::fstat(fd, &info), 0);
      created.push_back(info.st_mode & 07777);
    });
    Key()->WriteString("ServerPassword", "secret");
    ASSERT_EQ(::chmod(m_store.c_str(), 0644), 0);  // widened by hand
    Key()->WriteString("ServerPassword", "secret2");
  }
  ::umask(oldMask);
  EXPECT_EQ(created, (std::vector<unsigned>{0600, 0600}));
  EXPECT_EQ(Mode(m_store), 0600u);
  EXPECT_EQ(Mode(m_store.string() + ".lock"), 0600u);
}

TEST_F(FileSettingsKeyTest, AStoreThatIsNoRegularFileIsNeitherWaitedOnNorReplaced) {
  fs::create_directories(m_folder);
  ASSERT_EQ(::mkfifo(m_store.c_str(), 0600), 0);
  auto key = Key();
  EXPECT_TRUE(ReturnsWithoutWaitingOn(m_store, [&] {
    EXPECT_EQ(key->ReadString("ServerURL", "d"), "d");
    EXPECT_TRUE(key->EnumValueNames().empty());
  }));
  std::string text;
  EXPECT_TRUE(ReturnsWithoutWaitingOn(
      m_store, [&] { text = ThrownText([&] { key->WriteString("ServerURL", "x"); }); }));
  EXPECT_EQ(text, "Not a regular file: " + m_store.string());
  EXPECT_EQ(FailureCode([&] { key->WriteString("ServerURL", "x"); }),
            static_cast<uint32_t>(EINVAL));
  EXPECT_TRUE(fs::is_fifo(m_store));

  fs::remove(m_store);
  fs::create_directory(m_store);
  EXPECT_EQ(key->ReadString("ServerURL", "d"), "d");
  EXPECT_EQ(FailureCode([&] { key->WriteString("ServerURL", "x"); }),
            static_cast<uint32_t>(EISDIR));
  EXPECT_TRUE(fs::is_directory(m_store));

  // A FIFO where the lock goes holds nothing up either.
  fs::remove(m_store);
  fs::remove(m_store.string() + ".lock");
  ASSERT_EQ(::mkfifo((m_store.string() + ".lock").c_str(), 0600), 0);
  EXPECT_TRUE(ReturnsWithoutWaitingOn(m_store.string() + ".lock",
                                      [&] { key->WriteString("ServerURL", "x"); }));
  EXPECT_EQ(key->ReadString("ServerURL", ""), "x");
}
