#!/bin/bash
# tarvona_diag as a CGI program behind a real web server (busybox httpd) on
# loopback inside the sandbox: a normal text report, a JSON answer and a JSON
# download, fetched with curl; headers checked, bodies parsed.
. "$ROUTER_TESTLIB/bb.sh"
OUT="$BB_TMP/out"
mkdir -p "$OUT"

sandbox --root "$ROUTER_SAMPLE/root" --path "$ROUTER_SAMPLE/bin" --net -- /bin/sh -c '
    diag=$1 out=$2
    mkdir -p /tmp/www/cgi-bin && ln -s "$diag" /tmp/www/cgi-bin/diag || exit 1
    busybox httpd -f -p 127.0.0.1:8080 -h /tmp/www & httpd=$!
    # ready once it accepts a connection (any status will do)
    i=0
    until curl -s -o /dev/null http://127.0.0.1:8080/; do
        i=$((i + 1)); [ $i -lt 200 ] || { kill $httpd; exit 1; }; sleep 0.05
    done
    base=http://127.0.0.1:8080/cgi-bin/diag
    curl -s -D "$out/text.h" -o "$out/text.b" "$base?tests=svc_podkop,svc_network,svc_log"
    curl -s -D "$out/json.h" -o "$out/json.b" "$base?format=json&tests=svc_singbox,svc_telemt"
    curl -s -D "$out/dl.h" -o "$out/dl.b" "$base?action=download&format=json&tests=net_ping,svc_overlap"
    kill $httpd' sh "$BIN_TARVONA_DIAG" "$OUT"
assert_eq 0 "$?" "web server session"

header() { tr -d '\r' < "$1" | grep -i "^$2:" | head -1; }

case_begin "text report"
assert_contains "$(head -1 "$OUT/text.h")" " 200 "
assert_eq "Content-Type: text/plain; charset=utf-8" "$(header "$OUT/text.h" Content-Type)"
assert_eq "Cache-Control: no-cache, no-store, must-revalidate" "$(header "$OUT/text.h" Cache-Control)"
assert_eq "Pragma: no-cache" "$(header "$OUT/text.h" Pragma)"
assert_eq "Expires: 0" "$(header "$OUT/text.h" Expires)"
body=$(cat "$OUT/text.b")
assert_contains "$body" "=== СЕРВИС: podkop ==="
assert_contains "$body" "=== СИСТЕМНЫЙ ЛОГ ==="
assert_contains "$body" "КОНЕЦ ОТЧЁТА"
assert_not_contains "$(printf '%s' "$body" | tr 'a-z' 'A-Z')" "CANARY"

case_begin "JSON answer"
assert_eq "Content-Type: application/json; charset=utf-8" "$(header "$OUT/json.h" Content-Type)"
assert_eq "sing-box telemt" "$(jq -r '[.services[].name] | join(" ")' "$OUT/json.b")" "body parses"
assert_not_contains "$(tr 'a-z' 'A-Z' < "$OUT/json.b")" "CANARY"

case_begin "JSON download"
assert_eq "Content-Type: text/plain; charset=utf-8" "$(header "$OUT/dl.h" Content-Type)"
disp=$(header "$OUT/dl.h" Content-Disposition)
if [[ "$disp" =~ ^Content-Disposition:\ attachment\;\ filename=\"tarvona_diag_[0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{2}_[0-9]{2}_[0-9]{2}\.json\"$ ]]; then
    bb_ok
else
    bb_fail "disposition: [$disp]"
fi
assert_eq "" "$(header "$OUT/dl.h" Pragma)" "no Pragma on a download"
assert_eq "true" "$(jq 'has("network") and has("overlap") and (.overlap.nslookup | length) == 5' "$OUT/dl.b")"
