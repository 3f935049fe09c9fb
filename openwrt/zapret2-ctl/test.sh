#!/bin/sh
# Package test, run on the target with the package installed:
#   test.sh PACKAGE VERSION
# The version line, the status of a router without nfqws2 daemons, and the
# refusal of an unknown command.

[ "$1" = zapret2-ctl ] || exit 0

out=$(zapret2-ctl --version) || { echo "zapret2-ctl --version failed"; exit 1; }
case "$out" in
"zapret2 version ${2%%-*}"*) ;;
*) echo "unexpected version line: $out"; exit 1 ;;
esac

if ls /var/run/nfqws2_* >/dev/null 2>&1; then
	echo "zapret2-ctl: nfqws2 PID files present, status check skipped"
else
	out=$(zapret2-ctl status)
	rc=$?
	if [ "$rc" != 1 ] || [ "$out" != "zapret2 inactive" ]; then
		echo "status: $rc [$out]"
		exit 1
	fi
fi

zapret2-ctl no-such-command >/dev/null 2>&1 && { echo "an unknown command succeeded"; exit 1; }
echo "zapret2-ctl: ok"
