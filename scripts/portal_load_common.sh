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

# startPortal DATABASE PORT LOGFILE: sets portalPid once the port answers.
startPortal() {
  "$portal" serve --listen "127.0.0.1:$2" --database "$1" >>"$3" 2>&1 &
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
