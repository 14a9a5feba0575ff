#include "kwinet/socket/KwWhoIs.h"

namespace kwinet {

const Char* const KwRipeWhoisServer = u"whois.ripe.net";

namespace {

// Label = whois server of the registry the label names. Labels of two parts
// are never chosen automatically; applications may read them.
const char* const kDefaultServers[] = {
    "*=whois.ripe.net",
    "ac=whois.nic.ac",
    "ae=whois.aeda.net.ae",
    "aero=whois.aero",
    "af=whois.nic.af",
    "ag=whois.nic.ag",
    "am=whois.amnic.net",
    "as=whois.nic.as",
    "asia=whois.nic.asia",
    "at=whois.nic.at",
    "au=whois.auda.org.au",
    "be=whois.dns.be",
    "bg=whois.register.bg",
    "bi=whois1.nic.bi",
    "biz=whois.nic.biz",
    "bj=whois.nic.bj",
    "br=whois.registro.br",
    "br.com=whois.centralnic.com",
    "bt=whois.netnames.net",
    "bz=whois.belizenic.bz",
    "ca=whois.cira.ca",
    "cat=whois.nic.cat",
    "cc=ccwhois.verisign-grs.com",
    "cd=whois.nic.cd",
    "ch=whois.nic.ch",
    "ck=whois.nic.ck",
    "cl=whois.nic.cl",
    "cn=whois.cnnic.cn",
    "cn.com=whois.centralnic.com",
    "co=whois.nic.co",
    "co.nl=whois.co.nl",
    "com=whois.verisign-grs.com",
    "coop=whois.nic.coop",
    "cx=whois.nic.cx",
    "cz=whois.nic.cz",
    "de=whois.denic.de",
    "dk=whois.dk-hostmaster.dk",
    "dm=whois.nic.cx",
    "dz=whois.nic.dz",
    "edu=whois.educause.edu",
    "ee=whois.tld.ee",
    "eu=whois.eu",
    "eu.com=whois.centralnic.com",
    "fi=whois.fi",
    "fo=whois.nic.fo",
    "fr=whois.nic.fr",
    "gb.com=whois.centralnic.com",
    "gb.net=whois.centralnic.com",
    "qc.com=whois.centralnic.com",
    "gl=whois.nic.gl",
    "gov=whois.dotgov.gov",
    "gs=whois.nic.gs",
    "hk=whois.hkirc.hk",
    "hm=whois.registry.hm",
    "hn=whois2.afilias-grs.net",
    "hu=whois.nic.hu",
    "hu.com=whois.centralnic.com",
    "ie=whois.weare.ie",
    "il=whois.isoc.org.il",
    "in=whois.registry.in",
    "info=whois.afilias.net",
    "int=whois.iana.org",
    "io=whois.nic.io",
    "iq=whois.cmc.iq",
    "ir=whois.nic.ir",
    "is=whois.isnic.is",
    "it=whois.nic.it",
    "je=whois.je",
    "jobs=jobswhois.verisign-grs.com",
    "jp=whois.jprs.jp",
    "ke=whois.kenic.or.ke",
    "kg=whois.kg",
    "kr=whois.kr",
    "la=whois2.afilias-grs.net",
    "li=whois.nic.li",
    "lt=whois.domreg.lt",
    "lu=whois.dns.lu",
    "lv=whois.nic.lv",
    "ly=whois.nic.ly",
    "ma=whois.registre.ma",
    "md=whois.nic.md",
    "me=whois.nic.me",
    "mil=whois.nic.mil",
    "mobi=whois.dotmobiregistry.net",
    "ms=whois.nic.ms",
    "mu=whois.nic.mu",
    "mx=whois.mx",
    "my=whois.mynic.my",
    "name=whois.nic.name",
    "net=whois.verisign-grs.com",
    "nf=whois.nic.cx",
    "ng=whois.nic.net.ng",
    "nl=whois.domain-registry.nl",
    "no=whois.norid.no",
    "no.com=whois.centralnic.com",
    "nu=whois.iis.nu",
    "nz=whois.srs.net.nz",
    "org=whois.pir.org",
    "pl=whois.dns.pl",
    "pr=whois.afilias-srs.net",
    "pro=whois.nic.pro",
    "pt=whois.dns.pt",
    "ro=whois.rotld.ro",
    "ru=whois.ripn.net",
    "sa=whois.nic.net.sa",
    "sa.com=whois.centralnic.com",
    "sb=whois.nic.net.sb",
    "sc=whois2.afilias-grs.net",
    "se=whois.iis.se",
    "se.com=whois.centralnic.com",
    "se.net=whois.centralnic.com",
    "sg=whois.sgnic.sg",
    "sh=whois.nic.sh",
    "si=whois.register.si",
    "sk=whois.sk-nic.sk",
    "sm=whois.nic.sm",
    "st=whois.nic.st",
    "su=whois.ripn.net",
    "tc=whois.adamsnames.tc",
    "tel=whois.nic.tel",
    "tf=whois.nic.tf",
    "th=whois.thnic.co.th",
    "tj=whois.nic.tj",
    "tk=whois.dot.tk",
    "tl=whois.nic.tl",
    "tm=whois.nic.tm",
    "to=whois.tonic.to",
    "tp=whois.nic.tl",
    "tr=whois.nic.tr",
    "travel=whois.nic.travel",
    "tw=whois.twnic.net.tw",
    "tv=tvwhois.verisign-grs.com",
    "tz=whois.tznic.or.tz",
    "ua=whois.ua",
    "uk=whois.nic.uk",
    "uk.com=whois.centralnic.com",
    "uk.net=whois.centralnic.com",
    "gov.uk=whois.ja.net",
    "us=whois.nic.us",
    "us.com=whois.centralnic.com",
    "uy=whois.nic.org.uy",
    "uy.com=whois.centralnic.com",
    "uz=whois.cctld.uz",
    "vc=whois2.afilias-grs.net",
    "ve=whois.nic.ve",
    "vg=whois.adamsnames.tc",
    "ws=whois.website.ws",
    "xxx=whois.nic.xxx",
    "za.com=whois.centralnic.com",
};

}  // namespace

TKwWhoIs::TKwWhoIs(TComponent* AOwner) : TKwInetBase(AOwner) {
  SetPort(43);
  FAutoSelectServer = true;
  FServerList = std::make_unique<TStringList>();
  for (const char* line : kDefaultServers) FServerList->Add(Str(line));
}

TKwWhoIs::~TKwWhoIs() {
  EndJob();  // the job uses what goes below
  FServerList.reset();
}

void TKwWhoIs::SetServerList(TStrings* value) {
  FServerList->Assign(value);
}

void TKwWhoIs::SetDomain(const String& value) {
  if (value == FDomain) return;
  FDomain = value;
  if (!FAutoSelectServer || value.empty()) return;
  if (AddrIsIP(value)) {
    SetHost(KwRipeWhoisServer);
    return;
  }
  const auto dot = value.rfind(u'.');
  const String label = dot == String::npos ? value : value.substr(dot + 1);
  SetHost(label.empty() ? String() : FServerList->Values(label));
  if (Host().empty()) SetHost(FServerList->Values(u"*"));
  if (Host().empty()) SetHost(KwRipeWhoisServer);
}

String TKwWhoIs::GetQuery() {
  if (Host() == KwRipeWhoisServer) return u"domain " + FDomain + u"\r\n";
  return FDomain + u"\r\n";
}

}  // namespace kwinet
