#!/bin/bash
# tarvona_diag on the bundled sample router: the full Russian text report as
# an admin sees it in a shell, then the head of a CGI download response.
# Environment (set by scripts/demo): ROUTER_SANDBOX, ROUTER_SAMPLE,
# ROUTER_BUILD, UCI_BIN_DIR.
set -u
diag="$ROUTER_BUILD/tarvona_diag/tarvona_diag"
run() {
    "$ROUTER_SANDBOX" --root "$ROUTER_SAMPLE/root" --path "$ROUTER_SAMPLE/bin" \
        --path "$UCI_BIN_DIR" --net "$@"
}

echo "=== tarvona_diag: text report of the sample router ==="
run -- "$diag" || exit 1
echo
echo
echo "=== tarvona_diag as CGI: ?action=download&format=json&tests=sys_cpu (headers) ==="
run --env REQUEST_METHOD=GET --env "QUERY_STRING=action=download&format=json&tests=sys_cpu" \
    -- "$diag" | sed -n '1,/^\r$/p' | tr -d '\r'
