#!/bin/bash
# No secret leaves the router: the canary router (fixtures/canary_router
# over the sample router) keeps a distinct canary in every place a router
# keeps a secret. Every output form (text and JSON from the shell, a text
# page, a JSON answer and both downloads through busybox httpd as CGI) must
# show none of them, while the facts the report exists for stay.
# shellcheck source-path=SCRIPTDIR
. "$ROUTER_TESTLIB/bb.sh"
. "$ROUTER_SRC/bb_lib.sh"
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
        . "$4"
        # the shell forms run beside the web server ones
        { "$diag" "--tests=$tests" > "$out/text"; "$diag" --json "--tests=$tests" > "$out/json"; } & shell=$!
        serve_cgi "$diag" || exit 1
        curl -s -o "$out/cgi-text" "$CGI_BASE?tests=$tests"
        curl -s -o "$out/cgi-json" "$CGI_BASE?format=json&tests=$tests"
        curl -s -o "$out/dl-text" "$CGI_BASE?action=download&tests=$tests"
        curl -s -o "$out/dl-json" "$CGI_BASE?action=download&format=json&tests=$tests"
        kill $HTTPD_PID
        wait $shell' sh "$BIN_TARVONA_DIAG" "$out" "$tests" "$ROUTER_SRC/bb_inside.sh"
}

no_secret_in() {  # no_secret_in FILE [BARE]: no canary, no bare secret
    local f=$1 bare=${2-$BARE} leaks
    leaks=$(grep -ion 'canary[^"'\'' ]*' "$f" | head -5)
    assert_eq "" "$leaks" "canaries in $(basename "$f")"
    for v in $bare; do
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

# ---------------------------------------------------------------- uplinks

# A router with uplinks under other names (PPPoE with an address from an
# earlier session in the log, an LTE backup on wwan0 without a default
# route, a static uplink on the switch port lan3 with a routed block for
# DNAT and SNAT), a proxy router's server set, subscription servers that
# only the log and the set name, brimvale options naming a server by other
# words, and passwords in free log text (fixtures/uplinks_router).
UPLINK_BARE="198.51.100.23 198.51.100.41 198.51.100.1 203.0.113.64 203.0.113.65 203.0.113.66
203.0.113.68 203.0.113.69 203.0.113.70 10.172.9.12 10.172.9.13 10.172.9.14 45.137.21.9
185.199.108.7 194.87.12.0 2a01:4f8:1c1c:7777::9 198.18.50.21 198.18.50.33 41301 41302 41303 41304"

uplink_facts() {  # uplink_facts FILE: what a helper needs stays
    local text
    text=$(cat "$1")
    for fact in "lan3             UP           203.0.x.x/29" \
        "wwan0            UNKNOWN      10.172.x.x/30" "pppoe-wan        UP           198.51.x.x" \
        "br-lan           UP           192.168.1.1/24" "default via 203.0.x.x dev lan3 30" \
        "10.172.x.x/30 via - dev wwan0 " "192.168.1.0/24 via - dev br-lan " \
        "ip daddr 203.0.x.x tcp dport 8080" "dnat ip to 192.168.1.21:80" "snat ip to 192.168.1.1 comment" \
        "snat ip to 203.0.x.x comment" "elements = { 45.137.x.x, 185.199.x.x," \
        "elements = { 91.108.4.0/22, 149.154.160.0/20 }" "ip daddr @brimvale_subnets" \
        "local  IP address 198.51.x.x" \
        "udhcpc: lease of 10.172.x.x obtained from 10.172.x.x, lease time 7200" \
        "hotplug: ifup isp2 (lan3) ip 203.0.x.x/29 gw 203.0.x.x" \
        "outbound/vless[sub-nl-3]: dial tcp 45.137.x.x:443" "dial tcp [***]:443" \
        "outbound/direct[direct]: dial tcp 142.250.74.46:443" "applied option password '***'" \
        'psk "***"' "password *** rejected" "archive password is ***" \
        "Password auth succeeded for 'root' from 192.168.1.20:51234" \
        "password for root changed by root" "password is too short"; do
        assert_contains "$text" "$fact" "$(basename "$1")"
    done
}

case_begin "uplinks router: no WAN address, server or password in any output form"
mkdir -p "$OUT/uplinks"
run_all "$OUT/uplinks" "" "$ROUTER_SAMPLE/root" "$FX/uplinks_router"
assert_eq 0 "$?" "sandbox session"
for f in text json cgi-text cgi-json dl-text dl-json; do no_secret_in "$OUT/uplinks/$f" "$UPLINK_BARE"; done
uplink_facts "$OUT/uplinks/text"
text=$(cat "$OUT/uplinks/text")
for fact in "option src_dip '203.0.x.x'" "option snat_ip '203.0.x.x'" "option dest_ip '192.168.1.21'" \
    "option src_dport '8080'" "option target '203.0.x.x/30'" "list ipaddr '203.0.x.x/29'" \
    "option server_address '***'" "option server_port '***'" "option remote_host '***'" \
    "option remote_port '***'" "option server_name 'www.example.com'" "list community_lists 'russia_inside'"; do
    assert_contains "$text" "$fact"
done
assert_eq "wwan0=10.172.x.x/30 lan3=203.0.x.x/29" \
    "$(jq -r '[.network.interfaces[] | select(.name=="wwan0" or .name=="lan3") | "\(.name)=\(.ip)"] | sort | reverse | join(" ")' "$OUT/uplinks/json")"

case_begin "uplinks router with a half-edited firewall and sing-box file: still none"
mkdir -p "$OUT/half"
run_all "$OUT/half" "" "$ROUTER_SAMPLE/root" "$FX/uplinks_router" "$FX/uplinks_half_edited"
for f in text json cgi-text cgi-json dl-text dl-json; do no_secret_in "$OUT/half/$f" "$UPLINK_BARE"; done
uplink_facts "$OUT/half/text"
half=$(cat "$OUT/half/text")
# the firewall does not load: no dump, the uplinks are found all the same
assert_not_contains "$half" "--- Конфигурация (/etc/config/firewall) ---"
assert_contains "$half" "=== СЕРВИС: firewall ==="
singbox=$(jq -r '.services[] | select(.name=="sing-box") | .config' "$OUT/half/json")
for fact in '"address": ["10.9.0.2/32"]' '{ "address": "***", "port": "***",' \
    $'{ "address":\n            "***", "port": "***" }' '"private_key": "***"' '"final": "direct-out"'; do
    assert_contains "$singbox" "$fact"
done

[ "$BB_FAIL" = 0 ] || exit 1
