#!/bin/sh
# host_test.sh DALMURE_HOST: two stations on one SQLite record, B following what A created.
set -eu
host=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/a" "$dir/b"
record="sqlite:$dir/shared.db"
# The replies on the input hold each text given.
check() {
    out=$(cat)
    for expected; do
        printf '%s\n' "$out" | grep -qF "$expected" || {
            printf 'the replies lack %s:\n%s\n' "$expected" "$out"
            exit 1
        }
    done
}

id=$(printf '%s\n' \
    '{"op":"set","name":"NoDossier","value":"500-01-123456-241"}' \
    '{"op":"call","name":"AnnoAdd","args":["10:00:00","Ouverture"]}' \
    '{"op":"record","action":"create"}' |
    "$host" --app-dir "$dir/a" --record "$record" --station A |
    sed -n 's/^{"ok":true,"result":"\([0-9a-f]\{32\}\)"}$/\1/p')
[ -n "$id" ] || { echo "A created no hearing"; exit 1; }

printf '%s\n' \
    '{"op":"call","name":"AnnoDesc","args":[0]}' \
    '{"op":"get","name":"NoDossier"}' \
    '{"op":"record","action":"status"}' \
    '{"op":"record","action":"hearings"}' |
    "$host" --app-dir "$dir/b" --record "$record" --hearing "$id" --follow yes --station B |
    check '"result":"Ouverture"' '"result":"500-01-123456-241"' \
    "\"hearing\":\"$id\",\"link\":\"connected\",\"pending\":0" '"station":"A"'

printf '%s\n' \
    '{"op":"record","action":"changes","index":0}' \
    "{\"op\":\"record\",\"action\":\"access\",\"hearing\":\"$id\",\"level\":\"sealed\"}" \
    '{"op":"record","action":"search","words":"OUVERT"}' \
    "{\"op\":\"record\",\"action\":\"access\",\"hearing\":\"$id\"}" \
    "{\"op\":\"record\",\"action\":\"asof\",\"hearing\":\"$id\",\"at\":0}" \
    '{"op":"record","action":"search","words":" ; "}' |
    "$host" --app-dir "$dir/b" --record "$record" --hearing "$id" --station B |
    check '"snippet":"\u0002Ouverture\u0003"' '"kind":"add","before":"","after":"Ouverture"' \
    '"result":true' '"level":"sealed","enforced":false' '"result":false' \
    '"error":"no words to search for'

modes=$(stat -c %a "$dir/shared.db" "$dir/a/Outbox.db" "$dir/b/Outbox.db" | tr '\n' ' ')
[ "$modes" = "600 600 600 " ] || { echo "the record's files are $modes, not 600"; exit 1; }
