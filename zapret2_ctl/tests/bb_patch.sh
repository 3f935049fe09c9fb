#!/bin/bash
# shellcheck source-path=SCRIPTDIR
# patch-apply / patch-revert on the sample router's service files.
. "$ROUTER_TESTLIB/bb.sh"
. "$ROUTER_SRC/bb_lib.sh"

custom=/opt/zapret2/common/custom.sh
init=/opt/zapret2/init.d/openwrt/zapret2
svc="$ROUTER_SAMPLE/root"
fx=$(z2_fixture)

# snapshot TAG: copies of both targets and backups (or "absent"), modes, and
# the names of other files beside them.
snapshot_cmd='snapshot() {
    mkdir -p /tmp/.z2/$1
    for f in '"$custom $init"'; do
        b=${f##*/}
        if [ -e $f ]; then cp $f /tmp/.z2/$1/$b; stat -c %a $f > /tmp/.z2/$1/$b.mode; else echo absent > /tmp/.z2/$1/$b; fi
        if [ -e $f.orig ]; then cp $f.orig /tmp/.z2/$1/$b.orig; else echo absent > /tmp/.z2/$1/$b.orig; fi
    done
    # Whatever else lies beside the targets (temporary files).
    ls -A /opt/zapret2/common /opt/zapret2/init.d/openwrt | grep -vxE "(custom\.sh|zapret2|uci2config)(\.orig)?|/.*:|" \
        | tr "\n" " " > /tmp/.z2/$1/leftovers
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
    assert_eq "" "$(cat "$(snap $t leftovers)")" "$t: no temporary file left"
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

# The two files of the service as the sample router ships them, with modes.
svc_modes="$(stat -c %a "$svc$custom") $(stat -c %a "$svc$init")"
assert_unpatched() { # TAG WHAT
    assert_file_eq "$svc$custom" "$(snap "$1" custom.sh)"
    assert_file_eq "$svc$init" "$(snap "$1" zapret2)"
    assert_eq "$svc_modes" "$(cat "$(snap "$1" custom.sh.mode)") $(cat "$(snap "$1" zapret2.mode)")" "$2: modes"
    assert_eq "absent absent" "$(cat "$(snap "$1" custom.sh.orig)") $(cat "$(snap "$1" zapret2.orig)")" "$2: no backups"
}
assert_patched() { # TAG WHAT
    assert_file_eq "$ROUTER_SRC/../src/scripts/custom.sh" "$(snap "$1" custom.sh)"
    assert_file_eq "$ROUTER_SRC/../src/scripts/zapret2.init" "$(snap "$1" zapret2)"
    assert_eq "755 755" "$(cat "$(snap "$1" custom.sh.mode)") $(cat "$(snap "$1" zapret2.mode)")" "$2: modes"
    assert_file_eq "$svc$custom" "$(snap "$1" custom.sh.orig)"
    assert_file_eq "$svc$init" "$(snap "$1" zapret2.orig)"
}

# fresh: the service's two files as shipped, nothing else beside them.
fresh_cmd='fresh() {
    [ -d /tmp/.z2/svc ] || { mkdir -p /tmp/.z2/svc; cp -a '"$custom $init"' /tmp/.z2/svc/; }
    for f in '"$custom $init"'; do
        rm -f "$f" "$f.orig" "${f%/*}"/."${f##*/}".*
        cp -a /tmp/.z2/svc/"${f##*/}" "$f"
    done
}'

# A run stopped dead (SIGKILL from the test build, as a power cut would stop
# it) at each step of the first target: the service's file is whole and in
# place after each, and a later revert, or a later apply and revert, work as
# on a fresh installation. A file the run was writing stays behind as a
# hidden temporary file; no later run reads it.
steps="before-backup after-backup during-write before-rename"
z2_session "$svc" "$fx" -- "$snapshot_cmd; $fresh_cmd"'
    for step in '"$steps"'; do
        stop() { run_ctl $1 env ZAPRET2_STOP_AT=$step "$Z2_STEPS" patch-apply; }
        fresh
        stop $step.killed;   snapshot $step.killed
        run_ctl $step.revert patch-revert; snapshot $step.revert
        stop $step.killed2
        run_ctl $step.apply patch-apply;   snapshot $step.apply
        run_ctl $step.revert2 patch-revert; snapshot $step.revert2
    done'
for step in $steps; do
    case_begin "patch-apply killed $step: the target stays in place"
    assert_eq "137 137" "$(z2_rc "$step.killed") $(z2_rc "$step.killed2")" "killed by SIGKILL"
    assert_file_eq "$svc$custom" "$(snap "$step.killed" custom.sh)"
    assert_eq "${svc_modes% *}" "$(cat "$(snap "$step.killed" custom.sh.mode)")" "killed: mode"
    assert_file_eq "$svc$init" "$(snap "$step.killed" zapret2)"
    case $step in
    before-backup) assert_eq "absent" "$(cat "$(snap "$step.killed" custom.sh.orig)")" "no backup yet" ;;
    *) assert_file_eq "$svc$custom" "$(snap "$step.killed" custom.sh.orig)" ;;
    esac
    for t in revert apply revert2; do assert_eq "0" "$(z2_rc "$step.$t")" "$t: exit status"; done
    assert_unpatched "$step.revert" "revert after the kill"
    assert_patched "$step.apply" "apply after the kill"
    assert_unpatched "$step.revert2" "revert after that"
done

# The service's directory on a full flash (a small tmpfs over
# /opt/zapret2/common): with no block left the new text cannot be written,
# with no inode left not even the backup can be made. Either way custom.sh
# stays, no temporary file is left, the init script elsewhere is patched, and
# once there is room again apply and revert work.
full_flash='fill_up() { # MOUNT-OPTIONS: a tmpfs holding the service files, then filled
    mount -t tmpfs -o "$1" z2-flash /opt/zapret2/common
    cp -a /tmp/.z2/svc/custom.sh /opt/zapret2/common/
    mkdir /opt/zapret2/common/fill
    case $1 in
    size=*) dd if=/dev/zero of=/opt/zapret2/common/fill/blocks bs=1k 2>/dev/null ;;
    *) i=0; while touch /opt/zapret2/common/fill/$i 2>/dev/null; do i=$((i + 1)); done ;;
    esac
}'
flashes="blocks:size=16k:write inodes:nr_inodes=8:backup"
z2_session "$svc" "$fx" -- "$snapshot_cmd; $fresh_cmd; $full_flash"'
    for flash in '"$flashes"'; do
        IFS=":" read -r t opts fails_at <<< "$flash"
        fresh
        fill_up $opts
        run_ctl $t.full patch-apply; snapshot $t.full
        rm -rf /opt/zapret2/common/fill
        run_ctl $t.apply patch-apply;   snapshot $t.apply
        run_ctl $t.revert patch-revert; snapshot $t.revert
        umount /opt/zapret2/common
    done'
for flash in $flashes; do
    IFS=: read -r t opts fails_at <<< "$flash"
    case_begin "full flash, no $t left ($opts): custom.sh stays in place"
    assert_eq "1" "$(z2_rc "$t.full")" "exit status"
    assert_file_eq "$svc$custom" "$(snap "$t.full" custom.sh)"
    assert_eq "${svc_modes% *}" "$(cat "$(snap "$t.full" custom.sh.mode)")" "mode"
    assert_eq "fill " "$(cat "$(snap "$t.full" leftovers)")" "no temporary file left"
    assert_file_eq "$ROUTER_SRC/../src/scripts/zapret2.init" "$(snap "$t.full" zapret2)"
    assert_contains "$(z2_syslog "$t.full")" "<27>" "an error"
    assert_contains "$(z2_syslog "$t.full")" "patches: $fails_at " "failing step"
    assert_contains "$(z2_syslog "$t.full")" "failed: No space left on device" "the reason"
    assert_not_contains "$(z2_syslog "$t.full")" "patches: applied $custom" "not reported as applied"
    assert_eq "0 0" "$(z2_rc "$t.apply") $(z2_rc "$t.revert")" "with room again: exit status"
    assert_patched "$t.apply" "with room again"
    assert_eq "" "$(cat "$(snap "$t.apply" leftovers)")" "no temporary file after the apply either"
    assert_unpatched "$t.revert" "revert"
done
