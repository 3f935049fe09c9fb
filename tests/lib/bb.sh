# shellcheck shell=bash
# Helpers for black-box test scripts (bash). Source it:
#   . "$ROUTER_TESTLIB/bb.sh"
# Environment given by ctest (see tests/README.md): ROUTER_SANDBOX,
# ROUTER_SAMPLE, ROUTER_BUILD, ROUTER_SRC, UCI_BIN_DIR, BIN_<TARGET>.
#
# Each script runs cases with `case_begin NAME` ... assertions ...; the
# script's exit status is non-zero when any assertion failed, and the last
# line is the summary "N passed, N failed".

set -u
BB_PASS=0
BB_FAIL=0
BB_CASE="(none)"
BB_TMP=$(mktemp -d "${ROUTER_BUILD:-/tmp}/.bbtest.XXXXXX")
BB_DIRS=()   # more temporary directories (bb_tmpdir), removed at the end
# The script fails when any assertion failed, or when it ended with an error
# of its own.
bb_finish() {
    local rc=$?
    rm -rf "$BB_TMP" "${BB_DIRS[@]+"${BB_DIRS[@]}"}"
    echo "$BB_PASS passed, $BB_FAIL failed"
    [ "$BB_FAIL" = 0 ] || exit 1
    exit "$rc"
}
trap bb_finish EXIT

case_begin() { BB_CASE="$1"; }

bb_ok()   { BB_PASS=$((BB_PASS + 1)); }
bb_fail() { BB_FAIL=$((BB_FAIL + 1)); printf 'FAIL [%s] %s\n' "$BB_CASE" "$*" >&2; }

# assert_eq EXPECTED ACTUAL [what]
assert_eq() {
    if [ "$1" == "$2" ]; then bb_ok; else
        bb_fail "${3:-value}: expected [$1] got [$2]"
        if [ "${#1}" -gt 80 ] || [ "${#2}" -gt 80 ]; then
            diff <(printf '%s\n' "$1") <(printf '%s\n' "$2") | head -40 >&2
        fi
    fi
}
# assert_contains HAYSTACK NEEDLE [what]
assert_contains() {
    case "$1" in *"$2"*) bb_ok ;; *) bb_fail "${3:-text}: [$2] not found in: $(printf '%s' "$1" | head -c 2000)" ;; esac
}
assert_not_contains() {
    case "$1" in *"$2"*) bb_fail "${3:-text}: [$2] must not appear" ;; *) bb_ok ;; esac
}
# assert_file_eq EXPECTED_FILE ACTUAL_FILE
assert_file_eq() {
    if cmp -s "$1" "$2"; then bb_ok; else bb_fail "files differ: $1 $2"; diff -u "$1" "$2" | head -60 >&2; fi
}

# bb_tmpdir VAR BASE: makes a new directory under BASE (for instance /tmp),
# removed when the script ends, and sets VAR to its path. (Not through
# $(...): the directory must be remembered by this shell.)
bb_tmpdir() {
    local d; d=$(mktemp -d "$2/.bbtest.XXXXXX") || return 1
    BB_DIRS+=("$d")
    printf -v "$1" '%s' "$d"
}

# fresh_scratch: prints a new empty scratch directory under the test's tmp.
fresh_scratch() { mktemp -d "$BB_TMP/scr.XXXXXX"; }

# sandbox [router-sandbox options...] -- COMMAND...
# Runs in the router sandbox with the uci tool on PATH (when there is one).
sandbox() {
    local uci=()
    [ -n "${UCI_BIN_DIR:-}" ] && uci=(--path "$UCI_BIN_DIR")
    SANDBOX_SCRATCH_BASE="$BB_TMP" "$ROUTER_SANDBOX" "${uci[@]}" "$@"
}

# make_fixture DIR: creates an empty fixture tree and prints its path.
make_fixture() {
    local d; d=$(mktemp -d "$BB_TMP/fx.XXXXXX")
    mkdir -p "$d/etc/config" "$d/var/run" "$d/tmp"
    printf '%s\n' "$d"
}
