#!/usr/bin/env bash
# Runs each fuzz target (or those named) for SECONDS: seeds made afresh
# from the samples and the fixes, a corpus that grows across runs in
# BUILD/fuzz-corpus, findings in BUILD/fuzz-findings. Fails when a target
# finds anything.
set -euo pipefail
cd "$(dirname "$0")/.."
usage="usage: fuzz/run.sh BUILD SECONDS [Container|FixText|ApplyFix ...]"
build=${1:?$usage}
seconds=${2:?$usage}
shift 2
targets=("$@")
if ((${#targets[@]} == 0)); then targets=(Container FixText ApplyFix); fi

seeds="$build/fuzz-seeds"
rm -rf "$seeds"
mkdir -p "$seeds/Container" "$seeds/FixText" "$seeds/ApplyFix" "$build/fuzz-findings"
cp samples/*.bin "$seeds/Container/"
cp fixes/*.fix fixes/fix_*.txt fixes/fix.wep fixes/src/*.plain "$seeds/FixText/"
# A document, the marker, a plain fix: every sample with every plain fix,
# and the first sample in the other encodings the engine reads and writes,
# and a small document of every kind of node.
variants="$build/fuzz-variants"
rm -rf "$variants"
mkdir -p "$variants"
iconv -f UTF-8 -t UTF-16 samples/router.xml > "$variants/router-utf16.xml"
iconv -f UTF-8 -t UTF-32BE samples/router.xml > "$variants/router-utf32be.xml"
sed '1s/UTF-8/ISO-8859-1/; s/home-gateway/h\xe9me-gateway/' samples/router.xml > "$variants/router-latin1.xml"
printf '%s\n' '<?xml version="1.0"?>' '<!DOCTYPE config [<!ENTITY e "v">]>' '<!-- c -->' \
  "<config a=\"1\" b='2'><x><![CDATA[d]]></x><?pi x?>&e;&#xE9;&#x100;<y/>t&lt;</config>" > "$variants/kinds.xml"
for xml in samples/*.xml "$variants"/*.xml; do
  for fix in fixes/fix_*.txt fixes/fix.wep fixes/remote_admin_off.fix fixes/src/*.plain; do
    { cat "$xml"; printf '\0FIX\0'; cat "$fix"; } > "$seeds/ApplyFix/$(basename "$xml" .xml)+$(basename "$fix")"
  done
done

status=0
for target in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$target"
  log="$build/fuzz-findings/$target.log"
  mkdir -p "$corpus"
  dict=()
  if [ -f "fuzz/$target.dict" ]; then dict=(-dict="fuzz/$target.dict"); fi
  echo "fuzz: $target for ${seconds}s"
  if ! "$build/fuzz/kestrune_fuzz_$target" "$corpus" "$seeds/$target" "${dict[@]}" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/fuzz-findings/$target-" > "$log" 2>&1; then
    echo "fuzz: $target FOUND A FAULT; its input is in $build/fuzz-findings, the report in $log:"
    grep -v '^#' "$log" | tail -40
    status=1
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" | sed 's/^/  /' || true
  echo "  corpus: $(ls "$corpus" | wc -l) inputs"
done
exit $status
