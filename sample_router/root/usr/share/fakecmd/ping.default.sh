# No reply for any other interface or target: busybox's 100% loss output.
for last; do :; done
printf 'PING %s (%s): 56 data bytes\n\n--- %s ping statistics ---\n' "$last" "$last" "$last"
printf '1 packets transmitted, 0 packets received, 100%% packet loss\n'
exit 1
