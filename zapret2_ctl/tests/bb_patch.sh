#!/bin/bash
# patch-apply / patch-revert on the sample router's service files.
. "$ROUTER_TESTLIB/bb.sh"
. "$ROUTER_SRC/ctl_lib.sh"

custom=/opt/zapret2/common/custom.sh
init=/opt/zapret2/init.d/openwrt/zapret2
svc="$ROUTER_SAMPLE/root"
fx=$(z2_fixture)

# snapshot TAG: copies of both targets and backups (or "absent") and modes.
snapshot_cmd='snapshot() {
    mkdir -p /tmp/.z2/$1
    for f in '"$custom $init"'; do
        b=${f##*/}
        if [ -e $f ]; then cp $f /tmp/.z2/$1/$b; stat -c %a $f > /tmp/.z2/$1/$b.mode; else echo absent > /tmp/.z2/$1/$b; fi
        if [ -e $f.orig ]; then cp $f.orig /tmp/.z2/$1/$b.orig; else echo absent > /tmp/.z2/$1/$b.orig; fi
        ls /opt/zapret2/common /opt/zapret2/init.d/openwrt | grep -c "\.tmp$" > /tmp/.z2/$1/tmpfiles
    done
}'
snap() { printf '%s/upper/tmp/.z2/%s/%s' "$Z2_SCR" "$1" "$2"; }

case_begin "apply, apply again, revert, revert again"
z2_session "$svc" "$fx" -- "$snapshot_cmd"'
    run_ctl apply1 patch-apply;  snapshot apply1
    run_ctl apply2 patch-apply;  snapshot apply2
    run_ctl revert1 patch-revert; snapshot revert1
    run_ctl revert2 patch-revert; snapshot revert2'
for t in apply1 apply2 revert1 revert2; do
    assert_eq "0" "$(z2_rc $t)" "$t: exit status"
    assert_eq "" "$(z2_out $t)$(z2_err $t)" "$t: nothing on the terminal"
done
for t in apply1 apply2; do
    assert_file_eq "$ROUTER_SRC/../src/scripts/custom.sh" "$(snap $t custom.sh)"
    assert_file_eq "$ROUTER_SRC/../src/scripts/zapret2.init" "$(snap $t zapret2)"
    assert_eq "806 3632" "$(wc -c < "$(snap $t custom.sh)") $(wc -c < "$(snap $t zapret2)")" "$t: sizes"
    assert_eq "755 755" "$(cat "$(snap $t custom.sh.mode)") $(cat "$(snap $t zapret2.mode)")" "$t: modes"
    assert_file_eq "$svc$custom" "$(snap $t custom.sh.orig)"
    assert_file_eq "$svc$init" "$(snap $t zapret2.orig)"
    assert_eq "0" "$(cat "$(snap $t tmpfiles)")" "$t: no temporary file left"
    assert_syslog $t 30 "patches: applied $custom"
    assert_syslog $t 30 "patches: applied $init"
done
assert_file_eq "$svc$custom" "$(snap revert1 custom.sh)"
assert_file_eq "$svc$init" "$(snap revert1 zapret2)"
assert_eq "absent absent" "$(cat "$(snap revert1 custom.sh.orig)") $(cat "$(snap revert1 zapret2.orig)")" "backups gone"
assert_syslog revert1 30 "patches: reverted $custom"
assert_syslog revert1 30 "patches: reverted $init"
assert_eq "" "$(z2_syslog revert2)" "second revert: nothing to do"
assert_file_eq "$svc$custom" "$(snap revert2 custom.sh)"

case_begin "missing custom.sh is skipped; the init script is still patched"
z2_session "$svc" "$fx" -- "$snapshot_cmd"'
    rm -f '"$custom"'
    run_ctl skip patch-apply; snapshot skip'
assert_eq "0" "$(z2_rc skip)" "exit status"
assert_syslog skip 28 "patches: target missing, skipping: $custom"
assert_eq "absent absent" "$(cat "$(snap skip custom.sh)") $(cat "$(snap skip custom.sh.orig)")" "nothing made for custom.sh"
assert_file_eq "$ROUTER_SRC/../src/scripts/zapret2.init" "$(snap skip zapret2)"

case_begin "read-only directory: that target fails and stays, the other is patched"
z2_session "$svc" "$fx" -- "$snapshot_cmd"'
    mount --bind /opt/zapret2/common /opt/zapret2/common
    mount -o remount,bind,ro /opt/zapret2/common
    run_ctl ro patch-apply; snapshot ro'
assert_eq "1" "$(z2_rc ro)" "exit status"
assert_syslog ro 27 "patches: backup $custom -> $custom.orig failed: Read-only file system"
assert_file_eq "$svc$custom" "$(snap ro custom.sh)"
assert_eq "absent" "$(cat "$(snap ro custom.sh.orig)")" "no backup"
assert_file_eq "$ROUTER_SRC/../src/scripts/zapret2.init" "$(snap ro zapret2)"
assert_syslog ro 30 "patches: applied $init"
