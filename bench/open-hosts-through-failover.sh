#!/usr/bin/env bash
# N open hosts on one PostgreSQL database through a server restart and a fail-over.
#
#   bench/open-hosts-through-failover.sh [N] [BUILD_DIR]     (N: 100 by default)
#
# Starts a private primary (scripts/pg-cluster, max_connections = 100) and a streaming standby
# made from it (scripts/pg-cluster standby), makes the demo database, and starts N zandrel-host
# processes on the URI that names both servers with target_session_attrs=read-write. Each host
# reads its commands from a pipe kept open, as a person at a terminal would type them, and
# duplicates a template three times: before the primary restarts, after the restart, and after
# the primary is stopped and the standby promoted. Replication is synchronous
# (synchronous_standby_names = '*' on the primary), as a team that cannot lose a save runs it.
# Each round waits up to ROUND_SECONDS (120) for the copies. At the end it prints, per round and in all:
#   done    copies the hosts were asked for
#   stored  copies in the database afterwards (each name once)
#   twice   copies stored more than once (must be 0)
#   lost    copies asked for but not stored (a host reports why on its standard error)
# Everything lives in a temporary folder, removed at the end (KEEP=1 keeps it).
set -euo pipefail

hosts=${1:-100}
build=${2:-$(dirname "$0")/../build}
round_seconds=${ROUND_SECONDS:-120}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
built=$(realpath "$build")
[ -x "$built/bin/zandrel-host" ] || { echo "no $built/bin/zandrel-host: build zandrel-host first" >&2; exit 1; }
bindir=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
cluster() { bash "$source_dir/scripts/pg-cluster" "$@"; }

work=$(mktemp -d /tmp/zr-fo.XXXXXX)
chmod 755 "$work"
# The hosts run a copy of the program and its libraries, so a rebuild meanwhile cannot break
# hosts that start later.
mkdir -p "$work/snap/bin" "$work/snap/lib"
cp "$built/bin/zandrel-host" "$work/snap/bin/"
cp -P "$built"/lib/*.so* "$work/snap/lib/"
cp -r "$built/share" "$built/PlugIns" "$work/snap/"
export LD_LIBRARY_PATH=$work/snap/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}
host_program=$work/snap/bin/zandrel-host
# A host that exited leaves a pipe nobody reads: writing to it must not end the script.
trap '' PIPE
pids=()
cleanup() {
  for fd in "${fds[@]:-}"; do if [ -n "$fd" ]; then exec {fd}>&- 2>/dev/null || true; fi; done
  for pid in "${pids[@]:-}"; do [ -n "$pid" ] && kill "$pid" 2>/dev/null || true; done
  cluster stop "$work/p" 2>/dev/null || true
  cluster stop "$work/s" 2>/dev/null || true
  [ "${KEEP:-0}" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
primary_port=$(free_port)
standby_port=$(free_port)
cluster start "$work/p" "$primary_port" >/dev/null
cluster standby "$work/s" "$work/p" "$standby_port" >/dev/null
uri="postgresql://zandrel@127.0.0.1:$primary_port,127.0.0.1:$standby_port/zandrel?target_session_attrs=read-write"
psql_on() { "$bindir/psql" "postgresql://zandrel@127.0.0.1:$1/zandrel" -Atqc "$2"; }
# A save reported as saved is on the standby too, so the fail-over loses none (the primary's
# setting only: the promoted standby has no standby of its own to wait for).
psql_on "$primary_port" "ALTER SYSTEM SET synchronous_standby_names = '*'" >/dev/null
psql_on "$primary_port" "SELECT pg_reload_conf()" >/dev/null

export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data LANGUAGE=en
"$host_program" --db "$uri" --init-demo 2>/dev/null

echo "starting $hosts hosts on $uri" >&2
fds=()
for h in $(seq 1 "$hosts"); do
  mkfifo "$work/in$h"
  "$host_program" --db "$uri" --update-url "" <"$work/in$h" >"$work/out$h" 2>"$work/err$h" &
  pids+=($!)
  exec {fd}>"$work/in$h"
  fds+=("$fd")
done

copy() {  # host round
  printf '%s\n' "menu Plug-ins > Zandrel > Duplicate Form Template..." 'select template "Project Intake"' \
    "type name \"h$1-$2\"" "press duplicate" "answer Thanks!" >&"${fds[$(($1 - 1))]}" 2>/dev/null || true
}
stored_in() {  # port round
  psql_on "$1" "SELECT count(DISTINCT name) FROM \"CustomRecordSetDefinition\" WHERE name LIKE 'h%-$2'"
}
round() {  # name port
  local started=$SECONDS
  for h in $(seq 1 "$hosts"); do copy "$h" "$1"; done
  while [ $((SECONDS - started)) -lt "$round_seconds" ]; do
    [ "$(stored_in "$2" "$1" 2>/dev/null || echo 0)" -ge "$hosts" ] && break
    sleep 1
  done
  echo "round $1: $((SECONDS - started)) s" >&2
}

round before "$primary_port"
cluster stop "$work/p" >/dev/null 2>&1
cluster start "$work/p" "$primary_port" >/dev/null
round restart "$primary_port"
cluster stop "$work/p" >/dev/null 2>&1
cluster promote "$work/s" >/dev/null
round failover "$standby_port"

running=0
for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && running=$((running + 1)); done
echo "hosts still running at the end: $running of $hosts" >&2
for fd in "${fds[@]}"; do echo quit >&"$fd" 2>/dev/null || true; exec {fd}>&-; done
fds=()
for pid in "${pids[@]}"; do timeout 60 tail --pid="$pid" -f /dev/null || kill "$pid" 2>/dev/null || true; done
pids=()

total_done=0 total_stored=0 total_twice=0
printf '%-10s %6s %6s %6s %6s\n' round done stored twice lost
for r in before restart failover; do
  stored=$(stored_in "$standby_port" "$r")
  twice=$(psql_on "$standby_port" "SELECT count(*) FROM (SELECT name FROM \"CustomRecordSetDefinition\" WHERE name LIKE 'h%-$r' GROUP BY name HAVING count(*) > 1) t")
  printf '%-10s %6d %6d %6d %6d\n' "$r" "$hosts" "$stored" "$twice" $((hosts - stored))
  total_done=$((total_done + hosts)) total_stored=$((total_stored + stored)) total_twice=$((total_twice + twice))
done
printf '%-10s %6d %6d %6d %6d\n' all "$total_done" "$total_stored" "$total_twice" $((total_done - total_stored))
echo "hosts reporting a failure: $(grep -l -i -E 'fail|cannot|lost|error' "$work"/err* 2>/dev/null | wc -l)" >&2
grep -h -o -i -E '(too many clients|read-only standby|shutting down or was restarted|starting up|did not answer in time|connection to the [^;]* was lost|no PostgreSQL server runs|not committed|not known yet)' \
  "$work"/err* "$work"/out* 2>/dev/null | sed 's/connection to the .* was lost/connection lost/' | sort | uniq -c | sort -rn >&2 || true
