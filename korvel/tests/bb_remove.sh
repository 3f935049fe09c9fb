#!/bin/bash
# Removal: what is taken away, what is remembered, what is left alone; and
# the edge cases of the firewall zone and the AT command list when plugging.
# shellcheck source-path=SCRIPTDIR source=bb_lib.sh
. "$ROUTER_SRC/bb_lib.sh"

# A router where a modem was configured before.
configured_router() {
    local fx; fx=$(new_router)
    cat >> "$fx/etc/config/network" <<'CFG'

config interface 'modem'
	option proto 'ncm'
	option apn 'it'\''s.apn'
	option device '/dev/cdc-wdm0'
CFG
    sed -i "s/option network 'wan'/list network 'wan'\n\tlist network 'modem'/" "$fx/etc/config/firewall"
    printf "\nconfig korvel 'main'\n\toption modem 'E3372h'\n\toption apn 'older.apn'\n" > "$fx/etc/config/korvel"
    printf "9999/1/*;Mo'dem;NCM;NAN;/dev/ttyUSB0;/dev/ttyUSB0;init\n" >> "$fx/usr/share/korvel/modems.conf"
    mkdir -p "$fx/tmp/luci-modulecache"
    printf '%s\n' "$fx"
}

case_begin "remove: interface and zone membership gone, model and APN remembered, rest kept"
fx=$(configured_router)
echo 4242 > "$fx/tmp/fake/pidof.smsd"
scr=$(fresh_scratch)
korvel "$fx" "$scr" remove 9999/1/0
snapshot "$fx" "$scr"
assert_eq 0 "$RC" "status"
assert_eq "" "$(show network.modem)" "interface removed"
assert_eq "network.wan.proto='pppoe'" "$(show network.wan.proto)" "other interfaces kept"
assert_eq "firewall.@zone[1].network='wan'" "$(show firewall.@zone[1].network)" "zone membership removed"
assert_eq "korvel.main=korvel
korvel.main.modem='Mo_dem'
korvel.main.apn='it_s.apn'" "$(show korvel)" "remembered, quotes replaced"
assert_eq "pidof smsd
smstools3 stop
reload_config
rmmod option
modprobe option" "$(trace_of "$scr")" "calls"
assert_eq "firewall korvel network" "$(written_packages "$scr")" "only these packages changed"
assert_missing "$scr/upper/etc/atcommands.user" "AT list touched"
assert_eq "" "$(run_in "$fx" "$scr" sh -c 'ls -d /tmp/luci-* 2>/dev/null')" "web caches removed"
assert_eq "" "$OUT$(kmsg_of "$scr")" "removal logs nothing"

case_begin "remove with an empty APN keeps the remembered one"
fx=$(configured_router)
sed -i "/option apn 'it/d" "$fx/etc/config/network"
scr=$(fresh_scratch)
korvel "$fx" "$scr" remove 12d1/1506/102
snapshot "$fx" "$scr"
assert_eq "korvel.main.modem='E3372h'
korvel.main.apn='older.apn'" "$(show korvel.main | tail -2)" "remembered"
assert_eq "reload_config" "$(trace_of "$scr" | grep -v pidof)" "no smsd running, no option reload without init"

case_begin "remove with the switch off: smstools3 stopped and option driver reloaded, configuration kept"
fx=$(configured_router)
sed -i "s/option korvel '1'/option korvel '0'/" "$fx/etc/config/modeminfo"
echo 4242 > "$fx/tmp/fake/pidof.smstools3"
scr=$(fresh_scratch)
korvel "$fx" "$scr" remove 9999/1/0
assert_eq "pidof smsd
pidof smstools3
smstools3 stop
rmmod option
modprobe option" "$(trace_of "$scr")" "calls"
assert_eq "" "$(written_packages "$scr")" "nothing written"

case_begin "remove without a wan zone leaves the firewall alone"
fx=$(configured_router)
sed -i "s/option name 'wan'/option name 'outside'/" "$fx/etc/config/firewall"
scr=$(fresh_scratch)
korvel "$fx" "$scr" remove 12d1/1506/102
assert_eq "korvel network" "$(written_packages "$scr")" "firewall untouched"

case_begin "plugging: a zone named by a list holding wan counts; a zone already holding modem is left"
fx=$(new_router)
cat > "$fx/etc/config/firewall" <<'CFG'

config rule
	option name 'wan'

config zone 'outside'
	list name 'uplink'
	list name 'wan'
	list network 'wan'
CFG
scr=$(fresh_scratch)
korvel "$fx" "$scr" 8087/95a/0
snapshot "$fx" "$scr"
assert_eq "firewall.outside.network='wan' 'modem'" "$(show firewall.outside.network)" "list zone"
assert_contains "$(trace_of "$scr")" "service firewall restart" "restarted"
fx=$(new_router)
sed -i "s/option network 'wan'/option network 'modem'/" "$fx/etc/config/firewall"
scr=$(fresh_scratch)
korvel "$fx" "$scr" 8087/95a/0
assert_not_contains "$(trace_of "$scr")" "firewall" "string modem: no write, no restart"
assert_missing "$scr/upper/etc/config/firewall" "firewall rewritten"
sed -i "s/option name 'wan'/option name 'guest'/" "$fx/etc/config/firewall"
scr=$(fresh_scratch)
korvel "$fx" "$scr" 8087/95a/0
assert_not_contains "$(trace_of "$scr")" "firewall" "no wan zone: nothing"

case_begin "plugging: AT command list kept when edited, written when missing or the model changed"
expected="$BB_TMP/expected.ati"
{ cat "$DATA/ati/L850-GL.ati"; echo; } > "$expected"   # the list and one line feed
for c in "keep-empty:L850-GL:" "write-missing:L850-GL:-" "rewrite-new-model:E3372h:Mine;AT"; do
    IFS=: read -r what saved content <<<"$c"
    fx=$(new_router)
    printf "\nconfig korvel 'main'\n\toption modem '%s'\n" "$saved" > "$fx/etc/config/korvel"
    case "$content" in
    -) rm "$fx/etc/atcommands.user" ;;
    "") : > "$fx/etc/atcommands.user" ;;
    *) printf '%s\n' "$content" > "$fx/etc/atcommands.user" ;;
    esac
    scr=$(fresh_scratch)
    korvel "$fx" "$scr" 8087/95a/0
    if [ "$what" = keep-empty ]; then
        assert_missing "$scr/upper/etc/atcommands.user" "$what: rewritten"
    else
        assert_file_eq "$expected" "$scr/upper/etc/atcommands.user"
    fi
done

fx=$(new_router)
rm "$fx/usr/share/korvel/ati/L850-GL.ati"
scr=$(fresh_scratch)
korvel "$fx" "$scr" 8087/95a/0
assert_eq "0a" "$(od -An -tx1 "$scr/upper/etc/atcommands.user" | tr -d ' ')" "no list for the model: one line feed"

case_begin "plugging: SMS init string written unless NAN"
fx=$(new_router)
scr=$(fresh_scratch)
korvel "$fx" "$scr" 8087/95a/0
snapshot "$fx" "$scr"
assert_eq "" "$(show smstools3.@sms[0].init)" "NAN: the old init string is deleted"
assert_eq "smstools3.@sms[0].device='/dev/ttyACM0'" "$(show smstools3.@sms[0].device)" "device"

korvel_finish
