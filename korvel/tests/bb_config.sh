#!/bin/bash
# The configuration written for each mode: UCI keys and their order, the
# firewall zone, the APN choice, the modeminfo branches, the AT command list,
# SMS settings, service calls and log lines, through "add" and the one-word form.
# shellcheck source-path=SCRIPTDIR source=bb_lib.sh
. "$ROUTER_SRC/bb_lib.sh"

SMS_START="pidof smsd
pidof smstools3
smstools3 start"

case_begin "NCM modem plugged: every package written, services restarted, log lines"
fx=$(new_router)
: > "$fx/dev/cdc-wdm0"
mkdir -p "$fx/etc/hotplug.d/tty" "$fx/usr/share/luci/menu.d" "$fx/tmp/luci-indexcache.d"
: > "$fx/etc/hotplug.d/tty/25-modemmanager-tty"
: > "$fx/usr/share/luci/menu.d/luci-proto-modemmanager.json"
scr=$(fresh_scratch)
korvel "$fx" "$scr" add 12d1/1506/102
snapshot "$fx" "$scr"
assert_eq 0 "$RC" "exit status"
assert_eq "network.modem=interface
network.modem.proto='ncm'
network.modem.pdptype='IP'
network.modem.device='/dev/cdc-wdm0'" "$(show network.modem)" "network"
assert_eq "firewall.@zone[1].network='wan' 'modem'" "$(show firewall.@zone[1].network)" "wan zone"
assert_eq "modeminfo.@general[0]=general
modeminfo.@general[0].korvel='1'
modeminfo.@modeminfo[0]=modeminfo
modeminfo.@modeminfo[0].device='/dev/ttyUSB0'" "$(show modeminfo)" "modeminfo"
assert_eq "mmconfig.@modem[0]=modem
mmconfig.@modem[0].device0='/dev/cdc-wdm0'
mmconfig.@modem[0].network0='allowed: 3g, 4g; preferred: 4g'" "$(show mmconfig)" "mmconfig"
assert_eq "atinout.general=atinout
atinout.general.atc_port='/dev/ttyUSB0'" "$(show atinout)" "atinout"
assert_eq "smstools3.@sms[0]=sms
smstools3.@sms[0].device='/dev/ttyUSB1'
smstools3.@sms[0].storage='persistent'
smstools3.@sms[0].decode_utf='1'
smstools3.@sms[0].loglevel='1'
smstools3.@sms[0].net_check='0'" "$(show smstools3)" "smstools3"
assert_eq "korvel.main.modem='E3372h'" "$(show korvel.main.modem)" "remembered model"
assert_file_eq <(cat "$DATA/ati/E3372h.ati"; echo) "$scr/upper/etc/atcommands.user"
assert_eq "pidof korvel
reload_config
reload_config
service firewall restart
service luci-sms restart
$SMS_START" "$(trace_of "$scr")" "calls"
assert_eq "korvel: starting modem configuration
korvel: usb 12d1/1506/102; model E3372h
korvel: E3372h modem setup complete" "$(kmsg_of "$scr")" "kmsg"
assert_contains "$OUT" "korvel: E3372h modem setup complete" "stderr"
gone=$(run_in "$fx" "$scr" sh -c 'ls -A /etc/hotplug.d/tty; ls -A /usr/share/luci/menu.d; ls -d /tmp/luci-* 2>/dev/null')
assert_eq "" "$gone" "ModemManager hook, menu entry and web caches removed"

case_begin "the same modem again, one-word form: nothing rewritten, no restarts, no log"
: > "$scr/upper/tmp/trace"
printf 'Signal;AT+CSQ\n' > "$scr/upper/etc/atcommands.user"
korvel_aged "$fx" "$scr" /var/run/kv_log 0 12d1/1506/102
snapshot "$fx" "$scr"
assert_eq 0 "$RC" "exit status"
assert_eq "reload_config
$SMS_START" "$(trace_of "$scr")" "calls"
assert_eq "firewall.@zone[1].network='wan' 'modem'" "$(show firewall.@zone[1].network)" "modem listed once"
assert_eq "Signal;AT+CSQ" "$(cat "$scr/upper/etc/atcommands.user")" "user's list kept"
assert_eq 3 "$(kmsg_of "$scr" | wc -l)" "kmsg: no new lines within the marker window"
assert_eq "korvel: usb 12d1/1506/102: NCM mode (catalogue line 12d1/1506/*)" "$OUT" "only the chosen mode, on standard output"

case_begin "HILINK: dhcp over the cdc_ether interface, no APN, mmconfig untouched"
fx=$(new_router)
net_device "$fx" eth0.2 cdc_ether
net_device "$fx" ethx cdc_ether
net_device "$fx" eth0 mtk_soc_eth
net_device "$fx" eth7 cdc_ether
printf "\nconfig korvel 'main'\n\toption apn 'remembered'\n" > "$fx/etc/config/korvel"
scr=$(fresh_scratch)
korvel "$fx" "$scr" 12d1/14dc/102
snapshot "$fx" "$scr"
assert_eq "network.modem=interface
network.modem.proto='dhcp'
network.modem.device='eth7'" "$(show network.modem)" "network"
assert_eq "mmconfig.@modem[0]=modem
mmconfig.@modem[0].device0='/sys/old'" "$(show mmconfig)" "mmconfig"
assert_eq "sleep 2" "$(trace_of "$scr" | grep sleep)" "settle wait"

case_begin "HILINK over rndis_host usb0; no interface at all leaves the device empty"
fx=$(new_router)
net_device "$fx" usb0 rndis_host
scr=$(fresh_scratch)
korvel "$fx" "$scr" 12d1/1f01/0
snapshot "$fx" "$scr"
assert_eq "network.modem.device='usb0'" "$(show network.modem.device)" "usb0"
fx=$(new_router)
scr=$(fresh_scratch)
korvel "$fx" "$scr" 12d1/1f01/0
snapshot "$fx" "$scr"
assert_eq "network.modem=interface
network.modem.proto='dhcp'" "$(show network.modem)" "empty device"

case_begin "XMM: the AT port is the data device; the remembered APN is used"
fx=$(new_router)
printf "\nconfig korvel 'main'\n\toption apn 'remembered'\n\toption modem 'L850-GL'\n" > "$fx/etc/config/korvel"
printf 'Demo command "ATI";ATI\nMine;AT\n' > "$fx/etc/atcommands.user"
scr=$(fresh_scratch)
korvel "$fx" "$scr" 8087/95a/0
snapshot "$fx" "$scr"
assert_eq "network.modem=interface
network.modem.proto='xmm'
network.modem.apn='remembered'
network.modem.pdp='ip'
network.modem.device='/dev/ttyACM0'" "$(show network.modem)" "network"
assert_missing "$scr/upper/etc/atcommands.user" "demo line plus another line must stay"

case_begin "MBIM: no cdc-wdm after 20 passes, pdptype ipv4, APN kept, interface brought up in the background"
fx=$(new_router)
printf "\nconfig interface 'modem'\n\toption apn 'kept'\n" >> "$fx/etc/config/network"
scr=$(fresh_scratch)
korvel "$fx" "$scr" 1bc7/1900/0
snapshot "$fx" "$scr"
assert_eq 20 "$(trace_of "$scr" | grep -c '^sleep 1$')" "20 passes"
assert_eq "network.modem=interface
network.modem.apn='kept'
network.modem.proto='mbim'
network.modem.pdptype='ipv4'" "$(show network.modem)" "network"
assert_eq "ifstatus modem
ifup modem" "$(trace_of "$scr" | grep '^if')" "background re-up"

case_begin "ModemManager QMI modem: drivers, device and operator from mmcli, APN from the file"
fx=$(new_router)
cat > "$fx/tmp/fake/modem.json" <<'J'
{"modem":{"generic":{"drivers":["qmi_wwan","option"],"device":"/sys/devices/platform/usb1/1-1"}}}
J
echo '{"sim":{"properties":{"operator-code":"25001"}}}' > "$fx/tmp/fake/sim.json"
echo 2 > "$fx/tmp/fake/modem.empty"
printf "\nconfig korvel 'main'\n\toption apn 'remembered'\n" > "$fx/etc/config/korvel"   # the file wins
scr=$(fresh_scratch)
korvel "$fx" "$scr" 2c7c/125/318
snapshot "$fx" "$scr"
assert_eq 0 "$RC" "exit status"
assert_eq "network.modem=interface
network.modem.proto='modemmanager'
network.modem.apn='internet.mts.ru'
network.modem.iptype='ipv4'
network.modem.device='/sys/devices/platform/usb1/1-1'" "$(show network.modem)" "network"
assert_eq "modeminfo.@modeminfo[0]=modeminfo
modeminfo.@modeminfo[0].device_qmi='/dev/cdc-wdm0'
modeminfo.@modeminfo[0].qmi_mode='1'
modeminfo.@modeminfo[0].qmi_proxy='1'" "$(show modeminfo.@modeminfo[0])" "modeminfo qmi"
assert_eq "smstools3.@sms[0].init='AT+CPMS=\"ME\",\"ME\",\"ME\"'" "$(show smstools3.@sms[0].init)" "sms init"
assert_eq "mmcli -m any -J
jsonfilter -e @.modem.generic.drivers
sleep 1
mmcli -m any -J
jsonfilter -e @.modem.generic.drivers
sleep 1
mmcli -m any -J
jsonfilter -e @.modem.generic.drivers
mmcli -m any -J
jsonfilter -e @.modem.generic.device
mmcli -i any -J
jsonfilter -e @.sim[\"properties\"][\"operator-code\"]" "$(trace_of "$scr" | grep -v '^pidof\|^smstools3' | sed '/^reload_config/,$d')" "queries"

case_begin "MDM modem with an MBIM driver: AT port and mmcli names; re-enumeration before configuring"
fx=$(new_router)
usb_device "$fx" 3-1 413c "DELL" 1
echo '{"modem":{"generic":{"drivers":["cdc_mbim"],"device":"/sys/devices/usb3/3-1"}}}' > "$fx/tmp/fake/modem.json"
# No modeminfo and no mmconfig section yet: both are added as unnamed sections.
printf "\nconfig general\n\toption korvel '1'\n" > "$fx/etc/config/modeminfo"
: > "$fx/etc/config/mmconfig"
scr=$(fresh_scratch)
korvel "$fx" "$scr" 413c/81e0/0
snapshot "$fx" "$scr"
assert_eq "modeminfo.@general[0]=general
modeminfo.@general[0].korvel='1'
modeminfo.@modeminfo[0]=modeminfo
modeminfo.@modeminfo[0].device='/dev/ttyUSB1'
modeminfo.@modeminfo[0].mmcli_name='1'" "$(show modeminfo)" "modeminfo mbim, section added"
assert_eq "mmconfig.@modem[0]=modem
mmconfig.@modem[0].device0='/sys/devices/usb3/3-1'
mmconfig.@modem[0].network0='allowed: 3g, 4g; preferred: 4g'" "$(show mmconfig)" "mmconfig section added"
assert_not_contains "$(cat "$scr/upper/etc/config/modeminfo" "$scr/upper/etc/config/mmconfig")" "@" "no section named after a look-up"
assert_eq "sleep 10
sleep 1
write /sys/bus/usb/drivers/usb/unbind [3-1\n]
sleep 1
write /sys/bus/usb/drivers/usb/bind [3-1\n]
sleep 1
service modemmanager restart
sleep 1" "$(trace_of "$scr" | sed -n '/^sleep 10/,/^mmcli/p' | sed '$d')" "re-enumeration"
assert_eq "network.modem.iptype='ipv4'" "$(show network.modem.iptype)" "iptype"

case_begin "MDM t77w968 with an MBIM driver takes the AT-port branch"
fx=$(new_router)
echo '{"modem":{"generic":{"drivers":["cdc_mbim"],"device":"/sys/x"}}}' > "$fx/tmp/fake/modem.json"
printf "\nconfig general\n\toption korvel '1'\n\nconfig modeminfo\n\toption mmcli_name '1'\n\toption qmi_mode '1'\n" > "$fx/etc/config/modeminfo"
scr=$(fresh_scratch)
korvel "$fx" "$scr" 2cb7/1/0
snapshot "$fx" "$scr"
assert_eq "modeminfo.@modeminfo[0]=modeminfo
modeminfo.@modeminfo[0].device='/dev/ttyUSB2'" "$(show modeminfo.@modeminfo[0])" "modeminfo"

case_begin "ModemManager failures end the configuration with status 1"
# no mmcli on PATH
fx=$(new_router)
nommcli=$(mktemp -d "$BB_TMP/fakes.XXXXXX")
cp -a "$FAKES"/. "$nommcli"/
rm "$nommcli/mmcli"
scr=$(fresh_scratch)
OUT=$(sandbox --root "$fx" --path "$nommcli" --scratch "$scr" --env KORVEL_TRACE=/tmp/trace -- "$KORVEL" 2c7c/125/318 2>&1)
assert_eq 1 "$?" "no mmcli: status"
snapshot "$fx" "$scr"
assert_not_contains "$OUT" "setup complete" "no mmcli: no final line"
assert_eq "" "$(show network.modem 2>/dev/null | grep proto)" "no mmcli: nothing written"
# no answer in 60 tries
fx=$(new_router)
scr=$(fresh_scratch)
korvel "$fx" "$scr" 2c7c/125/318
assert_eq 1 "$RC" "no modem: status"
assert_eq 60 "$(trace_of "$scr" | grep -c '^sleep 1$')" "no modem: 60 waits"
assert_eq "modem-reinit" "$(trace_of "$scr" | tail -1)" "no modem: reinit last, no smstools3 start"
# wrong driver
fx=$(new_router)
echo '{"modem":{"generic":{"drivers":["cdc_ether"],"device":"/sys/x"}}}' > "$fx/tmp/fake/modem.json"
scr=$(fresh_scratch)
korvel "$fx" "$scr" 2c7c/125/318
assert_eq 1 "$RC" "cdc_ether: status"
assert_eq "jsonfilter -e @.modem.generic.drivers" "$(trace_of "$scr" | tail -1)" "cdc_ether: ends after the driver query"
# drivers but never a device: bounded
fx=$(new_router)
echo '{"modem":{"generic":{"drivers":["qmi_wwan"]}}}' > "$fx/tmp/fake/modem.json"
scr=$(fresh_scratch)
korvel "$fx" "$scr" 2c7c/125/318
assert_eq 1 "$RC" "no device: status"
assert_eq 60 "$(trace_of "$scr" | grep -c 'generic.device')" "no device: 60 tries"

korvel_finish
