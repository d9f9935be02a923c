#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "loadBench.h"

// Lines read "sl local rem st tx_queue:rx_queue tr:when retrnsmt uid timeout inode ref
// pointer drops", addresses as hexadecimal address:port.
udpSocketCounters readUdpCounters(int port) {
    std::ifstream udp("/proc/net/udp");
    std::string line;
    char want[8];
    std::snprintf(want, sizeof want, ":%04X", port);
    udpSocketCounters counters;
    std::getline(udp, line);  // the heading
    while (std::getline(udp, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode,
            ref, pointer;
        std::uint64_t drops = 0;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
            timeout >> inode >> ref >> pointer >> drops;
        if (local.size() < 5 || local.compare(local.size() - 5, 5, want) != 0) continue;
        counters.found = true;
        counters.queuedBytes += std::stoull(queues.substr(queues.find(':') + 1), nullptr, 16);
        counters.drops += drops;
    }
    return counters;
}

bool waitUntilDrained(const std::vector<int> &ports, int limitMs) {
    double deadline = secondsNow() + limitMs / 1000.0;
    for (;;) {
        bool empty = true;
        for (int port : ports) empty = empty && readUdpCounters(port).queuedBytes == 0;
        if (empty) return true;
        if (secondsNow() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}
