#!/bin/bash
# The uci-defaults script of tarvona-diag, run by busybox ash in the router
# sandbox the way the system runs /etc/uci-defaults (sourced in a subshell,
# removed when it succeeds), twice per router: which realm lines it writes,
# what it leaves alone, when it restarts uhttpd. Then the lines it wrote, read
# by the real busybox httpd: no password 401, wrong 401, right 200, for the
# page and for the CGI.
# shellcheck disable=SC2016  # "$p$root" and the crypt fields are literal text
. "$ROUTER_TESTLIB/bb.sh"

repo=$(cd "$ROUTER_SRC/../.." && pwd)
script="$repo/tarvona_diag/data/tarvona-diag.defaults"

case_begin "lint"
if out=$(busybox ash -n "$script" 2>&1); then bb_ok; else bb_fail "ash -n: $out"; fi
if out=$(shellcheck -s dash "$script" 2>&1); then bb_ok; else bb_fail "shellcheck:"; printf '%s\n' "$out" >&2; fi

# Stand-ins: uhttpd's init script (running when /tmp/uhttpd.running exists)
# and logger, both recording their calls.
tools=$(mktemp -d "$BB_TMP/tools.XXXXXX")
cat >"$tools/logger" <<'EOF'
#!/bin/sh
echo "logger $*" >>/tmp/calls
EOF
chmod +x "$tools/logger"

# uhttpd_conf [OPTION_LINE]: uhttpd's default settings, plus a line in main.
uhttpd_conf() {
    printf '%s\n' "config uhttpd 'main'
	list listen_http '0.0.0.0:80'
	list listen_http '[::]:80'
	option redirect_https '0'
	option home '/www'${1:+
	$1}
	option rfc1918_filter '1'
	option cgi_prefix '/cgi-bin'
	list lua_prefix '/cgi-bin/luci=/usr/lib/lua/luci/sgi/uhttpd.lua'
	option script_timeout '60'

config uhttpd 'api'
	list listen_http '127.0.0.1:8081'
	option home '/srv/api'

config cert 'defaults'
	option days '730'"
}

LINES='/tarvona-diag:root:$p$root
/cgi-bin/tarvona_diag:root:$p$root'

# router UHTTPD_CONFIG|- REALM_FILE REALM_TEXT|- RUNNING(0/1) SHADOW_ROOT_FIELD [SETUP]
# Makes a fixture router and runs the script on it twice; sets FX and OUT
# (/tmp/out of the run: N.rc, N.left, N.show, N.realm, N.realm2 (the file
# /etc/uhttpd2.realm), N.calls for run N). SETUP: shell commands run on the
# router before the script (uci calls, as an owner would make them).
router() {
    FX=$(make_fixture)
    mkdir -p "$FX/etc/init.d" "$FX/etc/uci-defaults"
    [ "$1" = - ] || printf '%s' "$1" >"$FX/etc/config/uhttpd"
    [ "$3" = - ] || printf '%s' "$3" >"$FX$2"
    [ "$4" = 1 ] && touch "$FX/tmp/uhttpd.running"
    printf 'root:%s:19000:0:99999:7:::\n' "$5" >"$FX/etc/shadow"
    cat >"$FX/etc/init.d/uhttpd" <<'EOF'
#!/bin/sh
echo "uhttpd $*" >>/tmp/calls
[ "$1" != running ] || [ -f /tmp/uhttpd.running ]
EOF
    chmod +x "$FX/etc/init.d/uhttpd"
    cp "$script" "$FX/tmp/defaults"
    printf '%s\n' "${6:-}" >"$FX/tmp/setup"
    cat >"$FX/tmp/run" <<EOF
mkdir -p /tmp/out
. /tmp/setup || exit 1
uci -q show uhttpd >/tmp/out/0.show
for n in 1 2; do
    cp /tmp/defaults /etc/uci-defaults/90-tarvona-diag
    : >/tmp/calls
    cd /etc/uci-defaults && ( . ./90-tarvona-diag ) && rm -f ./90-tarvona-diag
    echo \$? >/tmp/out/\$n.rc
    [ -e /etc/uci-defaults/90-tarvona-diag ] && echo kept >/tmp/out/\$n.left
    uci -q show uhttpd >/tmp/out/\$n.show
    cat "$2" >/tmp/out/\$n.realm 2>/dev/null
    cat /etc/uhttpd2.realm >/tmp/out/\$n.realm2 2>/dev/null
    cp /tmp/calls /tmp/out/\$n.calls
done
EOF
    local scr; scr=$(fresh_scratch)
    sandbox --root "$FX" --path "$tools" --scratch "$scr" -- busybox sh /tmp/run
    OUT="$scr/upper/tmp/out"
}
out() { cat "$OUT/$1" 2>/dev/null; }

# The second run must change nothing and restart nothing.
second_run_same() {
    assert_eq "$(out 1.show)" "$(out 2.show)" "second run: uhttpd settings"
    assert_eq "$(out 1.realm)" "$(out 2.realm)" "second run: realm file"
    assert_eq "" "$(grep -v running "$OUT/2.calls")" "second run: no restart, no message"
    assert_eq "0 0" "$(out 1.rc) $(out 2.rc)" "exit status of both runs"
    assert_eq "" "$(out 1.left)$(out 2.left)" "script removed after success"
}

case_begin "fresh router: option set, both lines written, uhttpd restarted"
router "$(uhttpd_conf)" /etc/httpd.conf - 1 '$6$salt$hash'
assert_eq "$(printf '%s\n%s' "$(out 0.show)" "uhttpd.main.config='/etc/httpd.conf'" | sort)" \
    "$(out 1.show | sort)" "uhttpd settings: only the config option added"
assert_eq "$LINES" "$(out 1.realm)" "realm file"
assert_eq "uhttpd running
uhttpd restart" "$(out 1.calls)" "uhttpd restarted once"
second_run_same
fresh_realm=$(out 1.realm)

case_begin "own realm file kept: lines added after its last line, other rules kept"
router "$(uhttpd_conf "option config '/etc/uhttpd.realm'")" /etc/uhttpd.realm '/admin:admin:secret
/tarvona-diag:owner:$p$owner' 1 '$6$salt$hash'
assert_contains "$(out 1.show)" "uhttpd.main.config='/etc/uhttpd.realm'" "option as it was"
assert_eq '/admin:admin:secret
/tarvona-diag:owner:$p$owner
/cgi-bin/tarvona_diag:root:$p$root' "$(out 1.realm)" "realm file: only the missing line added"
second_run_same

case_begin "everything already in place: nothing changes, no restart"
router "$(uhttpd_conf "option config '/etc/httpd.conf'")" /etc/httpd.conf "$LINES
" 1 '$6$salt$hash'
assert_eq "$LINES" "$(out 1.realm)" "realm file"
assert_eq "" "$(out 1.calls)" "uhttpd left alone"
assert_not_contains "$(out 1.show)" "uhttpd.api.config" "instance outside /www untouched"

case_begin "unnamed instances serving /www get the lines too"
# One added the way owners add a second instance (uci add: its own realm file
# with a rule of the owner's), one unnamed in the file without a realm file
# (it shares /etc/httpd.conf with main: no line twice), one elsewhere.
router "$(uhttpd_conf)
config uhttpd
	list listen_http '0.0.0.0:8081'
	option home '/www'

config uhttpd
	list listen_http '0.0.0.0:8082'
	option home '/srv/other'" /etc/httpd.conf - 1 '$6$salt$hash' '
printf "/admin:admin:secret\n" >/etc/uhttpd2.realm
sec=$(uci add uhttpd uhttpd) &&
uci set "uhttpd.$sec.home=/www" &&
uci set "uhttpd.$sec.config=/etc/uhttpd2.realm" &&
uci add_list "uhttpd.$sec.listen_http=0.0.0.0:8083" &&
uci commit uhttpd'
assert_eq "$(printf '%s\n' "$(out 0.show)" "uhttpd.main.config='/etc/httpd.conf'" \
    "uhttpd.@uhttpd[2].config='/etc/httpd.conf'" | sort)" "$(out 1.show | sort)" \
    "uhttpd settings: the config option for main and the unnamed one without"
assert_eq "$LINES" "$(out 1.realm)" "shared realm file: each line once"
assert_eq "/admin:admin:secret
$LINES" "$(out 1.realm2)" "realm file of the instance added with uci add"
assert_eq "uhttpd running
uhttpd restart" "$(out 1.calls)" "uhttpd restarted once"
second_run_same
assert_eq "$(out 1.realm2)" "$(out 2.realm2)" "second run: its realm file"
unnamed_realm=$(out 1.realm2)

case_begin "uhttpd stopped (first boot): no restart"
router "$(uhttpd_conf)" /etc/httpd.conf - 0 '$6$salt$hash'
assert_eq "$LINES" "$(out 1.realm)" "realm file"
assert_eq "uhttpd running" "$(out 1.calls)" "asked, not restarted"

case_begin "no uhttpd: nothing written, success"
router - /etc/httpd.conf - 0 '$6$salt$hash'
assert_eq "" "$(out 1.realm)" "no realm file"
assert_eq "0" "$(out 1.rc)" "exit status"

case_begin "root without a password: said in the system log"
router "$(uhttpd_conf)" /etc/httpd.conf - 0 ''
assert_contains "$(out 1.calls)" "logger -t tarvona-diag root has no password" "warning"

# The lines the script wrote, with busybox httpd's plain password in place
# of $p$root (busybox does not know uhttpd's system-password form).
# Each realm file the script wrote: a fresh router's, and the one of the
# instance added with uci add (with the owner's own rule in it).
for realm in "$fresh_realm" "$unnamed_realm"; do
case_begin "realm lines in a real web server: page and CGI ($(head -n 1 <<<"$realm"))"
web=$(make_fixture)
mkdir -p "$web/tmp/www/cgi-bin" "$web/tmp/www/tarvona-diag"
cp "$repo/tarvona_diag/data/www/index.html" "$repo/tarvona_diag/data/www/report.js" "$web/tmp/www/tarvona-diag/"
printf '#!/bin/sh\nprintf "Content-Type: text/plain\\r\\n\\r\\nreport\\n"\n' >"$web/tmp/www/cgi-bin/tarvona_diag"
chmod +x "$web/tmp/www/cgi-bin/tarvona_diag"
printf '%s\n' "${realm//\$p\$root/s3cret}" >"$web/tmp/httpd.conf"
cat >"$web/tmp/run" <<'EOF'
busybox httpd -f -p 127.0.0.1:8080 -h /tmp/www -c /tmp/httpd.conf &
pid=$!
i=0
until curl -s -o /dev/null http://127.0.0.1:8080/; do
    i=$((i + 1)); [ $i -lt 200 ] || break; sleep 0.05
done
for p in /tarvona-diag/ /tarvona-diag/report.js "/cgi-bin/tarvona_diag?format=json"; do
    for u in - root:wrong admin:s3cret root:s3cret; do
        if [ "$u" = - ]; then a=""; else a="-u $u"; fi
        # shellcheck disable=SC2086
        echo "$p $u $(curl -s -o /dev/null -w '%{http_code}' $a "http://127.0.0.1:8080$p")"
    done
done
kill $pid
EOF
got=$(sandbox --root "$web" --net -- busybox sh /tmp/run)
assert_eq "/tarvona-diag/ - 401
/tarvona-diag/ root:wrong 401
/tarvona-diag/ admin:s3cret 401
/tarvona-diag/ root:s3cret 200
/tarvona-diag/report.js - 401
/tarvona-diag/report.js root:wrong 401
/tarvona-diag/report.js admin:s3cret 401
/tarvona-diag/report.js root:s3cret 200
/cgi-bin/tarvona_diag?format=json - 401
/cgi-bin/tarvona_diag?format=json root:wrong 401
/cgi-bin/tarvona_diag?format=json admin:s3cret 401
/cgi-bin/tarvona_diag?format=json root:s3cret 200" "$got" "status per path and credentials"
done

exit $((BB_FAIL > 0))
