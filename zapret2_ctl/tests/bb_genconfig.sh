#!/bin/bash
# shellcheck source-path=SCRIPTDIR
# genconfig: the generator under the lock, with an empty environment, and
# how its end maps to messages and the exit status.
. "$ROUTER_TESTLIB/bb.sh"
. "$ROUTER_SRC/bb_lib.sh"

gen_dir=opt/zapret2/init.d/openwrt
# generator_fixture BODY: a fixture whose generator is a shell script.
generator_fixture() {
    local fx; fx=$(z2_fixture)
    mkdir -p "$fx/$gen_dir"
    printf '#!/bin/sh\n%s\n' "$1" > "$fx/$gen_dir/uci2config"
    chmod 755 "$fx/$gen_dir/uci2config"
    printf '%s\n' "$fx"
}

case_begin "success: empty environment, lock file 0600 and kept, messages in the system log"
# The shell opens its own environ (the one execve gave it) for cat to read.
fx=$(generator_fixture 'exec 3< /proc/self/environ; cat <&3 > /tmp/gen.env; echo "$0 $#" > /tmp/gen.args')
z2_session "$ROUTER_SAMPLE/root" "$fx" -- '
    run_ctl ok genconfig
    stat -c %a /var/lock/zapret2_genconfig.lock > /tmp/.z2/lockmode'
assert_eq "0" "$(z2_rc ok)" "exit status"
assert_eq "" "$(z2_out ok)$(z2_err ok)" "nothing on the terminal"
assert_eq "0" "$(wc -c < "$(z2_written /tmp/gen.env)")" "generator environment is empty"
assert_eq "/opt/zapret2/init.d/openwrt/uci2config 0" "$(cat "$(z2_written /tmp/gen.args)")" "argument vector"
assert_eq "600" "$(cat "$(z2_written /tmp/.z2/lockmode)")" "lock file mode"
assert_syslog ok 30 "Generating config from UCI..."
assert_syslog ok 30 "Config generated successfully"
assert_syslog ok 30 "Loaded 2 strategies"

case_begin "failures: exit code, missing generator, signal, no lock directory"
fx=$(generator_fixture 'exit 3')
z2_session "$ROUTER_SAMPLE/root" "$fx" -- '
    run_ctl exit3 genconfig
    rm -f /opt/zapret2/init.d/openwrt/uci2config
    run_ctl missing genconfig
    printf "#!/bin/sh\nkill -9 \$\$\n" > /opt/zapret2/init.d/openwrt/uci2config
    chmod 755 /opt/zapret2/init.d/openwrt/uci2config
    run_ctl killed genconfig
    rm -rf /var/lock
    run_ctl nolock genconfig'
for t in exit3 missing killed nolock; do
    assert_eq "255" "$(z2_rc $t)" "$t: exit status"
    assert_eq "" "$(z2_out $t)$(z2_err $t)" "$t: nothing on the terminal"
done
assert_syslog exit3 27 "Config generation failed (exit 3)"
assert_syslog missing 27 "Config generation failed (exit 127)"
assert_syslog killed 27 "Config generation terminated abnormally"
assert_syslog nolock 27 "Failed to open lock file: No such file or directory"
assert_not_contains "$(z2_syslog nolock)" "Config generat" "nolock: generator not run"

case_begin "two runs at once never overlap"
# Each generator logs its start, waits for a line on a FIFO, logs its end.
fx=$(generator_fixture 'echo "start $$" >> /tmp/gen.log; read line < /tmp/gen.fifo; echo "end $$" >> /tmp/gen.log')
z2_session "$ROUTER_SAMPLE/root" "$fx" -- '
    # wait_for CONDITION: polls a condition for at most 10 s.
    wait_for() { local i=0; until eval "$1"; do i=$((i + 1)); [ $i -lt 200 ] || { echo "timeout: $1" >> /tmp/.z2/errors; return 1; }; sleep 0.05; done; }
    starts() { grep -c "^start" /tmp/gen.log 2>/dev/null; }
    mkfifo /tmp/gen.fifo
    "$Z2_CTL" genconfig & g1=$!
    wait_for "[ \"\$(starts)\" = 1 ]"
    "$Z2_CTL" genconfig & g2=$!
    # The second one either blocks on the lock (a waiter of its PID in
    # /proc/locks) or, were the lock missing, starts its generator at once.
    wait_for "grep -qE \"^[0-9]+: -> FLOCK +ADVISORY +WRITE +$g2 \" /proc/locks || [ \"\$(starts)\" = 2 ]"
    # release: lets one waiting generator go (gives up when none is reading,
    # as after an overlap, so the test fails instead of hanging)
    release() { timeout 10 sh -c "echo go > /tmp/gen.fifo" || echo "nobody read the FIFO" >> /tmp/.z2/errors; }
    release
    wait $g1; echo $? > /tmp/.z2/g1.rc
    release
    wait $g2; echo $? > /tmp/.z2/g2.rc'
log=$(cat "$(z2_written /tmp/gen.log)")
assert_eq "" "$(cat "$(z2_written /tmp/.z2/errors)" 2>/dev/null)" "no time-out"
assert_eq "0 0" "$(z2_rc g1) $(z2_rc g2)" "both succeed"
pattern=$(printf '%s\n' "$log" | sed -E 's/ [0-9]+$//' | tr '\n' ' ')
assert_eq "start end start end " "$pattern" "one after the other: $log"
first=$(printf '%s\n' "$log" | sed -n 1p | cut -d' ' -f2)
assert_eq "end $first" "$(printf '%s\n' "$log" | sed -n 2p)" "the first generator ends before the second starts"
