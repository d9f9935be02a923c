// Queries: strict ping-pong, each client waiting for its reply before the next query, against
// the server and against a bare echo that answers with a datagram of the same size.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <thread>

#include "loadBench.h"

namespace {

constexpr int serverCpu = 0;

struct queryRun {
    double tripsPerSec = 0;
    double p50us = 0;
    double p99us = 0;
    long lost = 0;
};

struct clientResult {
    std::vector<double> roundTrips;  // seconds
    long lost = 0;
};

// One client: query, wait for the answer (at most 100 ms), again, until trips or the deadline.
void pingPong(int cpu, long trips, double deadline, clientResult *result) {
    pinThisThread(cpu);
    int fd = connectedSocket(queryPort);
    timeval wait{0, 100000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    result->roundTrips.reserve(static_cast<std::size_t>(trips));
    char reply[2048];
    for (long i = 0; i < trips && secondsNow() < deadline; ++i) {
        double start = secondsNow();
        if (send(fd, "STATUS", 6, 0) < 0 || recv(fd, reply, sizeof reply, 0) < 0) {
            ++result->lost;
            continue;
        }
        result->roundTrips.push_back(secondsNow() - start);
    }
    close(fd);
}

double percentile(const std::vector<double> &sorted, double fraction) {
    if (sorted.empty()) return 0;
    auto index = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1));
    return sorted[index];
}

queryRun runOnce(const std::vector<std::string> &argv, const std::vector<int> &clientCpus,
                 long tripsPerClient) {
    queryRun run;
    childProcess child = startPinned(argv, serverCpu, {queryPort}, 5000);
    if (child.pid < 0) return run;
    std::vector<clientResult> results(clientCpus.size());
    double start = secondsNow();
    double deadline = start + 3.0;
    std::vector<std::thread> clients;
    for (std::size_t i = 0; i < clientCpus.size(); ++i) {
        clients.emplace_back(pingPong, clientCpus[i], tripsPerClient, deadline, &results[i]);
    }
    for (std::thread &t : clients) t.join();
    double elapsed = secondsNow() - start;
    stopChild(child, SIGKILL, 1000);

    std::vector<double> all;
    for (const clientResult &r : results) {
        all.insert(all.end(), r.roundTrips.begin(), r.roundTrips.end());
        run.lost += r.lost;
    }
    std::sort(all.begin(), all.end());
    run.tripsPerSec = static_cast<double>(all.size()) / elapsed;
    run.p50us = percentile(all, 0.50) * 1e6;
    run.p99us = percentile(all, 0.99) * 1e6;
    return run;
}

// The size of the server's status record as it answers now, for the echo to match.
std::size_t statusRecordSize(const std::string &server) {
    childProcess child = startPinned({server}, serverCpu, {queryPort}, 5000);
    if (child.pid < 0) return 205;
    int fd = connectedSocket(queryPort);
    timeval wait{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char reply[2048];
    ssize_t n = send(fd, "STATUS", 6, 0) < 0 ? -1 : recv(fd, reply, sizeof reply, 0);
    close(fd);
    stopChild(child, SIGKILL, 1000);
    return n > 0 ? static_cast<std::size_t>(n) : 205;
}

// What one write(2) of a console line to /dev/null costs here, in CPU microseconds: the
// server flushes one such line per query, which the bare echo does not.
double consoleWriteMicros() {
    int fd = open("/dev/null", O_WRONLY);
    const char line[] = "Received message from client 6\n";
    constexpr int writes = 20000;
    timespec start{}, end{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    for (int i = 0; i < writes; ++i) {
        if (write(fd, line, sizeof line - 1) < 0) break;
    }
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    close(fd);
    return ((end.tv_sec - start.tv_sec) * 1e9 + (end.tv_nsec - start.tv_nsec)) / writes / 1e3;
}

struct clientCase {
    const char *name;
    std::vector<int> cpus;  // one per client; -1 lets it run anywhere
    long tripsPerClient;
};

queryRun summarise(const std::vector<queryRun> &runs) {
    std::vector<double> trips, p50, p99;
    queryRun s;
    for (const queryRun &r : runs) {
        trips.push_back(r.tripsPerSec);
        p50.push_back(r.p50us);
        p99.push_back(r.p99us);
        s.lost += r.lost;
    }
    s.tripsPerSec = median(trips);
    s.p50us = median(p50);
    s.p99us = median(p99);
    return s;
}

// Round trips at least 0.85 of the echo's; on one core also the median within 1 µs of it.
const char *verdict(const clientCase &c, const queryRun &server, const queryRun &echo) {
    bool rate = server.tripsPerSec >= 0.85 * echo.tripsPerSec;
    bool oneCore = c.cpus.size() == 1 && c.cpus[0] == serverCpu;
    bool latency = !oneCore || server.p50us - echo.p50us <= 1.0;
    return rate && latency ? "met" : "MISSED";
}

}  // namespace

void measureQueries(const programPaths &paths, bool quick) {
    const int repeats = quick ? 1 : 3;
    const long trips = quick ? 5000 : 20000;
    std::size_t replySize = statusRecordSize(paths.server);
    const std::vector<std::string> echo = {paths.bareEcho, std::to_string(replySize)};
    const clientCase cases[] = {
        {"1 client, same core as the server", {serverCpu}, trips},
        {"1 client, other core", {serverCpu + 1}, trips},
        {"4 clients, unpinned", {-1, -1, -1, -1}, trips / 4},
    };
    std::printf(
        "\n### Queries: server against a bare echo of the same reply size (%zu bytes)\n\n"
        "Server pinned to CPU %d; strict ping-pong; median of %d runs each, the two "
        "programs alternating. The server also flushes its console line on every query: "
        "one write(2) to /dev/null costs %.2f µs of CPU here.\n\n",
        replySize, serverCpu, repeats, consoleWriteMicros());
    std::printf(
        "| clients | server trips/s | echo trips/s | ratio | server p50 µs | echo p50 µs "
        "| p50 difference µs | server p99 µs | echo p99 µs | lost | target |\n"
        "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");
    for (const clientCase &c : cases) {
        if (cpuCount() < 2 && c.cpus.size() == 1 && c.cpus[0] != serverCpu) continue;
        std::vector<queryRun> server, bare;
        for (int i = 0; i < repeats; ++i) {
            server.push_back(runOnce({paths.server}, c.cpus, c.tripsPerClient));
            bare.push_back(runOnce(echo, c.cpus, c.tripsPerClient));
        }
        queryRun s = summarise(server), e = summarise(bare);
        std::printf("| %s | %.0f | %.0f | %.3f | %.1f | %.1f | %+.2f | %.1f | %.1f | %ld | %s |\n",
                    c.name, s.tripsPerSec, e.tripsPerSec, s.tripsPerSec / e.tripsPerSec, s.p50us,
                    e.p50us, s.p50us - e.p50us, s.p99us, e.p99us, s.lost + e.lost,
                    verdict(c, s, e));
        std::fflush(stdout);
    }
}
