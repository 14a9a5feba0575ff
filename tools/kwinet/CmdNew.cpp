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
#include "kwinet/core/Streams.h"
#include "kwinet/core/StringList.h"
#include "kwinet/design/KwInetClasses.h"
#include "kwinet/storage/FormStream.h"
#include "kwinet/storage/FormText.h"
#include "kwinet/storage/TypInfo.h"

namespace kwinet::tool {
namespace {

struct TNewArgs {
  std::string Class;
  std::vector<std::string> Assignments;
  std::string Output;
  std::string Name;
  bool StoreSecrets = false;
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

// Events, sub-objects and collections are no single value of a command line.
void CheckSettable(const TAssignment& a) {
  const std::string name = StringToUtf8(a.Prop->Name);
  switch (a.Prop->Kind) {
    case tkMethod:
      throw ToolError(2, a.Arg + ": " + name + " is an event; events are not stored");
    case tkClass:
      throw ToolError(2, a.Arg + ": " + name + " is an object; set its properties as " + name + ".NAME=VALUE");
    case tkCollection:
      throw ToolError(2, a.Arg + ": " + name + " is a collection; write its items in the form's text");
    default:
      break;
  }
}

// The value NAME=VALUE gives: a string's text as it is, a line of a string
// list, or any other value as a stored form writes it.
TFormValue ValueOf(const TAssignment& a) {
  if (a.Prop->Kind != tkString && a.Prop->Kind != tkStrings) return ParseValue(a);
  TFormValue v;
  v.Kind = TFormValue::fvString;
  v.Text = Utf8ToString(a.Value);
  return v;
}

// Assigned as the form's reader will assign it when `kwinet run` loads the
// form, so that both take and refuse the same values.
void Apply(const TAssignment& a, const TFormValue& value, TComponent* root) {
  const TPropInfo& p = *a.Prop;
  const TComponentLookup lookup = [root](const String& name) -> TComponent* {
    return SameText(name, root->Name()) ? root : root->FindComponent(name);
  };
  try {
    AssignPropValue(a.Object, p, value, lookup);
  } catch (const EFormError& e) {
    std::string why = WithoutPlace(e);
    if (p.Kind == tkEnumeration || p.Kind == tkSet) why += " (" + Names(p.ValueNames) + ")";
    throw ToolError(2, a.Arg + ": " + why);
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
  // A form may hold a password: for its owner's eyes only.
  WriteOutputFile(
      output, [&](TStream& out) { out.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size())); }, 0600);
}

void RunNew(const TNewArgs& args, bool toFile) {
  if (toFile) CheckOutput(args.Output);
  RegisterKwInetClasses();
  const TClassInfo* info = GetClass(Utf8ToString(args.Class));
  if (!info) throw ToolError(2, "Class " + args.Class + " not found");
  if (!info->CanCreate() || !info->InheritsFrom(u"TComponent"))
    throw ToolError(2, "Class " + args.Class + " is not a component that can be created by name");
  if (info->InheritsFrom(u"TCustomForm"))
    throw ToolError(2, StringToUtf8(info->ClassName()) +
                           " is the stored form itself (every form that new writes is a TForm): name the class of "
                           "the component to put in it, e.g. TKwWhoIs (see 'kwinet classes')");
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
  // The lines of a string list, given one by one, replace its default
  // lines together, at the place of the first.
  std::vector<std::pair<const TAssignment*, TFormValue>> values;
  for (const TAssignment& a : assignments) {
    CheckSettable(a);
    TFormValue value = ValueOf(a);
    if (a.Prop->Kind == tkStrings) {
      auto list = std::find_if(values.begin(), values.end(),
                               [&](const auto& v) { return v.first->Object == a.Object && v.first->Prop == a.Prop; });
      if (list != values.end()) {
        list->second.Items.push_back(std::move(value));
        continue;
      }
      TFormValue lines;
      lines.Kind = TFormValue::fvList;
      lines.Items.push_back(std::move(value));
      value = std::move(lines);
    }
    values.emplace_back(&a, std::move(value));
  }
  for (const auto& [a, value] : values) Apply(*a, value, root.get());
  const std::string text = WriteComponentText(root.get(), args.StoreSecrets);
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
                           "standard output; the file is readable by its owner alone (mode 0600), as a form may hold "
                           "a password");
  cmd->add_option("--name", args.Name, "The component's name (default: the class name without T, and 1: KwWhoIs1)");
  cmd->add_flag("--store-secrets", args.StoreSecrets,
                "Write secret properties (ClientSecret, SubscriptionKey, ApiKey) into the form too; without it they "
                "are left out, and 'kwinet run' takes them from KWINET_CLIENT_SECRET and KWINET_API_KEY");
  cmd->footer(
      "Values: a string property takes the text as it is (Domain=example.com); a string list takes one line per "
      "PROPERTY=LINE, repeated for more lines, in place of its default lines (ServerList=com=whois.example "
      "ServerList=net=whois.example); any other property takes a value as a stored form writes it: 8080, -1, $FF, "
      "1.5, True, isHTTP, [soOne, soTwo], {0A0B}, nil. Collections and events cannot be given here. Only values "
      "that differ from the defaults are written; secret properties only with --store-secrets.\n"
      "Values are checked as 'kwinet run' checks them when it loads the form (kind, range of the type, names).\n"
      "Exit status: 0 the form was written; 1 the file could not be written (an old one is kept); 2 for an unknown "
      "class or property, a value that run would refuse, or another usage error (nothing is written).");
  cmd->callback([] { RunNew(args, output->count() > 0); });
}

Register reg({"new", 81, Setup, nullptr});

}  // namespace
}  // namespace kwinet::tool
