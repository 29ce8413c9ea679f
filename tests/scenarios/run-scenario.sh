#!/usr/bin/env bash
# Runs dalmure-host scenarios and compares what it writes with what is expected.
#
#   run-scenario.sh [--update] [--keep] HOST SCENARIO_DIR...
#
# A scenario is a folder:
#   script.jsonl       the requests, one per line ("@APP@" stands for the application folder)
#   expected.jsonl     the expected standard output, the application folder written "@APP@"
#   options            optional: extra host arguments, one per line ("@APP@" as above); the
#                      clock is fixed at 2024-03-15T10:20:30.00 unless an option says otherwise
#   app/               optional: files copied into the fresh application folder; a file named
#                      NAME.utf8 is written as NAME in Windows-1252 (INI files, templates)
#   fixtures           optional: shared files to copy into the application folder, one per line:
#                      "catalogue" (tests/fixtures/ORLngClient.MDB), "templates"
#                      (share/templates/*.html) or a path relative to the repository root
#   expected-log.txt   optional: the lines of the monthly log files (Log/*/Dalmure.Log, in
#                      folder order), decoded to UTF-8, without CR, "@APP@" as above
#
# --update rewrites expected.jsonl (and expected-log.txt when it exists or a log was written)
# from what the host writes now. Review every changed line before committing it.
set -u

update=0
keep=0
while [[ $# -gt 0 && $1 == --* ]]; do
    case $1 in
    --update) update=1 ;;
    --keep) keep=1 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
if [[ $# -lt 2 ]]; then
    echo "usage: $0 [--update] [--keep] HOST SCENARIO_DIR..." >&2
    exit 2
fi
host=$1
shift
repo=$(cd "$(dirname "$0")/../.." && pwd)
default_now=2024-03-15T10:20:30.00

# Replaces every occurrence of the application folder with @APP@ (a literal, not a pattern).
mask() { APP="$1" perl -pe 's/\Q$ENV{APP}\E/\@APP\@/g'; }
unmask() { APP="$1" perl -pe 's/\@APP\@/$ENV{APP}/g'; }

copy_fixture() {
    local what=$1 app=$2
    case $what in
    catalogue) cp "$repo/tests/fixtures/ORLngClient.MDB" "$app/" ;;
    templates)
        local t
        for t in "$repo"/share/templates/*.html; do
            [[ -e $t ]] || { echo "no templates in share/templates" >&2; return 1; }
            cp "$t" "$app/"
        done
        ;;
    *) cp -r "$repo/$what" "$app/" ;;
    esac
}

run_one() {
    local dir=${1%/}
    local name
    name=$(basename "$dir")
    local work
    work=$(mktemp -d "${TMPDIR:-/tmp}/dalmure-scenario.XXXXXX")
    local app="$work/app dir"
    mkdir -p "$app"

    if [[ -d $dir/app ]]; then
        (cd "$dir/app" && find . -type f) | while read -r f; do
            f=${f#./}
            mkdir -p "$app/$(dirname "$f")"
            if [[ $f == *.utf8 ]]; then
                iconv -f UTF-8 -t WINDOWS-1252 "$dir/app/$f" >"$app/${f%.utf8}" || exit 1
            else
                cp "$dir/app/$f" "$app/$f"
            fi
        done || { echo "FAIL $name: cannot prepare the application folder"; return 1; }
    fi
    if [[ -f $dir/fixtures ]]; then
        local line
        while read -r line; do
            [[ -z $line || $line == \#* ]] && continue
            copy_fixture "$line" "$app" || { echo "FAIL $name: fixture $line"; return 1; }
        done <"$dir/fixtures"
    fi

    local -a args=(--app-dir "$app" --now "$default_now")
    if [[ -f $dir/options ]]; then
        local opt
        while IFS= read -r opt; do
            [[ -z $opt || $opt == \#* ]] && continue
            args+=("${opt//@APP@/$app}")
        done <"$dir/options"
    fi

    unmask "$app" <"$dir/script.jsonl" >"$work/script.jsonl"
    local status=0
    "$host" "${args[@]}" <"$work/script.jsonl" >"$work/stdout.raw" 2>"$work/stderr" || status=$?
    mask "$app" <"$work/stdout.raw" >"$work/actual.jsonl"

    # The log, decoded, CR dropped.
    : >"$work/actual-log.raw"
    local log
    for log in "$app"/Log/*/Dalmure.Log; do
        [[ -f $log ]] || continue
        iconv -f WINDOWS-1252 -t UTF-8 "$log" | tr -d '\r' >>"$work/actual-log.raw"
    done
    mask "$app" <"$work/actual-log.raw" >"$work/actual-log.txt"

    local failed=0
    if [[ $status -ne 0 ]]; then
        echo "FAIL $name: dalmure-host exited with $status"
        cat "$work/stderr"
        failed=1
    fi
    if [[ $update -eq 1 ]]; then
        cp "$work/actual.jsonl" "$dir/expected.jsonl"
        if [[ -f $dir/expected-log.txt || -s $work/actual-log.txt ]]; then
            cp "$work/actual-log.txt" "$dir/expected-log.txt"
        fi
        echo "updated $name"
    else
        if ! diff -u --label "$name/expected.jsonl" --label "$name (actual)" \
            "$dir/expected.jsonl" "$work/actual.jsonl"; then
            echo "FAIL $name: output differs"
            failed=1
        fi
        if [[ -f $dir/expected-log.txt ]] &&
            ! diff -u --label "$name/expected-log.txt" --label "$name (actual log)" \
                "$dir/expected-log.txt" "$work/actual-log.txt"; then
            echo "FAIL $name: log differs"
            failed=1
        fi
        [[ $failed -eq 0 ]] && echo "ok $name"
    fi
    if [[ $keep -eq 1 ]]; then
        echo "kept $work"
    else
        rm -rf "$work"
    fi
    return $failed
}

result=0
for d in "$@"; do
    run_one "$d" || result=1
done
exit $result
