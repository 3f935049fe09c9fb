#!/bin/bash
# tarvona_diag on the sample router: service, overlap and log blocks, the
# JSON document for many test selections, no leaked secret, the private
# lookup directory, and a log too large for the JSON buffer.
. "$ROUTER_TESTLIB/bb.sh"
DIAG="$BIN_TARVONA_DIAG"
SAMPLE_ROOT="$ROUTER_SAMPLE/root"

json_ok() { printf '%s' "$1" | python3 -c 'import json,sys; json.loads(sys.stdin.buffer.read().decode("utf-8"))' 2>&1; }

# Test selections of the JSON runs (one list of keys each).
SELECTIONS=(sys_cpu net_ping "net_wifi,net_nftables" svc_overlap svc_log "svc_podkop,svc_brimvale"
    "svc_singbox,svc_telemt" "net_interfaces,net_links,svc_log" "svc_zapret,svc_zapret2,svc_overlap"
    "net_arp,net_dns,net_conntrack,net_traffic,net_routes,net_routes6" nonsense)

# All runs on the plain sample router share one sandbox (it costs a second or
# two to build); each output lands in $OUT.
OUT="$BB_TMP/out"
mkdir -p "$OUT"
sandbox --root "$SAMPLE_ROOT" --path "$ROUTER_SAMPLE/bin" -- /bin/sh -c '
    diag=$1 out=$2; shift 2
    "$diag" > "$out/text"
    "$diag" --format=json > "$out/json"
    "$diag" --json --tests= > "$out/json-empty-list"
    for t in "$@"; do "$diag" --json "--tests=$t" > "$out/json-$t"; done' \
    sh "$DIAG" "$OUT" "${SELECTIONS[@]}"
text=$(cat "$OUT/text")
json=$(cat "$OUT/json")

case_begin "text report shows every service, overlap and log block"
for piece in "=== СЕРВИС: crond ===" "=== СЕРВИС: network ===" "=== СЕРВИС: sing-box ===" \
             "=== СЕРВИС: podkop ===" "=== СЕРВИС: brimvale ===" "=== СЕРВИС: telemt ===" \
             "Статус:     [✓] работает (PID: 2210)" "Автозапуск: [✗] выключен" \
             "--- Конфигурация (/etc/config/podkop) ---" \
             "=== АНАЛИЗ СПИСКОВ И ПЕРЕСЕЧЕНИЙ ===" 'Секция "gaming" (vpn, wg0): geoblock, twitter' \
             '⚠ youtube — podkop секция "main" — также в: zapret, youtubeUnblock' \
             '⚠ discord — podkop секция "main" — также в: zapret' \
             '⚠ russia_inside — brimvale секция "streaming" — также в: youtubeUnblock' \
             "NSLookup:" "=== СИСТЕМНЫЙ ЛОГ ===" "local  IP address 100.66.x.x" "КОНЕЦ ОТЧЁТА"; do
    assert_contains "$text" "$piece"
done
# config-only services show no status
podkop_block=$(printf '%s' "$text" | sed -n '/=== СЕРВИС: podkop ===/,/--- Конфигурация/p')
assert_not_contains "$podkop_block" "Статус:"
assert_contains "$text" "=== СЕРВИС: velmora ==="

case_begin "JSON report of the sample router"
assert_eq "" "$(json_ok "$json")" "JSON parses"
assert_eq "timestamp hostname system network services overlap log" \
    "$(printf '%s' "$json" | jq -r 'keys_unsorted | join(" ")')" "root keys"
assert_eq '["name","hidden","config"]' \
    "$(printf '%s' "$json" | jq -c '.services[] | select(.name=="podkop") | keys_unsorted')"
assert_eq '["zapret","youtubeUnblock"]' \
    "$(printf '%s' "$json" | jq -c '.overlap.conflicts[] | select(.list=="youtube" and .service=="podkop") | .conflicts_with')"
assert_eq "-" "$(printf '%s' "$json" | jq -r '.overlap.nslookup[] | select(.domain=="discord.com") | .ip')"
assert_contains "$json" '"config":"# m h dom mon dow command\n0 4 * * * \/etc\/init.d\/podkop'

case_begin "every masked source is in the report (so a missing canary means masked)"
cfg() { printf '%s' "$json" | jq -r --arg n "$1" '.services[] | select(.name==$n) | .config'; }
assert_contains "$(printf '%s' "$json" | jq -r '.network.wifi_config')" "option key '***'"
assert_contains "$(printf '%s' "$json" | jq -r '.network.wifi_config')" "option macaddr '94:83:C4:xx:xx:xx'"
assert_contains "$(cfg network)" "option preshared_key '***'"
assert_contains "$(cfg sing-box)" '"uuid":"***"'
assert_contains "$(cfg sing-box)" '"username":"***"'
assert_contains "$(cfg podkop)" '"server":"***"'
assert_contains "$(cfg brimvale)" "option server_port '***'"
assert_contains "$(cfg telemt)" "option dc_override '***'"

case_begin "no canary in either format"
for out in "$text" "$json"; do
    assert_not_contains "$(printf '%s' "$out" | tr '[:lower:]' '[:upper:]')" "CANARY" "canary word"
    # values without the word: the WAN address, MAC device parts, sing-box ports
    for v in 100.66.12.34 5E:A7:19 2B:6D:E0 61873 62981 47731; do
        assert_not_contains "$out" "$v" "secret $v"
    done
done

case_begin "JSON stays one document for any selection"
for tests in "${SELECTIONS[@]}" empty-list; do
    assert_eq "" "$(json_ok "$(cat "$OUT/json-$tests")")" "JSON for [$tests]"
done
assert_eq "$(printf '%s' "$json" | jq -c 'del(.timestamp) | .services')" \
    "$(jq -c 'del(.timestamp) | .services' "$OUT/json-empty-list")" "empty list selects everything"
# the log alone: the interface table is read just for the masking
log=$(jq -r '.log' "$OUT/json-svc_log")
assert_contains "$log" "dial from 100.66.x.x:41822"
assert_not_contains "$log" "100.66.12.34"
assert_eq "false" "$(jq 'has("network")' "$OUT/json-svc_log")"
out=$(cat "$OUT/json-svc_overlap")
assert_eq '["timestamp","hostname","system","services","overlap"]' \
    "$(printf '%s' "$out" | jq -c 'keys_unsorted')" "overlap only"
assert_eq "0" "$(printf '%s' "$out" | jq '.services | length')"

case_begin "a service without its init script is absent, whatever its files"
fx=$(make_fixture)
printf "config section 'main'\n\tlist community_lists 'youtube'\n" > "$fx/etc/config/podkop"
out=$(sandbox --root "$fx" --path "$ROUTER_SAMPLE/bin" -- "$DIAG" --json --tests=svc_podkop,svc_stubby)
assert_eq "[]" "$(printf '%s' "$out" | jq -c '.services')"

case_begin "lookups keep their files private and leave nothing behind"
fx=$(make_fixture)
mkdir -p "$fx/etc/keep"
echo "precious" > "$fx/etc/keep/victim"
for i in 0 1 2 3 4; do ln -s /etc/keep/victim "$fx/tmp/.diag_ns_$i"; done
# The watchdog's sleep never ends by itself here: the run must not wait for
# it (it would if the sleep kept the output pipe open). Its pid is recorded
# so that the test can end it.
fakes="$BB_TMP/fakes"
mkdir -p "$fakes"
printf '#!/bin/sh\necho $$ >> %s/sleep.pids\nexec /bin/sleep 600\n' "$BB_TMP" > "$fakes/sleep"
chmod +x "$fakes/sleep"
scr=$(fresh_scratch)
out=$(timeout 60 "$ROUTER_SANDBOX" --path "$UCI_BIN_DIR" --root "$SAMPLE_ROOT" --root "$fx" \
          --scratch "$scr" --path "$ROUTER_SAMPLE/bin" --path "$fakes" -- "$DIAG" --tests=svc_overlap)
assert_eq 0 "$?" "run ended without waiting for the watchdog"
while read -r pid; do kill "$pid" 2>/dev/null; done 2>/dev/null < "$BB_TMP/sleep.pids"
assert_contains "$out" "youtube.com          142.250.74.46"
assert_eq "" "$(ls -A "$scr/upper/etc/keep" 2>/dev/null)" "planted link written through"
assert_eq "" "$(find "$scr/upper/tmp" -name '.diag_ns*' -newer "$fx/etc/keep/victim" 2>/dev/null)" "leftovers"

case_begin "lookups that never answer are ended by the watchdog"
# Here the watchdog's sleep returns at once and every lookup hangs: without
# the watchdog the run would wait for them (a minute, beyond the time limit).
fx=$(make_fixture)
mkdir -p "$fx/usr/share/fakecmd"
printf 'echo $$ >> %s/ns.pids\nexec /bin/sleep 60\n' "$BB_TMP" > "$fx/usr/share/fakecmd/nslookup.default.sh"
printf '#!/bin/sh\nexit 0\n' > "$fakes/sleep"
out=$(timeout 25 "$ROUTER_SANDBOX" --path "$UCI_BIN_DIR" --root "$fx" --path "$ROUTER_SAMPLE/bin" \
          --path "$fakes" -- "$DIAG" --json --tests=svc_overlap)
assert_eq 0 "$?" "run ended"
while read -r pid; do kill "$pid" 2>/dev/null; done 2>/dev/null < "$BB_TMP/ns.pids"
assert_eq "- - - - -" "$(printf '%s' "$out" | jq -r '[.overlap.nslookup[].ip] | join(" ")')"

case_begin "a log too large for the JSON buffer is shortened, the document stays valid"
fx=$(make_fixture)
mkdir -p "$fx/usr/share/fakecmd"
# control characters escape to six bytes each: the log alone exceeds the buffer
python3 -c '
import sys
line = "kern.info kernel: " + "\x01" * 900 + "\n"
sys.stdout.write(line * 150)' > "$fx/usr/share/fakecmd/logread"
sandbox --root "$SAMPLE_ROOT" --root "$fx" --path "$ROUTER_SAMPLE/bin" -- /bin/sh -c '
    "$1" --json --tests=svc_log,svc_singbox > "$2/big.json"; "$1" --tests=svc_log > "$2/big.txt"' \
    sh "$DIAG" "$OUT"
out=$(cat "$OUT/big.json")
assert_eq "" "$(json_ok "$out")" "JSON parses"
assert_contains "$(printf '%s' "$out" | jq -r '.log' | tail -c 200)" "обрезано" "marker at the end of the log"
assert_contains "$(printf '%s' "$out" | jq -r '.services[0].config')" '"outbounds"' "service config kept whole"
assert_contains "$(cat "$OUT/big.txt")" "КОНЕЦ ОТЧЁТА"
