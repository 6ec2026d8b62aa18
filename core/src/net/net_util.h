// net_util.h --
//
//     Small socket steps shared by the socket helpers, the socket service
//     and the datagram connection: error classes, closing, non-blocking
//     mode, a bounded wait for readiness and IPv4 name resolution.

#ifndef KIV_CORE_SRC_NET_UTIL_H
#define KIV_CORE_SRC_NET_UTIL_H

#include <netinet/in.h>

#include <vector>

namespace kiv::net {

// Returns: true for errno values that are no real error (none,
//     would-block, in progress, already, no buffer space, interrupted).
bool transient_error(int error);
// Shuts both directions down and closes; a negative socket is ignored.
// No linger: closing never blocks the calling thread.
void close_socket(int socket);
// Returns: false when the mode could not be set.
bool set_non_blocking(int socket);
// Waits until `socket` is ready for `events` (poll flags), at most `ms`.
void wait_ready(int socket, short events, unsigned ms);
// Resolves `host` (a name or dotted address) to its IPv4 addresses, in
// the resolver's order, port 0. May block on the system's resolver.
// Returns: false for null, an unknown host or no IPv4 address.
bool resolve_ipv4(const char* host, int socktype, std::vector<sockaddr_in>& out);

}  // namespace kiv::net

#endif
