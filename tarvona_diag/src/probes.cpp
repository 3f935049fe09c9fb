#include "probes.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <uci.h>

#include "command_runner.h"
#include "handles.h"
#include "text_ops.h"

namespace tarvona_diag {

namespace {

constexpr size_t probe_output = 128; // running / status / pidof probes
constexpr size_t small_output = 64;  // enabled probe, PID file

} // namespace

int run_command(const char* cmd, char* buf, size_t cap, int limit_ms) {
    int job = start_command(cmd, buf, cap, limit_ms);
    return job < 0 ? -1 : finish_command(job);
}

int read_text_file(const char* path, char* buf, size_t cap) {
    if (!buf || cap == 0) return -1;
    buf[0] = '\0';
    if (!path) return -1;
    fd_holder fd(open(path, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return -1;
    ssize_t n;
    do {
        n = read(fd.get(), buf, cap - 1);
    } while (n < 0 && errno == EINTR);
    if (n < 0) n = 0;
    buf[n] = '\0';
    return static_cast<int>(n);
}

bool file_exists(const char* path) {
    struct stat st;
    return path && stat(path, &st) == 0;
}

void format_timestamp(char* buf, size_t cap) {
    if (!buf || cap == 0) return;
    buf[0] = '\0';
    time_t now = time(nullptr);
    struct tm tmv;
    if (!localtime_r(&now, &tmv)) return;
    if (strftime(buf, cap, "%Y-%m-%d %H:%M:%S", &tmv) == 0) buf[0] = '\0';
}

const char* uci_get_option(uci_context* ctx, uci_section* s, const char* name) {
    if (!ctx || !s || !name) return nullptr;
    uci_option* o = uci_lookup_option(ctx, s, name);
    if (!o || o->type != UCI_TYPE_STRING) return nullptr;
    return o->v.string;
}

bool option_disabled(uci_context* ctx, uci_section* s) {
    const char* v = uci_get_option(ctx, s, "enabled");
    return v && strcmp(v, "0") == 0;
}

bool running_from_running_output(const char* out) {
    return out && strstr(out, "yes");
}

bool running_from_status_output(const char* out) {
    if (!out) return false;
    if (strstr(out, "running")) return true;
    return strstr(out, "active") && !strstr(out, "inactive");
}

bool running_from_pidof_output(const char* out) {
    return out && isdigit(static_cast<unsigned char>(out[0]));
}

int pid_from_text(const char* text) {
    if (!text) return 0;
    char copy[small_output];
    snprintf(copy, sizeof copy, "%s", text);
    const char* t = trim(copy);
    if (!isdigit(static_cast<unsigned char>(*t))) return 0;
    long v = strtol(t, nullptr, 10);
    return v > 0 && v <= 0x7fffffff ? static_cast<int>(v) : 0;
}

bool service_running(const char* init_script, const char* process) {
    if (!init_script) return false;
    char cmd[256], out[probe_output];
    snprintf(cmd, sizeof cmd, "/etc/init.d/%s running && echo yes 2>/dev/null", init_script);
    run_command(cmd, out, sizeof out);
    if (running_from_running_output(out)) return true;
    snprintf(cmd, sizeof cmd, "/etc/init.d/%s status 2>/dev/null", init_script);
    run_command(cmd, out, sizeof out);
    if (running_from_status_output(out)) return true;
    if (process && *process) {
        snprintf(cmd, sizeof cmd, "pidof %s 2>/dev/null", process);
        run_command(cmd, out, sizeof out);
        if (running_from_pidof_output(out)) return true;
    }
    return false;
}

int service_pid(const char* init_script, const char* process) {
    char path[160], text[small_output];
    text[0] = '\0';
    if (init_script) {
        snprintf(path, sizeof path, "/var/run/%s.pid", init_script);
        if (file_exists(path)) read_text_file(path, text, sizeof text);
    }
    if (!text[0] && process && *process) {
        char cmd[160];
        snprintf(cmd, sizeof cmd, "pidof %s 2>/dev/null", process);
        run_command(cmd, text, sizeof text);
    }
    return pid_from_text(text);
}

bool service_enabled(const char* init_script) {
    if (!init_script) return false;
    char cmd[256], out[small_output];
    snprintf(cmd, sizeof cmd, "/etc/init.d/%s enabled && echo yes 2>/dev/null", init_script);
    run_command(cmd, out, sizeof out);
    return running_from_running_output(out);
}

} // namespace tarvona_diag
