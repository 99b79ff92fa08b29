#!/usr/bin/env bash
# Every option a program's usage text names, and every dnet command, is in the program's manual
# page. Usage: man_pages_test.sh MANDIR DNET BRELINSIM ORVREGSVR
set -uo pipefail
mandir=$1
status=0

# The page's text as written, with roff's escaped hyphens and font changes undone.
page_text() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$mandir/$1.1"; }

# check PROGRAM USAGE: the options (--word, -x, /x) of USAGE are in PROGRAM's page.
check_options() {
  local program=$1 usage=$2 text option
  text=$(page_text "$program")
  for option in $(grep -oE '(^|[][ |(])(--[a-z][a-z-]*|-[a-z]|/[a-z])\b' <<<"$usage" | grep -oE '(--|-|/)[a-z-]+' | sort -u); do
    if ! grep -qF -- "$option" <<<"$text"; then
      echo "$program.1 lacks $option, which '$program' names in its usage" >&2
      status=1
    fi
  done
}

dnet_usage=$("$2" --help)
check_options dnet "$dnet_usage"
check_options brelinsim "$("$3" --help)"
check_options orvregsvr "$("$4" 2>&1)"

# dnet's commands: the indented first words of the lines after "Commands".
dnet_text=$(page_text dnet)
for command in $(sed -n '/^Commands/,/^$/p' <<<"$dnet_usage" | grep -oE '^  [a-z]+' | sort -u); do
  if ! grep -qE "^\.B[IR]? $command( |$)" <<<"$dnet_text"; then
    echo "dnet.1 lacks the command $command" >&2
    status=1
  fi
done

[ $status -eq 0 ] && echo "the manual pages name every option and command of the usage texts"
exit $status
