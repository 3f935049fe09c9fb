#!/bin/bash
# Add-time driver binding of "init" modems on fake sysfs trees: the four
# stages, their waits and bounds, and the exact texts written.
# shellcheck source-path=SCRIPTDIR source=bb_lib.sh
. "$ROUTER_SRC/bb_lib.sh"

U=/sys/bus/usb/drivers
OPTION_NEW_ID="write /sys/bus/usb-serial/drivers/option1/new_id"

# binding_trace SCRATCH: the trace of the add process up to its pidof guard.
binding_trace() { trace_of "$1" | sed '/^pidof korvel/,$d'; }

# A fixture whose configuration switch is off, so that the detached
# configuration only checks smstools3 and the trace shows the binding alone.
binding_router() {
    local fx; fx=$(new_router)
    sed -i "s/option korvel '1'/option korvel '0'/" "$fx/etc/config/modeminfo"
    printf '%s\n' "$fx"
}

case_begin "serial binding only: id pair, tty wait, adb and fastboot interfaces unbound"
fx=$(binding_router)
usb_device "$fx" 1-1 2c7c "Quectel" 1
usb_interface "$fx" 1-1 0 ff ff ff
usb_interface "$fx" 1-1 4 ff 42 01
usb_interface "$fx" 1-1 5 ff 42 03
usb_interface "$fx" 1-1 6 ff 42 02
usb_interface "$fx" 1-1 7 0a 42 01
usb_tty "$fx" ttyUSB0 1-1 0
scr=$(fresh_scratch)
korvel "$fx" "$scr" add 2c7c/125/318
assert_eq 0 "$RC" "exit status"
got=$(binding_trace "$scr" | sort | grep -v '^sleep')
assert_eq "$OPTION_NEW_ID [2c7c 125]
write $U/option/unbind [1-1:1.4\n]
write $U/option/unbind [1-1:1.5\n]" "$got" "writes"
assert_eq "sleep 1
sleep 1" "$(binding_trace "$scr" | grep '^sleep')" "one tty pass and the settle wait"
assert_eq "korvel: modem initialization" "$(kmsg_of "$scr")" "kmsg"
assert_contains "$OUT" "korvel: modem initialization" "stderr"

case_begin "ports that never come up: 15 passes, ids written again before each further pass"
fx=$(binding_router)
usb_device "$fx" 1-1 1bc7 "Telit" 1
scr=$(fresh_scratch)
korvel "$fx" "$scr" add 1bc7/1910/0
stage3=$(binding_trace "$scr" | sed -n '/option1/,$p')
assert_eq 16 "$(grep -c '^sleep 1$' <<<"$stage3")" "15 passes and the settle wait"
assert_eq 30 "$(grep -c "^$OPTION_NEW_ID" <<<"$stage3")" "new_id writes (15 x pair and 1bc7 1911)"
assert_eq "$OPTION_NEW_ID [1bc7 1910]
$OPTION_NEW_ID [1bc7 1911]
sleep 1
$OPTION_NEW_ID [1bc7 1910]
$OPTION_NEW_ID [1bc7 1911]
sleep 1" "$(head -6 <<<"$stage3")" "extra id follows the pair every time"
assert_eq "$OPTION_NEW_ID [1bc7 1911]
sleep 1
sleep 1" "$(tail -3 <<<"$stage3")" "last pass: no rewrite, then the settle wait"

case_begin "QMI binding: re-enumeration, new_id until cdc-wdm appears, interfaces 2-4 unbound"
fx=$(binding_router)
usb_device "$fx" 2-1 1bc7 "Telit" 3
usb_tty "$fx" ttyUSB0 2-1 0
: > "$fx/dev/cdc-wdm0"
scr=$(fresh_scratch)
korvel "$fx" "$scr" add 1bc7/1910/0
assert_eq "sleep 1
write $U/usb/unbind [2-1\n]
sleep 1
write $U/usb/bind [2-1\n]
sleep 1
write $U/qmi_wwan/new_id [1bc7 1910]
sleep 2
write $U/qmi_wwan/unbind [2-1:3.2]
write $U/qmi_wwan/unbind [2-1:3.3]
write $U/qmi_wwan/unbind [2-1:3.4]
$OPTION_NEW_ID [1bc7 1910]
$OPTION_NEW_ID [1bc7 1911]
sleep 1
sleep 1" "$(binding_trace "$scr")" "trace"

case_begin "QMI binding without cdc-wdm: 20 passes, then serial binding; no device: no re-enumeration"
fx=$(binding_router)
scr=$(fresh_scratch)
korvel "$fx" "$scr" add 1bc7/1910/0
t=$(binding_trace "$scr")
assert_eq 20 "$(grep -c "qmi_wwan/new_id \[1bc7 1910\]" <<<"$t")" "passes"
assert_not_contains "$t" "usb/unbind" "no re-enumeration without the device"
assert_eq "$(printf 'sleep 1\n%.0s' $(seq 14))" "$(sed -n '1,14p' <<<"$t")" "device wait: 15 tries, 14 waits"
assert_eq "$OPTION_NEW_ID [1bc7 1911]" "$(tail -1 <<<"$t")" "no device: serial stage ends after the ids"

case_begin "configuration switch: configuration 2 of a Dell device is reset to 1"
fx=$(binding_router)
usb_device "$fx" 1-2 413c "DELL Inc." 2
scr=$(fresh_scratch)
korvel "$fx" "$scr" add 413c/81d7/318
A=/sys/bus/usb/devices/1-2/bConfigurationValue
assert_eq "sleep 1
write $U/usb/unbind [1-2\n]
sleep 1
write $U/usb/bind [1-2\n]
sleep 1
write $A [-1]
sleep 1
write $A [1]
sleep 10
$OPTION_NEW_ID [413c 81d7]" "$(binding_trace "$scr" | sed '/option1/q')" "trace"

case_begin "configuration switch leaves other makers and configuration 1 alone"
for c in "Huawei Technologies:2" "TeLiT wireless:1" "qualcomm:5"; do
    fx=$(binding_router)
    usb_device "$fx" 1-2 413c "${c%%:*}" "${c##*:}"
    scr=$(fresh_scratch)
    korvel "$fx" "$scr" add 413c/81d7/318
    assert_not_contains "$(binding_trace "$scr")" "bConfigurationValue" "$c"
    assert_eq "${c##*:}" "$(cat "$fx/sys/devices/usb1/1-2/bConfigurationValue")" "$c value"
done

case_begin "configuration switch: an unreadable configuration is read again after 10 seconds, then given up"
fx=$(binding_router)
usb_device "$fx" 1-2 413c "Dell" ""
ln -s /dev/null "$fx/sys/devices/usb1/1-2/bConfigurationValue"   # opens, reads nothing
scr=$(fresh_scratch)
korvel "$fx" "$scr" add 413c/81d7/318
assert_eq "write $U/usb/bind [1-2\n]
sleep 1
sleep 10
$OPTION_NEW_ID [413c 81d7]" "$(binding_trace "$scr" | sed -n '/usb\/bind/,/option1/p')" "trace"

case_begin "mode switch: at^setmode=1 to the highest ttyUSB of the device; 857 also teaches 3f0 a57"
fx=$(binding_router)
usb_device "$fx" 1-3 3f0 "Qualcomm" 1
usb_tty "$fx" ttyUSB0 1-3 0
usb_tty "$fx" ttyUSB2 1-3 2
usb_tty "$fx" ttyUSB10 1-4 0   # another device's port
: > "$fx/dev/ttyUSB10"
scr=$(fresh_scratch)
korvel "$fx" "$scr" add 3f0/857/0
assert_eq "$OPTION_NEW_ID [3f0 857]
$OPTION_NEW_ID [3f0 a57]" "$(binding_trace "$scr" | grep option1)" "serial ids"
assert_eq "at^setmode=1" "$(tr '\r' '\n' < "$scr/upper/dev/ttyUSB2")" "command"
assert_eq 13 "$(wc -c < "$scr/upper/dev/ttyUSB2")" "13 bytes, ending in CR"
assert_missing "$scr/upper/dev/ttyUSB10" "other device's port written"

case_begin "two devices of one vendor: the first in directory order is used"
fx=$(binding_router)
usb_device "$fx" 1-5 2c7c "Quectel" 1
usb_device "$fx" 1-6 2c7c "Quectel" 1
usb_interface "$fx" 1-5 4 ff 42 01
usb_interface "$fx" 1-6 4 ff 42 01
scr=$(fresh_scratch)
first=$(run_in "$fx" "$scr" ls -U /sys/bus/usb/devices | grep -v : | head -1)
korvel "$fx" "$scr" add 2c7c/125/318
assert_eq "write $U/option/unbind [$first:1.4\n]" "$(binding_trace "$scr" | grep option/unbind)" "unbind"

case_begin "flags other than init do not bind"
fx=$(binding_router)
usb_device "$fx" 1-1 12d1 "Huawei" 1
scr=$(fresh_scratch)
korvel "$fx" "$scr" add 12d1/1506/102
assert_eq "" "$(binding_trace "$scr")" "no binding"
assert_eq "" "$(kmsg_of "$scr")" "no initialization line"

korvel_finish
