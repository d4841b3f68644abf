#!/usr/bin/env bash
# Plants faults one at a time where a fault would hurt users (the writes
# and backups, the fix engine's markers and paths, the container, the
# cipher, the WEP decision, the save's check, the fix-file lines, the
# window, the button) and runs the whole suite against each. A fault that
# no test notices shows a missing test; run it before and after changing
# the suite. Not part of `make test`: it rebuilds once per fault.
#
#   scripts/plant-faults.sh [-l] [NAME...]
#     -l      list the faults
#     NAME    plant only these
#   BUILD (default build-faults) is the build folder it uses.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${BUILD:-$root/build-faults}")
cd "$root"

# name <TAB> file <TAB> Perl substitution that must change exactly one place;
# a line starting with # names the area of the rows below it
faults=$(cat <<'TABLE'
cipher-round-key	src/cipher/BlowfishCore.h	s{r \^= F<Index>\(t, l\) \^ t\.P\[15\];}{r ^= F<Index>(t, l) ^ t.P[14];}g
container-room	src/container/modConvert.h	s{ReaderRoom = 66203;}{ReaderRoom = 66204;}g
checksum-no-length	src/container/Checksum.cpp	s{for \(std::uint64_t n = data\.size\(\); n > 0;}{for (std::uint64_t n = 0; n > 0;}g
button-corner-cut	src/button/UltraButton.cpp	s{\{0, 0\},     \{1, 0\},}{{0, 0},     {2, 0},}g
button-pressed-bevel	src/button/UltraButton.cpp	s#\{2, 2, 2, h - 2, shade\(-22\)\}#{2, 2, 2, h - 2, shade(-20)}#g
button-highlight	src/button/UltraButton.cpp	s{showFocusRect_ && \(hasFocus_ \|\| defaultIndication_\)}{showFocusRect_ && hasFocus_}g
window-report-toggle	src/app/window/Form1.cpp	s{if \(Height\(\) == CollapsedHeight\)}{if (Height() != ExpandedHeight)}g
verbose-shift-rule	src/app/FixRun.cpp	s{Button != 2 \|\| Shift != 1\)}{Button != 2 || (Shift & 1) == 0)}g
fix-lines-lone-lf	src/app/FixFile.cpp	s{const std::size_t end = text\.find\("\\r\\n", start\);}{const std::size_t end = text.find("\\n", start);}g
fix-entry0-reuse	src/app/FixFile.cpp	s#if \(!entries\[0\]\.Path\.empty\(\)\) \{#if (!entries.empty()) {#g
# the button's input and the window
button-right-click	src/button/UltraButton.cpp	s{if \(lastButton_ != ButtonLeft \|\| !enabled_\)}{if (!enabled_)}g
button-space-repeat	src/button/UltraButton.cpp	s#if \(event->isAutoRepeat\(\)\) \{#if (false) {#g
button-press-action	src/button/UltraButton.cpp	s#void UltraButton::Press\(\) \{\n    lastButton_ = ButtonLeft;\n#void UltraButton::Press() {\n#g
window-report-not-shown	src/app/window/Form1.cpp	s{txtReport_->setPlainText\(text\);}{static_cast<void>(text);}g
window-hidden-focus	src/app/window/Form1.cpp	s{control->setVisible\(inView\);}{control->setVisible(true);}g
window-message-latin1	src/app/window/QtUserInterface.cpp	s{QString::fromUtf8\(text\)}{QString::fromLatin1(text)}g
# the cipher, the container, the file helpers and the safe write
cipher-key-packing	src/cipher/BlowfishCore.cpp	s{\(d << 8\) \| \(d & 0xFF\) : d << 8;}{d << 8 : d << 8;}g
cipher-decipher-chain	src/cipher/clsBlowfish.cpp	s{chainL = cipher\[2 \* Lanes - 2\];}{chainL = cipher[2 * Lanes - 4];}g
cipher-size-descriptor	src/cipher/clsBlowfish.cpp	s{fill > 19\)}{fill > 20)}g
container-header-checksum	src/container/modConvert.cpp	s{bin \+= ContainerChecksum\(payload\);}{bin += ContainerChecksum(text);}g
reader-room-default	src/container/modConvert.cpp	s{expectedSize == 0 \? 65536 :}{expectedSize == 0 ? 65537 :}g
safewrite-keep-mode	src/common/SafeWrite.cpp	s{existing \? OwnershipOf\(\*existing, 07777\) : NewFileOwnership\(modeFrom\)}{NewFileOwnership(modeFrom)}g
safewrite-temp-leftover	src/common/SafeWrite.cpp	s{if \(!tempPath_\.empty\(\)\) ::unlink\(tempPath_\.c_str\(\)\);}{}g
safewrite-hard-link	src/common/SafeWrite.cpp	s#if \(st\.st_nlink > 1\) \{#if (st.st_nlink > 2) {#g
get-extension-first-dot	src/common/modGen.cpp	s{name\.rfind\('\.'\)}{name.find('.')}g
# the fix engine: its markers, paths and keys, the child index, the lean document, the encodings
xmlfix-delete-element	src/xmlfix/ApplyFix.cpp	s{detail::RemoveElement\(node\);}{static_cast<void>(node);}g
xmlfix-clear-marker	src/xmlfix/ApplyFix.cpp	s{value == ClearMarker \? std::string\(\) : value;}{value;}g
xmlfix-create-then-set	src/xmlfix/ApplyFix.cpp	s{\n    Apply\(doc, path, attribute, value, label, false\);}{}g
xmlfix-keyed-match	src/xmlfix/Paths.cpp	s{"/id\[text\(\)='" \+ part\.key \+ "'\]"}{"/id"}g
xmlfix-key-quote	src/xmlfix/Paths.cpp	s#if \(part\.key\.find\('\\''\) != std::string::npos\) \{#if (false) {#g
xmlfix-nesting-key-level	src/xmlfix/Paths.cpp	s{\(steps\.back\(\)\.key\.empty\(\) \? 0 : 1\)}{0}g
xmlfix-key-attribute	src/xmlfix/PlainPath.cpp	s{return Equals\(condition\.value, a\.value\(\)\);}{return true;}g
xmlfix-index-after-change	src/xmlfix/ChildIndex.cpp	s#index_->ForGroupsOf\(element_, false, \[&\]\(Group& group\) \{ Remove\(group, element_\); \}\);##g
xmlfix-lean-whitespace	src/xmlfix/XmlDocument.cpp	s#if \(XmlDocument\* doc = DocumentAccess::DocumentOf\(element\)\) DocumentAccess::KeepWhitespace\(\*doc, element\);\n##g
xmlfix-utf16be-write	src/xmlfix/Encoding.cpp	s{encoding == DocumentEncoding::Utf16BE \|\| encoding == DocumentEncoding::Utf32BE;}{encoding == DocumentEncoding::Utf32BE;}g
layout-doctype-begin	src/xmlfix/SourceLayout.cpp	s{begin = before\(node\.value\(\), 1\);}{begin = OffsetOf(node.value());}g
layout-forget-removed	src/xmlfix/XmlDocument.cpp	s{if \(doc\.layout_\) doc\.layout_->Forget\(subtree\);}{}g
layout-fallback-reread	src/xmlfix/XmlDocument.cpp	s#if \(mayRewrite\) \{#if (false) {#g
arena-unsized-free	src/xmlfix/LargeAllocations.cpp	s{void operator delete\[\]\(void\* memory\) noexcept \{ modXML::detail::ArenaFree\(memory\); \}}{void operator delete[](void* memory) noexcept { std::free(memory); }}g
# the fix run and diff
run-backup-skipped	src/app/FixRun.cpp	s{if \(!DryRun\) BackupConfig\(ConfigFile\);}{}g
run-wep-00-rule	src/app/FixRun.cpp	s{wireless == "00"}{wireless.starts_with("0")}g
run-container-unverified	src/app/FixRun.cpp	s{if \(IsBinFile\) VerifyContainer\(bytes, xml\);}{}g
run-report-order	src/app/FixRun.cpp	s{(modGen::AddReportLine\("Converting bin file to xml"\);)(.*?)(ConfigLoaded = modXML::LoadConfigXML\(modXML::ConfigDoc, xml, true, ui_\);)}{$2$3 $1}s
run-no-fix-guard	src/app/FixRun.cpp	s{if \(!HasEntries\(FixEntries\)\)}{if (FixEntries.empty())}g
run-backup-stamp	src/app/FixRun.cpp	s{%Y%m%d%H%M%S}{%Y%m%d%H%M}g
diff-attribute-removal	src/app/FixDiff.cpp	s{if \(a\.attribute\(attribute\.name\(\)\)\) continue;}{continue;}g
diff-deletion-order	src/app/FixDiff.cpp	s{deletions_\.rbegin\(\), deletions_\.rend\(\)}{deletions_.begin(), deletions_.end()}g
diff-keyed-step	src/app/DiffSteps.cpp	s{task\.population->KeyCount\(\*key\) == alone &&}{task.population->KeyCount(*key) == 1 &&}g
# the command line and what it meets on the file system
cli-link-replaced	src/common/SafeWrite.cpp	s{if \(ec\) return path;}{return path;}g
cli-pipe-waits	src/common/modGen.cpp	s{if \(::stat\(path\.c_str\(\), &st\) == 0 && !S_ISREG\(st\.st_mode\)\) throw kestrune::NotAFileError\(path, st\.st_mode\);\n    const int fd = ::open\(path\.c_str\(\), O_RDONLY \| O_NONBLOCK}{const int fd = ::open(path.c_str(), O_RDONLY}g
cli-backup-before-refusal	src/app/FixRun.cpp	s{    RequireReplaceable\(ChosenFile\);\n}{}g
cli-missing-file-exit-0	src/cli/CmdFix.cpp	s{outcome == RunOutcome::Fixed \? ExitOk}{outcome != RunOutcome::Failed ? ExitOk}g
cli-diff-writes-one-problem	src/cli/CmdDiff.cpp	s{if \(!diff\.Problems\.empty\(\) && !partial\)}{if (diff.Problems.size() > 1 && !partial)}g
cli-extra-argument	src/cli/Cli.cpp	s{positional\.size\(\) > maxPositional\)}{positional.size() > maxPositional + 1)}g
cli-report-cr	src/cli/CmdFix.cpp	s{if \(utf8\[i\] == '\\r' && }{if (false && }g
cli-output-mode-lost	src/cli/Cli.cpp	s{WriteMode::Replace, source\);}{WriteMode::Replace);}g
# added after trimming: an older backup, a write killed halfway
run-older-backup-shown	src/app/FixRun.cpp	s{if \(e\.number\(\) == ErrorNumber::FileAlreadyExists\) return;}{}g
safewrite-named-temp	src/common/SafeWrite.cpp	s#if \(detail::TryUnnamedFiles\) \{#if (false) {#g
TABLE
)

list_only=0
if [ "${1:-}" = "-l" ]; then list_only=1; shift; fi
wanted=("$@")

selected() {
    [ ${#wanted[@]} -eq 0 ] && return 0
    local w
    for w in "${wanted[@]}"; do [ "$w" = "$1" ] && return 0; done
    return 1
}

if [ $list_only -eq 1 ]; then
    printf '%s\n' "$faults" | grep -v '^#' | cut -f1,2
    exit 0
fi

bash scripts/setup.sh
cmake -S . -B "$build" -G Ninja -DKESTRUNE_BUILD_BENCH=OFF > /dev/null
cmake --build "$build" > /dev/null

run_suite() {
    (cd "$build" && QT_QPA_PLATFORM=offscreen ctest -j 2 --timeout 300 > "$build/faults-ctest.log" 2>&1) && return 0
    return 1
}

echo "Baseline: the suite passes without faults"
if ! run_suite; then
    echo "The suite fails without any fault planted; see $build/faults-ctest.log" >&2
    exit 1
fi

saved=""
restore() {
    if [ -n "$saved" ]; then
        cp -p "$saved" "$current"
        touch "$current"
        rm -f "$saved"
        saved=""
    fi
}
trap restore EXIT
# Stopped, it stops: going on would plant the next fault and leave it there.
trap 'exit 130' INT TERM

caught=0
survived=0
printf '| fault | where | result |\n|---|---|---|\n'
while IFS=$'\t' read -r name file substitution; do
    [ -z "$name" ] && continue
    [[ $name == \#* ]] && continue
    selected "$name" || continue
    current=$root/$file
    saved=$(mktemp)
    cp -p "$current" "$saved"
    if ! perl -0777 -i -pe '$n = '"$substitution"'; END { exit(($n || 0) == 1 ? 0 : 3) }' "$current"; then
        restore
        echo "| $name | $file | NOT PLANTED: the pattern does not match exactly once |"
        survived=$((survived + 1))
        continue
    fi
    if ! cmake --build "$build" > "$build/faults-build.log" 2>&1; then
        restore
        echo "| $name | $file | NOT PLANTED: does not compile |"
        survived=$((survived + 1))
        continue
    fi
    if run_suite; then
        result="SURVIVED"
        survived=$((survived + 1))
    else
        failed=$(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) .*/\1/p' "$build/faults-ctest.log")
        count=$(printf '%s\n' "$failed" | grep -c . || true)
        result="caught by $count: $(printf '%s\n' "$failed" | head -3 | paste -sd, -)"
        caught=$((caught + 1))
    fi
    restore
    echo "| $name | $file | $result |"
done <<< "$faults"

cmake --build "$build" > /dev/null
echo
echo "$caught caught, $survived not caught or not planted"
[ $survived -eq 0 ]
