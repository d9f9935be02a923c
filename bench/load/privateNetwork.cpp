#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "loadBench.h"

namespace {

void writeProcFile(const char *path, const std::string &text) {
    int fd = open(path, O_WRONLY);
    if (fd < 0) return;
    // A map that cannot be written shows up as a failure to bring lo up.
    if (write(fd, text.data(), text.size()) < 0) std::perror(path);
    close(fd);
}

bool bringLoopbackUp() {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP | IFF_RUNNING);
    ok = ok && ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    close(fd);
    if (!ok) std::perror("bringing lo up");
    return ok;
}

}  // namespace

bool enterPrivateNetwork() {
    if (unshare(CLONE_NEWNET) != 0) {
        uid_t uid = getuid();
        gid_t gid = getgid();
        if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
            std::perror("unshare");
            return false;
        }
        writeProcFile("/proc/self/setgroups", "deny");
        writeProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
        writeProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
    }
    return bringLoopbackUp();
}

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
