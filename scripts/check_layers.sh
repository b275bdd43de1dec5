#!/usr/bin/env bash
# Checks that #include lines point one way through the layers: platform <- gfx <- game <-
# app, with net used by app and portal (net may use only the platform seam, and portal
# only net and the seam). The seam is the files directly in platform/; the backends
# (platform/<name>/), the programs' entry points, tools/, tests/, bench/ and fuzz/ sit on
# top and may include anything. The system headers of one platform (SDL, Windows, libcurl,
# Emscripten) belong to platform/ alone.
#
# Each offending line is printed as FILE:LINE: reason. Exits 1 when there is one, 0 when
# the tree is clean, 2 on bad usage.
#
# Usage: scripts/check_layers.sh [SOURCE_ROOT]   (default: the repository this script is in)
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
[ -d "$root" ] || { echo "usage: $0 [SOURCE_ROOT]" >&2; exit 2; }
cd "$root"

# Every C and C++ file of ours, outside build trees and version control.
find . \( -path ./.git -o -path './build*' \) -prune -o -type f \
  \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' -o -name '*.c' \
  -o -name '*.h.in' \) -printf '%P\0' | LC_ALL=C sort -z |
  xargs -0 -r awk '
    # Where a repository path lives: "seam", "backend", a layer folder, or "other".
    function layer(path, parts, n) {
      n = split(path, parts, "/")
      if (parts[1] == "platform") return n == 2 ? "seam" : "backend"
      if (parts[1] ~ /^(gfx|game|app|net|portal)$/) return parts[1]
      return "other"
    }
    # The path of an included name relative to the repository: names starting with one of
    # our folders are taken from the root, other quoted names from the including folder.
    function resolve(name, dir, quoted, parts, n, i, out, m) {
      if (name ~ /^(platform|gfx|game|app|net|portal)\//) return name
      if (!quoted) return ""
      n = split(dir "/" name, parts, "/")
      m = 0
      for (i = 1; i <= n; i++) {
        if (parts[i] == "" || parts[i] == ".") continue
        if (parts[i] == "..") { if (m > 0) m--; continue }
        out[++m] = parts[i]
      }
      name = ""
      for (i = 1; i <= m; i++) name = name (i > 1 ? "/" : "") out[i]
      return name
    }
    # May a file of layer "from" include one of layer "to"?
    function allowed(from, to) {
      if (from == "other" || from == "backend" || to == "other") return 1
      if (to == "backend") return 0
      if (from == "seam") return to == "seam"
      if (from == "gfx") return to == "seam" || to == "gfx"
      if (from == "game") return to == "seam" || to == "gfx" || to == "game"
      if (from == "net") return to == "seam" || to == "net"
      if (from == "portal") return to == "seam" || to == "net" || to == "portal"
      if (from == "app") return to != "portal"
      return 1
    }
    FNR == 1 {
      from = layer(FILENAME)
      dir = FILENAME
      sub(/\/?[^\/]*$/, "", dir)
    }
    /^[ \t]*#[ \t]*include[ \t]*[<"]/ {
      line = $0
      sub(/^[ \t]*#[ \t]*include[ \t]*/, "", line)
      quoted = substr(line, 1, 1) == "\""
      name = substr(line, 2)
      sub(/[">].*$/, "", name)
      lower = tolower(name)
      base = lower
      sub(/^.*\//, "", base)
      if (from != "seam" && from != "backend" &&
          (base ~ /^sdl.*\.h$/ || base == "windows.h" || base == "wininet.h" ||
           base ~ /^winsock2?\.h$/ || base == "curl.h" || lower ~ /^curl\// ||
           base ~ /^emscripten.*\.h$/ || lower ~ /^emscripten\//)) {
        printf "%s:%d: includes the platform header <%s> outside platform/\n", FILENAME, FNR, name
        bad = 1
        next
      }
      target = resolve(name, dir, quoted)
      if (target == "") next
      to = layer(target)
      if (!allowed(from, to)) {
        printf "%s:%d: %s/ must not include %s (%s)\n", FILENAME, FNR, \
          (from == "seam" ? "the platform seam in platform" : from), name, \
          (to == "seam" ? "platform seam" : to == "backend" ? "a backend" : to "/")
        bad = 1
      }
    }
    END { exit bad }
  ' || { echo "check_layers: includes against the layer direction (see above)" >&2; exit 1; }
echo "check_layers: every include points down the layers"
