# shellcheck shell=bash
# Shared by measure_portal.sh and portal_kill_check.sh (sourced): builds the optimised
# portal and load tool (or takes them from a given build folder), and starts and stops a
# portal on a free loopback port.
# PINGEL_PORTAL_BUILD names a build folder whose programs are used as they are (the test
# command does this); otherwise the release preset is built.
build=${PINGEL_PORTAL_BUILD:-build/release}
portal=$build/portal/pingel-portal
# shellcheck disable=SC2034 # used by the scripts that source this
load=$build/tools/portal-load/pingel-portal-load

buildPortalTools() {
  if [ -z "${PINGEL_PORTAL_BUILD:-}" ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release --target pingel-portal pingel-portal-load -j2 >/dev/null
  fi
}

freePort() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# enterEngine SCRIPT ARGS...: with $engine postgresql, runs SCRIPT again with ARGS inside a
# PostgreSQL 15 cluster of its own (-t, on a free port, beside any other; fsync on, which
# pg_virtualenv turns off unless told) and does not return; then checks $engine, builds,
# and sets work (a scratch folder, removed at exit with the portal stopped), database and
# port. The caller's cleanup goes in the function atExit, when it defines one.
# shellcheck disable=SC2154 # engine is the caller's
enterEngine() {
  local script=$1
  shift
  if [ "$engine" = postgresql ] && [ -z "${PINGEL_PG_READY:-}" ]; then
    buildPortalTools
    PGPORT=$(freePort) PINGEL_PG_READY=1 exec pg_virtualenv -t -v 15 -o fsync=on "$script" "$@"
  fi
  [ "$engine" = sqlite ] || [ "$engine" = postgresql ] || {
    echo "usage: $script [sqlite|postgresql] [seconds] [options...]" >&2
    exit 2
  }
  buildPortalTools
  work=$(mktemp -d)
  trap 'if declare -F atExit >/dev/null; then atExit || true; fi; stopPortal; rm -rf "$work"' EXIT
  # shellcheck disable=SC2034 # database and port are the caller's
  # "postgresql://" alone takes everything from the PG* variables that pg_virtualenv sets.
  database=$([ "$engine" = sqlite ] && echo "$work/portal.db" || echo postgresql://)
  # shellcheck disable=SC2034
  port=$(freePort)
}

# startPortal DATABASE PORT LOGFILE: sets portalPid once the port answers. The load's
# members send far more than a player's 60 scores an hour, so the limit is lifted (by a
# portal that has one: measure_portal.sh --compare may start an older one).
# PINGEL_PORTAL_SERVE_OPTIONS: more options for serve, split at blanks (e.g.
# "--access-log off"), given to a portal whose usage names the first of them.
startPortal() {
  local lift=() more=() usage
  usage=$("$portal" 2>&1 || true)
  if [[ "$usage" == *--submissions-per-hour* ]]; then
    lift=(--submissions-per-hour 1000000)
  fi
  read -ra more <<<"${PINGEL_PORTAL_SERVE_OPTIONS:-}"
  if [ "${#more[@]}" -gt 0 ] && [[ "$usage" != *"${more[0]}"* ]]; then
    more=()
  fi
  "$portal" serve --listen "127.0.0.1:$2" --database "$1" "${lift[@]}" "${more[@]}" >>"$3" 2>&1 &
  portalPid=$!
  for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$2") 2>/dev/null; then
      return 0
    fi
    kill -0 "$portalPid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the portal did not start; its log:" >&2
  cat "$3" >&2
  return 1
}

stopPortal() {
  if [ -n "${portalPid:-}" ] && kill -0 "$portalPid" 2>/dev/null; then
    kill -TERM "$portalPid"
    wait "$portalPid" || true
  fi
  portalPid=
}
