#!/bin/bash
# The feed's package Makefiles, evaluated by a stand-in of the SDK's make
# rules (tests/sdk-stub): each install section must place exactly the files a
# router needs, with the SDK's modes, from this build; DEPENDS must match the
# libraries the program really links; conffiles must be installed files; and
# the tree Build/Prepare copies must configure on its own.
. "$ROUTER_TESTLIB/bb.sh"

stub="$ROUTER_SRC/tests/sdk-stub"
repo=$(cd "$ROUTER_SRC/.." && pwd)

pkg_make() { # PACKAGE TARGET [VAR=VALUE...]
    local p="$1" t="$2"
    shift 2
    make -s -C "$ROUTER_SRC/$p" TOPDIR="$stub" PKG_BUILD_DIR="$repo" \
        CMAKE_BINARY_DIR="$ROUTER_BUILD" "$@" "$t" 2>&1
}

# assert_true WHAT COMMAND...: passes when COMMAND succeeds.
assert_true() {
    local what="$1"
    shift
    if "$@"; then bb_ok; else bb_fail "$what"; fi
}

# listing DIR: one line per entry below DIR: path, mode, type (f, l -> target, d)
listing() {
    (cd "$1" && find . -mindepth 1 | sort | while read -r e; do
        e="${e#./}"
        if [ -L "$e" ]; then echo "$e l -> $(readlink "$e")"
        elif [ -d "$e" ]; then echo "$e d $(stat -c %a "$e")"
        else echo "$e f $(stat -c %a "$e")"; fi
    done)
}

# check_links PACKAGE BINARY: DEPENDS names +libuci / +libjson-c exactly when
# the binary uses libuci / json-c, and always +libstdcpp.
check_links() {
    local deps syms
    deps=$(pkg_make "$1" info | sed -n 's/^depends: //p')
    syms=$(nm -C "$2" 2>/dev/null; nm -D "$2" 2>/dev/null)
    assert_contains " $deps " " +libstdcpp " "$1 DEPENDS"
    if grep -qw 'uci_alloc_context' <<<"$syms"; then
        assert_contains " $deps " " +libuci " "$1 DEPENDS (links libuci)"
    else
        assert_not_contains " $deps " " +libuci " "$1 DEPENDS (no libuci)"
    fi
    if grep -qE '\bjson_(object|tokener)_' <<<"$syms"; then
        assert_contains " $deps " " +libjson-c " "$1 DEPENDS (links json-c)"
    else
        assert_not_contains " $deps " " +libjson-c " "$1 DEPENDS (no json-c)"
    fi
}

# check_conffiles PACKAGE DEST: every conffile is a file of the package.
check_conffiles() {
    local f
    for f in $(pkg_make "$1" info | sed -n 's/^conffile: //p'); do
        if [ -f "$2$f" ]; then bb_ok; else bb_fail "$1: conffile $f is not installed"; fi
    done
}

install_pkg() { # PACKAGE -> prints DEST
    local dest
    dest=$(mktemp -d "$BB_TMP/root.XXXXXX")
    pkg_make "$1" install DESTDIR="$dest" >&2 || bb_fail "$1: install section failed"
    printf '%s\n' "$dest"
}

common_info() { # PACKAGE
    local info
    info=$(pkg_make "$1" info)
    assert_contains "$info" "license: GPL-2.0-only" "$1 licence"
    assert_contains "$info" "cmake-options: -DROUTER_TESTS=OFF" "$1 cmake options"
}

if [ -n "${BIN_VELMORA:-}" ]; then
    case_begin "velmora package"
    common_info velmora
    d=$(install_pkg velmora)
    assert_eq "etc d 755
etc/config d 755
etc/config/velmora f 600
etc/init.d d 755
etc/init.d/velmora f 755
usr d 755
usr/bin d 755
usr/bin/velmora f 755" "$(listing "$d")" "installed tree"
    assert_true "velmora: installed binary is not the built one" cmp -s "$BIN_VELMORA" "$d/usr/bin/velmora"
    assert_true "velmora: init script" cmp -s "$repo/dns_proxy/data/velmora.init" "$d/etc/init.d/velmora"
    check_links velmora "$BIN_VELMORA"
    check_conffiles velmora "$d"
else
    echo "skipped: velmora package (no velmora target in this build)"
fi

if [ -n "${BIN_TARVONA_DIAG:-}" ]; then
    case_begin "tarvona-diag package"
    common_info tarvona-diag
    d=$(install_pkg tarvona-diag)
    assert_eq "etc d 755
etc/uci-defaults d 755
etc/uci-defaults/90-tarvona-diag f 755
usr d 755
usr/bin d 755
usr/bin/tarvona_diag f 755
www d 755
www/cgi-bin d 755
www/cgi-bin/tarvona_diag l -> /usr/bin/tarvona_diag
www/tarvona-diag d 755
www/tarvona-diag/index.html f 644
www/tarvona-diag/report.css f 644
www/tarvona-diag/report.js f 644" "$(listing "$d")" "installed tree"
    assert_true "tarvona_diag: installed binary is not the built one" cmp -s "$BIN_TARVONA_DIAG" "$d/usr/bin/tarvona_diag"
    for f in index.html report.css report.js; do
        assert_true "report page: $f is not the source's" cmp -s "$repo/diag/data/www/$f" "$d/www/tarvona-diag/$f"
    done
    assert_true "uci-defaults script" cmp -s "$repo/diag/data/tarvona-diag.defaults" "$d/etc/uci-defaults/90-tarvona-diag"
    check_links tarvona-diag "$BIN_TARVONA_DIAG"
else
    echo "skipped: tarvona-diag package (no tarvona_diag target in this build)"
fi

if [ -n "${BIN_ZAPRET2_CTL:-}" ]; then
    case_begin "zapret2-ctl package"
    common_info zapret2-ctl
    d=$(install_pkg zapret2-ctl)
    assert_eq "usr d 755
usr/bin d 755
usr/bin/zapret2-ctl f 755" "$(listing "$d")" "installed tree"
    assert_true "zapret2-ctl: installed binary is not the built one" cmp -s "$BIN_ZAPRET2_CTL" "$d/usr/bin/zapret2-ctl"
    check_links zapret2-ctl "$BIN_ZAPRET2_CTL"
    assert_contains "$(pkg_make zapret2-ctl info)" "version: 1.0.4-r19" "version"
else
    echo "skipped: zapret2-ctl package (no zapret2-ctl target in this build)"
fi

if [ -n "${BIN_KORVEL:-}" ]; then
    case_begin "korvel package"
    common_info korvel
    d=$(install_pkg korvel)
    l=$(listing "$d")
    assert_contains "$l" "usr/bin/korvel f 755"
    assert_contains "$l" "etc/config/korvel f 600"
    assert_contains "$l" "usr/share/korvel/modems.conf f 644"
    assert_contains "$l" "usr/share/korvel/apns.conf f 644"
    assert_true "korvel: the generated APN file" cmp -s "$ROUTER_BUILD/modem_setup/apns.conf" "$d/usr/share/korvel/apns.conf"
    assert_contains "$l" "etc/hotplug.d/usb/30-korvel f 644" "hotplug hook, installed as data"
    assert_true "korvel: hotplug hook" cmp -s "$repo/modem_setup/data/hotplug/30-korvel" "$d/etc/hotplug.d/usb/30-korvel"
    assert_true "korvel: default UCI file" cmp -s "$repo/modem_setup/data/korvel.config" "$d/etc/config/korvel"
    atis_src=$(find "$repo/modem_setup/data/ati" -name '*.ati' | wc -l)
    atis=$(grep -c '^usr/share/korvel/ati/[^/]*\.ati f 644$' <<<"$l")
    assert_eq "$atis_src" "$atis" "AT command lists installed"
    odd=$(grep -vE '^(etc|etc/config|etc/hotplug.d|etc/hotplug.d/usb|usr|usr/bin|usr/share|usr/share/korvel|usr/share/korvel/ati) d 755$|^etc/config/korvel f 600$|^usr/bin/korvel f 755$|^etc/hotplug.d/usb/30-korvel f 644$|^usr/share/korvel/(modems|apns)\.conf f 644$|^usr/share/korvel/ati/[^/]*\.ati f 644$' <<<"$l")
    assert_eq "" "$odd" "unexpected entries"
    assert_true "korvel: installed binary is not the built one" cmp -s "$BIN_KORVEL" "$d/usr/bin/korvel"
    check_links korvel "$BIN_KORVEL"
    check_conffiles korvel "$d"
else
    echo "skipped: korvel package (no korvel target in this build)"
fi

case_begin "the prepared source tree configures on its own"
prep=$(mktemp -d "$BB_TMP/prep.XXXXXX")
out=$(make -s -C "$ROUTER_SRC/velmora" TOPDIR="$stub" PKG_BUILD_DIR="$prep/src" prepare 2>&1)
assert_eq "" "$out" "prepare output"
if out=$(cmake -S "$prep/src" -B "$prep/build" -DROUTER_TESTS=OFF 2>&1); then bb_ok; else
    bb_fail "configure of the prepared tree failed"; printf '%s\n' "$out" | tail -20 >&2
fi

exit $((BB_FAIL > 0))
