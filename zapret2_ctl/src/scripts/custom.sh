# custom scripts runner

custom_runner()
{
	# $1 - function name
	# $2+ - its args
	local func="$1" script saved
	shift

	[ "$DISABLE_CUSTOM" = "1" ] && return 0

	dir_is_not_empty "$CUSTOM_DIR/custom.d" || return 0

	for script in "$CUSTOM_DIR/custom.d/"*; do
		[ -f "$script" ] || continue
		saved="$DAEMON_CFGNAME"
		unset DAEMON_CFGNAME
		unset -f "$func"
		. "$script"
		if [ -z "$DAEMON_CFGNAME" ]; then
			DAEMON_CFGNAME="${script##*/}"
			DAEMON_CFGNAME="${DAEMON_CFGNAME%%.*}"
		fi
		existf "$func" && "$func" "$@"
		DAEMON_CFGNAME="$saved"
	done
}

alloc_qnum()
{
	# $1 - var name
	alloc_num NUMPOOL_QNUM $1 65300 65399
}

alloc_dnum()
{
	# $1 - var name
	alloc_num NUMPOOL_DNUM $1 2000 2999
}

# every custom script
# gets its own
# DAEMON_CFGNAME
# for the log name
# made by the
# run_daemon.
