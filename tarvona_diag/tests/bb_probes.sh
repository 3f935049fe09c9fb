#!/bin/bash
# tarvona_diag with commands that take long or never end, in the router
# sandbox: a dead uplink (every ping, the proxy fetch and the test-domain
# lookups wait their limits) gives the same report as the probes did one
# after another, with all of them under way at once; a ping and an nft that
# never end are ended at their time limit, with what they printed kept and
# no process of theirs left.
# shellcheck source-path=SCRIPTDIR
. "$ROUTER_TESTLIB/bb.sh"
. "$ROUTER_SRC/bb_lib.sh"

DIAG=$BIN_TARVONA_DIAG
SAMPLE=$ROUTER_SAMPLE/root
DEAD=$ROUTER_SRC/fakes/dead_uplink
key() { printf '%s' "$*" | tr -c 'A-Za-z0-9.-' '_'; }
json_ok() { jq -e . >/dev/null 2>&1 <<<"$1"; }

# gone PID...: true when none of the processes is still alive (a zombie
# waiting for its reaper counts as ended).
gone() {
    local p st
    for p; do
        st=$(awk '{print $3}' "/proc/$p/stat" 2>/dev/null) || continue
        [ "$st" = Z ] || return 1
    done
}

# A process that never ends and a child of it that holds its output open;
# both record their pids in /tmp/hang.pids. $1: what it prints first.
hanging_script() {
    printf '%s\n' "printf '$1'" \
        '/bin/sleep 1000 & echo $! >> /tmp/hang.pids' \
        'echo $$ >> /tmp/hang.pids' \
        'exec /bin/sleep 1000'
}

# ---------------------------------------------------------------- hanging nft

# nft has no limit of its own on its command line, so the report's own limit
# of 15 s ends it. The run goes on in the background while the other cases
# run, so the wait costs the suite almost nothing.
nft_fx=$(make_fixture)
mkdir -p "$nft_fx/usr/share/fakecmd"
hanging_script 'table inet fw4 {\n\tchain input {\n' > "$nft_fx/usr/share/fakecmd/$(key nft list ruleset).sh"
nft_scr=$(fresh_scratch)
timeout 60 "$ROUTER_SANDBOX" --root "$SAMPLE" --root "$nft_fx" --path "$ROUTER_SAMPLE/bin" \
    --scratch "$nft_scr" --net -- "$DIAG" --json --tests=net_dns,net_nftables,svc_cron \
    > "$BB_TMP/nft.json" 2> "$BB_TMP/nft.err" &
nft_run=$!

# ---------------------------------------------------------------- dead uplink

# Probes over the dead uplink: the fakes wait a fifth of their limits (the
# benchmark waits them in full) and, before that, until all eight probes
# (two pings, the proxy fetch, five lookups) have started, or their full
# limit has passed. Sequential probes therefore show an "end" before the
# next "start"; probes that run at once show every "start" first.
T=sys_cpu,sys_memory,sys_disk,net_links,net_dns,net_conntrack,net_traffic,net_ping,svc_overlap
dead_scr=$(fresh_scratch)
timeout 60 "$ROUTER_SANDBOX" --root "$SAMPLE" --path "$ROUTER_SAMPLE/bin" --path "$UCI_BIN_DIR" \
    --path "$DEAD" --scratch "$dead_scr" --net --env DEAD_UPLINK_SCALE=0.2 --env DEAD_UPLINK_BARRIER=8 -- \
    /bin/sh -c 'for f in text json; do
                    DEAD_UPLINK_LOG=/tmp/probes.$f "$1" --tests="$2" --format=$f > /tmp/report.$f
                done' sh "$DIAG" "$T"

case_begin "dead uplink: text and JSON as with one probe after another"
sed 's/^Дата и время: .*/Дата и время: TIMESTAMP/' "$dead_scr/upper/tmp/report.text" > "$BB_TMP/dead.text"
sed 's/^{"timestamp":"[^"]*"/{"timestamp":"TIMESTAMP"/' "$dead_scr/upper/tmp/report.json" > "$BB_TMP/dead.json"
assert_file_eq "$ROUTER_SRC/golden/dead_uplink.txt" "$BB_TMP/dead.text"
assert_file_eq "$ROUTER_SRC/golden/dead_uplink.json" "$BB_TMP/dead.json"

case_begin "dead uplink: every slow probe under way at once, each with its command line"
want_starts="start curl -x http://127.0.0.1:18080 -s -o /dev/null -w %{http_code} --connect-timeout 5 --max-time 10 https://google.com
start nslookup chatgpt.com
start nslookup discord.com
start nslookup instagram.com
start nslookup web.telegram.org
start nslookup youtube.com
start ping -c 1 -W 3 -I pppoe-wan 1.1.1.1
start ping -c 1 -W 3 -I pppoe-wan google.com"
for f in text json; do
    log=$(cat "$dead_scr/upper/tmp/probes.$f" 2>/dev/null)
    assert_eq "$want_starts" "$(grep '^start ' <<<"$log" | sort)" "$f: probes started"
    assert_eq 8 "$(grep -c '^end ' <<<"$log")" "$f: probes ended"
    assert_eq 9 "$(grep -n '^end ' <<<"$log" | head -n 1 | cut -d: -f1)" "$f: line of the first end"
done

# ---------------------------------------------------------------- hanging ping

case_begin "a ping that never ends: ended at its limit, its reply kept"
# ping waits at most 3 s for its reply (-W 3), but nothing bounds the lookup
# of its target before it: the report ends it at the limit of any command
# (15 s), with the child that holds its output.
fx=$(make_fixture)
mkdir -p "$fx/usr/share/fakecmd"
hanging_script 'PING 1.1.1.1 (1.1.1.1): 56 data bytes\n64 bytes from 1.1.1.1: seq=0 ttl=58 time=11.48 ms\n' \
    > "$fx/usr/share/fakecmd/$(key ping -c 1 -W 3 -I pppoe-wan 1.1.1.1).sh"
scr=$(fresh_scratch)
out=$(timeout 60 "$ROUTER_SANDBOX" --root "$SAMPLE" --root "$fx" --path "$ROUTER_SAMPLE/bin" \
    --scratch "$scr" --net -- "$DIAG" --json --tests=net_ping,net_dns)
assert_eq 0 "$?" "exit status"
if json_ok "$out"; then bb_ok; else bb_fail "not JSON: ${out:0:300}"; fi
assert_eq '{"pppoe-wan":{"1.1.1.1":{"success":true,"latency_ms":11.48},"google.com":{"success":true,"latency_ms":24.906}}}' \
    "$(jq -c .network.ping <<<"$out")" "ping groups"
assert_eq '["198.51.100.53","198.51.100.54"]' "$(jq -c .network.dns <<<"$out")" "the report went on"
pids=$(cat "$scr/upper/tmp/hang.pids" 2>/dev/null)
assert_eq 2 "$(wc -w <<<"$pids")" "the hanging ping and its child ran"
# shellcheck disable=SC2086
if gone $pids; then bb_ok; else bb_fail "left running: $pids"; kill $pids 2>/dev/null; fi

case_begin "an interrupted report takes its commands with it"
# The commands run in process groups of their own: a signal to the report
# must still end them. Sent once the hanging nft has started.
scr=$(fresh_scratch)
sandbox --root "$SAMPLE" --root "$nft_fx" --path "$ROUTER_SAMPLE/bin" --scratch "$scr" --net -- bash -c '
    "$1" --tests=net_nftables > /dev/null &
    p=$!
    for _ in $(seq 400); do [ "$(wc -l < /tmp/hang.pids 2>/dev/null)" = 2 ] && break; sleep 0.05; done
    kill -TERM $p
    wait $p
    echo $? > /tmp/rc' sh "$DIAG"
assert_eq 143 "$(cat "$scr/upper/tmp/rc")" "the report died of SIGTERM"
pids=$(cat "$scr/upper/tmp/hang.pids" 2>/dev/null)
assert_eq 2 "$(wc -w <<<"$pids")" "the hanging nft and its child ran"
# shellcheck disable=SC2086
if gone $pids; then bb_ok; else bb_fail "left running: $pids"; kill $pids 2>/dev/null; fi

# ---------------------------------------------------------------- hanging nft

case_begin "an nft that never ends: ended at the 15-s limit, what it printed kept"
wait "$nft_run"
assert_eq 0 "$?" "exit status"
out=$(cat "$BB_TMP/nft.json")
if json_ok "$out"; then bb_ok; else bb_fail "not JSON: ${out:0:300}"; fi
assert_eq '"table inet fw4 {\n\tchain input {\n"' "$(jq -c .network.nftables <<<"$out")" "nftables text"
assert_eq '"crond"' "$(jq -c '.services[0].name' <<<"$out")" "the report went on"
assert_eq "" "$(cat "$BB_TMP/nft.err")" "stderr"
pids=$(cat "$nft_scr/upper/tmp/hang.pids" 2>/dev/null)
assert_eq 2 "$(wc -w <<<"$pids")" "the hanging nft and its child ran"
# shellcheck disable=SC2086
if gone $pids; then bb_ok; else bb_fail "left running: $pids"; kill $pids 2>/dev/null; fi

[ "$BB_FAIL" = 0 ] || exit 1
