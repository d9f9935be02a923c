// Where the companion programs send their datagrams: an IPv4 host and port.
#pragma once

#include <netinet/in.h>

#include <string>

namespace cli {

// Resolves a dotted IPv4 address or a host name; false with a reason when it cannot.
bool resolveIPv4(const std::string &host, int port, sockaddr_in &out, std::string &why);

}  // namespace cli
