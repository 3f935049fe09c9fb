#!/bin/bash
# shellcheck source-path=SCRIPTDIR
# The two embedded service scripts, run by busybox ash (the router's shell)
# with the service library and procd stubbed: custom_runner's walk and the
# init script's daemon declaration.
. "$ROUTER_TESTLIB/bb.sh"
. "$ROUTER_SRC/bb_lib.sh"

fx=$(z2_fixture)
base="$fx/opt/zapret2"
mkdir -p "$base/init.d/openwrt" "$base/common" "$fx/tmp/custom/custom.d"
cp "$ROUTER_SRC/../src/scripts/custom.sh" "$base/common/custom.sh"
cp "$ROUTER_SRC/../src/scripts/zapret2.init" "$base/init.d/openwrt/zapret2"
# Stub of the service library: records what the scripts ask of it.
cat > "$base/init.d/openwrt/functions" <<'SH'
dir_is_not_empty() { [ -n "$(ls -A "$1" 2>/dev/null)" ]; }
existf() { type "$1" >/dev/null 2>&1; }
alloc_num() { echo "alloc_num $*"; }
procd_open_instance() { echo "open"; }
procd_set_param() { echo "param $*"; }
procd_close_instance() { echo "close"; }
SH
cat > "$fx/tmp/custom/custom.d/10-first.sh" <<'SH'
zapret_custom_daemons() { echo "first cfg=$DAEMON_CFGNAME args=$*"; }
SH
cat > "$fx/tmp/custom/custom.d/20-named.sh" <<'SH'
DAEMON_CFGNAME=mine
zapret_custom_daemons() { echo "named cfg=$DAEMON_CFGNAME args=$*"; }
SH
cat > "$fx/tmp/custom/custom.d/30-none.sh" <<'SH'
# defines nothing: the function of the script before must not be called again
SH

z2_session "$fx" -- '
    cd /tmp
    busybox ash -c "
        . /opt/zapret2/init.d/openwrt/functions
        . /opt/zapret2/common/custom.sh
        CUSTOM_DIR=/tmp/custom DAEMON_CFGNAME=main
        custom_runner zapret_custom_daemons 1 x
        echo after cfg=\$DAEMON_CFGNAME
        DISABLE_CUSTOM=1 custom_runner zapret_custom_daemons 2
        CUSTOM_DIR=/tmp/nowhere custom_runner zapret_custom_daemons 3
        alloc_qnum q; alloc_dnum d
    " > /tmp/.z2/custom 2>&1
    busybox ash -c "
        WS_USER=daemon DESYNC_MARK=0x40000000
        . /opt/zapret2/init.d/openwrt/zapret2
        printf %s \"\$EXTRA_HELP\" | head -2
        echo commands:\$EXTRA_COMMANDS
        DAEMON_LOG_FILE=/tmp/log/\"<DAEMON_NAME>_<DAEMON_IDNUM>_<DAEMON_CFGNAME>\".log
        DAEMON_LOG_ENABLE=1
        mkdir -p /tmp/log; echo old > /tmp/log/nfqws2_7_main.log
        do_nfqws 0 6 --never
        do_nfqws 1 7 --filter-tcp=443
        [ -e /tmp/log/nfqws2_7_main.log ] && echo log-kept || echo log-removed
        DAEMON_LOG_FILE=/tmp/newdir/d.log DAEMON_LOG_ENABLE=0
        run_daemon 8 /bin/true --x > /dev/null
        [ -d /tmp/newdir ] && echo log-dir-made
    " > /tmp/.z2/init 2>&1'

case_begin "custom_runner: each script in order with a configuration name of its own"
assert_eq "first cfg=10-first args=1 x
named cfg=mine args=1 x
after cfg=main
alloc_num NUMPOOL_QNUM q 65300 65399
alloc_num NUMPOOL_DNUM d 2000 2999" "$(cat "$(z2_written /tmp/.z2/custom)")" "output"

case_begin "init script: extra commands and one procd instance per daemon"
lua="--lua-init=@/opt/zapret2/lua/zapret-lib.lua --lua-init=@/opt/zapret2/lua/zapret-antidpi.lua --lua-init=@/opt/zapret2/lua/zapret-auto.lua"
assert_eq "	stop_fw         Stop zapret firewall (noop in iptables+fw3 case)
	start_fw        Start zapret firewall (noop in iptables+fw3 case)
commands: stop_fw start_fw restart_fw reload_ifsets list_ifsets list_table stop_daemons start_daemons restart_daemons
Starting daemon 7: /opt/zapret2/nfq2/nfqws2 --user=daemon --fwmark=0x40000000 $lua --filter-tcp=443
open
param command /opt/zapret2/nfq2/nfqws2 --debug=@/tmp/log/nfqws2_7_main.log --user=daemon --fwmark=0x40000000 $lua --filter-tcp=443
param pidfile /var/run/nfqws2_7.pid
close
log-removed
log-dir-made" "$(cat "$(z2_written /tmp/.z2/init)")" "output"
