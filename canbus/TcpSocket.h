#pragma once
// Socket plumbing of the TCP bus: its address, listening, connecting, and the options every
// connection runs with.

#include "canbus/SystemError.h"

#include <cstdint>
#include <string>

#include <sys/socket.h>

namespace canbus {

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

// The address of HOST:PORT, IPv4 first: Qt's hub listens on 127.0.0.1, and a hub of ours on ::1
// would not keep it out. False with a message in `error`.
bool ResolveAddress(const std::string& host, std::uint16_t port, SocketAddress& address, std::string& error);

// A non-blocking listening socket on `address`, or -1 with errno set. It binds with SO_REUSEADDR:
// the connections a hub that went before left in TIME-WAIT do not keep the next one from the port.
int ListenOn(const SocketAddress& address);

// A non-blocking socket connected to `address` within `timeoutMs`, or -1 with errno set. It too
// carries SO_REUSEADDR, so that its own TIME-WAIT never keeps a hub from a port it happened to
// have as its local one (bus ports lie in the range the kernel picks local ports from).
int ConnectTo(const SocketAddress& address, int timeoutMs);

// A frame's line leaves at once (TCP_NODELAY), and a peer that vanished without a word (its host
// went down, the network split) is found by keepalive probes within about a minute.
void TuneConnection(int fd);

// Closes `fd` if open and sets it to -1.
void CloseFd(int& fd);

} // namespace canbus
