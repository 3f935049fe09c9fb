#!/bin/bash
# shellcheck source-path=SCRIPTDIR
# A /etc/config/zapret2 that does not parse: every command that loads it
# fails with the file and the place of the error, and does nothing else
# (genconfig does not run the generator on the defaults). A missing file
# still means the defaults.
. "$ROUTER_TESTLIB/bb.sh"
. "$ROUTER_SRC/bb_lib.sh"

time_re='^[0-2][0-9]:[0-5][0-9]:[0-6][0-9] '
conf=/etc/config/zapret2
gen_dir=opt/zapret2/init.d/openwrt

# The sample router's file (qnum 200) with its qnum line mistyped.
fx=$(z2_fixture)
mkdir -p "$fx/$gen_dir"
printf '#!/bin/sh\necho ran >> /tmp/gen.ran\n' > "$fx/$gen_dir/uci2config"
chmod 755 "$fx/$gen_dir/uci2config"
sed "s/^\toption qnum '200'/\toptoin qnum '200'/" "$ROUTER_SAMPLE/root$conf" > "$fx$conf"
[ "$(grep -n "optoin" "$fx$conf")" = "5:	optoin qnum '200'" ] || echo "the broken line is not where the test expects it" >&2
z2_session "$ROUTER_SAMPLE/root" "$fx" -- '
    run_ctl dump dump
    run_ctl status status
    run_ctl genconfig genconfig
    run_ctl unknown frobnicate
    rm '"$conf"'
    run_ctl missing genconfig'
reason="Cannot parse $conf: Parse error (invalid command) at line 5, byte 2"

case_begin "dump: the error on stderr, nothing on stdout"
assert_eq "1" "$(z2_rc dump)" "exit status"
assert_eq "" "$(z2_out dump)" "no document"
err=$(z2_err dump)
assert_eq "1" "$(printf '%s\n' "$err" | grep -cxE "${time_re}\[ERROR\] $(printf '%s' "$reason" | sed 's/[][().]/\\&/g')")" "the file and the place: $err"
assert_eq "1" "$(printf '%s\n' "$err" | grep -cE "${time_re}\[ERROR\] Failed to load configuration\$")" "load failure"
assert_not_contains "$err" "using defaults" "not taken for a missing file"

case_begin "status, genconfig, an unknown word: the error in the system log and on stderr"
for t in status genconfig unknown; do
    assert_eq "1" "$(z2_rc $t)" "$t: exit status"
    assert_eq "" "$(z2_out $t)" "$t: nothing on stdout"
    assert_eq "$reason" "$(z2_err $t)" "$t: stderr"
    assert_syslog $t 27 "$reason"
    assert_syslog $t 27 "Failed to load configuration"
    assert_not_contains "$(z2_syslog $t)" "using defaults" "$t: not taken for a missing file"
done
assert_not_contains "$(z2_syslog genconfig)" "Generating config" "genconfig: generator not started"

case_begin "a missing file still means the defaults"
assert_eq "0" "$(z2_rc missing)" "exit status"
assert_syslog missing 28 "No zapret2 UCI config found, using defaults"
assert_syslog missing 30 "Config generated successfully"
assert_eq "ran" "$(cat "$(z2_written /tmp/gen.ran)" 2>/dev/null)" "the generator ran once, for the missing file only"
