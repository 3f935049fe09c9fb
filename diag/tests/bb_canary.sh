#!/bin/bash
# No secret leaves the router: the canary router (fixtures/canary_router
# over the sample router) keeps a distinct canary in every place a router
# keeps a secret. Every output form (text and JSON from the shell, a text
# page, a JSON answer and both downloads through busybox httpd as CGI) must
# show none of them, while the facts the report exists for stay.
. "$ROUTER_TESTLIB/bb.sh"
if [ "${ROUTER_SANITIZE:-0}" = 1 ]; then
    export ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
fi
FX="$ROUTER_SRC/fixtures"
OUT="$BB_TMP/out"
mkdir -p "$OUT"

# Secrets without the word CANARY in them: WAN addresses (PPPoE, the LTE
# uplink, the static WAN on a switch port, its gateway and subnet, the LTE
# gateway), endpoint and proxy addresses, ports, a PIN, an IPv6 WAN address,
# an encoded token, the user names.
BARE="100.66.12.34 192.0.2.77 192.0.2.73 192.0.2.72 198.51.100.10 198.51.100.1 198.51.100.0
203.0.113.9 198.18.7.42 198.18.9.99 41235 41236 41237 41240 41252 41259 4811
2001:db8:77::5 Q0FOQVJZ 123456789 alice: bob:"

run_all() {  # run_all OUTDIR TESTS ROOT...: every output form on the stacked trees
    local out=$1 tests=$2; shift 2
    local roots=()
    for r in "$@"; do roots+=(--root "$r"); done
    sandbox "${roots[@]}" --path "$ROUTER_SAMPLE/bin" --net -- /bin/sh -c '
        diag=$1 out=$2 tests=$3
        # the shell forms run beside the web server ones
        { "$diag" "--tests=$tests" > "$out/text"; "$diag" --json "--tests=$tests" > "$out/json"; } & shell=$!
        mkdir -p /tmp/www/cgi-bin && ln -s "$diag" /tmp/www/cgi-bin/diag || exit 1
        busybox httpd -f -p 127.0.0.1:8080 -h /tmp/www & httpd=$!
        i=0
        until curl -s -o /dev/null http://127.0.0.1:8080/; do
            i=$((i + 1)); [ $i -lt 200 ] || { kill $httpd; exit 1; }; sleep 0.05
        done
        base=http://127.0.0.1:8080/cgi-bin/diag
        curl -s -o "$out/cgi-text" "$base?tests=$tests"
        curl -s -o "$out/cgi-json" "$base?format=json&tests=$tests"
        curl -s -o "$out/dl-text" "$base?action=download&tests=$tests"
        curl -s -o "$out/dl-json" "$base?action=download&format=json&tests=$tests"
        kill $httpd
        wait $shell' sh "$BIN_TARVONA_DIAG" "$out" "$tests"
}

no_secret_in() {  # no_secret_in FILE: no canary, no bare secret
    local f=$1 leaks
    leaks=$(grep -ion 'canary[^"'\'' ]*' "$f" | head -5)
    assert_eq "" "$leaks" "canaries in $(basename "$f")"
    for v in $BARE; do
        assert_not_contains "$(cat "$f")" "$v" "$(basename "$f"): $v"
    done
}

case_begin "canary router: every output form runs"
run_all "$OUT" "" "$ROUTER_SAMPLE/root" "$FX/canary_router"
assert_eq 0 "$?" "sandbox session"
for f in text cgi-text dl-text; do
    assert_contains "$(tail -c 300 "$OUT/$f")" "КОНЕЦ ОТЧЁТА" "$f complete"
done
for f in json cgi-json dl-json; do
    assert_eq "" "$(python3 -c 'import json,sys; json.load(open(sys.argv[1]))' "$OUT/$f" 2>&1)" "$f parses"
done

case_begin "canary router: no secret in any output form"
for f in text json cgi-text cgi-json dl-text dl-json; do no_secret_in "$OUT/$f"; done

case_begin "canary router: the facts stay"
text=$(cat "$OUT/text")
for fact in "option ssid 'HomeNet'" "option encryption 'sae'" "option auth 'auth=MSCHAPV2'" \
    "option auth_port '1812'" "option mobility_domain '4f57'" "option wps_pushbutton '1'" \
    "option auth 'both'" "option persistent_keepalive '25'" "option token_mode 'totp'" \
    "option authgroup 'staff'" "option key '***'" "list sae_password '***'" "option pincode '***'" \
    "list r0kh '***'" "option ws_user 'daemon'" "option server '***'" "option dns_server '8.8.8.8'" "list community_lists 'youtube'" \
    "option proxy 'socks5://***'" "option resolver_url 'https://dns.google/dns-query'" \
    "option tls_domain 'www.example.com'" "list user '***'" \
    '"server" : "***"' '"server_name":"www.microsoft.com"' "vless://***" "tg://***" \
    "https://***@dynupdate.example.com/nic/update?hostname=home.example.net" \
    "token=***&ip=" "bot***/sendMessage" "Authorization: Bearer ***" \
    "lan4@eth0        UP           198.51.x.x/24" "wwan0            UNKNOWN      192.0.x.x/29" \
    "br-lan           UP           192.168.1.1/24" "pppoe-wan        UP           100.66.x.x" \
    "wg0              UP           10.7.0.2/32" "203.0.x.x via 10.64.0.1 dev pppoe-wan" \
    "default via 192.0.x.x dev wwan0 20" "10.64.0.1 via - dev pppoe-wan" \
    "address 192.0.x.x." "Registered IP '100.66.x.x'." "dial tcp 198.18.x.x:41234" \
    "dial tcp ***:41239" "ip daddr 198.51.x.x tcp dport 8443" "dnat ip to 192.168.1.20:443" \
    "192.168.1.20 dev br-lan lladdr 3c:22:fb:xx:xx:xx REACHABLE" \
    '"server":"keep-direct.example"' '"url":"https:\/\/www.gstatic.com\/generate_204"' \
    '"listen_port":2080' '"address":[' '"allowed_ips":[' "daemon.notice netifd";  do
    assert_contains "$text" "$fact"
done
json=$(cat "$OUT/json")
assert_eq "keep-direct.example" \
    "$(printf '%s' "$json" | jq -r '.services[] | select(.name=="sing-box") | .config | fromjson | .outbounds[0].server')"
assert_eq "***" \
    "$(printf '%s' "$json" | jq -r '.services[] | select(.name=="sing-box") | .config | fromjson | .outbounds[5].server')"
assert_eq "lan4@eth0=198.51.x.x/24" \
    "$(printf '%s' "$json" | jq -r '.network.interfaces[] | select(.name=="lan4@eth0") | "\(.name)=\(.ip)"')"

case_begin "a sing-box file that does not parse: masked by key, not garbled"
mkdir -p "$OUT/broken"
run_all "$OUT/broken" svc_singbox "$ROUTER_SAMPLE/root" "$FX/canary_router" "$FX/canary_broken_singbox"
# (the log's trojan host is known only from the file that no longer parses)
sed -n '/--- Конфигурация (\/etc\/sing-box\/config.json) ---/,/^===/p' "$OUT/broken/text" > "$OUT/broken/singbox"
jq -r '.services[] | select(.name=="sing-box") | .config' "$OUT/broken/dl-json" > "$OUT/broken/singbox-json"
for f in singbox singbox-json; do no_secret_in "$OUT/broken/$f"; done
broken=$(cat "$OUT/broken/singbox")
assert_contains "$broken" $'"password":\n        "***",'
assert_contains "$broken" $'"short_id": [\n          "***",\n          "***"\n        ] } }\n'
assert_contains "$broken" '"server":'$'\n''        "***", "server_port": "***",'
assert_contains "$broken" '{ "type": "direct", "tag": "direct-out" },'
assert_not_contains "$broken" ": : ["

[ "$BB_FAIL" = 0 ] || exit 1
