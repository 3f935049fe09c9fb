#!/bin/bash
# Every shell script the packages install or the packaging jobs run:
#   router scripts (busybox ash on the router): `busybox ash -n`, then the
#     dash dialect of the linter, the closest it knows (it has `local`);
#   host scripts (bash: the tests, demos, benchmarks and build scripts):
#     `bash -n`, then the linter in its bash dialect.
. "$ROUTER_TESTLIB/bb.sh"

repo=$(cd "$ROUTER_SRC/../.." && pwd)

router_scripts=("$repo"/*/data/*.init "$repo"/*/data/*.defaults "$ROUTER_SRC"/../*/test.sh "$ROUTER_SRC/rc.common.stub")
for hook in "$repo"/korvel/data/hotplug/*; do
    [ -f "$hook" ] && router_scripts+=("$hook")
done
host_scripts=("$ROUTER_SRC"/*.sh "$repo"/*/tests/*.sh "$repo"/*/demo.sh "$repo"/tests/lib/*.sh
    "$repo"/tests/sandbox/bb_isolation.sh)
for s in "$repo"/scripts/* "$repo"/*/bench/run "$repo"/*/fuzz/run "$repo"/tests/sandbox/router-sandbox; do
    [ -f "$s" ] && head -n 1 "$s" | grep -q '^#!/bin/bash' && host_scripts+=("$s")
done

for s in "${router_scripts[@]}"; do
    case_begin "router script ${s#"$repo"/}"
    if out=$(busybox ash -n "$s" 2>&1); then bb_ok; else bb_fail "ash -n: $out"; fi
    if out=$(shellcheck -s dash "$s" 2>&1); then bb_ok; else bb_fail "shellcheck:"; printf '%s\n' "$out" >&2; fi
done

for s in "${host_scripts[@]}"; do
    case_begin "host script ${s#"$repo"/}"
    if out=$(bash -n "$s" 2>&1); then bb_ok; else bb_fail "bash -n: $out"; fi
    if out=$(shellcheck -x -P "$ROUTER_TESTLIB" "$s" 2>&1); then bb_ok; else bb_fail "shellcheck:"; printf '%s\n' "$out" >&2; fi
done

exit $((BB_FAIL > 0))
