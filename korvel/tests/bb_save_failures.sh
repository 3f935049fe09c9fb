#!/bin/bash
# Configuration that cannot be saved: /etc on a full flash (a small tmpfs
# mounted over it inside the sandbox and filled), and package files that do
# not parse. Each is a failed configuration: an ERROR naming what could not
# be saved, no "setup complete", exit 1 by hand, and nothing half-written.
# shellcheck source-path=SCRIPTDIR source=bb_lib.sh
. "$ROUTER_SRC/bb_lib.sh"

# on_flash FX SCR LAYOUT CMD...: runs CMD with /etc on a filled tmpfs holding a
# copy of the fixture's /etc; LAYOUT "full" (all of /etc) or "config-room"
# (/etc/config on a second tmpfs with room). Waits for a detached
# configuration too. Sets RC, OUT (standard output and error), FLASH (what
# differs from the fixture: "changed|new|gone <path>", temporary files
# included) and KV_MODEL (korvel.main.modem as the file holds it).
on_flash() {
    local fx="$1" scr="$2" layout="$3"; shift 3
    run_in "$fx" "$scr" sh -c '
        fx_etc=$1 layout=$2; shift 2
        mount -t tmpfs -o size=256k flash /etc && cp -a "$fx_etc"/. /etc/ || exit 125
        if [ "$layout" = config-room ]; then
            mount -t tmpfs -o size=1m config /etc/config && cp -a "$fx_etc"/config/. /etc/config/ || exit 125
        fi
        dd if=/dev/zero of=/etc/.fill bs=4k 2>/dev/null
        { "$@"; echo $? > /tmp/rc; } 2>&1 | cat > /tmp/out
        cd /etc
        find . -type f ! -name .fill | sort > /tmp/after
        (cd "$fx_etc" && find . -type f | sort) > /tmp/before
        for f in $(cat /tmp/after); do
            if [ ! -e "$fx_etc/$f" ]; then echo "new ${f#./}"
            elif ! cmp -s "$f" "$fx_etc/$f"; then echo "changed ${f#./}"; fi
        done > /tmp/flash
        comm -23 /tmp/before /tmp/after | sed "s|^\./|gone |" >> /tmp/flash
        sed -n "s/^[[:space:]]*option modem //p" /etc/config/korvel > /tmp/kv_model' _ "$fx/etc" "$layout" "$@"
    local t="$scr/upper/tmp"
    RC=$(cat "$t/rc" 2>/dev/null); OUT=$(cat "$t/out" 2>/dev/null)
    FLASH=$(cat "$t/flash" 2>/dev/null); KV_MODEL=$(cat "$t/kv_model" 2>/dev/null)
}

ncm_router() {
    local fx; fx=$(new_router)
    : > "$fx/dev/cdc-wdm0"
    printf "\nconfig korvel 'main'\n\toption modem 'EC25'\n" > "$fx/etc/config/korvel"
    printf 'Signal;AT+CSQ\n' > "$fx/etc/atcommands.user"
    printf '%s\n' "$fx"
}

case_begin "/etc full: nothing saved, the ERROR names the package, no setup complete"
for form in "12d1/1506/102:1" "add 12d1/1506/102:0"; do
    args=${form%:*} want_rc=${form##*:}
    fx=$(ncm_router)
    scr=$(fresh_scratch)
    # shellcheck disable=SC2086  # the form's words
    on_flash "$fx" "$scr" full "$KORVEL" $args
    assert_eq "$want_rc" "$RC" "[$args] status"
    assert_contains "$OUT" "korvel: ERROR: E3372h modem setup failed: could not save /etc/config/network: I/O error (No space left on device)" "[$args] error"
    assert_contains "$(kmsg_of "$scr")" "korvel: ERROR: E3372h modem setup failed" "[$args] error in the kernel log"
    assert_not_contains "$OUT" "setup complete" "[$args] no success"
    assert_eq "" "$FLASH" "[$args] every file as it was, no temporary file left"
    assert_not_contains "$(trace_of "$scr")" "reload_config" "[$args] nothing reloaded"
    assert_not_contains "$(trace_of "$scr")" "smstools3 start" "[$args] sequence stopped"
done

case_begin "/etc full, /etc/config with room: the AT command list not saved, the model not remembered"
fx=$(ncm_router)
scr=$(fresh_scratch)
on_flash "$fx" "$scr" config-room "$KORVEL" 12d1/1506/102
assert_eq 1 "$RC" "status"
assert_contains "$OUT" "korvel: ERROR: E3372h modem setup failed: could not save /etc/atcommands.user: No space left on device" "error"
assert_not_contains "$OUT" "setup complete" "no success"
assert_eq "changed config/atinout
changed config/firewall
changed config/mmconfig
changed config/modeminfo
changed config/network" "$FLASH" "saved before the list: whole files; the list and korvel's own file as they were"
assert_eq "'EC25'" "$KV_MODEL" "old model kept, so the next plug writes the list again"
# With room again, the next run writes the list and remembers the model.
{ cat "$DATA/ati/E3372h.ati"; echo; } > "$BB_TMP/E3372h.list"
run_in "$fx" "$scr" sh -c '
    mount -t tmpfs -o size=1m flash /etc && cp -a "$1"/. /etc/ && "$2" 12d1/1506/102 >/dev/null 2>&1
    echo "rc=$?"; cmp -s /etc/atcommands.user "$3" && echo "list written"
    sed -n "s/^[[:space:]]*option modem //p" /etc/config/korvel' \
    _ "$fx/etc" "$KORVEL" "$BB_TMP/E3372h.list" > "$BB_TMP/again"
assert_eq "rc=0
list written
'E3372h'" "$(cat "$BB_TMP/again")" "next run with room"

case_begin "removal with /etc full: ERROR, exit 1, the configuration left whole"
fx=$(ncm_router)
cat >> "$fx/etc/config/network" <<'CFG'

config interface 'modem'
	option proto 'ncm'
	option device '/dev/cdc-wdm0'
CFG
sed -i "s/option network 'wan'/list network 'wan'\n\tlist network 'modem'/" "$fx/etc/config/firewall"
scr=$(fresh_scratch)
on_flash "$fx" "$scr" full "$KORVEL" remove 12d1/1506/102
assert_eq 1 "$RC" "status"
assert_contains "$OUT" "korvel: ERROR: E3372h modem removal failed: could not save /etc/config/korvel: I/O error (No space left on device)" "error"
assert_eq "" "$FLASH" "every file as it was"

case_begin "a package file that does not parse is an error, not a silent skip"
# package | broken text | where the error is (libuci's reason text aside) |
# the packages saved before it
broken=(
    "network|config interface 'lan'\n\toption proto static\nbogus line\n|at line 3, byte 1|"
    "firewall|config zone\n\toption name 'wan\n|at line 2,|network"
    "modeminfo|option korvel '1'\n|at line 1, byte 1|"
)
for row in "${broken[@]}"; do
    IFS='|' read -r pkg text where saved <<<"$row"
    fx=$(ncm_router)
    printf '%b' "$text" > "$fx/etc/config/$pkg"
    scr=$(fresh_scratch)
    korvel "$fx" "$scr" 12d1/1506/102
    assert_eq 1 "$RC" "[$pkg] status"
    assert_contains "$OUT" "korvel: ERROR: E3372h modem setup failed: could not read /etc/config/$pkg: Parse error (" "[$pkg] error"
    assert_contains "$OUT" ") $where" "[$pkg] position"
    assert_not_contains "$OUT" "setup complete" "[$pkg] no success"
    assert_eq "$saved" "$(written_packages "$scr")" "[$pkg] stopped there"
done

korvel_finish
