// kwinet track with --client-id (the carriers' REST interfaces), and stored
// forms that hold a tracker's client secret only when asked to: against
// nginx with a test CA in front of the carrier emulator.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "peers/NginxSuite.h"
#include "peers/TestSupport.h"
#include "support/CarrierService.h"
#include "tools/ToolRun.h"

namespace {

using kwinet::support::TCarrierService;
using kwinet::test::OneErrorLine;
using kwinet::test::ReadFileBytes;
using kwinet::test::TempDir;
using kwinet::test::TEnvScope;
using kwinet::test::Tool;
using kwinet::test::WriteFileBytes;

class TrackRestTool : public kwinet::test::TNginxSuite {
 protected:
  static void SetUpTestSuite() {
    carrier = new TCarrierService;
    kwinet::test::TNginxOptions options;
    options.Https = true;
    options.ServerExtra = carrier->NginxLocations();
    StartNginx(options);
  }
  static void TearDownTestSuite() {
    StopNginx();
    delete carrier;
  }
  void TearDown() override { EXPECT_TRUE(carrier->Problems().empty()) << carrier->Problems().front(); }

  static std::string Host() { return "https://localhost:" + std::to_string(server->HttpsPort()); }
  // A file of the test's own with these rights.
  std::string SecretFile(const std::string& text, mode_t mode = 0600) {
    const std::string file = dir.File("secret" + std::to_string(++files));
    WriteFileBytes(file, text);
    ::chmod(file.c_str(), mode);
    return file;
  }

  static TCarrierService* carrier;
  TempDir dir;
  int files = 0;
};
TCarrierService* TrackRestTool::carrier = nullptr;

TEST_F(TrackRestTool, PrintsTheShipmentOfTodaysInterface) {
  const std::string secret = SecretFile(std::string(TCarrierService::kClientSecret) + " \n");
  auto ups = Tool({"track", "ups", kwinet::support::kUPSRestNumber, "--client-id", TCarrierService::kUPSClientId,
                   "--client-secret-file", secret, "--host", Host(), "--ca", server->CAFile()});
  EXPECT_EQ(ups.ExitCode, 0) << ups.Err;
  EXPECT_EQ(ups.Err, "");
  EXPECT_EQ(ups.Out,
            "Tracking number: 1Z12345E0291980793\n"
            "Identification number: 1Z12345E0291980793\n"
            "Service: 001 NEXT DAY AIR\n"
            "Pickup date: 2013-05-06 00:00:00\n"
            "Weight: 2.00 LBS\n"
            "Shipper: 12 Main St TIMONIUM 21093 MD US\n"
            "Ship to: 4 rue de la Paix Z\xC3\xBCrich 8001 CH\n"
            "2013-05-07 14:30:09\tDELIVERED\tZ\xC3\xBCrich CH\n"
            "-\tARRIVAL SCAN\tROISSY FR\n");
  // The secret from the environment.
  const TEnvScope env("KWINET_CLIENT_SECRET", TCarrierService::kClientSecret);
  auto fedex = Tool({"track", "fedex", kwinet::support::kFedExRestNumber, "--client-id",
                     TCarrierService::kFedExClientId, "--host", Host(), "--ca", server->CAFile()});
  EXPECT_EQ(fedex.ExitCode, 0) << fedex.Err;
  EXPECT_EQ(fedex.Out,
            "Tracking number: 123456789012\n"
            "Identification number: 2456000~123456789012~FX\n"
            "Service: FEDEX_GROUND FedEx Ground\n"
            "Pickup date: 2014-01-07 09:15:00\n"
            "Weight: 12.5 LB\n"
            "Ship to: DENVER CO United States\n"
            "2014-01-09 13:31:00\tDelivered\tDENVER 80202 CO United States\n"
            "2014-01-08 04:02:00\tAt local FedEx facility\tCOMMERCE CITY CO\n");
}

TEST_F(TrackRestTool, EachFailureIsOneLineAndItsExitStatus) {
  const std::string good = SecretFile(TCarrierService::kClientSecret);
  const std::string wrong = SecretFile("not-the-secret");
  const std::string open = SecretFile(TCarrierService::kClientSecret, 0644);
  const std::string ca = server->CAFile();
  const std::string ups = TCarrierService::kUPSClientId, fedex = TCarrierService::kFedExClientId;
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string inError;
  } cases[] = {
      {{"ups", "1Z0", "--client-id", ups, "--client-secret-file", good, "--host", Host(), "--ca", ca}, 3,
       "No tracking information available"},
      {{"fedex", "1", "--client-id", fedex, "--client-secret-file", good, "--host", Host(), "--ca", ca}, 3,
       "TRACKING.TRACKINGNUMBER.NOTFOUND"},
      {{"ups", "1Z0", "--client-id", ups, "--client-secret-file", wrong, "--host", Host(), "--ca", ca}, 3,
       "ClientId is Invalid"},
      {{"fedex", "1", "--client-id", fedex, "--client-secret-file", wrong, "--host", Host(), "--ca", ca}, 3,
       "client credentials were not valid"},
      {{"ups", "1Z0", "--client-id", ups, "--client-secret-file", good, "--host", Host()}, 1, "certificate"},
      {{"ups", "1Z0", "--client-id", ups, "--host", Host(), "--ca", ca}, 2, "KWINET_CLIENT_SECRET"},
      {{"ups", "1Z0", "--client-id", ups, "--client-secret-file", open}, 2, "chmod 600"},
      {{"ups", "1Z0", "--client-secret-file", good}, 2, "--client-id"},
      {{"ups", "1Z0", "--client-id", ups, "--client-secret-file", good, "--license", "L"}, 2, "--license"},
      {{"ups", "1Z0", "--client-id", ups, "--client-secret", "s"}, 2, "--client-secret"},
  };
  for (Case& c : cases) {
    c.args.insert(c.args.begin(), "track");
    auto r = Tool(c.args);
    EXPECT_EQ(r.ExitCode, c.code) << c.args[2] << " " << r.Err;
    EXPECT_EQ(r.Out, "") << c.args[2];
    EXPECT_TRUE(OneErrorLine(r)) << r.Err;
    EXPECT_NE(r.Err.find(c.inError), std::string::npos) << r.Err;
    EXPECT_EQ(r.Err.find(TCarrierService::kClientSecret), std::string::npos) << r.Err;
    for (const std::string& token : carrier->Tokens()) EXPECT_EQ(r.Err.find(token), std::string::npos) << r.Err;
  }
}

TEST_F(TrackRestTool, AFormHoldsTheSecretOnlyWhenAskedAndRunTakesItFromTheEnvironment) {
  const std::string form = dir.File("ups.form"), stored = dir.File("stored.form");
  const std::vector<std::string> props = {
      "TKwUPSTracker",          "ApiKind=akRest",
      "ClientId=" + std::string(TCarrierService::kUPSClientId),
      "ClientSecret=" + std::string(TCarrierService::kClientSecret),
      "Host=" + Host(),         "CACertFile=" + server->CAFile(),
      "TrackingNumber=" + kwinet::support::kUPSRestNumber, "ErrorDialog=False"};
  auto args = props;
  args.insert(args.begin(), "new");
  args.push_back("-o");
  args.push_back(form);
  auto made = Tool(args);
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  const std::string text = ReadFileBytes(form);
  EXPECT_EQ(text.find("ClientSecret"), std::string::npos) << text;
  EXPECT_EQ(text.find(TCarrierService::kClientSecret), std::string::npos) << text;
  EXPECT_NE(text.find("ApiKind = akRest"), std::string::npos) << text;
  args.insert(args.end() - 2, "--store-secrets");
  args.back() = stored;
  ASSERT_EQ(Tool(args).ExitCode, 0);
  EXPECT_NE(ReadFileBytes(stored).find("ClientSecret = 's3cr3t+/=&'"), std::string::npos) << ReadFileBytes(stored);

  // Without a secret in the form or the environment, the job fails unsent.
  auto none = Tool({"run", form});
  EXPECT_EQ(none.ExitCode, 1) << none.Err;
  EXPECT_NE(none.Err.find("ClientSecret"), std::string::npos) << none.Err;
  {
    const TEnvScope env("KWINET_CLIENT_SECRET", TCarrierService::kClientSecret);
    auto run = Tool({"run", form});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out,
              "KwUPSTracker1: TKwUPSTracker\nisFinished\n"
              "2013-05-07 14:30:09\tDELIVERED\tZ\xC3\xBCrich CH\n"
              "1899-12-30 00:00:00\tARRIVAL SCAN\tROISSY FR\n");
  }
  // A stored secret is used as it is.
  const TEnvScope env("KWINET_CLIENT_SECRET", "not-the-secret");
  auto run = Tool({"run", stored, "--execute", "KwUPSTracker1"});
  EXPECT_EQ(run.ExitCode, 0) << run.Err;
}

}  // namespace
