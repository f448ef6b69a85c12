#include "core/streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/exceptions.h"
#include "core/files.h"
#include "support/test_support.h"

using testsupport::FileSizeLimit;
using testsupport::FolderEntries;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

std::vector<std::uint8_t> Bytes(const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); }

}  // namespace

TEST(MemoryStream, ReadsWritesAndSeeksLikeTheStreamContract) {
  TMemoryStream s;
  s.WriteBuffer("abcdef", 6);
  EXPECT_EQ(s.Size(), 6);
  EXPECT_EQ(s.Position(), 6);
  s.SetPosition(2);
  char buf[4] = {};
  EXPECT_EQ(s.Read(buf, 10), 4);  // only what is there
  EXPECT_EQ(std::string(buf, 4), "cdef");
  EXPECT_EQ(s.Read(buf, 1), 0);
  EXPECT_EQ(s.Seek(-3, TSeekOrigin::soEnd), 3);
  EXPECT_EQ(s.Seek(1, TSeekOrigin::soCurrent), 4);
  EXPECT_THROW(s.Seek(-5, TSeekOrigin::soCurrent), EStreamError);
  EXPECT_EQ(s.Position(), 4);

  // Beyond the end: reading gives nothing, writing fills the gap with 0.
  s.Seek(8, TSeekOrigin::soBeginning);
  EXPECT_EQ(s.Read(buf, 1), 0);
  s.WriteByte('z');
  EXPECT_EQ(s.Bytes(), Bytes(std::string("abcdef\0\0z", 9)));

  s.SetSize(2);
  EXPECT_EQ(s.Position(), 2);
  EXPECT_EQ(s.Bytes(), Bytes("ab"));
  EXPECT_THROW(s.SetSize(-1), EStreamError);
}

TEST(MemoryStream, ReadBufferRaisesOnAShortReadAndHelpersAreLittleEndian) {
  TMemoryStream s;
  s.WriteWord(0x1234);
  s.WriteDWord(0xA1B2C3D4u);
  EXPECT_EQ(s.Bytes(), (std::vector<std::uint8_t>{0x34, 0x12, 0xD4, 0xC3, 0xB2, 0xA1}));
  s.SetPosition(0);
  EXPECT_EQ(s.ReadWord(), 0x1234);
  EXPECT_EQ(s.ReadDWord(), 0xA1B2C3D4u);
  EXPECT_THROW(s.ReadByte(), EReadError);
  s.SetPosition(4);
  std::uint8_t four[4];
  EXPECT_THROW(s.ReadBuffer(four, 4), EReadError);
  EXPECT_THROW(s.ReadBuffer(four, -1), EReadError);
  EXPECT_NO_THROW(s.ReadBuffer(four, 0));
  try {
    s.SetPosition(5);
    s.ReadDWord();
    FAIL() << "no exception";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
}

TEST(MemoryStream, HugeSizesAndPositionsRaiseStreamErrorsInsteadOfCrashing) {
  TMemoryStream s;
  s.WriteBuffer("ab", 2);
  EXPECT_THROW(s.Seek(std::numeric_limits<std::int64_t>::max(), TSeekOrigin::soEnd), EStreamError);
  s.Seek(std::numeric_limits<std::int64_t>::max() - 1, TSeekOrigin::soBeginning);
  EXPECT_THROW(s.WriteBuffer("xyz", 3), EStreamError);
  EXPECT_THROW(s.SetSize(std::numeric_limits<std::int64_t>::max()), EWriteError);
  EXPECT_EQ(s.Bytes(), Bytes("ab"));
  try {
    s.SetSize(std::int64_t{1} << 45);
    FAIL() << "no exception";
  } catch (const EStreamError& e) {
    EXPECT_EQ(e.Message(), "Out of memory while expanding memory stream");
  }
}

TEST(MemoryStream, CopyFromAndLoadFromStream) {
  TMemoryStream source(Bytes("0123456789"));
  source.SetPosition(3);
  TMemoryStream part;
  EXPECT_EQ(part.CopyFrom(source, 4), 4);
  EXPECT_EQ(part.Bytes(), Bytes("3456"));
  EXPECT_THROW(part.CopyFrom(source, 4), EReadError);  // only 3 left

  TMemoryStream whole;
  EXPECT_EQ(whole.CopyFrom(source, 0), 10);  // 0: all of it, from the start
  EXPECT_EQ(whole.Bytes(), Bytes("0123456789"));

  TMemoryStream loaded(Bytes("old"));
  loaded.LoadFromStream(source);
  EXPECT_EQ(loaded.Bytes(), Bytes("0123456789"));
  EXPECT_EQ(loaded.Position(), 0);
  loaded.LoadFromStream(loaded);  // itself: unchanged
  EXPECT_EQ(loaded.Bytes(), Bytes("0123456789"));
  EXPECT_EQ(loaded.TakeBytes(), Bytes("0123456789"));
  EXPECT_EQ(loaded.Size(), 0);
}

TEST(FileStream, ReadsWritesSeeksAndReportsItsFailures) {
  TempDir dir;
  const std::string name = dir.File("data.bin");
  {
    TFileStream f(name, TFileMode::fmCreate);
    f.WriteBuffer("hello world", 11);
    EXPECT_EQ(f.Size(), 11);
    f.SetPosition(6);
    f.WriteBuffer("W", 1);
    f.SetSize(8);
    EXPECT_EQ(f.Size(), 8);
  }
  EXPECT_EQ(ReadBytes(name), Bytes("hello Wo"));
  TFileStream r(name, TFileMode::fmOpenRead);
  char buf[16] = {};
  r.ReadBuffer(buf, 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(r.Position(), 5);
  EXPECT_THROW(r.ReadBuffer(buf, 4), EReadError);  // 3 left
  EXPECT_EQ(r.Seek(-2, TSeekOrigin::soEnd), 6);
  EXPECT_THROW(r.Seek(-1, TSeekOrigin::soBeginning), EStreamError);
  EXPECT_THROW(r.WriteBuffer("x", 1), EWriteError);  // opened for reading
  EXPECT_EQ(r.FileName(), name);

  EXPECT_THROW(TFileStream(dir.File("missing"), TFileMode::fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(dir.Path(), TFileMode::fmOpenRead), EFOpenError);  // a folder
  EXPECT_THROW(TFileStream(dir.File("no/such/folder/x"), TFileMode::fmCreate), EFCreateError);
  try {
    TFileStream f(dir.File("missing"), TFileMode::fmOpenRead);
    FAIL() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find("Cannot open file \"" + dir.File("missing") + "\""), std::string::npos);
  }
  EXPECT_EQ(ReadFileBytes(name), Bytes("hello Wo"));
  EXPECT_THROW(ReadFileBytes(dir.File("missing")), EFOpenError);
}

TEST(AtomicFileStream, CommitReplacesTheFileAndKeepsItsPermissions) {
  TempDir dir;
  const std::string name = dir.File("config.inf");
  WriteBytes(name, Bytes("old contents"));
  ::chmod(name.c_str(), 0640);
  {
    TAtomicFileStream f(name);
    EXPECT_EQ(f.FileName(), name);
    EXPECT_EQ(f.TempName().rfind(dir.Path(), 0), 0u) << "the temporary file lies beside the target";
    f.WriteBuffer("new", 3);
    EXPECT_EQ(ReadBytes(name), Bytes("old contents"));  // not before Commit
    f.Commit();
    f.Commit();  // a second one does nothing
  }
  EXPECT_EQ(ReadBytes(name), Bytes("new"));
  struct stat st {};
  ASSERT_EQ(::stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"config.inf"}));

  WriteFileAtomic(dir.File("text.txt"), std::string("a\r\nb"));
  EXPECT_EQ(ReadBytes(dir.File("text.txt")), Bytes("a\r\nb"));
}

// The batch writes and flushes outputs on its workers and commits them
// later, or drops them: a flushed output is invisible until its commit,
// what is written after a flush still lands, and a dropped one leaves the
// old file and nothing else.
TEST(AtomicFileStream, AFlushedOutputAppearsOnlyWithItsCommitWithEverythingWrittenAfter) {
  TempDir dir;
  const std::string name = dir.File("photo.jpeg");
  struct {
    bool Commit;
    std::string Expected;
  } const cases[] = {{true, "flushed, then more"}, {false, "old"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Expected);
    WriteBytes(name, Bytes("old"));
    {
      TAtomicFileStream f(name);
      f.WriteBuffer("flushed, then some", 18);
      f.Sync();
      f.Sync();
      EXPECT_EQ(ReadBytes(name), Bytes("old"));
      EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"photo.jpeg"}));
      f.SetSize(14);
      f.Seek(0, TSeekOrigin::soEnd);
      f.WriteBuffer("more", 4);
      if (c.Commit) f.Commit();
      f.Sync();  // after the commit: nothing left to flush
    }
    EXPECT_EQ(ReadBytes(name), Bytes(c.Expected));
    EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"photo.jpeg"}));
  }
}

TEST(AtomicFileStream, TheOldFileSurvivesAnExceptionBeforeCommit) {
  TempDir dir;
  const std::string name = dir.File("mark.spm");
  WriteBytes(name, Bytes("precious"));
  try {
    TAtomicFileStream f(name);
    f.WriteBuffer("half a fi", 9);
    throw std::runtime_error("the writer failed half-way");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(ReadBytes(name), Bytes("precious"));
  EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"mark.spm"}));
}

TEST(AtomicFileStream, TheOldFileSurvivesAFailedWrite) {
  TempDir dir;
  const std::string name = dir.File("big.bmp");
  WriteBytes(name, Bytes("precious"));
  std::vector<std::uint8_t> big(64 * 1024, 7);
  {
    FileSizeLimit limit(4096);  // the disk is "full" after 4 KiB
    EXPECT_THROW(WriteFileAtomic(name, big), EWriteError);
  }
  EXPECT_EQ(ReadBytes(name), Bytes("precious"));
  EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"big.bmp"}));
}

TEST(AtomicFileStream, AProcessKilledWhileWritingLeavesTheOldFileAndNothingElse) {
  // The child is killed by the file-size signal part-way through the new
  // contents, as abruptly as by a kill, before it can clean anything up.
  TempDir dir;
  const std::string name = dir.File("config.inf");
  WriteBytes(name, Bytes("precious"));
  const testsupport::ChildEnd end = testsupport::RunInChild([&] {
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    rlimit small{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &small);
    signal(SIGXFSZ, SIG_DFL);
    const std::vector<std::uint8_t> big(64 * 1024, 7);
    TAtomicFileStream f(name);
    for (std::size_t at = 0; at < big.size(); at += 1024) f.WriteBuffer(big.data() + at, 1024);
    f.Commit();
    return 1;
  });
  EXPECT_TRUE(end.Signalled);
  EXPECT_EQ(end.Code, SIGXFSZ);
  EXPECT_EQ(ReadBytes(name), Bytes("precious"));
  EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"config.inf"}));
}

TEST(AtomicFileStream, AMissingFolderOrAFolderInTheWayRaisesAndLeavesNothing) {
  TempDir dir;
  EXPECT_THROW(WriteFileAtomic(dir.File("no/such/folder/file"), std::string("x")), EFCreateError);

  // A target that is a folder: the rename fails and nothing is left over.
  ASSERT_TRUE(ForceDirectories(dir.File("sub/inner")));
  EXPECT_THROW(WriteFileAtomic(dir.File("sub"), std::string("x")), EFCreateError);
  EXPECT_TRUE(DirectoryExists(dir.File("sub/inner")));
  EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"sub"}));
}

TEST(AtomicFileStream, AFolderThatCannotBeWrittenRaisesAndKeepsTheOldFile) {
  TempDir dir;
  ::chmod(dir.Path().c_str(), 0755);
  const std::string locked = dir.File("locked");
  ASSERT_TRUE(ForceDirectories(locked));
  const std::string name = locked + "/file";
  WriteBytes(name, Bytes("precious"));
  ::chmod(name.c_str(), 0666);
  ::chmod(locked.c_str(), 0555);
  // Folder permissions do not bind root, so as root the write is tried by
  // a child process that has given its rights up.
  auto attempt = [&]() -> int {
    try {
      WriteFileAtomic(name, std::string("new"));
      return 1;
    } catch (const EFCreateError& e) {
      return e.Message().find(name) == std::string::npos ? 2 : 0;
    } catch (...) {
      return 3;
    }
  };
  if (::geteuid() == 0) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(4);
      ::_exit(attempt());
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: written, 2: message without the name, 3: other error, 4: no setuid";
  } else {
    EXPECT_EQ(attempt(), 0);
  }
  ::chmod(locked.c_str(), 0755);
  EXPECT_EQ(ReadBytes(name), Bytes("precious"));
  EXPECT_EQ(FolderEntries(locked), (std::vector<std::string>{"file"}));
}

TEST(AtomicFileStream, LinksStayLinksAndLongNamesStillWork) {
  TempDir dir;
  ASSERT_TRUE(ForceDirectories(dir.File("real")));
  WriteBytes(dir.File("real/target.ini"), Bytes("old"));
  ASSERT_EQ(::symlink("real/target.ini", dir.File("link.ini").c_str()), 0);
  WriteFileAtomic(dir.File("link.ini"), std::string("new"));
  struct stat st {};
  ASSERT_EQ(::lstat(dir.File("link.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadBytes(dir.File("real/target.ini")), Bytes("new"));

  const std::string longName = dir.File(std::string(250, 'n'));  // the longest names leave no room for a suffix
  WriteFileAtomic(longName, std::string("fits"));
  EXPECT_EQ(ReadBytes(longName), Bytes("fits"));
  EXPECT_EQ(FolderEntries(dir.Path()).size(), 3u);

  TMemoryStream m(Bytes("saved"));
  m.SaveToFile(dir.File("m.bin"));
  TMemoryStream back;
  back.LoadFromFile(dir.File("m.bin"));
  EXPECT_EQ(back.Bytes(), Bytes("saved"));
}

// Only regular files are opened, and opening never waits: a named pipe
// without a writer, a device, a folder, in every mode and also through a
// link, raise the open (or create) error at once. Run in a child with a
// watchdog, so that a blocking open fails the test instead of hanging it.
TEST(FileStream, OnlyRegularFilesOpenAndNothingWaits) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("pipe.jpg").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("pipe.jpg", dir.File("to-pipe.png").c_str()), 0);
  ASSERT_EQ(::symlink("/dev/zero", dir.File("zero.bmp").c_str()), 0);
  ASSERT_TRUE(ForceDirectories(dir.File("folder.gif")));
  WriteBytes(dir.File("plain.bin"), Bytes("plain"));
  const testsupport::ChildEnd end = testsupport::RunInChild(
      [&] {
        struct TCase {
          const char* Name;
          TFileMode Mode;
          const char* Reason;
        };
        const TCase cases[] = {
            {"pipe.jpg", TFileMode::fmOpenRead, "Not a regular file"},
            {"pipe.jpg", TFileMode::fmOpenReadWrite, "Not a regular file"},
            {"pipe.jpg", TFileMode::fmCreate, "Not a regular file"},
            {"to-pipe.png", TFileMode::fmOpenRead, "Not a regular file"},
            {"zero.bmp", TFileMode::fmOpenRead, "Not a regular file"},
            {"folder.gif", TFileMode::fmOpenRead, "Is a directory"},
        };
        int code = 0;
        for (const TCase& c : cases) {
          ++code;
          try {
            TFileStream f(dir.File(c.Name), c.Mode);
            return code;  // opened
          } catch (const EFOpenError& e) {
            if (c.Mode == TFileMode::fmCreate || e.Message().find(c.Reason) == std::string::npos) return 40 + code;
          } catch (const EFCreateError& e) {
            if (c.Mode != TFileMode::fmCreate || e.Message().find(c.Reason) == std::string::npos) return 40 + code;
          }
        }
        try {
          (void)ReadFileBytes(dir.File("pipe.jpg"));
          return 30;
        } catch (const EFOpenError&) {
        }
        // A regular file still reads and writes as before.
        TFileStream f(dir.File("plain.bin"), TFileMode::fmOpenReadWrite);
        f.SetPosition(5);
        f.WriteBuffer("!", 1);
        return ReadFileBytes(dir.File("plain.bin")) == Bytes("plain!") ? 0 : 31;
      },
      60);
  EXPECT_FALSE(end.TimedOut) << "opening blocked";
  EXPECT_FALSE(end.Signalled);
  EXPECT_EQ(end.Code, 0) << "1..6: that case opened, 41..46: wrong error, 30: the pipe was read, 31: a file failed";
  struct stat st {};
  ASSERT_EQ(::lstat(dir.File("pipe.jpg").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "creating over the pipe replaced it";
}

// A write that replaces links (the batch's outputs) puts a regular file in
// the link's place, dangling or not, and never creates or changes a file
// through it; one that follows them (settings, positions, marks) writes
// the file at the end of the chain, as before.
TEST(AtomicFileStream, ReplacingALinkNeverWritesThroughIt) {
  struct TCase {
    const char* Name;
    bool TargetExists;
    TLinkTarget Links;
  };
  const TCase cases[] = {{"dangling, replaced", false, TLinkTarget::Replace},
                         {"to a file, replaced", true, TLinkTarget::Replace},
                         {"to a file, followed", true, TLinkTarget::Follow},
                         {"dangling, followed", false, TLinkTarget::Follow}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir;
    ASSERT_TRUE(ForceDirectories(dir.File("out")));
    ASSERT_TRUE(ForceDirectories(dir.File("outside")));
    if (c.TargetExists) {
      WriteBytes(dir.File("outside/pwned.jpeg"), Bytes("precious"));
      ::chmod(dir.File("outside/pwned.jpeg").c_str(), 0600);
    }
    ASSERT_EQ(::symlink("../outside/pwned.jpeg", dir.File("out/photo.jpeg").c_str()), 0);
    WriteFileAtomic(dir.File("out/photo.jpeg"), std::string("new"), c.Links);
    struct stat st {};
    ASSERT_EQ(::lstat(dir.File("out/photo.jpeg").c_str(), &st), 0);
    if (c.Links == TLinkTarget::Replace) {
      EXPECT_TRUE(S_ISREG(st.st_mode));
      EXPECT_NE(st.st_mode & 07777, 0600u) << "took the permissions of the file the link pointed to";
      EXPECT_EQ(ReadBytes(dir.File("out/photo.jpeg")), Bytes("new"));
      EXPECT_EQ(FolderEntries(dir.File("outside")),
                c.TargetExists ? std::vector<std::string>{"pwned.jpeg"} : std::vector<std::string>{});
      if (c.TargetExists) {
        EXPECT_EQ(ReadBytes(dir.File("outside/pwned.jpeg")), Bytes("precious"));
      }
    } else {
      EXPECT_TRUE(S_ISLNK(st.st_mode));
      EXPECT_EQ(ReadBytes(dir.File("outside/pwned.jpeg")), Bytes("new"));
    }
    EXPECT_EQ(FolderEntries(dir.File("out")), (std::vector<std::string>{"photo.jpeg"}));
  }
}

// A kill between linking the new file and the rename (or while writing,
// where the file system has no unnamed files) leaves ".<name>.<hex>.tmp".
// The next write of that target removes such leftovers: regular files of
// exactly its pattern last changed before this process started, and
// nothing else.
TEST(AtomicFileStream, AWriteRemovesOnlyItsOwnLeftoversFromBeforeTheProcess) {
  TempDir dir;
  ASSERT_TRUE(ForceDirectories(dir.File("outside")));
  WriteBytes(dir.File("outside/kept.txt"), Bytes("kept"));
  const std::vector<std::string> removed = {".photo.jpeg.0123456789abcdef.tmp", ".photo.jpeg.fedcba9876543210.tmp"};
  const std::vector<std::string> oldLookAlikes = {
      ".photo.jpeg.0123456789ABCDEF.tmp",   // capitals
      ".photo.jpeg.0123456789abcde.tmp",    // 15 digits
      ".photo.jpeg.0123456789abcdef0.tmp",  // 17 digits
      ".photo.jpeg.0123456789abcdeg.tmp",   // not a digit
      "photo.jpeg.0123456789abcdef.tmp",    // no leading dot
      ".photo.jpeg.0123456789abcdef.tmp~",  // more after
      ".photo.jpeg.0123456789abcdef.temp",  // another ending
      ".photo.jpeg0123456789abcdef.tmp",    // no dot before the digits
      "..photo.jpeg.0123456789abcdef.tmp",  // another target's (".photo.jpeg")
      ".photo.jpe.0123456789abcdef.tmp",    // another target's
      ".other.jpeg.0123456789abcdef.tmp",   // another target's
      ".photo.jpeg.tmp",
  };
  const auto hourAgo = [&](const std::string& name, bool link) {
    const timespec times[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.File(name).c_str(), times, link ? AT_SYMLINK_NOFOLLOW : 0), 0) << name;
  };
  for (const std::string& name : removed) {
    WriteBytes(dir.File(name), Bytes("half"));
    hourAgo(name, false);
  }
  for (const std::string& name : oldLookAlikes) {
    WriteBytes(dir.File(name), Bytes("other"));
    hourAgo(name, false);
  }
  // Of the pattern, but made after this process started: a write under way.
  const std::string newer = ".photo.jpeg.00000000000000aa.tmp";
  WriteBytes(dir.File(newer), Bytes("under way"));
  // Of the pattern but no regular file: a link (to a file outside) and a folder.
  const std::string link = ".photo.jpeg.00000000000000bb.tmp";
  ASSERT_EQ(::symlink("outside/kept.txt", dir.File(link).c_str()), 0);
  hourAgo(link, true);
  hourAgo("outside/kept.txt", false);
  const std::string folder = ".photo.jpeg.00000000000000cc.tmp";
  ASSERT_TRUE(ForceDirectories(dir.File(folder)));
  hourAgo(folder, false);
  WriteBytes(dir.File("photo.jpeg"), Bytes("old"));

  WriteFileAtomic(dir.File("photo.jpeg"), std::string("new"));

  std::vector<std::string> expected = oldLookAlikes;
  expected.insert(expected.end(), {newer, link, folder, "outside", "photo.jpeg"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FolderEntries(dir.Path()), expected);
  EXPECT_EQ(ReadBytes(dir.File("photo.jpeg")), Bytes("new"));
  EXPECT_EQ(ReadBytes(dir.File(newer)), Bytes("under way"));
  EXPECT_EQ(ReadBytes(dir.File("outside/kept.txt")), Bytes("kept"));
  for (const std::string& name : oldLookAlikes) EXPECT_EQ(ReadBytes(dir.File(name)), Bytes("other")) << name;

  // A leftover of another target goes when that target is written.
  WriteFileAtomic(dir.File("other.jpeg"), std::string("x"));
  EXPECT_FALSE(std::filesystem::exists(dir.File(".other.jpeg.0123456789abcdef.tmp")));
  EXPECT_TRUE(std::filesystem::exists(dir.File(".photo.jpe.0123456789abcdef.tmp")));
}
