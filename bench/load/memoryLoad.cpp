// Memory: the server's resident size after a thousand datagrams and after a million, and, under
// valgrind, its heap allocations after two loads. Both pairs must be equal: nothing is
// allocated per datagram.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>

#include "loadBench.h"

namespace {

constexpr int serverCpu = 0;
constexpr int senderCpu = 1;

// The three kinds of datagram, interleaved as they reach a working server: ship and vehicle
// sentences alike, and a query now and then (its replies are never read and simply dropped).
struct mixedSender {
    int ship = connectedSocket(shipPort);
    int vehicle = connectedSocket(vehiclePort);
    int query = connectedSocket(queryPort);
    std::vector<std::string> shipCycle = shipSentences();
    std::vector<std::string> vehicleCycle = vehicleSentences();
    std::size_t next = 0;

    ~mixedSender() {
        close(ship);
        close(vehicle);
        close(query);
    }

    // Sends count datagrams at rate per second (bounded by limitSec); returns how many went.
    long send(long count, double rate, double limitSec) {
        double start = secondsNow();
        long sent = 0;
        while (sent < count && secondsNow() - start < limitSec) {
            long due = std::min(count, static_cast<long>((secondsNow() - start) * rate) + 1);
            for (; sent < due; ++sent, ++next) sendOne();
        }
        return sent;
    }

    void sendOne() {
        if (next % 10 == 9) {
            ::send(query, "STATUS", 6, 0);
        } else if (next % 2 == 0) {
            const std::string &s = shipCycle[next / 2 % shipCycle.size()];
            ::send(ship, s.data(), s.size(), 0);
        } else {
            const std::string &s = vehicleCycle[next / 2 % vehicleCycle.size()];
            ::send(vehicle, s.data(), s.size(), 0);
        }
    }
};

std::uint64_t inputDrops() {
    return readUdpCounters(shipPort).drops + readUdpCounters(vehiclePort).drops +
           readUdpCounters(queryPort).drops;
}

// Sends until the server has taken target datagrams (sent less dropped); returns the number
// taken.
long feed(mixedSender &sender, long target, double rate, double limitSec) {
    std::uint64_t dropsBefore = inputDrops();
    double deadline = secondsNow() + limitSec;
    long sent = 0, taken = 0;
    while (taken < target && secondsNow() < deadline) {
        sent += sender.send(std::min(target - taken, 10000L), rate, deadline - secondsNow());
        waitUntilDrained({shipPort, vehiclePort, queryPort}, 3000);
        taken = sent - static_cast<long>(inputDrops() - dropsBefore);
    }
    return taken;
}

void measureResidentSize(const programPaths &paths, bool quick) {
    const long large = quick ? 100000 : 1000000;
    childProcess server =
        startPinned({paths.server}, serverCpu, {shipPort, vehiclePort, queryPort}, 5000);
    if (server.pid < 0) return;
    mixedSender sender;
    long first = feed(sender, 1000, 100000, 10);
    long rssFirst = childResidentKiB(server);
    long total = first + feed(sender, large - first, 100000, 30);
    long rssLarge = childResidentKiB(server);
    stopChild(server, SIGKILL, 1000);
    std::printf(
        "| resident size (VmRSS) | %ld datagrams: %ld KiB | %ld datagrams: %ld KiB | %s "
        "|\n",
        first, rssFirst, total, rssLarge, rssFirst == rssLarge ? "equal" : "DIFFERENT");
}

struct heapSummary {
    bool found = false;
    long allocations = 0;
    long frees = 0;
    long bytes = 0;
};

heapSummary readHeapSummary(const std::string &log) {
    std::ifstream in(log);
    std::string line;
    heapSummary h;
    const std::regex usage(R"(total heap usage: ([\d,]+) allocs, ([\d,]+) frees, ([\d,]+) bytes)");
    auto number = [](std::string text) {
        std::erase(text, ',');
        return std::stol(text);
    };
    while (std::getline(in, line)) {
        std::smatch m;
        if (!std::regex_search(line, m, usage)) continue;
        h = {true, number(m[1]), number(m[2]), number(m[3])};
    }
    return h;
}

// The server under valgrind's memcheck takes load datagrams, slowly, and is then ended with
// SIGTERM, on which valgrind writes its heap summary.
heapSummary countHeapUnderValgrind(const programPaths &paths, long load, long *taken) {
    std::string log = "/tmp/tavrin-bench-valgrind-" + std::to_string(getpid()) + ".log";
    childProcess server =
        startPinned({"/usr/bin/valgrind", "--tool=memcheck", "--log-file=" + log, paths.server},
                    serverCpu, {shipPort, vehiclePort, queryPort}, 30000);
    if (server.pid < 0) return {};
    {
        mixedSender sender;
        *taken = feed(sender, load, 4000, 30);
    }
    stopChild(server, SIGTERM, 30000);
    heapSummary h = readHeapSummary(log);
    std::remove(log.c_str());
    return h;
}

void measureHeapAllocations(const programPaths &paths, bool quick) {
    if (access("/usr/bin/valgrind", X_OK) != 0) {
        std::printf("| heap allocations | valgrind is not installed | | |\n");
        return;
    }
    const long loads[] = {1000, quick ? 3000 : 10000};
    heapSummary h[2];
    long taken[2] = {0, 0};
    for (int i = 0; i < 2; ++i) h[i] = countHeapUnderValgrind(paths, loads[i], &taken[i]);
    if (!h[0].found || !h[1].found) {
        std::printf("| heap allocations (valgrind) | no heap summary | | |\n");
        return;
    }
    std::printf(
        "| heap allocations (valgrind) | %ld datagrams: %ld allocs, %ld bytes | %ld "
        "datagrams: %ld allocs, %ld bytes | %s |\n",
        taken[0], h[0].allocations, h[0].bytes, taken[1], h[1].allocations, h[1].bytes,
        h[0].allocations == h[1].allocations ? "equal" : "DIFFERENT");
}

}  // namespace

void measureMemory(const programPaths &paths, bool quick, bool withValgrind) {
    pinThisThread(senderCpu);
    std::printf(
        "\n### Memory: the server after a small and a large load\n\n"
        "Mixed datagrams (ship and vehicle sentences, one query in ten).\n\n"
        "| measure | small load | large load | |\n|---|---|---|---|\n");
    std::fflush(stdout);
    measureResidentSize(paths, quick);
    if (withValgrind) measureHeapAllocations(paths, quick);
    std::fflush(stdout);
    pinThisThread(-1);
}
