#!/bin/bash
# Measures tarvona_diag on the sample router: wall time and peak resident
# memory of one run, for a few test selections, median of N runs.
# usage: diag/bench.sh [BUILD_DIR] [RUNS]   (as root; uses the router sandbox)
set -u
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build}
runs=${2:-5}
diag="$build/diag/tarvona_diag"
[ -x "$diag" ] || { echo "no $diag" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time" >&2; exit 1; }

measure() { # $1 label, $2.. arguments
    local label=$1; shift
    local times=() rss=() i out
    for ((i = 0; i < runs; i++)); do
        out=$("$src/tests/sandbox/router-sandbox" --root "$src/sample_router/root" \
              --path "$src/sample_router/bin" --path "$build/uci_host" --net -- \
              /usr/bin/time -f '%e %M' "$diag" "$@" 2>&1 >/dev/null | tail -n 1)
        times+=("${out% *}"); rss+=("${out#* }")
    done
    printf '%-28s median %6s s   peak RSS median %6s KiB   (%d runs)\n' "$label" \
        "$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")" \
        "$(printf '%s\n' "${rss[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")" "$runs"
}

echo "tarvona_diag: $(stat -c %s "$diag") bytes on disk ($build)"
measure "system tests only" --tests=sys_time
measure "system + network" --tests=sys_cpu,sys_memory,sys_disk,net_interfaces,net_links,net_routes,net_routes6,net_arp,net_dns,net_conntrack,net_traffic,net_ping,net_wifi,net_nftables
measure "all tests, text" 
measure "all tests, JSON" --format=json
