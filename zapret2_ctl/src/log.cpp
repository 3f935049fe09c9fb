#include "log.h"

#include <ctime>
#include <syslog.h>

namespace zapret2_ctl {

namespace {

struct logger_state {
    bool use_syslog = false;
    unsigned max_level = log_lvl_info;
    std::FILE* console = nullptr; // nullptr means stderr
};

logger_state g_log;

int syslog_priority(unsigned level) {
    switch (level) {
    case log_lvl_error:
        return LOG_ERR;
    case log_lvl_warn:
        return LOG_WARNING;
    case log_lvl_info:
        return LOG_INFO;
    default:
        return LOG_DEBUG;
    }
}

} // namespace

void log_open(bool use_syslog, unsigned max_level) {
    g_log.use_syslog = use_syslog;
    g_log.max_level = max_level;
    if (use_syslog) openlog("zapret2", LOG_PID | LOG_NDELAY, LOG_DAEMON);
}

void log_close() {
    if (g_log.use_syslog) closelog();
}

std::FILE* log_set_console(std::FILE* stream) {
    std::FILE* old = g_log.console ? g_log.console : stderr;
    g_log.console = stream;
    return old;
}

void log_write(unsigned level, const char* tag, const char* fmt, va_list ap) {
    if (level > g_log.max_level) return;

    char text[log_message_capacity];
    std::vsnprintf(text, sizeof text, fmt, ap);

    if (g_log.use_syslog) {
        // The message may hold '%' from user data: never use it as a format.
        syslog(syslog_priority(level), "%s", text);
        return;
    }

    std::FILE* out = g_log.console ? g_log.console : stderr;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now != static_cast<std::time_t>(-1) && localtime_r(&now, &local))
        std::fprintf(out, "%02d:%02d:%02d [%s] %s\n", local.tm_hour, local.tm_min, local.tm_sec,
                     tag, text);
    else
        std::fprintf(out, "[%s] %s\n", tag, text);
}

#define ZAPRET2_LOG_FN(name, level, tag)                                                           \
    void name(const char* fmt, ...) {                                                              \
        va_list ap;                                                                                \
        va_start(ap, fmt);                                                                         \
        log_write(level, tag, fmt, ap);                                                            \
        va_end(ap);                                                                                \
    }

ZAPRET2_LOG_FN(log_error, log_lvl_error, "ERROR")
ZAPRET2_LOG_FN(log_warn, log_lvl_warn, "WARN")
ZAPRET2_LOG_FN(log_info, log_lvl_info, "INFO")
ZAPRET2_LOG_FN(log_debug, log_lvl_debug, "DEBUG")

#undef ZAPRET2_LOG_FN

} // namespace zapret2_ctl
