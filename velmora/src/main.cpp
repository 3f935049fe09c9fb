// velmora: UDP DNS forwarder with failover from the primary to the secondary and then to the
// system's own resolvers. Stays in the foreground; SIGHUP reloads the fallback resolvers.
// One thread: the event loop of forwarder.cpp.
#include "forwarder.h"
#include "handles.h"
#include "log.h"
#include "options.h"
#include "pause.h"
#include "secure_random.h"
#include "server_list.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <syslog.h>

namespace velmora {
namespace {

int run() {
    seed_random(static_cast<uint64_t>(time(nullptr)));
    openlog("velmora", LOG_PID, LOG_DAEMON);
    log_msg("[INFO] Velmora by Tarvona");
    log_msg("[INFO] Version %s", version_text);
    if (int err = secure_random_init(); err != 0) {
        // Upstream IDs and ports must not be guessable: no kernel generator, no forwarding.
        log_msg("[ERROR] No random numbers from the kernel: %s", std::strerror(err));
        return 1;
    }
    server_entries servers = load_servers(fallback_resolver_path);

    sigset_t hup;
    sigemptyset(&hup);
    sigaddset(&hup, SIGHUP);
    // Taken by the event loop through a signalfd: the reload runs in the loop, never inside a
    // signal handler.
    sigprocmask(SIG_BLOCK, &hup, nullptr);

    endpoint& at = g_settings.listen_at;
    unique_fd fd(socket(at.family(), SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        log_msg("[ERROR] Failed to create socket: %s", std::strerror(errno));
        return 1;
    }
    if (at.family() == AF_INET6) {
        // "[::]:53" is IPv6 only: IPv4 clients are served by an IPv4 listening address, which
        // another instance (or dnsmasq) may hold.
        int on = 1;
        setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    }
    int err = resolve_zone(at);
    if (err == 0 && bind(fd.get(), &at.addr.sa, at.len) != 0) err = errno;
    if (err != 0) {
        log_msg("[ERROR] UDP bind failed: %s", std::strerror(err));
        return 1;
    }
    log_msg("[INFO] Listening UDP on %s", g_settings.listen_addr.c_str());

    return run_forwarder(std::move(fd), hup, std::move(servers));
}

} // namespace
} // namespace velmora

int main(int argc, char** argv) {
    using namespace velmora;
    switch (parse_command_line(argc, argv, g_settings)) {
    case parse_outcome::version:
        std::printf("Velmora version %s\n", version_text);
        return 0;
    case parse_outcome::usage:
        print_usage(argv[0]);
        return 1;
    case parse_outcome::run:
        break;
    }
    if (!check_addresses(argv[0], g_settings)) return 1;
    return run();
}
