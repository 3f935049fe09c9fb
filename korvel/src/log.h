// The log sink ("/dev/kmsg" and standard error) and the freshness markers
// that keep bursts of hotplug runs from repeating the same log lines.
#pragma once

#include "modem_state.h"

#include <ctime>

namespace korvel {

inline constexpr const char* run_marker = "/var/run/kv_log";
inline constexpr const char* init_marker = "/var/run/kv_init_log";
inline constexpr long marker_window_s = 9;

/// True when a marker touched at `mtime` still counts as fresh at `now`.
inline bool marker_fresh_at(std::time_t now, std::time_t mtime) {
    return now - mtime <= marker_window_s;
}

/// Fresh marker: touched again, answers true. Otherwise created or truncated,
/// answers false.
bool check_marker(const char* path);

/// Writes `text` and a newline to /dev/kmsg (when it opens) and to standard
/// error, unless st.log_quiet is set.
void log_line(const modem_state& st, const char* text);

/// log_line for a failure: written whatever the markers say.
void log_error(const char* text);

} // namespace korvel
