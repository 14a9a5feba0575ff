// kwinet new: a stored form holding one component of a class, with the
// properties given on the command line, for `kwinet run` to load later.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "Target.h"
#include "Tool.h"
#include "kwinet/core/FormStream.h"
#include "kwinet/core/FormText.h"
#include "kwinet/core/Streams.h"
#include "kwinet/core/StringList.h"
#include "kwinet/core/TypInfo.h"
#include "kwinet/design/KwInetClasses.h"

namespace kwinet::tool {
namespace {

struct TNewArgs {
  std::string Class;
  std::vector<std::string> Assignments;
  std::string Output;
  std::string Name;
};

// One NAME=VALUE of the command line, resolved to the object and property
// it sets.
struct TAssignment {
  std::string Arg;
  TObject* Object = nullptr;
  const TPropInfo* Prop = nullptr;
  std::string Value;
  std::size_t Order = 0;  // declaration index of the first name's property
};

bool IsIdentifier(const std::string& s) {
  if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  for (const char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

// The message of a form error without its "line L, column C: " (the value
// stood alone on a line of its own, so the place says nothing).
std::string WithoutPlace(const Exception& e) {
  std::string text = e.what();
  const auto colon = text.find(": ");
  return text.rfind("line ", 0) == 0 && colon != std::string::npos ? text.substr(colon + 2) : text;
}

// Reads Text as the value of one property in a stored form.
TFormValue ParseValue(const TAssignment& a) {
  const std::string snippet = "object A: T\n  V = " + a.Value + "\nend\n";
  TFormObject parsed;
  try {
    parsed = ReadFormText(snippet);
  } catch (const EFormError& e) {
    throw ToolError(2, a.Arg + ": not a value: " + WithoutPlace(e));
  }
  // A value that runs onto more lines could bring properties of its own.
  if (parsed.Properties.size() != 1 || !parsed.Children.empty()) throw ToolError(2, a.Arg + ": not a single value");
  return parsed.Properties[0].Value;
}

std::string Names(const std::vector<String>& names) {
  std::string out;
  for (const String& n : names) out += (out.empty() ? "" : ", ") + StringToUtf8(n);
  return out;
}

// The ordinal of an identifier among the value names, or -1.
int FindName(const std::vector<String>& names, const String& name) {
  for (std::size_t i = 0; i < names.size(); ++i)
    if (SameText(names[i], name)) return static_cast<int>(i);
  return -1;
}

void Apply(const TAssignment& a, TComponent* component, std::vector<TStrings*>& cleared) {
  const TPropInfo& p = *a.Prop;
  const std::string name = StringToUtf8(p.Name);
  auto bad = [&](const std::string& want) { return ToolError(2, a.Arg + ": " + name + " takes " + want); };
  switch (p.Kind) {
    case tkMethod:
      throw ToolError(2, a.Arg + ": " + name + " is an event; events are not stored");
    case tkClass:
      throw ToolError(2, a.Arg + ": " + name + " is an object; set its properties as " + name + ".NAME=VALUE");
    case tkCollection:
      throw ToolError(2, a.Arg + ": " + name + " is a collection; write its items in the form's text");
    case tkStrings: {
      auto* list = dynamic_cast<TStrings*>(p.GetObject(a.Object));
      if (!list) throw ToolError(2, a.Arg + ": " + name + " cannot be set");
      // The first line given replaces the default list; the next ones add.
      if (std::find(cleared.begin(), cleared.end(), list) == cleared.end()) {
        list->Clear();
        cleared.push_back(list);
      }
      list->Add(Utf8ToString(a.Value));
      return;
    }
    default:
      break;
  }
  if (!p.Writable()) throw ToolError(2, a.Arg + ": " + name + " is read-only");
  if (p.Kind == tkString) {
    p.SetString(a.Object, Utf8ToString(a.Value));
    return;
  }
  const TFormValue v = ParseValue(a);
  switch (p.Kind) {
    case tkInteger:
      if (v.Kind != TFormValue::fvInteger) throw bad("a whole number");
      p.SetOrdinal(a.Object, v.Integer);
      break;
    case tkBoolean:
      if (v.Kind != TFormValue::fvIdent || FindName({u"False", u"True"}, v.Text) < 0) throw bad("True or False");
      p.SetOrdinal(a.Object, FindName({u"False", u"True"}, v.Text));
      break;
    case tkEnumeration: {
      const int ordinal = v.Kind == TFormValue::fvIdent ? FindName(p.ValueNames, v.Text) : -1;
      if (ordinal < 0) throw bad("one of " + Names(p.ValueNames));
      p.SetOrdinal(a.Object, ordinal);
      break;
    }
    case tkSet: {
      if (v.Kind != TFormValue::fvSet) throw bad("a set in brackets of " + Names(p.ValueNames));
      std::int64_t bits = 0;
      for (const String& n : v.Names) {
        const int ordinal = FindName(p.ValueNames, n);
        if (ordinal < 0) throw bad("a set in brackets of " + Names(p.ValueNames));
        bits |= std::int64_t(1) << ordinal;
      }
      p.SetOrdinal(a.Object, bits);
      break;
    }
    case tkFloat:
    case tkDateTime:
      if (v.Kind == TFormValue::fvFloat)
        p.SetFloat(a.Object, v.Float);
      else if (v.Kind == TFormValue::fvInteger)
        p.SetFloat(a.Object, static_cast<double>(v.Integer));
      else
        throw bad("a number");
      break;
    case tkBinary:
      if (v.Kind != TFormValue::fvBinary) throw bad("hexadecimal bytes in braces");
      p.SetBinary(a.Object, v.Bytes);
      break;
    case tkComponent:
      // The form holds one component: the reference is to it or to none.
      if (v.Kind == TFormValue::fvIdent && SameText(v.Text, u"nil"))
        p.SetComponent(a.Object, nullptr);
      else if (v.Kind == TFormValue::fvIdent && SameText(v.Text, component->Name()))
        p.SetComponent(a.Object, component);
      else
        throw bad("nil or " + StringToUtf8(component->Name()));
      break;
    default:
      throw ToolError(2, a.Arg + ": " + name + " cannot be set");
  }
}

// NAME=VALUE into the object and property it sets; a dotted name goes
// through sub-objects (Proxy.Port=8080).
TAssignment Resolve(const std::string& arg, TComponent* component, const TClassInfo& info) {
  const auto eq = arg.find('=');
  if (eq == std::string::npos || eq == 0) throw ToolError(2, "\"" + arg + "\": expected PROPERTY=VALUE");
  TAssignment a;
  a.Arg = arg;
  a.Value = arg.substr(eq + 1);
  const std::string path = arg.substr(0, eq);
  TObject* object = component;
  const TClassInfo* cls = &info;
  std::size_t start = 0;
  for (bool first = true;; first = false) {
    const auto dot = path.find('.', start);
    const std::string part = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    const TPropInfo* prop = cls->FindProperty(Utf8ToString(part));
    if (!prop)
      throw ToolError(2, a.Arg + ": " + StringToUtf8(cls->ClassName()) + " has no published property \"" + part + "\"");
    if (first) {
      const auto all = info.Properties();
      a.Order = static_cast<std::size_t>(std::find(all.begin(), all.end(), prop) - all.begin());
    }
    if (dot == std::string::npos) {
      a.Object = object;
      a.Prop = prop;
      return a;
    }
    TPersistent* sub = prop->Kind == tkClass && prop->GetObject ? prop->GetObject(object) : nullptr;
    cls = sub ? ClassInfoOf(sub) : nullptr;
    if (!cls) throw ToolError(2, a.Arg + ": " + part + " is not an object with properties");
    object = sub;
    start = dot + 1;
  }
}

void WriteOutput(const std::string& text, const std::string& output) {
  WriteOutputFile(output, [&](TStream& out) { out.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size())); });
}

void RunNew(const TNewArgs& args, bool toFile) {
  if (toFile) CheckOutput(args.Output);
  RegisterKwInetClasses();
  const TClassInfo* info = GetClass(Utf8ToString(args.Class));
  if (!info) throw ToolError(2, "Class " + args.Class + " not found");
  if (!info->CanCreate() || !info->InheritsFrom(u"TComponent"))
    throw ToolError(2, "Class " + args.Class + " is not a component that can be created by name");
  // Named as a designer names the first of its class: KwWhoIs1.
  std::string name = args.Name;
  if (name.empty()) {
    name = StringToUtf8(info->ClassName());
    if (name.size() > 1 && (name[0] == 'T' || name[0] == 't')) name.erase(0, 1);
    name += "1";
  }
  if (!IsIdentifier(name) || name == "Form1")
    throw ToolError(2, "--name \"" + name + "\": a component's name is letters, digits and _, not Form1");
  auto root = std::make_unique<TForm>(nullptr);
  root->SetName(u"Form1");
  TComponent* component = info->CreateComponent(root.get());
  component->SetName(Utf8ToString(name));

  std::vector<TAssignment> assignments;
  for (const std::string& arg : args.Assignments) assignments.push_back(Resolve(arg, component, *info));
  // Assigned in declaration order, as a stored form is read: a property
  // that depends on another (the whois Domain and ServerList) comes out
  // as it would when the form is loaded.
  std::stable_sort(assignments.begin(), assignments.end(),
                   [](const TAssignment& a, const TAssignment& b) { return a.Order < b.Order; });
  std::vector<TStrings*> cleared;
  for (const TAssignment& a : assignments) {
    try {
      Apply(a, component, cleared);
    } catch (const Exception& e) {
      throw ToolError(2, a.Arg + ": " + e.what());
    }
  }
  const std::string text = WriteComponentText(root.get());
  if (toFile)
    WriteOutput(text, args.Output);
  else
    PrintBytes(text);
}

void Setup(CLI::App& app) {
  static TNewArgs args;
  args = TNewArgs();
  auto* cmd = app.add_subcommand("new", "Write a stored form that holds one component of CLASS, for 'kwinet run'");
  cmd->add_option("CLASS", args.Class, "The component's class, e.g. TKwWhoIs (see 'kwinet classes')")->required();
  cmd->add_option("PROPERTY=VALUE", args.Assignments,
                  "Published properties to set (see 'kwinet props CLASS'); a sub-object's by a dotted name "
                  "(Proxy.Port=8080)");
  static CLI::Option* output;
  output = cmd->add_option("-o,--output", args.Output,
                           "Write the form to this file (through FILE.part, which replaces it when whole) instead of "
                           "standard output");
  cmd->add_option("--name", args.Name, "The component's name (default: the class name without T, and 1: KwWhoIs1)");
  cmd->footer(
      "Values: a string property takes the text as it is (Domain=example.com); a string list takes one line per "
      "PROPERTY=LINE, repeated for more lines, in place of its default lines (ServerList=com=whois.example "
      "ServerList=net=whois.example); any other property takes a value as a stored form writes it: 8080, -1, $FF, "
      "1.5, True, isHTTP, [soOne, soTwo], {0A0B}, nil. Collections and events cannot be given here. Only values "
      "that differ from the defaults are written.\n"
      "Exit status: 0 the form was written; 1 the file could not be written (an old one is kept); 2 for an unknown "
      "class or property, a value of the wrong kind, or another usage error (nothing is written).");
  cmd->callback([] { RunNew(args, output->count() > 0); });
}

Register reg({"new", 81, Setup, nullptr});

}  // namespace
}  // namespace kwinet::tool
