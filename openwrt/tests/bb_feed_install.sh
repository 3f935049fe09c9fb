#!/bin/bash
# The feed's package Makefiles, evaluated by a stand-in of the SDK's make
# rules (tests/sdk-stub): each install section must place exactly the files a
# router needs, with the SDK's modes, from this build; DEPENDS must match the
# libraries the program really links; conffiles must be installed files; and
# the tree Build/Prepare copies must configure on its own.
. "$ROUTER_TESTLIB/bb.sh"

stub="$ROUTER_SRC/sdk-stub"
repo=$(cd "$ROUTER_SRC/../.." && pwd)

pkg_make() { # PACKAGE TARGET [VAR=VALUE...]
    local p="$1" t="$2"
    shift 2
    make -s -C "$ROUTER_SRC/../$p" TOPDIR="$stub" PKG_BUILD_DIR="$repo" \
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

# expected_tree PACKAGE: the installed tree, as listing prints it.
expected_tree() {
    case "$1" in
    velmora) printf '%s\n' "etc d 755" "etc/config d 755" "etc/config/velmora f 600" \
        "etc/init.d d 755" "etc/init.d/velmora f 755" "usr d 755" "usr/bin d 755" \
        "usr/bin/velmora f 755" ;;
    tarvona-diag) printf '%s\n' "etc d 755" "etc/uci-defaults d 755" \
        "etc/uci-defaults/90-tarvona-diag f 755" "usr d 755" "usr/bin d 755" \
        "usr/bin/tarvona_diag f 755" "www d 755" "www/cgi-bin d 755" \
        "www/cgi-bin/tarvona_diag l -> /usr/bin/tarvona_diag" "www/tarvona-diag d 755" \
        "www/tarvona-diag/index.html f 644" "www/tarvona-diag/report.css f 644" \
        "www/tarvona-diag/report.js f 644" ;;
    zapret2-ctl) printf '%s\n' "usr d 755" "usr/bin d 755" "usr/bin/zapret2-ctl f 755" ;;
    korvel)
        printf '%s\n' "etc d 755" "etc/config d 755" "etc/config/korvel f 600" "etc/hotplug.d d 755" \
            "etc/hotplug.d/usb d 755" "etc/hotplug.d/usb/30-korvel f 644" "usr d 755" \
            "usr/bin d 755" "usr/bin/korvel f 755" "usr/share d 755" "usr/share/korvel d 755" \
            "usr/share/korvel/apns.conf f 644" "usr/share/korvel/ati d 755" \
            "usr/share/korvel/modems.conf f 644"
        local f
        for f in "$repo"/korvel/data/ati/*.ati; do echo "usr/share/korvel/ati/${f##*/} f 644"; done
        ;;
    esac
}

# One row per package: its name, the BIN_ variable of its program, where the
# program is installed, and the installed files that must be their source's
# bytes (installed path=source, relative to the checkout; @build/ for a file
# the build makes).
packages=(
    "velmora BIN_VELMORA usr/bin/velmora
        etc/init.d/velmora=velmora/data/velmora.init
        etc/config/velmora=velmora/data/velmora.config"
    "tarvona-diag BIN_TARVONA_DIAG usr/bin/tarvona_diag
        www/tarvona-diag/index.html=tarvona_diag/data/www/index.html
        www/tarvona-diag/report.css=tarvona_diag/data/www/report.css
        www/tarvona-diag/report.js=tarvona_diag/data/www/report.js
        etc/uci-defaults/90-tarvona-diag=tarvona_diag/data/tarvona-diag.defaults"
    "zapret2-ctl BIN_ZAPRET2_CTL usr/bin/zapret2-ctl"
    "korvel BIN_KORVEL usr/bin/korvel
        usr/share/korvel/apns.conf=@build/korvel/apns.conf
        usr/share/korvel/modems.conf=korvel/data/modems.conf
        etc/hotplug.d/usb/30-korvel=korvel/data/hotplug/30-korvel
        etc/config/korvel=korvel/data/korvel.config"
)

for row in "${packages[@]}"; do
    read -r -a f <<<"$(tr '\n' ' ' <<<"$row")"
    pkg=${f[0]} var=${f[1]} bin_path=${f[2]}
    same=("${f[@]:3}")
    bin=${!var:-}
    if [ -z "$bin" ]; then
        echo "skipped: $pkg package (no program target in this build)"
        continue
    fi
    case_begin "$pkg package"
    common_info "$pkg"
    d=$(install_pkg "$pkg")
    assert_eq "$(expected_tree "$pkg" | sort)" "$(listing "$d" | sort)" "installed tree"
    assert_true "$pkg: installed binary is not the built one" cmp -s "$bin" "$d/$bin_path"
    for pair in "${same[@]}"; do
        src=${pair#*=}
        case "$src" in @build/*) src="$ROUTER_BUILD/${src#@build/}" ;; *) src="$repo/$src" ;; esac
        assert_true "$pkg: ${pair%%=*} is not ${pair#*=}" cmp -s "$src" "$d/${pair%%=*}"
    done
    check_links "$pkg" "$bin"
    check_conffiles "$pkg" "$d"
done

if [ -n "${BIN_ZAPRET2_CTL:-}" ]; then
    case_begin "zapret2-ctl version"
    assert_contains "$(pkg_make zapret2-ctl info)" "version: 1.0.4-r19" "version"
fi

case_begin "the prepared source tree configures on its own"
prep=$(mktemp -d "$BB_TMP/prep.XXXXXX")
out=$(make -s -C "$ROUTER_SRC/../velmora" TOPDIR="$stub" PKG_BUILD_DIR="$prep/src" prepare 2>&1)
assert_eq "" "$out" "prepare output"
if out=$(cmake -S "$prep/src" -B "$prep/build" -DROUTER_TESTS=OFF 2>&1); then bb_ok; else
    bb_fail "configure of the prepared tree failed"; printf '%s\n' "$out" | tail -20 >&2
fi

exit $((BB_FAIL > 0))
