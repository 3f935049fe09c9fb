#!/bin/bash
# zapret2-ctl on the bundled sample router: status (no daemon, then with a
# stand-in nfqws2 daemon), the validated configuration as JSON, a generator
# run, and a patch round trip of the service scripts.
# Environment (set by scripts/demo): ROUTER_SANDBOX, ROUTER_SAMPLE,
# ROUTER_BUILD, UCI_BIN_DIR.
set -u
ctl="$ROUTER_BUILD/zapret2_ctl/zapret2-ctl"
[ -x "$ctl" ] || { echo "zapret2-ctl is not built: $ctl" >&2; exit 1; }

"$ROUTER_SANDBOX" --root "$ROUTER_SAMPLE/root" --path "$ROUTER_SAMPLE/bin" \
    --path "$UCI_BIN_DIR" --env "CTL=$ctl" -- bash -c '
set -u
step() { printf "\n=== zapret2-ctl %s ===\n" "$*"; }
show_rc() { echo "(exit status $1)"; }

step "--version"
"$CTL" --version

step "status (the sample PID file names a process that has ended)"
"$CTL" status; show_rc $?

step "status with a running nfqws2 stand-in"
sleep 600 & daemon=$!
echo $daemon > /var/run/nfqws2_1.pid
"$CTL" status; show_rc $?

step "dump (the document on stdout; the validation messages on stderr, shown after it)"
"$CTL" dump 2>/tmp/dump.err; show_rc $?
sed "s/^/stderr: /" /tmp/dump.err
kill $daemon; wait $daemon 2>/dev/null; rm -f /var/run/nfqws2_1.pid

step "genconfig (messages go to the system log)"
"$CTL" genconfig; show_rc $?
echo "--- /opt/zapret2/config written by the generator:"
cat /opt/zapret2/config

step "patch-apply"
"$CTL" patch-apply; show_rc $?
for f in /opt/zapret2/common/custom.sh /opt/zapret2/init.d/openwrt/zapret2; do
    ls -l "$f" "$f.orig" | sed "s/^/  /"
done
echo "--- head of the installed init script:"
head -5 /opt/zapret2/init.d/openwrt/zapret2

step "patch-revert"
"$CTL" patch-revert; show_rc $?
ls /opt/zapret2/common /opt/zapret2/init.d/openwrt | sed "s/^/  /"
'
