#include "cli/selfdoc.h"

#include "cli/common.h"
#include "engine/base/zidFormats.h"

namespace cli {

namespace {

// A description as a sentence: with its full stop.
std::string Sentence(const std::string& text) {
  return text.empty() || text.back() == '.' ? text : text + ".";
}

// Text as roff reads it literally: backslashes and minus signs escaped, no
// request or control character at a line's start.
std::string Roff(const std::string& text) {
  std::string r;
  for (char c : text) {
    if (c == '\\') r += "\\e";
    else if (c == '-') r += "\\-";
    else r += c;
  }
  if (!r.empty() && (r[0] == '.' || r[0] == '\'')) r.insert(0, "\\&");
  return r;
}

std::vector<const CLI::App*> Commands(const CLI::App& app) {
  return app.get_subcommands([](const CLI::App*) { return true; });
}

// The options a command documents: not its positionals, not --help, nothing hidden.
std::vector<const CLI::Option*> Options(const CLI::App& cmd) {
  const CLI::Option* help = cmd.get_help_ptr();
  return cmd.get_options([help](const CLI::Option* o) { return o != help && !o->get_positional() && !o->get_group().empty(); });
}

std::vector<const CLI::Option*> Positionals(const CLI::App& cmd) {
  return cmd.get_options([](const CLI::Option* o) { return o->get_positional(); });
}

bool TakesValue(const CLI::Option& o) { return o.get_items_expected_max() > 0; }

// The values a checked option accepts ("{zip,jar}" in its type name), else none.
std::vector<std::string> Choices(const CLI::Option& o) {
  const std::string type = o.get_type_name();
  const size_t open = type.find('{'), close = type.rfind('}');
  std::vector<std::string> r;
  if (open == std::string::npos || close == std::string::npos || close < open) return r;
  std::string item;
  for (size_t i = open + 1; i <= close; ++i) {
    if (i == close || type[i] == ',') {
      if (!item.empty()) r.push_back(item);
      item.clear();
    } else {
      item += type[i];
    }
  }
  return r;
}

std::vector<std::string> Names(const CLI::Option& o) {
  std::vector<std::string> r;
  for (const std::string& s : o.get_snames()) r.push_back("-" + s);
  for (const std::string& l : o.get_lnames()) r.push_back("--" + l);
  return r;
}

std::string Join(const std::vector<std::string>& words, const char* sep) {
  std::string r;
  for (const std::string& w : words) r += (r.empty() ? "" : sep) + w;
  return r;
}

bool Many(const CLI::Option& o) { return o.get_items_expected_max() > 1; }

void WriteManCommands(const CLI::App& app, std::ostream& os) {
  for (const CLI::App* cmd : Commands(app)) {
    os << ".SS \"\\fBzefa " << Roff(cmd->get_name()) << "\\fR [\\fIoptions\\fR]";
    for (const CLI::Option* p : Positionals(*cmd)) {
      const std::string name = "\\fI" + Roff(p->get_name(true)) + "\\fR" + (Many(*p) ? "..." : "");
      os << ' ' << (p->get_required() ? name : "[" + name + "]");
    }
    os << "\"\n" << Roff(Sentence(cmd->get_description())) << "\n";
    for (const CLI::Option* p : Positionals(*cmd))
      os << ".TP\n.I " << Roff(p->get_name(true)) << "\n" << Roff(Sentence(p->get_description())) << "\n";
    for (const CLI::Option* o : Options(*cmd)) {
      os << ".TP\n";
      bool first = true;
      for (const std::string& n : Names(*o)) {
        os << (first ? "" : ", ") << "\\fB" << Roff(n) << "\\fR";
        first = false;
      }
      if (TakesValue(*o)) {
        const std::vector<std::string> choices = Choices(*o);
        os << ' ';
        if (choices.empty()) os << "\\fI" << Roff(o->get_lnames().empty() ? "value" : o->get_lnames().front()) << "\\fR";
        for (size_t i = 0; i < choices.size(); ++i) os << (i ? "|" : "") << "\\fB" << Roff(choices[i]) << "\\fR";
      }
      os << "\n" << Roff(Sentence(o->get_description()));
      for (const CLI::Option* x : o->get_excludes()) os << " Not with " << Roff(Names(*x).back()) << ".";
      os << "\n";
    }
  }
}

// "Exit codes: 0 all good; 1 ...; 128+N interrupted by signal N." as a tagged list.
void WriteManExit(std::ostream& os) {
  std::string text = kExitCodesHelp;
  const std::string head = "Exit codes: ";
  if (text.compare(0, head.size(), head) == 0) text.erase(0, head.size());
  if (!text.empty() && text.back() == '.') text.pop_back();
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("; ", at);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(at, end - at);
    const size_t space = item.find(' ');
    os << ".TP\n.B " << Roff(item.substr(0, space)) << "\n"
       << Roff(Sentence(space == std::string::npos ? std::string() : item.substr(space + 1))) << "\n";
    at = end + 2;
  }
}


// What the format table says the engine does with each family.
void WriteManFormats(std::ostream& os) {
  std::vector<std::string> creates, extracts, lists;
  for (const zid::TFormat& f : zid::Formats()) {
    if (f.extensions.empty()) continue;  // no name of its own
    if (f.makeWriter) creates.push_back(f.name);
    if (f.makeExtractor) extracts.push_back(f.name);
    if (f.makeExtractor || zid::FormatListed(f)) lists.push_back(f.name);
  }
  os << ".TP\n.B Creates\n" << Join(creates, ", ") << ".\n"
     << ".TP\n.B Extracts and tests\n" << Join(extracts, ", ") << ".\n"
     << ".TP\n.B Lists\n" << Join(lists, ", ") << ".\n";
}

void WriteBash(const CLI::App& app, std::ostream& os) {
  std::vector<std::string> commands;
  std::string options, valued, choices;
  for (const CLI::App* cmd : Commands(app)) {
    const std::string c = cmd->get_name();
    commands.push_back(c);
    std::vector<std::string> all{"-h", "--help"}, takes;
    for (const CLI::Option* o : Options(*cmd)) {
      for (const std::string& n : Names(*o)) {
        all.push_back(n);
        if (!TakesValue(*o)) continue;
        takes.push_back(n);
        const std::vector<std::string> values = Choices(*o);
        if (!values.empty()) choices += "  ['" + c + " " + n + "']='" + Join(values, " ") + "'\n";
      }
    }
    options += "  [" + c + "]='" + Join(all, " ") + "'\n";
    valued += "  [" + c + "]='" + Join(takes, " ") + "'\n";
  }
  std::vector<std::string> archives, writable;
  for (const zid::TFormat& f : zid::Formats())
    for (const std::string& ext : f.extensions) {
      archives.push_back(ext.substr(1));
      if (f.makeWriter) writable.push_back(ext.substr(1));
    }
  os << "_zefa_commands='" << Join(commands, " ") << "'\n"
     << "declare -gA _zefa_options=(\n" << options << ")\n"
     << "declare -gA _zefa_valued=(\n" << valued << ")\n"
     << "declare -gA _zefa_choices=(\n" << choices << ")\n"
     << "_zefa_archives='" << Join(archives, "|") << "'\n"
     << "_zefa_writable='" << Join(writable, "|") << "'\n";
}

}  // namespace

bool WriteSelfDoc(const CLI::App& app, const std::string& kind, std::ostream& os) {
  if (kind == "man-commands") WriteManCommands(app, os);
  else if (kind == "man-exit") WriteManExit(os);
  else if (kind == "man-formats") WriteManFormats(os);
  else if (kind == "bash") WriteBash(app, os);
  else return false;
  return true;
}

}  // namespace cli
