// navreplay: feeds a navigation data server with NMEA sentences, one a UDP datagram, from log
// files or from a simulated ship and diving vehicle, at the recorded pace, a fixed rate or as
// fast as possible.
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "common/stopSignal.h"
#include "common/udpAddress.h"
#include "replay/replayOptions.h"
#include "replay/replaySources.h"

namespace {

enum exitStatus : int { exitOk = 0, exitFailure = 1, exitUsage = 2 };

using steadyClock = std::chrono::steady_clock;

double secondsSince(steadyClock::time_point start, steadyClock::time_point now) {
    return std::chrono::duration<double>(now - start).count();
}

// Held within 30 years, so that a wild time stamp in a log cannot overflow the clock's count.
steadyClock::duration toDuration(double seconds) {
    return std::chrono::duration_cast<steadyClock::duration>(
        std::chrono::duration<double>(std::clamp(seconds, 0.0, 1e9)));
}

const char *streamName(sim::stream s) {
    return s == sim::stream::ship ? "ship" : "rov";
}

struct tally {
    long long ship = 0;
    long long vehicle = 0;
    long long failed = 0;
    long long sent() const { return ship + vehicle; }
};

// One socket for both streams; the line end travels as a second piece of the same datagram, so
// no sentence is copied.
class sentenceSender {
  public:
    sentenceSender(const sockaddr_in &ship, const sockaddr_in &vehicle, bool crlf)
        : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), crlf_(crlf) {
        to_[0] = ship;
        to_[1] = vehicle;
    }
    ~sentenceSender() {
        if (fd_ >= 0) close(fd_);
    }
    sentenceSender(const sentenceSender &) = delete;
    sentenceSender &operator=(const sentenceSender &) = delete;

    bool ready() const { return fd_ >= 0; }

    bool send(const pendingSentence &p) {
        static char lineEnd[] = "\r\n";
        iovec pieces[2] = {{const_cast<char *>(p.text.data()), p.text.size()}, {lineEnd, 2}};
        msghdr message{};
        message.msg_name = &to_[p.stream == sim::stream::ship ? 0 : 1];
        message.msg_namelen = sizeof(sockaddr_in);
        message.msg_iov = pieces;
        message.msg_iovlen = crlf_ ? 2 : 1;
        return sendmsg(fd_, &message, 0) >= 0;
    }

  private:
    int fd_;
    bool crlf_;
    sockaddr_in to_[2];
};

// "sent, rate, elapsed" once a second, on a terminal only: a log file gets the summary alone.
class progressLine {
  public:
    explicit progressLine(steadyClock::time_point start)
        : shown_(isatty(STDERR_FILENO) != 0), start_(start), last_(start) {}

    void update(steadyClock::time_point now, const tally &t) {
        if (!shown_ || now - last_ < std::chrono::seconds(1)) return;
        double rate = static_cast<double>(t.sent() - lastSent_) / secondsSince(last_, now);
        std::fprintf(stderr,
                     "\rnavreplay: sent %lld (ship %lld, rov %lld), %.1f a second, %.0f s\033[K",
                     t.sent(), t.ship, t.vehicle, rate, secondsSince(start_, now));
        last_ = now;
        lastSent_ = t.sent();
        drawn_ = true;
    }
    void clear() {
        if (drawn_) std::fputs("\r\033[K", stderr);
    }
    // The next moment the line wants redrawing.
    steadyClock::time_point due() const {
        return shown_ ? last_ + std::chrono::seconds(1) : steadyClock::time_point::max();
    }

  private:
    bool shown_;
    bool drawn_ = false;
    steadyClock::time_point start_;
    steadyClock::time_point last_;
    long long lastSent_ = 0;
};

// Sleeps until `when`, redrawing the progress line on the way. False when interrupted.
bool waitUntil(steadyClock::time_point when, progressLine &progress, const tally &t) {
    for (;;) {
        if (cli::stopRequested()) return false;
        auto now = steadyClock::now();
        progress.update(now, t);
        if (now >= when) return true;
        auto left = std::min(when, progress.due()) - now;
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec pause{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        nanosleep(&pause, nullptr);
    }
}

// The source whose sentence is due first; a tie goes to the one listed first (the ship's).
sentenceSource *earliest(const std::vector<std::unique_ptr<sentenceSource>> &sources) {
    sentenceSource *first = nullptr;
    for (const auto &s : sources) {
        if (first == nullptr || s->current().due < first->current().due) first = s.get();
    }
    return first;
}

void dropSource(std::vector<std::unique_ptr<sentenceSource>> &sources, sentenceSource *gone) {
    std::erase_if(sources, [&](const auto &s) { return s.get() == gone; });
}

bool openSources(const replayOptions &o, std::vector<std::unique_ptr<sentenceSource>> &sources) {
    if (o.simulate) {
        // Whole seconds, so that the simulated times read hhmmss.00.
        double now = std::floor(static_cast<double>(std::time(nullptr)));
        sources.push_back(std::make_unique<simulationSource>(o.sim, o, now));
    }
    std::pair<const std::string *, sim::stream> files[] = {{&o.shipFile, sim::stream::ship},
                                                           {&o.rovFile, sim::stream::vehicle}};
    for (auto [path, stream] : files) {
        if (path->empty()) continue;
        std::string why;
        auto source = fileSource::open(*path, stream, o, why);
        if (!source) {
            std::fprintf(stderr, "navreplay: %s\n", why.c_str());
            return false;
        }
        sources.push_back(std::move(source));
    }
    std::erase_if(sources, [](const auto &s) { return !s->advance(); });
    return true;
}

void echoSentence(const pendingSentence &p) {
    std::fprintf(stdout, "%s %.*s\n", streamName(p.stream), static_cast<int>(p.text.size()),
                 p.text.data());
}

void printSummary(const tally &t, double elapsed) {
    double rate = elapsed > 0 ? static_cast<double>(t.sent()) / elapsed : 0;
    std::fprintf(stderr,
                 "navreplay: sent %lld sentences (ship %lld, rov %lld) in %.1f s, %.1f a second",
                 t.sent(), t.ship, t.vehicle, elapsed, rate);
    if (t.failed > 0) std::fprintf(stderr, "; %lld sends failed", t.failed);
    std::fputc('\n', stderr);
}

tally replay(const replayOptions &o, std::vector<std::unique_ptr<sentenceSource>> &sources,
             sentenceSender &sender, steadyClock::time_point start) {
    tally t;
    progressLine progress(start);
    auto deadline =
        o.duration > 0 ? start + toDuration(o.duration) : steadyClock::time_point::max();
    while (!sources.empty() && (o.count == 0 || t.sent() + t.failed < o.count)) {
        sentenceSource *next = earliest(sources);
        const pendingSentence &p = next->current();
        auto due = o.pace == paceMode::fast ? steadyClock::now() : start + toDuration(p.due);
        if (!waitUntil(std::min(due, deadline), progress, t)) break;
        if (steadyClock::now() >= deadline) break;
        if (sender.send(p)) {
            (p.stream == sim::stream::ship ? t.ship : t.vehicle)++;
        } else {
            ++t.failed;
        }
        if (o.echo) echoSentence(p);
        if (!next->advance()) dropSource(sources, next);
    }
    progress.clear();
    return t;
}

int usageError(const std::string &why) {
    std::fprintf(stderr, "navreplay: %s\nTry 'navreplay --help' for more.\n", why.c_str());
    return exitUsage;
}

}  // namespace

int main(int argc, char **argv) {
    replayOptions options;
    std::string why;
    switch (parseReplayOptions(argc, argv, options, why)) {
        case replayParse::help:
            std::fputs(replayUsage, stdout);
            return exitOk;
        case replayParse::usageError:
            return usageError(why);
        case replayParse::run:
            break;
    }
    // Paced echo lines show as they are sent, even through a pipe; under --fast they are
    // written in blocks.
    if (options.echo && options.pace != paceMode::fast) std::setvbuf(stdout, nullptr, _IOLBF, 0);
    cli::installStopHandlers();
    sockaddr_in ship, vehicle;
    if (!cli::resolveIPv4(options.host, options.shipPort, ship, why) ||
        !cli::resolveIPv4(options.host, options.rovPort, vehicle, why)) {
        return usageError(why);
    }
    sentenceSender sender(ship, vehicle, options.crlf);
    if (!sender.ready()) {
        std::perror("navreplay: socket");
        return exitFailure;
    }
    std::vector<std::unique_ptr<sentenceSource>> sources;
    if (!openSources(options, sources)) return exitFailure;

    auto start = steadyClock::now();
    tally t = replay(options, sources, sender, start);
    std::fflush(stdout);
    printSummary(t, secondsSince(start, steadyClock::now()));
    return exitOk;
}
