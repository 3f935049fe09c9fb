# shellcheck shell=bash
# Helpers of korvel's black-box tests: a router fixture with the packages
# korvel writes, fake sysfs trees, and a runner of the test build of korvel
# (waits return at once; waits, attribute writes and the fake commands' calls
# land in one trace, /tmp/trace inside the sandbox).
# shellcheck source=bb.sh
. "$ROUTER_TESTLIB/bb.sh"

KORVEL="${BIN_KORVEL_TRACED:?}"
FAKES="$ROUTER_SRC/fakes"
DATA="$ROUTER_SRC/../data"

# new_router: prints a fixture with the catalogue, the configuration packages
# (automatic configuration on), /dev/kmsg, driver attribute files and a
# recording smstools3 init script.
new_router() {
    local fx; fx=$(make_fixture)
    mkdir -p "$fx/usr/share/korvel" "$fx/etc/init.d" "$fx/dev" "$fx/tmp/fake" \
             "$fx/sys/bus/usb/devices" "$fx/sys/devices/usb1" "$fx/sys/class/tty" "$fx/sys/class/net" \
             "$fx/sys/bus/usb/drivers/usb" "$fx/sys/bus/usb/drivers/qmi_wwan" \
             "$fx/sys/bus/usb/drivers/option" "$fx/sys/bus/usb-serial/drivers/option1"
    cp -r "$DATA/modems.conf" "$ROUTER_BUILD/korvel/apns.conf" "$DATA/ati" "$fx/usr/share/korvel/"
    cp "$DATA/korvel.config" "$fx/etc/config/korvel"
    for f in usb/bind usb/unbind qmi_wwan/new_id qmi_wwan/unbind option/unbind; do
        : > "$fx/sys/bus/usb/drivers/$f"
    done
    : > "$fx/sys/bus/usb-serial/drivers/option1/new_id"
    : > "$fx/dev/kmsg"
    cat > "$fx/etc/config/network" <<'CFG'

config interface 'lan'
	option device 'br-lan'
	option proto 'static'

config interface 'wan'
	option device 'eth1'
	option proto 'pppoe'
CFG
    cat > "$fx/etc/config/firewall" <<'CFG'

config zone
	option name 'lan'
	list network 'lan'

config zone
	option name 'wan'
	option network 'wan'
	option input 'REJECT'
CFG
    cat > "$fx/etc/config/modeminfo" <<'CFG'

config general
	option korvel '1'

config modeminfo
	option device_qmi '/dev/cdc-wdm9'
	option qmi_mode '0'
	option qmi_proxy '0'
CFG
    printf '\nconfig modem\n\toption device0 /sys/old\n' > "$fx/etc/config/mmconfig"
    printf "\nconfig atinout 'general'\n\toption atc_port '/dev/ttyACM9'\n" > "$fx/etc/config/atinout"
    printf "\nconfig sms\n\toption device '/dev/ttyUSB9'\n\toption init 'AT+OLD'\n" > "$fx/etc/config/smstools3"
    printf 'Demo command "ATI";ATI\n' > "$fx/etc/atcommands.user"
    cat > "$fx/etc/init.d/smstools3" <<SH
#!/bin/sh
. "$FAKES/_record"
record smstools3 "\$@"
SH
    chmod +x "$fx/etc/init.d/smstools3"
    printf '%s\n' "$fx"
}

# usb_device FX NAME VENDOR [MANUFACTURER] [CONFIGURATION]
usb_device() {
    local d="$1/sys/devices/usb1/$2"
    mkdir -p "$d"
    printf '%s\n' "$3" > "$d/idVendor"
    [ -n "${4:-}" ] && printf '%s\n' "$4" > "$d/manufacturer"
    [ -n "${5:-}" ] && printf '%s\n' "$5" > "$d/bConfigurationValue"
    ln -s "../../../devices/usb1/$2" "$1/sys/bus/usb/devices/$2"
}

# usb_interface FX DEV NUMBER CLASS SUBCLASS PROTOCOL
usb_interface() {
    local name="$2:1.$3" d="$1/sys/devices/usb1/$2/$2:1.$3"
    mkdir -p "$d"
    printf '%s\n' "$4" > "$d/bInterfaceClass"
    printf '%s\n' "$5" > "$d/bInterfaceSubClass"
    printf '%s\n' "$6" > "$d/bInterfaceProtocol"
    ln -s "../../../devices/usb1/$2/$name" "$1/sys/bus/usb/devices/$name"
}

# usb_ids FX DEV PRODUCT RELEASE INTERFACES [DEVICE_CLASS]: the rest of a
# device's descriptor as sysfs shows it (idProduct and bcdDevice in four hex
# digits, bNumInterfaces as "%2d"); the device made with usb_device first.
usb_ids() {
    local d="$1/sys/devices/usb1/$2"
    printf '%s\n' "$3" > "$d/idProduct"
    printf '%s\n' "$4" > "$d/bcdDevice"
    printf '%2d\n' "$5" > "$d/bNumInterfaces"
    printf '%s\n' "${6:-00}" > "$d/bDeviceClass"
}

# usb_function FX DEV NUMBER CLASS SUBCLASS PROTOCOL [DRIVER [CHILD...]]: an
# interface, its bound driver and the children the driver made, each
# CHILD one of tty:ttyUSB<n> (usb-serial port), acm:ttyACM<n> (cdc_acm),
# net:<ifname> (network interface, with its /sys/class/net link) and
# wdm:cdc-wdm<n> (usbmisc device), with their /dev nodes.
usb_function() {
    local fx="$1" dev="$2" n="$3" drv="${7:-}" c iface="$2:1.$3"
    local d="$fx/sys/devices/usb1/$dev/$iface" up="../../devices/usb1/$dev/$iface"
    usb_interface "$fx" "$dev" "$n" "$4" "$5" "$6"
    if [ -n "$drv" ]; then
        mkdir -p "$fx/sys/bus/usb/drivers/$drv"
        ln -s "../../../../bus/usb/drivers/$drv" "$d/driver"
    fi
    shift 7 2>/dev/null || shift $#
    for c in "$@"; do
        case "$c" in
        tty:*) mkdir -p "$d/${c#tty:}/tty/${c#tty:}"
               ln -s "$up/${c#tty:}/tty/${c#tty:}" "$fx/sys/class/tty/${c#tty:}"
               : > "$fx/dev/${c#tty:}" ;;
        acm:*) mkdir -p "$d/tty/${c#acm:}"
               ln -s "$up/tty/${c#acm:}" "$fx/sys/class/tty/${c#acm:}"
               : > "$fx/dev/${c#acm:}" ;;
        net:*) mkdir -p "$d/net/${c#net:}"
               ln -s "../../../$iface" "$d/net/${c#net:}/device"
               ln -s "$up/net/${c#net:}" "$fx/sys/class/net/${c#net:}" ;;
        wdm:*) mkdir -p "$d/usbmisc/${c#wdm:}"
               : > "$fx/dev/${c#wdm:}" ;;
        *) echo "usb_function: unknown child $c" >&2; return 1 ;;
        esac
    done
}

# usb_tty FX TTY DEV INTERFACE: the tty's class link points into the interface.
usb_tty() {
    ln -s "../../devices/usb1/$3/$3:1.$4/$2/tty/$2" "$1/sys/class/tty/$2"
    : > "$1/dev/$2"
}

# net_device FX NAME DRIVER
net_device() {
    mkdir -p "$1/sys/class/net/$2/device"
    ln -s "../../../../bus/usb/drivers/$3" "$1/sys/class/net/$2/device/driver"
}

# run_in FX SCRATCH CMD...: a command in the sandbox over the fixture.
run_in() {
    local fx="$1" scr="$2"; shift 2
    sandbox --root "$fx" --path "$FAKES" --scratch "$scr" --env KORVEL_TRACE=/tmp/trace -- "$@"
}

# korvel FX SCRATCH ARGS...: runs korvel; its standard error and output go to
# $OUT (waits for the detached configuration too: it keeps the pipe open),
# its exit status to $RC.
# shellcheck disable=SC2034  # OUT and RC are read by the scripts
korvel() {
    local fx="$1" scr="$2"; shift 2
    OUT=$(run_in "$fx" "$scr" "$KORVEL" "$@" 2>&1)
    RC=$?
}

# assert_missing PATH WHAT: PATH does not exist (korvel did not write it).
assert_missing() {
    if [ -e "$1" ]; then bb_fail "$2"; else bb_ok; fi
}

# written_packages SCRATCH: the names of the packages written under
# /etc/config, on one line in name order (empty when none).
written_packages() {
    local f names=()
    for f in "$1"/upper/etc/config/*; do
        [ -e "$f" ] && names+=("${f##*/}")
    done
    echo "${names[*]}"
}

trace_of() { cat "$1/upper/tmp/trace" 2>/dev/null; }
kmsg_of() { cat "$1/upper/dev/kmsg" 2>/dev/null; }
korvel_finish() { if [ "$BB_FAIL" = 0 ]; then exit 0; fi; exit 1; }  # bb.sh's EXIT trap keeps the script's own status

# snapshot FX SCRATCH: one sandbox run of "uci show" over the packages korvel
# writes; show PREFIX [STATE] then prints the lines of that section/option
# from STATE (by default the snapshot).
snapshot() {
    STATE=$(run_in "$1" "$2" sh -c \
        'for p in network firewall modeminfo mmconfig atinout smstools3 korvel; do uci show $p 2>/dev/null; done')
}
show() { awk -v p="$1" 'index($0, p "=") == 1 || index($0, p ".") == 1' <<<"${2-$STATE}"; }

# korvel_aged FX SCRATCH MARKER AGE ARGS...: like korvel, with MARKER's time
# set to AGE seconds ago in the same sandbox right before the run, however
# slow the sandbox is to start.
# shellcheck disable=SC2034  # OUT and RC are read by the scripts
korvel_aged() {
    local fx="$1" scr="$2" marker="$3" age="$4"; shift 4
    OUT=$(run_in "$fx" "$scr" sh -c 'touch -d "@$(( $(date +%s) - $2 ))" "$1" && shift 2 && exec "$@"' \
        _ "$marker" "$age" "$KORVEL" "$@" 2>&1)
    RC=$?
}
