#!/usr/bin/env bash
# Usage: run-scenario.sh [--update] [--keep] HOST SCENARIO_DIR...
# Runs dalmure-host on each scenario folder: script.jsonl in, expected.jsonl out; optional:
# options (host arguments, one a line; default clock 2024-03-15T10:20:30.00), app/ (NAME.utf8
# written as NAME in Windows-1252), fixtures (catalogue, templates), expected-log.txt (the logs
# in UTF-8, no CR). @APP@ is the application folder. --update rewrites the expected files.
set -u
update=0 keep=0
[[ ${1-} == --update ]] && update=1 && shift
[[ ${1-} == --keep ]] && keep=1 && shift
[[ $# -ge 2 && $1 != --* ]] || { sed -n 2p "$0" >&2; exit 2; }
host=$1
shift
repo=$(cd "$(dirname "$0")/../.." && pwd)

# The application folder written @APP@ and back (a literal, not a pattern).
mask() { APP="$1" perl -pe 's/\Q$ENV{APP}\E/\@APP\@/g'; }
unmask() { APP="$1" perl -pe 's/\@APP\@/$ENV{APP}/g'; }

prepare() {
    local dir=$1 app=$2 f line
    if [[ -d $dir/app ]]; then
        while read -r f; do
            f=${f#./}
            mkdir -p "$app/$(dirname "$f")"
            if [[ $f == *.utf8 ]]; then
                iconv -f UTF-8 -t WINDOWS-1252 "$dir/app/$f" >"$app/${f%.utf8}" || return 1
            else
                cp "$dir/app/$f" "$app/$f" || return 1
            fi
        done < <(cd "$dir/app" && find . -type f)
    fi
    [[ -f $dir/fixtures ]] || return 0
    while read -r line; do
        case $line in
        '' | \#*) ;;
        catalogue) cp "$repo/tests/fixtures/ORLngClient.MDB" "$app/" ;;
        templates) cp "$repo"/share/templates/*.html "$app/" ;;
        *) false ;;
        esac || return 1
    done <"$dir/fixtures"
}

run_one() {
    local dir=${1%/} work status=0 failed=0 opt log
    local name=${dir##*/}
    work=$(mktemp -d "${TMPDIR:-/tmp}/dalmure-scenario.XXXXXX")
    local app="$work/app dir"
    mkdir -p "$app"
    prepare "$dir" "$app" || { echo "FAIL $name: cannot prepare the application folder"; return 1; }
    local -a args=(--app-dir "$app" --now 2024-03-15T10:20:30.00)
    if [[ -f $dir/options ]]; then
        while IFS= read -r opt; do
            [[ -n $opt ]] && args+=("${opt//@APP@/$app}")
        done <"$dir/options"
    fi
    unmask "$app" <"$dir/script.jsonl" >"$work/script.jsonl"
    "$host" "${args[@]}" <"$work/script.jsonl" >"$work/stdout.raw" 2>"$work/stderr" || status=$?
    mask "$app" <"$work/stdout.raw" >"$work/actual.jsonl"
    for log in "$app"/Log/*/Dalmure.Log; do
        [[ -f $log ]] && iconv -f WINDOWS-1252 -t UTF-8 "$log" | tr -d '\r'
    done | mask "$app" >"$work/actual-log.txt"

    if [[ $status -ne 0 ]]; then
        echo "FAIL $name: dalmure-host exited with $status"
        cat "$work/stderr"
        failed=1
    fi
    if [[ $update -eq 1 ]]; then
        cp "$work/actual.jsonl" "$dir/expected.jsonl"
        [[ ! -f $dir/expected-log.txt && ! -s $work/actual-log.txt ]] ||
            cp "$work/actual-log.txt" "$dir/expected-log.txt"
        echo "updated $name"
    else
        diff -u --label "$name/expected.jsonl" --label "$name (actual)" "$dir/expected.jsonl" \
            "$work/actual.jsonl" || { echo "FAIL $name: output differs"; failed=1; }
        [[ ! -f $dir/expected-log.txt ]] ||
            diff -u --label "$name/expected-log.txt" --label "$name (actual log)" \
                "$dir/expected-log.txt" "$work/actual-log.txt" ||
            { echo "FAIL $name: log differs"; failed=1; }
        [[ $failed -eq 0 ]] && echo "ok $name"
    fi
    if [[ $keep -eq 1 ]]; then echo "kept $work"; else rm -rf "$work"; fi
    return $failed
}

result=0
for d in "$@"; do
    run_one "$d" || result=1
done
exit $result
