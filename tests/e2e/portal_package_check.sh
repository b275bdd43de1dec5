#!/usr/bin/env bash
# The portal's Debian package: CPack makes it beside the game's from the same build; it
# holds the program, the unit, the system user, the configuration (a conffile) and the
# man page, passes lintian (errors and warnings fail), its unit passes
# `systemd-analyze verify`, and the extracted program started with the extracted
# configuration (pointed at a scratch data folder and a free port) serves `/`, and on
# SIGTERM answers the request under way before it exits with status 0.
#
# Usage: portal_package_check.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d /tmp/pingel-portal-package.XXXXXX)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -f "$scratch/serve.log" ] && cat "$scratch/serve.log" >&2
  exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/deb" >/dev/null
[ -f "$scratch"/deb/pingel_1.0_amd64.deb ] || fail "no pingel_1.0_amd64.deb beside the portal's"
deb="$scratch/deb/pingel-portal_1.0_amd64.deb"
[ -f "$deb" ] || fail "cpack made no pingel-portal_1.0_amd64.deb"

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$scratch/control"
unit=usr/lib/systemd/system/pingel-portal.service
conf=etc/pingel-portal/pingel-portal.conf
for f in usr/sbin/pingel-portal "$unit" "$conf" usr/lib/sysusers.d/pingel-portal.conf \
  usr/share/man/man8/pingel-portal.8.gz usr/share/doc/pingel-portal/copyright; do
  [ -f "$root/$f" ] || fail "not in the package: /$f"
done
grep -qx "/$conf" "$scratch/control/conffiles" || fail "/$conf is no conffile"
for script in postinst prerm postrm; do
  [ -x "$scratch/control/$script" ] || fail "no $script"
done
zcat "$root/usr/share/man/man8/pingel-portal.8.gz" | grep -q '^\.TH PINGEL-PORTAL 8' ||
  fail "the man page has no title"
dpkg-deb -f "$deb" Depends | grep -q libmicrohttpd || fail "the package does not depend on libmicrohttpd"

lintian --no-cfg --fail-on error,warning "$deb" || fail "lintian found errors or warnings in $deb"

# systemd-analyze looks for the programs and the targets the unit names in the scratch
# root; the targets and kill (the reload's) come from this system. Its warnings leave the
# exit status 0.
cp /usr/lib/systemd/system/*.target "$root/usr/lib/systemd/system/"
mkdir -p "$root/bin" && cp /bin/kill "$root/bin/kill"
verified=$(systemd-analyze verify --man=no --root="$root" "/$unit" 2>&1) ||
  fail "systemd-analyze verify: $verified"
[ -z "$verified" ] || fail "systemd-analyze verify: $verified"

# The extracted program with the extracted configuration, on a scratch folder and port.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$scratch/data"
site=$(sed -n 's/^site = //p' "$root/$conf")
if [ -n "$site" ]; then
  site="$root$site"
  [ -f "$site/index.html" ] || fail "the configured site $site holds no index.html"
else
  site="$scratch/site"
  mkdir -p "$site" && echo '<!doctype html><title>spela</title>' >"$site/index.html"
fi
# Larger than the sockets' buffers hold (the client's is kept at 256 KiB, the server's
# grows to 4 MiB), so its answer is under way when SIGTERM comes.
head -c $((8 * 1024 * 1024)) /dev/urandom >"$site/large.bin"
sed -e "s|^database = .*|database = $scratch/data/portal.db|" \
  -e "s|^#listen = .*|listen = 127.0.0.1:$port|" \
  -e "s|^#\?site = .*|site = $site|" "$root/$conf" >"$scratch/portal.conf"
"$root/usr/sbin/pingel-portal" --config "$scratch/portal.conf" serve 2>"$scratch/serve.log" &
pid=$!

python3 - "$port" "$pid" "$site" <<'EOF' || fail "serving and stopping"
import os, signal, socket, sys, time, urllib.error, urllib.request

port, pid = int(sys.argv[1]), int(sys.argv[2])
base = f"http://127.0.0.1:{port}"

def status(path):
    try:
        with urllib.request.urlopen(base + path, timeout=30) as reply:
            return reply.status, reply.read()
    except urllib.error.HTTPError as e:
        return e.code, e.read()

deadline = time.monotonic() + 60
while True:
    try:
        code, _ = status("/")
        break
    except OSError:
        if time.monotonic() > deadline:
            sys.exit("the portal does not answer on " + base)
        time.sleep(0.1)
assert code == 200, f"/ answered {code}"
code, body = status("/spela/")
assert code == 200 and b"<!doctype html>" in body.lower(), f"/spela/ answered {code}"

# A large answer under way: its start read, then SIGTERM.
size = os.path.getsize(sys.argv[3] + "/large.bin")
client = socket.socket()
client.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 256 * 1024)
client.settimeout(30)
client.connect(("127.0.0.1", port))
client.sendall(b"GET /spela/large.bin HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
received = client.recv(65536)
os.kill(pid, signal.SIGTERM)
# The server is stopping once it refuses new requests.
while status("/")[0] != 503:
    if time.monotonic() > deadline:
        sys.exit("SIGTERM did not stop the portal taking requests")
    time.sleep(0.05)
while chunk := client.recv(1 << 20):
    received += chunk
head, _, body = received.partition(b"\r\n\r\n")
assert head.startswith(b"HTTP/1.1 200"), head[:100]
assert len(body) == size, f"{len(body)} of {size} bytes"
EOF
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || fail "after SIGTERM the portal exited with $status"
grep -q "pingel-portal: stopped" "$scratch/serve.log" || fail "the portal did not say it stopped"
echo "portal package check: passed"
