#include "hardenedServer.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

namespace hardening {

namespace {

// The program a command names, looked up in PATH as a shell would (the process runs execv).
std::string programPath(const std::string &name) {
    if (name.find('/') != std::string::npos) return name;
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    for (std::string dir; std::getline(path, dir, ':');) {
        std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return name;
}

std::vector<std::string> wrapperWords() {
    std::vector<std::string> words;
    if (const char *w = std::getenv("TAVRIN_SERVER_WRAPPER")) {
        std::istringstream in(w);
        for (std::string word; in >> word;) words.push_back(word);
    }
    if (!words.empty()) words[0] = programPath(words[0]);
    return words;
}

std::string twoDigits(int n) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

}  // namespace

int floodSeconds() {
    const char *s = std::getenv("TAVRIN_SOAK_SECONDS");
    int n = s != nullptr ? std::atoi(s) : 0;
    return n > 0 ? n : 10;
}

bool wrapped() {
    return !wrapperWords().empty();
}

std::unique_ptr<e2e::process> launchServer(const e2e::process::options &opts) {
    std::vector<std::string> argv = wrapperWords();
    argv.push_back(e2e::serverPath());
    auto server = std::make_unique<e2e::process>(argv, opts);
    // A wrapper such as valgrind takes seconds to start the program it runs.
    auto deadline = std::chrono::steady_clock::now() + (wrapped() ? 60s : 5s);
    while (!e2e::udpPortBound(queryPort)) {
        if (!server->alive() || std::chrono::steady_clock::now() > deadline) return nullptr;
        std::this_thread::sleep_for(5ms);
    }
    return server;
}

bool finish(e2e::process &server) {
    if (!wrapped()) {
        server.stop();
        return true;
    }
    kill(server.pid(), SIGTERM);
    return server.waitExit(120s).has_value();
}

long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

std::optional<std::string> recordFault(const std::string &record) {
    std::vector<std::string> f = e2e::splitFields(record);
    if (f.size() != 26) return std::to_string(f.size()) + " fields";
    for (int i : {2, 3, 11, 12, 13, 18, 19, 20, 21}) {
        if (f[i] != "NO_ITEM") return "field " + std::to_string(i + 1) + " is " + f[i];
    }
    if (f[1] != f[9]) return "channels 2 and 10 differ";
    if (f[25] != "+0") return "last field is " + f[25];
    if (f[24].size() != 24) return "timestamp " + f[24];
    return std::nullopt;
}

knownSentences finalSentences(std::int64_t fixSeconds) {
    std::time_t t = static_cast<std::time_t>(fixSeconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    const std::string timeOfDay =
        twoDigits(utc.tm_hour) + twoDigits(utc.tm_min) + twoDigits(utc.tm_sec) + ".00";
    knownSentences k;
    k.ship = {
        "$GPZDA,201530.00,04,07,2002,00,00*60\r\n",
        "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n",
        "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48\r\n",
        "$GPHDT,274.07,T*03\r\n",
    };
    k.vehicle = "$GPGGA," + timeOfDay + ",3636.1234,N,12152.1234,W,1,08,0.9,-250.3,M,-32.1,M,,\r\n";
    k.expected = {
        {1, "1025813730"}, {4, "48.117300"},    {5, "11.516667"},
        {6, "1"},          {7, "5.500000"},     {8, "0.900000"},
        {9, "1025813730"}, {10, "274.070000"},  {14, std::to_string(fixSeconds) + ".000000"},
        {15, "36.602057"}, {16, "-121.868723"}, {17, "-250.300000"},
    };
    return k;
}

std::string mismatches(const std::string &record, const knownSentences &known) {
    std::vector<std::string> f = e2e::splitFields(record);
    std::string out;
    for (const auto &[index, want] : known.expected) {
        std::string got = index < static_cast<int>(f.size()) ? f[index] : "<missing>";
        if (got != want) {
            out += "field " + std::to_string(index + 1) + ": got " + got + ", want " + want + "\n";
        }
    }
    return out;
}

std::string settleOn(const e2e::udpClient &client, const knownSentences &known,
                     std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    std::string last;
    do {
        for (const auto &s : known.ship) client.send(shipPort, s);
        client.send(rovPort, known.vehicle);
        // The sentences are taken before a query sent after them only when the server has
        // drained what came first, so ask until the record shows them.
        client.send(queryPort, "status");
        if (auto reply = client.receive(wrapped() ? 2000ms : 200ms)) {
            last = *reply;
            if (mismatches(last, known).empty()) return last;
        }
    } while (std::chrono::steady_clock::now() < deadline);
    return last;
}

}  // namespace hardening
