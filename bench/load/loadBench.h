// The end-to-end load benchmark: the real server and bare system-call loops, side by side in
// one run, inside a private network namespace with only loopback in it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// --- udpCounters.cpp: the kernel's socket counters (the namespace itself: privateNetwork.h
// beside the end-to-end tests) ---

// A UDP socket's line in /proc/net/udp: bytes waiting and datagrams dropped so far.
struct udpSocketCounters {
    bool found = false;
    std::uint64_t queuedBytes = 0;
    std::uint64_t drops = 0;
};
udpSocketCounters readUdpCounters(int port);

// Waits, at most limitMs, until nothing is queued on any of ports; false on time-out.
bool waitUntilDrained(const std::vector<int> &ports, int limitMs);

// --- childProcess.cpp: the programs under test ---

struct childProcess {
    pid_t pid = -1;
};

// Starts argv with standard output to /dev/null, pinned to cpu (when cpu >= 0), and waits at
// most limitMs until every port in ports is bound. pid -1 when it could not start.
childProcess startPinned(const std::vector<std::string> &argv, int cpu,
                         const std::vector<int> &ports, int limitMs);
// Ends the child with sig and reaps it, waiting at most limitMs before SIGKILL.
void stopChild(childProcess &child, int sig, int limitMs);
// CPU time the child has used so far, user and system, in nanoseconds.
double childCpuNs(const childProcess &child);
// The child's resident set size in KiB (VmRSS), 0 when unreadable.
long childResidentKiB(const childProcess &child);

// Pins the calling thread to cpu, or frees it to run anywhere when cpu < 0; ignored when the
// machine lacks that cpu.
void pinThisThread(int cpu);
int cpuCount();

// --- traffic.cpp: what is sent ---

inline constexpr int shipPort = 38002;
inline constexpr int vehiclePort = 20289;
inline constexpr int queryPort = 8080;

// Real ship sentences from the capture, each with the line end an instrument sends.
std::vector<std::string> shipSentences();
// Vehicle fixes with the depth in the altitude field, a new time and position each.
std::vector<std::string> vehicleSentences();

// A UDP socket on 127.0.0.1 connected to port.
int connectedSocket(int port);

// Sends count datagrams from the cycle, at rate per second (0: as fast as the socket takes
// them), within limitSec. Returns how many were sent.
long sendStream(int fd, const std::vector<std::string> &cycle, long count, double rate,
                double limitSec);

double secondsNow();

// --- the three measurements, each printing its own table ---

struct programPaths {
    std::string server;
    std::string bareReceiver;
    std::string bareEcho;
};

void measureIngest(const programPaths &paths, bool quick);
void measureQueries(const programPaths &paths, bool quick);
void measureMemory(const programPaths &paths, bool quick, bool withValgrind);

// The middle value of a few repeats.
double median(std::vector<double> values);
