// The remote image against nginx: every format shown at its size, the local
// copy's life, refreshes from the application's event loop that never
// overlap, and a damaged picture that leaves the shown one alone.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "kwinet/core/Application.h"
#include "kwinet/utils/PrivateTemp.h"
#include "kwinet/web/kwiimage.h"
#include "peers/NginxSuite.h"
#include "peers/PictureFiles.h"

namespace kwinet {
namespace {

using test::WriteFileBytes;
using Clock = std::chrono::steady_clock;

bool Exists(const String& file) {
  return std::filesystem::exists(StringToUtf8(file));
}

class RemoteImageTest : public test::TNginxSuite {
 protected:
  void SetUp() override {
    TNginxSuite::SetUp();
    image = new TImage(&form);
  }

  // A remote image of the local nginx, showing in `image`.
  std::unique_ptr<TKwRemoteImage> Make(const std::string& path) {
    auto r = std::make_unique<TKwRemoteImage>(nullptr);
    r->SetHost(u"127.0.0.1");
    r->SetPort(static_cast<std::uint16_t>(server->Port()));
    r->StatusDialog()->SetEnabled(false);
    r->SetTimeout(5000);
    r->SetRemoteFileName(Utf8ToString(path));
    r->SetImage(image);
    return r;
  }

  TCustomForm form{nullptr};
  TImage* image = nullptr;
};

TEST_F(RemoteImageTest, EachFormatIsShownAtItsSizeFromACopyOfItsOwn) {
  struct Case {
    const char* path;
    std::string bytes;
    TPictureFormat format;
    int width, height;
  } cases[] = {
      {"/cam.png", test::MakePng(64, 48), pfPNG, 64, 48},
      {"/cam.jpg", test::MakeJpeg(80, 60), pfJPEG, 80, 60},
      {"/banner.gif", test::MakeGif(120, 20, true), pfGIF, 120, 20},
      {"/old.bmp", test::MakeBmp(33, 7), pfBMP, 33, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    WriteFileBytes(server->Root() + c.path, c.bytes);
    auto r = Make(c.path);
    EXPECT_TRUE(r->Execute()) << StringToUtf8(r->ErrorText());
    EXPECT_EQ(r->Status(), isFinished);
    EXPECT_EQ(image->Graphic()->Format(), c.format);
    EXPECT_EQ(image->Graphic()->Width(), c.width);
    EXPECT_EQ(image->Graphic()->Height(), c.height);
    // The copy is the component's own, in the private folder, and keeps the
    // remote extension; it goes with the component.
    const String local = r->LocalFileName();
    EXPECT_EQ(local.substr(0, PrivateTempFolder().size()), PrivateTempFolder());
    EXPECT_TRUE(EndsText(RemoteFileExtension(Utf8ToString(c.path)), local));
    EXPECT_TRUE(Exists(local));
    r.reset();
    EXPECT_FALSE(Exists(local));
  }
}

TEST_F(RemoteImageTest, ANewRemoteNameDeletesTheOldCopy) {
  WriteFileBytes(server->Root() + "/a.jpg", test::MakeJpeg(8, 8));
  auto r = Make("/a.jpg");
  auto other = Make("/a.jpg");
  ASSERT_TRUE(r->Execute());
  ASSERT_TRUE(other->Execute());
  const String first = r->LocalFileName();
  EXPECT_NE(first, other->LocalFileName());  // two components never share a copy
  r->SetRemoteFileName(u"/b.png");
  EXPECT_FALSE(Exists(first));
  EXPECT_TRUE(Exists(other->LocalFileName()));
  EXPECT_TRUE(EndsText(u".png", r->LocalFileName()));
  r->SetRemoteFileName(u"/noextension");
  EXPECT_EQ(ExtractFileExt(ExtractFileName(r->LocalFileName())), u"");
}

TEST_F(RemoteImageTest, AnUnchangedImageIsShownAgainFromTheLocalCopy) {
  WriteFileBytes(server->Root() + "/still.gif", test::MakeGif(10, 12));
  auto r = Make("/still.gif");
  ASSERT_TRUE(r->Execute());
  image->Graphic()->Clear();
  EXPECT_TRUE(r->Execute());
  EXPECT_EQ(r->Status(), isSkipped);
  EXPECT_EQ(image->Graphic()->Width(), 10);
  EXPECT_EQ(server->CountRequests("/still.gif", 2), 2);
}

TEST_F(RemoteImageTest, ADamagedImageFailsClearlyAndKeepsThePictureShown) {
  const std::string good = test::MakePng(20, 10);
  WriteFileBytes(server->Root() + "/broken.png", good);
  auto r = Make("/broken.png");
  ASSERT_TRUE(r->Execute());
  struct Case {
    const char* what;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"an error page", "<html><body>503 camera offline</body></html>", "not a PNG, JPEG, GIF or BMP"},
      {"an upload cut short", good.substr(0, good.size() - 30), "PNG"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(server->Root() + "/broken.png", c.bytes);
    EXPECT_FALSE(r->Execute());
    EXPECT_EQ(r->Status(), isFailed);
    const std::string error = StringToUtf8(r->ErrorText());
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_NE(error.find("/broken.png"), std::string::npos) << error;  // the remote name, not our copy's
    EXPECT_EQ(image->Graphic()->Width(), 20);
    EXPECT_EQ(image->Graphic()->Height(), 10);
  }
}

TEST_F(RemoteImageTest, ActiveRefreshesFromTheEventLoopWithoutOverlap) {
  WriteFileBytes(server->Root() + "/live.png", test::MakePng(5, 5));
  auto r = Make("/live.png");
  EXPECT_EQ(r->Interval(), 1000);
  r->SetInterval(200);
  std::vector<Clock::time_point> starts, ends;
  bool running = false, overlapped = false;
  r->OnBeforeExecute = [&](TObject*) {
    overlapped |= running;
    running = true;
    starts.push_back(Clock::now());
  };
  // Each refresh outlasts the interval and lets the event loop run inside
  // it, as the progress dialog does: a timer left on would fire here.
  r->OnActionChange = [&](TObject*) {
    if (r->Action() != iaCompared) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    Application->ProcessMessages();
  };
  r->OnAfterExecute = [&](TObject*) {
    running = false;
    ends.push_back(Clock::now());
    if (ends.size() == 3) {
      r->Stop();
      Application->Terminate();
    }
  };
  const auto activated = Clock::now();
  r->Start();
  EXPECT_TRUE(r->Active());
  Application->RunFor(std::chrono::seconds(10));
  ASSERT_EQ(ends.size(), 3u);
  EXPECT_FALSE(overlapped);
  EXPECT_FALSE(r->Active());
  EXPECT_GE(starts[0] - activated, std::chrono::milliseconds(200));  // not at once
  for (std::size_t i = 1; i < starts.size(); ++i)
    EXPECT_GE(starts[i] - ends[i - 1], std::chrono::milliseconds(199)) << i;  // from the end of the last
  EXPECT_EQ(image->Graphic()->Width(), 5);
  Application->RunFor(std::chrono::milliseconds(500));
  EXPECT_EQ(ends.size(), 3u);  // stopped
}

TEST_F(RemoteImageTest, FreeingTheImageControlLeavesNothingToShowInto) {
  WriteFileBytes(server->Root() + "/gone.bmp", test::MakeBmp(4, 4));
  auto r = Make("/gone.bmp");
  delete image;
  EXPECT_EQ(r->Image(), nullptr);
  EXPECT_TRUE(r->Execute());
  EXPECT_EQ(r->Status(), isFinished);
  EXPECT_TRUE(Exists(r->LocalFileName()));
}

}  // namespace
}  // namespace kwinet
