// The one writer of ".part" files: what it refuses to write through, what it
// replaces, and that it never removes a file it did not make.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "kwinet/core/Exceptions.h"
#include "kwinet/utils/PartFile.h"
#include "kwinet/utils/PrivateTemp.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

namespace fs = std::filesystem;

void Write(TPartFile& f, const std::string& bytes) {
  f.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

TEST(PartFileTest, RefusesWhatIsNoRegularFileOfItsOwnAndLeavesItAlone) {
  test::TempDir dir;
  const std::string target = dir.File("out.bin");
  const std::string part = target + ".part";
  const std::string other = dir.File("precious.txt");
  int held = -1;  // another writer's handle on the .part
  struct Row {
    const char* name;
    std::function<void()> plant;
    const char* reason;
  } rows[] = {
      {"a link to another file", [&] { fs::create_symlink(other, part); }, "symbolic link"},
      {"a dangling link", [&] { fs::create_symlink(dir.File("nowhere"), part); }, "symbolic link"},
      {"a FIFO", [&] { ASSERT_EQ(::mkfifo(part.c_str(), 0600), 0); }, "not a regular file"},
      {"a directory", [&] { fs::create_directory(part); }, "directory"},
      {"another writer's .part",
       [&] {
         WriteFileBytes(part, "half of another download");
         held = ::open(part.c_str(), O_RDONLY | O_CLOEXEC);
         ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
       },
       "Another process"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    WriteFileBytes(other, "the user's own file");
    WriteFileBytes(target, "the old copy");
    r.plant();
    struct stat before {};
    ASSERT_EQ(::lstat(part.c_str(), &before), 0);
    for (unsigned flags : {unsigned(pfNew), unsigned(pfResume)}) {
      try {
        TPartFile f(Utf8ToString(target), flags);
        ADD_FAILURE() << "opened";
      } catch (const EFCreateError& e) {
        const std::string message = StringToUtf8(e.Message());
        EXPECT_NE(message.find(part), std::string::npos) << message;
        EXPECT_NE(message.find(r.reason), std::string::npos) << message;
      }
    }
    // Nothing was written, removed or replaced.
    struct stat after {};
    ASSERT_EQ(::lstat(part.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(ReadFileBytes(other), "the user's own file");
    EXPECT_EQ(ReadFileBytes(target), "the old copy");
    if (held >= 0) {
      EXPECT_EQ(ReadFileBytes(part), "half of another download");
      ::close(held);
      held = -1;
    }
    fs::remove(part);
  }
}

// A resume would cut or add to a copy that has another name; a new copy
// only unlinks it (below).
TEST(PartFileTest, AResumeRefusesACopyWithOtherNames) {
  test::TempDir dir;
  const std::string target = dir.File("out.bin");
  const std::string other = dir.File("precious.txt");
  WriteFileBytes(other, "the user's own file");
  fs::create_hard_link(other, target + ".part");
  try {
    TPartFile f(Utf8ToString(target), pfResume);
    ADD_FAILURE() << "opened";
  } catch (const EFCreateError& e) {
    EXPECT_NE(StringToUtf8(e.Message()).find("other names"), std::string::npos) << StringToUtf8(e.Message());
  }
  EXPECT_EQ(ReadFileBytes(other), "the user's own file");
  EXPECT_EQ(fs::hard_link_count(other), 2u);
}

TEST(PartFileTest, ReplacesAStaleCopyAndCommitsByRename) {
  test::TempDir dir;
  const std::string target = dir.File("out.bin");
  const std::string part = target + ".part";
  WriteFileBytes(target, "the old copy");
  const std::string staleText = "a stale copy of an earlier run, longer than the new one";
  WriteFileBytes(part, staleText);
  // A second name of the stale file shows whether it was written over.
  fs::create_hard_link(part, dir.File("stale"));
  {
    // Made anew (a file of its own, not the stale one written over), and
    // the old copy stays until the new one is whole.
    TPartFile f(Utf8ToString(target));
    EXPECT_FALSE(f.Resumed());
    Write(f, "new");
    EXPECT_EQ(ReadFileBytes(target), "the old copy");
    f.Commit();
  }
  EXPECT_EQ(ReadFileBytes(dir.File("stale")), staleText);
  EXPECT_EQ(ReadFileBytes(target), "new");
  EXPECT_FALSE(fs::exists(part));

  // A resume continues the copy that is there.
  WriteFileBytes(part, "first half, ");
  {
    TPartFile f(Utf8ToString(target), pfResume);
    EXPECT_TRUE(f.Resumed());
    f.Seek(0, soEnd);
    Write(f, "second half");
    f.Commit();
  }
  EXPECT_EQ(ReadFileBytes(target), "first half, second half");

  // Abandoned: its own copy goes, the target stays.
  {
    TPartFile f(Utf8ToString(target));
    Write(f, "never whole");
  }
  EXPECT_FALSE(fs::exists(part));
  EXPECT_EQ(ReadFileBytes(target), "first half, second half");
}

TEST(PartFileTest, NeverRemovesAFileItDidNotMake) {
  test::TempDir dir;
  const std::string target = dir.File("out.bin");
  const std::string part = target + ".part";
  // A .part continued but not finished is kept, also when abandoned.
  WriteFileBytes(part, "a partial download");
  {
    TPartFile f(Utf8ToString(target), pfResume);
    f.Abandon();
  }
  EXPECT_EQ(ReadFileBytes(part), "a partial download");
  fs::remove(part);

  // A .part put in place of ours while it was written is left alone, and
  // does not take the target's place.
  WriteFileBytes(target, "the old copy");
  {
    TPartFile f(Utf8ToString(target));
    Write(f, "ours");
    fs::remove(part);
    WriteFileBytes(part, "someone else's");
    EXPECT_THROW(f.Commit(), EFCreateError);
  }
  EXPECT_EQ(ReadFileBytes(part), "someone else's");
  EXPECT_EQ(ReadFileBytes(target), "the old copy");
}

TEST(PartFileTest, ASignalTakesOnlyTheCopiesThatAreNotKept) {
  test::TempDir dir;
  const String gone = Utf8ToString(dir.File("gone.bin"));
  const String kept = Utf8ToString(dir.File("kept.bin"));
  TPartFile a(gone);
  TPartFile b(kept, pfKeepOnSignal);
  RemoveRegisteredFiles();
  EXPECT_FALSE(fs::exists(dir.File("gone.bin.part")));
  EXPECT_TRUE(fs::exists(dir.File("kept.bin.part")));
  b.Commit();
  // Committed: no longer on the list.
  RemoveRegisteredFiles();
  EXPECT_TRUE(fs::exists(dir.File("kept.bin")));
}

}  // namespace
}  // namespace kwinet
