#!/bin/bash
# Black-box test of the uci tool: show/get/set/add/add_list/del_list/delete,
# changes, commit, export and import, first on scratch directories (-c/-P),
# then on the router's own paths inside the sandbox.
. "$ROUTER_TESTLIB/bb.sh"

UCI="$UCI_BIN_DIR/uci"
conf="$BB_TMP/config"
save="$BB_TMP/save"
mkdir -p "$conf"
u() { "$UCI" -c "$conf" -P "$save" "$@"; }

cat > "$conf/net" <<'EOF'
config interface 'lan'
	option proto 'static'
	option ipaddr "192.168.1.1"
	list dns '1.1.1.1'
	list dns 8.8.8.8

config switch
	option name 'it'\''s'
EOF

case_begin show
assert_eq "net.lan=interface
net.lan.proto='static'
net.lan.ipaddr='192.168.1.1'
net.lan.dns='1.1.1.1' '8.8.8.8'
net.@switch[0]=switch
net.@switch[0].name='it'\\''s'" "$(u show net)"
assert_eq "net.cfg023777=switch" "$(u -X show net.@switch[0] | head -1)" "-X shows real names"
assert_eq "net.lan.dns='1.1.1.1' '8.8.8.8'" "$(u show net.lan.dns)"

case_begin get
assert_eq "static" "$(u get net.lan.proto)"
assert_eq "1.1.1.1 8.8.8.8" "$(u get net.lan.dns)"
assert_eq "interface" "$(u get net.lan)"
assert_eq "it's" "$(u get net.@switch[-1].name)"
out=$(u get net.lan.nosuch 2>&1); rc=$?
assert_eq "1 uci: Entry not found" "$rc $out"
out=$(u get nosuchpkg.a.b 2>&1); rc=$?
assert_eq "1 uci: Entry not found" "$rc $out"
out=$(u -q get net.lan.nosuch 2>&1); rc=$?
assert_eq "1 " "$rc $out" "-q prints nothing"

case_begin changes-and-commit
u set net.lan.proto=dhcp && u set net.wan=interface && u set net.wan.device=eth1 &&
    u add_list net.lan.dns=9.9.9.9 && u del_list net.lan.dns=1.1.1.1 && u delete net.lan.ipaddr
assert_eq 0 $? "changes accepted"
name=$(u add net rule)
assert_eq "cfg0492bd" "$name" "add prints the new name"
assert_eq "net.lan.proto='dhcp'
net.wan='interface'
net.wan.device='eth1'
net.lan.dns+='9.9.9.9'
net.lan.dns-='1.1.1.1'
-net.lan.ipaddr
net.cfg0492bd='rule'" "$(u changes net)"
assert_eq "dhcp" "$(u get net.lan.proto)" "get sees saved changes"
out=$(u set net.nosuch.x=1 2>&1); rc=$?
assert_eq "1 uci: Invalid argument" "$rc $out" "option of a missing section"
u commit net
assert_eq "
config interface 'lan'
	option proto 'dhcp'
	list dns '8.8.8.8'
	list dns '9.9.9.9'

config switch
	option name 'it'\\''s'

config interface 'wan'
	option device 'eth1'

config rule

." "$(cat "$conf/net"; echo .)" "committed file, ending in an empty line"
assert_eq "" "$(u changes)" "nothing pending after commit"

case_begin export-import
assert_eq "package net

config interface 'lan'
	option proto 'dhcp'" "$(u export net | head -4)"
printf 'package zz\nconfig t s\n\toption a 1\n' | u import zz
assert_eq "0
config t 's'
	option a '1'" "$?$(cat "$conf/zz")"
printf 'config t s\n\toption a 2\n' | u import zz
assert_eq "zz.s.a='2'" "$(u show zz.s.a)" "import replaces the package"
printf 'option a 1\n' > "$BB_TMP/bad"
out=$(u -f "$BB_TMP/bad" import zz 2>&1); rc=$?
assert_eq "1 uci: Parse error (option or list outside a section) at line 1, byte 1" "$rc $out"

case_begin parse-error-message
printf 'config\n' > "$conf/broken"
out=$(u show broken 2>&1); rc=$?
assert_eq "1 uci: Parse error (invalid command) at line 1, byte 1" "$rc $out"

case_begin usage
out=$(u frobnicate 2>&1); rc=$?
assert_eq 255 "$rc"
assert_contains "$out" "Usage: uci"

# The controller's reset command line, on the router's default paths.
case_begin default-paths-in-sandbox
fx=$(make_fixture)
mkdir -p "$fx/opt/zapret2/defaults"
printf "config main 'config'\n\toption enabled '1'\n" > "$fx/opt/zapret2/defaults/zapret2.uci"
printf "config main 'config'\n\toption enabled '0'\n" > "$fx/etc/config/zapret2"
host_before=$(ls -la /etc/config 2>/dev/null; cat /etc/config/zapret2 2>/dev/null)
scr=$(fresh_scratch)
sandbox --root "$fx" --scratch "$scr" -- /bin/sh -c \
    'uci set zapret2.config.enabled=2 && uci import zapret2 < /opt/zapret2/defaults/zapret2.uci && uci commit zapret2 && uci get zapret2.config.enabled'
assert_eq 0 $? "reset command line"
assert_eq "
config main 'config'
	option enabled '2'

." "$(cat "$scr/upper/etc/config/zapret2"; echo .)" "saved changes are applied again at commit"
assert_eq "$host_before" "$(ls -la /etc/config 2>/dev/null; cat /etc/config/zapret2 2>/dev/null)" \
    "host untouched"
