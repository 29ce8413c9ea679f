#!/usr/bin/env bash
# Runs one dalmure-host scenario on the Qt platform and compares it with the headless
# expectation, the font's figures checked for consistency (compare_scenario.py).
#   run-qt-scenario.sh HOST SCENARIO_DIR
set -u
host=$1
dir=$2
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
wrapper=$(mktemp)
desk=$(mktemp -d)
trap 'rm -rf "$wrapper" "$desk"' EXIT
# A desktop of its own: no program associated with .html files unless the scenario names one,
# and a fallback browser that starts nothing.
mkdir -p "$desk/data" "$desk/config" "$desk/bin"
printf '#!/bin/sh\nexit 0\n' >"$desk/bin/x-www-browser"
chmod +x "$desk/bin/x-www-browser"
export XDG_DATA_HOME="$desk/data" XDG_DATA_DIRS="$desk/data" XDG_CONFIG_HOME="$desk/config" \
    XDG_CONFIG_DIRS="$desk/config" PATH="$desk/bin:$PATH"
# The real desktop shell starts only programs it may run: a scenario's stand-in browser is made
# runnable first, as an installed browser is.
cat >"$wrapper" <<WRAP
#!/usr/bin/env bash
prev=
for a in "\$@"; do
    [[ \$prev == --html-program && -f \$a ]] && chmod +x "\$a"
    prev=\$a
done
exec "$host" "\$@" --platform qt
WRAP
chmod +x "$wrapper"
out=$("$repo/tests/scenarios/run-scenario.sh" --keep "$wrapper" "$dir" 2>&1)
work=$(printf '%s\n' "$out" | sed -n 's/^kept //p' | tail -1)
if [[ -z $work || ! -f $work/actual.jsonl ]]; then
    printf '%s\n' "$out"
    exit 1
fi
status=0
if grep -q '^FAIL .*exited' <<<"$out"; then
    printf '%s\n' "$out"
    status=1
fi
python3 "$here/compare_scenario.py" "$dir/expected.jsonl" "$work/actual.jsonl" "$dir/script.jsonl" ||
    status=1
if [[ -f $dir/expected-log.txt ]] && ! diff -u "$dir/expected-log.txt" "$work/actual-log.txt"; then
    status=1
fi
rm -rf "$work"
[[ $status -eq 0 ]] && echo "ok $(basename "$dir") (qt)"
exit $status
