# shellcheck shell=sh
# Helpers of the scripts that the black-box tests run inside the router
# sandbox under /bin/sh; they source this file there.

# serve_cgi PROGRAM: busybox httpd on 127.0.0.1:8080 serving /tmp/www, with
# PROGRAM as its CGI program at $CGI_BASE (/cgi-bin/diag). Returns once the
# server accepts a connection (any status will do), its pid in HTTPD_PID;
# fails when it does not come up within 10 s.
serve_cgi() {
    mkdir -p /tmp/www/cgi-bin && ln -s "$1" /tmp/www/cgi-bin/diag || return 1
    busybox httpd -f -p 127.0.0.1:8080 -h /tmp/www &
    HTTPD_PID=$!
    # shellcheck disable=SC2034  # read by the scripts that source this file
    CGI_BASE=http://127.0.0.1:8080/cgi-bin/diag
    i=0
    until curl -s -o /dev/null http://127.0.0.1:8080/; do
        i=$((i + 1))
        [ $i -lt 200 ] || { kill "$HTTPD_PID"; return 1; }
        sleep 0.05
    done
}
