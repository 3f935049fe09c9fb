#include "forwarder.h"

#include "daemon.h"
#include "server_list.h"
#include "worker_pool.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace velmora {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr size_t worker_stack_size = 1024 * 1024; // ASan's redzones need room
#else
constexpr size_t worker_stack_size = 128 * 1024; // two 4 KiB buffers, a log line, libc calls
#endif

constexpr int idle_worker_seconds = 10;

class unique_fd {
  public:
    explicit unique_fd(int fd) : fd_(fd) {}
    ~unique_fd() {
        if (fd_ >= 0) close(fd_);
    }
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

int64_t now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Waits for a datagram with the query's ID until deadline. Returns its length; -1 with
// read_error false when the wait ended without one (time-out or a failed wait), -1 with
// read_error true and saved_errno set when reading failed.
int receive_matching(int sock, const uint8_t* query, int query_len, uint8_t* reply, int reply_cap,
                     int64_t deadline, bool& read_error, int& saved_errno) {
    read_error = false;
    saved_errno = 0;
    for (;;) {
        int64_t left = deadline - now_ms();
        if (left < 0) left = 0;
        pollfd p{sock, POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return -1;
        ssize_t n = recv(sock, reply, static_cast<size_t>(reply_cap), 0);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            read_error = true;
            saved_errno = errno;
            return -1;
        }
        // A late answer to an earlier attempt or a forged datagram: keep waiting for ours.
        if (!same_message_id(query, static_cast<size_t>(query_len), reply, static_cast<size_t>(n)))
            continue;
        return static_cast<int>(n);
    }
}

} // namespace

bool parse_server_address(const std::string& text, sockaddr_in& addr) {
    char ip[16] = {};
    int port = 53;
    std::sscanf(text.c_str(), "%15[^:]:%d", ip, &port);
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    return inet_pton(AF_INET, ip, &addr.sin_addr) == 1;
}

int query_server(int sock, const std::string& server, const uint8_t* query, int query_len,
                 uint8_t* reply, int reply_cap, int64_t req_id, const char* domain, bool quiet,
                 int attempt, int last_attempt) {
    const long long id = static_cast<long long>(req_id);
    const bool last = attempt == last_attempt;
    sockaddr_in addr{};
    if (!parse_server_address(server, addr)) {
        // Not an IPv4 address: would otherwise go to 0.0.0.0, i.e. this host itself.
        log_msg("[WARN] [req #%lld] [domain: %s] connect to %s failed: %s", id, domain,
                server.c_str(), std::strerror(EINVAL));
        return -1;
    }
    if (connect(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        log_msg("[WARN] [req #%lld] [domain: %s] connect to %s failed: %s", id, domain,
                server.c_str(), std::strerror(errno));
        return -1;
    }
    if (send(sock, query, static_cast<size_t>(query_len), 0) < 0) {
        if (last)
            log_msg("[WARN] [req #%lld] [domain: %s] write to %s failed: %s", id, domain,
                    server.c_str(), std::strerror(errno));
        return -1;
    }
    bool read_error = false;
    int err = 0;
    int n = receive_matching(sock, query, query_len, reply, reply_cap,
                             now_ms() + g_settings.session_timeout_ms, read_error, err);
    if (n < 0) {
        if (last && !quiet) {
            if (read_error)
                log_msg("[WARN] [req #%lld] [domain: %s] read from %s failed: %s", id, domain,
                        server.c_str(), std::strerror(err));
            else
                log_msg("[WARN] [req #%lld] [domain: %s] Timeout waiting for response from %s",
                        id, domain, server.c_str());
        }
        return -1;
    }
    int rcode = message_rcode(reply, static_cast<size_t>(n));
    if (rcode == rcode_servfail || rcode == rcode_refused) return -1;
    return n;
}

void handle_request(dns_request* req) {
    std::unique_ptr<dns_request> owned(req);
    const bool quiet = is_quiet_name(req->domain);
    const long long id = static_cast<long long>(req->req_id);
    const std::shared_ptr<const server_entries> list = snapshot_servers();
    const server_entries& servers = *list;

    uint8_t reply[dns_message_cap];
    uint8_t held[dns_message_cap];
    size_t held_len = 0;
    bool answered = false;

    auto relay = [&](const uint8_t* msg, size_t len) {
        sendto(req->listen_fd, msg, len, 0, reinterpret_cast<const sockaddr*>(&req->client_addr),
               req->client_addr_len);
    };

    for (size_t i = 0; i < servers.size() && !answered; i++) {
        for (int attempt = 1; attempt <= attempts_per_server; attempt++) {
            int n = -1;
            {
                unique_fd sock(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
                if (sock.get() >= 0)
                    n = query_server(sock.get(), servers[i], req->query, req->query_len, reply,
                                     sizeof reply, req->req_id, req->domain, quiet, attempt,
                                     attempts_per_server);
            }
            if (n > static_cast<int>(dns_header_len)) {
                size_t len = static_cast<size_t>(n);
                if (message_rcode(reply, len) != rcode_noerror) {
                    std::memcpy(held, reply, len);
                    held_len = len;
                    break; // a negative answer: held while the next server is asked
                }
                clear_tc_flag(reply, len);
                if (len > dns_plain_udp_len) len = trim_reply(reply, len);
                if (!quiet)
                    log_msg("[INFO] [req #%lld] [domain: %s] Reply from %s (priority %d)", id,
                            req->domain, servers[i].c_str(), static_cast<int>(i + 1));
                relay(reply, len);
                answered = true;
                break;
            }
            if (attempt < attempts_per_server)
                pause_ms(pause_base_ms + random_below(pause_spread_ms));
        }
    }
    if (answered) return;
    if (held_len > 0) {
        if (!quiet) log_msg("[INFO] [req #%lld] [domain: %s] Final response: NXDOMAIN", id, req->domain);
        relay(held, held_len);
    } else if (!quiet) {
        log_msg("[WARN] [req #%lld] [domain: %s] No response from any server", id, req->domain);
    }
}

void prepare_request(dns_request& req, int len, int listen_fd) {
    req.query_len = len;
    req.listen_fd = listen_fd;
    if (g_settings.debug_level > 0) {
        req.req_id = next_request_id();
        extract_qname(req.query, static_cast<size_t>(len), req.domain, sizeof req.domain);
    } else {
        req.req_id = -1;
        req.domain[0] = '\0';
    }
}

void pause_ms(unsigned ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void pause_forever() {
    for (;;) pause_ms(1000);
}

void receiver_loop(int listen_fd) {
    static worker_pool workers(listen_fd, handle_request, max_requests_in_flight,
                               worker_stack_size, idle_worker_seconds);
    workers.run_first();
}

} // namespace velmora
