#!/usr/bin/env bash
# Checks that the code keeps its layers:
#
#   platform <- gfx <- game <- app,   platform <- net <- app,   portal on net, game, gfx
#
# - every #include points down: platform/ (the seam's interfaces and portable helpers)
#   includes only platform/; gfx/ platform/ and gfx/; game/ those and game/; net/
#   platform/ and net/; app/ anything but portal/; portal/ the seam, gfx/, game/, net/;
# - nothing of those includes a backend (backends/): the backends, the programs' entry
#   points, tools/, tests/, bench/ and fuzz/ sit on top and may include anything;
# - the system headers of one platform (SDL, Windows, libcurl, Emscripten) belong to
#   backends/ alone;
# - outside backends/ no header declares an `extern` variable, and no file declares a
#   process-wide accessor of the seam (a function without parameters that returns one of
#   the seam's interfaces, or a pointer to one kept at namespace scope): the seam is
#   passed down, never fetched.
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
    BEGIN {
      # The seam: every interface a backend implements.
      seam = "(Platform|Clock|Keyboard|Audio|Resources|Display|Window|Machine|HttpClient)"
    }
    # Where a repository path lives: "seam", "backend", a layer folder, or "other".
    function layer(path, parts) {
      split(path, parts, "/")
      if (parts[1] == "platform") return "seam"
      if (parts[1] == "backends") return "backend"
      if (parts[1] ~ /^(gfx|game|app|net|portal)$/) return parts[1]
      return "other"
    }
    # The path of an included name relative to the repository: names starting with one of
    # our folders are taken from the root, other quoted names from the including folder.
    function resolve(name, dir, quoted, parts, n, i, out, m) {
      if (name ~ /^(platform|backends|gfx|game|app|net|portal)\//) return name
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
      if (from == "portal") return to != "app"
      if (from == "app") return to != "portal"
      return 1
    }
    function complain(text) {
      printf "%s:%d: %s\n", FILENAME, FNR, text
      bad = 1
    }
    FNR == 1 {
      from = layer(FILENAME)
      dir = FILENAME
      sub(/\/?[^\/]*$/, "", dir)
      header = FILENAME ~ /\.(h|hpp|h\.in)$/
    }
    # Outside the backends: no extern variable in a header, no process-wide accessor.
    from != "backend" && header && /^[ \t]*extern[ \t]/ && !/^[ \t]*extern[ \t]+"C"/ && !/\(/ {
      complain("declares an extern variable (state has one owner and is passed down)")
    }
    from != "backend" && ($0 ~ ("^(static[ \t]+)?(const[ \t]+)?" seam "[ \t]*[&*][ \t]*[A-Za-z_][A-Za-z0-9_]*[ \t]*\\([ \t]*(void)?[ \t]*\\)") ||
                          $0 ~ ("^(static[ \t]+|inline[ \t]+)*" seam "[ \t]*\\*[ \t]*[A-Za-z_][A-Za-z0-9_]*[ \t]*(=[^=]*)?;") ||
                          /(^|[^A-Za-z0-9_])setPlatform[ \t]*\(/) {
      complain("a process-wide accessor of the platform seam (pass the interface down)")
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
      if (from != "backend" &&
          (base ~ /^sdl.*\.h$/ || base == "windows.h" || base == "wininet.h" ||
           base ~ /^winsock2?\.h$/ || base == "curl.h" || lower ~ /^curl\// ||
           base ~ /^emscripten.*\.h$/ || lower ~ /^emscripten\//)) {
        complain("includes the platform header <" name "> outside backends/")
        next
      }
      target = resolve(name, dir, quoted)
      if (target == "") next
      to = layer(target)
      if (!allowed(from, to)) {
        complain((from == "seam" ? "the platform seam in platform" : from) "/ must not include " \
                 name " (" (to == "seam" ? "platform seam" : to == "backend" ? "a backend" : to "/") ")")
      }
    }
    END { exit bad }
  ' || { echo "check_layers: the code breaks its layers (see above)" >&2; exit 1; }
echo "check_layers: every include points down the layers, and nothing fetches the seam"
