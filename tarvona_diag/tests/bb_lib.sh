# shellcheck shell=bash
# Shared part of the black-box scripts of tarvona_diag (bash). Source after
# bb.sh.

# LeakSanitizer cannot stop the world inside the sandbox's /proc: under
# -DROUTER_SANITIZE=ON the program runs there without it (the unit tests
# check for leaks); ASan and UBSan stay on.
if [ "${ROUTER_SANITIZE:-0}" = 1 ]; then
    export ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
fi
