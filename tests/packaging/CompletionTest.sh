#!/usr/bin/env bash
# Completes command lines with data/kestrune-cli.bash, as bash-completion
# loads it, and compares the candidates. Usage: CompletionTest.sh SOURCE_DIR KESTRUNE_CLI
set -uo pipefail
source /usr/share/bash-completion/bash_completion
source "$1/data/kestrune-cli.bash"
cli=$(realpath "$2")

cd "$(mktemp -d)" && trap 'rm -rf "$PWD"' EXIT
mkdir folder fixes
touch a.bin b.XML c.fix fix_d.txt e.plain f.wep g.doc fixes/own.fix fixes/fix_own.txt

failures=0
# expect "LINE" "CANDIDATES": completing LINE (at its end) offers CANDIDATES.
expect() {
  COMP_LINE="$cli $1" COMP_POINT=${#COMP_LINE}
  read -ra COMP_WORDS <<< "$COMP_LINE"
  [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _kestrune_cli "$cli" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got
  got=$(printf "%s\n" "${COMPREPLY[@]}" | sort | paste -sd " ")
  [[ $got == "$2" ]] || { echo "FAIL: '$1' offers '$got', expected '$2'"; failures=$((failures + 1)); }
}

expect "d" "decrypt diff"
expect "diff --" "--encrypt --help --partial"
expect "diff " "a.bin b.XML fixes folder"
expect "fix a.bin --fix-dir " "fixes folder"
expect "fix a.bin --fix-dir fixes --fix " "fix_own.txt own.fix"

echo "$failures failed"
((failures == 0))
