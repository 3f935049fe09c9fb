#!/bin/bash
# The router sandbox must show the fixture on the router's paths and keep
# every write away from the host.
. "$ROUTER_TESTLIB/bb.sh"

fx=$(make_fixture)
mkdir -p "$fx/proc/sys/kernel" "$fx/sys/bus/usb/devices/1-1" "$fx/dev" "$fx/usr/share/korvel" "$fx/opt/zapret2"
printf "\nconfig system\n\toption hostname 'fixture'\n" > "$fx/etc/config/system"
echo fixture-host > "$fx/proc/sys/kernel/hostname"
echo 2c7c > "$fx/sys/bus/usb/devices/1-1/idVendor"
: > "$fx/dev/kmsg"
fakes=$(mktemp -d "$BB_TMP/bin.XXXXXX")
printf '#!/bin/sh\necho "fake ip $*"\n' > "$fakes/ip"; chmod +x "$fakes/ip"

host_config_before=$(ls -la /etc/config 2>&1)
host_hostname=$(cat /proc/sys/kernel/hostname)

case_begin "fixture paths are visible"
scr=$(fresh_scratch)
out=$(sandbox --root "$fx" --path "$fakes" --scratch "$scr" -- sh -c '
    cat /etc/config/system; cat /proc/sys/kernel/hostname; cat /sys/bus/usb/devices/1-1/idVendor
    ip addr; test -d /usr/share/korvel && echo korvel-dir; test -d /opt/zapret2 && echo zapret-dir
    grep -c . /proc/self/status >/dev/null && echo self-ok; test -c /dev/null && echo devnull-ok
    sh -c "test -d /proc/\$\$/task && echo pid-ok"')
assert_contains "$out" "option hostname 'fixture'"
assert_contains "$out" "fixture-host"
assert_contains "$out" "2c7c"
assert_contains "$out" "fake ip addr"
assert_contains "$out" "korvel-dir"
assert_contains "$out" "zapret-dir"
assert_contains "$out" "self-ok"
assert_contains "$out" "devnull-ok"
assert_contains "$out" "pid-ok" "a child's /proc/<pid>"

case_begin "writes stay in the scratch tree"
scr=$(fresh_scratch)
sandbox --root "$fx" --scratch "$scr" -- sh -c '
    echo "config x" > /etc/config/written; echo 1 > /var/run/test.pid
    echo "korvel: hi" > /dev/kmsg; echo bound > /sys/bus/usb/devices/1-1/idVendor'
assert_eq "config x" "$(cat "$scr/upper/etc/config/written")" "upper /etc/config"
assert_eq "1" "$(cat "$scr/upper/var/run/test.pid")" "upper /var/run"
assert_eq "korvel: hi" "$(cat "$scr/upper/dev/kmsg")" "upper /dev/kmsg"
assert_eq "bound" "$(cat "$scr/upper/sys/bus/usb/devices/1-1/idVendor")" "upper /sys"
assert_eq "2c7c" "$(cat "$fx/sys/bus/usb/devices/1-1/idVendor")" "fixture unchanged"
assert_eq "$host_config_before" "$(ls -la /etc/config 2>&1)" "host /etc/config"
assert_eq "$host_hostname" "$(cat /proc/sys/kernel/hostname)" "host hostname"
if [ -e /var/run/test.pid ]; then bb_fail "host /var/run written"; else bb_ok; fi

case_begin "private network namespace"
out=$(sandbox --root "$fx" --net -- sh -c 'cat /proc/net/dev')
assert_contains "$out" "lo:"
host_ifaces=$(awk -F: 'NR>2 {print $1}' /proc/net/dev | tr -d ' ' | grep -vx lo | head -1)
if [ -n "$host_ifaces" ]; then assert_not_contains "$out" "$host_ifaces:" "host interface"; fi

case_begin "exit status passes through"
sandbox --root "$fx" -- sh -c 'exit 7'
assert_eq 7 "$?" "exit status"

# The checkout, the scratch directory and the fixture may all lie under a
# directory that the sandbox covers itself.
for base in /tmp /var/tmp; do
    case_begin "scratch and fixture under $base"
    far=""
    bb_tmpdir far "$base"
    cp -a "$fx" "$far/fx"
    mkdir -p "$far/fx/var/tmp" && echo from-fixture > "$far/fx/tmp/fixture-file"
    out=$(sandbox --root "$far/fx" --path "$fakes" --scratch "$far/scr" -- sh -c '
        cat /etc/config/system; cat /tmp/fixture-file; cat /proc/sys/kernel/hostname; ip addr
        grep -c . /proc/self/status >/dev/null && echo self-ok; echo w >/dev/null && echo devnull-ok
        echo t > /tmp/written; echo v > /var/tmp/written; echo 1 > /var/run/test.pid
        echo out > "$1/from-inside"' sh "$BB_TMP" 2>&1)
    assert_eq 0 "$?" "sandbox status ($out)"
    assert_contains "$out" "option hostname 'fixture'"
    assert_contains "$out" "from-fixture"
    assert_contains "$out" "fixture-host"
    assert_contains "$out" "fake ip addr"
    assert_contains "$out" "self-ok"
    assert_contains "$out" "devnull-ok"
    assert_eq "t" "$(cat "$far/scr/upper/tmp/written" 2>&1)" "upper /tmp"
    assert_eq "v" "$(cat "$far/scr/upper/var/tmp/written" 2>&1)" "upper /var/tmp"
    assert_eq "1" "$(cat "$far/scr/upper/var/run/test.pid" 2>&1)" "upper /var/run"
    # The build tree (and the checkout) stay the host's, wherever they lie.
    assert_eq "out" "$(cat "$BB_TMP/from-inside" 2>&1)" "written to the build tree"
    rm -f "$BB_TMP/from-inside"
    for f in /tmp/written /var/tmp/written /var/run/test.pid; do
        if [ -e "$f" ]; then bb_fail "host $f written"; else bb_ok; fi
    done
done
