#!/usr/bin/env bash
# A court's record server on this machine, and two stations on one hearing.
# Usage: scripts/court-server.sh [FOLDER]
# Starts a PostgreSQL 15 cluster in FOLDER (kept, and used again if it holds one; a new
# temporary folder, removed at the end, when none is given), owned by the postgres user when run
# as root (FOLDER's parents must let it through), listening only on a Unix socket in FOLDER.
# Creates the database `hearings`, its owner role (which creates the schema) and two login roles:
# `station` (records) and `chambers` (follows, reads only). Prints the connection strings, then
# runs two dalmure-host stations: the courtroom's creates a hearing and records into it, the
# chambers' follows it and shows what arrived. Then two demo screens (orvane-demo, on Xvfb when
# there is no display) open that hearing: the courtroom's records, the chambers' follows it,
# read-only. Everything keeps running until Enter is pressed (without a terminal: for
# COURT_DEMO_SECONDS, 5 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
bin=/usr/lib/postgresql/15/bin
host=build/apps/dalmure-host/dalmure-host
demo=build/apps/orvane-demo/orvane-demo
[ -x "$bin/pg_ctl" ] || scripts/deps.sh
[ -x "$host" ] || {
  [ -d build ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build --target dalmure-host
}

umask 077
if [ $# -ge 1 ]; then
  dir=$(realpath -m "$1")
  keep=yes
  mkdir -p "$dir"
else
  dir=$(mktemp -d /tmp/court-server-XXXXXX)
  keep=no
fi
[ -L "$dir" ] && { echo "$dir is a link" >&2; exit 1; }
as=()
if [ "$(id -u)" = 0 ]; then
  chown postgres: "$dir"
  as=(runuser -u postgres --)
fi
if [ ! -f "$dir/data/PG_VERSION" ]; then
  "${as[@]}" "$bin/initdb" -D "$dir/data" -U court --auth=trust -E UTF8 --no-instructions \
    >"$dir/initdb.log"
fi
"${as[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -s \
  -o "-c listen_addresses='' -c unix_socket_directories='$dir'" start
stations=$(mktemp -d)
pids=()
stop() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  "${as[@]}" "$bin/pg_ctl" -D "$dir/data" -w -s -m fast stop || true
  rm -rf "$stations"
  [ "$keep" = yes ] || rm -rf "$dir"
}
trap stop EXIT

psql() { "$bin/psql" -q -v ON_ERROR_STOP=1 "host=$dir user=court dbname=$1" -c "$2"; }
if [ -z "$("$bin/psql" -tA "host=$dir user=court dbname=postgres" \
  -c "SELECT 1 FROM pg_database WHERE datname = 'hearings'")" ]; then
  psql postgres "CREATE ROLE records NOLOGIN; CREATE ROLE station LOGIN; CREATE ROLE chambers LOGIN"
  psql postgres "CREATE DATABASE hearings OWNER records"
fi
owner="host=$dir user=court dbname=hearings options='-c role=records'"
# The schema, created (or brought up to date) by the owner, then the stations' rights.
printf '%s\n' '{"op":"record","action":"hearings"}' |
  "$host" --app-dir "$stations" --record "$owner" --station setup >/dev/null
rm -rf "${stations:?}"/*
psql hearings "GRANT SELECT, INSERT, UPDATE ON ALL TABLES IN SCHEMA public TO station;
  GRANT SELECT ON ALL TABLES IN SCHEMA public TO chambers"
courtroom="host=$dir user=station dbname=hearings"
chambers="host=$dir user=chambers dbname=hearings"
echo "Record server:  $dir (socket), log $dir/server.log"
echo "  courtroom:    $courtroom"
echo "  chambers:     $chambers"

mkdir "$stations/room" "$stations/chambers"
id=$(printf '%s\n' \
  '{"op":"set","name":"NoDossier","value":"500-01-123456-241"}' \
  '{"op":"call","name":"AnnoAdd","args":["10:00:00","Ouverture"]}' \
  '{"op":"record","action":"create"}' \
  '{"op":"call","name":"AnnoAdd","args":["10:04:10","Témoin"]}' \
  '{"op":"record","action":"poll"}' |
  "$host" --app-dir "$stations/room" --record "$courtroom" --station "Salle 4.10" |
  sed -n 's/^{"ok":true,"result":"\([0-9a-f]\{32\}\)"}$/\1/p')
[ -n "$id" ] || { echo "the courtroom's station created no hearing" >&2; exit 1; }
echo "Hearing $id, recorded by the courtroom's station; the chambers follow it:"
printf '%s\n' \
  '{"op":"call","name":"AnnoCount","args":[]}' \
  '{"op":"call","name":"AnnoDesc","args":[0]}' \
  '{"op":"call","name":"AnnoDesc","args":[1]}' \
  '{"op":"record","action":"status"}' |
  "$host" --app-dir "$stations/chambers" --record "$chambers" --hearing "$id" --follow yes \
    --station chambers | grep '^{"ok"'
echo "Run more stations with: $host --record \"$courtroom\" --hearing $id"

# The two demo screens on the hearing.
if [ -x "$demo" ] || cmake --build build --target orvane-demo; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    Xvfb :57 -screen 0 1600x1000x24 -nolisten tcp >"$stations/xvfb.log" 2>&1 &
    pids+=($!)
    export DISPLAY=:57
    sleep 1
  fi
  "$demo" --app-folder "$stations/room-demo" --server "$courtroom" --hearing "$id" \
    >"$stations/room-demo.log" 2>&1 &
  pids+=($!)
  "$demo" --app-folder "$stations/chambers-demo" --server "$chambers" --hearing "$id" --follow \
    >"$stations/chambers-demo.log" 2>&1 &
  pids+=($!)
  echo "Demo screens on DISPLAY=$DISPLAY: the courtroom's records hearing $id, the chambers'"
  echo "follow it (logs in $stations/*-demo.log)."
fi
if [ -t 0 ]; then
  read -r -p "Enter stops the screens and the server. "
else
  sleep "${COURT_DEMO_SECONDS:-5}"
  for log in "$stations"/*-demo.log; do
    [ -f "$log" ] && grep -H "orvane-demo:" "$log" || true
  done
fi
