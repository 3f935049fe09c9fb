// velmora: UDP DNS forwarder with failover from the primary to the secondary and then to the
// system's own resolvers. Stays in the foreground; SIGHUP reloads the fallback resolvers.
// One thread: the event loop of forwarder.cpp.
#include "forwarder.h"
#include "handles.h"
#include "log.h"
#include "options.h"
#include "pause.h"
#include "server_list.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <syslog.h>

namespace velmora {
namespace {

int run() {
    seed_random(static_cast<uint64_t>(time(nullptr)));
    openlog("velmora", LOG_PID, LOG_DAEMON);
    log_msg("[INFO] Velmora by Tarvona");
    log_msg("[INFO] Version %s", version_text);
    reload_servers(fallback_resolver_path);

    sigset_t hup;
    sigemptyset(&hup);
    sigaddset(&hup, SIGHUP);
    // Taken by the event loop through a signalfd: the reload runs in the loop, never inside a
    // signal handler.
    sigprocmask(SIG_BLOCK, &hup, nullptr);

    sockaddr_in addr{};
    char ip[16] = {};
    int port = -1;
    std::sscanf(g_settings.listen_addr.c_str(), "%15[^:]:%d", ip, &port);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, ip, &addr.sin_addr) != 1 || port < 0 || port > 65535) {
        // Binding whatever the text happened to convert to would listen somewhere unintended.
        log_msg("[ERROR] UDP bind failed: %s", std::strerror(EINVAL));
        return 1;
    }

    unique_fd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        log_msg("[ERROR] Failed to create socket: %s", std::strerror(errno));
        return 1;
    }
    if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        log_msg("[ERROR] UDP bind failed: %s", std::strerror(errno));
        return 1;
    }
    log_msg("[INFO] Listening UDP on %s", g_settings.listen_addr.c_str());

    return run_forwarder(fd.get(), hup);
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
    return run();
}
