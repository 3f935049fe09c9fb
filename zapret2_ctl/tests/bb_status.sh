#!/bin/bash
# shellcheck source-path=SCRIPTDIR
# status and the daemon probe over /var/run PID files.
. "$ROUTER_TESTLIB/bb.sh"
. "$ROUTER_SRC/bb_lib.sh"

fx=$(z2_fixture)
echo 0 > "$fx/var/run/nfqws2_zero.pid"
echo -7 > "$fx/var/run/nfqws2_negative.pid"
echo nfqws2 > "$fx/var/run/nfqws2_garbage.pid"
: > "$fx/var/run/nfqws2_empty.pid"
# The sample router's configuration, without its /proc fixture: a run as an
# unprivileged user needs the real /proc (the sanitizers read it).
cp "$ROUTER_SAMPLE/root/etc/config/zapret2" "$fx/etc/config/"
# One session, several states of /var/run in turn.
z2_session "$fx" -- '
    sh -c "exit 0" & dead=$!; wait $dead
    echo $dead > /var/run/nfqws2_dead.pid
    echo $$ > /var/run/nfqws.pid          # live, but not an nfqws2_ file
    echo $$ > /var/run/other_nfqws2_1.pid
    run_ctl inactive status

    sleep 600 & a=$!
    sleep 600 & b=$!
    echo $a > /var/run/nfqws2_a.pid
    echo "$b" > /var/run/nfqws2_b.pid
    # The directory order decides which file is first.
    for f in $(ls -U /var/run); do
        case $f in nfqws2_a.pid) echo $a > /tmp/.z2/first; break ;;
                   nfqws2_b.pid) echo $b > /tmp/.z2/first; break ;; esac
    done
    run_ctl running status
    kill $a $b

    # A process this caller may not signal (root-owned, caller nobody).
    rm -f /var/run/nfqws2_a.pid /var/run/nfqws2_b.pid
    echo $$ > /var/run/nfqws2_root.pid
    run_ctl unsignalable setpriv --reuid=65534 --regid=65534 --clear-groups "$Z2_CTL" status

    rm -rf /var/run
    run_ctl missing status
    echo not-a-directory > /var/run
    run_ctl broken status'

case_begin "dead, zero, negative and garbage PIDs do not count"
assert_eq "1" "$(z2_rc inactive)" "exit status"
assert_eq "zapret2 inactive" "$(z2_out inactive)" "stdout"
assert_eq "" "$(z2_err inactive)" "stderr"

case_begin "two live daemons: count, first PID in directory order, enabled strategies"
first=$(cat "$(z2_written /tmp/.z2/first)")
assert_eq "0" "$(z2_rc running)" "exit status"
assert_eq "zapret2 is running
  Instances: 2
  First PID: $first
  Strategies: 2 enabled" "$(z2_out running)" "stdout"
assert_eq "" "$(z2_err running)" "stderr"

case_begin "a live PID the caller may not signal does not count"
assert_eq "1" "$(z2_rc unsignalable)" "exit status"
assert_eq "zapret2 inactive" "$(z2_out unsignalable)" "stdout"

case_begin "missing /var/run is quiet; a /var/run that cannot be opened warns"
assert_eq "1" "$(z2_rc missing)" "missing: exit status"
assert_eq "zapret2 inactive" "$(z2_out missing)" "missing: stdout"
assert_not_contains "$(z2_syslog missing)" "PID directory" "missing: no warning"
assert_eq "1" "$(z2_rc broken)" "broken: exit status"
assert_eq "zapret2 inactive" "$(z2_out broken)" "broken: stdout"
assert_syslog broken 28 "Failed to open PID directory /var/run: Not a directory"
assert_eq "" "$(z2_err broken)" "broken: stderr"

case_begin "a FIFO, init's PID 1 and the program's own PID are never the daemon"
# Each run is bounded, so that a run which waits on the FIFO fails instead of
# holding the test. The program's own PID: the shell writes its PID, then
# becomes the program (exec keeps the PID).
z2_session "$fx" -- '
    sleep 600 & d=$!
    echo $d > /tmp/.z2/daemon
    mkfifo /var/run/nfqws2_fifo.pid
    echo 1 > /var/run/nfqws2_init.pid
    echo $d > /var/run/nfqws2_main.pid
    run_ctl fifo timeout 10 "$Z2_CTL" status
    rm /var/run/nfqws2_fifo.pid /var/run/nfqws2_init.pid
    run_ctl self timeout 10 sh -c "echo \$\$ > /var/run/nfqws2_self.pid; exec \"\$Z2_CTL\" status"
    kill $d'
daemon=$(cat "$(z2_written /tmp/.z2/daemon)")
for t in fifo self; do
    assert_eq "0" "$(z2_rc $t)" "$t: exit status"
    assert_eq "zapret2 is running
  Instances: 1
  First PID: $daemon
  Strategies: 2 enabled" "$(z2_out $t)" "$t: stdout"
done
