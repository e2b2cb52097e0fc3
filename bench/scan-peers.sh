#!/usr/bin/env bash
# Every scanner of the comparison on one tree, warm cache: one warm-up run each, then the
# measured run with its wall time and peak RSS (GNU time).
#   bench/scan-peers.sh TREE
# The peers are Debian packages installed for benchmarking only: apt-get install gdu ncdu time
set -u
tree=${1:?usage: scan-peers.sh TREE}
bin=$(cd "$(dirname "$0")/.." && pwd)/build/bench
empty=$(mktemp -d)
run() { # label command...
  local label=$1
  shift
  "$@" >/dev/null 2>&1
  local t out
  /usr/bin/time -o "$empty.time" -f "%e s, %M KiB" "$@" >"$empty.out" 2>/dev/null
  t=$(cat "$empty.time")
  out=$(head -c 160 "$empty.out" | tr '\n\t' '  ')
  printf '%-28s %-22s %s\n' "$label" "$t" "$out"
}
run "raw-walk (8 threads)" "$bin/raw-walk" --workers 8 "$tree"
run "zelvane-count" "$bin/zelvane-count" "$tree"
run "zelvane-count --pipelined" "$bin/zelvane-count" --pipelined "$tree"
run "zelvane-scan" "$bin/zelvane-scan" "$tree"
run "zelvane-scan --sequential" "$bin/zelvane-scan" --sequential "$tree"
run "zelvane-scan (empty folder)" "$bin/zelvane-scan" "$empty"
run "gdu -n -p -s" gdu -n -p -s "$tree"
run "du -s" du -s "$tree"
run "du -s --apparent-size" du -s --apparent-size "$tree"
run "ncdu -0 -o /dev/null" ncdu -0 -o /dev/null "$tree"
rm -rf "$empty" "$empty.out" "$empty.time"
