# shellcheck shell=bash
# Helpers for the scripts that black-box tests run inside the router sandbox
# (sourced there). Environment: Z2_CTL (the program), Z2_STEPS (its test build
# that stops a patch run at a step), Z2_SINK (syslog_sink.py).
# Results of each run land in /tmp/.z2/<tag>.{out,err,rc,syslog}.
Z2_OUT=/tmp/.z2
mkdir -p "$Z2_OUT"

# run_ctl TAG ARGS...: runs the program with a fresh system log stand-in on
# /dev/log, and waits until the stand-in has taken every message. When ARGS
# begins with one of the commands below (setpriv, env, sh, timeout) instead of
# an option or command word of the program, that command line is run as it
# stands.
run_ctl() {
    local tag="$1" ready sink_pid
    shift
    coproc SINKP { exec /usr/bin/python3 "$Z2_SINK" /dev/log "$Z2_OUT/$tag.syslog"; }
    sink_pid=$SINKP_PID
    read -r ready <&"${SINKP[0]}"
    [ "$ready" = ready ] || echo "system log stand-in did not start" >&2
    case "${1:-}" in
    setpriv | env | sh | timeout) "$@" ;;
    *) "$Z2_CTL" "$@" ;;
    esac >"$Z2_OUT/$tag.out" 2>"$Z2_OUT/$tag.err"
    echo $? >"$Z2_OUT/$tag.rc"
    /usr/bin/python3 "$Z2_SINK" --stop /dev/log
    wait "$sink_pid"
}
