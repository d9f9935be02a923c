#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "loadBench.h"

namespace {

bool allBound(const std::vector<int> &ports) {
    for (int port : ports) {
        if (!readUdpCounters(port).found) return false;
    }
    return true;
}

bool reapWithin(pid_t pid, int limitMs) {
    double deadline = secondsNow() + limitMs / 1000.0;
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return true;
        if (secondsNow() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

[[noreturn]] void execPinned(const std::vector<std::string> &argv, int cpu) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
    if (cpu >= 0) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(cpu, &set);
        sched_setaffinity(0, sizeof set, &set);
    }
    std::vector<char *> args;
    for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    std::perror(args[0]);
    _exit(127);
}

}  // namespace

int cpuCount() {
    return static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
}

void pinThisThread(int cpu) {
    if (cpu >= cpuCount()) return;
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int c = 0; c < cpuCount(); ++c) {
        if (cpu < 0 || c == cpu) CPU_SET(c, &set);
    }
    sched_setaffinity(0, sizeof set, &set);
}

childProcess startPinned(const std::vector<std::string> &argv, int cpu,
                         const std::vector<int> &ports, int limitMs) {
    std::fflush(stdout);
    childProcess child;
    child.pid = fork();
    if (child.pid < 0) return child;
    if (child.pid == 0) execPinned(argv, cpu < cpuCount() ? cpu : -1);
    double deadline = secondsNow() + limitMs / 1000.0;
    while (!allBound(ports)) {
        int status = 0;
        if (waitpid(child.pid, &status, WNOHANG) == child.pid || secondsNow() > deadline) {
            std::fprintf(stderr, "%s did not bind its ports\n", argv[0].c_str());
            kill(child.pid, SIGKILL);
            reapWithin(child.pid, 1000);
            child.pid = -1;
            return child;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return child;
}

void stopChild(childProcess &child, int sig, int limitMs) {
    if (child.pid <= 0) return;
    kill(child.pid, sig);
    if (!reapWithin(child.pid, limitMs)) {
        kill(child.pid, SIGKILL);
        reapWithin(child.pid, 2000);
    }
    child.pid = -1;
}

double childCpuNs(const childProcess &child) {
    clockid_t clock;
    timespec t{};
    if (clock_getcpuclockid(child.pid, &clock) == 0 && clock_gettime(clock, &t) == 0) {
        return t.tv_sec * 1e9 + t.tv_nsec;
    }
    // Without the process's CPU clock, /proc/<pid>/stat has it in clock ticks.
    std::ifstream stat("/proc/" + std::to_string(child.pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    std::size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i) fields >> skip;  // state .. cmajflt
    double utime = 0, stime = 0;
    fields >> utime >> stime;
    return (utime + stime) * 1e9 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long childResidentKiB(const childProcess &child) {
    std::ifstream status("/proc/" + std::to_string(child.pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}
