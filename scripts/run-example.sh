#!/usr/bin/env bash
# Runs the sample session of examples/session through dalmure-host and prints the transcript:
# each request ("> "), then what the control did and the host's reply ("  ").
#
#   scripts/run-example.sh [SESSION_DIR] [--raw]
#
# Builds dalmure-host first when needed (in $BUILD_DIR, default build/). The application folder
# is made fresh in a temporary folder and kept, so that the minutes page and the log can be read
# afterwards. --raw prints the host's output alone, as it wrote it.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

session=examples/session
raw=0
for a in "$@"; do
    case $a in
    --raw) raw=1 ;;
    *) session=$a ;;
    esac
done

build=${BUILD_DIR:-build}
if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target dalmure-host >/dev/null
host=$build/apps/dalmure-host/dalmure-host

# The application folder: the session's files (NAME.utf8 written as NAME in Windows-1252) and the
# shared files it asks for (the message catalogue, the minutes templates).
app=$(mktemp -d "${TMPDIR:-/tmp}/dalmure-example.XXXXXX")
if [[ -d $session/app ]]; then
    for f in "$session"/app/*; do
        name=$(basename "$f")
        if [[ $name == *.utf8 ]]; then
            iconv -f UTF-8 -t WINDOWS-1252 "$f" >"$app/${name%.utf8}"
        else
            cp -r "$f" "$app/"
        fi
    done
fi
if [[ -f $session/fixtures ]]; then
    while read -r what; do
        case $what in
        catalogue) cp share/catalogue/ORLngClient.MDB "$app/" ;;
        templates) cp share/templates/*.html "$app/" 2>/dev/null || echo "(no minutes templates yet)" >&2 ;;
        "" | \#*) ;;
        *) cp -r "$what" "$app/" ;;
        esac
    done <"$session/fixtures"
fi

args=(--app-dir "$app" --now 2024-03-15T10:15:00.00)
script=$session/script.jsonl

if [[ $raw -eq 1 ]]; then
    "$host" "${args[@]}" <"$script"
else
    echo "dalmure-host ${args[*]}"
    coproc HOST { "$host" "${args[@]}"; }
    while IFS= read -r request || [[ -n $request ]]; do
        [[ -z ${request// /} ]] && continue
        echo "> $request"
        printf '%s\n' "$request" >&"${HOST[1]}"
        while IFS= read -r line <&"${HOST[0]}"; do
            echo "  $line"
            [[ $line == '{"ok":'* ]] && break
        done
    done <"$script"
    exec {HOST[1]}>&-
    wait "$HOST_PID"
fi

echo
echo "Application folder: $app"
[[ -f $app/pvData.html ]] && echo "Minutes page: $app/pvData.html"
for log in "$app"/Log/*/Dalmure.Log; do
    [[ -f $log ]] || continue
    echo "Log ($log):"
    iconv -f WINDOWS-1252 -t UTF-8 "$log" | tr -d '\r' | sed 's/^/  /'
done
