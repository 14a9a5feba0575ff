#!/usr/bin/env bash
# The man page and the bash completion made from the tool's help: the page
# renders without a troff warning and has a section for every command the tool
# lists (its commands' commands too); the completion completes commands,
# options of the command at hand and the values of an option.
# Usage: docs_test.sh TOOL PAGE COMPLETION
set -uo pipefail
tool=$(realpath "$1") page=$(realpath "$2") completion=$(realpath "$3")
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! command -v man >/dev/null; then
  [[ ${CI:-} == true ]] && { echo "man is missing (Debian package man-db)" >&2; exit 1; }
  echo "SKIP: man is missing (Debian package man-db)"; exit 77
fi
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[[ -z $warnings ]] || fail "the page renders with warnings: $warnings"
text=$(MANWIDTH=80 man -l "$page" 2>/dev/null)
for section in NAME SYNOPSIS DESCRIPTION OPTIONS COMMANDS "EXIT STATUS" ENVIRONMENT; do
  grep -qx "$section" <<<"$text" || fail "no $section section"
done
# Every command path the help lists has its heading, "   kwinet encode url ...".
check_commands() {
  local command prefix="kwinet${*:+ $*}"
  for command in $("$tool" "$@" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][a-z0-9-]*\) .*/\1/p'); do
    grep -q "^   $prefix $command\b" <<<"$text" || fail "no section for $prefix $command"
    check_commands "$@" "$command"
  done
}
check_commands
grep -q "^   kwinet encode url\b" <<<"$text" || fail "no section for a command's command"

# Completion: the words after "kwinet", the last one being completed, a word
# the answer must hold and one it must not.
cd "$(mktemp -d)" && touch ca.pem
cases=(
  "upd|update|get"
  "--gui upd|update|"
  "update --|--resume|--method"
  "update --ca |ca.pem|--resume"
  "update --user ann |ca.pem|update"
  "encode |base64|update"
  "encode url --|--chars|--resume"
  "http --method |HEAD|ca.pem"
)
for case in "${cases[@]}"; do
  IFS='|' read -r line want unwanted <<<"$case"
  read -ra words <<<"$line"
  [[ $line == *" " ]] && words+=("")
  reply=$(source "$completion" && COMP_WORDS=(kwinet "${words[@]}") && COMP_CWORD=${#words[@]} &&
          _kwinet && printf '%s\n' "${COMPREPLY[@]}")
  grep -qxF -- "$want" <<<"$reply" || fail "kwinet $line<TAB> gives no $want: $(echo $reply)"
  [[ -z $unwanted ]] || ! grep -qxF -- "$unwanted" <<<"$reply" ||
    fail "kwinet $line<TAB> gives $unwanted: $(echo $reply)"
done
exit $((failures > 0))
