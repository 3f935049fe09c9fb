#!/bin/bash
# The velmora init script, run by busybox ash through a recording double of
# /etc/rc.common in the router sandbox: which procd instances it asks for,
# with which command line, and which configurations it refuses.
. "$ROUTER_TESTLIB/bb.sh"

feed="$(cd "$ROUTER_SRC/../.." && pwd)/velmora/data"

# Each case is a config text and an action. The cases run in one sandbox:
# for case N the runner copies cases/N.cfg (when there is one) to
# /etc/config/velmora, runs the action through the rc.common double, and
# keeps the recorded calls and standard error in /tmp/out/N.calls, N.err.
fx=$(make_fixture)
mkdir -p "$fx/etc/init.d" "$fx/tmp/cases"
cp "$ROUTER_SRC/rc.common.stub" "$fx/etc/rc.common"
install -m 0755 "$feed/velmora.init" "$fx/etc/init.d/velmora"
cat >"$fx/tmp/cases/run" <<'RUN'
mkdir -p /tmp/out
for c in /tmp/cases/*.action; do
    n=${c##*/}; n=${n%.action}
    rm -f /etc/config/velmora
    [ -f "/tmp/cases/$n.cfg" ] && cp "/tmp/cases/$n.cfg" /etc/config/velmora
    RC_LOG="/tmp/out/$n.calls" busybox sh /etc/rc.common /etc/init.d/velmora "$(cat "$c")" \
        >/dev/null 2>"/tmp/out/$n.err"
    touch "/tmp/out/$n.calls"
done
RUN
NCASES=0
add_case() { # CONFIG_TEXT|- ACTION: prints the case number
    NCASES=$((NCASES + 1))
    local n; n=$(printf '%03d' "$NCASES")
    [ "$1" = - ] || printf '%s\n' "$1" >"$fx/tmp/cases/$n.cfg"
    printf '%s' "$2" >"$fx/tmp/cases/$n.action"
}
# result N: sets CALLS and ERR of case N (after run_cases)
result() {
    local n; n=$(printf '%03d' "$1")
    CALLS=$(cat "$OUT/$n.calls" 2>/dev/null)
    ERR=$(cat "$OUT/$n.err" 2>/dev/null)
}
run_cases() {
    local scr; scr=$(fresh_scratch)
    sandbox --root "$fx" --scratch "$scr" -- busybox sh /tmp/cases/run
    OUT="$scr/upper/tmp/out"
}

instances() { printf '%s\n' "$CALLS" | grep -c '^procd_open_instance' ; }
command_line() { printf '%s\n' "$CALLS" | grep '^procd_set_param \[command\]'; }

section() { # NAME LISTEN S1 S2 [extra option lines]
    printf "config velmora '%s'\n\toption listen '%s'\n\toption server1 '%s'\n\toption server2 '%s'\n%s\n" \
        "$1" "$2" "$3" "$4" "${5:-}"
}

default_cfg=$(cat "$feed/velmora.config")
add_case "$default_cfg" start                                        # 1
add_case "$(section main 10.0.0.1:53 8.8.8.8:53 8.8.4.4:53)" start   # 2
add_case "$(section lan 192.168.1.1:5453 1.1.1.1:53 9.9.9.9:53 "	option debug '1'
	option session_timeout '750'
	option hold_down '30'")
$(section off 127.0.0.1:5454 1.1.1.1:53 9.9.9.9:53 "	option enabled '0'")
config velmora
	option listen '127.0.0.1:5455'
	option server1 '8.8.8.8:53'
	option server2 '8.8.8.8:53'" start                                  # 3
add_case - start                                                     # 4
add_case "$default_cfg" resolvers                                    # 5
add_case "$default_cfg" reload                                       # 6
add_case "$(section six '[::1]:5453' '[2001:db8::53]:53' '[fe80::1%wan]:53')" start  # 7

# option line | what the error names
bad_cases=(
    "option listen 'localhost:53'|listen"
    "option listen '127.0.0.1'|listen"
    "option listen ':53'|listen"
    "option listen '127.0.0.1:'|listen"
    "option listen '127.0.0.256:53'|listen"
    "option listen '127.0.0.1.5:53'|listen"
    "option listen '127.0.1:53'|listen"
    "option listen '127.00.0.1:53'|listen"
    "option listen '127.0.0.1:0'|listen"
    "option listen '127.0.0.1:65536'|listen"
    "option listen '127.0.0.1:5x3'|listen"
    "option server1 '::1:53'|server1"
    "option server1 '[::1]'|server1"
    "option server1 '[::1]:0'|server1"
    "option server1 '[::1]:65536'|server1"
    "option server1 '[1::2::3]:53'|server1"
    "option server1 '[12345::1]:53'|server1"
    "option server1 '[1:2:3:4:5:6:7:8:9]:53'|server1"
    "option server1 '[:1]:53'|server1"
    "option server1 '[192.0.2.1]:53'|server1"
    "option server1 '[::1.2.3.256]:53'|server1"
    "option server1 '[fe80::1%]:53'|server1"
    "option server1 '[fe80::1%wan/x]:53'|server1"
    "option listen '[::1]53'|listen"
    "option server2 ''|server2"
    "option session_timeout '0'|invalid options"
    "option session_timeout '-5'|invalid options"
    "option session_timeout '2s'|invalid options"
    "option session_timeout '60001'|invalid options"
    "option hold_down '-1'|invalid options"
    "option hold_down '10s'|invalid options"
    "option hold_down '86401'|invalid options"
    "option debug 'yes'|invalid options"
    "option enabled 'maybe'|invalid options"
)
good_lines=("option listen '0.0.0.0:65535'" "option listen '255.255.255.255:1'"
            "option listen '[::1]:5453'" "option listen '[::]:53'"
            "option server1 '[2001:db8::53]:53'" "option server2 '[fe80::1%wan]:53'"
            "option server1 '[::ffff:192.0.2.1]:53'" "option server2 '[1:2:3:4:5:6:7:8]:65535'"
            "option session_timeout '60000'" "option session_timeout '1'" "option enabled 'yes'"
            "option hold_down '0'" "option hold_down '86400'")
first_bad=$((NCASES + 1))
for c in "${bad_cases[@]}"; do
    # the bad line comes last, so it replaces the good value above it
    add_case "$(section main 127.0.0.1:5453 1.1.1.1:53 9.9.9.9:53 "	${c%|*}")" start
done
first_good=$((NCASES + 1))
for line in "${good_lines[@]}"; do
    add_case "$(section main 127.0.0.1:5453 1.1.1.1:53 9.9.9.9:53 "	$line")" start
done

run_cases

case_begin "packaged default config starts one supervised instance"
result 1
assert_eq 1 "$(instances)" "instances"
assert_contains "$CALLS" "procd_open_instance [main]"
assert_eq "procd_set_param [command] [/usr/bin/velmora] [--listen] [127.0.0.1:5453] [--s1] [1.1.1.1:53] [--s2] [9.9.9.9:53] [--session-timeout] [2000] [--hold-down] [10] [--debug] [0]" \
    "$(command_line)" "command line"
assert_contains "$CALLS" "procd_set_param [respawn] [3600] [5] [5]"
assert_contains "$CALLS" "procd_set_param [stdout] [1]"
assert_contains "$CALLS" "procd_set_param [stderr] [1]"
assert_contains "$CALLS" "procd_add_reload_trigger [velmora]"
assert_contains "$CALLS" "procd_add_raw_trigger [interface.*.up] [2000] [/etc/init.d/velmora] [resolvers]"
assert_contains "$CALLS" "procd_add_validation [validate_velmora_section]"
assert_eq "" "$ERR" "stderr"

case_begin "options absent from the section take their defaults"
result 2
assert_eq "procd_set_param [command] [/usr/bin/velmora] [--listen] [10.0.0.1:53] [--s1] [8.8.8.8:53] [--s2] [8.8.4.4:53] [--session-timeout] [2000] [--hold-down] [0] [--debug] [0]" \
    "$(command_line)" "command line"

case_begin "one instance per enabled section, unnamed ones included"
result 3
assert_eq 2 "$(instances)" "instances"
assert_contains "$CALLS" "procd_open_instance [lan]"
assert_contains "$CALLS" "procd_open_instance [cfg03]"
assert_not_contains "$CALLS" "procd_open_instance [off]"
assert_contains "$(command_line)" "[--listen] [192.168.1.1:5453] [--s1] [1.1.1.1:53] [--s2] [9.9.9.9:53] [--session-timeout] [750] [--hold-down] [30] [--debug] [1]"
assert_contains "$(command_line)" "[--listen] [127.0.0.1:5455] [--s1] [8.8.8.8:53] [--s2] [8.8.8.8:53]"

i=$first_bad
for c in "${bad_cases[@]}"; do
    case_begin "bad setting: ${c%|*}"
    result $i
    assert_eq 0 "$(instances)" "instances"
    assert_contains "$ERR" "${c##*|}"
    assert_contains "$CALLS" "logger [-t] [velmora] [-p] [daemon.err]"
    i=$((i + 1))
done

i=$first_good
for line in "${good_lines[@]}"; do
    case_begin "accepted: $line"
    result $i
    assert_eq 1 "$(instances)" "instances"
    i=$((i + 1))
done

case_begin "IPv6 addresses reach the command line unchanged"
result 7
assert_eq 1 "$(instances)" "instances"
assert_contains "$(command_line)" "[--listen] [[::1]:5453] [--s1] [[2001:db8::53]:53] [--s2] [[fe80::1%wan]:53]"
assert_eq "" "$ERR" "stderr"

case_begin "missing config file: no instance and no error"
result 4
assert_eq 0 "$(instances)" "instances"
assert_eq "" "$ERR" "stderr"
assert_contains "$CALLS" "procd_close_service"

case_begin "resolvers sends SIGHUP to every instance"
result 5
assert_eq "procd_send_signal [velmora] [*] [HUP]" "$CALLS" "calls"

case_begin "reload rebuilds the instances from the config"
result 6
assert_eq 1 "$(instances)" "instances"

exit $((BB_FAIL > 0))
