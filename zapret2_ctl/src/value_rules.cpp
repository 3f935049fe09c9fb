#include "value_rules.h"

#include "log.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace zapret2_ctl {

bool bool_rule(const char* text) {
    return std::strcmp(text, "1") == 0 || std::strcmp(text, "true") == 0 ||
           std::strcmp(text, "yes") == 0;
}

int32_t int_rule(const char* option, const char* text, int32_t def, int32_t min, int32_t max) {
    int32_t value = def;
    if (text) {
        errno = 0;
        char* end = nullptr;
        long parsed = std::strtol(text, &end, 10);
        bool bad = end == text || *end != '\0' || errno == ERANGE || parsed < INT32_MIN ||
                   parsed > INT32_MAX;
        if (bad)
            log_warn("Invalid integer value for %s: '%s', using default %d", option, text, def);
        else
            value = static_cast<int32_t>(parsed);
    }
    if (value < min || value > max) {
        log_warn("Value %d for %s out of range [%d, %d], using default %d", value, option, min, max,
                 def);
        value = def;
    }
    return value;
}

bool mark_rule(const char* text, uint32_t* out) {
    errno = 0;
    char* end = nullptr;
    unsigned long long parsed = std::strtoull(text, &end, 0);
    if (end == text || *end != '\0') {
        log_warn("Invalid desync_mark value: '%s', using default 0x%08x", text,
                 default_desync_mark);
        return false;
    }
    if (errno == ERANGE || parsed > 0xFFFFFFFFull) {
        log_warn("desync_mark value too large: '%s', using default 0x%08x", text,
                 default_desync_mark);
        return false;
    }
    *out = static_cast<uint32_t>(parsed);
    return true;
}

void warn_list_too_large(const char* option) {
    log_warn("UCI list '%s' exceeds maximum size limit", option);
}

void warn_list_truncated(const char* option) {
    log_warn("UCI list '%s' truncated due to buffer overflow", option);
}

} // namespace zapret2_ctl
