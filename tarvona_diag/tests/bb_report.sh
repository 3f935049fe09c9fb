#!/bin/bash
# tarvona_diag end to end in the router sandbox: the sample router's text
# report, CGI headers, request precedence, hostile input, and fixture routers
# for the ping groups and the local proxy check.
# shellcheck source-path=SCRIPTDIR
. "$ROUTER_TESTLIB/bb.sh"
. "$ROUTER_SRC/bb_lib.sh"

DIAG=$BIN_TARVONA_DIAG
FAKES=$ROUTER_SAMPLE/bin
SAMPLE=$ROUTER_SAMPLE/root
END_MARKER="$(printf '%80s' '' | tr ' ' '#')"

# run_diag ROOT... -- ARGS: runs the program on the stacked fixture trees.
run_diag() {
    local roots=()
    while [ "$1" != "--" ]; do roots+=(--root "$1"); shift; done
    shift
    sandbox "${roots[@]}" --path "$FAKES" --net -- "$DIAG" "$@"
}

key() { printf '%s' "$*" | tr -c 'A-Za-z0-9.-' '_'; }

# ---------------------------------------------------------------- sample

case_begin "sample router: every system and network block, masked"
out=$(run_diag "$SAMPLE" -- --tests=sys_cpu,sys_memory,sys_disk,net_interfaces,net_links,net_routes,net_routes6,net_arp,net_dns,net_conntrack,net_traffic,net_ping,net_wifi,net_nftables)
rc=$?
assert_eq 0 "$rc" "exit status"
for h in "--- Версия OpenWrt ---" "DISTRIB_DESCRIPTION=OpenWrt 23.05.3 r23809-234f1a2efa" \
         "--- Версия ядра ---"$'\n'"5.15.150" "--- Uptime ---" "--- Загрузка CPU ---"$'\n'"0.42 0.31 0.25" \
         "Mem:        493516       88244      353472        1124       51800      366356" \
         "overlayfs:/overlay     53.9M    1.3M   52.6M   2% /" \
         "--- Системное время ---"$'\n'"Tue Dec  8 21:24:22 MSK 2026" \
         "pppoe-wan        UP           100.66.x.x"$'\n' \
         "br-lan           UP           192.168.1.1/24" \
         "wg0              UP           10.7.0.2/32" \
         "lan2             link down" \
         "eth1             UP           94:83:c4:xx:xx:xx" \
         "default via - dev pppoe-wan "$'\n' \
         "default via fe80::1 dev pppoe-wan"$'\n' \
         "192.168.1.20 dev br-lan lladdr 3c:22:fb:xx:xx:xx REACHABLE" \
         "nameserver 198.51.100.53"$'\n'"nameserver 198.51.100.54"$'\n' \
         "Текущих соединений: 217"$'\n'"Максимум соединений: 16384" \
         "pppoe-wan        1882133410       1702001   421551012        905113" \
         "Через pppoe-wan:"$'\n'"  1.1.1.1: OK (11.48 ms)"$'\n'"  google.com: OK (24.91 ms)"$'\n'"Opera-proxy → google.com: [✓] HTTP 200" \
         "--- Беспроводные интерфейсы ---"$'\n'"phy0-ap0  ESSID: \"HomeNet\"" \
         "Access Point: 94:83:C4:xx:xx:xx" \
         "--- MT76 RX Queues ---" "--- MT76 HW Queues ---" "--- dmesg MT7x ---" \
         "--- Правила nftables ---"$'\n'"table inet fw4 {"; do
    assert_contains "$out" "$h"
done
assert_contains "$out" "Hostname: OpenWrt"
# Never an unmasked WAN address, link MAC, client MAC or hidden interface.
for leak in 100.66.12.34 94:83:c4:2b 94:83:C4:2B 3c:22:fb:10 "sit0@NONE" $'\nlo  ' CANARY; do
    assert_not_contains "$out" "$leak"
done
assert_not_contains "$out" "СЕРВИСЫ"
assert_eq "$END_MARKER" "$(printf '%s' "$out" | tail -n 1)" "last line"

case_begin "sample router: system and network report, byte for byte"
scr=$(fresh_scratch)
run_diag "$SAMPLE" -- --tests=sys_cpu,sys_memory,sys_disk,net_interfaces,net_links,net_routes,net_routes6,net_arp,net_dns,net_conntrack,net_traffic,net_ping,net_nftables \
    | sed 's/^Дата и время: .*/Дата и время: TIMESTAMP/' > "$scr/report"
assert_file_eq "$ROUTER_SRC/golden/sample_system_network.txt" "$scr/report"

# ---------------------------------------------------------------- CGI

# The CGI variants run in one sandbox; each answer lands in its own file.
cgi=$(fresh_scratch)
sandbox --root "$SAMPLE" --path "$FAKES" --net --scratch "$cgi" -- bash -c '
    d=$1 o=$2
    REQUEST_METHOD=GET QUERY_STRING="tests=sys_cpu" "$d" > "$o/resp"
    REQUEST_METHOD= QUERY_STRING="format=json&tests=sys_cpu" "$d" > "$o/json"
    REQUEST_METHOD=GET QUERY_STRING="action=download&format=json&tests=sys_cpu" "$d" > "$o/dl"
    REQUEST_METHOD=GET "$d" -d --tests=sys_cpu > "$o/txtdl"
    "$d" -d --tests=sys_cpu > "$o/shelldl"
    REQUEST_METHOD=GET FAKECMD_LOG=/tmp/help_calls "$d" -d --help --tests=net_ping > "$o/help"
    echo $? > "$o/help.rc"' inner "$DIAG" "$cgi"

case_begin "CGI: normal response headers, byte for byte"
want=$'Content-Type: text/plain; charset=utf-8\r\nCache-Control: no-cache, no-store, must-revalidate\r\nPragma: no-cache\r\nExpires: 0\r\n\r\n'
assert_eq "$(printf '%s' "$want" | od -c)" "$(head -c ${#want} "$cgi/resp" | od -c)" "headers"
assert_eq "$END_MARKER" "$(tail -c +$((${#want} + 1)) "$cgi/resp" | head -n 1)" "report follows"

case_begin "CGI: JSON content type"
assert_eq $'Content-Type: application/json; charset=utf-8\r' "$(head -n 1 "$cgi/json")" \
    "empty REQUEST_METHOD still CGI"

case_begin "CGI: download of the JSON report"
head -n 4 "$cgi/dl" > "$cgi/dl.head"
assert_eq $'Content-Type: text/plain; charset=utf-8\r' "$(sed -n 1p "$cgi/dl.head")" "type"
if grep -qE $'^Content-Disposition: attachment; filename="tarvona_diag_[0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{2}_[0-9]{2}_[0-9]{2}\\.json"\r$' "$cgi/dl.head"; then bb_ok; else bb_fail "disposition: $(sed -n 2p "$cgi/dl.head")"; fi
assert_eq $'Cache-Control: no-cache, no-store, must-revalidate\r' "$(sed -n 3p "$cgi/dl.head")" "cache"
assert_eq $'\r' "$(sed -n 4p "$cgi/dl.head")" "end of headers"
assert_not_contains "$(cat "$cgi/dl")" "Pragma"
assert_eq "{" "$(sed -n 5p "$cgi/dl" | head -c 1)" "JSON body"

case_begin "CGI: text download name, and -d in a shell prints no header"
assert_contains "$(sed -n 2p "$cgi/txtdl")" '.txt"'
assert_eq "$END_MARKER" "$(head -n 1 "$cgi/shelldl")" "shell download"

case_begin "help: only the text, exit 0, no header even under CGI"
assert_eq 0 "$(cat "$cgi/help.rc")" "exit status"
assert_eq "QZ Diagnostics - утилита диагностики роутера OpenWrt" "$(head -n 1 "$cgi/help")"
assert_eq "Пример: tarvona_diag --tests=sys_uptime,net_ping,svc_cron" "$(tail -n 1 "$cgi/help")"
assert_eq 20 "$(wc -l < "$cgi/help")" "help lines"
assert_eq "no" "$([ -e "$cgi/upper/tmp/help_calls" ] && echo yes || echo no)" "no command ran"

case_begin "a reader gone before the answer: quiet, status 0 under CGI, 1 in a shell"
# stdout is a pipe whose reading end is already closed: every write fails.
closed_stdout() { # $1: 1 for a CGI request
    python3 - "$ROUTER_SANDBOX" "$SAMPLE" "$FAKES" "$DIAG" "$1" <<'PY'
import os, subprocess, sys
sbx, root, fakes, diag, cgi = sys.argv[1:6]
r, w = os.pipe()
os.close(r)
env = dict(os.environ)
args = [diag]
if cgi == "1":
    env.update(REQUEST_METHOD="GET", QUERY_STRING="tests=sys_cpu")
else:
    args.append("--tests=sys_cpu")
p = subprocess.run([sbx, "--root", root, "--path", fakes, "--net", "--"] + args,
                   stdout=w, stderr=subprocess.PIPE, env=env)
print(p.returncode, len(p.stderr))
PY
}
assert_eq "0 0" "$(closed_stdout 1)" "CGI: exit status and bytes on stderr with a closed stdout"
assert_eq "1 0" "$(closed_stdout 0)" "shell: exit status and bytes on stderr with a closed stdout"

case_begin "output that cannot be written: exit 1 and a message"
# /dev/full, a full flash (a tmpfs of one page, smaller than the report),
# the help text, and under CGI a failure other than the client going away.
scr=$(fresh_scratch)
sandbox --root "$SAMPLE" --path "$FAKES" --net --scratch "$scr" -- bash -c '
    d=$1 o=/tmp/out
    mkdir -p $o /tmp/flash && mount -t tmpfs -o size=4k tmpfs /tmp/flash || exit 1
    run() { name=$1; shift; "$@" 2> $o/$name.err; echo $? > $o/$name.rc; }
    run devfull "$d" --tests=net_wifi > /dev/full
    run flash "$d" --tests=net_wifi > /tmp/flash/report
    cp /tmp/flash/report $o/flash.report
    run help "$d" --help > /dev/full
    run cgi env REQUEST_METHOD=GET QUERY_STRING=tests=sys_cpu "$d" > /dev/full' inner "$DIAG"
msg="tarvona_diag: ошибка записи в стандартный вывод: No space left on device"
for c in devfull flash help cgi; do
    assert_eq 1 "$(cat "$scr/upper/tmp/out/$c.rc")" "$c: exit status"
    assert_eq "$msg" "$(cat "$scr/upper/tmp/out/$c.err")" "$c: message"
done
assert_eq 4096 "$(wc -c < "$scr/upper/tmp/out/flash.report")" "full flash: the part that fitted"

# ---------------------------------------------------------------- request

case_begin "arguments win over the query"
out=$(sandbox --root "$SAMPLE" --path "$FAKES" --net --env "QUERY_STRING=format=json&tests=net_dns" \
    -- "$DIAG" --format=text)
assert_eq "$(printf '%80s' '' | tr ' ' '#')" "$(printf '%s' "$out" | head -n 1)" "text report"
assert_contains "$out" "--- DNS серверы ---"
# Only the selection plus the four always-on system tests.
assert_contains "$out" "DISTRIB_ID=OpenWrt"
assert_contains "$out" $'--- Версия ядра ---\n5.15.150\n\n--- Uptime ---\n21:24:22 up 3 days'
assert_contains "$out" $'--- Системное время ---\nTue Dec  8 21:24:22 MSK 2026\n\n'
for block in "Загрузка CPU" "Память" "Дисковое" "Сетевые интерфейсы" "Проверка связи" "СЕРВИСЫ"; do
    assert_not_contains "$out" "$block"
done

case_begin "hostile query strings and arguments"
long=$(head -c 5000 /dev/zero | tr '\0' 'A')
queries=(
    "tests=net_dns;touch%20/tmp/pwned&format=text"
    "tests=\$(touch /tmp/pwned),net_dns"
    "tests=\`touch /tmp/pwned\`"
    "action&format&tests"
    "%%%%=%&tests=%00%ff%2C&=&&&"
    "tests=$long&action=$long&format=$long"
    $'tests=\x01\x02\xfe\xff,net_dns\x7f&format=\xd0\xb9'
    "format=json&format=text&tests=net_dns&tests=net_arp"
)
# One sandbox runs every case; each answer lands in its own file.
scr=$(fresh_scratch)
printf '%s\0' "${queries[@]}" > "$scr/queries"
sandbox --root "$SAMPLE" --path "$FAKES" --net --scratch "$scr" --env FAKECMD_LOG=/tmp/calls \
    -- bash -c '
    i=0
    while IFS= read -r -d "" q; do
        QUERY_STRING=$q "$1" "--tests=$q" "--format=$2" "-x" "--" "$q" > "$3/out.$i"
        echo $? > "$3/rc.$i"
        i=$((i + 1))
    done < "$3/queries"' inner "$DIAG" "$long" "$scr"
for i in "${!queries[@]}"; do
    q=${queries[i]}
    assert_eq 0 "$(cat "$scr/rc.$i")" "exit status for [${q:0:40}]"
    assert_eq "$END_MARKER" "$(tail -n 1 "$scr/out.$i")" "complete report for [${q:0:40}]"
done
assert_eq "no" "$([ -e "$scr/upper/tmp/pwned" ] && echo yes || echo no)" "no injected command"
assert_contains "$(cat "$scr/upper/tmp/calls")" "uname -r"
assert_not_contains "$(cat "$scr/upper/tmp/calls")" "pwned"

# ---------------------------------------------------------------- fixtures

# A router with an AmneziaWG tunnel, PPPoE default route, failing pings and
# a local proxy that answers nothing.
fx=$(make_fixture)
mkdir -p "$fx/sys/class/net/awg10" "$fx/etc/init.d" "$fx/usr/share/fakecmd"
# No "running" action: only the status text says it runs.
printf '#!/bin/sh\ncase "$1" in status) echo "opera-proxy is running" ;; *) echo usage >&2; exit 1 ;; esac\n' \
    > "$fx/etc/init.d/opera-proxy"
chmod +x "$fx/etc/init.d/opera-proxy"
echo "default dev pppoe-wan proto static scope link" > "$fx/usr/share/fakecmd/$(key ip route show default)"
printf '000' > "$fx/usr/share/fakecmd/curl.default"
cp "$SAMPLE/usr/share/fakecmd/ping.default.sh" "$fx/usr/share/fakecmd/"

case_begin "fixture: awg10 first, failed pings, proxy answering nothing"
scr=$(fresh_scratch)
out=$(sandbox --root "$fx" --path "$FAKES" --net --scratch "$scr" --env FAKECMD_LOG=/tmp/calls \
    -- "$DIAG" --tests=net_ping)
assert_contains "$out" $'--- Проверка связи ---\nЧерез awg10:\n  1.1.1.1: FAIL (0.00 ms)\n  google.com: FAIL (0.00 ms)\nЧерез pppoe-wan:\n  1.1.1.1: FAIL (0.00 ms)\n  google.com: FAIL (0.00 ms)\nOpera-proxy → google.com: [✗] 000\n\n'
calls=$(cat "$scr/upper/tmp/calls")
assert_contains "$calls" "ping -c 1 -W 3 -I awg10 1.1.1.1"
assert_contains "$calls" "ping -c 1 -W 3 -I pppoe-wan google.com"
assert_contains "$calls" "curl -x http://127.0.0.1:18080 -s -o /dev/null -w %{http_code} --connect-timeout 5 --max-time 10 https://google.com"

case_begin "fixture: no default route pings from wan; proxy stopped is not checked"
fx2=$(make_fixture)
mkdir -p "$fx2/etc/init.d" "$fx2/usr/share/fakecmd"
printf '#!/bin/sh\n[ "$1" = status ] && echo "inactive"\nexit 1\n' > "$fx2/etc/init.d/opera-proxy"
chmod +x "$fx2/etc/init.d/opera-proxy"
: > "$fx2/usr/share/fakecmd/$(key ip route show default)"
: > "$fx2/usr/share/fakecmd/pidof.default"
cp "$SAMPLE/usr/share/fakecmd/ping.default.sh" "$fx2/usr/share/fakecmd/"
out=$(sandbox --root "$fx2" --path "$FAKES" --net -- "$DIAG" --tests=net_ping)
assert_contains "$out" $'Через wan:\n  1.1.1.1: FAIL (0.00 ms)\n  google.com: FAIL (0.00 ms)\n\n'
assert_not_contains "$out" "Opera-proxy"
assert_not_contains "$out" "awg10"

case_begin "fixture: empty router still answers with every heading"
fx3=$(make_fixture)
mkdir -p "$fx3/usr/share/fakecmd" "$fx3/proc/sys/kernel"
echo bare > "$fx3/proc/sys/kernel/hostname"
mkdir -p "$fx3/tmp/resolv.conf.d"
echo "nameserver 192.0.2.53" > "$fx3/tmp/resolv.conf.d/resolv.conf.auto"
echo "nameserver 192.0.2.99" > "$fx3/etc/resolv.conf"
for c in "uname -r" uptime date free "df -h" "ip -br addr" "ip -br link" "ip route" "ip -6 route" \
         "ip neigh" "ip route show default" "nft list ruleset" iwinfo "iw dev" dmesg; do
    : > "$fx3/usr/share/fakecmd/$(key "$c")"
done
out=$(sandbox --root "$fx3" --path "$FAKES" --net -- "$DIAG" \
    --tests=sys_memory,sys_disk,net_interfaces,net_links,net_routes,net_arp,net_dns,net_wifi,net_nftables)
assert_eq 0 $? "exit status"
assert_contains "$out" "Hostname: bare"
assert_contains "$out" $'DISTRIB_ID=\nDISTRIB_RELEASE=\n'
assert_contains "$out" $'--- Сетевые интерфейсы ---\n\n--- Статус линков ---\n\n--- Таблица маршрутизации ---\n\n--- ARP таблица ---\n\n\n--- DNS серверы ---\nnameserver 192.0.2.53\n\n'
assert_not_contains "$out" "Беспроводные"
assert_not_contains "$out" "MT76"
assert_not_contains "$out" "nftables"
assert_eq "$END_MARKER" "$(printf '%s' "$out" | tail -n 1)" "end marker"
