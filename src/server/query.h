// The query protocol: "HEADER" gets the channel names, anything else one status record.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdio>
#include <string_view>

#include "../sentences/navigation.h"

// The 26 channel names, joined by commas: 512 characters, sent without a terminator.
extern const std::string_view headerString;

// The longest record there can be: every real field a 309-digit double, every time a full
// 64-bit count. Records are built whole in a buffer of this size and never cut.
inline constexpr std::size_t recordCapacity = 4096;

// Fills dataString with the 26-field status record, ended by a zero byte, and returns its
// length. Reads the clock twice: field 1 from the first reading, fields 23 to 25 from the
// second.
std::size_t buildStatusRecord(const shipData &ship, const rovData &rov, clockFn clock,
                              char (&dataString)[recordCapacity]);

// Where a query came from and the socket that answers it.
struct queryPeer {
    int serverfd;
    const sockaddr_in *cliaddr;
    socklen_t len;
};

// Answers one received query of n bytes (n < 0: the receive failed, and nothing is sent).
void replyToQuery(const char *query, int n, const queryPeer &peer, const shipData &ship,
                  const rovData &rov, clockFn clock, std::FILE *console,
                  char (&dataString)[recordCapacity]);
