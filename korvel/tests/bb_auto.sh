#!/bin/bash
# Devices without a catalogue line (unknown_modems 'auto', as shipped): fake
# sysfs trees laid out as real devices present themselves, the mode chosen,
# the keys written, the log lines, and the removal; the catalogue winning;
# the setting off; ModemManager's port list with and without an AT port.
# shellcheck source-path=SCRIPTDIR source=bb_lib.sh
. "$ROUTER_SRC/bb_lib.sh"

PACKAGES="network firewall modeminfo mmconfig atinout smstools3 korvel"

# --- the devices, as sysfs shows them (device 1-1 unless said otherwise) ---

# Quectel EP06 class module: DM, NMEA, AT and modem ports on option, QMI on
# interface 4 (mmcli lists its AT ports unless $2 is "no-at").
qmi_module() {
    usb_device "$1" 1-1 2c7c && usb_ids "$1" 1-1 0306 0310 5
    usb_function "$1" 1-1 0 ff ff ff option tty:ttyUSB0
    usb_function "$1" 1-1 1 ff 00 00 option tty:ttyUSB1
    usb_function "$1" 1-1 2 ff 00 00 option tty:ttyUSB2
    usb_function "$1" 1-1 3 ff 00 00 option tty:ttyUSB3
    usb_function "$1" 1-1 4 ff ff ff qmi_wwan net:wwan0 wdm:cdc-wdm0
    local ports='"cdc-wdm0 (qmi)","ttyUSB0 (qcdm)","ttyUSB1 (gps)","ttyUSB2 (at)","ttyUSB3 (at)","wwan0 (net)"'
    [ "${2:-}" = no-at ] && ports='"cdc-wdm0 (qmi)","ttyUSB0 (qcdm)","wwan0 (net)"'
    printf '{"modem":{"generic":{"drivers":["option","qmi_wwan"],"device":"/sys/devices/usb1/1-1","primary-port":"cdc-wdm0","ports":[%s]}}}\n' \
        "$ports" > "$1/tmp/fake/modem.json"
    echo '{"sim":{"properties":{"operator-code":"25001"}}}' > "$1/tmp/fake/sim.json"
}
# Sierra EM7455 in its MBIM configuration: qcserial ports, MBIM on 12 and 13.
# shellcheck disable=SC2317  # called by name from the table of devices
mbim_module() {
    usb_device "$1" 1-1 1199 && usb_ids "$1" 1-1 9079 0006 5
    usb_function "$1" 1-1 0 ff ff ff qcserial tty:ttyUSB0
    usb_function "$1" 1-1 2 ff ff ff qcserial tty:ttyUSB1
    usb_function "$1" 1-1 3 ff ff ff qcserial tty:ttyUSB2
    usb_function "$1" 1-1 12 02 0e 00 cdc_mbim net:wwan0 wdm:cdc-wdm0
    usb_function "$1" 1-1 13 0a 00 02 cdc_mbim
    [ "${2:-}" = no-mm ] && return
    echo '{"modem":{"generic":{"drivers":["qcserial","cdc_mbim"],"device":"/sys/devices/usb1/1-1","primary-port":"cdc-wdm0","ports":["cdc-wdm0 (mbim)","ttyUSB0 (qcdm)","ttyUSB2 (at)","wwan0 (net)"]}}}' \
        > "$1/tmp/fake/modem.json"
}
# Huawei stick in NCM mode: a serial port, NCM on huawei_cdc_ncm, a card reader.
# shellcheck disable=SC2317  # called by name from the table of devices
ncm_stick() {
    usb_device "$1" 1-1 12d1 && usb_ids "$1" 1-1 155e 0102 4
    usb_function "$1" 1-1 0 ff 02 12 option tty:ttyUSB0
    usb_function "$1" 1-1 1 ff 02 16 huawei_cdc_ncm net:wwan0 wdm:cdc-wdm0
    usb_function "$1" 1-1 2 08 06 50 usb-storage
    usb_function "$1" 1-1 3 08 06 50 usb-storage
    echo '{"modem":{"generic":{"drivers":["option","huawei_cdc_ncm"],"device":"/sys/devices/usb1/1-1","primary-port":"cdc-wdm0","ports":["cdc-wdm0 (at)","ttyUSB0 (at)","wwan0 (net)"]}}}' \
        > "$1/tmp/fake/modem.json"
}
# ZTE MF833V router-style modem: ECM on cdc_ether and a card reader.
ecm_modem() {
    usb_device "$1" "${2:-1-1}" 19d2 && usb_ids "$1" "${2:-1-1}" 1405 0102 3
    usb_function "$1" "${2:-1-1}" 0 02 06 00 cdc_ether "net:${3:-usb0}"
    usb_function "$1" "${2:-1-1}" 1 0a 00 00 cdc_ether
    usb_function "$1" "${2:-1-1}" 2 08 06 50 usb-storage
}
# ZTE MF79U router-style modem: RNDIS.
# shellcheck disable=SC2317  # called by name from the table of devices
rndis_modem() {
    usb_device "$1" 1-1 19d2 && usb_ids "$1" 1-1 1485 0102 2
    usb_function "$1" 1-1 0 e0 01 03 rndis_host net:usb0
    usb_function "$1" 1-1 1 0a 00 00 rndis_host
}
# A modem still in its storage mode: CD-ROM and card reader.
# shellcheck disable=SC2317  # called by name from the table of devices
storage_only() {
    usb_device "$1" 1-1 19d2 && usb_ids "$1" 1-1 2000 0000 2
    usb_function "$1" 1-1 0 08 06 50 usb-storage
    usb_function "$1" 1-1 1 08 06 50 usb-storage
}
# shellcheck disable=SC2317  # called by name from the table of devices
keyboard() {
    usb_device "$1" 1-1 046d && usb_ids "$1" 1-1 c31c 6400 2
    usb_function "$1" 1-1 0 03 01 01 usbhid
    usb_function "$1" 1-1 1 03 00 00 usbhid
}

# plug_and_pull FX SCR ID: in one sandbox, the hotplug add of the device 1-1
# (waiting for its detached configuration), a snapshot, the remove, another
# snapshot. Sets ADD_RC, REMOVE_RC, ADDED and REMOVED (uci show of
# the packages after each), TRACE (the add's calls) and KMSG (the add's lines).
plug_and_pull() {
    run_in "$1" "$2" env K="$KORVEL" ID="$3" P="$PACKAGES" sh -c '
        export DEVTYPE=usb_device DEVPATH=/devices/usb1/1-1
        { "$K" add "$ID"; echo $? > /tmp/add.rc; } 2>&1 | cat > /tmp/add.out
        for p in $P; do uci show $p 2>/dev/null; done > /tmp/added
        mv /tmp/trace /tmp/trace.add 2>/dev/null; cp /dev/kmsg /tmp/kmsg.add
        "$K" remove "$ID" > /tmp/remove.out 2>&1; echo $? > /tmp/remove.rc
        for p in $P; do uci show $p 2>/dev/null; done > /tmp/removed'
    local t="$2/upper/tmp"
    ADD_RC=$(cat "$t/add.rc"); REMOVE_RC=$(cat "$t/remove.rc")
    ADDED=$(cat "$t/added"); REMOVED=$(cat "$t/removed")
    TRACE=$(cat "$t/trace.add" 2>/dev/null); KMSG=$(cat "$t/kmsg.add")
}

# The keys the shared configuration path writes for the interface "modem".
network_keys() { # PROTO DEVICE [APN]
    echo "network.modem=interface"
    echo "network.modem.proto='$1'"
    [ -n "${3:-}" ] && echo "network.modem.apn='$3'"
    case "$1" in
    modemmanager) echo "network.modem.iptype='ipv4'" ;;
    mbim) echo "network.modem.pdptype='ipv4'" ;;
    ncm) echo "network.modem.pdptype='IP'" ;;
    esac
    echo "network.modem.device='$2'"
}

# name | usb id | fixture | mode | why | proto | data device | APN | AT port |
# modeminfo key | port-list queries
devices=(
    "QMI module, four serial ports|2c7c/306/310|qmi_module|ModemManager|qmi_wwan bound to 1-1:1.4|modemmanager|/sys/devices/usb1/1-1|internet.mts.ru|/dev/ttyUSB2|device_qmi='/dev/cdc-wdm0'|1"
    "QMI module, mmcli lists no AT port|2c7c/306/310|qmi_module no-at|ModemManager|qmi_wwan bound to 1-1:1.4|modemmanager|/sys/devices/usb1/1-1|internet.mts.ru|-|-|1"
    "MBIM module|1199/9079/6|mbim_module|MBIM|cdc_mbim bound to 1-1:1.12|mbim|/dev/cdc-wdm0||/dev/ttyUSB2|device='/dev/ttyUSB2'|1"
    "MBIM module, ModemManager lists nothing|1199/9079/6|mbim_module no-mm|MBIM|cdc_mbim bound to 1-1:1.12|mbim|/dev/cdc-wdm0||-|-|10"
    "NCM stick|12d1/155e/102|ncm_stick|NCM|huawei_cdc_ncm bound to 1-1:1.1|ncm|/dev/cdc-wdm0||/dev/cdc-wdm0|device='/dev/cdc-wdm0'|1"
    "ECM router-style modem|19d2/1405/102|ecm_modem|HILINK|cdc_ether bound to 1-1:1.0, no serial port|dhcp|usb0||-|-|0"
    "RNDIS router-style modem|19d2/1485/102|rndis_modem|HILINK|rndis_host bound to 1-1:1.0, no serial port|dhcp|usb0||-|-|0"
    "storage function only|19d2/2000/0|storage_only|-|interfaces 08/06/50 usb-storage, 08/06/50 usb-storage||||-|-|"
    "keyboard|46d/c31c/6400|keyboard|-|interfaces 03/01/01 usbhid, 03/00/00 usbhid||||-|-|"
)
for row in "${devices[@]}"; do
    IFS='|' read -r name id fixture mode why proto device apn at info queries <<<"$row"
    case_begin "$name"
    fx=$(new_router)
    read -r make variant <<<"$fixture"
    "$make" "$fx" "$variant"
    scr=$(fresh_scratch)
    plug_and_pull "$fx" "$scr" "$id"
    model=$(printf 'auto-%04x-%04x' "0x${id%%/*}" "0x$(cut -d/ -f2 <<<"$id")")
    assert_eq 0 "$ADD_RC" "add status"
    assert_eq 0 "$REMOVE_RC" "remove status"
    if [ "$mode" = - ]; then
        assert_eq "korvel: INFO: usb $id is not a modem korvel can configure ($why)" "$KMSG" "log line"
        assert_eq "" "$TRACE" "nothing run"
        assert_eq "" "$(written_packages "$scr")" "nothing written"
        continue
    fi
    assert_eq "korvel: starting modem configuration
korvel: usb $id; model $model
korvel: usb $id: $mode mode (no catalogue line; $why)
korvel: $model modem setup complete" "$KMSG" "log lines"
    assert_eq "$(network_keys "$proto" "$device" "$apn")" "$(show network.modem "$ADDED")" "network"
    assert_eq "firewall.@zone[1].network='wan' 'modem'" "$(show firewall.@zone[1].network "$ADDED")" "wan zone"
    assert_eq "korvel.main.modem='$model'" "$(show korvel.main.modem "$ADDED")" "model remembered"
    assert_eq "$queries" "$(grep -c 'generic.ports' <<<"$TRACE")" "port-list queries"
    assert_missing "$scr/upper/etc/atcommands.user" "AT command list written"
    if [ "$at" = - ]; then
        # No AT port: the modem tools keep their settings.
        assert_eq "" "$(written_packages "$scr" | grep -oE 'modeminfo|atinout|smstools3')" "AT and SMS tools untouched"
    else
        assert_contains "$(show modeminfo.@modeminfo[0] "$ADDED")" "modeminfo.@modeminfo[0].$info" "modeminfo"
        assert_eq "atinout.general.atc_port='$at'" "$(show atinout.general.atc_port "$ADDED")" "atinout"
        assert_eq "smstools3.@sms[0].device='$at'" "$(show smstools3.@sms[0].device "$ADDED")" "smstools3"
        assert_eq "" "$(show smstools3.@sms[0].init "$ADDED")" "no SMS init string"
    fi
    # The removal takes the interface and the zone entry back, as for a
    # catalogued modem.
    assert_eq "" "$(show network.modem "$REMOVED")" "interface removed"
    assert_eq "firewall.@zone[1].network='wan'" "$(show firewall.@zone[1].network "$REMOVED")" "zone entry removed"
    assert_eq "korvel.main.modem='$model'" "$(show korvel.main.modem "$REMOVED")" "model kept"
done

case_begin "a catalogue line wins; by hand the chosen mode is one line on standard output"
fx=$(new_router)
qmi_module "$fx"
sed -i 's/^12d1\/1506\/\*;/2c7c\/306\/*;/' "$fx/usr/share/korvel/modems.conf"   # the E3372h line now names it
scr=$(fresh_scratch)
korvel "$fx" "$scr" 2c7c/306/310
snapshot "$fx" "$scr"
assert_eq 0 "$RC" "status"
assert_eq "korvel: usb 2c7c/306/310: NCM mode (catalogue line 2c7c/306/*)" "$(grep ' mode (' <<<"$OUT")" "chosen mode"
assert_eq "network.modem.proto='ncm'" "$(show network.modem.proto)" "catalogue mode"
assert_eq "korvel.main.modem='E3372h'" "$(show korvel.main.modem)" "catalogue model"
assert_file_eq <(cat "$DATA/ati/E3372h.ati"; echo) "$scr/upper/etc/atcommands.user"
fx=$(new_router)
qmi_module "$fx"
scr=$(fresh_scratch)
OUT=$(run_in "$fx" "$scr" "$KORVEL" 2c7c/306/310 2>/dev/null)
assert_eq "korvel: usb 2c7c/306/310: ModemManager mode (no catalogue line; qmi_wwan bound to 1-1:1.4)" "$OUT" "standard output"
assert_eq 0 "$(grep -c ' mode (' "$scr/upper/dev/kmsg")" "not logged a second time"

case_begin "by hand: a device korvel cannot configure, or none, says so on standard error"
fx=$(new_router)
keyboard "$fx"
scr=$(fresh_scratch)
out=$(run_in "$fx" "$scr" env K="$KORVEL" sh -c '"$K" 46d/c31c/6400; echo "rc=$?"; "$K" 1234/5678/1; echo "rc=$?"' 2>&1)
assert_eq "korvel: INFO: usb 46d/c31c/6400 is not a modem korvel can configure (interfaces 03/01/01 usbhid, 03/00/00 usbhid)
rc=0
korvel: INFO: usb 1234/5678/1 is not a modem korvel can configure (no such USB device)
rc=0" "$out" "outputs"
assert_eq "" "$(written_packages "$scr")" "nothing written"

case_begin "setting off (no option, or 'ignore'): nothing examined, nothing said"
for setting in "" "option unknown_modems 'ignore'" "option unknown_modems 'Auto'"; do
    fx=$(new_router)
    qmi_module "$fx"
    printf "\nconfig korvel 'main'\n\t%s\n" "$setting" > "$fx/etc/config/korvel"
    scr=$(fresh_scratch)
    out=$(run_in "$fx" "$scr" env K="$KORVEL" sh -c '
        DEVTYPE=usb_device DEVPATH=/devices/usb1/1-1 "$K" add 2c7c/306/310 2>&1 | cat
        "$K" remove 2c7c/306/310; "$K" 2c7c/306/310' 2>&1)
    assert_eq "Modem 2c7c/306/310 not found in configurations." "$out$(trace_of "$scr")$(kmsg_of "$scr")" \
        "[$setting] add and remove silent, by hand not found"
    assert_eq "" "$(written_packages "$scr")" "[$setting] nothing written"
done

case_begin "hotplug: interface events, hubs and devices already gone are passed over in silence"
fx=$(new_router)
qmi_module "$fx"
usb_device "$fx" 1-2 1d6b && usb_ids "$fx" 1-2 0002 0515 1 09
usb_function "$fx" 1-2 0 09 00 00 hub
scr=$(fresh_scratch)
out=$(run_in "$fx" "$scr" env K="$KORVEL" sh -c '
    DEVTYPE=usb_interface DEVPATH=/devices/usb1/1-1/1-1:1.4 "$K" add 2c7c/306/310
    DEVTYPE=usb_interface "$K" remove 2c7c/306/310
    DEVTYPE=usb_device DEVPATH=/devices/usb1/1-2 "$K" add 1d6b/2/515
    DEVTYPE=usb_device "$K" add 1234/5678/1' 2>&1)
assert_eq "" "$out$(trace_of "$scr")$(kmsg_of "$scr")" "silent"
assert_eq "" "$(written_packages "$scr")" "nothing written"

case_begin "the event's own device (DEVPATH) is examined when two have the same id"
fx=$(new_router)
ecm_modem "$fx" 1-1 usb0
ecm_modem "$fx" 1-2 usb1
scr=$(fresh_scratch)
OUT=$(run_in "$fx" "$scr" env DEVTYPE=usb_device DEVPATH=/devices/usb1/1-2 "$KORVEL" add 19d2/1405/102 2>&1)
assert_contains "$OUT" "HILINK mode (no catalogue line; cdc_ether bound to 1-2:1.0, no serial port)" "second device"

case_begin "drivers still binding: up to five one-second waits, then what is there"
fx=$(new_router)
ecm_modem "$fx"
usb_ids "$fx" 1-1 1405 0102 4   # one interface announced but not there
scr=$(fresh_scratch)
korvel "$fx" "$scr" add 19d2/1405/102
assert_eq "sleep 1
sleep 1
sleep 1
sleep 1
sleep 1
pidof korvel" "$(trace_of "$scr" | sed -n '1,6p')" "waits before the choice"
assert_contains "$OUT" "HILINK mode" "chosen after the waits"

case_begin "remove: only the modem configured last without a catalogue line is taken back"
fx=$(new_router)
ecm_modem "$fx"
cat >> "$fx/etc/config/network" <<'CFG'

config interface 'modem'
	option proto 'ncm'
	option device '/dev/cdc-wdm0'
CFG
printf "\nconfig korvel 'main'\n\toption modem 'E3372h'\n\toption unknown_modems 'auto'\n" > "$fx/etc/config/korvel"
scr=$(fresh_scratch)
korvel "$fx" "$scr" remove 19d2/1405/102
assert_eq "" "$(written_packages "$scr")$(trace_of "$scr")" "another modem's interface kept"

korvel_finish
