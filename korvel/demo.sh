#!/bin/bash
# korvel on the sample router: a Huawei E3372h (NCM) is plugged in and pulled
# out again; shows the UCI configuration before, after the "add" event and
# after the "remove" event, and the router commands korvel ran.
set -u
here=$(cd "$(dirname "$0")" && pwd)
KORVEL="$ROUTER_BUILD/korvel/korvel"
ID=12d1/1506/102
[ -x "$KORVEL" ] || { echo "korvel demo: $KORVEL not built" >&2; exit 1; }

scratch=$(mktemp -d "$ROUTER_BUILD/.korvel-demo.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
# The sample router, the packages of the modem tools (modeminfo, mmconfig,
# atinout, smstools3), and recording stand-ins of the router's commands.
sb() {
    "$ROUTER_SANDBOX" --root "$ROUTER_SAMPLE/root" --root "$here/demo/root" \
        --path "$ROUTER_SAMPLE/bin" --path "$UCI_BIN_DIR" --path "$here/tests/fakes" \
        --scratch "$scratch" --env KORVEL_TRACE=/tmp/korvel-calls -- "$@"
}
state() {
    sb sh -c '
        uci show network.modem 2>/dev/null || echo "network.modem: (none)"
        uci show firewall.@zone[1].network
        uci show modeminfo; uci show mmconfig; uci show atinout; uci show smstools3; uci show korvel
        echo "--- /etc/atcommands.user"; cat /etc/atcommands.user'
}
calls() { sb sh -c 'cat /tmp/korvel-calls 2>/dev/null; rm -f /tmp/korvel-calls' | sed 's/^/  ran: /'; }

echo "=== korvel demo: modem $ID on the sample router"
echo "--- before"
state
echo
echo "--- hotplug: korvel add $ID"
# The configuration runs detached; the pipe stays open until it has finished.
sb "$KORVEL" add "$ID" 2>&1 | cat
calls
state
echo
echo "--- hotplug: korvel remove $ID"
sb "$KORVEL" remove "$ID" 2>&1 | cat
calls
state
