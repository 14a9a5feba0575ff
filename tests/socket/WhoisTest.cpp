// Whois: the server table, the server choice and the query on the wire.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "kwinet/socket/KwWhoIs.h"
#include "peers/FakeServer.h"

using namespace kwinet;
using kwinet::test::FakeServer;

TEST(Whois, DefaultTableHasEveryLabelInOrderWithTheSharedServers) {
  TKwWhoIs w(nullptr);
  const TStringList& list = *w.ServerList();
  const char* labels =
      "*,ac,ae,aero,af,ag,am,as,asia,at,au,be,bg,bi,biz,bj,br,br.com,bt,bz,ca,cat,cc,cd,ch,ck,cl,cn,cn.com,co,co.nl,"
      "com,coop,cx,cz,de,dk,dm,dz,edu,ee,eu,eu.com,fi,fo,fr,gb.com,gb.net,qc.com,gl,gov,gs,hk,hm,hn,hu,hu.com,ie,il,"
      "in,info,int,io,iq,ir,is,it,je,jobs,jp,ke,kg,kr,la,li,lt,lu,lv,ly,ma,md,me,mil,mobi,ms,mu,mx,my,name,net,nf,ng,"
      "nl,no,no.com,nu,nz,org,pl,pr,pro,pt,ro,ru,sa,sa.com,sb,sc,se,se.com,se.net,sg,sh,si,sk,sm,st,su,tc,tel,tf,th,"
      "tj,tk,tl,tm,to,tp,tr,travel,tw,tv,tz,ua,uk,uk.com,uk.net,gov.uk,us,us.com,uy,uy.com,uz,vc,ve,vg,ws,xxx,za.com";
  TStringList expected;
  expected.SetCommaText(Str(labels));
  ASSERT_EQ(list.Count(), 149);
  ASSERT_EQ(expected.Count(), 149);
  std::map<String, std::set<String>> byServer;
  for (int i = 0; i < list.Count(); ++i) {
    EXPECT_EQ(list.Names(i), expected[i]) << i;
    const String server = list.ValueFromIndex(i);
    EXPECT_FALSE(server.empty());
    EXPECT_NE(server.find(u'.'), String::npos);  // a host name
    byServer[server].insert(list.Names(i));
  }
  EXPECT_EQ(list.Values(u"*"), KwRipeWhoisServer);
  // The groups that share a server; every other label has one of its own.
  const std::set<std::set<String>> shared = {
      {u"br.com", u"cn.com", u"eu.com", u"gb.com", u"gb.net", u"qc.com", u"hu.com", u"no.com", u"sa.com", u"se.com",
       u"se.net", u"uk.com", u"uk.net", u"us.com", u"uy.com", u"za.com"},
      {u"com", u"net"},
      {u"cx", u"dm", u"nf"},
      {u"hn", u"la", u"sc", u"vc"},
      {u"ru", u"su"},
      {u"tc", u"vg"},
      {u"tl", u"tp"}};
  std::set<std::set<String>> actual;
  for (const auto& [server, group] : byServer)
    if (group.size() > 1) actual.insert(group);
  EXPECT_EQ(actual, shared);
  EXPECT_EQ(list.Values(u"com"), u"whois.verisign-grs.com");
  EXPECT_EQ(list.Values(u"uk.com"), u"whois.centralnic.com");
}

TEST(Whois, DomainChoosesTheServerOfItsLastLabel) {
  struct Case {
    const char16_t* domain;
    const char16_t* host;
    const char16_t* address;
  } cases[] = {
      {u"example.com", u"whois.verisign-grs.com", u""},
      {u"192.0.2.1", KwRipeWhoisServer, u""},
      {u"example.zz", KwRipeWhoisServer, u""},
      {u"example.CO.UK", u"whois.nic.uk", u""},
      {u"example.gov.uk", u"whois.nic.uk", u""},
      {u"de", u"whois.denic.de", u""},
      {u"example.", KwRipeWhoisServer, u""},
  };
  for (const auto& tc : cases) {
    TKwWhoIs w(nullptr);
    EXPECT_EQ(w.Port(), 43);
    EXPECT_EQ(w.Host(), u"");
    w.SetDomain(tc.domain);
    EXPECT_EQ(w.Host(), tc.host) << StringToUtf8(tc.domain);
  }
}

TEST(Whois, ChoiceRulesAndFallbacks) {
  TKwWhoIs w(nullptr);
  w.SetDomain(u"example.com");
  w.SetHost(u"whois.example.net");
  w.SetDomain(u"example.com");  // same value: no new choice
  EXPECT_EQ(w.Host(), u"whois.example.net");

  w.SetAutoSelectServer(false);
  w.SetDomain(u"example.org");
  EXPECT_EQ(w.Host(), u"whois.example.net");

  // Without the "*" line an unknown label goes to RIPE NCC; with another
  // "*" line, to that one.
  TKwWhoIs v(nullptr);
  TStringList custom;
  custom.Add(u"com=whois.one.test");
  v.SetServerList(&custom);
  v.SetDomain(u"x.zz");
  EXPECT_EQ(v.Host(), KwRipeWhoisServer);
  custom.Add(u"*=whois.star.test");
  v.SetServerList(&custom);
  v.SetDomain(u"y.zz");
  EXPECT_EQ(v.Host(), u"whois.star.test");
  EXPECT_EQ(v.GetQuery(), u"y.zz\r\n");
}

TEST(Whois, QueryLineHasTheDomainPrefixOnlyForRipe) {
  TKwWhoIs w(nullptr);
  w.SetDomain(u"192.0.2.1");
  EXPECT_EQ(w.GetQuery(), u"domain 192.0.2.1\r\n");
  w.SetDomain(u"example.zz");
  EXPECT_EQ(w.GetQuery(), u"domain example.zz\r\n");
  w.SetDomain(u"example.com");
  EXPECT_EQ(w.GetQuery(), u"example.com\r\n");
}

TEST(Whois, ServerReceivesTheQueryLineAloneAndItsTextComesBack) {
  const std::string answer = "Domain Name: EXAMPLE.COM\r\nRegistrar: RESERVED-IANA\r\n";
  FakeServer server(FakeServer::ReplyAndClose(answer, "\r\n"));
  TKwWhoIs w(nullptr);
  w.SetDomain(u"example.com");
  w.SetAddress(Str(server.Address()));
  w.SetPort(server.Port());
  EXPECT_EQ(StringToUtf8(w.Execute()), answer);
  ASSERT_TRUE(server.WaitForConnections(1));
  // No header lines after the query: the server would take them as input.
  EXPECT_EQ(server.Received(0), "example.com\r\n");
}
