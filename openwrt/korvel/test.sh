#!/bin/sh
# Package test, run on the target with the package installed:
#   test.sh PACKAGE VERSION
# The banner, the shipped catalogue and hook, and an unknown modem asked for
# by hand (which must change nothing and say it is not catalogued).

[ "$1" = korvel ] || exit 0

korvel | grep -q "Tarvona Korvel" || { echo "no banner"; exit 1; }
[ -s /usr/share/korvel/modems.conf ] || { echo "no modem catalogue"; exit 1; }
[ -s /etc/config/korvel ] || { echo "no /etc/config/korvel"; exit 1; }
ls /etc/hotplug.d/usb/*korvel* >/dev/null 2>&1 || { echo "no hotplug hook"; exit 1; }

out=$(korvel ffff/fff0/0 2>&1)
[ "$out" = "Modem ffff/fff0/0 not found in configurations." ] || { echo "unknown modem: [$out]"; exit 1; }
echo "korvel: ok"
