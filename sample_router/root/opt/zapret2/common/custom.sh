# custom scripts runner (sample router, service's own copy)
custom_runner()
{
	[ "$DISABLE_CUSTOM" = "1" ] && return 0
	local script
	for script in "$CUSTOM_DIR"/custom.d/*; do
		[ -f "$script" ] || continue
		unset -f "$1"
		. "$script"
		existf "$1" && "$@"
	done
}
