// Asking the server at a steady interval and keeping what it says in the display's state. The
// header is asked first, and again after a silence; then one record a poll.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <csignal>

#include "displayState.h"
#include "protocol/queryClient.h"

namespace display {

struct pollSettings {
    sockaddr_in server;
    std::chrono::milliseconds interval;
    std::chrono::milliseconds timeout;  // per try
    int retries;
};

// One poll: the header while it is unknown, then a record; the outcome goes into state.
void pollOnce(navproto::queryClient &client, displayState &state);

// Polls until stop is raised. A poll that overruns the interval is followed by the next at once,
// not by a burst of the ones it missed.
void pollServer(const pollSettings &settings, displayState &state,
                const volatile std::sig_atomic_t *stop);

// The system clock as seconds since the epoch, as the state's times are kept.
double wallClockNow();

}  // namespace display
