#!/bin/bash
# korvel's USB hotplug hook, sourced the way hotplug-call sources every
# script of /etc/hotplug.d/usb (in a subshell, with the event's variables in
# the environment), under busybox ash in the router sandbox, with a korvel
# double that records its arguments.
. "$ROUTER_TESTLIB/bb.sh"

repo=$(cd "$ROUTER_SRC/../.." && pwd)
hook="$repo/korvel/data/hotplug/30-korvel"

fx=$(make_fixture)
mkdir -p "$fx/etc/hotplug.d/usb" "$fx/usr/bin" "$fx/tmp/events"
cp "$hook" "$fx/etc/hotplug.d/usb/30-korvel"
cat >"$fx/usr/bin/korvel" <<'EOF'
#!/bin/sh
for a in "$@"; do printf '[%s]' "$a"; done >>"$KORVEL_CALLS"
echo >>"$KORVEL_CALLS"
EOF
chmod +x "$fx/usr/bin/korvel"

# event | ACTION | DEVTYPE | PRODUCT | korvel's arguments, or nothing
events=(
    "modem plugged|add|usb_device|12d1/1506/102|[add][12d1/1506/102]"
    "modem pulled|remove|usb_device|12d1/1506/102|[remove][12d1/1506/102]"
    "interface of the modem|add|usb_interface|2c7c/125/318|[add][2c7c/125/318]"
    "driver bound|bind|usb_device|12d1/1506/102|"
    "driver unbound|unbind|usb_device|12d1/1506/102|"
    "attribute change|change|usb_device|12d1/1506/102|"
    "no product id|add|usb_device||"
    "shell text in the id stays one word|add|usb_device|1/2/3;touch /tmp/pwned \$(id)|[add][1/2/3;touch /tmp/pwned \$(id)]"
)
i=0
for e in "${events[@]}"; do
    IFS='|' read -r _ action devtype product _ <<<"$e"
    printf 'ACTION=%q DEVTYPE=%q PRODUCT=%q\n' "$action" "$devtype" "$product" >"$fx/tmp/events/$i"
    i=$((i + 1))
done

# Like hotplug-call: each event in a fresh environment, the hook sourced in a
# subshell; the caller must go on after it.
cat >"$fx/tmp/events/run" <<'EOF'
n=0
while [ -f "/tmp/events/$n" ]; do
    (
        eval "$(sed 's/^/export /' "/tmp/events/$n")"
        export KORVEL_CALLS="/tmp/events/$n.calls"
        : >"$KORVEL_CALLS"
        ( . /etc/hotplug.d/usb/30-korvel )
        echo "caller went on after event $n"
    )
    n=$((n + 1))
done
EOF

scr=$(fresh_scratch)
out=$(sandbox --root "$fx" --scratch "$scr" -- bash -c 'busybox sh /tmp/events/run' 2>&1)

i=0
for e in "${events[@]}"; do
    name="${e%%|*}"
    want="${e##*|}"
    case_begin "$name"
    assert_eq "$want" "$(cat "$scr/upper/tmp/events/$i.calls" 2>/dev/null)" "korvel call"
    assert_contains "$out" "caller went on after event $i"
    i=$((i + 1))
done
case_begin "no shell text of the event is run"
if [ -e "$scr/upper/tmp/pwned" ]; then bb_fail "the product id was run as a command"; else bb_ok; fi

exit $((BB_FAIL > 0))
