#!/bin/bash
# velmora on the sample router: a local dnsmasq stands in for the primary upstream; the
# listening address and the secondary come from the router's /etc/config/velmora. dig asks
# through velmora twice: a name the upstream knows, and one it does not, which fails over
# through the secondary and the uplink resolvers (unreachable here) to the held NXDOMAIN.
set -u
: "${ROUTER_SANDBOX:?}" "${ROUTER_SAMPLE:?}" "${ROUTER_BUILD:?}" "${UCI_BIN_DIR:=$ROUTER_BUILD/uci_host}"
VELMORA="$ROUTER_BUILD/velmora/velmora"
[ -x "$VELMORA" ] || { echo "velmora demo: $VELMORA is not built" >&2; exit 1; }
echo "=== velmora: DNS failover forwarder on the sample router ==="
paths=()
[ -d "$UCI_BIN_DIR" ] && paths=(--path "$UCI_BIN_DIR")
"$ROUTER_SANDBOX" --root "$ROUTER_SAMPLE/root" "${paths[@]}" --net -- bash -c '
    set -u
    velmora=$1
    pids=()
    trap "kill \${pids[*]} 2>/dev/null" EXIT
    wait_udp() { for _ in $(seq 500); do grep -q " $1 " /proc/net/udp && return 0; sleep 0.01; done; return 1; }
    ip addr add 127.0.0.53/8 dev lo
    dnsmasq -k -C /dev/null --no-resolv --no-hosts --bind-interfaces --listen-address=127.0.0.53 \
        --port=53 --user=root --pid-file= --log-facility=/dev/null \
        --host-record=router.example,192.0.2.1 --local=/example/ &
    pids+=($!)
    wait_udp 3500007F:0035 || { echo "upstream did not start" >&2; exit 1; }

    listen=$(uci -q get velmora.main.listen 2>/dev/null || echo 127.0.0.1:5453)
    s2=$(uci -q get velmora.main.server2 2>/dev/null || echo 9.9.9.9:53)
    echo "/etc/config/velmora: listen $listen, secondary $s2"
    echo "fallback resolvers: $(grep -c ^nameserver /tmp/resolv.conf.d/resolv.conf.auto) in /tmp/resolv.conf.d/resolv.conf.auto"
    echo "\$ velmora --listen $listen --s1 127.0.0.53:53 --s2 $s2 --session-timeout 300 --debug 1"
    log=/tmp/velmora-demo.log
    "$velmora" --listen "$listen" --s1 127.0.0.53:53 --s2 "$s2" --session-timeout 300 --debug 1 >"$log" &
    pids+=($!)
    for _ in $(seq 500); do grep -q "Velmora running" "$log" && break; sleep 0.01; done
    port=${listen##*:}
    echo "\$ dig @127.0.0.1 -p $port router.example +short"
    dig @127.0.0.1 -p "$port" router.example +short +tries=1 +time=5
    echo "\$ dig @127.0.0.1 -p $port nowhere.example (fails over to the held NXDOMAIN)"
    dig @127.0.0.1 -p "$port" nowhere.example +tries=1 +time=5 | grep -E "status:"
    echo "--- velmora log ---"
    cat "$log"
    grep -q "Reply from 127.0.0.53:53 (priority 1)" "$log"
' demo "$VELMORA"
