#!/bin/sh
# Package test, run on the target with the package installed:
#   test.sh PACKAGE VERSION
# The banner, the shipped catalogue, config and hook, and a device that is
# neither catalogued nor present asked for by hand (which must change nothing
# and say it is not a modem korvel can configure).

[ "$1" = korvel ] || exit 0

korvel | grep -q "Tarvona Korvel" || { echo "no banner"; exit 1; }
[ -s /usr/share/korvel/modems.conf ] || { echo "no modem catalogue"; exit 1; }
[ -s /etc/config/korvel ] || { echo "no /etc/config/korvel"; exit 1; }
ls /etc/hotplug.d/usb/*korvel* >/dev/null 2>&1 || { echo "no hotplug hook"; exit 1; }

grep -q "option unknown_modems 'auto'" /etc/config/korvel || { echo "unknown_modems not 'auto'"; exit 1; }

out=$(korvel ffff/fff0/0 2>&1)
[ "$out" = "korvel: INFO: usb ffff/fff0/0 is not a modem korvel can configure (no such USB device)" ] ||
    { echo "unknown device: [$out]"; exit 1; }
echo "korvel: ok"
