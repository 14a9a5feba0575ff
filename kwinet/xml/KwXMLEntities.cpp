#include "kwinet/xml/KwXMLEntities.h"

#include <string_view>

namespace kwinet {

namespace {

using View = std::u16string_view;

struct EntityRow {
  View Text;
  Char Replacement;  // 0: the entity is removed
};

// Applied row by row, in this order: "&amp" before "&lt", so "&amp;lt;"
// ends as "<".
constexpr EntityRow kEntities[] = {
    {u"&brvbar", u'|'}, {u"&deg", u'\u00B0'}, {u"&#176", u'\u00B0'}, {u"&plusmn", u'+'}, {u"&para", u'\u00B6'},
    {u"&amp", u'&'},    {u"&lt", u'<'},       {u"&gt", u'>'},        {u"&copy", u'c'},   {u"&quot", u'"'},
    {u"&apos", u'\''},  {u"&trade", u'T'},    {u"&nbsp", 0},         {u"&car", u'\n'},   {u"&ret", u'\r'},
    {u"&#009", u'\t'},  {u"&#x9", u'\t'},     {u"&#010", u'\n'},     {u"&#xa", u'\n'},   {u"&#013", u'\r'},
    {u"&#xd", u'\r'},   {u"&#034", u'"'},     {u"&#34", u'"'},       {u"&#039", u'\''},  {u"&#39", u'\''},
};

// Replaces every occurrence of one entity the way a search from the start
// after each replacement would, in one pass: all occurrences have the same
// length, so the leftmost one is also the one that ends first, and a new one
// can only end at or after the replacement. The text before the position is
// kept in Out, which never holds an occurrence.
String ApplyEntity(const String& In, const EntityRow& Row) {
  String out;
  out.reserve(In.size());
  const std::size_t len = Row.Text.size();
  const Char last = Row.Text.back();
  std::size_t i = 0;
  Char pending = 0;  // a replacement still to be pushed
  for (;;) {
    Char c;
    if (pending != 0) {
      c = pending;
      pending = 0;
    } else if (i < In.size()) {
      c = In[i++];
    } else {
      break;
    }
    out.push_back(c);
    if (c != last || out.size() < len || View(out).substr(out.size() - len) != Row.Text) continue;
    out.resize(out.size() - len);
    if (i < In.size() && In[i] == u';') ++i;
    pending = Row.Replacement;
  }
  return out;
}

}  // namespace

String DecodeXMLEntities(const String& S) {
  if (S.find(u'&') == String::npos) return S;
  String s = S;
  for (const EntityRow& row : kEntities)
    if (s.find(row.Text) != String::npos) s = ApplyEntity(s, row);
  return s;
}

}  // namespace kwinet
