// The forwarding core: one thread, one event loop. Each datagram received on the listening socket
// becomes a request record in preallocated storage and is forwarded unchanged to the servers in
// priority order until one gives a good answer; attempt time-outs and the pauses between attempts
// are timers of the loop. With a hold-down, a server that failed a whole request is left out of
// later requests and checked in the background until it answers again.
#pragma once

#include "dns_packet.h"

#include <csignal>

namespace velmora {

/// Most requests handled at once. Far above what a home network sends (a request takes at most a
/// few attempt time-outs); at the bound the listening socket is not read until a request ends,
/// and the kernel's socket queue absorbs or drops the excess, so a flood cannot exhaust memory.
/// Lowered at start when the descriptor limit cannot hold one upstream socket per request.
constexpr unsigned max_requests_in_flight = 1024;

constexpr int attempts_per_server = 3; // a random pause (pause.h) comes between two of them

/// An upstream socket carries this many attempts at most, then a fresh one (a new source port)
/// takes its place.
constexpr unsigned socket_renew_attempts = 256;
/// Connected sockets kept open while no attempt uses them, over all servers.
constexpr unsigned max_idle_sockets = 128;

/// Runs the loop on the bound listening socket; SIGHUP (blocked in the caller) reloads the server
/// list. Returns only when the loop cannot be set up (after logging why): status 1.
int run_forwarder(int listen_fd, const sigset_t& reload_signals);

} // namespace velmora
