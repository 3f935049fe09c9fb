#!/bin/bash
# shellcheck source-path=SCRIPTDIR
# dump: the JSON document on stdout, the loader's messages on stderr only.
. "$ROUTER_TESTLIB/bb.sh"
. "$ROUTER_SRC/bb_lib.sh"

time_re='^[0-2][0-9]:[0-5][0-9]:[0-6][0-9] '

case_begin "no configuration file, no daemon: the defaults, byte for byte"
fx=$(z2_fixture)
z2_session "$fx" -- 'run_ctl defaults dump'
assert_eq "0" "$(z2_rc defaults)" "exit status"
assert_file_eq "$ROUTER_SRC/golden/defaults_dump.json" "$(z2_written /tmp/.z2/defaults.out)"
err=$(z2_err defaults)
assert_eq "1" "$(printf '%s\n' "$err" | grep -cE "${time_re}\[WARN\] No zapret2 UCI config found, using defaults\$")" "one warning line on stderr"
assert_eq "1" "$(printf '%s\n' "$err" | wc -l)" "nothing else on stderr"
assert_eq "" "$(z2_syslog defaults)" "nothing in the system log"

case_begin "sample router: validated values, list orders, running daemon"
fx2=$(z2_fixture)
cat > "$fx2/etc/config/zapret2" <<'UCI'
config zapret2 'config'
	option qnum '12abc'
	option desync_mark '0x20000000'
	option ws_user 'we"ird\us	er привет'

config strategy 'first'
	list protocol 'tcp'
	list protocol 'udp'

config hostlist 'A'
	option path '/a'

config strategy 'second'
	option enabled '0'
	option script 'x.lua'

config hostlist 'B'
	option path '/b'

config blob 'quic'
	option path '/q.bin'
UCI
z2_session "$fx2" -- '
    sleep 600 & s=$!
    echo $s > /var/run/nfqws2_1.pid; echo $s > /tmp/.z2/pid
    run_ctl sample dump
    kill $s'
out=$(z2_written /tmp/.z2/sample.out)
pid=$(cat "$(z2_written /tmp/.z2/pid)")
assert_eq "0" "$(z2_rc sample)" "exit status"
assert_eq "ok" "$(jq -r 'if type == "object" then "ok" else "bad" end' "$out" 2>&1)" "valid JSON"
assert_eq "300" "$(jq -r .config.qnum "$out")" "bad qnum replaced"
assert_eq "0x20000000" "$(jq -r .config.desync_mark "$out")" "mark"
assert_eq 'we"ird\us	er привет' "$(jq -r .config.ws_user "$out")" "escaped ws_user round trip"
assert_contains "$(cat "$out")" '"ws_user": "we\"ird\\us\ter привет",' "escapes as written"
assert_eq "true 1 $pid" "$(jq -r '[.daemon.running, .daemon.instances, .daemon.pid] | join(" ")' "$out")" "daemon"
assert_eq "first second" "$(jq -r '[.strategies[].name] | join(" ")' "$out")" "strategies in file order"
assert_eq "B A" "$(jq -r '[.hostlists[].name] | join(" ")' "$out")" "hostlists reversed"
assert_eq "tcp udp|null|443" "$(jq -r '.strategies[0] | "\(.protocols)|\(.script)|\(.port)"' "$out")" "joined list, null script"
assert_eq "null|x.lua|false" "$(jq -r '.strategies[1] | "\(.protocols)|\(.script)|\(.enabled)"' "$out")" "null protocols"
assert_eq "quic /q.bin false" "$(jq -r '.blobs[0] | "\(.name) \(.path) \(.enabled)"' "$out")" "blob disabled by default"
err=$(z2_err sample)
assert_eq "1" "$(printf '%s\n' "$err" | grep -cE "${time_re}\[WARN\] Invalid integer value for qnum: '12abc', using default 300\$")" "warning on stderr"
assert_eq "1" "$(printf '%s\n' "$err" | grep -cE "${time_re}\[INFO\] Loaded 1 strategies\$")" "info on stderr"
assert_eq "" "$(z2_syslog sample)" "nothing in the system log"

case_begin "output that cannot be written: /dev/full, a full flash, a closed stdout"
# 40 strategies make a document of more than 4 KiB: on a flash with one
# page (4 KiB) left, the first part is written and the rest fails.
fx3=$(z2_fixture)
for i in $(seq 1 40); do printf "config strategy 's%d'\n\tlist protocol 'tcp'\n" "$i"; done > "$fx3/etc/config/zapret2"
z2_session "$fx3" -- '
    mkdir /tmp/flash
    mount -t tmpfs -o size=4k z2-flash /tmp/flash
    run_ctl devfull sh -c "exec \"\$Z2_CTL\" dump > /dev/full"
    run_ctl flash sh -c "exec \"\$Z2_CTL\" dump > /tmp/flash/dump.json"
    wc -c < /tmp/flash/dump.json > /tmp/.z2/flash.size
    run_ctl closed sh -c "exec \"\$Z2_CTL\" dump >&-"
    run_ctl room dump'
assert_eq "4096" "$(cat "$(z2_written /tmp/.z2/flash.size)")" "the flash took one page of the document"
assert_eq "40" "$(jq '.strategies | length' "$(z2_written /tmp/.z2/room.out)")" "the whole document where there is room"
for t in devfull:"No space left on device" flash:"No space left on device" closed:"Bad file descriptor"; do
    reason=${t#*:} t=${t%%:*}
    assert_eq "1" "$(z2_rc "$t")" "$t: exit status"
    err=$(z2_err "$t")
    assert_eq "1" "$(printf '%s\n' "$err" | grep -cE "${time_re}\[ERROR\] Failed to write the configuration dump: $reason\$")" "$t: error on stderr: $err"
done
