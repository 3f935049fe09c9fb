// The receiving thread and the per-request workers: each datagram is forwarded unchanged to the
// servers in priority order until one gives a good answer.
#pragma once

#include "dns_packet.h"

#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>

namespace velmora {

/// Most requests handled at once (worker threads). Far above what a home network sends (a
/// request takes at most a few attempt time-outs); at the bound nobody reads the listening
/// socket until a worker finishes, and the kernel's socket queue absorbs or drops the excess,
/// so a query flood cannot exhaust memory.
constexpr unsigned max_requests_in_flight = 1024;

constexpr int attempts_per_server = 3;
constexpr unsigned pause_base_ms = 50;
constexpr unsigned pause_spread_ms = 100; // pause is base + [0, spread) ms

struct dns_request {
    uint8_t query[dns_message_cap];
    int32_t query_len = 0;
    sockaddr_in client_addr{};
    socklen_t client_addr_len = sizeof(sockaddr_in);
    int listen_fd = -1;
    int64_t req_id = -1;
    char domain[qname_cap] = {};
};

/// Body of the receiving thread, which becomes the first of the workers (worker_pool.h);
/// never returns.
[[noreturn]] void receiver_loop(int listen_fd);

/// Fills a received request's fields: its length, the socket to reply from, and (only while
/// logging) its request number and queried name.
void prepare_request(dns_request& req, int len, int listen_fd);

/// Sleeps ms milliseconds (resumed after signals).
void pause_ms(unsigned ms);
[[noreturn]] void pause_forever();

/// Forwards one request and relays at most one reply to its client. Takes ownership. Runs in a
/// worker thread; workers are reused, one request at a time each (worker_pool.h).
void handle_request(dns_request* req);

/// One attempt against one server ("ip" or "ip:port") on a socket the caller created. Returns
/// the bytes received into reply, or -1 for a failed attempt (connect, send, time-out, read
/// error, server failure or refusal). Datagrams whose message ID differs from the query's are
/// ignored while the attempt's time-out runs.
int query_server(int sock, const std::string& server, const uint8_t* query, int query_len,
                 uint8_t* reply, int reply_cap, int64_t req_id, const char* domain, bool quiet,
                 int attempt, int last_attempt);

/// Parses "ip:port" ("ip" alone means port 53) into addr; false when the address part is not a
/// dotted IPv4 address.
bool parse_server_address(const std::string& text, sockaddr_in& addr);

} // namespace velmora
