#!/bin/bash
# shellcheck source-path=SCRIPTDIR
# reset: the shell runs "uci import ... && uci commit ..." with exactly one
# environment variable; the outcome is told on the terminal, never logged.
. "$ROUTER_TESTLIB/bb.sh"
. "$ROUTER_SRC/bb_lib.sh"

# A fake uci on the reset shell's PATH that records its calls, the shell's
# environment and what it was fed; it fails when /tmp/uci.fail exists.
fake=$(z2_fixture)
mkdir -p "$fake/usr/bin"
cat > "$fake/usr/bin/uci" <<'SH'
#!/bin/sh
echo "uci $*" >> /tmp/uci.calls
tr '\0' '\n' < /proc/$PPID/environ > /tmp/uci.env
[ "$1" = import ] && cat > /tmp/uci.stdin
[ -f /tmp/uci.fail ] && exit 1
exit 0
SH
chmod 755 "$fake/usr/bin/uci"
# Not laid over the sample router: its /proc fixture hides other processes,
# and the fake reads its parent shell's environment.
mkdir -p "$fake/opt/zapret2/defaults"
cp "$ROUTER_SAMPLE/root/opt/zapret2/defaults/zapret2.uci" "$fake/opt/zapret2/defaults/"

# One session: the fake uci first, then the real tool, then no defaults.
z2_session "$fake" -- '
    run_ctl ok reset
    cp /tmp/uci.calls /tmp/.z2/ok.calls
    touch /tmp/uci.fail
    run_ctl failed reset

    ln -sf '"'$BIN_UCI'"' /usr/bin/uci
    printf "config zapret2 config\n\toption qnum 999\n" > /etc/config/zapret2
    run_ctl real reset
    uci show zapret2 > /tmp/.z2/after 2>&1
    cp /opt/zapret2/defaults/zapret2.uci /etc/config/zapret2
    uci show zapret2 > /tmp/.z2/expected 2>&1

    rm -f /tmp/uci.calls /opt/zapret2/defaults/zapret2.uci
    run_ctl nodefaults reset'

case_begin "success: import then commit, environment holds only PATH"
assert_eq "0" "$(z2_rc ok)" "exit status"
assert_eq "Configuration reset to defaults" "$(z2_out ok)" "stdout"
assert_eq "" "$(z2_err ok)" "stderr"
assert_eq "uci import zapret2
uci commit zapret2" "$(cat "$(z2_written /tmp/.z2/ok.calls)")" "uci calls"
assert_eq "PATH=/usr/sbin:/usr/bin:/sbin:/bin" "$(cat "$(z2_written /tmp/uci.env)")" "shell environment"
assert_file_eq "$ROUTER_SAMPLE/root/opt/zapret2/defaults/zapret2.uci" "$(z2_written /tmp/uci.stdin)"
assert_eq "" "$(z2_syslog ok)" "nothing logged"

case_begin "failures: import fails, defaults file missing"
assert_eq "1" "$(z2_rc failed)" "import failed: exit status"
assert_eq "" "$(z2_out failed)" "import failed: stdout"
assert_eq "Failed to reset configuration" "$(z2_err failed)" "import failed: stderr"
assert_eq "1" "$(z2_rc nodefaults)" "no defaults: exit status"
assert_eq "Defaults file not found: /opt/zapret2/defaults/zapret2.uci" "$(z2_err nodefaults)" "no defaults: stderr"
assert_eq "" "$(z2_out nodefaults)" "no defaults: stdout"
if [ -e "$(z2_written /tmp/uci.calls)" ]; then bb_fail "no defaults: uci must not run"; else bb_ok; fi

case_begin "with the real uci tool the package equals the defaults afterwards"
assert_eq "0" "$(z2_rc real)" "exit status"
assert_eq "Configuration reset to defaults" "$(z2_out real)" "stdout"
assert_contains "$(cat "$(z2_written /tmp/.z2/expected)")" "zapret2.youtube=strategy" "defaults shown"
assert_file_eq "$(z2_written /tmp/.z2/expected)" "$(z2_written /tmp/.z2/after)"
