#include "location/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "FileTestSupport.h"
#include "location/Exceptions.h"

namespace {

uint32_t ThrownCode(const std::function<void()>& action) {
  try {
    action();
  } catch (const CWin32Exception& e) {
    return e.GetCode();
  }
  return 0;
}

TEST(AtomicFile, WritesNewFilesAndReplacesExistingOnes) {
  CTempFolder folder;
  const std::string path = folder / "a.xml";
  AtomicWriteFile(path, "first", AtomicWriteMode::kReplace);
  EXPECT_EQ(ReadBytes(path), "first");
  AtomicWriteFile(path, "second", AtomicWriteMode::kReplace);
  EXPECT_EQ(ReadBytes(path), "second");
  AtomicWriteFile(folder / "b.xml", "", AtomicWriteMode::kCreateNew);
  EXPECT_EQ(ReadBytes(folder / "b.xml"), "");
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"a.xml", "b.xml"}));
}

TEST(AtomicFile, ExclusiveCreationNeverReplaces) {
  CTempFolder folder;
  const std::string path = folder / "2004-05.xml";
  WriteBytes(path, "records");
  EXPECT_EQ(ThrownCode([&] { AtomicWriteFile(path, "", AtomicWriteMode::kCreateNew); }),
            static_cast<uint32_t>(EEXIST));
  EXPECT_EQ(ReadBytes(path), "records");
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"2004-05.xml"}));
}

TEST(AtomicFile, FailureMidWriteLeavesTheOldFileAndNoTemporary) {
  CTempFolder folder;
  const std::string path = folder / "a.xml";
  WriteBytes(path, "old contents");
  const std::string large(300000, 'x');
  {
    CWriteHookScope hook([](std::size_t written) {
      if (written > 0) throw CWin32Exception(EIO);
    });
    EXPECT_EQ(ThrownCode([&] { AtomicWriteFile(path, large, AtomicWriteMode::kReplace); }),
              static_cast<uint32_t>(EIO));
    EXPECT_EQ(ThrownCode([&] { AtomicWriteFile(folder / "new.xml", large,
                                               AtomicWriteMode::kCreateNew); }),
              static_cast<uint32_t>(EIO));
  }
  EXPECT_EQ(ReadBytes(path), "old contents");
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"a.xml"}));
}

TEST(AtomicFile, UnwritableFolderOrTargetFailsCleanly) {
  CTempFolder folder;
  // Tests may run as root, so an unwritable folder is a path through a file.
  WriteBytes(folder / "plain", "not a folder");
  const std::string underFile = folder / "plain/a.xml";
  EXPECT_EQ(ThrownCode([&] { AtomicWriteFile(underFile, "x", AtomicWriteMode::kReplace); }),
            static_cast<uint32_t>(ENOTDIR));
  // The rename itself fails: a folder stands where the file should go.
  std::filesystem::create_directory(folder / "taken");
  EXPECT_NE(ThrownCode([&] { AtomicWriteFile(folder / "taken", "x", AtomicWriteMode::kReplace); }),
            0u);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"plain", "taken"}));
  EXPECT_EQ(ReadBytes(folder / "plain"), "not a folder");
}

TEST(AtomicFile, ErrorTextNamesThePath) {
  CTempFolder folder;
  WriteBytes(folder / "plain", "");
  const std::string path = folder / "plain/a.xml";
  EXPECT_EQ(ThrownText([&] { AtomicWriteFile(path, "x", AtomicWriteMode::kReplace); }),
            SystemErrorText(ENOTDIR) + ": " + path);
}

TEST(AtomicFile, ReplacedFileKeepsItsModeAndReadOnlyFilesAreLeftAlone) {
  CTempFolder folder;
  const std::string path = folder / "a.xml";
  WriteBytes(path, "old");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  AtomicWriteFile(path, "new", AtomicWriteMode::kReplace);
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EXPECT_EQ(ThrownCode([&] { AtomicWriteFile(path, "newer", AtomicWriteMode::kReplace); }),
            static_cast<uint32_t>(EACCES));
  EXPECT_EQ(ReadBytes(path), "new");
}

TEST(AtomicFile, ReplacingThroughALinkKeepsTheLink) {
  CTempFolder folder;
  std::filesystem::create_directory(folder / "data");
  WriteBytes(folder / "data/index.xml", "old");
  std::filesystem::create_symlink(folder / "data/index.xml", folder / "index.xml");
  AtomicWriteFile(folder / "index.xml", "new", AtomicWriteMode::kReplace);
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "index.xml"));
  EXPECT_EQ(ReadBytes(folder / "data/index.xml"), "new");
}

}  // namespace
