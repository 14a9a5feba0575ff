#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "kwinet/core/Exceptions.h"
#include "kwinet/core/Streams.h"
#include "kwinet/utils/PrivateTemp.h"
#include "peers/TestSupport.h"

namespace kwinet {
namespace {

// Points TMPDIR at a folder of the test's own for as long as it lives.
class TmpDirScope {
 public:
  std::string Mine() const { return FDir.Path() + "/kwinet-" + std::to_string(::geteuid()); }
  const std::string& Path() const { return FDir.Path(); }

 private:
  test::TempDir FDir;
  test::TEnvScope FTmp{"TMPDIR", FDir.Path()};
};

TEST(PrivateTempTest, FolderIsPrivateAndNeverALink) {
  TmpDirScope tmp;
  EXPECT_EQ(StringToUtf8(PrivateTempFolder()), tmp.Mine());
  struct stat st {};
  ASSERT_EQ(::lstat(tmp.Mine().c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  // A folder that others may read is made private again.
  ::chmod(tmp.Mine().c_str(), 0755);
  PrivateTempFolder();
  ASSERT_EQ(::lstat(tmp.Mine().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  // A link planted where the folder goes is refused, not followed.
  std::filesystem::remove(tmp.Mine());
  std::filesystem::create_directory(tmp.Path() + "/elsewhere");
  std::filesystem::create_directory_symlink(tmp.Path() + "/elsewhere", tmp.Mine());
  EXPECT_THROW(PrivateTempFolder(), EInOutError);
  std::filesystem::remove(tmp.Mine());
  test::WriteFileBytes(tmp.Mine(), "a file");
  EXPECT_THROW(PrivateTempFolder(), EInOutError);
}

TEST(PrivateTempTest, ExtensionNeverLeavesTheFolder) {
  const struct {
    const char16_t* remote;
    const char16_t* ext;
  } cases[] = {
      {u"cam/image.jpg", u".jpg"}, {u"page", u""},
      {u"a.b/page", u""},          {u"x.png/../../y", u""},
      {u"x.png\\..\\y", u""},      {u"c:x.gif", u".gif"},
      {u"x.gif:stream", u""},      {u"archive.tar.gz", u".gz"},
      {u"bad.p\nng", u""},         {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(RemoteFileExtension(c.remote), String(c.ext)) << StringToUtf8(c.remote);
}

TEST(PrivateTempTest, EachCopyGetsItsOwnName) {
  TmpDirScope tmp;
  const String a = PrivateTempFileName(u"dir/x.png/../../y");
  const String b = PrivateTempFileName(u"image.png");
  EXPECT_NE(a, b);
  EXPECT_EQ(StringToUtf8(ExtractFilePath(a)), tmp.Mine() + "/");
  EXPECT_EQ(ExtractFileExt(a), String());
  EXPECT_EQ(ExtractFileExt(b), u".png");
  EXPECT_FALSE(FileExists(b));  // only a name: nothing is made
}

TEST(PrivateTempTest, CopiesOfProcessesThatNoLongerRunAreRemoved) {
  TmpDirScope tmp;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  const std::string dead = std::to_string(child);
  const std::string live = std::to_string(::getppid());
  const std::string self = std::to_string(::getpid());
  PrivateTempFolder();
  const struct {
    std::string name;
    bool stays;
  } files[] = {
      {"tmp" + dead + "-1.png", false}, {"tmp" + dead + "-2.png.part", false}, {"tmp" + dead + "-3", false},
      {"tmp" + live + "-1.png", true},  {"tmp" + self + "-7.png.part", true},  {"notes.txt", true},
      {"tmp" + dead + ".png", true},    {"tmpx-1.png", true},
  };
  for (const auto& f : files) test::WriteFileBytes(tmp.Mine() + "/" + f.name, "x");
  RemoveStaleTempCopies();
  for (const auto& f : files) EXPECT_EQ(std::filesystem::exists(tmp.Mine() + "/" + f.name), f.stays) << f.name;
}

TEST(PrivateTempTest, ACopyAndItsPartGoOnASignalUntilRemoved) {
  TmpDirScope tmp;
  const String name = PrivateTempFileName(u"cam.jpg");
  test::WriteFileBytes(StringToUtf8(name), "picture");
  test::WriteFileBytes(StringToUtf8(name) + ".part", "half");
  RemoveRegisteredFiles();
  EXPECT_FALSE(FileExists(name));
  EXPECT_FALSE(FileExists(name + u".part"));
  // Once removed by its owner the name is off the list: a file of that name
  // made later is not the signal's to take.
  RemoveTempCopy(name);
  test::WriteFileBytes(StringToUtf8(name), "another");
  RemoveRegisteredFiles();
  EXPECT_TRUE(FileExists(name));
}

// Jobs on several threads list and unlist names at once: a name is never
// read while another thread frees it (the tsan preset runs this).
TEST(PrivateTempTest, JobsOnSeveralThreadsShareTheSignalList) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 500; ++i) {
        const String name = u"/nonexistent/kwinet-thread-" + IntToStr(t) + u"-" + IntToStr(i);
        RemoveOnSignal(name);
        KeepOnSignal(name);
      }
    });
  for (auto& th : threads) th.join();
  RemoveRegisteredFiles();
}

}  // namespace
}  // namespace kwinet
