// kwinet track against nginx with a test CA in front of an in-process
// carrier that answers canned documents.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "peers/FakeServer.h"
#include "peers/NginxSuite.h"
#include "peers/ServerProcess.h"
#include "peers/TestSupport.h"
#include "tools/ToolRun.h"
#include "tracking/TrackAnswers.h"

namespace {

using kwinet::test::FakeConnection;
using kwinet::test::FakeServer;
using kwinet::test::OneErrorLine;
using kwinet::test::ProcessResult;
using kwinet::test::Tool;

// Answers a UPS request with Answer and a FedEx request with the canned
// reply; a request whose body holds "#stall" gets no answer.
class TrackTool : public kwinet::test::TNginxSuite {
 protected:
  static void SetUpTestSuite() {
    carrier = new FakeServer([](FakeConnection& c) {
      if (!c.ReadUntil("\r\n\r\n")) return;
      const std::size_t headEnd = c.Data().find("\r\n\r\n") + 4;
      std::string head = c.Data().substr(0, headEnd);
      for (char& ch : head) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      const std::size_t p = head.find("\ncontent-length:");
      if (p == std::string::npos || !c.ReadCount(headEnd + std::stoul(head.substr(p + 16)))) return;
      if (c.Data().find("#stall<") != std::string::npos) {
        c.Sleep(20000);
        return;
      }
      std::string answer = kwinet::test::kFedExAnswer;
      if (head.starts_with("post /ups.app/")) {
        std::lock_guard<std::mutex> hold(lock);
        answer = upsAnswer;
      }
      c.Send("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(answer.size()) + "\r\n\r\n" + answer);
    });
    const std::string upstream = "http://127.0.0.1:" + std::to_string(carrier->Port());
    kwinet::test::TNginxOptions options;
    options.Https = true;
    options.ServerExtra = "    location /ups.app/ { proxy_pass " + upstream + "; proxy_read_timeout 30s; }\n" +
                          "    location /web-services/ { proxy_pass " + upstream + "; }\n";
    StartNginx(options);
  }
  static void TearDownTestSuite() {
    StopNginx();
    delete carrier;
  }
  void SetUp() override {
    TNginxSuite::SetUp();
    UPSAnswer(kwinet::test::kUPSAnswer);
  }
  static void UPSAnswer(const std::string& answer) {
    std::lock_guard<std::mutex> hold(lock);
    upsAnswer = answer;
  }
  static std::string Host() { return "https://localhost:" + std::to_string(server->HttpsPort()); }

  static FakeServer* carrier;
  static std::mutex lock;
  static std::string upsAnswer;
};
FakeServer* TrackTool::carrier = nullptr;
std::mutex TrackTool::lock;
std::string TrackTool::upsAnswer;

TEST_F(TrackTool, PrintsTheShipmentThenOneActivityALine) {
  auto ups = Tool({"track", "ups", "1Z12345E0291980793", "--host", Host(), "--ca", server->CAFile()});
  EXPECT_EQ(ups.ExitCode, 0) << ups.Err;
  EXPECT_EQ(ups.Err, "");
  EXPECT_EQ(ups.Out,
            "Tracking number: 1Z12345E0291980793\n"
            "Identification number: 1Z12345E0291980793\n"
            "Service: 001 NEXT DAY AIR\n"
            "Pickup date: 2013-05-06 00:00:00\n"
            "Weight: 2.00 LBS\n"
            "Shipper number: 12345E\n"
            "Shipper: 12 Main St TIMONIUM 21093 MD US\n"
            "Ship to: 4 rue de la Paix Z\xC3\xBCrich 8001 CH\n"
            "2013-05-07 14:30:09\tDELIVERED\tZ\xC3\xBCrich CH\n"
            "-\tARRIVAL SCAN\tROISSY FR\n");
  auto fedex = Tool({"track", "fedex", "123456789012", "--host", Host(), "--ca", server->CAFile(), "--key", "k",
                     "--password", "p", "--account", "1", "--meter", "2"});
  EXPECT_EQ(fedex.ExitCode, 0) << fedex.Err;
  EXPECT_EQ(fedex.Out,
            "Tracking number: 123456789012\n"
            "Identification number: 2456000~123456789012~FX\n"
            "Service: FEDEX_GROUND FedEx Ground\n"
            "Pickup date: 2014-01-09 13:31:00\n"
            "Weight: 12.5 LB\n"
            "Ship to: DENVER CO United States\n"
            "2014-01-09 13:31:00\tDelivered\tDENVER 80202 CO United States\n"
            "2014-01-08 04:02:00\tAt local FedEx facility\tCOMMERCE CITY CO\n");
}

TEST_F(TrackTool, CarrierTextCannotDriveTheTerminal) {
  UPSAnswer(
      "<Shipment><ShipmentIdentificationNumber>1Z\x1B[2J\x9B"
      "31m</ShipmentIdentificationNumber>"
      "<Package><Activity><Status><StatusType><Description>A\tB\r\nC</Description></StatusType></Status>"
      "</Activity></Package></Shipment>");
  auto r = Tool({"track", "ups", "1Z", "--host", Host(), "--ca", server->CAFile()});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "Tracking number: 1Z\nIdentification number: 1Z\\x1B[2J\\x9B31m\n-\tA\\tB\\r\\nC\t\n");
}

TEST_F(TrackTool, EachFailureIsOneLineAndItsExitStatus) {
  UPSAnswer(
      "<?xml version=\"1.0\"?><TrackResponse><Response><ResponseStatusCode>0</ResponseStatusCode><Error>"
      "<ErrorCode>151018</ErrorCode><ErrorDescription>Invalid tracking number</ErrorDescription></Error>"
      "</Response></TrackResponse>");
  const std::string ca = server->CAFile();
  const std::string wrongName = "https://localhost:" + std::to_string(server->WrongNameHttpsPort());
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string inError;
  } cases[] = {
      {{"ups", "1Z0", "--host", Host(), "--ca", ca}, 3, "Invalid tracking number"},
      {{"ups", "1Z0", "--host", Host()}, 1, "certificate"},
      {{"ups", "1Z0", "--host", wrongName, "--ca", ca}, 1, "host name"},
      {{"ups", "stall", "--host", Host(), "--ca", ca, "--timeout", "700"}, 1, "Timeout"},
      {{"ups", "1Z0", "--host", "https://127.0.0.1:" + std::to_string(kwinet::test::FreePort())}, 1, "onnect"},
      {{"dhl", "1Z0"}, 2, "CARRIER"},
      {{"ups", "1Z0", "--host", Host() + "/ups.app/xml/Track"}, 2, "--host"},
      {{"ups", "1Z0", "--host", "localhost:8443"}, 2, "--host"},
      {{"ups", "1Z0", "--host", "https://localhost:99999"}, 2, "port"},
      {{"ups", "1Z0", "--key", "k"}, 2, "--key"},
      {{"fedex", "1", "--license", "L"}, 2, "--license"},
      {{"ups", "1Z0", "--timeout", "-1"}, 2, "--timeout"},
  };
  for (Case& c : cases) {
    c.args.insert(c.args.begin(), "track");
    const auto start = std::chrono::steady_clock::now();
    auto r = Tool(c.args);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.args[2];
    EXPECT_EQ(r.ExitCode, c.code) << c.args[2] << " " << r.Err;
    EXPECT_EQ(r.Out, "") << c.args[2];
    EXPECT_TRUE(OneErrorLine(r)) << r.Err;
    EXPECT_NE(r.Err.find(c.inError), std::string::npos) << r.Err;
  }
}

}  // namespace

TEST_F(TrackTool, SeveralNumbersAreTrackedSideBySideInBlocksInArgumentOrder) {
  const std::string ca = server->CAFile();
  const std::vector<std::string> common{"--host", Host(), "--ca", ca, "--timeout", "700"};
  auto track = [&](std::vector<std::string> numbers) {
    numbers.insert(numbers.begin(), {"track", "ups"});
    numbers.insert(numbers.end(), common.begin(), common.end());
    return Tool(numbers);
  };
  auto first = track({"1Z1"});
  auto second = track({"1Z2"});
  ASSERT_EQ(first.ExitCode, 0) << first.Err;
  ASSERT_EQ(second.ExitCode, 0) << second.Err;

  // The stalled number fails alone; the others are printed.
  auto mixed = track({"1Z1", "stall", "1Z2"});
  EXPECT_EQ(mixed.ExitCode, 1) << mixed.Err;
  EXPECT_EQ(mixed.Out, "== 1Z1 ==\n" + first.Out + "== stall ==\n== 1Z2 ==\n" + second.Out);
  EXPECT_TRUE(OneErrorLine(mixed)) << mixed.Err;
  EXPECT_EQ(mixed.Err.rfind("kwinet: stall: ", 0), 0u) << mixed.Err;

  UPSAnswer(
      "<?xml version=\"1.0\"?><TrackResponse><Response><ResponseStatusCode>0</ResponseStatusCode><Error>"
      "<ErrorCode>151018</ErrorCode><ErrorDescription>Invalid tracking number</ErrorDescription></Error>"
      "</Response></TrackResponse>");
  // Unknown numbers are 3, unless another failed.
  auto unknown = track({"1Z1", "1Z2"});
  EXPECT_EQ(unknown.ExitCode, 3) << unknown.Err;
  EXPECT_EQ(unknown.Out, "== 1Z1 ==\n== 1Z2 ==\n");
  EXPECT_EQ(unknown.Err,
            "kwinet: 1Z1: the carrier's answer holds no shipment for 1Z1: Invalid tracking number\n"
            "kwinet: 1Z2: the carrier's answer holds no shipment for 1Z2: Invalid tracking number\n");
  auto both = track({"stall", "1Z2"});
  EXPECT_EQ(both.ExitCode, 1) << both.Err;
}
