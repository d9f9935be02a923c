// Faults around the server: a console that cannot be written, and a port that is taken at
// start-up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "hardenedServer.h"

namespace {

using namespace hardening;
using namespace std::chrono_literals;

std::int64_t now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

// A tiny tmpfs, mounted in a mount namespace of this process's own and filled to the last
// block, so that every write to a file on it fails with ENOSPC.
class fullFileSystem {
  public:
    // Empty when it could be set up, else why not.
    std::string setUp() {
        if (unshare(CLONE_NEWNS) != 0) return std::string("unshare: ") + std::strerror(errno);
        // Mounts made here must stay here.
        if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return std::string("making / private: ") + std::strerror(errno);
        }
        char dir[] = "/tmp/tavrin-full-XXXXXX";
        if (mkdtemp(dir) == nullptr) return std::string("mkdtemp: ") + std::strerror(errno);
        dir_ = dir;
        if (mount("tmpfs", dir, "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0) {
            return std::string("mounting a tmpfs: ") + std::strerror(errno);
        }
        mounted_ = true;
        console_ = dir_ + "/console.txt";
        int fd = open((dir_ + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
        char block[4096] = {};
        while (write(fd, block, sizeof block) > 0) {
        }
        close(fd);
        return {};
    }
    ~fullFileSystem() {
        if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
        if (!dir_.empty()) rmdir(dir_.c_str());
    }
    const std::string &consolePath() const { return console_; }
    unsigned long freeBlocks() const {
        struct statvfs s {};
        return statvfs(dir_.c_str(), &s) == 0 ? s.f_bavail : ~0UL;
    }

  private:
    std::string dir_;
    std::string console_;
    bool mounted_ = false;
};

// A burst of everything that writes to the console: date-and-time sentences, vehicle echoes,
// header and status queries. Then the server must still decode, answer and hold its state.
void expectServingWithoutConsole(e2e::process &server) {
    e2e::udpClient client;
    for (int i = 0; i < 200; ++i) {
        client.send(shipPort, "$GPZDA,000000.70,01,08,2014,,*6F\r\n");
        client.send(rovPort, "$GPGGA,101010.00,1111.1111,S,02222.2222,E,1,08,0.9,-" +
                                 std::to_string(i) + ",M,,M,,\r\n");
        client.send(queryPort, i % 2 ? "HEADER" : "status");
    }
    const knownSentences known = finalSentences(now() - 5);
    const std::string record = settleOn(client, known, 30s);
    EXPECT_EQ(mismatches(record, known), "") << record;
    EXPECT_EQ(recordFault(record), std::nullopt) << record;
    // Drain the burst's replies, then one header query must get the 512-byte header.
    while (client.receive(wrapped() ? 2000ms : 100ms)) {
    }
    client.send(queryPort, "HEADER");
    auto header = client.receive(wrapped() ? 10s : 2s);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->size(), 512u);
    EXPECT_EQ(header->substr(header->size() - 8), "TIMEZONE");
    EXPECT_TRUE(server.alive());
}

TEST(ConsoleFaults, ClosedStandardOutputDoesNotStopTheServer) {
    // With descriptor 1 closed the first socket takes its number, so every console write goes
    // to a socket that cannot send: it must fail harmlessly.
    e2e::process::options opts;
    opts.closeStdout = true;
    auto server = launchServer(opts);
    ASSERT_TRUE(server) << "the server did not start";
    expectServingWithoutConsole(*server);
    EXPECT_TRUE(finish(*server));
}

TEST(ConsoleFaults, StandardOutputOnAFullFileSystemDoesNotStopTheServer) {
    fullFileSystem fs;
    if (std::string why = fs.setUp(); !why.empty()) {
        GTEST_SKIP() << "needs a tmpfs mounted in a private mount namespace, not possible here: "
                     << why;
    }
    ASSERT_EQ(fs.freeBlocks(), 0u) << "the file system is not full";
    e2e::process::options opts;
    opts.stdoutPath = fs.consolePath();
    auto server = launchServer(opts);
    ASSERT_TRUE(server) << "the server did not start";
    expectServingWithoutConsole(*server);
    EXPECT_TRUE(finish(*server));
    EXPECT_EQ(fs.freeBlocks(), 0u);
}

// ---- a taken port -------------------------------------------------------------------------

struct exitSnapshot {
    bool traced = false;
    int status = -1;
    std::string err;
    bool bound[3] = {};  // ports 38002, 20289, 8080 as they stood when the server began to exit
};

bool readAll(int fd, std::string *out) {
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out->append(buf, static_cast<std::size_t>(n));
    return n == 0;
}

// Runs the server traced, stops it on its way out (its sockets are still open then) and notes
// which ports are bound at that moment.
exitSnapshot runUntilExit() {
    exitSnapshot snap;
    int err[2];
    if (pipe(err) != 0) return snap;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(err[1], 2);
        close(err[0]);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        // LeakSanitizer stops the process with ptrace of its own at exit, which fails under a
        // tracer; nothing is allocated here anyway.
        std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
        setenv("ASAN_OPTIONS", (asan + (asan.empty() ? "" : ":") + "detect_leaks=0").c_str(), 1);
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(126);
        raise(SIGSTOP);
        execl(e2e::serverPath().c_str(), e2e::serverPath().c_str(), nullptr);
        _exit(127);
    }
    close(err[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    snap.traced = WIFSTOPPED(status);
    if (snap.traced) {
        ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL);
        ptrace(PTRACE_CONT, pid, nullptr, nullptr);
        auto deadline = std::chrono::steady_clock::now() + 10s;
        for (;;) {
            pid_t r = waitpid(pid, &status, WNOHANG);
            if (r == 0) {
                if (std::chrono::steady_clock::now() > deadline) {
                    kill(pid, SIGKILL);
                    waitpid(pid, &status, 0);
                    break;
                }
                std::this_thread::sleep_for(2ms);
                continue;
            }
            if (WIFEXITED(status) || WIFSIGNALED(status)) break;
            int signal = WSTOPSIG(status);
            if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
                for (int i = 0; i < 3; ++i) {
                    snap.bound[i] = e2e::udpPortBound(std::array{shipPort, rovPort, queryPort}[i]);
                }
                signal = 0;
            } else if (signal == SIGTRAP) {
                signal = 0;  // the stop after exec
            }
            ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void *>(static_cast<long>(signal)));
        }
    } else if (!WIFEXITED(status) && !WIFSIGNALED(status)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    snap.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    readAll(err[0], &snap.err);
    close(err[0]);
    return snap;
}

TEST(StartUpFaults, ATakenPortEndsStartUpThereWithThePortsBeforeItOpen) {
    // Start-up opens the ship port, the vehicle port, then the query port; a taken port ends
    // it at that step, so the ports before it are the server's own when it exits.
    const int order[] = {shipPort, rovPort, queryPort};
    for (int taken = 0; taken < 3; ++taken) {
        SCOPED_TRACE("port " + std::to_string(order[taken]) + " taken");
        int fd = e2e::occupyUdpPort(order[taken]);
        ASSERT_GE(fd, 0);
        exitSnapshot snap = runUntilExit();
        close(fd);
        if (!snap.traced) GTEST_SKIP() << "cannot trace the server here (ptrace refused)";
        EXPECT_EQ(snap.status, 1);
        EXPECT_EQ(snap.err, "bind failed: Address already in use\n");
        for (int port = 0; port < 3; ++port) {
            EXPECT_EQ(snap.bound[port], port <= taken)
                << "port " << order[port] << (port <= taken ? " not" : "") << " bound at exit";
        }
    }
}

}  // namespace
