#include "poller.h"

#include <string>
#include <thread>

namespace display {

namespace {

using steadyClock = std::chrono::steady_clock;

void takeSilence(navproto::queryClient &client, displayState &state) {
    std::string problem = client.problem().empty() ? "no reply in time" : client.problem();
    state.takeFailure(pollOutcome::silent, problem, wallClockNow());
    state.forgetHeader();
}

// False when the poll should go no further.
bool askHeader(navproto::queryClient &client, displayState &state, std::string &reply) {
    navproto::askResult result = client.ask(navproto::headerQuery, reply);
    if (result == navproto::askResult::interrupted) return false;
    if (result != navproto::askResult::answered) {
        takeSilence(client, state);
        return false;
    }
    navproto::channelHeader header;
    std::string why;
    if (!navproto::parseHeader(reply, header, why)) {
        state.takeFailure(pollOutcome::malformed, why, wallClockNow());
        return false;
    }
    state.takeHeader(header);
    return true;
}

void askRecord(navproto::queryClient &client, displayState &state, std::string &reply) {
    navproto::askResult result = client.ask(navproto::statusQuery, reply);
    if (result == navproto::askResult::interrupted) return;
    if (result != navproto::askResult::answered) {
        takeSilence(client, state);
        return;
    }
    navproto::statusRecord record;
    std::string why;
    if (!navproto::parseRecord(reply, record, why)) {
        state.takeFailure(pollOutcome::malformed, why, wallClockNow());
        return;
    }
    state.takeAnswer(reply, record, wallClockNow());
}

// Sleeps in short steps, since a stop signal may be delivered to another thread and so not
// cut the sleep short.
void waitUntil(steadyClock::time_point when, const volatile std::sig_atomic_t *stop) {
    constexpr auto step = std::chrono::milliseconds(50);
    while (*stop == 0) {
        auto now = steadyClock::now();
        if (now >= when) return;
        std::this_thread::sleep_for(std::min<steadyClock::duration>(when - now, step));
    }
}

}  // namespace

double wallClockNow() {
    using seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void pollOnce(navproto::queryClient &client, displayState &state) {
    std::string reply;
    if (!state.hasHeader() && !askHeader(client, state, reply)) return;
    askRecord(client, state, reply);
}

void pollServer(const pollSettings &settings, displayState &state,
                const volatile std::sig_atomic_t *stop) {
    navproto::queryClient client(settings.server, settings.timeout, settings.retries, stop);
    auto next = steadyClock::now();
    while (*stop == 0) {
        pollOnce(client, state);
        next += settings.interval;
        next = std::max(next, steadyClock::now());
        waitUntil(next, stop);
    }
}

}  // namespace display
