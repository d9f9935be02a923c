// navquery: asks the navigation data server for its channel names and current values and prints
// them, once or at an interval, as an aligned table, CSV or JSON lines.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "common/stopSignal.h"
#include "common/udpAddress.h"
#include "protocol/navProtocol.h"
#include "protocol/queryClient.h"
#include "query/queryOptions.h"

namespace {

enum exitStatus : int {
    exitOk = 0,
    exitFailure = 1,
    exitUsage = 2,
    exitNoReply = 3,
    exitMalformed = 4,
    exitStale = 5,
};

using steadyClock = std::chrono::steady_clock;

// What one run keeps between polls.
struct session {
    const queryOptions &options;
    std::string server;  // "host:port", for messages
    navproto::queryClient &client;
    std::string reply;
    std::string out;
};

int reportAskFailure(navproto::askResult result, const session &s, const char *what) {
    if (result == navproto::askResult::failed) {
        std::fprintf(stderr, "navquery: cannot ask %s: %s\n", s.server.c_str(),
                     s.client.problem().c_str());
        return exitFailure;
    }
    long long tries = s.options.retries + 1;
    std::fprintf(stderr, "navquery: no %s from %s within %g s (%lld %s)%s%s\n", what,
                 s.server.c_str(), s.options.timeoutSeconds, tries, tries == 1 ? "try" : "tries",
                 s.client.problem().empty() ? "" : ": ", s.client.problem().c_str());
    return exitNoReply;
}

int fetchHeader(session &s, navproto::channelHeader &header) {
    auto result = s.client.ask(navproto::headerQuery, s.reply);
    if (result == navproto::askResult::interrupted) return exitOk;
    if (result != navproto::askResult::answered) return reportAskFailure(result, s, "header");
    std::string why;
    if (!navproto::parseHeader(s.reply, header, why)) {
        std::fprintf(stderr, "navquery: malformed reply from %s: %s\n", s.server.c_str(),
                     why.c_str());
        return exitMalformed;
    }
    return exitOk;
}

// The server's own header decides the positions; the names were checked against the known ones
// already, so a miss here means a server that names its channels differently.
int chooseChannels(const session &s, const navproto::channelHeader &header,
                   navproto::outputOptions &out) {
    if (s.options.channels.empty()) return exitOk;
    std::vector<std::string_view> names(header.names.begin(), header.names.end());
    std::string why;
    if (!navproto::selectChannels(s.options.channels, names, out.channels, why)) {
        std::fprintf(stderr, "navquery: the header from %s lacks a channel asked for: %s\n",
                     s.server.c_str(), why.c_str());
        return exitMalformed;
    }
    return exitOk;
}

bool writeOut(const std::string &text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    // Flushed per record, so a recording is complete up to the last record when it is stopped.
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    std::fprintf(stderr, "navquery: cannot write output: %s\n", std::strerror(errno));
    return false;
}

bool reportStale(const navproto::statusRecord &record, double maxAge) {
    navproto::dataAges ages = navproto::computeAges(record);
    bool stale = false;
    auto check = [&](const char *what, const std::optional<double> &age) {
        if (!age) {
            std::fprintf(stderr, "navquery: stale data: no %s received\n", what);
            stale = true;
        } else if (*age > maxAge) {
            std::fprintf(stderr, "navquery: stale data: the %s is %s s old, more than %s s\n", what,
                         navproto::formatShortest(*age).c_str(),
                         navproto::formatShortest(maxAge).c_str());
            stale = true;
        }
    };
    check("ship's date-and-time sentence", ages.ship);
    check("vehicle's fix", ages.vehicle);
    return stale;
}

int pollOnce(session &s, navproto::recordFormatter &formatter) {
    auto result = s.client.ask(navproto::statusQuery, s.reply);
    if (result == navproto::askResult::interrupted) return exitOk;
    if (result != navproto::askResult::answered) return reportAskFailure(result, s, "record");
    navproto::statusRecord record;
    std::string why;
    if (!navproto::parseRecord(s.reply, record, why)) {
        std::fprintf(stderr, "navquery: malformed reply from %s: %s\n", s.server.c_str(),
                     why.c_str());
        return exitMalformed;
    }
    s.out.clear();
    formatter.appendRecord(record, s.out);
    if (!writeOut(s.out)) return exitFailure;
    if (s.options.maxAge && reportStale(record, *s.options.maxAge)) return exitStale;
    return exitOk;
}

// False when interrupted.
bool sleepUntil(steadyClock::time_point when) {
    for (;;) {
        if (cli::stopRequested()) return false;
        auto left = when - steadyClock::now();
        if (left <= steadyClock::duration::zero()) return true;
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec pause{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        nanosleep(&pause, nullptr);
    }
}

// Polls once, or at the interval in watch mode. Records keep their cadence: a poll that ran
// late is followed at once by the next, not by a burst of missed ones.
int pollRecords(session &s, navproto::recordFormatter &formatter) {
    int firstFailure = exitOk;
    auto interval = std::chrono::duration_cast<steadyClock::duration>(
        std::chrono::duration<double>(s.options.intervalSeconds));
    auto next = steadyClock::now();
    for (long long done = 0;;) {
        int status = pollOnce(s, formatter);
        if (firstFailure == exitOk) firstFailure = status;
        if (status == exitFailure || cli::stopRequested()) break;
        ++done;
        if (!s.options.watch || (s.options.count > 0 && done >= s.options.count)) break;
        next += interval;
        if (next < steadyClock::now()) next = steadyClock::now();
        if (!sleepUntil(next)) break;
    }
    return firstFailure;
}

navproto::outputFormat defaultFormat() {
    return isatty(STDOUT_FILENO) ? navproto::outputFormat::table : navproto::outputFormat::csv;
}

int usageError(const std::string &why) {
    std::fprintf(stderr, "navquery: %s\nTry 'navquery --help' for more.\n", why.c_str());
    return exitUsage;
}

int run(const queryOptions &options) {
    sockaddr_in address;
    std::string why;
    if (!cli::resolveIPv4(options.host, options.port, address, why)) return usageError(why);

    cli::installStopHandlers();
    auto timeout =
        std::chrono::milliseconds(std::max(1L, std::lround(options.timeoutSeconds * 1000)));
    navproto::queryClient client(address, timeout, static_cast<int>(options.retries),
                                 cli::stopFlag());
    session s{options, options.host + ":" + std::to_string(options.port), client, {}, {}};

    navproto::channelHeader header;
    if (int status = fetchHeader(s, header); status != exitOk || cli::stopRequested()) {
        return status;
    }
    navproto::outputOptions out;
    out.format = options.format.value_or(defaultFormat());
    out.ages = options.ages;
    if (int status = chooseChannels(s, header, out); status != exitOk) return status;

    navproto::recordFormatter formatter(header, out);
    s.out.clear();
    formatter.appendPreamble(s.out);
    if (!writeOut(s.out)) return exitFailure;
    return pollRecords(s, formatter);
}

}  // namespace

int main(int argc, char **argv) {
    queryOptions options;
    std::string why;
    switch (parseQueryOptions(argc, argv, options, why)) {
        case parseOutcome::help:
            std::fputs(queryUsage, stdout);
            return exitOk;
        case parseOutcome::usageError:
            return usageError(why);
        case parseOutcome::run:
            break;
    }
    if (options.listChannels) {
        for (auto name : navproto::knownChannels()) {
            std::printf("%.*s\n", static_cast<int>(name.size()), name.data());
        }
        return exitOk;
    }
    return run(options);
}
