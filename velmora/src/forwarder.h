// The forwarding core: one thread, one event loop. Each datagram received on the listening socket
// becomes a request record in preallocated storage and is forwarded to the servers in priority
// order, under a random message ID per attempt (the client gets its own back), until one gives a
// good answer; attempt time-outs and the pauses between attempts
// are timers of the loop. With a hold-down, a server that failed a whole request is left out of
// later requests and checked in the background until it answers again.
#pragma once

#include "dns_packet.h"
#include "handles.h"
#include "server_list.h"

#include <csignal>
#include <cstdint>

namespace velmora {

/// Most requests handled at once. Far above what a home network sends (a request takes at most a
/// few attempt time-outs); at the bound the listening socket is not read until a request ends,
/// and the kernel's socket queue absorbs or drops the excess, so a flood cannot exhaust memory.
/// Lowered at start when the descriptor limit cannot hold one upstream socket per request.
constexpr unsigned max_requests_in_flight = 1024;

constexpr int attempts_per_server = 3; // a random pause (pause.h) comes between two of them

/// A source port carries at most this many attempts: each port draws its share at random, at
/// least min_attempts_per_port, then its socket is disconnected and connected again, which makes
/// the kernel pick a new random port (cheaper than a new socket), so neither the port nor the
/// moment it changes can be foretold. Every attempt also carries a random message ID of its own.
constexpr unsigned max_attempts_per_port = 4;
constexpr unsigned min_attempts_per_port = 3;
/// A socket idle for longer than this gets a new port before its next attempt: on a quiet
/// network no port stays open for long between two queries.
constexpr int64_t idle_port_max_ms = 2000;
/// Idle sockets a server keeps to choose among: an attempt takes one of them at random, so that
/// the port of the next attempt cannot be told from the last one.
constexpr unsigned idle_sockets_to_choose_from = 4;
/// Connected sockets kept open while no attempt uses them, over all servers.
constexpr unsigned max_idle_sockets = 128;

/// Runs the loop on the bound listening socket with the server list loaded at start; SIGHUP
/// (blocked in the caller) reloads the list. Returns only when the loop cannot be set up (after
/// logging why): status 1.
int run_forwarder(unique_fd listen_fd, const sigset_t& reload_signals, server_entries servers);

} // namespace velmora
