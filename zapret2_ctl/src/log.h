// Process-wide logger of zapret2-ctl: four levels, written either to the
// system log or to standard error (never both), chosen once per command.
#pragma once

#include <cstdarg>
#include <cstdio>

namespace zapret2_ctl {

enum log_level : unsigned {
    log_lvl_error = 0,
    log_lvl_warn = 1,
    log_lvl_info = 2,
    log_lvl_debug = 3
};

// Longest message kept, terminator included; longer ones are cut.
constexpr std::size_t log_message_capacity = 2048;

// Stores the sink and the highest level written; opens the system-log
// connection (ident "zapret2", LOG_PID|LOG_NDELAY, LOG_DAEMON) for use_syslog.
void log_open(bool use_syslog, unsigned max_level);
// Closes the system-log connection when one was opened; otherwise nothing.
void log_close();

void log_error(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void log_warn(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void log_info(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void log_debug(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Common writer: drops levels above the maximum, formats into a 2048-byte
// buffer, then hands the text to the system log (as "%s") or prints
// "HH:MM:SS [TAG] text\n" on the console stream.
void log_write(unsigned level, const char* tag, const char* fmt, va_list ap)
    __attribute__((format(printf, 3, 0)));

// Console stream of the standard-error sink (stderr unless changed; tests
// point it at a memory stream). Returns the previous stream.
std::FILE* log_set_console(std::FILE* stream);

} // namespace zapret2_ctl
