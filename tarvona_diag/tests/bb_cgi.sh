#!/bin/bash
# tarvona_diag as a CGI program behind a real web server (busybox httpd) on
# loopback inside the sandbox: a normal text report, a JSON answer and a JSON
# download, fetched with curl; headers checked, bodies parsed.
. "$ROUTER_TESTLIB/bb.sh"
OUT="$BB_TMP/out"
mkdir -p "$OUT"

sandbox --root "$ROUTER_SAMPLE/root" --path "$ROUTER_SAMPLE/bin" --net -- /bin/sh -c '
    diag=$1 out=$2
    . "$3"
    serve_cgi "$diag" || exit 1
    curl -s -D "$out/text.h" -o "$out/text.b" "$CGI_BASE?tests=svc_podkop,svc_network,svc_log"
    curl -s -D "$out/json.h" -o "$out/json.b" "$CGI_BASE?format=json&tests=svc_singbox,svc_telemt"
    curl -s -D "$out/dl.h" -o "$out/dl.b" "$CGI_BASE?action=download&format=json&tests=net_ping,svc_overlap"
    kill $HTTPD_PID' sh "$BIN_TARVONA_DIAG" "$OUT" "$ROUTER_SRC/bb_inside.sh"
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
assert_not_contains "$(printf '%s' "$body" | tr '[:lower:]' '[:upper:]')" "CANARY"

case_begin "JSON answer"
assert_eq "Content-Type: application/json; charset=utf-8" "$(header "$OUT/json.h" Content-Type)"
assert_eq "sing-box telemt" "$(jq -r '[.services[].name] | join(" ")' "$OUT/json.b")" "body parses"
assert_not_contains "$(tr '[:lower:]' '[:upper:]' < "$OUT/json.b")" "CANARY"

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
