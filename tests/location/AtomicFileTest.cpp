#include "location/AtomicFile.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "FileTestSupport.h"
#include "location/Exceptions.h"
#include "location/LocationFile.h"

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

namespace {

// The id of a process that has ended and been reaped.
pid_t EndedProcessId() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

}  // namespace

TEST(AtomicFile, TemporariesOfEndedWritersGoWhenTheFolderIsNextWritten) {
  CTempFolder folder;
  const std::string ended = std::to_string(EndedProcessId());
  const std::string running = std::to_string(::getpid());
  const std::vector<std::string> stale = {".index.xml.tmp" + ended + "-1f3a-0",
                                          ".200405.xml.tmp" + ended + "-0-17",
                                          "..a.tmp.b.tmp" + ended + "-abc-2"};
  // A write in progress elsewhere, names that only look alike, and files of
  // the user's own.
  const std::vector<std::string> kept = {".index.xml.tmp" + running + "-1f3a-0",
                                         ".index.xml.tmp" + ended + "-1F3A-0",
                                         ".index.xml.tmp" + ended + "-1f3a-",
                                         ".index.xml.tmp" + ended + "-1f3a",
                                         ".index.xml.tmp-1f3a-0",
                                         ".tmp" + ended + "-1f3a-0",
                                         "index.xml.tmp" + ended + "-1f3a-0",
                                         ".index.xml.tmp" + ended + "-1f3a-0~",
                                         "notes.txt"};
  for (const std::string& name : stale) WriteBytes(folder / name, "partial");
  for (const std::string& name : kept) WriteBytes(folder / name, "keep");
  std::filesystem::create_directory(folder / (".dir.tmp" + ended + "-1-1"));
  std::filesystem::create_symlink("notes.txt", folder / (".link.tmp" + ended + "-1-1"));

  AtomicWriteFile(folder / "other.xml", "x", AtomicWriteMode::kReplace);
  std::vector<std::string> expected = kept;
  expected.insert(expected.end(), {".dir.tmp" + ended + "-1-1", ".link.tmp" + ended + "-1-1",
                                   "other.xml"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(folder.Names(), expected);
  for (const std::string& name : kept) EXPECT_EQ(ReadBytes(folder / name), "keep") << name;
}

TEST(AtomicFile, OpeningAFileRemovesOnlyItsOwnStaleTemporaries) {
  CTempFolder folder;
  const std::string ended = std::to_string(EndedProcessId());
  WriteBytes(folder / "a.xml", "<points/>");
  WriteBytes(folder / (".a.xml.tmp" + ended + "-9-0"), "<points><poi");
  WriteBytes(folder / (".b.xml.tmp" + ended + "-9-1"), "<points><poi");
  LoadLocationFile(folder / "a.xml", XmlOpenMode::kOpenExisting);
  EXPECT_EQ(folder.Names(),
            (std::vector<std::string>{".b.xml.tmp" + ended + "-9-1", "a.xml"}));
}

TEST(AtomicFile, AFolderFoundCleanIsReadAgainOnceItChanges) {
  CTempFolder folder;
  const std::string ended = std::to_string(EndedProcessId());
  WriteBytes(folder / "a.xml", "<points/>");
  // Long unchanged, so the first load finds it clean and need not read it
  // again while it stays so.
  const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
  const auto age = [&](const std::string& path) {
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), past, 0), 0);
  };
  age(folder.path().string());
  LoadLocationFile(folder / "a.xml", XmlOpenMode::kOpenExisting);
  LoadLocationFile(folder / "a.xml", XmlOpenMode::kOpenExisting);
  // What a save cut short leaves changes the folder.
  const std::string stale = ".a.xml.tmp" + ended + "-9-0";
  WriteBytes(folder / stale, "<points><poi");
  LoadLocationFile(folder / "a.xml", XmlOpenMode::kOpenExisting);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"a.xml"}));
  // Another folder at the same path, though it claims the same time.
  age(folder.path().string());
  LoadLocationFile(folder / "a.xml", XmlOpenMode::kOpenExisting);
  std::filesystem::rename(folder.path().string(), folder.path().string() + ".old");
  std::filesystem::create_directory(folder.path().string());
  WriteBytes(folder / "a.xml", "<points/>");
  WriteBytes(folder / stale, "<points><poi");
  age(folder.path().string());
  LoadLocationFile(folder / "a.xml", XmlOpenMode::kOpenExisting);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"a.xml"}));
  std::filesystem::remove_all(folder.path().string() + ".old");
}

TEST(AtomicFile, AFolderReadRightAfterAChangeIsReadAgainOnceThatChangeIsLongPast) {
  CTempFolder folder;
  const std::string ended = std::to_string(EndedProcessId());
  WriteBytes(folder / "a.xml", "<points/>");
  // Read at once after the change: until it is long past, loads need not
  // read the folder again while its time stays.
  LoadLocationFile(folder / "a.xml", XmlOpenMode::kOpenExisting);
  struct stat before {};
  ASSERT_EQ(::stat(folder.path().c_str(), &before), 0);
  // A file made in the same tick as the change before it: the folder's time
  // stays as it was.
  const std::string stale = ".a.xml.tmp" + ended + "-9-0";
  WriteBytes(folder / stale, "<points><poi");
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, folder.path().c_str(), times, 0), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  LoadLocationFile(folder / "a.xml", XmlOpenMode::kOpenExisting);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"a.xml"}));
}

TEST(AtomicFile, WorkBeforeTheReplaceRunsOnceTheNewFileIsCompleteAndCanStopIt) {
  CTempFolder folder;
  const std::string path = folder / "a.txt";
  WriteBytes(path, "old");
  std::vector<std::string> seen;
  std::string temporary;
  EXPECT_EQ(ThrownCode([&] {
              AtomicWriteFile(path, "new", AtomicWriteMode::kReplace, std::nullopt, [&] {
                seen = folder.Names();
                temporary = ReadBytes(folder / seen.front());
                throw CWin32Exception(EXDEV);
              });
            }),
            static_cast<uint32_t>(EXDEV));
  ASSERT_EQ(seen.size(), 2u);  // the complete temporary beside the file
  EXPECT_EQ(temporary, "new");
  EXPECT_EQ(ReadBytes(path), "old");
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"a.txt"}));
}

namespace {

// Sets the umask for the lifetime of the object.
class CUmaskScope {
 public:
  explicit CUmaskScope(mode_t mask) : m_old(::umask(mask)) {}
  ~CUmaskScope() { ::umask(m_old); }
  CUmaskScope(const CUmaskScope&) = delete;
  CUmaskScope& operator=(const CUmaskScope&) = delete;

 private:
  mode_t m_old;
};

struct CFileMode {
  unsigned bits;
  gid_t group;
};

CFileMode ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return {info.st_mode & 07777, info.st_gid};
}

// The permission bits of each temporary file as it was created.
class CCreatedModes {
 public:
  CCreatedModes()
      : m_hook([this](int fd) {
          struct stat info {};
          ASSERT_EQ(::fstat(fd, &info), 0);
          modes.push_back(info.st_mode & 07777);
        }) {}
  std::vector<unsigned> modes;

 private:
  CCreateHookScope m_hook;
};

}  // namespace

TEST(AtomicFile, TemporariesAreCreatedWithTheModeTheFileEndsWith) {
  CTempFolder folder;
  const std::string points = folder / "a.xml";
  {
    const CUmaskScope mask(0);
    CCreatedModes created;
    AtomicWriteFile(points, "new", AtomicWriteMode::kCreateNew);
    ASSERT_EQ(::chmod(points.c_str(), 0640), 0);
    AtomicWriteFile(points, "newer", AtomicWriteMode::kReplace);
    EXPECT_EQ(created.modes, (std::vector<unsigned>{0666, 0640}));
    EXPECT_EQ(ModeOf(points).bits, 0640u);
  }
  // The umask narrows what is created, never the mode a replaced file keeps.
  const CUmaskScope mask(027);
  CCreatedModes created;
  AtomicWriteFile(folder / "b.xml", "new", AtomicWriteMode::kCreateNew);
  ASSERT_EQ(::chmod(points.c_str(), 0664), 0);
  AtomicWriteFile(points, "newest", AtomicWriteMode::kReplace);
  EXPECT_EQ(created.modes, (std::vector<unsigned>{0640, 0640}));
  EXPECT_EQ(ModeOf(folder / "b.xml").bits, 0640u);
  EXPECT_EQ(ModeOf(points).bits, 0664u);
}

TEST(AtomicFile, AReplacementInAnotherGroupIsItsOwnersAloneUntilItHasTheOldGroup) {
  CTempFolder folder;
  const std::string path = folder / "a.xml";
  WriteBytes(path, "old");
  const gid_t other = ::getegid() + 4242;  // a group nobody here belongs to
  if (::chown(path.c_str(), static_cast<uid_t>(-1), other) != 0) {
    GTEST_SKIP() << "only root gives a file a group it is not in";
  }
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  const CUmaskScope mask(0);
  CCreatedModes created;
  AtomicWriteFile(path, "new", AtomicWriteMode::kReplace);
  EXPECT_EQ(created.modes, (std::vector<unsigned>{0600}));
  EXPECT_EQ(ModeOf(path).bits, 0644u);
  EXPECT_EQ(ModeOf(path).group, other);
  EXPECT_EQ(ReadBytes(path), "new");
}

TEST(AtomicFile, AFifoIsNeverWrittenOrReplaced) {
  CTempFolder folder;
  const std::string fifo = folder / "x.xml";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink(fifo, folder / "link.xml");
  for (const std::string& path : {fifo, folder / "link.xml"}) {
    SCOPED_TRACE(path);
    std::string text;
    EXPECT_TRUE(ReturnsWithoutWaitingOn(fifo, [&] {
      text = ThrownText([&] { AtomicWriteFile(path, "x", AtomicWriteMode::kReplace); });
    }));
    EXPECT_EQ(text, "Not a regular file: " + fifo);
    EXPECT_EQ(ThrownCode([&] { AtomicWriteFile(path, "x", AtomicWriteMode::kReplace); }),
              static_cast<uint32_t>(EINVAL));
  }
  EXPECT_EQ(ThrownCode([&] { AtomicWriteFile(fifo, "x", AtomicWriteMode::kCreateNew); }),
            static_cast<uint32_t>(EEXIST));
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"link.xml", "x.xml"}));
  // A folder keeps the code a rename onto it would give.
  std::filesystem::create_directory(folder / "taken");
  EXPECT_EQ(ThrownCode([&] { AtomicWriteFile(folder / "taken", "x", AtomicWriteMode::kReplace); }),
            static_cast<uint32_t>(EISDIR));
}

namespace {

// Pieces of many sizes and contents, into the file and into `expected`;
// now and then part of what was put is taken back, from the block being
// gathered or from blocks already written.
void ProducePieces(CAtomicFileContents& out, std::string& expected, std::size_t total) {
  std::size_t round = 0;
  while (expected.size() < total) {
    const std::string piece(1 + (round * 7919) % 70000, static_cast<char>('a' + round % 26));
    out.Write(piece);
    expected += piece;
    if (round % 9 == 4) {
      const std::size_t back = round % 2 ? std::min<std::size_t>(expected.size() / 3, 400000) : 100;
      const std::size_t keep = expected.size() - std::min(back, expected.size());
      out.Truncate(keep);
      expected.resize(keep);
    }
    ++round;
  }
}

}  // namespace

TEST(AtomicFile, ContentsPutInPiecesEndUpAsPutWhateverWasTakenBack) {
  CTempFolder folder;
  const std::string path = folder / "pieces.xml";
  for (const std::size_t total : {std::size_t{1000}, std::size_t{200000}, std::size_t{9} << 20}) {
    std::string expected;
    AtomicWriteFile(
        path, [&](CAtomicFileContents& out) { ProducePieces(out, expected, total); },
        AtomicWriteMode::kReplace);
    ASSERT_EQ(ReadBytes(path), expected) << total;
  }
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"pieces.xml"}));
}

TEST(AtomicFile, AFailureOrThrowWhilePiecesAreWrittenLeavesTheOldFileAndNoTemporary) {
  CTempFolder folder;
  const std::string path = folder / "a.xml";
  WriteBytes(path, "old contents");
  std::string expected;
  {
    // The device fails once several blocks are on their way.
    CWriteHookScope hook([](std::size_t written) {
      if (written > (std::size_t{2} << 20)) throw CWin32Exception(EIO);
    });
    EXPECT_EQ(ThrownCode([&] {
                AtomicWriteFile(
                    path, [&](CAtomicFileContents& out) { ProducePieces(out, expected, 64 << 20); },
                    AtomicWriteMode::kReplace);
              }),
              static_cast<uint32_t>(EIO));
  }
  // The producer fails after the disk has taken part of what it put.
  EXPECT_EQ(ThrownCode([&] {
              AtomicWriteFile(
                  path,
                  [&](CAtomicFileContents& out) {
                    ProducePieces(out, expected, 3 << 20);
                    throw CWin32Exception(ENOMEM);
                  },
                  AtomicWriteMode::kReplace);
            }),
            static_cast<uint32_t>(ENOMEM));
  EXPECT_EQ(ReadBytes(path), "old contents");
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"a.xml"}));
}
