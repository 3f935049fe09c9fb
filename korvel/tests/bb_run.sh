#!/bin/bash
# Command line, id check, duplicate-run guard, marker files, log sink, the
# detached configuration of "add", the switch, and the hotplug hook.
# shellcheck source-path=SCRIPTDIR source=bb_lib.sh
. "$ROUTER_SRC/bb_lib.sh"

# Without the unknown_modems option (the program's default) ids without a
# catalogue line are ignored as they always were.
no_unknown_modems() { printf "\nconfig korvel 'main'\n\toption modem ''\n" > "$1/etc/config/korvel"; }

case_begin "command line: banner, -santa, id check, unknown ids and words"
fx=$(new_router)
no_unknown_modems "$fx"
scr=$(fresh_scratch)
out=$(run_in "$fx" "$scr" env K="$KORVEL" bash -c '
    r() { echo "== $*"; "$K" "$@" 2>&1; echo "rc=$?"; }
    r; r -santa; r -santa add 12d1/1506/102
    r add 12d1_1506/102; r add "12d1 1506"; r add "12d1/*"; r remove 12d1-1506; r add 12d1/1506/102.
    r add 1234/1/1; r remove 1234/1/1; r 1234/1/1; r frob 12d1/1506/102' )
assert_eq "== 
========================================
 Tarvona Korvel                         
========================================
rc=0
== -santa
16?
rc=0
== -santa add 12d1/1506/102
16?
rc=0
== add 12d1_1506/102
rc=0
== add 12d1 1506
rc=0
== add 12d1/*
rc=0
== remove 12d1-1506
rc=0
== add 12d1/1506/102.
rc=0
== add 1234/1/1
rc=0
== remove 1234/1/1
rc=0
== 1234/1/1
Modem 1234/1/1 not found in configurations.
rc=0
== frob 12d1/1506/102
rc=0" "$out" "outputs"
assert_eq "" "$(trace_of "$scr")" "nothing run"
assert_eq "" "$(written_packages "$scr")" "nothing written"
assert_eq "" "$(kmsg_of "$scr")" "nothing logged"

case_begin "no catalogue: add and remove are silent, the one-word form says not found"
fx=$(new_router)
no_unknown_modems "$fx"
rm "$fx/usr/share/korvel/modems.conf"
scr=$(fresh_scratch)
out=$(run_in "$fx" "$scr" env K="$KORVEL" bash -c '"$K" add 12d1/1506/102; "$K" remove 12d1/1506/102; "$K" 12d1/1506/102; echo "rc=$?"' 2>&1)
assert_eq "Modem 12d1/1506/102 not found in configurations.
rc=0" "$out" "outputs"

case_begin "automatic configuration off: only smstools3 is started; nothing written or logged"
for switch in "option korvel '0'" ""; do
    fx=$(new_router)
    printf "\nconfig general\n\t%s\n\nconfig modeminfo\n" "$switch" > "$fx/etc/config/modeminfo"
    : > "$fx/dev/cdc-wdm0"
    scr=$(fresh_scratch)
    korvel "$fx" "$scr" 12d1/1506/102
    assert_eq 0 "$RC" "[$switch] status"
    assert_eq "pidof smsd
pidof smstools3
smstools3 start" "$(trace_of "$scr")" "[$switch] calls"
    assert_eq "" "$(written_packages "$scr")" "[$switch] no package written"
    assert_missing "$scr/upper/etc/atcommands.user" "[$switch] AT list written"
    assert_eq "" "$OUT$(kmsg_of "$scr")" "[$switch] no log"
done

case_begin "smstools3: already running is not started again; a script that is not executable is left alone"
fx=$(new_router)
sed -i "s/option korvel '1'/option korvel '0'/" "$fx/etc/config/modeminfo"
echo "4242" > "$fx/tmp/fake/pidof.smstools3"
scr=$(fresh_scratch)
korvel "$fx" "$scr" 12d1/1506/102
assert_eq "pidof smsd
pidof smstools3" "$(trace_of "$scr")" "running"
chmod -x "$fx/etc/init.d/smstools3"
scr=$(fresh_scratch)
korvel "$fx" "$scr" 12d1/1506/102
assert_eq "" "$(trace_of "$scr")" "not executable"

case_begin "markers: a run within 9 seconds is quiet and renews the marker; an older one logs"
fx=$(new_router)
sed -i "s/option korvel '1'/option korvel '0'/" "$fx/etc/config/modeminfo"
usb_device "$fx" 1-1 2c7c Quectel 1
now=$(date +%s)
scr=$(fresh_scratch)
korvel_aged "$fx" "$scr" /var/run/kv_init_log 8 add 2c7c/125/318
assert_eq "" "$OUT$(kmsg_of "$scr")" "fresh init marker: no initialization line"
if [ "$(stat -c %Y "$scr/upper/var/run/kv_init_log")" -ge "$now" ]; then bb_ok; else bb_fail "init marker not renewed"; fi
scr=$(fresh_scratch)
korvel_aged "$fx" "$scr" /var/run/kv_init_log 10 add 2c7c/125/318
assert_eq "korvel: modem initialization" "$OUT" "10 seconds old: stale"

fx=$(new_router)
: > "$fx/dev/cdc-wdm0"
scr=$(fresh_scratch)
korvel_aged "$fx" "$scr" /var/run/kv_log 5 12d1/1506/102
assert_eq "korvel: usb 12d1/1506/102: NCM mode (catalogue line 12d1/1506/*)" "$OUT$(kmsg_of "$scr")" \
    "fresh run marker: quiet configuration, the chosen mode still printed"
assert_contains "$(trace_of "$scr")" "reload_config" "configuration still done"
korvel_aged "$fx" "$scr" /var/run/kv_log 12 12d1/1506/102
assert_eq 3 "$(kmsg_of "$scr" | wc -l)" "12 seconds later: logs again"
assert_eq "" "$(cat "$scr/upper/var/run/kv_log")" "marker stays empty"

case_begin "log lines reach standard error when /dev/kmsg cannot be opened"
fx=$(new_router)
rm "$fx/dev/kmsg"
: > "$fx/dev/cdc-wdm0"
scr=$(fresh_scratch)
korvel "$fx" "$scr" 12d1/1506/102
assert_eq "korvel: starting modem configuration
korvel: usb 12d1/1506/102; model E3372h
korvel: usb 12d1/1506/102: NCM mode (catalogue line 12d1/1506/*)
korvel: E3372h modem setup complete" "$OUT" "stderr (and the chosen mode on standard output)"

case_begin "duplicate-run guard: only another korvel process stops the configuration"
fx=$(new_router)
: > "$fx/dev/cdc-wdm0"
usb_device "$fx" 1-1 2c7c Quectel 1
usb_tty "$fx" ttyUSB0 1-1 0
echo "@self @parent" > "$fx/tmp/fake/pidof.korvel"
scr=$(fresh_scratch)
korvel "$fx" "$scr" add 12d1/1506/102
assert_contains "$(trace_of "$scr")" "reload_config" "own id and parent's id: configured"
echo "@self 999999" > "$fx/tmp/fake/pidof.korvel"
echo '{"modem":{"generic":{"drivers":["qmi_wwan"],"device":"/sys/x"}}}' > "$fx/tmp/fake/modem.json"
scr=$(fresh_scratch)
korvel "$fx" "$scr" add 2c7c/125/318
assert_eq "write /sys/bus/usb-serial/drivers/option1/new_id [2c7c 125]
pidof korvel" "$(trace_of "$scr" | grep -v '^sleep')" "another korvel: binding only"
assert_eq "korvel: modem initialization" "$OUT" "initialization still logged"

case_begin "add returns before the detached configuration ends"
fx=$(new_router)
: > "$fx/dev/cdc-wdm0"
cat > "$fx/tmp/fake/gate.sh" <<'SH'
# reload_config of this scenario waits until the add process has returned.
read -r _ < /tmp/fake/gate
rm -f /tmp/fake/gate.sh
SH
scr=$(fresh_scratch)
out=$(run_in "$fx" "$scr" env K="$KORVEL" bash -c '
    mkfifo /tmp/fake/gate
    timeout 30 "$K" add 12d1/1506/102; echo "add rc=$?" >> /tmp/trace
    echo go > /tmp/fake/gate' 2>&1)
t=$(trace_of "$scr")
assert_eq "pidof korvel
add rc=0
reload_config" "$(head -3 <<<"$t")" "order"
assert_contains "$out" "modem setup complete" "configuration finished"

case_begin "hotplug hook hands add and remove with the product id to korvel"
fx=$(new_router)
mkdir -p "$fx/usr/bin"
printf '#!/bin/sh\n. "%s/_record"\nrecord korvel "$@"\n' "$FAKES" > "$fx/usr/bin/korvel"
chmod +x "$fx/usr/bin/korvel"
scr=$(fresh_scratch)
run_in "$fx" "$scr" sh -c '
    for a in add:12d1/1506/102 remove:12d1/1506/102 bind:12d1/1506/102 add: change:1/2/3; do
        ACTION=${a%%:*} PRODUCT=${a#*:} sh "$1"
    done' _ "$DATA/hotplug/30-korvel"
assert_eq "korvel add 12d1/1506/102
korvel remove 12d1/1506/102" "$(trace_of "$scr")" "calls"

korvel_finish
