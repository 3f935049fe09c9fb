#!/bin/sh
# Package test, run on the target with the package installed:
#   test.sh PACKAGE VERSION
# The version line, then a DNS round trip: a query through velmora (on
# 127.0.0.1:53, the only port nslookup asks) to a local dnsmasq that answers
# for one test name. Without dnsmasq or nslookup, or with port 53 taken, the
# round trip is skipped and says so.

[ "$1" = velmora ] || exit 0

out=$(velmora --version) || { echo "velmora --version failed"; exit 1; }
[ "$out" = "Velmora version ${2%%-*}" ] || { echo "unexpected version line: $out"; exit 1; }

for tool in dnsmasq nslookup; do
	command -v "$tool" >/dev/null || { echo "velmora: no $tool, round trip skipped"; exit 0; }
done
# /proc/net/udp lists local ports in hex: 0035 is 53, 1517 is 5399.
udp_bound() { grep -q "^ *[0-9]*: [0-9A-F]*:$1 " /proc/net/udp; }
if udp_bound 0035 || udp_bound 1517; then
	echo "velmora: port 53 or 5399 in use, round trip skipped"
	exit 0
fi

tmp=$(mktemp -d)
vpid=""
cleanup() {
	[ -n "$vpid" ] && kill "$vpid" 2>/dev/null
	[ -f "$tmp/dnsmasq.pid" ] && kill "$(cat "$tmp/dnsmasq.pid")" 2>/dev/null
	rm -rf "$tmp"
}
trap cleanup EXIT

# dnsmasq returns only once its socket is bound.
dnsmasq --conf-file=/dev/null --port=5399 --listen-address=127.0.0.1 --bind-interfaces \
	--no-resolv --no-hosts --user=root --pid-file="$tmp/dnsmasq.pid" \
	--address=/velmora.test/192.0.2.53 || { echo "dnsmasq did not start"; exit 1; }

velmora --listen 127.0.0.1:53 --s1 127.0.0.1:5399 --s2 127.0.0.1:5399 \
	--session-timeout 1000 --debug 0 >"$tmp/velmora.log" 2>&1 &
vpid=$!
n=0
until udp_bound 0035; do
	kill -0 "$vpid" 2>/dev/null || { echo "velmora exited:"; cat "$tmp/velmora.log"; exit 1; }
	n=$((n + 1))
	[ "$n" -le 100 ] || { echo "velmora did not bind 127.0.0.1:53"; exit 1; }
	sleep 0.05 2>/dev/null || sleep 1
done

answer=$(nslookup velmora.test 127.0.0.1 2>&1)
case "$answer" in
*192.0.2.53*) echo "velmora: round trip ok" ;;
*) echo "velmora: no answer through the proxy:"; echo "$answer"; exit 1 ;;
esac
