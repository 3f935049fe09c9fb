#include "forwarder.h"

#include "handles.h"
#include "log.h"
#include "options.h"
#include "pause.h"
#include "request_id.h"
#include "secure_random.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace velmora {

namespace {

constexpr unsigned receive_batch = 32; // datagrams taken from the listening socket per call
constexpr unsigned reply_batch = 32;   // replies to clients sent per call
constexpr int max_events = 64;
constexpr int64_t ns_per_ms = 1000000;
// Servers of the current list: only they are checked in the background, one check at a time.
constexpr unsigned max_listed_servers = 2 + max_fallback_servers;
// Listening socket, epoll, signalfd, stdio, syslog, and a socket per background check.
constexpr unsigned reserved_fds = 16 + max_listed_servers;

// How many attempts a new source port carries.
unsigned attempts_for_a_port() {
    return min_attempts_per_port +
           secure_random_below(max_attempts_per_port - min_attempts_per_port + 1);
}

int64_t now_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

struct request;
struct server_rec;

// One entry of the timer queue. Each request and each server owns one; it is in the queue at most
// once (heap_slot is its position plus one, 0 while it is not queued).
struct timer {
    int64_t due;
    unsigned heap_slot;
    request* req;       // the owner: a request ...
    server_rec* server; // ... or a server's background check
};

// A min-heap of timers by due time; each timer knows its place, so it can be moved or taken out.
class timer_queue {
  public:
    timer_queue() { heap_.reserve(max_requests_in_flight + 64); }

    void set(timer& t, int64_t due) {
        t.due = due;
        if (t.heap_slot == 0) {
            heap_.push_back(&t);
            t.heap_slot = static_cast<unsigned>(heap_.size());
            up(heap_.size() - 1);
        } else {
            fix(t.heap_slot - 1);
        }
    }
    void cancel(timer& t) {
        if (t.heap_slot == 0) return;
        size_t i = t.heap_slot - 1;
        t.heap_slot = 0;
        timer* last = heap_.back();
        heap_.pop_back();
        if (i < heap_.size()) {
            heap_[i] = last;
            last->heap_slot = static_cast<unsigned>(i + 1);
            fix(i);
        }
    }
    timer* first() const { return heap_.empty() ? nullptr : heap_.front(); }

  private:
    void place(size_t i, timer* t) {
        heap_[i] = t;
        t->heap_slot = static_cast<unsigned>(i + 1);
    }
    void up(size_t i) {
        timer* t = heap_[i];
        while (i > 0) {
            size_t p = (i - 1) / 2;
            if (heap_[p]->due <= t->due) break;
            place(i, heap_[p]);
            i = p;
        }
        place(i, t);
    }
    void down(size_t i) {
        timer* t = heap_[i];
        const size_t n = heap_.size();
        for (;;) {
            size_t c = 2 * i + 1;
            if (c >= n) break;
            if (c + 1 < n && heap_[c + 1]->due < heap_[c]->due) c++;
            if (heap_[c]->due >= t->due) break;
            place(i, heap_[c]);
            i = c;
        }
        place(i, t);
    }
    void fix(size_t i) {
        if (i > 0 && heap_[(i - 1) / 2]->due > heap_[i]->due)
            up(i);
        else
            down(i);
    }

    std::vector<timer*> heap_;
};

// A socket connected to one upstream server. It carries at most one attempt (or one background
// check) at a time; between them it waits in its server's idle pool. The records live in one
// array owned by the loop; a record's generation changes whenever its socket is closed, so an
// event still queued for a closed socket is recognised and dropped.
struct upstream_sock {
    unique_fd fd;
    uint32_t generation = 0;
    server_rec* server = nullptr;
    request* req = nullptr; // the attempt it carries
    bool probing = false;   // carries its server's background check
    bool tainted = false;   // received a datagram that was not the awaited answer
    unsigned uses_left = 0; // attempts its current port may still carry
    int64_t idle_since = 0; // when it last went back to its pool
};

struct server_rec {
    std::string text;
    endpoint where;
    unsigned refs = 0; // entries of server tables naming it
    std::vector<upstream_sock*> idle;
    // Health memory (used only with a hold-down).
    bool out = false;
    bool listed = false; // in the current table: only such servers are checked
    timer check{};       // next background check, or its time-out while it runs
    upstream_sock* check_sock = nullptr;
    int64_t check_started = 0;
    std::vector<uint8_t> check_query; // the check's query, under its own ID
};

// A server list as requests see it: the one current when they arrived.
struct server_table {
    std::vector<server_rec*> entries;
    unsigned requests = 0;
};

union peer_address {
    sockaddr sa;
    sockaddr_in v4;
    sockaddr_in6 v6;
};

struct request {
    timer tm; // attempt time-out while sock is set, else the pause before the next
    server_table* table;
    upstream_sock* sock;
    int64_t req_id;
    int32_t query_len;
    uint32_t held_len;
    uint32_t reply_limit; // a good answer is cut to this: 512, or the client's EDNS size
    int pos;              // index into table->entries
    int attempt;          // 1..attempts_per_server
    uint16_t client_id;   // the query's own ID, put back into the reply
    bool quiet;
    bool walk_all; // every server was out at arrival: ask them all in order
    socklen_t client_len;
    peer_address client;
    char domain[qname_cap];
    uint8_t query[dns_message_cap]; // the ID of the attempt in flight in its first two bytes
    uint8_t held[dns_message_cap];
};

// Zero-filled storage: pages are only touched as requests use them.
request slots[max_requests_in_flight];

// epoll tags of the two fixed descriptors; an upstream socket's tag is its generation and place.
constexpr uint64_t tag_listen = 1;
constexpr uint64_t tag_signal = 2;
constexpr uint64_t first_socket_tag = 16;

class forwarder {
  public:
    forwarder(unique_fd listen_fd, unique_fd epoll_fd, unique_fd signal_fd, unsigned cap,
              server_entries servers)
        : listen_fd_(std::move(listen_fd)), epoll_fd_(std::move(epoll_fd)),
          signal_fd_(std::move(signal_fd)), cap_(cap),
          socks_(cap + max_idle_sockets + max_listed_servers + 8) {
        free_.reserve(cap_);
        for (unsigned i = cap_; i > 0; i--)
            free_.push_back(&slots[i - 1]); // records untouched
        free_socks_.reserve(socks_.size());
        for (size_t i = socks_.size(); i > 0; i--)
            free_socks_.push_back(&socks_[i - 1]);
        for (unsigned i = 0; i < receive_batch; i++) {
            in_msgs_[i].msg_hdr.msg_iov = &in_iov_[i];
            in_msgs_[i].msg_hdr.msg_iovlen = 1;
        }
        for (unsigned i = 0; i < reply_batch; i++) {
            out_msgs_[i].msg_hdr.msg_iov = &out_iov_[i];
            out_msgs_[i].msg_hdr.msg_iovlen = 1;
            out_msgs_[i].msg_hdr.msg_name = &out_addr_[i];
        }
        install_table(std::move(servers));
    }

    [[noreturn]] void run();

  private:
    // requests
    void receive_queries();
    void start_request(request& r, size_t len);
    void next_server(request& r);
    void start_attempt(request& r);
    void attempt_failed(request& r);
    void take_answer(request& r, uint8_t* reply, size_t n);
    void finish(request& r);
    void release(request& r);
    void on_timer(timer& t);

    // upstream sockets
    upstream_sock* open_socket(server_rec& s, int& err);
    bool renew_port(upstream_sock* u);
    upstream_sock* take_socket(server_rec& s, const request* r);
    void give_back(upstream_sock* u);
    void discard(upstream_sock* u);
    void forget_idle(server_rec& s);
    void on_upstream(upstream_sock* u);
    uint64_t tag_of(const upstream_sock* u) const {
        return (static_cast<uint64_t>(u->generation) << 32) |
               (first_socket_tag + static_cast<uint64_t>(u - socks_.data()));
    }
    upstream_sock* sock_of_tag(uint64_t tag) {
        upstream_sock& u = socks_[(tag & 0xFFFFFFFF) - first_socket_tag];
        return u.generation == tag >> 32 && u.fd.valid() ? &u : nullptr;
    }

    // health memory
    void server_failed(server_rec& s, const request& r);
    void server_answered(server_rec& s);
    void start_check(server_rec& s);
    void end_check(server_rec& s, bool usable);

    // server list
    void reload();
    void install_table(server_entries list);
    void drop_table(server_table* t);
    void drop_server(server_rec& s);

    // replies to clients
    uint8_t* reply_buffer() { return out_bufs_[out_n_]; }
    void queue_reply(const request& r, const uint8_t* msg, size_t len);
    void flush_replies();
    void set_listening(bool on);

    int64_t ms_from_now(int64_t ms) const { return now_ + ms * ns_per_ms; }
    bool last_attempt(const request& r) const { return r.attempt == attempts_per_server; }
    server_rec& server_of(const request& r) const { return *r.table->entries[r.pos]; }

    const unique_fd listen_fd_;
    const unique_fd epoll_fd_;
    const unique_fd signal_fd_;
    const unsigned cap_;
    const int64_t timeout_ns_ = static_cast<int64_t>(g_settings.session_timeout_ms) * ns_per_ms;
    const int64_t hold_down_ns_ = static_cast<int64_t>(g_settings.hold_down_s) * 1000000000;
    int64_t now_ = now_ns();

    timer_queue timers_;
    std::vector<request*> free_;
    bool listening_ = true;

    // Every upstream socket record; never resized, so pointers into it stay valid.
    std::vector<upstream_sock> socks_;
    std::vector<upstream_sock*> free_socks_;
    unsigned idle_count_ = 0;

    // Every server a live table names, by text. Its records keep their place (and so their
    // timers and sockets) while the map changes.
    std::unordered_map<std::string, server_rec> servers_;
    std::vector<std::unique_ptr<server_table>> tables_; // the current one and those still in use
    server_table* current_ = nullptr;

    // A client query that was answered: the background checks send copies of it.
    uint8_t recent_query_[dns_message_cap];
    size_t recent_len_ = 0;

    mmsghdr in_msgs_[receive_batch]{};
    iovec in_iov_[receive_batch]{};
    request* in_reqs_[receive_batch]{};

    mmsghdr out_msgs_[reply_batch]{};
    iovec out_iov_[reply_batch]{};
    peer_address out_addr_[reply_batch]{};
    unsigned out_n_ = 0;
    uint8_t out_bufs_[reply_batch][dns_message_cap]; // upstream answers, relayed in place
};

void forwarder::run() {
    epoll_event events[max_events];
    for (;;) {
        int wait_ms = -1;
        if (const timer* t = timers_.first()) {
            int64_t left = t->due - now_ns();
            wait_ms = left <= 0 ? 0 : static_cast<int>((left + ns_per_ms - 1) / ns_per_ms);
        }
        int n = epoll_wait(epoll_fd_.get(), events, max_events, wait_ms);
        now_ = now_ns();
        for (int i = 0; i < n; i++) {
            uint64_t tag = events[i].data.u64;
            if (tag == tag_listen) {
                receive_queries();
            } else if (tag == tag_signal) {
                reload();
            } else if (upstream_sock* u = sock_of_tag(tag)) {
                on_upstream(u);
            }
        }
        while (timer* t = timers_.first()) {
            if (t->due > now_) break;
            timers_.cancel(*t);
            on_timer(*t);
        }
        flush_replies();
        if (!listening_ && free_.size() > 0) set_listening(true);
    }
}

void forwarder::set_listening(bool on) {
    epoll_event ev{};
    ev.events = on ? static_cast<uint32_t>(EPOLLIN) : 0u;
    ev.data.u64 = tag_listen;
    epoll_ctl(epoll_fd_.get(), EPOLL_CTL_MOD, listen_fd_.get(), &ev);
    listening_ = on;
}

// Takes up to a few batches of datagrams straight into free request records. At the bound the
// listening socket is left unread until a request ends.
void forwarder::receive_queries() {
    flush_replies(); // queued replies may point into records about to be reused
    for (int round = 0; round < 4; round++) {
        unsigned want = std::min<unsigned>(receive_batch, static_cast<unsigned>(free_.size()));
        if (want == 0) {
            set_listening(false);
            return;
        }
        for (unsigned k = 0; k < want; k++) {
            request* r = free_[free_.size() - 1 - k];
            in_iov_[k] = {r->query, sizeof r->query};
            in_msgs_[k].msg_hdr.msg_name = &r->client;
            in_msgs_[k].msg_hdr.msg_namelen = sizeof r->client;
            in_reqs_[k] = r;
        }
        int n = recvmmsg(listen_fd_.get(), in_msgs_, want, MSG_DONTWAIT, nullptr);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // nothing more, or a receive error: nothing is logged
        free_.resize(free_.size() - static_cast<size_t>(n));
        for (int k = 0; k < n; k++) {
            in_reqs_[k]->client_len = in_msgs_[k].msg_hdr.msg_namelen;
            start_request(*in_reqs_[k], in_msgs_[k].msg_len);
        }
        if (static_cast<unsigned>(n) < want) return;
    }
}

void forwarder::start_request(request& r, size_t len) {
    r.tm.req = &r;
    r.query_len = static_cast<int32_t>(len);
    r.client_id = message_id(r.query, len);
    r.reply_limit = static_cast<uint32_t>(reply_size_limit(r.query, len));
    if (g_settings.debug_level > 0) {
        r.req_id = next_request_id();
        extract_qname(r.query, len, r.domain, sizeof r.domain);
    } else {
        r.req_id = -1;
        r.domain[0] = '\0';
    }
    r.quiet = is_quiet_name(r.domain);
    r.table = current_;
    current_->requests++;
    r.sock = nullptr;
    r.held_len = 0;
    r.pos = 0;
    r.walk_all =
        hold_down_ns_ > 0 && std::all_of(current_->entries.begin(), current_->entries.end(),
                                         [](const server_rec* s) { return s->out; });
    next_server(r);
}

// Moves on to the server at r.pos or the first one after it that is not left out.
void forwarder::next_server(request& r) {
    const auto& entries = r.table->entries;
    while (r.pos < static_cast<int>(entries.size()) && !r.walk_all && entries[r.pos]->out)
        r.pos++;
    if (r.pos >= static_cast<int>(entries.size())) {
        finish(r);
        return;
    }
    r.attempt = 1;
    start_attempt(r);
}

void forwarder::start_attempt(request& r) {
    server_rec& s = server_of(r);
    upstream_sock* u = take_socket(s, &r);
    if (u == nullptr) {
        attempt_failed(r);
        return;
    }
    // A fresh ID per attempt: whoever cannot see the query has to guess it as well as the port.
    const size_t len = static_cast<size_t>(r.query_len);
    set_message_id(r.query, len, secure_random_u16());
    if (send(u->fd.get(), r.query, len, 0) < 0) {
        if (last_attempt(r))
            log_msg("[WARN] [req #%lld] [domain: %s] write to %s failed: %s",
                    static_cast<long long>(r.req_id), r.domain, s.text.c_str(),
                    std::strerror(errno));
        discard(u);
        attempt_failed(r);
        return;
    }
    u->req = &r;
    r.sock = u;
    timers_.set(r.tm, now_ + timeout_ns_);
}

void forwarder::attempt_failed(request& r) {
    if (r.attempt < attempts_per_server) {
        timers_.set(r.tm, ms_from_now(next_pause_ms()));
        return;
    }
    server_failed(server_of(r), r);
    r.pos++;
    next_server(r);
}

// A datagram that answers the request's attempt (its ID and question match).
void forwarder::take_answer(request& r, uint8_t* reply, size_t n) {
    server_rec& s = server_of(r);
    int rcode = message_rcode(reply, n);
    if ((n > 3 && (rcode == rcode_servfail || rcode == rcode_refused)) || n <= dns_header_len) {
        attempt_failed(r);
        return;
    }
    server_answered(s);
    set_message_id(reply, n, r.client_id);
    if (rcode != rcode_noerror) {
        std::memcpy(r.held, reply, n); // a negative answer: held while the next server is asked
        r.held_len = static_cast<uint32_t>(n);
        r.pos++;
        next_server(r);
        return;
    }
    clear_tc_flag(reply, n);
    if (n > r.reply_limit) n = trim_reply(reply, n, r.reply_limit);
    if (!r.quiet)
        log_msg("[INFO] [req #%lld] [domain: %s] Reply from %s (priority %d)",
                static_cast<long long>(r.req_id), r.domain, s.text.c_str(), r.pos + 1);
    if (hold_down_ns_ > 0) {
        std::memcpy(recent_query_, r.query, static_cast<size_t>(r.query_len));
        recent_len_ = static_cast<size_t>(r.query_len);
    }
    queue_reply(r, reply, n);
    release(r);
}

void forwarder::finish(request& r) {
    const long long id = static_cast<long long>(r.req_id);
    if (r.held_len > 0) {
        if (!r.quiet)
            log_msg("[INFO] [req #%lld] [domain: %s] Final response: NXDOMAIN", id, r.domain);
        queue_reply(r, r.held, r.held_len); // sent before the record is reused
    } else if (!r.quiet) {
        log_msg("[WARN] [req #%lld] [domain: %s] No response from any server", id, r.domain);
    }
    release(r);
}

void forwarder::release(request& r) {
    timers_.cancel(r.tm);
    server_table* t = r.table;
    r.table = nullptr;
    if (--t->requests == 0 && t != current_) drop_table(t);
    free_.push_back(&r);
}

void forwarder::on_timer(timer& t) {
    if (t.server != nullptr) {
        server_rec& s = *t.server;
        if (s.check_sock != nullptr)
            end_check(s, false); // the check timed out
        else
            start_check(s);
        return;
    }
    request& r = *t.req;
    if (r.sock == nullptr) { // the pause is over
        r.attempt++;
        start_attempt(r);
        return;
    }
    if (last_attempt(r) && !r.quiet)
        log_msg("[WARN] [req #%lld] [domain: %s] Timeout waiting for response from %s",
                static_cast<long long>(r.req_id), r.domain, server_of(r).text.c_str());
    discard(r.sock); // a late answer must never reach a later attempt
    r.sock = nullptr;
    attempt_failed(r);
}

// A new socket connected to s, from a source port the kernel picks at random, in the epoll set.
// Null when none can be had: err is then the reason to log, or 0 when there is none to log.
upstream_sock* forwarder::open_socket(server_rec& s, int& err) {
    err = 0;
    if (free_socks_.empty()) {
        err = EMFILE;
        return nullptr;
    }
    if ((err = resolve_zone(s.where)) != 0) return nullptr; // the interface may come and go
    unique_fd fd(socket(s.where.family(), SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return nullptr;
    if (connect(fd.get(), &s.where.addr.sa, s.where.len) != 0) {
        err = errno;
        return nullptr;
    }
    upstream_sock* u = free_socks_.back();
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = tag_of(u);
    if (epoll_ctl(epoll_fd_.get(), EPOLL_CTL_ADD, fd.get(), &ev) != 0) return nullptr;
    free_socks_.pop_back();
    u->fd = std::move(fd);
    u->server = &s;
    u->req = nullptr;
    u->probing = false;
    u->tainted = false;
    u->uses_left = attempts_for_a_port();
    u->idle_since = now_;
    return u;
}

// Gives u a new source port: disconnecting releases the port the kernel picked for it, and
// connecting again makes the kernel pick another at random. False (u closed) when the server
// cannot be reached any more. A datagram still queued from the old port is dealt with like any
// stray one: it matches no attempt's ID, and the socket is then closed.
bool forwarder::renew_port(upstream_sock* u) {
    server_rec& s = *u->server;
    sockaddr unspec{};
    unspec.sa_family = AF_UNSPEC;
    if (connect(u->fd.get(), &unspec, sizeof unspec) != 0 || resolve_zone(s.where) != 0 ||
        connect(u->fd.get(), &s.where.addr.sa, s.where.len) != 0) {
        discard(u);
        return false;
    }
    u->uses_left = attempts_for_a_port();
    return true;
}

// One of the server's idle sockets, chosen at random; the pool is topped up first, and a socket
// that waited too long gets a new port. Null when no socket can be had (the attempt fails); a
// failed connect is logged with the request's number.
upstream_sock* forwarder::take_socket(server_rec& s, const request* r) {
    for (;;) {
        int err = 0;
        while (s.idle.size() < idle_sockets_to_choose_from &&
               (idle_count_ < max_idle_sockets || s.idle.empty())) {
            upstream_sock* u = open_socket(s, err);
            if (u == nullptr) break;
            s.idle.push_back(u);
            idle_count_++;
        }
        if (s.idle.empty()) {
            if (r != nullptr && err != 0)
                log_msg("[WARN] [req #%lld] [domain: %s] connect to %s failed: %s",
                        static_cast<long long>(r->req_id), r->domain, s.text.c_str(),
                        std::strerror(err));
            return nullptr;
        }
        size_t i = secure_random_below(static_cast<unsigned>(s.idle.size()));
        upstream_sock* u = s.idle[i];
        s.idle[i] = s.idle.back();
        s.idle.pop_back();
        idle_count_--;
        if (now_ - u->idle_since <= idle_port_max_ms * ns_per_ms || renew_port(u)) return u;
    }
}

// The attempt on u ended with its answer: u waits for the next one (on a new port once its port
// has carried its share), unless it saw a stray datagram or enough sockets wait already.
void forwarder::give_back(upstream_sock* u) {
    u->req = nullptr;
    u->probing = false;
    if (u->tainted || idle_count_ >= max_idle_sockets || !u->server->listed) {
        discard(u);
        return;
    }
    if (--u->uses_left == 0 && !renew_port(u)) return;
    u->idle_since = now_;
    u->server->idle.push_back(u);
    idle_count_++;
}

void forwarder::discard(upstream_sock* u) {
    u->fd.reset(); // also takes it out of the epoll set
    u->generation++;
    u->server = nullptr;
    u->req = nullptr;
    u->probing = false;
    free_socks_.push_back(u);
}

void forwarder::forget_idle(server_rec& s) {
    for (upstream_sock* u : s.idle)
        discard(u);
    idle_count_ -= static_cast<unsigned>(s.idle.size());
    s.idle.clear();
}

void forwarder::on_upstream(upstream_sock* u) {
    server_rec& s = *u->server;
    for (;;) {
        uint8_t* buf = reply_buffer();
        ssize_t got = recv(u->fd.get(), buf, dns_message_cap, 0);
        int err = errno;
        if (got < 0 && (err == EAGAIN || err == EWOULDBLOCK)) return;
        if (got < 0 && err == EINTR) continue;
        if (u->req == nullptr && !u->probing) {
            // Idle: a late answer or an error report meant for an attempt that has ended.
            auto it = std::find(s.idle.begin(), s.idle.end(), u);
            if (it != s.idle.end()) {
                *it = s.idle.back();
                s.idle.pop_back();
                idle_count_--;
            }
            discard(u);
            return;
        }
        if (got < 0) {
            if (u->probing) {
                discard(u);
                s.check_sock = nullptr;
                end_check(s, false);
                return;
            }
            request& r = *u->req;
            discard(u);
            r.sock = nullptr;
            timers_.cancel(r.tm);
            if (last_attempt(r) && !r.quiet)
                log_msg("[WARN] [req #%lld] [domain: %s] read from %s failed: %s",
                        static_cast<long long>(r.req_id), r.domain, s.text.c_str(),
                        std::strerror(err));
            attempt_failed(r);
            return;
        }
        size_t n = static_cast<size_t>(got);
        if (u->probing) {
            if (!reply_matches_query(s.check_query.data(), s.check_query.size(), buf, n)) {
                u->tainted = true;
                continue;
            }
            int rcode = message_rcode(buf, n);
            bool usable = n > dns_header_len && rcode != rcode_servfail && rcode != rcode_refused;
            s.check_sock = nullptr;
            give_back(u);
            end_check(s, usable);
            return;
        }
        request& r = *u->req;
        if (!reply_matches_query(r.query, static_cast<size_t>(r.query_len), buf, n)) {
            // A forged datagram or a late duplicate (the kernel lets through only the server's
            // address and port, and the ID is the attempt's own): the attempt keeps waiting for
            // its answer, and the socket is not used again.
            u->tainted = true;
            continue;
        }
        r.sock = nullptr;
        timers_.cancel(r.tm);
        give_back(u);
        take_answer(r, buf, n);
        return;
    }
}

// All attempts of a request at s failed: with a hold-down, s is left out of later requests.
void forwarder::server_failed(server_rec& s, const request& r) {
    if (hold_down_ns_ == 0 || s.out) return;
    s.out = true;
    log_msg("[WARN] Server %s left out for %d s", s.text.c_str(), g_settings.hold_down_s);
    if (recent_len_ == 0) {
        std::memcpy(recent_query_, r.query, static_cast<size_t>(r.query_len));
        recent_len_ = static_cast<size_t>(r.query_len);
    }
    if (s.listed) timers_.set(s.check, now_ + hold_down_ns_);
}

// A usable answer from s (to a request or to a check) brings it back at once.
void forwarder::server_answered(server_rec& s) {
    if (!s.out) return;
    s.out = false;
    timers_.cancel(s.check);
    if (s.check_sock != nullptr) {
        discard(s.check_sock);
        s.check_sock = nullptr;
    }
    log_msg("[INFO] Server %s is back", s.text.c_str());
}

// Sends s a copy of a recent client query under a random ID; its answer is never relayed.
void forwarder::start_check(server_rec& s) {
    if (!s.out || !s.listed) return;
    s.check_started = now_;
    upstream_sock* u = recent_len_ > 0 ? take_socket(s, nullptr) : nullptr;
    if (u != nullptr) {
        s.check_query.assign(recent_query_, recent_query_ + recent_len_);
        set_message_id(s.check_query.data(), s.check_query.size(), secure_random_u16());
        if (send(u->fd.get(), s.check_query.data(), s.check_query.size(), 0) >= 0) {
            u->probing = true;
            s.check_sock = u;
            timers_.set(s.check, now_ + timeout_ns_);
            return;
        }
        discard(u);
    }
    timers_.set(s.check, now_ + hold_down_ns_);
}

void forwarder::end_check(server_rec& s, bool usable) {
    if (s.check_sock != nullptr) {
        discard(s.check_sock);
        s.check_sock = nullptr;
    }
    if (usable) {
        server_answered(s);
        return;
    }
    if (s.out && s.listed) timers_.set(s.check, std::max(now_, s.check_started + hold_down_ns_));
}

void forwarder::reload() {
    signalfd_siginfo info[8];
    while (read(signal_fd_.get(), info, sizeof info) > 0) {
    }
    install_table(load_servers(fallback_resolver_path));
}

// Makes the list just loaded the one new requests use. Servers keep their record (sockets and
// health memory) for as long as any list names them. Linear in the servers known.
void forwarder::install_table(server_entries list) {
    auto t = std::make_unique<server_table>();
    t->entries.reserve(list.size());
    for (auto& [text, s] : servers_)
        s.listed = false;
    for (server_entry& e : list) {
        auto [it, fresh] = servers_.try_emplace(e.text);
        server_rec& s = it->second;
        if (fresh) {
            s.text = std::move(e.text);
            s.where = e.where;
            s.check.server = &s;
        }
        s.refs++;
        s.listed = true;
        t->entries.push_back(&s);
    }
    for (auto& [text, s] : servers_) {
        if (!s.listed) {
            timers_.cancel(s.check); // no longer listed: no more checks
            if (s.check_sock != nullptr) {
                discard(s.check_sock);
                s.check_sock = nullptr;
            }
            forget_idle(s);
        } else if (s.out && s.check.heap_slot == 0 && s.check_sock == nullptr) {
            timers_.set(s.check, now_ + hold_down_ns_);
        }
    }
    server_table* old = current_;
    current_ = t.get();
    tables_.push_back(std::move(t));
    if (old != nullptr && old->requests == 0) drop_table(old);
}

void forwarder::drop_table(server_table* t) {
    for (server_rec* s : t->entries)
        if (--s->refs == 0) drop_server(*s);
    auto it = std::find_if(tables_.begin(), tables_.end(),
                           [t](const std::unique_ptr<server_table>& p) { return p.get() == t; });
    *it = std::move(tables_.back());
    tables_.pop_back();
}

void forwarder::drop_server(server_rec& s) {
    timers_.cancel(s.check);
    if (s.check_sock != nullptr) discard(s.check_sock);
    forget_idle(s);
    servers_.erase(servers_.find(s.text));
}

void forwarder::queue_reply(const request& r, const uint8_t* msg, size_t len) {
    out_addr_[out_n_] = r.client;
    out_msgs_[out_n_].msg_hdr.msg_namelen = r.client_len;
    out_iov_[out_n_] = {const_cast<uint8_t*>(msg), len};
    out_n_++;
    if (out_n_ == reply_batch) flush_replies();
}

void forwarder::flush_replies() {
    unsigned i = 0;
    while (i < out_n_) {
        int sent = sendmmsg(listen_fd_.get(), out_msgs_ + i, out_n_ - i, 0);
        if (sent < 0 && errno == EINTR) continue;
        i += sent > 0 ? static_cast<unsigned>(sent) : 1; // a reply that cannot be sent is dropped
    }
    out_n_ = 0;
}

// Raises the soft descriptor limit as far as allowed; returns how many requests fit under it,
// each holding one upstream socket besides the idle ones.
unsigned requests_within_fd_limit() {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return max_requests_in_flight;
    if (lim.rlim_cur != RLIM_INFINITY &&
        (lim.rlim_max == RLIM_INFINITY || lim.rlim_cur < lim.rlim_max)) {
        rlimit want = lim;
        want.rlim_cur = lim.rlim_max == RLIM_INFINITY ? 65536 : lim.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &want) == 0) lim = want;
    }
    const rlim_t needed = max_requests_in_flight + max_idle_sockets + reserved_fds;
    if (lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur >= needed) return max_requests_in_flight;
    rlim_t room = lim.rlim_cur > max_idle_sockets + reserved_fds + 16
                      ? lim.rlim_cur - max_idle_sockets - reserved_fds
                      : 16;
    return static_cast<unsigned>(room);
}

} // namespace

int run_forwarder(unique_fd listen_fd, const sigset_t& reload_signals, server_entries servers) {
    unique_fd sfd(signalfd(-1, &reload_signals, SFD_NONBLOCK | SFD_CLOEXEC));
    unique_fd efd(epoll_create1(EPOLL_CLOEXEC));
    epoll_event lev{};
    lev.events = EPOLLIN;
    lev.data.u64 = tag_listen;
    epoll_event sev{};
    sev.events = EPOLLIN;
    sev.data.u64 = tag_signal;
    if (!sfd.valid() || !efd.valid() ||
        epoll_ctl(efd.get(), EPOLL_CTL_ADD, listen_fd.get(), &lev) != 0 ||
        epoll_ctl(efd.get(), EPOLL_CTL_ADD, sfd.get(), &sev) != 0) {
        log_msg("[ERROR] Failed to start the event loop: %s", std::strerror(errno));
        return 1;
    }
    // The loop runs until the process ends, and owns the three descriptors and every record.
    static forwarder loop(std::move(listen_fd), std::move(efd), std::move(sfd),
                          requests_within_fd_limit(), std::move(servers));
    log_msg("[INFO] Velmora running");
    loop.run();
}

} // namespace velmora
