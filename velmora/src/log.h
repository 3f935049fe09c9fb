// The log sink of velmora: standard output and the system log, both only while logging is on.
#pragma once

namespace velmora {

/// printf-style; when debug_level > 0 writes the text and a newline to stdout in one write and
/// sends the text to the system log at LOG_INFO. Does nothing at all otherwise.
void log_msg(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

} // namespace velmora
