// A flood on all three ports while a client asks for status at a steady pace. Whatever arrives,
// and however fast, the server must stay up, answer every query that reaches it with a
// well-formed record, end with the state the last valid sentences give, and keep its memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "hardenedServer.h"

namespace {

using namespace hardening;
using namespace std::chrono_literals;

// Valid sentences of another voyage than the final ones, so the final state can only come from
// the final sentences.
const char *const voyageShip[] = {
    "$GPZDA,000000.70,01,08,2014,,*6F\r\n",
    "$GPGGA,000000.70,2200.112071,S,01756.360200,W,1,10,0.9,1.04,M,,M,,*41\r\n",
    "$GPVTG,213.66,T,,M,9.4,N,,K,A*1E\r\n",
    "$GPHDT,218.83,T*05\r\n",
    "$PSXN,20,1,0,0,0*3A\r\n",
};
const char *const voyageVehicle =
    "$GPGGA,101010.00,1111.1111,S,02222.2222,E,1,08,0.9,-1500.5,M,,M,,\r\n";

// The datagrams of the flood: the voyage's sentences, random bytes of many lengths, the empty
// datagram, a full buffer without a zero byte, and the largest datagram UDP carries.
std::vector<std::string> floodDatagrams() {
    std::vector<std::string> d(std::begin(voyageShip), std::end(voyageShip));
    d.emplace_back(voyageVehicle);
    std::mt19937 random(20240601);  // fixed: a failure replays the same flood
    std::uniform_int_distribution<int> length(1, 1500), byte(0, 255);
    for (int i = 0; i < 48; ++i) {
        std::string bytes(static_cast<std::size_t>(length(random)), '\0');
        for (char &c : bytes) c = static_cast<char>(byte(random));
        d.push_back(bytes);
    }
    // Random bytes behind a valid identifier reach deeper into the decoders.
    for (const char *id : {"$GPZDA,", "$GPGGA,", "$GPVTG,", "$GPHDT,"}) {
        for (int i = 0; i < 4; ++i) d.push_back(id + d[8 + i].substr(0, 200));
    }
    d.emplace_back();
    d.emplace_back(1024, '7');
    std::string largest(65507, ',');
    largest.replace(0, 7, "$GPGGA,");
    d.push_back(largest);
    return d;
}

struct floodCounts {
    std::atomic<std::uint64_t> datagrams{0};
    std::atomic<std::uint64_t> bytes{0};
};

// Sends the flood's datagrams round the three ports as fast as the socket takes them.
void flood(const std::vector<std::string> &datagrams, const std::atomic<bool> &stop,
           floodCounts &counts) {
    e2e::udpClient sender;
    const int ports[] = {shipPort, rovPort, queryPort};
    std::uint64_t n = 0, bytes = 0;
    while (!stop.load(std::memory_order_relaxed)) {
        for (const std::string &d : datagrams) {
            for (int port : ports) sender.send(port, d);
            bytes += 3 * d.size();
            n += 3;
        }
    }
    counts.datagrams = n;
    counts.bytes = bytes;
}

struct pacedResult {
    int sent = 0;
    int answered = 0;
    std::vector<std::string> faults;
};

// Never negative: a negative wait would be no bound at all.
std::chrono::milliseconds msUntil(std::chrono::steady_clock::time_point t) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(t - std::chrono::steady_clock::now());
    return std::max(left, 0ms);
}

// One status query every 20 ms; each reply that arrives must be a well-formed record.
pacedResult askAtAPace(const e2e::udpClient &client, std::chrono::steady_clock::time_point end) {
    pacedResult r;
    while (std::chrono::steady_clock::now() < end) {
        auto next = std::chrono::steady_clock::now() + 20ms;
        client.send(queryPort, "status");
        ++r.sent;
        while (auto reply = client.receive(msUntil(next))) {
            ++r.answered;
            if (auto fault = recordFault(*reply)) r.faults.push_back(*fault + ": " + *reply);
        }
        std::this_thread::sleep_until(next);
    }
    return r;
}

std::int64_t now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

TEST(Flood, AllPortsAtOnceLeaveTheServerServingWithItsStateAndMemory) {
    e2e::process::options opts;
    opts.stdoutPath = "/dev/null";  // a console that takes everything at once
    auto server = launchServer(opts);
    ASSERT_TRUE(server) << "the server did not start";
    e2e::udpClient client;
    const std::vector<std::string> datagrams = floodDatagrams();

    // Every kind of datagram once, and an answered query, before the first measurement: the
    // console buffer and every code path have been touched by then.
    for (const std::string &d : datagrams) {
        for (int port : {shipPort, rovPort, queryPort}) client.send(port, d);
    }
    ASSERT_FALSE(settleOn(client, finalSentences(now() - 5), 30s).empty());
    while (client.receive(wrapped() ? 2000ms : 100ms)) {
        // late replies to the settling queries: not the paced ones
    }
    const long rssBefore = residentKiB(server->pid());

    std::atomic<bool> stop{false};
    floodCounts counts;
    const int seconds = floodSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::thread sender(flood, std::cref(datagrams), std::cref(stop), std::ref(counts));
    pacedResult paced = askAtAPace(client, start + std::chrono::seconds(seconds));
    stop = true;
    sender.join();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const std::int64_t fixSeconds = now() - 5;
    const knownSentences known = finalSentences(fixSeconds);
    const std::string record = settleOn(client, known, 30s);
    const long rssAfter = residentKiB(server->pid());

    std::printf("flood: %d s, %" PRIu64
                " datagrams (%.0f/s, %.1f MB/s) to three ports; paced "
                "queries %d sent, %d answered; VmRSS %ld KiB before, %ld KiB after\n",
                seconds, counts.datagrams.load(), counts.datagrams / elapsed,
                counts.bytes / elapsed / 1e6, paced.sent, paced.answered, rssBefore, rssAfter);
    RecordProperty("datagrams", std::to_string(counts.datagrams.load()));
    RecordProperty("pacedAnswered", std::to_string(paced.answered));
    RecordProperty("rssBeforeKiB", std::to_string(rssBefore));
    RecordProperty("rssAfterKiB", std::to_string(rssAfter));

    EXPECT_TRUE(server->alive());
    EXPECT_TRUE(paced.faults.empty())
        << paced.faults.size() << " malformed records, first: " << paced.faults.front();
    EXPECT_GT(paced.answered, 0) << "no paced query was answered during the flood";
    EXPECT_EQ(mismatches(record, known), "") << record;
    EXPECT_EQ(recordFault(record), std::nullopt) << record;
    // The server allocates nothing per datagram: its resident set may move by a few pages at
    // most. Under a wrapper the resident set measured is the wrapper's own.
    if (!wrapped()) {
        EXPECT_LE(rssAfter - rssBefore, 256) << "KiB of growth";
    }
    EXPECT_TRUE(finish(*server));
}

}  // namespace
