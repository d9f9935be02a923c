// Sentences in: the server and the bare receive loop each take the same bounded streams, at
// paced rates and flat out, one after the other in the same run.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "loadBench.h"

namespace {

constexpr int receiverCpu = 0;
constexpr int senderCpu = 1;

struct ingestRun {
    double offeredPerSec = 0;
    double takenPerSec = 0;
    double lossPercent = 0;
    double cpuNsPerDatagram = 0;
};

struct ingestSummary {
    double offeredPerSec;
    double takenPerSec;
    double lossPercent;
    double cpuNsPerDatagram;
};

ingestRun runOnce(const std::vector<std::string> &argv, int port,
                  const std::vector<std::string> &cycle, long count, double rate) {
    ingestRun run;
    childProcess child = startPinned(argv, receiverCpu, {shipPort, vehiclePort}, 5000);
    if (child.pid < 0) return run;
    int fd = connectedSocket(port);
    std::uint64_t dropsBefore = readUdpCounters(port).drops;
    double cpuBefore = childCpuNs(child);
    double start = secondsNow();
    long sent = sendStream(fd, cycle, count, rate, 5.0);
    double sendEnd = secondsNow();
    waitUntilDrained({port}, 3000);
    double end = secondsNow();
    // The last datagram may still be in the decoder when its queue shows empty.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    double cpuAfter = childCpuNs(child);
    auto dropped = static_cast<long>(readUdpCounters(port).drops - dropsBefore);
    stopChild(child, SIGKILL, 1000);
    close(fd);

    long taken = sent - dropped;
    run.offeredPerSec = sent / (sendEnd - start);
    run.takenPerSec = taken / (end - start);
    run.lossPercent = sent > 0 ? 100.0 * dropped / sent : 0;
    run.cpuNsPerDatagram = taken > 0 ? (cpuAfter - cpuBefore) / taken : 0;
    return run;
}

ingestSummary summarise(const std::vector<ingestRun> &runs) {
    std::vector<double> offered, taken, loss, cpu;
    for (const ingestRun &r : runs) {
        offered.push_back(r.offeredPerSec);
        taken.push_back(r.takenPerSec);
        loss.push_back(r.lossPercent);
        cpu.push_back(r.cpuNsPerDatagram);
    }
    return {median(offered), median(taken), median(loss), median(cpu)};
}

struct streamCase {
    const char *name;
    int port;
    std::vector<std::string> cycle;
};

// Below capacity the question is loss: at a paced rate the server must lose no more than the
// bare loop, within half a percentage point, so that one dropped burst in a noisy run is not a
// verdict. Flat out the question is capacity: the server must take at least 0.9 of what the
// bare loop takes (and then loses the rest, as the bare loop loses its own).
const char *verdict(double rate, const ingestSummary &server, const ingestSummary &bare) {
    bool met = rate > 0 ? server.lossPercent <= bare.lossPercent + 0.5
                        : server.takenPerSec >= 0.9 * bare.takenPerSec;
    return met ? "met" : "MISSED";
}

void printRow(const streamCase &s, double rate, const ingestSummary &server,
              const ingestSummary &bare) {
    char paced[32];
    if (rate > 0) {
        std::snprintf(paced, sizeof paced, "%.0f", rate);
    } else {
        std::snprintf(paced, sizeof paced, "flat out");
    }
    std::printf(
        "| %s | %s | %.0f | %.0f | %.2f%% | %.0f | %.0f | %.2f%% | %.0f | %.3f | %.2f | %s "
        "|\n",
        s.name, paced, (server.offeredPerSec + bare.offeredPerSec) / 2, server.takenPerSec,
        server.lossPercent, server.cpuNsPerDatagram, bare.takenPerSec, bare.lossPercent,
        bare.cpuNsPerDatagram, server.takenPerSec / bare.takenPerSec,
        server.cpuNsPerDatagram / bare.cpuNsPerDatagram, verdict(rate, server, bare));
    std::fflush(stdout);
}

}  // namespace

void measureIngest(const programPaths &paths, bool quick) {
    const int repeats = quick ? 1 : 3;
    const double seconds = quick ? 0.2 : 0.4;
    const long flatOutCount = quick ? 50000 : 150000;
    const std::vector<double> rates = {20000, 50000, 100000, 200000, 0};
    const streamCase streams[] = {{"ship", shipPort, shipSentences()},
                                  {"vehicle", vehiclePort, vehicleSentences()}};

    pinThisThread(senderCpu);
    std::printf(
        "\n### Sentences in: server against the bare receive loop\n\n"
        "Receiver pinned to CPU %d, sender to CPU %d; median of %d runs each, "
        "the two programs alternating.\n\n",
        receiverCpu, senderCpu, repeats);
    std::printf(
        "| stream | paced at /s | sent/s | server taken/s | server loss | server CPU ns/datagram "
        "| bare taken/s | bare loss | bare CPU ns/datagram | taken ratio | CPU ratio | target "
        "|\n|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");
    for (const streamCase &s : streams) {
        for (double rate : rates) {
            long count = rate > 0 ? static_cast<long>(rate * seconds) : flatOutCount;
            std::vector<ingestRun> server, bare;
            for (int i = 0; i < repeats; ++i) {
                server.push_back(runOnce({paths.server}, s.port, s.cycle, count, rate));
                bare.push_back(runOnce({paths.bareReceiver}, s.port, s.cycle, count, rate));
            }
            printRow(s, rate, summarise(server), summarise(bare));
        }
    }
    pinThisThread(-1);
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}
