#!/bin/bash
# shellcheck source-path=SCRIPTDIR
# zapret2-ctl command line: usage, options, unknown words, where messages go.
. "$ROUTER_TESTLIB/bb.sh"
. "$ROUTER_SRC/bb_lib.sh"

fx=$(z2_fixture)
cat > "$fx/etc/config/zapret2" <<'UCI'
config zapret2 'config'
	option qnum '70000'
	option autohostlist_fail_time '%s%n%d'
UCI

z2_session "$fx" -- '
    run_ctl none
    run_ctl help_short -h
    run_ctl help_long --help
    run_ctl version_short -v
    run_ctl version_long --version
    run_ctl first_option_wins --version --help
    run_ctl bad_option --frobnicate
    run_ctl unknown frobnicate
    run_ctl case_matters STATUS
    run_ctl status status'

usage=$(z2_usage "$Z2_CTL")

case_begin "no command: usage on stdout, exit 1"
assert_eq "1" "$(z2_rc none)" "exit status"
assert_eq "$usage" "$(z2_out none)" "stdout"
assert_eq "" "$(z2_err none)" "stderr"
assert_eq "$(z2_usage "$Z2_CTL" | wc -c)" "$(z2_out none | wc -c)" "usage bytes"

case_begin "help and version"
for t in help_short help_long; do
    assert_eq "0" "$(z2_rc $t)" "$t exit status"
    assert_eq "$usage" "$(z2_out $t)" "$t stdout"
    assert_eq "" "$(z2_err $t)" "$t stderr"
done
for t in version_short version_long first_option_wins; do
    assert_eq "0" "$(z2_rc $t)" "$t exit status"
    assert_eq "zapret2 version 1.0.4-r19" "$(z2_out $t)" "$t stdout"
    assert_eq "" "$(z2_err $t)" "$t stderr"
done

case_begin "unknown option: parser complaint on stderr, usage on stdout, exit 1"
assert_eq "1" "$(z2_rc bad_option)" "exit status"
assert_eq "$usage" "$(z2_out bad_option)" "stdout"
assert_contains "$(z2_err bad_option)" "frobnicate" "stderr"
assert_eq "" "$(z2_syslog bad_option)" "nothing logged"

case_begin "unknown command: configuration loaded and logged first, exit 1"
for t in unknown case_matters; do
    assert_eq "1" "$(z2_rc $t)" "$t exit status"
    assert_eq "$usage" "$(z2_out $t)" "$t stdout"
done
assert_eq "Unknown command: frobnicate" "$(z2_err unknown)" "stderr holds only the complaint"
assert_eq "Unknown command: STATUS" "$(z2_err case_matters)" "words are case-sensitive"
assert_syslog unknown 28 "Value 70000 for qnum out of range [0, 65535], using default 300"

case_begin "status logs to the system log only"
assert_eq "1" "$(z2_rc status)" "exit status"
assert_eq "zapret2 inactive" "$(z2_out status)" "stdout"
assert_eq "" "$(z2_err status)" "the terminal gets no log line"
assert_syslog status 28 "Value 70000 for qnum out of range [0, 65535], using default 300"
assert_syslog status 30 "Loaded 0 strategies"
assert_syslog status 28 "Invalid integer value for autohostlist_fail_time: '%s%n%d', using default 60"
