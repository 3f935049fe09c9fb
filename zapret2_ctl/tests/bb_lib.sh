# shellcheck shell=bash
# Shared part of the black-box tests of zapret2-ctl (bash). Source after bb.sh.
Z2_CTL="$BIN_ZAPRET2_CTL"
Z2_STEPS="${BIN_ZAPRET2_CTL_STEPS:-}"
Z2_SINK="$ROUTER_SRC/fakes/syslog_sink.py"
Z2_INSIDE="$ROUTER_SRC/bb_inside.sh"
Z2_SCR=""

# z2_fixture: an empty fixture tree with the directories a run needs
# (/dev for the system log socket, /var/lock for genconfig).
z2_fixture() {
    local fx; fx=$(make_fixture)
    mkdir -p "$fx/dev" "$fx/var/lock"
    printf '%s\n' "$fx"
}

# z2_session ROOT... -- SCRIPT: runs SCRIPT (bash, with run_ctl available)
# in the sandbox over the given fixture roots; results stay in $Z2_SCR.
z2_session() {
    local roots=()
    while [ "$1" != "--" ]; do roots+=(--root "$1"); shift; done
    shift
    Z2_SCR=$(fresh_scratch)
    sandbox "${roots[@]}" --scratch "$Z2_SCR" --env "Z2_CTL=$Z2_CTL" --env "Z2_STEPS=$Z2_STEPS" --env "Z2_SINK=$Z2_SINK" \
        -- bash -c ". '$Z2_INSIDE'; $1"
}

# Results of run_ctl TAG in the last session.
z2_out()    { cat "$Z2_SCR/upper/tmp/.z2/$1.out" 2>/dev/null; }
z2_err()    { cat "$Z2_SCR/upper/tmp/.z2/$1.err" 2>/dev/null; }
z2_rc()     { cat "$Z2_SCR/upper/tmp/.z2/$1.rc" 2>/dev/null; }
z2_syslog() { cat "$Z2_SCR/upper/tmp/.z2/$1.syslog" 2>/dev/null; }
# A file the session wrote (path inside the sandbox).
z2_written() { printf '%s/upper%s' "$Z2_SCR" "$1"; }

# assert_syslog TAG PRIORITY TEXT: one system-log message from ident
# "zapret2" with facility daemon and the given priority number
# (27 error, 28 warning, 30 info) whose text is exactly TEXT.
assert_syslog() {
    local line found=0
    while IFS= read -r line; do
        case "$line" in
        "<$2>"*" zapret2["[0-9]*"]: $3") found=1 ;;
        esac
    done < <(z2_syslog "$1")
    if [ "$found" = 1 ]; then bb_ok; else
        bb_fail "system log of $1: <$2> '$3' not found in: $(z2_syslog "$1")"
    fi
}

# The usage text as the program prints it when started as $1.
z2_usage() {
    printf 'Usage: %s <command> [options]\n\n' "$1"
    cat <<'USAGE'
Commands:
  status      Show daemon status
  genconfig   Generate shell config from UCI
  dump        Dump configuration as JSON with validation
  reset       Reset configuration to defaults
  patch-apply   Apply embedded shell patches (creates .orig backups)
  patch-revert  Revert shell patches (restores .orig files)

Daemon management (use init script):
  /etc/init.d/zapret2 start|stop|restart|reload

Options:
  -v, --version  Show version
  -h, --help     Show this help
USAGE
}
