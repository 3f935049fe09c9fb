#include "daemon.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <syslog.h>
#include <unistd.h>

namespace velmora {

settings g_settings;

namespace {

constexpr size_t log_line_cap = 1024;

std::mutex counter_mutex;
int64_t request_counter = 0;

std::atomic<uint64_t> random_state{1};

void write_all(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
}

} // namespace

void log_msg(const char* fmt, ...) {
    if (g_settings.debug_level <= 0) return;
    char line[log_line_cap];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(line, sizeof line - 1, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    size_t len = static_cast<size_t>(n) < sizeof line - 2 ? static_cast<size_t>(n) : sizeof line - 2;
    syslog(LOG_INFO, "%s", line);
    // One write per line keeps each line whole, and reaches a pipe at once.
    line[len] = '\n';
    write_all(STDOUT_FILENO, line, len + 1);
}

int64_t next_request_id() {
    std::lock_guard<std::mutex> lock(counter_mutex);
    return request_counter++;
}

void seed_random(uint64_t seed) { random_state.store(seed, std::memory_order_relaxed); }

unsigned random_below(unsigned bound) {
    // 64-bit LCG (Knuth's MMIX constants); the high bits are the usable ones.
    uint64_t cur = random_state.load(std::memory_order_relaxed);
    uint64_t next;
    do {
        next = cur * 6364136223846793005ULL + 1442695040888963407ULL;
    } while (!random_state.compare_exchange_weak(cur, next, std::memory_order_relaxed));
    return bound == 0 ? 0 : static_cast<unsigned>((next >> 33) % bound);
}

} // namespace velmora
