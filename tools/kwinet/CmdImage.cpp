// kwinet image: the remote image, once or refreshed on a timer, printing
// what each refresh shows.
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "DemoSupport.h"
#include "Gui.h"
#include "Target.h"
#include "Tool.h"
#include "kwinet/core/Application.h"
#include "kwinet/core/Resources.h"
#include "kwinet/core/Streams.h"
#include "kwinet/utils/RedactUrl.h"
#include "kwinet/web/kwiimage.h"

namespace kwinet::tool {
namespace {

struct TImageArgs {
  std::string Url, Output, CA;
  double Every = 0;
  int Count = 0;
  std::int64_t Timeout = 30000;
  std::int64_t MaxTime = kFetchMaxTime;
  bool OutputGiven = false;
};

// Copies the local copy to Output through Output.part, which takes Output's
// place only when whole.
void KeepCopy(const String& local, const std::string& output) {
  WriteOutputFile(output, [&](TStream& out) {
    TFileStream in(local, fmOpenRead | fmShareDenyWrite);
    out.CopyFrom(in, 0);
  });
}

// With --gui, the window of the picture: sized to it, shown at the first
// refresh and redrawn at each one after.
void ShowInWindow(TImage& image) {
  TCustomForm& form = *image.Form();
  const TPicture& p = *image.Graphic();
  image.SetBounds(0, 0, p.Width(), p.Height());
  form.SetClientWidth(p.Width());
  form.SetClientHeight(p.Height());
  if (form.Visible())
    form.Changed();
  else
    form.Show();
}

// The remote image with a report after each refresh: the timer calls
// Execute, so the report follows every refresh however it was started.
class TReportingImage : public TKwRemoteImage {
 public:
  TReportingImage(const TImageArgs& args, int count) : TKwRemoteImage(nullptr), FArgs(args), FLeft(count) {}

  bool Execute() override {
    const bool ok = TKwRemoteImage::Execute();
    const TKwIStatus status = Status();
    if (status == isFailed || status == isNotFound) {
      FCode = status == isNotFound ? 3 : 1;
      const String& reason = ErrorText();
      FError =
          reason.empty() ? (status == isNotFound ? "remote file not found" : "refresh failed") : StringToUtf8(reason);
    } else if (!Image() || Image()->Graphic()->Empty()) {
      FCode = 1;
      FError = "no picture to show";
    } else {
      const TPicture& p = *Image()->Graphic();
      Print(PictureFormatName(p.Format()) + u" " + IntToStr(p.Width()) + u"x" + IntToStr(p.Height()));
      std::fflush(stdout);
      if (GuiActive()) ShowInWindow(*Image());
      if (FArgs.OutputGiven) {
        try {
          KeepCopy(LocalFileName(), FArgs.Output);
        } catch (const ToolError& e) {
          FCode = e.Code;
          FError = e.what();
        }
      }
    }
    // A failure ends the run; so does the last refresh asked for.
    if (FCode != 0 || (FLeft > 0 && --FLeft == 0)) {
      Stop();
      Application->Terminate();
    }
    return ok;
  }

  int Code() const { return FCode; }
  const std::string& Error() const { return FError; }

 private:
  const TImageArgs& FArgs;
  int FLeft;  // refreshes still to make; 0 for no end
  int FCode = 0;
  std::string FError;
};

int RunImage(const TImageArgs& a, bool everyGiven, bool countGiven) {
  const std::uint32_t timeout = Milliseconds("--timeout", a.Timeout);
  const std::uint32_t maxTime = Milliseconds("--max-time", a.MaxTime);
  if (everyGiven && !(a.Every >= 0.001 && a.Every <= 86400))
    throw ToolError(2, "--every must be between 0.001 and 86400 seconds");
  if (countGiven && a.Count < 1) throw ToolError(2, "--count must be 1 or more");
  if (a.OutputGiven) CheckOutput(a.Output);
  // One refresh unless asked for more; --every alone refreshes until the
  // program is stopped.
  const int count = countGiven ? a.Count : everyGiven ? 0 : 1;
  const TTarget t = ParseTarget(a.Url);

  TCustomForm form(nullptr);
  form.SetCaption(RedactUrl(Utf8ToString(a.Url)));
  form.SetPosition(poScreenCenter);
  auto* image = new TImage(&form);
  TReportingImage r(a, count);
  SetTarget(r, t);
  r.SetRemoteFileName(t.RemoteFileName);
  r.SetImage(image);
  r.SetTimeout(timeout);
  r.SetMaxTime(maxTime);
  if (!a.CA.empty()) r.SetCACertFile(Utf8ToString(a.CA));
  UseDialogs(r, false);
  if (everyGiven) r.SetInterval(static_cast<std::int32_t>(std::lround(a.Every * 1000)));

  // The first refresh at once, the others from the timer, each an interval
  // after the end of the one before.
  r.Execute();
  if (r.Code() == 0 && count != 1) {
    r.Start();
    Application->Run();
  }
  if (r.Code() != 0) throw ToolError(r.Code(), r.Error());
  // On the desktop the last picture stays until its window is closed; on
  // one without a screen no one could close it.
  if (GuiActive() && Application->Backend().Attended()) {
    // Shown without waiting so far; a shown form cannot be made modal.
    form.Hide();
    form.ShowModal();
  }
  return 0;
}

void Setup(CLI::App& app) {
  // Setup runs for every parse (the demo parses many command lines in one
  // process): options left out must not keep an earlier line's values.
  static TImageArgs args;
  args = TImageArgs();
  auto* cmd = app.add_subcommand(
      "image",
      "Fetch a picture (PNG, JPEG, GIF or BMP) from URL (http://, https://, ftp://, ftps:// or a file path) and "
      "print its format, width and height; with --every or --count, again and again");
  static CLI::Option *every, *count, *output;
  every = cmd->add_option("--every", args.Every,
                          "Seconds from the end of one refresh to the start of the next (default 1 with --count); "
                          "without --count, refreshes until stopped");
  count = cmd->add_option("--count", args.Count, "Number of refreshes (default 1, or no end with --every)");
  output = cmd->add_option("-o,--output", args.Output,
                           "Keep the last copy in this file (written as FILE.part, which replaces it when whole)");
  cmd->add_option("--ca", args.CA, "CA certificates (PEM) to check an HTTPS or FTPS server against");
  cmd->add_option("--timeout", args.Timeout, "Milliseconds to wait for a connection or data (0: no bound)");
  cmd->add_option("--max-time", args.MaxTime, MaxTimeHelp(kFetchMaxTime) + ", for each refresh");
  cmd->add_option("URL", args.Url, "The picture")->required();
  cmd->footer(
      "Prints one line a refresh: FORMAT WIDTHxHEIGHT (an unchanged picture is shown again from the local copy). "
      "Exit status: 0 every refresh showed a picture, 3 the picture was not found (the server answered 404 or 410, "
      "no such FTP or local file, the server could not be reached or its certificate was refused), 1 any other "
      "failure (an error answer, a broken or timed-out exchange, one that took longer than --max-time or dripped "
      "slower than 1024 bytes a second for a minute, a picture larger than 16 MiB, a local path that is a directory "
      "or not a regular file, a file that is not a whole PNG, JPEG, GIF or BMP picture, an -o file that cannot be "
      "written; the -o file is then kept), 2 bad arguments. The first failure ends the run, with its reason on "
      "standard error. Ctrl-C or SIGTERM removes the copies kept in the private temporary folder.\n"
      "With --gui (kwinet --gui image ...) the picture is also shown in a window while it refreshes; after the last "
      "refresh the window stays until it is closed (on a desktop without a screen, such as Qt's offscreen platform, "
      "the run ends with the last refresh).");
  OffersGui(cmd);
  cmd->callback([] {
    args.OutputGiven = output->count() > 0;
    ExitCode() = RunImage(args, every->count() > 0, count->count() > 0);
  });
}

// --- demo -------------------------------------------------------------------

int Demo() {
  support::TNginx nginx;
  if (!nginx.Started()) {
    std::printf("%s\n", nginx.Error().c_str());
    return 1;
  }
  support::TempDir dir("kwinet-demo");
  auto serve = [&](const char* resource, const std::string& name) {
    const std::string_view bytes = FindResource(resource);
    std::ofstream(nginx.Root() + "/" + name, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  };
  serve("kwinet_update_logo.png", "webcam.png");
  std::ofstream(nginx.Root() + "/offline.jpg") << "<html>camera offline</html>\n";
  const std::string cam = nginx.Url("/webcam.png");
  int failures = 0;
  failures += !Show({"image", cam});
  // The second and third refresh find the picture unchanged and show the
  // local copy again.
  failures += !Show({"image", cam, "--every", "0.2", "--count", "3", "-o", dir.File("last.png")});
  serve("kwinet_update_description.png", "webcam.png");
  failures += !Show({"image", cam});
  failures += !Show({"image", nginx.Url("/offline.jpg")}, 1);
  failures += !Show({"image", nginx.Url("/nothing.png")}, 3);
  return failures;
}

Register reg({"image", 42, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
