#!/bin/sh
# Package test, run on the target with the package installed:
#   test.sh PACKAGE VERSION
# The help text, then the CGI entry of the web server asked for a small JSON
# report: headers first, then a document jsonfilter can read (when present).

[ "$1" = tarvona-diag ] || exit 0

tarvona_diag --help | grep -q "tarvona_diag --tests=" || { echo "no help text"; exit 1; }

# PKG_TEST_ROOT lets a test bed without /www keep the web tree elsewhere.
cgi="${PKG_TEST_ROOT:-}/www/cgi-bin/tarvona_diag"
[ -x "$cgi" ] || { echo "$cgi missing"; exit 1; }
for f in index.html report.css report.js; do
	[ -s "${PKG_TEST_ROOT:-}/www/tarvona-diag/$f" ] || { echo "report page: $f missing"; exit 1; }
done
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
REQUEST_METHOD=GET QUERY_STRING="format=json&tests=sys_uptime" "$cgi" >"$tmp" || { echo "CGI run failed"; exit 1; }
head -n 1 "$tmp" | grep -q "^Content-Type: application/json; charset=utf-8" ||
	{ echo "CGI: wrong first header"; head -n 5 "$tmp"; exit 1; }
if command -v jsonfilter >/dev/null; then
	# the body starts after the first empty (CR LF) line
	tr -d '\r' <"$tmp" | sed '1,/^$/d' | jsonfilter -e '@' >/dev/null || { echo "CGI: body is not JSON"; exit 1; }
fi
echo "tarvona-diag: ok"
