// kwinet track: where a UPS or FedEx shipment is, through the carrier's XML
// service or, with --client-id, its REST interface of today (or a
// compatible gateway).
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "DemoSupport.h"
#include "ServiceHost.h"
#include "Target.h"
#include "Secret.h"
#include "Tool.h"
#include "kwinet/tracking/KwIFedEx.h"
#include "kwinet/tracking/KwIUPS.h"
#include "kwinet/tracking/TrackXML.h"
#include "kwinet/utils/RedactUrl.h"
#include "support/CarrierService.h"

namespace kwinet::tool {
namespace {

struct TTrackArgs {
  std::string Carrier, Host, CA;
  // One or more; several are tracked side by side.
  std::vector<std::string> Numbers;
  std::int64_t Timeout = 30000;
  std::int64_t MaxTime = kFetchMaxTime;
  // UPS.
  std::string License;
  // FedEx.
  std::string Key, Password, ParentKey, ParentPassword, Account, Meter, Integrator;
  // The secrets' files.
  std::string LicenseFile, KeyFile, PasswordFile, ParentKeyFile, ParentPasswordFile;
  // Today's interface: the OAuth client (its secret from a file or the
  // environment, never from the command line).
  std::string ClientId, ClientSecretFile;
};

constexpr const char* kClientSecretEnv = "KWINET_CLIENT_SECRET";

String DateTimeText(TDateTime value) {
  if (value == 0) return u"-";
  int y, m, d, h, n, s, ms;
  DecodeDate(value, y, m, d);
  DecodeTime(value, h, n, s, ms);
  return Format(u"%.4d-%.2d-%.2d %.2d:%.2d:%.2d", {y, m, d, h, n, s});
}

void Line(const char* label, const String& value) {
  if (value.empty()) return;
  Print(Utf8ToString(label) + u": " + Utf8ToString(OneLineValue(value)));
}

// Whatever the carrier says went wrong, for the error line.
String CarrierReason(const String& response) {
  TKwXMLEngine e(nullptr);
  LoadTrackResponse(e, response);
  for (const char16_t* tag : {u"ErrorDescription", u"faultstring", u"Message"}) {
    const String v = Trim(TagValueUnder(e, nullptr, tag));
    if (!v.empty()) return v;  // the error line shows it safely
  }
  return String();
}

template <typename Tracker>
void PrintShipment(const Tracker& t) {
  Line("Tracking number", t.TrackingNumber());
  Line("Identification number", t.IdentificationNumber());
  Line("Service", Trim(t.ServiceCode() + u" " + t.ServiceDescription()));
  if (t.PickupDate() != 0) Line("Pickup date", DateTimeText(t.PickupDate()));
  Line("Weight", Trim(t.ShipmentWeight() + u" " + t.ShipmentWeightUnits()));
  Line("Shipper number", t.ShipperNumber());
  Line("Shipper", t.ShipperAddress()->Text());
  Line("Ship to", t.ShipToAddress()->Text());
  const TKwInetActivities& acts = *t.Activities();
  for (int i = 0; i < acts.Count(); ++i) {
    const TKwInetActivity& a = *acts.GetActivity(i);
    const String status = a.StatusTypeDescription().empty() ? a.StatusTypeCode() : a.StatusTypeDescription();
    String place = a.Location()->Text();
    if (place.empty()) place = a.LocationDescription().empty() ? a.LocationCode() : a.LocationDescription();
    Print(DateTimeText(a.DateTime()) + u"\t" + Utf8ToString(OneLineValue(status)) + u"\t" +
          Utf8ToString(OneLineValue(place)));
  }
}

// The settings of the command line, but the number.
void Configure(TKwInetCustomTracker& t, const TTrackArgs& a) {
  t.SetTimeout(Milliseconds("--timeout", a.Timeout));
  t.SetMaxTime(Milliseconds("--max-time", a.MaxTime));
  if (!a.Host.empty()) {
    const TService s = ParseHost(a.Host);
    t.SetService(s.Service);
    t.SetHost(s.Host);
    t.SetPort(static_cast<std::uint16_t>(s.Port ? s.Port : s.Service == isHTTPS ? 443 : 80));
  }
  if (!a.CA.empty()) t.SetCACertFile(Utf8ToString(a.CA));
  // The tool says what went wrong in one line of its own.
  t.SetErrorDialog(false);
}

// What Execute left: the shipment printed, or a ToolError (1 or 3).
void Report(const TKwInetCustomTracker& t, bool executed, const std::string& number) {
  if (!executed) {
    // Today's interface fails with the service's own message when it
    // answered without a shipment.
    if (t.NoShipmentAnswer())
      throw ToolError(3, "the carrier's answer holds no shipment for " + number + ": " + StringToUtf8(t.ErrorText()));
    throw ToolError(1, StringToUtf8(t.ErrorText()));
  }
  if (t.IdentificationNumber().empty() && t.Activities()->Count() == 0) {
    const String reason = CarrierReason(t.LastXMLResponse());
    throw ToolError(3, "the carrier's answer holds no shipment for " + number +
                           (reason.empty() ? std::string() : ": " + StringToUtf8(reason)));
  }
  PrintShipment(t);
}

using TMakeTracker = std::function<std::unique_ptr<TKwInetCustomTracker>()>;

// Tracks every number: one alone as ever; several side by side, each as a
// job of its own, their blocks printed in the order of the arguments under
// "== NUMBER ==". 1 when any failed, else 3 when any was unknown, else 0.
int Track(const TMakeTracker& make, const TTrackArgs& a) {
  if (a.Numbers.size() == 1) {
    std::unique_ptr<TKwInetCustomTracker> t = make();
    Configure(*t, a);
    t->SetTrackingNumber(Utf8ToString(a.Numbers[0]));
    Report(*t, t->Execute(), a.Numbers[0]);
    return 0;
  }
  std::vector<std::unique_ptr<TKwInetCustomTracker>> trackers;
  std::vector<TJobHandle> jobs;
  for (const std::string& number : a.Numbers) {
    trackers.push_back(make());
    Configure(*trackers.back(), a);
    trackers.back()->SetTrackingNumber(Utf8ToString(number));
  }
  for (auto& t : trackers) jobs.push_back(t->ExecuteAsync());
  bool failed = false, unknown = false;
  for (std::size_t i = 0; i < trackers.size(); ++i) {
    jobs[i]->Wait(std::chrono::hours(24 * 365));
    Print(u"== " + Utf8ToString(OneLineValue(Utf8ToString(a.Numbers[i]))) + u" ==");
    try {
      // A job fails when Execute returned false (Status isFailed) or raised.
      if (jobs[i]->State() == jsFailed && trackers[i]->Status() != isFailed)
        throw ToolError(1, StringToUtf8(jobs[i]->ErrorText()));
      Report(*trackers[i], jobs[i]->State() == jsDone, a.Numbers[i]);
    } catch (const ToolError& e) {
      (e.Code == 3 ? unknown : failed) = true;
      std::fflush(stdout);
      std::fprintf(stderr, "kwinet: %s: %s\n", OneLineValue(Utf8ToString(a.Numbers[i])).c_str(),
                   OneLineValue(RedactUrl(Utf8ToString(e.what()))).c_str());
    }
    std::fflush(stdout);
  }
  return failed ? 1 : unknown ? 3 : 0;
}

// --client-id: today's interface, with the client's secret.
template <typename Tracker>
int TrackRest(const TTrackArgs& a) {
  const std::string secret = ReadSecret("--client-secret", "", a.ClientSecretFile, kClientSecretEnv);
  if (secret.empty())
    throw ToolError(2, "--client-id needs the client's secret: --client-secret-file FILE or " +
                           std::string(kClientSecretEnv));
  return Track(
      [&] {
        auto t = std::make_unique<Tracker>(nullptr);
        t->SetApiKind(akRest);
        t->SetClientId(Utf8ToString(a.ClientId));
        t->SetClientSecret(Utf8ToString(secret));
        return std::unique_ptr<TKwInetCustomTracker>(std::move(t));
      },
      a);
}

int RunTrack(const TTrackArgs& a) {
  const bool ups = a.Carrier == "ups";
  if (a.ClientId.empty() && !a.ClientSecretFile.empty())
    throw ToolError(2, "--client-secret-file goes with --client-id");
  if (!a.ClientId.empty()) {
    const std::pair<const char*, const std::string*> classic[] = {
        {"--license", &a.License},       {"--license-file", &a.LicenseFile},
        {"--key", &a.Key},               {"--key-file", &a.KeyFile},
        {"--password", &a.Password},     {"--password-file", &a.PasswordFile},
        {"--parent-key", &a.ParentKey},  {"--parent-key-file", &a.ParentKeyFile},
        {"--parent-password", &a.ParentPassword}, {"--parent-password-file", &a.ParentPasswordFile},
        {"--account", &a.Account},       {"--meter", &a.Meter},
        {"--integrator", &a.Integrator}};
    for (const auto& [name, value] : classic)
      if (!value->empty())
        throw ToolError(2, std::string(name) + " belongs to the classic interface; --client-id selects today's");
    if (ups) return TrackRest<TKwUPSTracker>(a);
    return TrackRest<TKwFedExTracker>(a);
  }
  const std::pair<const char*, const std::string*> fedexOnly[] = {{"--key", &a.Key},
                                                                  {"--key-file", &a.KeyFile},
                                                                  {"--password", &a.Password},
                                                                  {"--password-file", &a.PasswordFile},
                                                                  {"--parent-key", &a.ParentKey},
                                                                  {"--parent-key-file", &a.ParentKeyFile},
                                                                  {"--parent-password", &a.ParentPassword},
                                                                  {"--parent-password-file", &a.ParentPasswordFile},
                                                                  {"--account", &a.Account},
                                                                  {"--meter", &a.Meter},
                                                                  {"--integrator", &a.Integrator}};
  if (ups) {
    for (const auto& [name, value] : fedexOnly)
      if (!value->empty()) throw ToolError(2, std::string(name) + " is a FedEx credential; UPS takes --license");
    const std::string license = ReadSecret("--license", a.License, a.LicenseFile, "KWINET_LICENSE");
    return Track(
        [&] {
          auto t = std::make_unique<TKwUPSTracker>(nullptr);
          if (!license.empty()) t->SetAccessLicenseNumber(Utf8ToString(license));
          return std::unique_ptr<TKwInetCustomTracker>(std::move(t));
        },
        a);
  }
  if (!a.License.empty() || !a.LicenseFile.empty())
    throw ToolError(2, "--license is the UPS access key; FedEx takes --key and --password");
  // Each secret is read once, whatever the count of numbers.
  const String key = Utf8ToString(ReadSecret("--key", a.Key, a.KeyFile, "KWINET_FEDEX_KEY"));
  const String password = Utf8ToString(ReadSecret("--password", a.Password, a.PasswordFile, "KWINET_FEDEX_PASSWORD"));
  const String parentKey =
      Utf8ToString(ReadSecret("--parent-key", a.ParentKey, a.ParentKeyFile, "KWINET_FEDEX_PARENT_KEY"));
  const String parentPassword = Utf8ToString(
      ReadSecret("--parent-password", a.ParentPassword, a.ParentPasswordFile, "KWINET_FEDEX_PARENT_PASSWORD"));
  return Track(
      [&] {
        auto t = std::make_unique<TKwFedExTracker>(nullptr);
        TKwFedExWebAuthenticationDetail& d = *t->WebAuthenticationDetail();
        d.UserCredential()->SetKey(key);
        d.UserCredential()->SetPassword(password);
        d.ParentCredential()->SetKey(parentKey);
        d.ParentCredential()->SetPassword(parentPassword);
        d.ClientDetail()->SetAccountNumber(Utf8ToString(a.Account));
        d.ClientDetail()->SetMeterNumber(Utf8ToString(a.Meter));
        d.ClientDetail()->SetIntegratorId(Utf8ToString(a.Integrator));
        return std::unique_ptr<TKwInetCustomTracker>(std::move(t));
      },
      a);
}

void Setup(CLI::App& app) {
  // Setup runs for every parse (the demo parses many command lines in one
  // process): options left out must not keep an earlier line's values.
  static TTrackArgs args;
  args = TTrackArgs();
  auto* cmd = app.add_subcommand(
      "track", "Track a UPS or FedEx shipment: prints the shipment's values, then one scan event a line");
  cmd->add_option("CARRIER", args.Carrier, "ups or fedex")->required()->check(CLI::IsMember({"ups", "fedex"}));
  cmd->add_option("NUMBER", args.Numbers, "The tracking number; several are tracked side by side")->required();
  cmd->add_option("--host", args.Host,
                  "Scheme, host and port of the service (https://localhost:8443), for a compatible gateway or a "
                  "test server; default: the carrier's own");
  cmd->add_option("--ca", args.CA, "CA certificates (PEM) to check the server against (default: the system's)");
  cmd->add_option("--timeout", args.Timeout, "Milliseconds to wait for a connection or data (0: no bound)")
      ->capture_default_str();
  cmd->add_option("--max-time", args.MaxTime, MaxTimeHelp(kFetchMaxTime));
  AddSecretOptions(cmd, "--license", args.License, args.LicenseFile, "KWINET_LICENSE", "UPS access license number");
  AddSecretOptions(cmd, "--key", args.Key, args.KeyFile, "KWINET_FEDEX_KEY", "FedEx user credential's key");
  AddSecretOptions(cmd, "--password", args.Password, args.PasswordFile, "KWINET_FEDEX_PASSWORD",
                   "FedEx user credential's password");
  AddSecretOptions(cmd, "--parent-key", args.ParentKey, args.ParentKeyFile, "KWINET_FEDEX_PARENT_KEY",
                   "FedEx parent credential's key");
  AddSecretOptions(cmd, "--parent-password", args.ParentPassword, args.ParentPasswordFile,
                   "KWINET_FEDEX_PARENT_PASSWORD", "FedEx parent credential's password");
  cmd->add_option("--account", args.Account, "FedEx: the account number");
  cmd->add_option("--meter", args.Meter, "FedEx: the meter number");
  cmd->add_option("--integrator", args.Integrator, "FedEx: the integrator id");
  cmd->add_option("--client-id", args.ClientId,
                  "The OAuth client id of the carrier's developer account: selects today's REST interface (UPS "
                  "track API, FedEx track API) in place of the classic XML one");
  cmd->add_option("--client-secret-file", args.ClientSecretFile,
                  "A file whose first line is the client's secret; refused (exit status 2) when its group or others "
                  "may read it. Without it, the secret comes from " +
                      std::string(kClientSecretEnv) + " (it is never taken on the command line)");
  cmd->footer(
      "Output: \"Label: value\" lines for the shipment (those the carrier gave), then one line per scan event:\n"
      "date and time (YYYY-MM-DD HH:MM:SS, \"-\" when unknown), status and place, separated by tabs.\n"
      "With several numbers, all are tracked at once and each gets a block headed \"== NUMBER ==\", in the order\n"
      "of the arguments; the reason of a number that failed goes to standard error as \"NUMBER: reason\", and\n"
      "the exit status is 1 when any number failed, else 3 when any was unknown, else 0.\n"
      "Exit status: 0 the shipment was printed; 1 the service could not be reached, its certificate was not\n"
      "trusted or named another host, it did not answer within --timeout, it took longer than --max-time or\n"
      "dripped slower than 1024 bytes a second for a minute, its answer was cut short or larger than 16 MiB,\n"
      "or the request would carry a control character; 3 the service answered, but with no shipment (an\n"
      "unknown number, refused credentials: its reason is printed); 2 usage (with --client-id: no secret, a\n"
      "classic credential option beside it). The reason of 1 and 3 is printed on standard error.\n"
      "With --client-id, the token and the track request both go to --host (default: the carrier's production\n"
      "hosts); the token is asked for once per run.");
  cmd->callback([] { ExitCode() = RunTrack(args); });
}

// --- demo -------------------------------------------------------------------

const std::string kDemoUPS =
    "<?xml version=\"1.0\"?><TrackResponse><Response><ResponseStatusCode>1</ResponseStatusCode></Response>"
    "<Shipment><Shipper><ShipperNumber>A1B2C3</ShipperNumber><Address><City>LOUISVILLE</City>"
    "<StateProvinceCode>KY</StateProvinceCode><CountryCode>US</CountryCode></Address></Shipper>"
    "<ShipTo><Address><City>LYON</City><PostalCode>69002</PostalCode><CountryCode>FR</CountryCode></Address>"
    "</ShipTo><ShipmentWeight><UnitOfMeasurement><Code>KGS</Code></UnitOfMeasurement><Weight>1.50</Weight>"
    "</ShipmentWeight><Service><Code>065</Code><Description>UPS SAVER</Description></Service>"
    "<ShipmentIdentificationNumber>1ZA1B2C30400000019</ShipmentIdentificationNumber>"
    "<PickupDate>20240311</PickupDate><Package>"
    "<Activity><ActivityLocation><Address><City>LYON</City><CountryCode>FR</CountryCode></Address>"
    "<Description>RECEPTION</Description></ActivityLocation><Status><StatusType><Code>D</Code>"
    "<Description>DELIVERED</Description></StatusType></Status><Date>20240314</Date><Time>101500</Time></Activity>"
    "<Activity><ActivityLocation><Address><City>KOELN</City><CountryCode>DE</CountryCode></Address>"
    "</ActivityLocation><Status><StatusType><Code>I</Code><Description>DEPARTURE SCAN</Description></StatusType>"
    "</Status><Date>20240313</Date><Time>031000</Time></Activity></Package></Shipment></TrackResponse>";

const std::string kDemoUPSUnknown =
    "<?xml version=\"1.0\"?><TrackResponse><Response><ResponseStatusCode>0</ResponseStatusCode><Error>"
    "<ErrorSeverity>Hard</ErrorSeverity><ErrorCode>151018</ErrorCode>"
    "<ErrorDescription>Invalid tracking number</ErrorDescription></Error></Response></TrackResponse>";

const std::string kDemoFedEx =
    "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
    "<TrackReply xmlns=\"http://fedex.com/ws/track/v10\"><HighestSeverity>SUCCESS</HighestSeverity>"
    "<CompletedTrackDetails><TrackDetails><TrackingNumberUniqueIdentifier>12017~797806677146~FDEG"
    "</TrackingNumberUniqueIdentifier><Service><Type>FEDEX_GROUND</Type><Description>FedEx Ground</Description>"
    "</Service><ShipmentWeight><Units>LB</Units><Value>4.0</Value></ShipmentWeight><DestinationAddress>"
    "<City>AUSTIN</City><StateOrProvinceCode>TX</StateOrProvinceCode><CountryName>United States</CountryName>"
    "</DestinationAddress><ActualDeliveryTimestamp>2024-03-14T11:02:00-05:00</ActualDeliveryTimestamp>"
    "<Events><Timestamp>2024-03-14T11:02:00-05:00</Timestamp><EventType>DL</EventType>"
    "<EventDescription>Delivered</EventDescription><Address><City>AUSTIN</City>"
    "<StateOrProvinceCode>TX</StateOrProvinceCode></Address></Events>"
    "<Events><Timestamp>2024-03-14T06:40:00-05:00</Timestamp><EventType>OD</EventType>"
    "<EventDescription>On FedEx vehicle for delivery</EventDescription><Address><City>AUSTIN</City>"
    "<StateOrProvinceCode>TX</StateOrProvinceCode></Address></Events>"
    "</TrackDetails></CompletedTrackDetails></TrackReply></soapenv:Body></soapenv:Envelope>";

// The carriers' side of the demo: reads a request with its body and answers
// by path and number.
void ServeCarrier(support::FakeConnection& c) {
  if (!c.ReadUntil("\r\n\r\n")) return;
  const std::size_t headEnd = c.Data().find("\r\n\r\n") + 4;
  std::string head = c.Data().substr(0, headEnd);
  for (char& ch : head) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  const std::size_t p = head.find("\ncontent-length:");
  const std::size_t length = p == std::string::npos ? 0 : std::strtoul(head.c_str() + p + 16, nullptr, 10);
  if (length > 65536 || !c.ReadCount(headEnd + length)) return;
  const std::string body = c.Data().substr(headEnd);
  std::string answer;
  if (head.starts_with("post /ups.app/xml/track "))
    answer = body.find("#1ZA1B2C30400000019<") != std::string::npos ? kDemoUPS : kDemoUPSUnknown;
  else
    answer = kDemoFedEx;
  c.Send("HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(answer.size()) + "\r\n\r\n" +
         answer);
}

int Demo() {
  std::unique_ptr<support::FakeServer> carrier;
  // Today's REST interfaces: the emulator that the tests use.
  std::unique_ptr<support::TCarrierService> rest;
  try {
    carrier = std::make_unique<support::FakeServer>(ServeCarrier);
    rest = std::make_unique<support::TCarrierService>();
  } catch (const std::runtime_error& e) {
    std::printf("cannot start the demo carrier: %s\n", e.what());
    return 1;
  }
  // Real TLS with a test CA in front of it.
  const std::string upstream = "http://127.0.0.1:" + std::to_string(carrier->Port());
  support::TNginxOptions options;
  options.Https = true;
  options.ServerExtra = "    location /ups.app/ { proxy_pass " + upstream + "; }\n" +
                        "    location /web-services/ { proxy_pass " + upstream + "; }\n" + rest->NginxLocations();
  support::TNginx nginx(options);
  if (!nginx.Started()) {
    std::printf("%s\n", nginx.Error().c_str());
    return 1;
  }
  const std::string host = "https://localhost:" + std::to_string(nginx.HttpsPort());
  int failures = 0;
  failures += !Show({"track", "ups", "1ZA1B2C30400000019", "--host", host, "--ca", nginx.CAFile()});
  failures += !Show({"track", "fedex", "797806677146", "--host", host, "--ca", nginx.CAFile(), "--key", "demo-key",
                     "--password", "demo-password", "--account", "510087020", "--meter", "118785166"});
  failures += !Show({"track", "ups", "1Z0000000000000000", "--host", host, "--ca", nginx.CAFile()}, 3);
  // The same server without its CA: the number is never sent.
  failures += !Show({"track", "ups", "1ZA1B2C30400000019", "--host", host}, 1);
  // Today's interfaces: an OAuth client whose secret is in a private file.
  support::TempDir dir("kwinet-demo");
  const std::string secret = dir.File("client.secret");
  {
    std::ofstream out(secret);
    out << support::TCarrierService::kClientSecret << "\n";
  }
  ::chmod(secret.c_str(), 0600);
  failures += !Show({"track", "ups", support::kUPSRestNumber, "--client-id", support::TCarrierService::kUPSClientId,
                     "--client-secret-file", secret, "--host", host, "--ca", nginx.CAFile()});
  failures += !Show({"track", "fedex", support::kFedExRestNumber, "--client-id",
                     support::TCarrierService::kFedExClientId, "--client-secret-file", secret, "--host", host, "--ca",
                     nginx.CAFile()});
  failures += !Show({"track", "fedex", "999999999999", "--client-id", support::TCarrierService::kFedExClientId,
                     "--client-secret-file", secret, "--host", host, "--ca", nginx.CAFile()},
                    3);
  return failures;
}

Register reg({"track", 60, Setup, Demo});

}  // namespace
}  // namespace kwinet::tool
