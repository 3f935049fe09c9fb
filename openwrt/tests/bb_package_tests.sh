#!/bin/bash
# Each package's test.sh, run the way the packages CI runs it: the package
# installed (through its install section) into a router tree, test.sh given
# the package name and version, inside the router sandbox with its own
# network namespace. velmora's script makes a real DNS round trip through
# velmora to a dnsmasq; the others run their programs' cheap paths.
. "$ROUTER_TESTLIB/bb.sh"

stub="$ROUTER_SRC/sdk-stub"
repo=$(cd "$ROUTER_SRC/../.." && pwd)

# The router's jsonfilter, as far as the test scripts use it (-e '@': parse
# standard input), played by jq.
tools=$(mktemp -d "$BB_TMP/tools.XXXXXX")
# shellcheck disable=SC2016  # the stand-in's own variables
printf '#!/bin/sh\n[ "$1" = -e ] && [ "$2" = @ ] || exit 2\nexec jq -e . >/dev/null\n' >"$tools/jsonfilter"
chmod +x "$tools/jsonfilter"

run_package_test() { # PACKAGE
    local p="$1" fx version scr out rc
    fx=$(make_fixture)
    version=$(make -s -C "$ROUTER_SRC/../$p" TOPDIR="$stub" info | sed -n 's/^version: //p')
    make -s -C "$ROUTER_SRC/../$p" TOPDIR="$stub" PKG_BUILD_DIR="$repo" CMAKE_BINARY_DIR="$ROUTER_BUILD" \
        DESTDIR="$fx" install || { bb_fail "$p: install failed"; return; }
    # /www does not exist on the host, so the web tree goes below /tmp.
    if [ -d "$fx/www" ]; then mkdir -p "$fx/tmp/pkgroot" && mv "$fx/www" "$fx/tmp/pkgroot/"; fi
    cp "$ROUTER_SRC/../$p/test.sh" "$fx/tmp/test.sh"
    scr=$(fresh_scratch)
    out=$(sandbox --root "$fx" --path "$tools" --net --scratch "$scr" --env PKG_TEST_ROOT=/tmp/pkgroot -- \
        busybox sh /tmp/test.sh "$p" "$version" 2>&1)
    rc=$?
    assert_eq 0 "$rc" "$p test.sh exit status (output: $out)"
    assert_contains "$out" "$p: " "$p test.sh output"
    assert_not_contains "$out" "skipped" "$p test.sh skipped a part"
    printf '%s\n' "$out"
}

[ -n "${BIN_VELMORA:-}" ] && { case_begin "velmora test.sh: DNS round trip"; run_package_test velmora; }
[ -n "${BIN_ZAPRET2_CTL:-}" ] && { case_begin "zapret2-ctl test.sh"; run_package_test zapret2-ctl; }
[ -n "${BIN_TARVONA_DIAG:-}" ] && { case_begin "tarvona-diag test.sh: CGI JSON report"; run_package_test tarvona-diag; }
[ -n "${BIN_KORVEL:-}" ] && { case_begin "korvel test.sh"; run_package_test korvel; }

exit $((BB_FAIL > 0))
