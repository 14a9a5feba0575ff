#!/usr/bin/env python3
"""Makes the kwinet man page and bash completion from the tool's own help.

Usage: help_docs.py --version X.Y.Z --man kwinet.1 --completion kwinet.bash -- TOOL...

TOOL... runs the built tool (an emulator first in a cross build). It is run
with --help only: once for the tool, then for every command it lists, and for
their commands in turn. Both files say what the help says, no more; a help
whose layout this script does not know stops the build instead of giving an
empty page.
"""

import argparse
import os
import re
import subprocess
import sys

# Environment variables as the help names them: KWINET_PASSWORD, XDG_DATA_HOME,
# http_proxy.
ENV_NAME = re.compile(r"\b(?:[A-Z][A-Z0-9]*_[A-Z0-9_]*[A-Z0-9]|[a-z]+_proxy)\b")
# Where a help starts to say what the exit status is.
EXIT_STATUS = re.compile(r"\bExit (?:status:\s*|(?=\d))")


class Item:
    """One line of a list in the help: an option, a positional or a command."""

    def __init__(self, usage, text):
        self.usage = usage
        self.text = text

    def names(self):
        return self.usage.split()[0].split(",")

    def takes_value(self):
        # "--timeout INT=30000", "--tls TEXT:{starttls,implicit}", "-H,--header
        # TEXT ...", but not "--chars Excludes: --utf8" nor "--resume".
        words = self.usage.split()
        return len(words) > 1 and words[1] != "REQUIRED" and re.match(r"[A-Z]+(?:[:=]|$)", words[1])

    def choices(self):
        m = re.search(r":\{([^}]*)\}", self.usage)
        return m.group(1).split(",") if m else []


class Help:
    """The parts of one command's --help."""

    def __init__(self, path, text):
        self.path = path
        self.usage = ""
        self.description = []
        self.positionals = []
        self.options = []
        self.groups = []  # (description lines, options)
        self.commands = []
        self.footer = []
        self.text = text
        self.parse(text.splitlines())

    def parse(self, lines):
        # Descriptions start in one column, counted from the start of the
        # item: that of "-h,--help" gives it.
        width = None
        for line in lines:
            m = re.match(r"( +)(-h,--help +)\S", line)
            if m:
                width = len(m.group(2))
                break
        if width is None:
            fail(self.path, "no -h,--help line in the help")
        items = None
        group = None
        seen_usage = False
        for n, line in enumerate(lines):
            if not seen_usage:
                if line.startswith("Usage: "):
                    self.usage = line[len("Usage: "):].strip()
                    seen_usage = True
                else:
                    self.description.append(line)
                continue
            if not line.strip():
                items = None
                self.footer.append("")
                continue
            if not line.startswith(" "):
                group = None
                items = {"Positionals:": self.positionals, "Options:": self.options,
                         "Subcommands:": self.commands}.get(line.strip())
                m = re.match(r"\[Option Group: (.*)\]$", line)
                if m:
                    group = ([], [])
                    self.groups.append(group)
                elif items is None:
                    self.footer.append(line)
                continue
            if group is not None and items is None:
                if line.strip() == "Options:":
                    items = group[1]
                else:
                    group[0].append(line.strip())
                continue
            if items is None:
                self.footer.append(line)
                continue
            indent = len(line) - len(line.lstrip())
            column = indent + width
            if indent >= width and items:
                items[-1].text = (items[-1].text + " " + line.strip()).strip()
            elif self.text_on_same_line(line, column, lines[n + 1:n + 2]):
                items.append(Item(line[:column].strip(), line[column:].strip()))
            else:
                items.append(Item(line.strip(), ""))
        if not self.usage.startswith(" ".join(self.path)):
            fail(self.path, "the usage line does not start with the command: " + self.usage)

    @staticmethod
    def text_on_same_line(line, column, following):
        # An option's usage as wide as the column or wider has its text on the next line.
        # A usage one short of it is followed by a single blank, just as a
        # wider usage with a blank at that place: then the next line decides.
        if len(line) <= column or line[column - 1] != " ":
            return False
        if line[column - 2] == " ":
            return True
        return not (following and following[0].startswith(" " * column))

    def all_options(self):
        return self.options + [o for _, options in self.groups for o in options]


def fail(path, why):
    sys.exit("help_docs.py: %s --help: %s" % (" ".join(path), why))


def paragraphs(lines):
    """Joins the help's lines into paragraphs: a blank line or a line that ends
    a sentence ends one (long texts of the help are wrapped by hand)."""
    result, current = [], []
    for line in lines + [""]:
        if line.strip():
            current.append(line.strip())
        if current and (not line.strip() or line.rstrip().endswith(".")):
            result.append(" ".join(current))
            current = []
    return result


def split_exit_status(paras):
    """Takes the exit status out of a command's paragraphs: from where the help
    starts to give it to the end of that paragraph."""
    for i, para in enumerate(paras):
        m = EXIT_STATUS.search(para)
        if m:
            before = para[:m.start()].strip()
            rest = paras[:i] + ([before] if before else []) + paras[i + 1:]
            return rest, para[m.end():].strip()
    return paras, None


def read_helps(tool):
    env = dict(os.environ)
    # A build with the leak checker must not fail for what a help run keeps.
    env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":detect_leaks=0").lstrip(":")
    helps, todo = [], [["kwinet"]]
    while todo:
        path = todo.pop(0)
        run = subprocess.run(tool + path[1:] + ["--help"], stdin=subprocess.DEVNULL,
                             capture_output=True, text=True, env=env, timeout=120)
        if run.returncode != 0:
            fail(path, "exit status %d: %s" % (run.returncode, run.stderr.strip()))
        h = Help(path, run.stdout)
        helps.append(h)
        todo[0:0] = [path + [c.names()[0]] for c in h.commands]
    if not helps[0].commands:
        fail(["kwinet"], "no commands listed")
    return helps


def roff(text):
    text = text.replace("\\", "\\(rs").replace("-", "\\-")
    text = "".join(c if ord(c) < 128 else "\\[u%04X]" % ord(c) for c in text)
    return "\\&" + text if text.startswith((".", "'")) else text


def bold(text):
    return "\\fB" + roff(text) + "\\fR"


def usage(h):
    command = " ".join(h.path)
    return bold(command) + roff(h.usage[len(command):])


def item_lines(item, skip_help=False):
    if skip_help and item.names()[-1] in ("--help", "--help-all"):
        return []
    first, _, rest = item.usage.partition(" ")
    tag = ", ".join(bold(n) for n in first.split(",")) + (" " + roff(rest) if rest else "")
    return [".TP", tag, roff(item.text)]


def man_page(helps, version):
    top = helps[0]
    paras = paragraphs(top.description)
    name = paras[0].removeprefix("kwinet:").strip().rstrip(".") if paras else "kwinet"
    out = ['.TH KWINET 1 "" "kwinet %s" "User Commands"' % version, ".nh", ".ad l",
           ".SH NAME", "kwinet \\- " + roff(name),
           ".SH SYNOPSIS", usage(top),
           ".SH DESCRIPTION"]
    for para in paras[1:] + paragraphs(top.footer):
        out += [roff(para), ".PP"]
    if out[-1] == ".PP":
        out.pop()
    out.append(".SH OPTIONS")
    for item in top.all_options():
        out += item_lines(item)
    out.append(".SH COMMANDS")
    exits = []
    for h in helps[1:]:
        paras, exit_status = split_exit_status(paragraphs(h.description) + paragraphs(h.footer))
        if exit_status:
            exits.append((h, exit_status))
        out += [".SS", usage(h)]
        for para in paras[:1]:
            out += [roff(para)]
        for item in h.positionals:
            first, _, rest = item.usage.partition(" ")
            out += [".TP", "\\fI%s\\fR %s" % (roff(first), roff(rest)), roff(item.text)]
        for item in h.options:
            out += item_lines(item, skip_help=True)
        for lines, options in h.groups:
            out += [".PP", roff(" ".join(lines))]
            for item in options:
                out += item_lines(item)
        for para in paras[1:]:
            out += [".PP", roff(para)]
    if exits:
        out.append('.SH "EXIT STATUS"')
        for h, text in exits:
            out += [".TP", bold(" ".join(h.path)), roff(text)]
    users = {}
    for h in helps:
        for var in ENV_NAME.findall(h.text):
            users.setdefault(var, [])
            if h.path not in users[var]:
                users[var].append(h.path)
    if users:
        out.append(".SH ENVIRONMENT")
        for var, paths in sorted(users.items()):
            named = ", ".join(bold(" ".join(p)) for p in paths)
            out += [".TP", bold(var), "Used by %s; see there." % named]
    return "\n".join(out) + "\n"


def bash_word(text):
    return "'" + text.replace("'", "'\\''") + "'"


def completion(helps, version):
    tables = {"subs": [], "opts": [], "takes": [], "choices": []}
    for h in helps:
        key = " ".join(h.path)
        options = h.all_options()
        for name, words in (("subs", [c.names()[0] for c in h.commands]),
                            ("opts", [n for o in options for n in o.names()]),
                            ("takes", [n for o in options if o.takes_value() for n in o.names()])):
            if words:
                tables[name].append((key, words))
        for o in options:
            if o.choices():
                tables["choices"] += [(key + " " + n, o.choices()) for n in o.names()]
    out = ["# bash completion for kwinet %s, made from its --help at build time." % version,
           "_kwinet() {"]
    for name, rows in tables.items():
        out.append("  local -A %s=(" % name)
        out += ["    [%s]=%s" % (bash_word(k), bash_word(" ".join(v))) for k, v in rows]
        out.append("  )")
    out.append(r'''  local cur=${COMP_WORDS[COMP_CWORD]} path=kwinet word i
  # The command so far, skipping options and the values they take; the word
  # after an option that takes a value is that value.
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if [[ " ${takes[$path]-} " == *" $word "* ]]; then
      if ((i + 1 == COMP_CWORD)); then
        if [[ -n ${choices[$path $word]-} ]]; then
          mapfile -t COMPREPLY < <(compgen -W "${choices[$path $word]}" -- "$cur")
          return
        fi
        compopt -o filenames 2>/dev/null || true
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
      fi
      ((i++))
    elif [[ " ${subs[$path]-} " == *" $word "* ]]; then
      path+=" $word"
    fi
  done
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "${opts[$path]-}" -- "$cur")
  elif [[ -n ${subs[$path]-} ]]; then
    mapfile -t COMPREPLY < <(compgen -W "${subs[$path]}" -- "$cur")
  else
    compopt -o filenames 2>/dev/null || true
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  fi
}
complete -F _kwinet kwinet''')
    return "\n".join(out) + "\n"


def write(path, text):
    # Replaced whole, so that a failed run leaves no half page behind.
    with open(path + ".tmp", "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--man", required=True)
    parser.add_argument("--completion", required=True)
    parser.add_argument("tool", nargs="+")
    args = parser.parse_args()
    helps = read_helps(args.tool)
    write(args.man, man_page(helps, args.version))
    write(args.completion, completion(helps, args.version))


if __name__ == "__main__":
    main()
